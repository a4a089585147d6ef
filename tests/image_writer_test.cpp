#include <gtest/gtest.h>

#include <algorithm>
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
using testing::TempDir;

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
      if (r.image) {
        const std::string path = m_dir.Path("image" + std::to_string(row) + ".bin");
        testing::WriteBytes(path, *r.image);
        m_table.SetCell(row, COL_IMAGE, path);
      }
    }
  }
  std::optional<std::vector<PlacedRegion>> Generate(const OutputOptions& options = {}, WriteObserver* observer = nullptr) {
    return GenerateImage(m_table, Output(), m_sink, options, observer);
  }
  std::string Output() const { return m_dir.Path("all.bin"); }
  std::string ImagePath(int row) const { return m_table.GetCell(row, COL_IMAGE, kImagePathCapacity); }
  // What the folder holds: each file's name and contents.
  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(testing::FsPath(m_dir.Path("")))) {
      files[testing::Utf8Path(entry.path().filename())] = entry.is_directory() ? "(folder)" : testing::ReadBytes(testing::Utf8Path(entry.path()));
    }
    return files;
  }

  TempDir m_dir;
  MemoryRegionTable m_table;
  testing::RecordingSink m_sink;
};

struct GoodCase {
  const char* what;
  std::vector<RegionSpec> regions;
  std::string expected;
};

class WriterGoodTest : public WriterFixture, public ::testing::WithParamInterface<GoodCase> {};

TEST_P(WriterGoodTest, WritesEveryRegionAtItsSize) {
  Build(GetParam().regions);
  ASSERT_TRUE(Generate());
  EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{kWritten});
  EXPECT_EQ(testing::ReadBytes(Output()), GetParam().expected);
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
                 Pattern(0x900001, 1) + Ff(2) + Pattern(0x4FFFFF, 2) + Ff(1)}),
    testing::NameFromWhat{});

// Failures: the message and the file it names; no input changes, nothing is left in the folder, and
// no output remains unless it was refused before anything was opened.
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
  testing::WriteBytes(Output(), "old contents");
  Build(GetParam().regions);
  OutputOptions options;
  if (GetParam().prepare) GetParam().prepare(*this, options);
  std::map<std::string, std::string> before = Files();
  before.erase("all.bin");
  EXPECT_FALSE(Generate(options));
  ASSERT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(GetParam().message)});
  const std::string& want = GetParam().detailPath;
  EXPECT_EQ(m_sink.details[0].path, want.empty() ? "" : want == "@out" ? Output() : ImagePath(want.back() - '0'));
  std::map<std::string, std::string> after = Files();
  EXPECT_EQ(after.erase("all.bin") > 0, GetParam().refusedBeforeOpening);
  EXPECT_EQ(after, before);
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
        BadCase{"the layout as output", {{"4", "ab"}}, kMsgSameAsLayout, "@out",
                [](WriterFixture& f, OutputOptions& o) { o.layoutPath = f.m_dir.Path("./all.bin"); }, true},
        BadCase{"an image as output, by a hard link", {{"4", "ab", "ipl"}}, SameFileMessage("ipl"), "@out",
                [](WriterFixture& f, OutputOptions&) {
                  fs::remove(testing::FsPath(f.Output()));
                  fs::create_hard_link(testing::FsPath(f.ImagePath(0)), testing::FsPath(f.Output()));
                }, true},
        BadCase{"records beyond 4 GiB", {{"0x100", std::nullopt}}, kMsgBeyondRecordAddresses, "",
                [](WriterFixture&, OutputOptions& o) { o.format = OutputFormat::SRecord, o.base = 0xFFFFFF01; }, true}),
    testing::NameFromWhat{});

TEST_F(WriterFixture, AnImageIsRefusedAsOutputWhateverItsSpelling) {
  Build({{"4", "ab", "ipl"}, {"8", "kernel!", "kernel"}});
  const fs::path kernel = testing::FsPath(ImagePath(1));
  std::vector<fs::path> spellings = {kernel, kernel.parent_path() / "." / kernel.filename(),
                                     kernel.parent_path() / ".." / kernel.parent_path().filename() / kernel.filename()};
#ifdef _WIN32
  std::wstring upper = kernel.wstring();
  std::transform(upper.begin(), upper.end(), upper.begin(), ::towupper);
  spellings.push_back(upper);
#else
  fs::create_symlink(kernel, testing::FsPath(m_dir.Path("sym.bin")));
  spellings.push_back(testing::FsPath(m_dir.Path("sym.bin")));
#endif
  for (const fs::path& output : spellings) {
    m_sink.messages.clear();
    EXPECT_FALSE(GenerateImage(m_table, testing::Utf8Path(output), m_sink));
    EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(SameFileMessage("kernel"))}) << output;
    EXPECT_EQ(testing::ReadBytes(ImagePath(1)), "kernel!");
  }
}

TEST_F(WriterFixture, AnOutputThatCannotBeOpenedIsReportedAndNothingIsDeleted) {
  Build({{"4", "ab"}});
  const std::string folder = m_dir.Path("folder");
  fs::create_directory(testing::FsPath(folder));
  for (const std::string& output : {m_dir.Path("no such folder/all.bin"), folder}) {
    m_sink.messages.clear();
    EXPECT_FALSE(GenerateImage(m_table, output, m_sink));
    EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(kMsgCannotOpen)}) << output;
    EXPECT_NE(m_sink.details.back().reason, "");
  }
  EXPECT_TRUE(fs::is_directory(testing::FsPath(folder)));
}

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

