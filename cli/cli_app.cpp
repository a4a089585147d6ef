#include "cli_app.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <map>
#include <new>
#include <ostream>

#include "file_access.h"
#include "image_verify.h"
#include "image_writer.h"
#include "layout_check.h"
#include "layout_loader.h"
#include "messages.h"
#include "progress.h"
#include "region_map.h"

namespace quorvel {
namespace {

struct Options {
  std::string layout;
  std::string output = "all.bin";
  std::vector<std::string> images;  // REGION=IMAGE
  bool list = false;
  bool check = false;
  std::string verify;   // an image to compare with the layout
  std::string mapJson;  // where to write the region map as JSON
  bool quiet = false;
};

// Reports on the streams: errors always, plain messages unless quiet; after the message, the file
// concerned and the system's reason. Line breaks in messages are written as the terminal expects.
class StreamSink final : public MessageSink {
 public:
  StreamSink(std::ostream& out, std::ostream& err, bool quiet) : m_out(out), m_err(err), m_quiet(quiet) {}
  void ShowMessage(const std::string& text, MessageKind kind) override { ShowMessage(text, kind, {}); }
  void ShowMessage(const std::string& text, MessageKind kind, const FileDetail& detail) override {
    std::string line;
    for (const char c : text) {
      if (c != '\r') line += c;
    }
    if (!detail.path.empty()) line += " " + detail.path + (detail.reason.empty() ? "" : ": " + detail.reason);
    if (kind == MessageKind::Error) {
      m_err << line << '\n';
    } else if (!m_quiet) {
      m_out << line << '\n';
    }
  }

