#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image_writer.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using testing::Pattern;
using testing::ShownMessage;

const ShownMessage kWritten{kMsgImageWritten, MessageKind::Plain};
ShownMessage Error(const std::string& text) { return {text, MessageKind::Error}; }
std::string Ff(size_t n) { return std::string(n, '\xFF'); }

struct RegionSpec {
  std::string size;
  std::optional<std::string> image;  // contents of the region's image file, if it has one
  std::string name = "kernel";
};

// A table of the regions, their image files written into the folder; the names in the folder.
class WriterFixture : public ::testing::Test {
 public:
  void Build(const std::vector<RegionSpec>& regions) {
    for (const RegionSpec& r : regions) {
      const int row = m_table.Count();
      m_table.Append("0", 0);
      m_table.SetCell(row, COL_SIZE, r.size);
      m_table.SetCell(row, COL_REGION, r.name);
      if (r.image) testing::WriteBytes(m_dir.Path("image" + std::to_string(row) + ".bin"), *r.image);
      if (r.image) m_table.SetCell(row, COL_IMAGE, m_dir.Path("image" + std::to_string(row) + ".bin"));
    }
  }
  std::optional<std::vector<PlacedRegion>> Generate(const OutputOptions& options = {}, WriteObserver* observer = nullptr) {
    return GenerateImage(m_table, m_output, m_sink, options, observer);
  }
  std::string ImagePath(int row) const { return m_table.GetCell(row, COL_IMAGE, kImagePathCapacity); }
  // What the folder holds: each file's name and contents.
  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(testing::FsPath(m_dir.Path("")))) {
      const std::string path = testing::Utf8Path(entry.path());
      files[testing::Utf8Path(entry.path().filename())] = entry.is_directory() ? "(folder)" : testing::ReadBytes(path);
    }
    return files;
  }

  testing::TempDir m_dir;
  std::string m_output = m_dir.Path("all.bin");
  MemoryRegionTable m_table;
  testing::RecordingSink m_sink;
};

struct GoodCase {
  const char* what;
  std::vector<RegionSpec> regions;
  std::string expected;
  std::string output = "all.bin";
};

class WriterGoodTest : public WriterFixture, public ::testing::WithParamInterface<GoodCase> {};

TEST_P(WriterGoodTest, WritesEveryRegionAtItsSize) {
  Build(GetParam().regions);
  m_output = m_dir.Path(GetParam().output);
  ASSERT_TRUE(Generate());
  EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{kWritten});
  EXPECT_EQ(testing::ReadBytes(m_output), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Images, WriterGoodTest,
    ::testing::Values(
        GoodCase{"image, no image, image of exactly the region size",
                 {{"0x10", "ABCD"}, {"0x8", std::nullopt}, {"0x4", "wxyz"}}, "ABCD" + Ff(12) + Ff(8) + "wxyz"},
        GoodCase{"no image files at all", {{"3", std::nullopt}, {"0x5", std::nullopt}}, Ff(8)},
        GoodCase{"every size 0", {{"0", std::nullopt}, {"", std::nullopt}, {"zz", std::nullopt}}, ""},
        GoodCase{"an empty image file", {{"4", std::string()}}, Ff(4)},
        GoodCase{"a size of 35 characters is read whole", {{"0x" + std::string(31, '0') + "10", std::nullopt}}, Ff(16)},
        GoodCase{"regions larger than the stream buffer",
                 {{"0x900003", Pattern(0x900001, 1)}, {"0x500000", Pattern(0x4FFFFF, 2)}},
                 Pattern(0x900001, 1) + Ff(2) + Pattern(0x4FFFFF, 2) + Ff(1)},
        GoodCase{"an output name in any characters", {{"2", "K"}}, "K\xFF", "出力 é \xF0\x9F\x98\x80.bin"},
        GoodCase{"an output name of 244 characters", {{"2", "K"}}, "K\xFF", std::string(240, 'a') + ".bin"}),
    testing::NameFromWhat{});

