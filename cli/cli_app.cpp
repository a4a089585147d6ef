#include "cli_app.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <map>
#include <ostream>

#include "image_writer.h"
#include "layout_loader.h"
#include "messages.h"

namespace quorvel {
namespace {

struct Options {
  std::string layout;
  std::string output = "all.bin";
  std::vector<std::string> images;  // REGION=IMAGE
  bool list = false;
  bool quiet = false;
};

// Reports on the streams: errors always, plain messages unless quiet. Line breaks in messages are
// written as the terminal expects them.
class StreamSink final : public MessageSink {
 public:
  StreamSink(std::ostream& out, std::ostream& err, bool quiet) : m_out(out), m_err(err), m_quiet(quiet) {}
  void ShowMessage(const std::string& text, MessageKind kind) override {
    std::string line;
    for (const char c : text) {
      if (c != '\r') line += c;
    }
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

bool SameAsciiText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

const char* KnownRegionName(const std::string& name) {
  for (const char* known : kRegionNames) {
    if (SameAsciiText(name, known)) return known;
  }
  return nullptr;
}

std::string KnownRegionList() {
  std::string list;
  for (const char* known : kRegionNames) list += (list.empty() ? "" : ", ") + std::string(known);
  return list;
}

// The -i assignments as region name to image path; an error text when one cannot be used.
std::string ParseAssignments(const std::vector<std::string>& specs, std::map<std::string, std::string>& images) {
  for (const std::string& spec : specs) {
    const size_t equals = spec.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == spec.size()) {
      return "-i takes REGION=IMAGE, not '" + spec + "'";
    }
    const std::string given = spec.substr(0, equals);
    const char* region = KnownRegionName(given);
    if (!region) return "unknown region name '" + given + "' (the regions are: " + KnownRegionList() + ")";
    if (!images.emplace(region, spec.substr(equals + 1)).second) {
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

std::string Hex(std::uint64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

void PrintMap(const std::vector<PlacedRegion>& map, std::ostream& out) {
  char line[512];
  std::snprintf(line, sizeof line, "%-12s %-12s %-12s %-12s %12s %12s  %s\n", "region", "address", "position", "size",
                "image bytes", "fill bytes", "image file");
  out << line;
  std::uint64_t total = 0;
  for (const PlacedRegion& r : map) {
    std::snprintf(line, sizeof line, "%-12s %-12s %-12s %-12s %12llu %12llu  ", r.regionName.c_str(),
                  r.offsetText.c_str(), Hex(r.position).c_str(), Hex(r.size).c_str(),
                  static_cast<unsigned long long>(r.imageBytes),
                  static_cast<unsigned long long>(r.size - r.imageBytes));
    out << line << (r.imagePath.empty() ? "-" : r.imagePath) << '\n';
    total += r.size;
  }
  out << "total " << total << " bytes (" << Hex(total) << ")\n";
}

int Usage(std::ostream& err, const std::string& text) {
  err << "quorvel-cli: " << text << '\n';
  return kExitUsage;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options options;
  CLI::App app{"Writes a whole-flash image from a layout file and one image file per region."};
  app.name("quorvel-cli");
  app.add_option("LAYOUT", options.layout, "Layout file (.conf)")->required();
  app.add_option("-o,--output", options.output, "Image file to write")->capture_default_str();
  app.add_option("-i,--image", options.images, "Image file for a region, as REGION=IMAGE (repeatable)");
  app.add_flag("--list", options.list, "Print the region table instead of writing the image");
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

  MemoryRegionTable table;
  if (!LoadLayout(table, options.layout)) return Usage(err, "cannot read the layout file '" + options.layout + "'");
  if (const std::string problem = AssignImages(table, images); !problem.empty()) return Usage(err, problem);

  if (options.list) {
    PrintTable(table, out);
    return kExitOk;
  }
  StreamSink sink(out, err, options.quiet);
  if (table.Count() <= 0) {
    sink.ShowMessage(kMsgNoRegions, MessageKind::Error);
    return kExitFailed;
  }
  const auto map = GenerateImage(table, options.output, sink);
  if (!map) return kExitFailed;
  if (!options.quiet) PrintMap(*map, out);
  return kExitOk;
}

}  // namespace quorvel
