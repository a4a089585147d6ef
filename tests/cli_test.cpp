// The command-line tool in this process: one table of runs, each with its exit code, what it prints
// and what it leaves on the disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli_app.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace quorvel {
namespace {

using testing::Ff;

#ifdef _WIN32
constexpr char kNullDevice[] = "NUL";
#else
constexpr char kNullDevice[] = "@dir/null";  // the test folder's own node: see below
#endif
const std::string kLayout = "[kernel]\r\nOFFSET=0x10\r\nSIZE=0x8\r\n[ipl]\r\nOFFSET=0\r\nSIZE=0x10\r\n";
const std::string kImage = std::string(16, '\xFF') + "KRNL" + std::string(4, '\xFF');
const std::string kMap = "イメージファイルを作成しました。\n"
    "region       address      position     size         image bytes  fill bytes    image file\n"
    "ipl          0            0x00000000   0x00000010   0            16            -\n"
    "kernel       0x10         0x00000010   0x00000008   4            4             @dir/kernel.bin\n"
    "total 24 bytes (0x00000018)\n";

struct CliCase {
  const char* what;
  std::vector<std::string> args;  // "@dir/" stands for the test's folder, which holds board.conf and kernel.bin
  int code;
  std::string out;  // all of standard output, or with a leading "~" a part of it
  std::string err;  // a part of standard error; "" when it must be empty
  // name, and its contents (with a leading "~" a part of them; "~" alone: any) or absent
  std::vector<std::pair<std::string, std::optional<std::string>>> files = {};
  std::function<void(const testing::TempDir&)> setup = nullptr;
  Language language = Language::English;
};

std::string Expand(const std::string& text, const testing::TempDir& dir) {
  std::string out = text;
  for (size_t at; (at = out.find("@dir/")) != std::string::npos;) out.replace(at, 5, dir.Path(""));
  return out;
}

#ifndef _WIN32
// The reading end of a pipe that holds bytes, as a shell's <(...) gives it.
std::string Pipe(const std::string& bytes, std::vector<int>& open) {
  int fds[2];
  if (::pipe(fds) != 0 || ::write(fds[1], bytes.data(), bytes.size()) != ssize_t(bytes.size())) return "/no/pipe";
  ::close(fds[1]);
  open.push_back(fds[0]);
  return "/dev/fd/" + std::to_string(fds[0]);
}
#endif

void Write(const testing::TempDir& dir, const std::string& name, const std::string& bytes) {
  testing::WriteBytes(dir.Path(name), bytes);
}


// The kernel's image as records in k.mot, and an earlier output that a refusal leaves as it was.
std::function<void(const testing::TempDir&)> Records(const std::string& text) {
  return [text](const testing::TempDir& dir) {
    Write(dir, "k.mot", text);
    Write(dir, "out.bin", "old image");
  };
}

// A run refused for the records in k.mot before anything is written: the earlier output stays.
CliCase Refused(const char* what, const std::string& records, const std::string& err, Language language = Language::English) {
  return {what, {"-o", "@dir/out.bin", "-i", "kernel=@dir/k.mot", "@dir/board.conf"}, kExitFailed, "", err, {{"out.bin", "old image"}},
          Records(records), language};
}

// A folder x for regions taken out of all.bin: the image the tool makes of board.conf and kernel.bin,
// or the bytes given.
std::function<void(const testing::TempDir&)> Extracting(std::optional<std::string> image = std::nullopt) {
  return [image](const testing::TempDir& dir) {
    std::filesystem::create_directory(testing::FsPath(dir.Path("x")));
    std::ostringstream ignored;
    if (image) Write(dir, "all.bin", *image);
    if (!image) RunCli({"quorvel-cli", "-q", "-o", dir.Path("all.bin"), "-i", "kernel=" + dir.Path("kernel.bin"), dir.Path("board.conf")},
                       ignored, ignored, Language::English);
  };
}

// A layout of one region holding an image with an erased run of 128 KiB inside, and that image made
// into S-record by the tool at base 0x8000000.
const std::string kGappy = testing::Pattern(0x1000, 3) + Ff(0x20000) + testing::Pattern(0x1000, 4);
void RecordsOfGappy(const testing::TempDir& dir) {
  Write(dir, "gappy.conf", "[kernel]\nOFFSET=0\nSIZE=0x30000\n");
  Write(dir, "gappy.bin", kGappy);
  std::ostringstream ignored;
  RunCli({"quorvel-cli", "-q", "-o", dir.Path("gappy.mot"), "--base", "0x8000000", "-i", "kernel=" + dir.Path("gappy.bin"),
          dir.Path("gappy.conf")}, ignored, ignored, Language::English);
}

// "@dir/" stands for the test's folder, which holds board.conf and kernel.bin; "@pipe" is a pipe that
// holds "KRNL", "@layout" one that holds a layout.
const CliCase kCases[] = {
    {"writes the image and prints the region map", {"-o", "@dir/out.bin", "-i", "kernel=@dir/kernel.bin", "@dir/board.conf"}, kExitOk,
     kMap, "", {{"out.bin", kImage}}},
    {"quiet prints nothing, and a layout after -i's value is the layout",
     {"-o", "@dir/out.bin", "-i", "kernel=@dir/kernel.bin", "@dir/board.conf", "-q"}, kExitOk, "", "", {{"out.bin", kImage}}},
    {"list prints the table and writes nothing", {"--list", "-i", "KERNEL=@dir/kernel.bin", "@dir/board.conf"}, kExitOk,
     "0\t0x10\tipl\t\n0x10\t0x8\tkernel\t@dir/kernel.bin\n", "", {{"out.bin", std::nullopt}}},
    {"a missing image names the file and the reason", {"-o", "@dir/out.bin", "-i", "ipl=@dir/none.bin", "@dir/board.conf"},
     kExitFailed, "", "ファイルを開けません。 @dir/none.bin: ", {{"out.bin", std::nullopt}}},
    {"a negative size: the dialog program's words, then the region and its entry", {"-o", "@dir/out.bin", "@dir/neg.conf"}, kExitFailed,
     "", "メモリが足りません。 kernel: SIZE=-0x10\n", {{"out.bin", std::nullopt}},
     [](const auto& dir) { Write(dir, "neg.conf", "[ipl]\nOFFSET=0\nSIZE=4\n[kernel]\nOFFSET=4\nSIZE=-0x10\n"); }},
    {"a region of 4 GiB: the next starts at 4 GiB", {"-o", kNullDevice, "@dir/4g.conf"}, kExitOk,
     "~config       0x100000000  0x100000000  0x00000004", "", {},
     [](const auto& dir) { Write(dir, "4g.conf", "[kernel]\nOFFSET=0\nSIZE=0x100000000\n[config]\nOFFSET=0x100000000\nSIZE=4\n"); }},
    {"a size beyond 64 bits is refused, naming the region and the key", {"-o", "@dir/out.bin", "@dir/huge.conf"}, kExitFailed, "",
     "the SIZE of region 'kernel' does not fit in 64 bits kernel: SIZE=0x10000000000000000\n", {{"out.bin", std::nullopt}},
     [](const auto& dir) { Write(dir, "huge.conf", "[kernel]\nOFFSET=0\nSIZE=0x10000000000000000\n"); }},
    {"a layout without regions has nothing to write", {"-o", "@dir/out.bin", "@dir/empty.conf"}, kExitFailed, "",
     "イメージデータが入力されていません。", {{"out.bin", std::nullopt}}, [](const auto& dir) { Write(dir, "empty.conf", "[rootfs]\nOFFSET=0\n"); }},
    {"check of a clean layout says so", {"--check", "-i", "kernel=@dir/kernel.bin", "@dir/board.conf"}, kExitOk,
     "@dir/board.conf: no findings\n", ""},
    {"check reports findings with their lines", {"--check", "@dir/gappy.conf"}, kExitFailed,
     "@dir/gappy.conf:4: kernal: section [kernal] is not a region name (kernel?) and is ignored\n"
     "@dir/gappy.conf:7: kernel: gap of 0x10 bytes after ipl, which the image closes up: from here on, positions "
     "in the image are not flash addresses\n", "", {},
     [](const auto& dir) { Write(dir, "gappy.conf", "[ipl]\nOFFSET=0\nSIZE=0x10\n[kernal]\nOFFSET=0x20\n[kernel]\nOFFSET=0x20\nSIZE=8\n"); }},
    {"check in Japanese", {"--check", "@dir/empty.conf"}, kExitFailed,
     "@dir/empty.conf: リージョンが一つも定義されていません: 出力するものがありません\n", "", {},
     [](const auto& dir) { Write(dir, "empty.conf", ""); }, Language::Japanese},
    // Digests by Python's hashlib and zlib of 16 bytes of 0xFF and of "KRNL" and 4 bytes of 0xFF.
    {"map-json gives each region with its digests",
     {"-q", "-o", "@dir/out.bin", "--map-json", "@dir/map.json", "-i", "kernel=@dir/kernel.bin", "@dir/board.conf"}, kExitOk, "", "",
     {{"map.json", R"(~"region": "ipl",
      "address": "0",
      "position": 0,
      "size": 16,
      "image": null,
      "image_bytes": 0,
      "fill_bytes": 16,
      "image_format": null,
      "sha256": "5ac6a5945f16500911219129984ba8b387a06f24fe383ce4e81a73294065461b",
      "crc32": "3fb3c61a")"}, {"map.json", "~\"crc32\": \"d37507fb\""}}},
    {"verify of a matching image", {"--verify", "@dir/good.bin", "-i", "kernel=@dir/kernel.bin", "@dir/board.conf"},
     kExitOk, "ipl          0x00000000 0x00000010  matches\nkernel       0x00000010 0x00000008  matches\n", "", {},
     [](const auto& dir) { Write(dir, "good.bin", kImage); }},
    {"verify names the region that differs in an image of the right length",
     {"--verify", "@dir/bad.bin", "-i", "kernel=@dir/kernel.bin", "@dir/board.conf"}, kExitFailed,
     "ipl          0x00000000 0x00000010  matches\nkernel       0x00000010 0x00000008  DIFFERS from byte 5 of the region\n", "", {},
     [](const auto& dir) { Write(dir, "bad.bin", kImage.substr(0, 21) + "x" + kImage.substr(22)); }},
    {"verify goes on past a region it cannot read, and tells where the image ends",
     {"--verify", "@dir/short.bin", "-i", "kernel=@dir/none.bin", "@dir/three.conf"}, kExitFailed,
     "ipl          0x00000000 0x00000004  matches\nkernel       0x00000004 0x00000008  DIFFERS: ファイルを開けません。\n"
     "fpga         0x0000000C 0x00000004  DIFFERS: the image ends 2 bytes into the region\n"
     "the image holds 14 bytes, the layout calls for 16\n", "", {}, [](const auto& dir) {
       Write(dir, "three.conf", "[ipl]\nOFFSET=0\nSIZE=4\n[kernel]\nOFFSET=4\nSIZE=8\n[fpga]\nOFFSET=C\nSIZE=4\n");
       Write(dir, "short.bin", std::string(14, '\xFF'));
     }},
    {"verify of an unreadable image", {"--verify", "@dir/none.bin", "@dir/board.conf"}, kExitUsage, "",
     "cannot read the image file '@dir/none.bin'"},
    // Image files given as records: the bytes they describe, placed by --base; refused, naming the
    // region, the file and where, before anything is written.
    {"records give their bytes at their address less the base, in a raw image",
     {"-q", "-o", "@dir/out.bin", "--base", "0x8000000", "-i", "kernel=@dir/k.mot", "@dir/board.conf"}, kExitOk, "", "", {{"out.bin", kImage}},
     Records("S309080000104B524E4CA7\nS70500000000FA\n")},
    {"records written with a base and read with it give the image back, an erased run and all",
     {"-q", "-o", "@dir/back.bin", "--base", "0x8000000", "--map-json", "@dir/map.json", "-i", "kernel=@dir/gappy.mot", "@dir/gappy.conf"},
     kExitOk, "", "", {{"back.bin", kGappy + Ff(0x30000 - kGappy.size())}, {"map.json", "~\"image_bytes\": 139264,\n      \"fill_bytes\": 57344,\n      \"image_format\": \"srec\""}},
     RecordsOfGappy},
    {"verify and check place records by the base", {"--verify", "@dir/good.bin", "--base", "0x8000000", "-i", "kernel=@dir/k.mot", "@dir/board.conf"},
     kExitOk, "~kernel       0x00000010 0x00000008  matches\n", "", {}, [](const auto& dir) {
       Records("S309080000104B524E4CA7\nS70500000000FA\n")(dir);
       Write(dir, "good.bin", kImage);
     }},
    {"check without the base: the records lie outside", {"--check", "-i", "kernel=@dir/k.mot", "@dir/board.conf"}, kExitFailed,
     "@dir/board.conf: kernel: the records of the image file @dir/k.mot of region 'kernel' lie at 0x8000010 to 0x8000013, outside the "
     "region's addresses 0x10 to 0x17 (--base plus its position in the image)\n", "", {}, Records("S309080000104B524E4CA7\nS70500000000FA\n")},
    Refused("records outside the region", "S10700164B524E4CAB\nS9030000FC\n", "the records of the image file @dir/k.mot of region 'kernel' "
            "lie at 0x16 to 0x19, outside the region's addresses 0x10 to 0x17 (--base plus its position in the image)\n"),
    Refused("records that give an address two bytes, in Japanese", "S10500104B524D\nS10400115892\nS9030000FC\n",
            "リージョン'kernel'のイメージファイル@dir/k.motのレコードが、アドレス0x11に異なるデータを与えています。\n", Language::Japanese),
    Refused("a malformed line", "S10700104B524E4CB1\nhello\n", "line 2 of the image file @dir/k.mot of region 'kernel' is not a well-formed record\n"),
    Refused("a wrong checksum", "S10700104B524E4CB2\nS9030000FC\n", "line 1 of the image file @dir/k.mot of region 'kernel' has a wrong checksum"),
    Refused("a wrong count", "S10700104B524E4CB1\nS5030002FA\n", "line 2 of the image file @dir/k.mot of region 'kernel' gives a wrong count"),
    Refused("no end record", "S10700104B524E4CB1\n", "the image file @dir/k.mot of region 'kernel' has no end record"),
    Refused("data past 4 GiB", "S309FFFFFFFE4B524E4CC4\n", "line 1 of the image file @dir/k.mot of region 'kernel' holds data past 4 GiB"),
    {"a file named as records that holds none is copied", {"-q", "-o", "@dir/out.bin", "-i", "kernel=@dir/k.mot", "@dir/board.conf"}, kExitOk,
     "", "", {{"out.bin", kImage}}, Records("KRNL")},
    // Regions taken out of an image: each into FOLDER/REGION.bin, whole or trimmed, never over an input.
    {"regions taken out of an image made from files give the files back, with their fill",
     {"--extract", "@dir/all.bin", "-o", "@dir/x", "@dir/board.conf"}, kExitOk, "~ipl          0            0x00000000   0x00000010   16           0  ", "",
     {{"x/ipl.bin", Ff(16)}, {"x/kernel.bin", "KRNL" + Ff(4)}}, Extracting()},
    {"trimmed, with the map of the regions taken", {"--extract", "@dir/all.bin", "-o", "@dir/x/", "--trim", "--map-json", "@dir/map.json", "@dir/board.conf"},
     kExitOk, "~4            4             @dir/x/kernel.bin\ntotal 24 bytes", "", {{"x/ipl.bin", ""}, {"x/kernel.bin", "KRNL"},
     {"map.json", R"(~"position": 16,
      "size": 8,
      "image": ")"}, {"map.json", R"(~x/kernel.bin",
      "image_bytes": 4,
      "fill_bytes": 4,
      "image_format": "bin",
      "sha256": "fb90afca2f1cb829635b1b54374368352aefd8d5f89b0ca891e9fbe3284bbc54")"}}, Extracting()},
    {"trimmed where the 0xFF run ends the region's last piece, and its file", {"-q", "--extract", "@dir/big.bin", "-o", "@dir/x", "--trim", "@dir/big.conf"},
     kExitOk, "", "", {{"x/kernel.bin", "KRNL"}}, [](const auto& dir) {
       Extracting()(dir), Write(dir, "big.conf", "[kernel]\nOFFSET=0\nSIZE=0x500000\n"), Write(dir, "big.bin", "KRNL" + Ff(0x500000 - 4));
     }},
    {"regions taken out of no image", {"--extract", "@dir/none.bin", "-o", "@dir/x", "@dir/board.conf"}, kExitFailed, "",
     "ファイルを開けません。 @dir/none.bin: ", {{"x/ipl.bin", std::nullopt}}, Extracting()},
    {"an image shorter than the layout: no file written", {"--extract", "@dir/all.bin", "-o", "@dir/x", "@dir/board.conf"}, kExitFailed, "",
     "the image @dir/all.bin ends inside region 'kernel': it holds 23 bytes, the layout calls for 24",
     {{"x/ipl.bin", std::nullopt}, {"x/kernel.bin", std::nullopt}}, Extracting(kImage.substr(1))},
    {"regions taken out into no folder", {"--extract", "@dir/all.bin", "-o", "@dir/none", "@dir/board.conf"}, kExitFailed, "",
     "@dir/none is not a folder", {}, Extracting()},
    {"a region's file that would be the image", {"--extract", "@dir/x/kernel.bin", "-o", "@dir/x", "@dir/board.conf"}, kExitFailed, "",
     "the output cannot be the image that is read @dir/x/kernel.bin", {{"x/kernel.bin", kImage}, {"x/ipl.bin", std::nullopt}},
     [](const auto& dir) { Extracting(kImage)(dir); Write(dir, "x/kernel.bin", kImage); }},
    {"a region's file that would be the layout", {"--extract", "@dir/all.bin", "-o", "@dir/x", "@dir/x/ipl.bin"}, kExitFailed, "",
     "the output cannot be the layout file @dir/x/ipl.bin", {{"x/ipl.bin", kLayout}}, [](const auto& dir) {
       Extracting(kImage)(dir);
       Write(dir, "x/ipl.bin", kLayout);
     }},
    {"the map of the regions taken over the image", {"--extract", "@dir/all.bin", "-o", "@dir/x", "--map-json", "@dir/all.bin", "@dir/board.conf"},
     kExitFailed, "", "would overwrite the image", {{"all.bin", kImage}}, Extracting(kImage)},
    {"the map of the regions taken over a region's file", {"--extract", "@dir/all.bin", "-o", "@dir/x", "--map-json", "@dir/x/ipl.bin",
     "@dir/board.conf"}, kExitFailed, "", "would overwrite the file of region 'ipl'", {{"x/ipl.bin", std::nullopt}}, Extracting(kImage)},
    {"regions taken out with no folder given", {"--extract", "@dir/all.bin", "@dir/board.conf"}, kExitUsage, "", "--extract needs -o FOLDER"},
    {"regions taken out with images given", {"--extract", "@dir/all.bin", "-o", "@dir/x", "-i", "kernel=x", "@dir/board.conf"}, kExitUsage, "",
     "cannot be used together"},
    // Inputs are never written over, whatever the output's name.
    {"the layout as output", {"-o", "@dir/./board.conf", "@dir/board.conf"}, kExitFailed, "",
     "the output cannot be the layout file @dir/./board.conf"},
    {"an image as output, in Japanese", {"-o", "@dir/kernel.bin", "-i", "kernel=@dir/kernel.bin", "@dir/board.conf"},
     kExitFailed, "", "リージョン'kernel'のイメージファイルと同じファイルには出力できません。 @dir/kernel.bin", {}, nullptr,
     Language::Japanese},
    {"the map over an image", {"-o", "@dir/out.bin", "--map-json", "@dir/kernel.bin", "-i", "kernel=@dir/kernel.bin",
     "@dir/board.conf"}, kExitFailed, "", "would overwrite the image file of region 'kernel'", {{"out.bin", std::nullopt}}},
    {"the map over the layout", {"-o", "@dir/out.bin", "--map-json", "@dir/board.conf", "@dir/board.conf"},
     kExitFailed, "", "would overwrite the layout file", {{"out.bin", std::nullopt}}},
    {"the map over the output", {"-o", "@dir/out.bin", "--map-json", "@dir/out.bin", "@dir/board.conf"},
     kExitFailed, "", "would overwrite the output", {{"out.bin", std::nullopt}}},
    {"an oversize image names the region and the file, and the earlier map stays whole",
     {"-o", "@dir/out.bin", "--map-json", "@dir/map.json", "-i", "ipl=@dir/big.bin", "@dir/board.conf"}, kExitFailed, "",
     "リージョン'ipl'のファイルサイズが\nオーバーしています。 @dir/big.bin", {{"map.json", "earlier map"}, {"out.bin", std::nullopt}},
     [](const auto& dir) { Write(dir, "map.json", "earlier map"); Write(dir, "big.bin", std::string(17, 'x')); }},
    // Mistakes on the command line.
    {"no layout", {}, kExitUsage, "", "no layout file given"},
    {"an unknown option and a region's name alone", {"--frobnicate", "@dir/board.conf", "kernel"}, kExitUsage, "",
     "kernel --frobnicate (an unknown option, or a second layout file"},
    {"an option with an empty value after '=' is named, not the layout", {"--format=", "-o", "x.mot", "@dir/board.conf"}, kExitUsage, "",
     "'--format=' gives --format no value"},
    {"an assignment without its -i is named, not the layout", {"-i", "kernel=k.bin", "config=c.bin", "@dir/board.conf"}, kExitUsage,
     "", "'config=c.bin' has no -i before it"},
    {"unknown region", {"-i", "rootfs=x.bin", "@dir/board.conf"}, kExitUsage, "", "unknown region name 'rootfs'"},
    {"repeated region", {"-i", "kernel=a", "-i", "Kernel=b", "@dir/board.conf"}, kExitUsage, "", "more than once"},
    {"region not in the layout", {"-i", "fpga=x.bin", "@dir/board.conf"}, kExitUsage, "", "defines no region 'fpga'"},
    {"assignment without image", {"-i", "kernel=", "@dir/board.conf"}, kExitUsage, "", "REGION=IMAGE"},
    {"assignment without region", {"-i", "=x.bin", "@dir/board.conf"}, kExitUsage, "", "REGION=IMAGE, not '=x.bin'"},
    {"two modes at once", {"--check", "--verify", "@dir/board.conf", "@dir/board.conf"}, kExitUsage, "", "cannot be used together"},
    {"a mistake in Japanese", {"-i", "kernal=x", "@dir/board.conf"}, kExitUsage, "", "リージョン名 'kernal' はありません",
     {}, nullptr, Language::Japanese},
    {"an unknown format", {"--format", "elf", "@dir/board.conf"}, kExitUsage, "", "unknown format 'elf'"},
    {"a base is hexadecimal with or without 0x, as the layout's values", {"-q", "-o", "@dir/x.mot", "--base", "08000000", "-i",
     "kernel=@dir/kernel.bin", "@dir/board.conf"}, kExitOk, "", "", {{"x.mot", "~\nS309080000104B524E4C"}}},
    {"a base beyond 32 bits, verifying", {"--verify", "@dir/x.bin", "--base", "100000000", "@dir/board.conf"}, kExitUsage, "", "below 4 GiB"},
    {"a base that is no number, checking", {"--check", "--base", "zz", "@dir/board.conf"}, kExitUsage, "", "not 'zz'"},
    {"a base of 0xFFFFFFFF is an address, whose records pass 4 GiB", {"-o", "@dir/x.mot", "--base", "FFFFFFFF", "@dir/board.conf"}, kExitFailed,
     "", "would pass 4 GiB of addresses", {{"x.mot", std::nullopt}}},
    {"a base that is not wholly a number", {"-o", "@dir/x.mot", "--base", "0x80g", "@dir/board.conf"}, kExitUsage, "", "not '0x80g'"},
    {"a base with --list", {"--list", "--base", "0x8000", "@dir/board.conf"}, kExitUsage, "", "cannot be used together"},
    {"an empty output name", {"-o", "", "@dir/board.conf"}, kExitUsage, "", "no output file given"},
    {"an output with a mode that writes none", {"--check", "-o", "@dir/x.bin", "@dir/board.conf"}, kExitUsage, "",
     "cannot be used together"},
    {"a map that cannot be written leaves the image as it was",
     {"-o", "@dir/out.bin", "--map-json", "@dir/none/map.json", "@dir/board.conf"}, kExitFailed, "",
     "cannot write the region map '@dir/none/map.json': ", {{"out.bin", "old image"}},
     [](const auto& dir) { Write(dir, "out.bin", "old image"); }},
    {"help asked as on Windows, in Japanese: descriptions in one column on the screen", {"/?"}, kExitOk,
     "~\n  LAYOUT 文字列 必須          レイアウトファイル（.conf）\n\nオプション:\n", "", {}, nullptr, Language::Japanese},
    // Inputs that nobody should give, given on purpose.
    {"a missing layout", {"@dir/none.conf"}, kExitUsage, "", "cannot read the layout file '@dir/none.conf': "},
    {"a folder as layout", {"-o", "@dir/out.bin", "@dir/"}, kExitUsage, "", "cannot read the layout file"},
    {"a layout of 100 MB", {"-o", "@dir/out.bin", "@dir/huge.conf"}, kExitUsage, "", "larger than 64 MiB", {},
     [](const auto& dir) { Write(dir, "huge.conf", ""); std::filesystem::resize_file(testing::FsPath(dir.Path("huge.conf")), 100'000'000); }},
#ifndef _WIN32
    // Images, layouts and outputs that are no ordinary files: read to their end, written directly.
    {"an image from a pipe", {"-q", "-o", "@dir/out.bin", "-i", "kernel=@pipe", "@dir/board.conf"}, kExitOk, "", "",
     {{"out.bin", kImage}}},
    {"an endless image is too large", {"-q", "-o", "@dir/out.bin", "-i", "kernel=/dev/zero", "@dir/board.conf"}, kExitFailed,
     "", "オーバーしています。 /dev/zero", {{"out.bin", std::nullopt}}},
    {"a layout from a pipe, listed", {"--list", "@layout"}, kExitOk, "0\t4\tipl\t\n", ""},
    {"a layout from a pipe, checked", {"--check", "@layout"}, kExitOk, "~no findings", ""},
    {"an image the system says is empty", {"-o", "@dir/out.bin", "-i", "kernel=/proc/sys/kernel/ostype", "@dir/board.conf"}, kExitOk,
     "~kernel       0x10         0x00000010   0x00000008   6            2             /proc/sys/kernel/ostype\n", "",
     {{"out.bin", std::string(16, '\xFF') + "Linux\n\xFF\xFF"}}},
    {"an image that says it is empty and cannot be read", {"-q", "-o", "@dir/out.bin", "-i", "kernel=/proc/self/mem", "@dir/board.conf"},
     kExitFailed, "", "cannot read the file /proc/self/mem: ", {{"out.bin", std::nullopt}}},
    {"a device as output", {"-q", "-o", "@dir/null", "@dir/board.conf"}, kExitOk, "", ""},
    {"a full device as output, which stays", {"-q", "-o", "@dir/full", "@dir/board.conf"}, kExitFailed, "",
     "cannot write the file @dir/full: No space left on device", {{"full", "~"}}},
    {"records to a full device", {"-q", "-o", "@dir/full", "--format", "srec", "@dir/board.conf"}, kExitFailed, "",
     "cannot write the file @dir/full: No space left on device"},
    {"a device named as records is refused", {"-o", "@dir/out.bin", "-i", "kernel=@dir/zero.hex", "@dir/board.conf"}, kExitFailed, "",
     "the image file @dir/zero.hex of region 'kernel' is named as records, which are read twice: it must be an ordinary file",
     {{"out.bin", "old image"}}, [](const auto& dir) {
       Records("")(dir);
       std::filesystem::create_symlink("/dev/zero", testing::FsPath(dir.Path("zero.hex")));
     }},
    {"a pipe named as records, with no writer: refused, not waited on", {"-o", "@dir/out.bin", "-i", "kernel=@dir/fifo.mot", "@dir/board.conf"},
     kExitFailed, "", "the image file @dir/fifo.mot of region 'kernel' is named as records", {}, [](const auto& dir) { ::mkfifo(dir.Path("fifo.mot").c_str(), 0600); }},
    {"regions taken out of an image from a pipe that ends too soon: no file written", {"--extract", "@pipe", "-o", "@dir/x", "@dir/board.conf"},
     kExitFailed, "", "ends inside region 'ipl': it holds 4 bytes, the layout calls for 24", {{"x/ipl.bin", "old"}, {"x/kernel.bin", std::nullopt}},
     [](const auto& dir) { Extracting("")(dir); Write(dir, "x/ipl.bin", "old"); }},
#endif
};

TEST(Cli, ExitsPrintsAndLeaves) {
  for (const CliCase& c : kCases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    testing::WriteBytes(dir.Path("board.conf"), kLayout);
    testing::WriteBytes(dir.Path("kernel.bin"), "KRNL");
#ifndef _WIN32
    // The null and full devices as nodes of the test folder's own (links to the system's where it may
    // make none), so that a tool that took a device for a file could replace only those.
    for (const auto& [name, minor] : {std::pair{"null", 3u}, {"full", 7u}}) {
      if (::mknod(dir.Path(name).c_str(), S_IFCHR | 0666, makedev(1, minor)) != 0) {
        std::filesystem::create_symlink(std::string("/dev/") + name, testing::FsPath(dir.Path(name)));
      }
    }
#endif
    if (c.setup) c.setup(dir);
    std::vector<std::string> args = {"quorvel-cli"};
    std::vector<int> pipes;
    for (std::string a : c.args) {
#ifndef _WIN32
      if (const size_t at = a.find("@pipe"); at != std::string::npos) a.replace(at, 5, Pipe("KRNL", pipes));
      if (a == "@layout") a = Pipe("[ipl]\nOFFSET=0\nSIZE=4\n", pipes);
#endif
      args.push_back(Expand(a, dir));
    }
    std::ostringstream out, err;
    EXPECT_EQ(RunCli(args, out, err, c.language), c.code) << err.str();
    const std::string wantOut = Expand(c.out, dir), wantErr = Expand(c.err, dir);
    EXPECT_TRUE(wantOut.starts_with('~') ? out.str().find(wantOut.substr(1)) != std::string::npos : out.str() == wantOut) << out.str();
    EXPECT_TRUE(wantErr.empty() ? err.str().empty() : err.str().find(wantErr) != std::string::npos) << err.str();
    EXPECT_EQ(testing::ReadBytes(dir.Path("board.conf")), kLayout);
    EXPECT_EQ(testing::ReadBytes(dir.Path("kernel.bin")), "KRNL");
    for (const auto& [name, contents] : c.files) {
      EXPECT_EQ(testing::Exists(dir.Path(name)), contents.has_value()) << name;
      if (!contents || *contents == "~" || !testing::Exists(dir.Path(name))) continue;
      const std::string bytes = testing::ReadBytes(dir.Path(name)), want = Expand(*contents, dir);
      EXPECT_TRUE(want.starts_with('~') ? bytes.find(want.substr(1)) != std::string::npos : bytes == want) << name << ": " << bytes.substr(0, 1000);
    }
#ifndef _WIN32
    for (const int fd : pipes) ::close(fd);
#endif
  }
}

}  // namespace
}  // namespace quorvel