// Failures: the message and the file it names; no input changes, nothing is left in the folder, and
// the old output remains only if it was refused before anything was opened.
struct BadCase {
  const char* what;
  std::vector<RegionSpec> regions;
  std::string message;
  std::string detailPath = "";  // "@image<n>" or "@out"; nothing when empty
  std::function<void(WriterFixture&, OutputOptions&)> prepare = nullptr;
  bool refusedBeforeOpening = false;
};

class WriterBadTest : public WriterFixture, public ::testing::WithParamInterface<BadCase> {};

TEST_P(WriterBadTest, ReportsAndLeavesNothing) {
  testing::WriteBytes(m_output, "old contents");
  Build(GetParam().regions);
  OutputOptions options;
  if (GetParam().prepare) GetParam().prepare(*this, options);
  std::map<std::string, std::string> expected = Files();
  if (!GetParam().refusedBeforeOpening) expected.erase("all.bin");
  EXPECT_FALSE(Generate(options));
  ASSERT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(GetParam().message)});
  const std::string& want = GetParam().detailPath;
  EXPECT_EQ(m_sink.details[0].path, want.empty() ? "" : want == "@out" ? m_output : ImagePath(want.back() - '0'));
  EXPECT_EQ(Files(), expected);
}

// The output spelt as name in the folder, where a folder "sub" is; made first a hard ('h') or a
// symbolic ('s') link to the first image, where Windows takes the name in other letters as such.
std::function<void(WriterFixture&, OutputOptions&)> OutputAt(const std::string& name, char link = 0) {
  return [name, link](WriterFixture& f, OutputOptions&) {
    fs::create_directory(testing::FsPath(f.m_dir.Path("sub")));
    f.m_output = f.m_dir.Path(name);
#ifdef _WIN32
    if (link == 's') return;
#endif
    if (link) fs::remove(testing::FsPath(f.m_output));
    if (link == 's') fs::create_symlink(testing::FsPath(f.ImagePath(0)), testing::FsPath(f.m_output));
    if (link == 'h') fs::create_hard_link(testing::FsPath(f.ImagePath(0)), testing::FsPath(f.m_output));
  };
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WriterBadTest,
    ::testing::Values(
        BadCase{"image one byte larger than its region", {{"4", "abc"}, {"0x4", "abcde", "userland"}},
                OversizeMessage("userland"), "@image1"},
        BadCase{"size 0 with an image", {{"", "a", "fpga"}}, OversizeMessage("fpga"), "@image0"},
        BadCase{"size without digits with an image", {{"zz", "a", "free2"}}, OversizeMessage("free2"), "@image0"},
        BadCase{"negative size", {{"4", "abc"}, {"-1", std::nullopt}}, kMsgOutOfMemory},
        BadCase{"size saturated negative", {{"-80000000", std::nullopt}}, kMsgOutOfMemory},
        BadCase{"a missing image file", {{"4", "ab"}, {"4", std::nullopt}}, kMsgCannotOpen, "@image1",
                [](WriterFixture& f, OutputOptions&) { f.m_table.SetCell(1, COL_IMAGE, f.m_dir.Path("missing.bin")); }},
        BadCase{"a folder as image", {{"4", std::nullopt}}, kMsgCannotOpen, "@image0", [](WriterFixture& f, OutputOptions&) {
                  fs::create_directory(testing::FsPath(f.m_dir.Path("folder")));
                  f.m_table.SetCell(0, COL_IMAGE, f.m_dir.Path("folder"));
                }},
        BadCase{"an output in no folder", {{"4", "ab"}}, kMsgCannotOpen, "@out", OutputAt("no such folder/all.bin"), true},
        BadCase{"a folder as output", {{"4", "ab"}}, kMsgCannotOpen, "@out", OutputAt("sub"), true},
        BadCase{"the layout as output", {{"4", "ab"}}, kMsgSameAsLayout, "@out",
                [](WriterFixture& f, OutputOptions& o) { o.layoutPath = f.m_dir.Path("./all.bin"); }, true},
        BadCase{"an image as output, spelt another way", {{"4", "ab", "ipl"}, {"8", "kernel!"}}, SameFileMessage("kernel"),
                "@out", OutputAt("./sub/../image1.bin"), true},
        BadCase{"an image as output, by a hard link", {{"4", "ab", "ipl"}}, SameFileMessage("ipl"), "@out",
                OutputAt("all.bin", 'h'), true},
        BadCase{"an image as output, by a symbolic link or in capitals", {{"8", "kernel!"}}, SameFileMessage("kernel"), "@out",
                OutputAt("IMAGE0.BIN", 's'), true},
        BadCase{"records beyond 4 GiB", {{"0x100", std::nullopt}}, kMsgBeyondRecordAddresses, "",
                [](WriterFixture&, OutputOptions& o) { o.format = OutputFormat::SRecord, o.base = 0xFFFFFF01; }, true}),
    testing::NameFromWhat{});

