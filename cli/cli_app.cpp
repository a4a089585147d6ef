#include "cli_app.h"

#include <CLI/CLI.hpp>
#include <map>
#include <new>
#include <ostream>

#include "base/text.h"
#include "files/path.h"
#include "image/image_check.h"
#include "image/image_extract.h"
#include "image/image_verify.h"
#include "image/image_writer.h"
#include "layout/layout_check.h"
#include "layout/layout_loader.h"
#include "progress.h"
#include "region_map.h"
#include "reports.h"
#include "text/messages.h"
#include "text/value_text.h"
#include "version.h"

namespace quorvel {
namespace {

struct Options {
  std::string layout;
  std::string output = "all.bin";
  std::vector<std::string> images;  // REGION=IMAGE
  bool list = false;
  bool check = false;
  std::string verify;   // an image to compare with the layout
  std::string extract;  // an image to take the regions out of
  bool trim = false;
  std::string mapJson;  // where to write the region map as JSON
  std::string format;   // bin, srec, ihex; by the output's name when empty
  std::string base = "0";
  bool quiet = false;
  bool noClone = false;
};

// One run of the tool: its streams and the language of its own words.
class Tool {
 public:
  Tool(std::ostream& out, std::ostream& err, Language language) : m_out(out), m_err(err), m_language(language) {}
  int Run(const std::vector<std::string>& args);

 private:
  std::string Say(std::string_view english, std::string_view japanese, std::initializer_list<std::string_view> args = {}) const {
    return quorvel::Say(m_language, english, japanese, args);
  }
  int Usage(const std::string& text) const {
    m_err << "quorvel-cli: " << text << '\n';
    return kExitUsage;
  }
  int Failure(const std::string& text) const {
    m_err << "quorvel-cli: " << text << '\n';
    return kExitFailed;
  }

  void Describe(CLI::App& app);
  std::string ValuelessOption(const std::vector<std::string>& args) const;
  std::string ParseProblem(const CLI::ParseError& e, const CLI::App& app) const;
  std::string ParseAssignments();
  std::string AssignImages(std::vector<RegionRow>& rows) const;
  std::optional<std::string> InputAt(const std::string& path, const std::vector<RegionRow>& rows) const;
  std::optional<std::uint64_t> Base(std::string& problem) const;
  std::optional<OutputOptions> OutputChoice(std::string& problem) const;
  int RunCheck(const ProfileFile& profile, const std::vector<RegionRow>& rows) const;
  int RunVerify(const std::vector<RegionRow>& rows) const;
  int RunGenerate(const std::vector<RegionRow>& rows) const;
  int RunExtract(const std::vector<RegionRow>& rows) const;
  int MapFailure() const;
  // Opens the region map's file (--map-json) for the image at imagePath, before anything is written;
  // input is what the map would overwrite, if anything. The exit status when it cannot be had.
  std::optional<int> OpenMap(std::optional<MapFile>& mapFile, const std::string& imagePath,
                             const std::optional<std::string>& input) const;