 private:
  std::ostream& m_out;
  std::ostream& m_err;
  bool m_quiet;
};

std::string KnownRegionList() {
  std::string list;
  for (const char* known : kRegionNames) list += (list.empty() ? "" : ", ") + std::string(known);
  return list;
}

// The -i assignments as region name to image path; an error text when one cannot be used.
std::string ParseAssignments(const std::vector<std::string>& assignments, std::map<std::string, std::string>& images) {
  for (const std::string& assignment : assignments) {
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == assignment.size()) {
      return "-i takes REGION=IMAGE, not '" + assignment + "'";
    }
    const std::string given = assignment.substr(0, equals);
    const char* region = FindRegionName(given);
    if (!region) return "unknown region name '" + given + "' (the regions are: " + KnownRegionList() + ")";
    if (!images.emplace(region, assignment.substr(equals + 1)).second) {
      return "region '" + std::string(region) + "' is given more than once";
    }
  }
  return {};
}

// Sets each assigned image on its row; an error text when the layout lacks the region.
std::string AssignImages(RegionTable& table, const std::map<std::string, std::string>& images) {
  for (const auto& [region, path] : images) {
    int row = 0;
    while (row < table.Count() && table.GetCell(row, COL_REGION, kRegionNameCapacity) != region) ++row;
    if (row == table.Count()) return "the layout file defines no region '" + region + "'";
    table.SetCell(row, COL_IMAGE, path);
  }
  return {};
}

void PrintTable(const MemoryRegionTable& table, std::ostream& out) {
  for (const RegionRow& row : table.Rows()) {
    out << row.offsetText << '\t' << row.sizeText << '\t' << row.regionName << '\t' << row.imagePath << '\n';
  }
}

int Usage(std::ostream& err, const std::string& text) {
  err << "quorvel-cli: " << text << '\n';
  return kExitUsage;
}

int RunCheck(const std::string& layout, const ProfileFile& profile, const RegionTable& table, std::ostream& out) {
  const std::vector<Finding> findings = CheckLayout(profile, table);
  for (const Finding& f : findings) {
    out << layout << ':' << (f.line > 0 ? std::to_string(f.line) + ":" : std::string()) << ' ' << f.region << ": "
        << f.text << '\n';
  }
  return findings.empty() ? kExitOk : kExitFailed;
}

int RunVerify(const std::string& image, const RegionTable& table, std::ostream& out, std::ostream& err) {
  const std::optional<VerifyReport> report = VerifyImage(table, image);
  if (!report) return Usage(err, "cannot read the image file '" + image + "'");
  char line[256];
  for (const RegionCheck& r : report->regions) {
    std::snprintf(line, sizeof line, "%-12s 0x%08llX 0x%08llX  ", r.regionName.c_str(),
                  static_cast<unsigned long long>(r.position), static_cast<unsigned long long>(r.size));
    out << line << (r.matches ? "matches" : "DIFFERS: " + r.detail) << '\n';
  }
  if (report->imageSize != report->expectedSize) {
    out << "the image is " << report->imageSize << " bytes long, the layout calls for " << report->expectedSize << '\n';
  }
  return report->AllMatch() ? kExitOk : kExitFailed;
}

// Written as the image is: complete or not at all, the earlier file whole until then.
bool WriteText(const std::string& path, const std::string& text) {
  std::optional<ReplacementFile> file = ReplacementFile::Open(path);
  return file && file->Get().WriteAll(text.data(), text.size()) && file->Commit();
}

// The input that path would write over, if any: the layout, an image file, or the output.
std::optional<std::string> InputAt(const std::string& path, const Options& options,
                                   const std::map<std::string, std::string>& images) {
  if (IsSameFile(path, options.layout)) return "the layout file";
  for (const auto& [region, image] : images) {
    if (IsSameFile(path, image)) return "the image file of region '" + region + "'";
  }
  if (IsSameFile(path, options.output)) return "the output";
  return std::nullopt;
}

int RunGenerate(const Options& options, const std::map<std::string, std::string>& images, const RegionTable& table,
                std::ostream& out, std::ostream& err) {
  StreamSink sink(out, err, options.quiet);
  if (table.Count() <= 0) {
    sink.ShowMessage(kMsgNoRegions, MessageKind::Error);
    return kExitFailed;
  }
  if (!options.mapJson.empty()) {
    if (const std::optional<std::string> input = InputAt(options.mapJson, options, images)) {
      err << "quorvel-cli: the region map '" << options.mapJson << "' would overwrite " << *input << '\n';
      return kExitFailed;
    }
  }
  ObserverList observers;
  ProgressLine progress(!options.quiet && StandardErrorIsTerminal());
  observers.Add(progress);
  RegionDigests digests;
  if (!options.mapJson.empty()) observers.Add(digests);
  OutputOptions output;
  output.layoutPath = options.layout;
  const auto map = GenerateImage(table, options.output, sink, output, &observers);
  if (!map) return kExitFailed;
  if (!options.quiet) PrintMap(*map, out);
  if (!options.mapJson.empty() && !WriteText(options.mapJson, MapJson(options.output, *map, digests.Digests()))) {
    err << "quorvel-cli: cannot write the region map '" << options.mapJson << "': " << LastSystemError() << '\n';
    return kExitFailed;
  }
  return kExitOk;
}

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options options;
  CLI::App app{"Writes a whole-flash image from a layout file and one image file per region."};
  app.name("quorvel-cli");
  app.add_option("LAYOUT", options.layout, "Layout file (.conf)")->required();
  app.add_option("-o,--output", options.output, "Image file to write")->capture_default_str();
  app.add_option("-i,--image", options.images, "Image file for a region, as REGION=IMAGE (repeatable)");
  app.add_option("--map-json", options.mapJson, "Also write the region map, with SHA-256 of each region, as JSON");
  auto* list = app.add_flag("--list", options.list, "Print the region table instead of writing the image");
  auto* check = app.add_flag("--check", options.check,
                             "Report what the layout and images would do silently (gaps, overlaps, misspelt sections, ...)");
  auto* verify = app.add_option("--verify", options.verify, "Tell whether an existing IMAGE holds what the layout calls for");
  list->excludes(check)->excludes(verify);
  check->excludes(verify);
  app.add_flag("-q,--quiet", options.quiet, "Print nothing on success");

  std::vector<std::string> reversed(args.rbegin(), args.rend() - (args.empty() ? 0 : 1));
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    return Usage(err, e.what());
  }

  std::map<std::string, std::string> images;
  if (const std::string problem = ParseAssignments(options.images, images); !problem.empty()) return Usage(err, problem);

  // The layout file is read once, for the table and for the check.
  const LayoutFile layout = ReadLayout(options.layout);
  if (layout.status == WholeFile::Status::TooLarge) {
    return Usage(err, "the layout file '" + options.layout + "' is larger than 64 MiB, which no layout file is");
  }
  if (layout.status != WholeFile::Status::Read) {
    return Usage(err, "cannot read the layout file '" + options.layout + "': " + layout.reason);
  }
  const ProfileFile& profile = layout.profile;
  MemoryRegionTable table;
  LoadLayout(table, profile);
  if (const std::string problem = AssignImages(table, images); !problem.empty()) return Usage(err, problem);

  if (options.list) {
    PrintTable(table, out);
    return kExitOk;
  }
  if (options.check) return RunCheck(options.layout, profile, table, out);
  if (!options.verify.empty()) return RunVerify(options.verify, table, out, err);
  return RunGenerate(options, images, table, out, err);
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // Running out of memory anywhere ends the run with the writer's message, never with a crash.
  try {
    return RunTool(args, out, err);
  } catch (const std::bad_alloc&) {
    err << kMsgOutOfMemory << '\n';
    return kExitFailed;
  }
}

}  // namespace quorvel