// Calls the action once: when the first region starts (after its image file's size was checked), or
// after the first bytes have been written. Wanting the bytes makes the writer read and write them
// itself; otherwise it may copy image files inside the system.
struct Tamper final : WriteObserver {
  Tamper(bool start, bool bytes, std::function<void()> then) : atStart(start), wantsBytes(bytes), action(std::move(then)) {}
  bool WantsBytes() const override { return wantsBytes; }
  void RegionStarting(const PlacedRegion&) override { Act(atStart); }
  void Written(const char*, size_t) override { Act(!atStart); }
  void Act(bool now) {
    if (now && action) std::exchange(action, nullptr)();
  }
  bool atStart, wantsBytes;
  std::function<void()> action;
};

TEST_F(WriterFixture, AnImageThatChangesWhileItIsReadIsReportedOrCannotChange) {
  // Read and written in pieces, changed half-way; copied by the system, changed just before. The
  // image grows, is cut, or is rewritten in place.
  for (const bool whileCopied : {true, false}) {
    for (const char how : {'g', 'c', 'r'}) {
      SCOPED_TRACE(std::string(1, how) + (whileCopied ? " while copied in pieces" : " before a system copy"));
      m_sink.messages.clear();
      m_table.Clear();
      Build({{"0x1000000", Pattern(9 << 20, 7)}});
      const fs::path image = testing::FsPath(ImagePath(0));
      // Written long ago, so that a change now shows in its time whatever the clock's steps.
      fs::last_write_time(image, fs::file_time_type::clock::now() - std::chrono::hours(1));
      bool changed = false;
      Tamper tamper(!whileCopied, whileCopied, [&] {
        std::error_code error;
        if (how == 'c') fs::resize_file(image, 5 << 20, error);
        const auto mode = std::ios::binary | std::ios::in | std::ios::out | (how == 'g' ? std::ios::app : std::ios::openmode());
        std::fstream file(image, mode);
        if (how != 'c') file << "more";
        changed = how == 'c' ? !error : file.good();
      });
      const auto map = Generate({}, &tamper);
#ifdef _WIN32
      // Windows holds the image open without sharing: nobody can change it meanwhile.
      EXPECT_FALSE(changed);
      EXPECT_TRUE(map);
#else
      ASSERT_TRUE(changed);
      EXPECT_FALSE(map);
      EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(ImageChangedMessage("kernel"))});
      EXPECT_FALSE(testing::Exists(m_output));
#endif
    }
  }
}

// The old output stays whole until the new one is complete, and no temporary file is left,
// with unnamed temporary files and (where the system lacks them) named ones.
TEST_F(WriterFixture, TheOldOutputStaysUntilTheNewOneIsCompleteAndNothingIsLeft) {
  for ([[maybe_unused]] const bool named : {false, true}) {
#ifndef _WIN32
    if (named) ::setenv("QUORVEL_NAMED_TEMPORARY", "1", 1);
#endif
    testing::WriteBytes(m_output, "old image");
    m_table.Clear();
    Build({{"0x600000", std::nullopt}});
    std::string seenMidway;
    Tamper peek(false, false, [&] { seenMidway = testing::ReadBytes(m_output); });
    ASSERT_TRUE(Generate({}, &peek));
    EXPECT_EQ(seenMidway, "old image");
    EXPECT_EQ(testing::ReadBytes(m_output), Ff(0x600000));
    EXPECT_EQ(Files().size(), 1u);
    Build({{"1", "too large"}});
    EXPECT_FALSE(Generate());
    EXPECT_EQ(Files(), (std::map<std::string, std::string>{{"image1.bin", "too large"}}));
    fs::remove(testing::FsPath(ImagePath(1)));
#ifndef _WIN32
    ::unsetenv("QUORVEL_NAMED_TEMPORARY");
#endif
  }
}