// Whether the image file could be changed while the writer reads it: grown, cut, or rewritten in place.
bool TryToChange(const std::string& path, char how) {
  std::error_code error;
  if (how == 'c') {
    fs::resize_file(testing::FsPath(path), 5 << 20, error);
    return !error;
  }
  std::fstream file(testing::FsPath(path), std::ios::binary | std::ios::in | std::ios::out | (how == 'g' ? std::ios::app : std::ios::openmode()));
  file << "more";
  return file.good();
}

TEST_F(WriterFixture, AnImageThatChangesWhileItIsReadIsReportedOrCannotChange) {
  struct Case {
    char how;  // g grows, c is cut, r is rewritten in place
    bool atStart, wantsBytes;
  };
  // Read and written in pieces, changed half-way; copied by the system, changed just before.
  for (const Case& c : {Case{'g', false, true}, Case{'c', false, true}, Case{'r', false, true}, Case{'g', true, false},
                        Case{'c', true, false}, Case{'r', true, false}}) {
    SCOPED_TRACE(std::string(1, c.how) + (c.wantsBytes ? " while copied in pieces" : " before a system copy"));
    m_sink.messages.clear();
    m_table.Clear();
    Build({{"0x1000000", Pattern(9 << 20, 7)}});
    // Written long ago, so that a change now shows in its time whatever the clock's steps.
    fs::last_write_time(testing::FsPath(ImagePath(0)), fs::file_time_type::clock::now() - std::chrono::hours(1));
    bool changed = false;
    Tamper tamper(c.atStart, c.wantsBytes, [&] { changed = TryToChange(ImagePath(0), c.how); });
    const auto map = Generate({}, &tamper);
#ifdef _WIN32
    // Windows holds the image open without sharing: nobody can change it meanwhile.
    EXPECT_FALSE(changed);
    EXPECT_TRUE(map);
#else
    ASSERT_TRUE(changed);
    EXPECT_FALSE(map);
    EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(ImageChangedMessage("kernel"))});
    EXPECT_FALSE(testing::Exists(Output()));
#endif
  }
}

// The old output stays whole until the new one is complete, and no temporary file is left,
// with unnamed temporary files and (where the system lacks them) named ones.
TEST_F(WriterFixture, TheOldOutputStaysUntilTheNewOneIsCompleteAndNothingIsLeft) {
  for ([[maybe_unused]] const bool named : {false, true}) {
#ifndef _WIN32
    if (named) ::setenv("QUORVEL_NAMED_TEMPORARY", "1", 1);
#endif
    testing::WriteBytes(Output(), "old image");
    m_table.Clear();
    Build({{"0x600000", std::nullopt}});
    std::string seenMidway;
    Tamper peek(false, false, [&] { seenMidway = testing::ReadBytes(Output()); });
    ASSERT_TRUE(Generate({}, &peek));
    EXPECT_EQ(seenMidway, "old image");
    EXPECT_EQ(testing::ReadBytes(Output()), Ff(0x600000));
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

TEST_F(WriterFixture, OutputNamesOfAnyLengthAndCharacters) {
  Build({{"2", "K"}});
  for (const std::string& name : {std::string("出力 é \xF0\x9F\x98\x80.bin"), std::string(240, 'a') + ".bin"}) {
    ASSERT_TRUE(GenerateImage(m_table, m_dir.Path(name), m_sink)) << name.size();
    EXPECT_EQ(testing::ReadBytes(m_dir.Path(name)), "K\xFF");
  }
}

#ifndef _WIN32
TEST_F(WriterFixture, ALinkAtTheOutputIsFollowedAndTheReplacedFileKeepsItsMode) {
  Build({{"2", "K"}});
  testing::WriteBytes(m_dir.Path("target.bin"), "old");
  ::chmod(m_dir.Path("target.bin").c_str(), 0640);
  fs::create_symlink("target.bin", testing::FsPath(Output()));
  ASSERT_TRUE(Generate());
  EXPECT_TRUE(fs::is_symlink(testing::FsPath(Output())));
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
  EXPECT_EQ(testing::ReadBytes(Output()), version + Ff(0x1010 - version.size()));
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
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
  }

 private:
  rlimit m_old{};
  void (*m_oldHandler)(int) = nullptr;
};

TEST_F(WriterFixture, FailedWritesAndReadsAreReportedAndDevicesAreWrittenDirectly) {
  Build({{"0x100000", Pattern(1000, 3)}, {"0x300000", Pattern(0x200000, 4)}});
  {
    const FileSizeLimit limit(0x180000);
    EXPECT_FALSE(Generate());
  }
  EXPECT_EQ(m_sink.messages.back(), Error(kMsgCannotWrite));
  EXPECT_FALSE(testing::Exists(Output()));
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
  EXPECT_FALSE(testing::Exists(Output()));
}
#endif

}  // namespace
}  // namespace quorvel
