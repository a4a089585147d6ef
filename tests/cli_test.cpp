#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli_app.h"
#include "messages.h"
#include "progress.h"
#include "test_support.h"

namespace quorvel {
namespace {

using testing::TempDir;

struct ToolRun {
  int code;
  std::string out, err;
};

ToolRun RunTool(std::vector<std::string> args) {
  args.insert(args.begin(), "quorvel-cli");
  std::ostringstream out, err;
  const int code = RunCli(args, out, err, Language::English);
  return {code, out.str(), err.str()};
}

class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    testing::WriteBytes(m_layout, "[kernel]\r\nOFFSET=0x10\r\nSIZE=0x8\r\n[ipl]\r\nOFFSET=0\r\nSIZE=0x10\r\n");
    testing::WriteBytes(m_kernel, "KRNL");
  }
  TempDir m_dir;
  std::string m_layout = m_dir.Path("board.conf");
  std::string m_kernel = m_dir.Path("kernel.bin");
  std::string m_output = m_dir.Path("out.bin");
};

TEST_F(CliTest, WritesTheImageAndPrintsTheRegionMap) {
  const ToolRun run = RunTool({"-o", m_output, "-i", "kernel=" + m_kernel, m_layout});
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(testing::ReadBytes(m_output), std::string(16, '\xFF') + "KRNL" + std::string(4, '\xFF'));
  EXPECT_EQ(run.out.rfind(std::string(kMsgImageWritten) + "\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("ipl          0            0x00000000   0x00000010              0           16  -\n"),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find("kernel       0x10         0x00000010   0x00000008              4            4  " + m_kernel),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find("total 24 bytes (0x00000018)"), std::string::npos) << run.out;
}

TEST_F(CliTest, QuietPrintsNothing) {
  const ToolRun run = RunTool({"-q", "--output", m_output, m_layout});
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_EQ(testing::ReadBytes(m_output), std::string(24, '\xFF'));
}

TEST_F(CliTest, ListPrintsTheTableAndWritesNothing) {
  const ToolRun run = RunTool({"--list", "-i", "KERNEL=" + m_kernel, "-o", m_output, m_layout});
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.out, "0\t0x10\tipl\t\n0x10\t0x8\tkernel\t" + m_kernel + "\n");
  EXPECT_FALSE(testing::Exists(m_output));
}

TEST_F(CliTest, WriterFailuresGoToStandardErrorWithExitOne) {
  testing::WriteBytes(m_kernel, "123456789");
  const ToolRun run = RunTool({"-o", m_output, "-i", "kernel=" + m_kernel, m_layout});
  EXPECT_EQ(run.code, kExitFailed);
  EXPECT_EQ(run.err, "リージョン'kernel'のファイルサイズが\nオーバーしています。 " + m_kernel + "\n");
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(testing::Exists(m_output));
}

TEST_F(CliTest, ALayoutWithoutRegionsHasNothingToWrite) {
  const std::string empty = m_dir.Path("empty.conf");
  testing::WriteBytes(empty, "[rootfs]\nOFFSET=0\n");
  const ToolRun run = RunTool({"-o", m_output, empty});
  EXPECT_EQ(run.code, kExitFailed);
  EXPECT_EQ(run.err, std::string(kMsgNoRegions) + "\n");
  EXPECT_FALSE(testing::Exists(m_output));
}

TEST_F(CliTest, CheckReportsFindingsWithExitOneAndNothingWithExitZero) {
  ToolRun sound = RunTool({"--check", "-i", "kernel=" + m_kernel, m_layout});
  EXPECT_EQ(sound.code, kExitOk);
  EXPECT_EQ(sound.out + sound.err, "");
  const std::string gappy = m_dir.Path("gappy.conf");
  testing::WriteBytes(gappy, "[ipl]\nOFFSET=0\nSIZE=0x10\n[kernal]\nOFFSET=0x20\n[kernel]\nOFFSET=0x20\nSIZE=8\n");
  const ToolRun found = RunTool({"--check", gappy});
  EXPECT_EQ(found.code, kExitFailed);
  EXPECT_EQ(found.out, gappy + ":4: kernal: section [kernal] is not a region name (kernel?) and is ignored\n" + gappy +
                           ":7: kernel: gap of 0x10 bytes after ipl, which the image closes up: from here on, "
                           "positions in the image are not flash addresses\n");
  EXPECT_FALSE(testing::Exists(m_output));
}

TEST_F(CliTest, MapJsonDescribesEveryRegionWithItsDigest) {
  const std::string json = m_dir.Path("map.json");
  const ToolRun run = RunTool({"-q", "-o", m_output, "--map-json", json, "-i", "kernel=" + m_kernel, m_layout});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  const std::string text = testing::ReadBytes(json);
  // Digests by Python's hashlib and zlib of 16 bytes of 0xFF and of "KRNL" and 4 bytes of 0xFF.
  for (const std::string& part : std::vector<std::string>{"\"region\": \"ipl\"", "\"address\": \"0\"", "\"position\": 16", "\"image_bytes\": 4", "\"fill_bytes\": 4",
        "\"image\": null", "\"size\": 24", "\"sha256\": \"5ac6a5945f16500911219129984ba8b387a06f24fe383ce4e81a73294065461b\"",
        "\"crc32\": \"3fb3c61a\"", "\"sha256\": \"fb90afca2f1cb829635b1b54374368352aefd8d5f89b0ca891e9fbe3284bbc54\"",
        "\"crc32\": \"d37507fb\""}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
}

TEST_F(CliTest, VerifyTellsWhetherAnImageMatches) {
  ASSERT_EQ(RunTool({"-q", "-o", m_output, "-i", "kernel=" + m_kernel, m_layout}).code, kExitOk);
  ToolRun run = RunTool({"--verify", m_output, "-i", "kernel=" + m_kernel, m_layout});
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.out, "ipl          0x00000000 0x00000010  matches\nkernel       0x00000010 0x00000008  matches\n");
  run = RunTool({"--verify", m_output, m_layout});
  EXPECT_EQ(run.code, kExitFailed);
  EXPECT_NE(run.out.find("kernel       0x00000010 0x00000008  DIFFERS: differs from byte 0"), std::string::npos) << run.out;
  run = RunTool({"--verify", m_dir.Path("none.bin"), m_layout});
  EXPECT_EQ(run.code, kExitUsage);
  EXPECT_NE(run.err.find("cannot read the image file"), std::string::npos);
}

TEST(ProgressLine, ShownForLargeImagesOnATerminalOnly) {
  struct Case {
    bool terminal;
    std::uint64_t total;
    bool shown;
  };
  for (const Case c : {Case{true, ProgressLine::kThreshold, true}, Case{false, ProgressLine::kThreshold, false},
                       Case{true, ProgressLine::kThreshold - 1, false}}) {
    std::FILE* out = std::tmpfile();
    ASSERT_TRUE(out);
    {
      ProgressLine progress(c.terminal, out);
      progress.ImageStarting(c.total);
      std::vector<char> chunk(1 << 20);
      for (std::uint64_t done = 0; done < c.total; done += chunk.size()) {
        progress.Written(chunk.data(), static_cast<size_t>(std::min<std::uint64_t>(chunk.size(), c.total - done)));
      }
    }
    std::rewind(out);
    char text[4096] = {};
    const size_t n = std::fread(text, 1, sizeof text - 1, out);
    std::fclose(out);
    const std::string shown(text, n);
    EXPECT_EQ(shown.find("100%  64 MiB / 64 MiB") != std::string::npos, c.shown) << shown;
    if (!c.shown) {
      EXPECT_EQ(shown, "");
    }
  }
}

struct UsageCase {
  const char* what;
  std::vector<std::string> args;  // "@layout" and "@kernel" stand for the fixture's files
  std::string errorPart;
};

class CliUsageTest : public CliTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(CliUsageTest, ExitsWithTwoAndSaysWhy) {
  std::vector<std::string> args;
  for (const std::string& a : GetParam().args) {
    args.push_back(a == "@layout" ? m_layout : a == "@kernel=" ? "kernel=" + m_kernel : a == "@missing" ? m_dir.Path("nope.conf") : a);
  }
  args.insert(args.begin(), {"-o", m_output});
  const ToolRun run = RunTool(args);
  EXPECT_EQ(run.code, kExitUsage);
  EXPECT_NE(run.err.find(GetParam().errorPart), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(testing::Exists(m_output));
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, CliUsageTest,
    ::testing::Values(UsageCase{"no layout", {}, "LAYOUT is required"},
                      UsageCase{"unknown option", {"--frobnicate", "@layout"}, "frobnicate"},
                      UsageCase{"two layouts", {"@layout", "@layout"}, "not expected"},
                      UsageCase{"missing layout", {"@missing"}, "cannot read the layout file"},
                      UsageCase{"unknown region", {"-i", "rootfs=x.bin", "@layout"}, "unknown region name 'rootfs'"},
                      UsageCase{"misspelt region", {"-i", "kernal=x.bin", "@layout"}, "unknown region name 'kernal'"},
                      UsageCase{"repeated region", {"-i", "@kernel=", "-i", "Kernel=y.bin", "@layout"}, "more than once"},
                      UsageCase{"region not in the layout", {"-i", "fpga=x.bin", "@layout"}, "defines no region 'fpga'"},
                      UsageCase{"assignment without image", {"-i", "kernel=", "@layout"}, "REGION=IMAGE"},
                      UsageCase{"assignment without =", {"-i", "kernel", "@layout"}, "REGION=IMAGE"},
                      UsageCase{"two modes at once", {"--list", "--check", "@layout"}, "excludes"}),
    testing::NameFromWhat{});

// Inputs that no one should give, given on purpose: a clear message, the right exit code, no output.
struct BadInput {
  const char* what;
  std::vector<std::string> args;  // "@dir/" stands for the test's folder
  int code;
  std::string errorPart;
};

class CliBadInputTest : public CliTest, public ::testing::WithParamInterface<BadInput> {
 protected:
  void SetUp() override {
    testing::WriteBytes(m_dir.Path("random.conf"), testing::Pattern(1 << 20, 5));
    testing::WriteBytes(m_dir.Path("huge.conf"), "");
    std::filesystem::resize_file(testing::FsPath(m_dir.Path("huge.conf")), 100'000'000);
    std::filesystem::create_directory(testing::FsPath(m_dir.Path("folder")));
  }
};

TEST_P(CliBadInputTest, SaysWhatIsWrongAndWritesNothing) {
  std::vector<std::string> args;
  for (const std::string& a : GetParam().args) {
    const size_t at = a.find("@dir/");
    args.push_back(at == std::string::npos ? a : a.substr(0, at) + m_dir.Path(a.substr(at + 5)));
  }
  const ToolRun run = RunTool(args);
  EXPECT_EQ(run.code, GetParam().code) << run.err;
  EXPECT_NE(run.err.find(GetParam().errorPart), std::string::npos) << run.err;
  EXPECT_FALSE(testing::Exists(m_dir.Path("out.bin")));
}

INSTANTIATE_TEST_SUITE_P(
    OnPurpose, CliBadInputTest,
    ::testing::Values(
        BadInput{"a layout of random bytes", {"-o", "@dir/out.bin", "@dir/random.conf"}, kExitFailed, kMsgNoRegions},
        BadInput{"a layout of 100 MB", {"-o", "@dir/out.bin", "@dir/huge.conf"}, kExitUsage, "larger than 64 MiB"},
        BadInput{"a folder as layout", {"-o", "@dir/out.bin", "@dir/folder"}, kExitUsage, "cannot read the layout"},
        BadInput{"a folder as image", {"-o", "@dir/out.bin", "-i", "kernel=@dir/folder", "@dir/board.conf"}, kExitFailed,
                 kMsgCannotOpen},
        BadInput{"a folder as output", {"-o", "@dir/folder", "@dir/board.conf"}, kExitFailed, kMsgCannotOpen},
        BadInput{"an output in a missing folder", {"-o", "@dir/missing/out.bin", "@dir/board.conf"}, kExitFailed,
                 kMsgCannotOpen}),
    testing::NameFromWhat{});

TEST_F(CliTest, ALayoutWithAOneMegabyteLineAndNulBytesStillLoads) {
  testing::WriteBytes(m_dir.Path("long.conf"), "[ipl]\nOFFSET=0\nSIZE=4\njunk=" + std::string(100, 'x') + '\0' +
                                                   std::string(1 << 20, 'y') + "\n[kernel]\nOFFSET=4\nSIZE=4\n");
  const ToolRun run = RunTool({"--list", m_dir.Path("long.conf")});
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.out, "0\t4\tipl\t\n4\t4\tkernel\t\n");
}

TEST(Cli, HelpExitsWithZero) {
  const ToolRun run = RunTool({"--help"});
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_NE(run.out.find("REGION=IMAGE"), std::string::npos);
}

}  // namespace
}  // namespace quorvel