#ifndef _WIN32
TEST_F(WriterFixture, ALinkAtTheOutputIsFollowedAndTheReplacedFileKeepsItsMode) {
  Build({{"2", "K"}});
  testing::WriteBytes(m_dir.Path("target.bin"), "old");
  ::chmod(m_dir.Path("target.bin").c_str(), 0640);
  fs::create_symlink("target.bin", testing::FsPath(m_output));
  ASSERT_TRUE(Generate());
  EXPECT_TRUE(fs::is_symlink(testing::FsPath(m_output)));
  EXPECT_EQ(testing::ReadBytes(m_dir.Path("target.bin")), "K\xFF");
  struct stat st{};
  ASSERT_EQ(::stat(m_dir.Path("target.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// Images that are no ordinary files are read to their end: the system's own files, which say they
// are empty, and an endless device, which is too large for any region.
TEST_F(WriterFixture, StreamsAreReadToTheirEnd) {
  const std::string version = testing::ReadBytes("/proc/version");
  Build({{"0x1000", std::nullopt}, {"0x10", std::nullopt, "ipl"}});
  m_table.SetCell(0, COL_IMAGE, "/proc/version");
  const auto map = Generate();
  ASSERT_TRUE(map);
  EXPECT_EQ(testing::ReadBytes(m_output), version + Ff(0x1010 - version.size()));
  EXPECT_EQ((*map)[0].imageBytes, version.size());
  m_table.SetCell(1, COL_IMAGE, "/dev/zero");
  EXPECT_FALSE(Generate());
  EXPECT_EQ(m_sink.messages.back(), Error(OversizeMessage("ipl")));
  m_table.SetCell(1, COL_IMAGE, "/proc/self/mem");  // says it is empty and fails to be read
  EXPECT_FALSE(Generate());
  EXPECT_EQ(m_sink.messages.back(), Error(kMsgCannotRead));
  EXPECT_NE(m_sink.details.back().reason, "");
}

// A file-size limit makes the system refuse writes past it, as a full disk does.
TEST_F(WriterFixture, FailedWritesAndReadsAreReportedAndDevicesAreWrittenDirectly) {
  Build({{"0x100000", Pattern(1000, 3)}, {"0x300000", Pattern(0x200000, 4)}});
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit limit = old;
  limit.rlim_cur = 0x180000;
  setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_FALSE(Generate());
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(m_sink.messages.back(), Error(kMsgCannotWrite));
  EXPECT_FALSE(testing::Exists(m_output));
  EXPECT_TRUE(GenerateImage(m_table, "/dev/null", m_sink));
  EXPECT_EQ(m_sink.messages.back(), kWritten);
  for (const OutputFormat format : {OutputFormat::Binary, OutputFormat::SRecord}) {
    EXPECT_FALSE(GenerateImage(m_table, "/dev/full", m_sink, {format, 0, ""}));
    EXPECT_EQ(m_sink.messages.back(), Error(kMsgCannotWrite));
    EXPECT_EQ(m_sink.details.back().reason, "No space left on device");
  }
  EXPECT_TRUE(testing::Exists("/dev/full"));
  // Files of the kernel's sysfs claim a size of a page and hold far less.
  const std::string shortFile = "/sys/kernel/mm/transparent_hugepage/enabled";
  struct stat st{};
  if (stat(shortFile.c_str(), &st) != 0 || st.st_size != 4096) GTEST_SKIP() << "no short sysfs file here";
  m_table.SetCell(0, COL_IMAGE, shortFile);
  EXPECT_FALSE(Generate());
  EXPECT_EQ(m_sink.messages.back(), Error(kMsgCannotRead));
  EXPECT_FALSE(testing::Exists(m_output));
}
#endif

}  // namespace
}  // namespace quorvel