  std::ostream& m_out;
  std::ostream& m_err;
  Language m_language;
  Options m_options;
  bool m_outputGiven = false;
  std::map<std::string, std::string> m_images;  // region name to image path
};

std::string KnownRegionList() {
  std::string list;
  for (const char* known : kRegionNames) list += (list.empty() ? "" : ", ") + std::string(known);
  return list;
}

// An address as the layout writes its values, so that one text means one address everywhere:
// hexadecimal, with or without 0x, and nothing after the number.
std::optional<std::uint64_t> ParseAddress(std::string_view text) {
  const HexReading reading = ReadHex(text);
  if (!reading.hasDigits || !reading.rest.empty() || !reading.fits || reading.value < 0) return std::nullopt;
  return static_cast<std::uint64_t>(reading.value);
}

// The help's option lines with their descriptions in one column on the screen: the parser pads by
// bytes, and a Japanese label takes three bytes and two columns a character.
class ColumnFormatter final : public CLI::Formatter {
 public:
  std::string make_option(const CLI::Option* option, bool isPositional) const override {
    std::string line = "  " + make_option_name(option, isPositional) + make_option_opts(option);
    const std::string description = make_option_desc(option);
    if (!description.empty()) {
      const size_t width = qbase::DisplayWidth(line);
      line += width < column_width_ ? std::string(column_width_ - width, ' ') : "\n" + std::string(column_width_, ' ');
      for (const char c : description) line += c == '\n' ? "\n" + std::string(column_width_, ' ') : std::string(1, c);
    }
    return line + "\n";
  }
};

void Tool::Describe(CLI::App& app) {
  app.name("quorvel-cli");
  if (m_language == Language::Japanese) app.option_defaults()->group("オプション");
  app.description(Say("Writes a whole-flash image from a layout file and one image file per region.",
                      "レイアウトファイルとリージョンごとのイメージファイルから、フラッシュ全体のイメージを作成します。"));
  app.set_version_flag("--version", std::string("quorvel-cli ") + QUORVEL_VERSION_DOTTED,
                       Say("Print the version and stop", "バージョンを表示して終了します"));
  app.set_help_flag("-h,--help", Say("Print this help and stop", "このヘルプを表示して終了します"));
  // Each option with its help in the tool's language: a flag for a bool, else an option that takes a value.
  const auto declare = [&](const char* names, auto& value, std::string_view english, std::string_view japanese) {
    if constexpr (std::is_same_v<std::remove_reference_t<decltype(value)>, bool>) {
      return app.add_flag(names, value, Say(english, japanese));
    } else {
      return app.add_option(names, value, Say(english, japanese));
    }
  };
  declare("LAYOUT", m_options.layout, "Layout file (.conf)", "レイアウトファイル（.conf）")->required();
  auto* output = declare("-o,--output", m_options.output, "Image file to write", "作成するイメージファイル")->capture_default_str();
  // One assignment each time: a layout that follows -i's value is never taken for a second image.
  auto* images = declare("-i,--image", m_options.images,
                         "Image file for a region, as REGION=IMAGE (one each time; repeatable). S-record and Intel HEX files "
                         "(.mot .srec .s19 .s28 .s37 .hex .ihex .ihx) give the bytes their records describe",
                         "リージョンのイメージファイルを REGION=IMAGE で指定します（一回に一つ、繰り返し可）。Sレコードと"
                         "インテルHEXのファイル（.mot .srec .s19 .s28 .s37 .hex .ihex .ihx）は、レコードの表すバイトになります")
                    ->allow_extra_args(false);
  auto* format = declare("--format", m_options.format, "bin, srec (Motorola S-record) or ihex (Intel HEX); by the output's extension when not given",
                         "bin、srec（Motorola S-record）または ihex（Intel HEX）。省略時は出力ファイルの拡張子で決まります");
  auto* base = declare("--base", m_options.base,
                       "Address of the image's first byte in the target, in hexadecimal as in the layout (default 0): the "
                       "records written take their addresses from it, and image files given as records are placed by it",
                       "ターゲットでのイメージの先頭バイトのアドレス。レイアウトと同じく16進数（既定値 0）。出力するレコードの"
                       "アドレスになり、レコードで指定したイメージファイルもこれに合わせて配置されます");
  auto* map = declare("--map-json", m_options.mapJson, "Also write the region map, with each region's SHA-256 and CRC-32, as JSON",
                      "リージョンの配置を、リージョンごとの SHA-256 と CRC-32 とともに JSON でも書き出します");
  auto* noClone = declare("--no-clone", m_options.noClone,
                          "Write every erased byte of a raw image: by default, on file systems that share blocks (XFS, btrfs), "
                          "the image's erased runs share one erased mebibyte instead",
                          "バイナリのイメージの消去済み（0xFF）の部分もすべて書き込みます。既定では、ブロックを共有できる"
                          "ファイルシステム（XFS、btrfs）では、消去済みの部分が一つの消去済みの1MiBを共有します");
  auto* list = declare("--list", m_options.list, "Print the region table instead of writing the image", "イメージを作成せず、リージョンの一覧を表示します");
  auto* check = declare("--check", m_options.check, "Report what the layout and images would do silently (gaps, overlaps, misspelt sections, ...)",
                        "レイアウトとイメージが黙って引き起こすこと（隙間、重なり、綴りの誤ったセクションなど）を報告します");
  auto* verify = declare("--verify", m_options.verify, "Tell whether an existing IMAGE holds what the layout calls for",
                         "既存のイメージ IMAGE がレイアウトどおりの内容かを調べます");
  auto* extract = declare("--extract", m_options.extract,
                          "Take the regions out of IMAGE: each into OUTPUT/REGION.bin, OUTPUT being a folder that -o names",
                          "イメージ IMAGE からリージョンを取り出し、-o で指定したフォルダーの REGION.bin にそれぞれ書き出します");
  auto* trim = declare("--trim", m_options.trim, "With --extract: leave out each region's trailing 0xFF bytes",
                       "--extract で、各リージョンの末尾の 0xFF を書き出しません");
  // The modes that write no image: --check and --verify take the base that places records; --extract
  // takes the folder (-o), the map and --no-clone.
  for (CLI::Option* writing : {output, map, format, base, noClone}) writing->excludes(list);
  for (CLI::Option* writing : {output, map, format, noClone}) writing->excludes(check)->excludes(verify);
  for (CLI::Option* writing : {format, base, images}) writing->excludes(extract);
  list->excludes(check)->excludes(verify)->excludes(extract);
  check->excludes(verify)->excludes(extract);
  verify->excludes(extract);
  trim->needs(extract);
  declare("-q,--quiet", m_options.quiet, "Print nothing on success", "成功したときは何も表示しません");
  auto formatter = std::make_shared<ColumnFormatter>();
  if (m_language == Language::Japanese) {
    for (const auto& [key, label] : {std::pair{"Usage", "使い方"}, {"OPTIONS", "オプション"},
                                     {"Positionals", "引数"}, {"REQUIRED", "必須"}, {"TEXT", "文字列"}, {"Excludes", "同時に使えないもの"}, {"Needs", "一緒に使うもの"}}) {
      formatter->label(key, label);
    }
  }
  app.formatter(formatter);
}

// "--format=" with nothing after it: the parser would take the next argument as its value and blame
// another one.
std::string Tool::ValuelessOption(const std::vector<std::string>& args) const {
  for (size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
    const std::string& arg = args[i];
    if (arg.size() > 3 && arg.starts_with("--") && arg.find('=') == arg.size() - 1) {
      const std::string name = arg.substr(0, arg.size() - 1);
      return Say("'{0}' gives {1} no value", "'{0}' では {1} に値が指定されていません", {arg, name});
    }
  }
  return {};
}

// The parser's complaint in the tool's language, where it is one the user is likely to meet.
std::string Tool::ParseProblem(const CLI::ParseError& e, const CLI::App& app) const {
  if (dynamic_cast<const CLI::RequiredError*>(&e)) return Say("no layout file given", "レイアウトファイルが指定されていません");
  if (dynamic_cast<const CLI::ExtrasError*>(&e)) {
    // An assignment given without its -i was taken for the layout, or is left over: it is the one to name.
    std::vector<std::string> positionals = app.remaining();
    positionals.insert(positionals.begin(), m_options.layout);
    for (const std::string& arg : positionals) {
      if (const size_t equals = arg.find('='); equals != std::string::npos && FindRegionName(arg.substr(0, equals))) {
        return Say("'{0}' has no -i before it (each -i takes one assignment)", "'{0}' の前に -i がありません（-i 一つにつき一つのリージョンを指定します）",
                   {arg});
      }
    }
    return Say("{0} (an unknown option, or a second layout file; quorvel-cli --help lists the options)",
               "{0}（知らないオプションか、二つ目のレイアウトファイルです。オプションは quorvel-cli --help で表示されます）", {e.what()});
  }
  if (dynamic_cast<const CLI::ExcludesError*>(&e)) {
    return Say("options that cannot be used together: {0}", "同時に使えないオプションがあります: {0}", {e.what()});
  }
  return Say("{0}", "コマンドラインを解釈できません: {0}", {e.what()});
}

// The -i assignments as region name to image path; a problem when one cannot be used.
std::string Tool::ParseAssignments() {
  for (const std::string& assignment : m_options.images) {
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == assignment.size()) {
      return Say("-i takes REGION=IMAGE, not '{0}'", "-i には REGION=IMAGE を指定します（'{0}' は使えません）", {assignment});
    }
    const std::string given = assignment.substr(0, equals);
    const char* region = FindRegionName(given);
    if (!region) {
      return Say("unknown region name '{0}' (the regions are: {1})", "リージョン名 '{0}' はありません（リージョン: {1}）",
                 {given, KnownRegionList()});
    }
    if (!m_images.emplace(region, assignment.substr(equals + 1)).second) {
      return Say("region '{0}' is given more than once", "リージョン '{0}' が二度以上指定されています", {region});
    }
  }
  return {};
}

// Sets each assigned image on its row; a problem when the layout lacks the region.
std::string Tool::AssignImages(std::vector<RegionRow>& rows) const {
  for (const auto& [region, path] : m_images) {
    RegionRow* row = FindRow(rows, region);
    if (!row) return Say("the layout file defines no region '{0}'", "レイアウトファイルにリージョン '{0}' がありません", {region});
    row->imagePath = path;
  }
  return {};
}

// The input or the output that path would write over, if any.
std::optional<std::string> Tool::InputAt(const std::string& path, const std::vector<RegionRow>& rows) const {
  if (const std::optional<Input> input = OverwrittenInput(path, m_options.layout, rows)) {
    if (input->isLayout) return Say("the layout file", "レイアウトファイル");
    return Say("the image file of region '{0}'", "リージョン'{0}'のイメージファイル", {input->region});
  }
  if (IsSameFile(path, m_options.output)) return Say("the output", "出力ファイル");
  return std::nullopt;
}

std::optional<std::uint64_t> Tool::Base(std::string& problem) const {
  const std::optional<std::uint64_t> base = ParseAddress(m_options.base);
  if (base && *base <= UINT32_MAX) return base;
  problem = Say("--base takes an address below 4 GiB in hexadecimal, as the layout's values (with or without 0x), not '{0}'",
                "--base には 4GiB 未満のアドレスを、レイアウトの値と同じく16進数（0x は付けても付けなくても可）で指定します（'{0}' は使えません）",
                {m_options.base});
  return std::nullopt;
}

std::optional<OutputOptions> Tool::OutputChoice(std::string& problem) const {
  OutputOptions output;
  output.layoutPath = m_options.layout;
  const std::optional<OutputFormat> format =
      m_options.format.empty() ? FormatForPath(m_options.output) : FormatFromName(m_options.format);
  std::string baseProblem;
  const std::optional<std::uint64_t> base = Base(baseProblem);
  if (m_options.output.empty()) {
    problem = Say("no output file given", "出力ファイルが指定されていません");
  } else if (!format) {
    problem = Say("unknown format '{0}' (the formats are: bin, srec, ihex)", "形式 '{0}' はありません（形式: bin、srec、ihex）",
                  {m_options.format});
  } else if (!base) {
    problem = baseProblem;
  } else {
    output.format = *format;
    output.base = *base;
    output.shareErased = !m_options.noClone;
    return output;
  }
  return std::nullopt;
}

int Tool::RunCheck(const ProfileFile& profile, const std::vector<RegionRow>& rows) const {
  std::string problem;
  const std::optional<std::uint64_t> base = Base(problem);
  if (!base) return Usage(problem);
  const std::vector<Finding> findings = CheckLayout(profile, rows, m_language, CheckImages(rows, *base, m_language));
  PrintFindings(findings, m_options.layout, m_out, m_language);
  return findings.empty() ? kExitOk : kExitFailed;
}

int Tool::RunVerify(const std::vector<RegionRow>& rows) const {
  std::string problem;
  const std::optional<std::uint64_t> base = Base(problem);
  if (!base) return Usage(problem);
  const std::optional<VerifyReport> report = VerifyImage(rows, m_options.verify, *base);
  if (!report) {
    return Usage(Say("cannot read the image file '{0}': {1}", "イメージファイル '{0}' を読み込めません: {1}",
                     {m_options.verify, LastSystemError()}));
  }
  PrintVerification(*report, m_out, m_language);
  return report->AllMatch() ? kExitOk : kExitFailed;
}

int Tool::RunGenerate(const std::vector<RegionRow>& rows) const {
  // An image written to standard output is all that goes there: the messages and the map go to
  // standard error.
  std::ostream& told = NamesStandardOutput(m_options.output) ? m_err : m_out;
  StreamSink sink(told, m_err, m_options.quiet, m_language);
  std::string problem;
  const std::optional<OutputOptions> output = OutputChoice(problem);
  if (!output) return Usage(problem);
  if (rows.empty()) {
    sink.ShowMessage({MessageId::NoRegions});
    return kExitFailed;
  }
  std::optional<MapFile> mapFile;
  if (!m_options.mapJson.empty()) {
    if (const std::optional<int> failed = OpenMap(mapFile, m_options.output, InputAt(m_options.mapJson, rows))) return *failed;
  }
  ProgressLine progress(!m_options.quiet && StandardErrorIsTerminal());
  std::vector<WriteObserver*> observers{&progress};
  if (mapFile) observers.push_back(&*mapFile);
  const auto map = GenerateImage(rows, m_options.output, sink, *output, observers);
  if (!map) return kExitFailed;
  if (!m_options.quiet) PrintMap(*map, told, m_language);
  return kExitOk;
}

int Tool::RunExtract(const std::vector<RegionRow>& rows) const {
  if (!m_outputGiven) {
    return Usage(Say("--extract needs -o FOLDER, the folder the regions' files go to", "--extract には、リージョンのファイルを書き出すフォルダーを -o で指定します"));
  }
  StreamSink sink(m_out, m_err, m_options.quiet, m_language);
  if (rows.empty()) {
    sink.ShowMessage({MessageId::NoRegions});
    return kExitFailed;
  }
  std::optional<MapFile> mapFile;
  if (!m_options.mapJson.empty()) {
    std::optional<std::string> input = InputAt(m_options.mapJson, rows);
    if (IsSameFile(m_options.mapJson, m_options.extract)) input = Say("the image", "イメージファイル");
    for (const RegionRow& row : rows) {
      if (IsSameFile(m_options.mapJson, RegionFilePath(m_options.output, row.regionName))) {
        input = Say("the file of region '{0}'", "リージョン'{0}'のファイル", {row.regionName});
      }
    }
    if (const std::optional<int> failed = OpenMap(mapFile, m_options.extract, input)) return *failed;
  }
  ProgressLine progress(!m_options.quiet && StandardErrorIsTerminal());
  std::vector<WriteObserver*> observers{&progress};
  if (mapFile) observers.push_back(&*mapFile);
  const ExtractOptions options{m_options.trim, !m_options.noClone, m_options.layout};
  const auto map = ExtractRegions(rows, m_options.extract, m_options.output, sink, options, observers);
  if (!map) return kExitFailed;
  if (!m_options.quiet) PrintMap(*map, m_out, m_language);
  return kExitOk;
}

std::optional<int> Tool::OpenMap(std::optional<MapFile>& mapFile, const std::string& imagePath,
                                 const std::optional<std::string>& input) const {
  if (input) {
    return Failure(Say("the region map '{0}' would overwrite {1}", "リージョンの配置 '{0}' が{1}を上書きしてしまいます", {m_options.mapJson, *input}));
  }
  if (!mapFile.emplace(m_options.mapJson, imagePath).IsOpen()) return MapFailure();
  return std::nullopt;
}

int Tool::MapFailure() const {
  return Failure(Say("cannot write the region map '{0}': {1}", "リージョンの配置 '{0}' を書き込めません: {1}",
                     {m_options.mapJson, LastSystemError()}));
}

int Tool::Run(const std::vector<std::string>& args) {
  CLI::App app;
  Describe(app);
  // Windows users ask for help with "/?".
  std::vector<std::string> reversed;
  for (auto arg = args.rbegin(); arg != args.rend() - (args.empty() ? 0 : 1); ++arg) reversed.push_back(*arg == "/?" ? "--help" : *arg);
  if (const std::string problem = ValuelessOption(args); !problem.empty()) return Usage(problem);
  try {
    app.parse(reversed);
    m_outputGiven = app.count("--output") > 0;
  } catch (const CLI::CallForHelp&) {
    m_out << app.help();
    return kExitOk;
  } catch (const CLI::CallForVersion& e) {
    m_out << e.what() << '\n';
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    return Usage(ParseProblem(e, app));
  }
  if (const std::string problem = ParseAssignments(); !problem.empty()) return Usage(problem);

  // The layout file is read once, to its end, for the rows and for the check.
  const LayoutFile layout = ReadLayout(m_options.layout);
  if (layout.status == WholeFile::Status::TooLarge) {
    return Usage(Say("the layout file '{0}' is larger than 64 MiB, which no layout file is",
                     "レイアウトファイル '{0}' が 64MiB を超えています（レイアウトファイルとしては大きすぎます）", {m_options.layout}));
  }
  if (layout.status != WholeFile::Status::Read) {
    return Usage(Say("cannot read the layout file '{0}': {1}", "レイアウトファイル '{0}' を読み込めません: {1}",
                     {m_options.layout, layout.reason}));
  }
  std::vector<RegionRow> rows = LoadLayout(layout.profile);
  if (const std::string problem = AssignImages(rows); !problem.empty()) return Usage(problem);

  if (m_options.list) {
    PrintRows(rows, m_out);
    if (rows.empty()) m_err << MessageText({MessageId::NoRegions}, m_language) << '\n';
    return rows.empty() ? kExitFailed : kExitOk;
  }
  if (m_options.check) return RunCheck(layout.profile, rows);
  if (!m_options.verify.empty()) return RunVerify(rows);
  if (!m_options.extract.empty()) return RunExtract(rows);
  return RunGenerate(rows);
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, Language language) {
  // Running out of memory anywhere ends the run with the writer's message, never with a crash.
  try {
    return Tool(out, err, language).Run(args);
  } catch (const std::bad_alloc&) {
    err << MessageText({MessageId::OutOfMemory}, language) << '\n';
    return kExitFailed;
  } catch (const std::exception& e) {
    err << "quorvel-cli: " << e.what() << '\n';
    return kExitFailed;
  }
}

}  // namespace quorvel
