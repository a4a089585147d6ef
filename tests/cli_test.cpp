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
#include "files/path.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>

#include <thread>
#else
#include <unistd.h>
#endif

namespace quorvel {
namespace {

#ifdef _WIN32
constexpr char kNullDevice[] = "NUL";
#else
constexpr char kNullDevice[] = "/dev/null";
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
  std::vector<std::pair<std::string, std::optional<std::string>>> files = {};  // name, a part of its contents or absent
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
    {"a region of 2 GiB: the next starts at 2 GiB", {"-o", kNullDevice, "@dir/2g.conf"}, kExitOk,
     "~config       0x80000000   0x80000000   0x00000004", "", {},
     [](const auto& dir) { Write(dir, "2g.conf", "[kernel]\nOFFSET=0\nSIZE=0x80000000\n[config]\nOFFSET=0x80000000\nSIZE=4\n"); }},
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
     {{"map.json", R"("region": "ipl",
      "address": "0",
      "position": 0,
      "size": 16,
      "image": null,
      "image_bytes": 0,
      "fill_bytes": 16,
      "sha256": "5ac6a5945f16500911219129984ba8b387a06f24fe383ce4e81a73294065461b",
      "crc32": "3fb3c61a")"},
      {"map.json", R"("sha256": "fb90afca2f1cb829635b1b54374368352aefd8d5f89b0ca891e9fbe3284bbc54",
      "crc32": "d37507fb")"}}},
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
    {"unknown option", {"--frobnicate", "@dir/board.conf"}, kExitUsage, "", "frobnicate (an unknown option, or a second layout file"},
    {"an option with an empty value after '=' is named, not the layout", {"--format=", "-o", "x.mot", "@dir/board.conf"}, kExitUsage, "",
     "'--format=' gives --format no value"},
    {"an assignment without its -i is named, not the layout", {"-i", "kernel=k.bin", "config=c.bin", "@dir/board.conf"}, kExitUsage,
     "", "'config=c.bin' has no -i before it"},
    {"unknown region", {"-i", "rootfs=x.bin", "@dir/board.conf"}, kExitUsage, "", "unknown region name 'rootfs'"},
    {"repeated region", {"-i", "kernel=a", "-i", "Kernel=b", "@dir/board.conf"}, kExitUsage, "", "more than once"},
    {"region not in the layout", {"-i", "fpga=x.bin", "@dir/board.conf"}, kExitUsage, "", "defines no region 'fpga'"},
    {"assignment without image", {"-i", "kernel=", "@dir/board.conf"}, kExitUsage, "", "REGION=IMAGE"},
    {"assignment without region", {"-i", "=x.bin", "@dir/board.conf"}, kExitUsage, "", "REGION=IMAGE, not '=x.bin'"},
    {"two modes at once", {"--list", "--check", "@dir/board.conf"}, kExitUsage, "", "cannot be used together"},
    {"a mistake in Japanese", {"-i", "kernal=x", "@dir/board.conf"}, kExitUsage, "", "リージョン名 'kernal' はありません",
     {}, nullptr, Language::Japanese},
    {"an unknown format", {"--format", "elf", "@dir/board.conf"}, kExitUsage, "", "unknown format 'elf'"},
    {"a base is hexadecimal with or without 0x, as the layout's values", {"-q", "-o", "@dir/x.mot", "--base", "08000000", "-i",
     "kernel=@dir/kernel.bin", "@dir/board.conf"}, kExitOk, "", "", {{"x.mot", "S309080000104B524E4C"}}},
    {"a base beyond 32 bits", {"-o", "@dir/x.mot", "--base", "100000000", "@dir/board.conf"}, kExitUsage, "", "below 4 GiB"},
    {"a base that is not wholly a number", {"-o", "@dir/x.mot", "--base", "0x80g", "@dir/board.conf"}, kExitUsage, "", "not '0x80g'"},
    {"a base for a raw image", {"--base", "0x8000", "@dir/board.conf"}, kExitUsage, "", "--base is for srec and ihex"},
    {"an empty output name", {"-o", "", "@dir/board.conf"}, kExitUsage, "", "no output file given"},
    {"an output with a mode that writes none", {"--check", "-o", "@dir/x.bin", "@dir/board.conf"}, kExitUsage, "",
     "cannot be used together"},
    {"a map that cannot be written leaves the image as it was",
     {"-o", "@dir/out.bin", "--map-json", "@dir/none/map.json", "@dir/board.conf"}, kExitFailed, "",
     "cannot write the region map '@dir/none/map.json': ", {{"out.bin", "old image"}},
     [](const auto& dir) { Write(dir, "out.bin", "old image"); }},
    {"help asked as on Windows, in Japanese: descriptions in one column on the screen", {"/?"}, kExitOk,
     "~\n  -i,--image 文字列 ...       リージョンの", "", {}, nullptr, Language::Japanese},
    // Inputs that nobody should give, given on purpose.
    {"a missing layout", {"@dir/none.conf"}, kExitUsage, "", "cannot read the layout file '@dir/none.conf': "},
    {"a folder as layout", {"-o", "@dir/out.bin", "@dir/"}, kExitUsage, "", "cannot read the layout file"},
    {"a layout of 100 MB", {"-o", "@dir/out.bin", "@dir/huge.conf"}, kExitUsage, "", "larger than 64 MiB", {},
     [](const auto& dir) { Write(dir, "huge.conf", ""); std::filesystem::resize_file(testing::FsPath(dir.Path("huge.conf")), 100'000'000); }},
    {"a layout of 16 MiB of lines without names", {"-o", "@dir/out.bin", "@dir/eq.conf"}, kExitFailed, "", "イメージデータが入力されていません。",
     {}, [](const auto& dir) {
       std::string lines(16 << 20, '\n');
       for (size_t i = 0; i < lines.size(); i += 2) lines[i] = '=';
       Write(dir, "eq.conf", lines);
     }},
    {"a layout with a line of a megabyte and NUL bytes", {"--list", "@dir/long.conf"}, kExitOk, "0\t4\tipl\t\n4\t4\tkernel\t\n",
     "", {}, [](const auto& dir) {
       Write(dir, "long.conf", "[ipl]\nOFFSET=0\nSIZE=4\njunk=" + std::string(100, 'x') + '\0' + std::string(1 << 20, 'y') +
                                   "\n[kernel]\nOFFSET=4\nSIZE=4\n");
     }},
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
    {"a device as output", {"-q", "-o", "/dev/null", "@dir/board.conf"}, kExitOk, "", ""},
    {"a full device as output, which stays", {"-q", "-o", "/dev/full", "@dir/board.conf"}, kExitFailed, "",
     "cannot write the file /dev/full: No space left on device", {{"/dev/full", ""}}},
    {"records to a full device", {"-q", "-o", "/dev/full", "--format", "srec", "@dir/board.conf"}, kExitFailed, "",
     "cannot write the file /dev/full: No space left on device"},
#endif
};

TEST(Cli, ExitsPrintsAndLeaves) {
  for (const CliCase& c : kCases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    testing::WriteBytes(dir.Path("board.conf"), kLayout);
    testing::WriteBytes(dir.Path("kernel.bin"), "KRNL");
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
      if (contents && !contents->empty() && testing::Exists(dir.Path(name))) {
        const std::string bytes = testing::ReadBytes(dir.Path(name));
        EXPECT_NE(bytes.find(Expand(*contents, dir)), std::string::npos) << name << ": " << bytes;
      }
    }
#ifndef _WIN32
    for (const int fd : pipes) ::close(fd);
#endif
  }
}

#ifdef _WIN32
// An image from a named pipe: one connection, which only the writer's read may take. The layout is
// held open by an editor meanwhile, sharing it for reading and writing.
TEST(CliPipe, AnImageFromANamedPipeIsReadToItsEndWithALayoutAnEditorHolds) {
  const std::wstring name = L"\\\\.\\pipe\\quorvel-test-" + std::to_wstring(::GetCurrentProcessId());
  const HANDLE pipe = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  std::thread writer([&] {
    DWORD written = 0;
    if (::ConnectNamedPipe(pipe, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED) ::WriteFile(pipe, "KRNL", 4, &written, nullptr);
    ::CloseHandle(pipe);
  });
  testing::TempDir dir;
  testing::WriteBytes(dir.Path("board.conf"), kLayout);
  const HANDLE editor = ::CreateFileW(SystemPath(dir.Path("board.conf")).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  std::ostringstream out, err;
  const std::string image = "kernel=" + std::string(name.begin(), name.end());
  EXPECT_EQ(RunCli({"quorvel-cli", "-q", "-o", dir.Path("out.bin"), "-i", image, dir.Path("board.conf")}, out, err, Language::English),
            kExitOk) << err.str();
  ::CloseHandle(editor);
  writer.join();
  EXPECT_EQ(testing::ReadBytes(dir.Path("out.bin")), kImage);
}
#endif

}  // namespace
}  // namespace quorvel
