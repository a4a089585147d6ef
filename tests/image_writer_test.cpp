#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>
#include <optional>
#include <string>
#include <vector>

#include "image_writer.h"
#include "layout_loader.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

namespace quorvel {
namespace {

using testing::Pattern;
using testing::ShownMessage;
using testing::TempDir;

const ShownMessage kWritten{kMsgImageWritten, MessageKind::Plain};
ShownMessage Error(const std::string& text) { return {text, MessageKind::Error}; }

struct RegionSpec {
  std::string size;
  std::optional<std::string> image;  // contents of the region's image file, if it has one
  std::string name = "kernel";
};

// A table of the regions, their image files written into dir.
class WriterFixture : public ::testing::Test {
 protected:
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
  std::optional<std::vector<PlacedRegion>> Generate() { return GenerateImage(m_table, Output(), m_sink); }
  std::string Output() const { return m_dir.Path("all.bin"); }
  std::string ImagePath(int row) const { return m_table.GetCell(row, COL_IMAGE, kImagePathCapacity); }

  TempDir m_dir;
  MemoryRegionTable m_table;
  testing::RecordingSink m_sink;
};

std::string Ff(size_t n) { return std::string(n, '\xFF'); }

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
                 {{"0x10", "ABCD"}, {"0x8", std::nullopt}, {"0x4", "wxyz"}},
                 "ABCD" + Ff(12) + Ff(8) + "wxyz"},
        GoodCase{"no image files at all", {{"3", std::nullopt}, {"0x5", std::nullopt}}, Ff(8)},
        GoodCase{"every size 0", {{"0", std::nullopt}, {"", std::nullopt}, {"zz", std::nullopt}}, ""},
        GoodCase{"an empty image file", {{"4", std::string()}}, Ff(4)},
        GoodCase{"a size of 35 characters is read whole",
                 {{"0x" + std::string(31, '0') + "10", std::nullopt}}, Ff(16)},
        GoodCase{"regions larger than the stream buffer",
                 {{"0x900003", Pattern(0x900001, 1)}, {"0x500000", Pattern(0x4FFFFF, 2)}},
                 Pattern(0x900001, 1) + Ff(2) + Pattern(0x4FFFFF, 2) + Ff(1)}),
    testing::NameFromWhat{});

TEST_F(WriterFixture, ReportsWhereEachRegionLanded) {
  Build({{"0x10", "ABCD", "ipl"}, {"0x8", std::nullopt, "kernel"}});
  const auto map = Generate();
  ASSERT_TRUE(map);
  ASSERT_EQ(map->size(), 2u);
  EXPECT_EQ((*map)[0].regionName, "ipl");
  EXPECT_EQ((*map)[0].imageBytes, 4u);
  EXPECT_EQ((*map)[1].position, 0x10u);
  EXPECT_EQ((*map)[1].size, 8u);
  EXPECT_EQ((*map)[1].imagePath, "");
}

TEST_F(WriterFixture, ASecondRunReplacesTheWholeFile) {
  testing::WriteBytes(Output(), std::string(100, 'x'));
  Build({{"0x4", "ab"}});
  ASSERT_TRUE(Generate());
  const std::string first = testing::ReadBytes(Output());
  ASSERT_TRUE(Generate());
  EXPECT_EQ(testing::ReadBytes(Output()), first);
  EXPECT_EQ(first, "ab" + Ff(2));
}

TEST_F(WriterFixture, WritesToPathsWithAnyCharacters) {
  const std::string output = m_dir.Path("出力 é \xF0\x9F\x98\x80.bin");
  const std::string image = m_dir.Path("カーネル.bin");
  testing::WriteBytes(image, "K");
  m_table.Append("0", 0);
  m_table.SetCell(0, COL_SIZE, "2");
  m_table.SetCell(0, COL_IMAGE, image);
  ASSERT_TRUE(GenerateImage(m_table, output, m_sink));
  EXPECT_EQ(testing::ReadBytes(output), "K\xFF");
}

TEST_F(WriterFixture, AnImageOfFourGigabytesAndMoreIsNeverTakenForItsLowBits) {
  Build({{"0x7FFFFFFF", std::nullopt}});
  const std::string huge = m_dir.Path("huge.bin");
  testing::WriteBytes(huge, "");
  std::filesystem::resize_file(testing::FsPath(huge), (std::uintmax_t{1} << 32) + 16);  // sparse
  m_table.SetCell(0, COL_SIZE, "0x20");
  m_table.SetCell(0, COL_IMAGE, huge);
  EXPECT_FALSE(Generate());
  EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(OversizeMessage("kernel"))});
  EXPECT_FALSE(testing::Exists(Output()));
}

// Failures: the message names the cause, no output remains, no image file changes.
struct BadCase {
  const char* what;
  std::vector<RegionSpec> regions;
  std::string message;
};

class WriterBadTest : public WriterFixture, public ::testing::WithParamInterface<BadCase> {};

TEST_P(WriterBadTest, ReportsAndLeavesNothing) {
  testing::WriteBytes(Output(), "old contents");
  Build(GetParam().regions);
  std::vector<std::string> images;
  for (int row = 0; row < m_table.Count(); ++row) {
    if (!ImagePath(row).empty()) images.push_back(testing::ReadBytes(ImagePath(row)));
  }
  EXPECT_FALSE(Generate());
  EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(GetParam().message)});
  EXPECT_FALSE(testing::Exists(Output()));
  for (int row = 0, i = 0; row < m_table.Count(); ++row) {
    if (!ImagePath(row).empty()) {
      EXPECT_EQ(testing::ReadBytes(ImagePath(row)), images[size_t(i++)]);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WriterBadTest,
    ::testing::Values(
        BadCase{"image one byte larger than its region",
                {{"4", "abc"}, {"0x4", "abcde", "userland"}}, OversizeMessage("userland")},
        BadCase{"size 0 with an image", {{"", "a", "fpga"}}, OversizeMessage("fpga")},
        BadCase{"size without digits with an image", {{"zz", "a", "free2"}}, OversizeMessage("free2")},
        BadCase{"negative size", {{"4", "abc"}, {"-1", std::nullopt}}, kMsgOutOfMemory},
        BadCase{"size saturated negative", {{"-80000000", std::nullopt}}, kMsgOutOfMemory}),
    testing::NameFromWhat{});

TEST_F(WriterFixture, AMissingImageFileCannotBeOpened) {
  Build({{"4", "ab"}, {"4", std::nullopt}});
  m_table.SetCell(1, COL_IMAGE, m_dir.Path("missing.bin"));
  EXPECT_FALSE(Generate());
  EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(kMsgCannotOpen)});
  EXPECT_FALSE(testing::Exists(Output()));
}

TEST_F(WriterFixture, AFolderAsImageCannotBeOpened) {
  Build({{"4", std::nullopt}});
  m_table.SetCell(0, COL_IMAGE, m_dir.Path(""));
  EXPECT_FALSE(Generate());
  EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(kMsgCannotOpen)});
  EXPECT_FALSE(testing::Exists(Output()));
}

TEST_F(WriterFixture, AnOutputThatCannotBeOpenedIsReportedAndNothingIsDeleted) {
  Build({{"4", "ab"}});
  const std::string folder = m_dir.Path("folder");
  std::filesystem::create_directory(testing::FsPath(folder));
  for (const std::string& output : {m_dir.Path("no such folder/all.bin"), folder}) {
    m_sink.messages.clear();
    EXPECT_FALSE(GenerateImage(m_table, output, m_sink));
    EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(kMsgCannotOpen)}) << output;
  }
  EXPECT_TRUE(std::filesystem::is_directory(testing::FsPath(folder)));
}

TEST_F(WriterFixture, RefusesToWriteOverAnAssignedImageFile) {
  Build({{"4", "ab", "ipl"}, {"8", "kernel!", "kernel"}});
  const std::string kernel = ImagePath(1);
  const std::string parent = testing::Utf8Path(testing::FsPath(kernel).parent_path());
  const std::string name = testing::Utf8Path(testing::FsPath(kernel).filename());
  std::vector<std::string> spellings = {kernel, parent + "/./" + name, parent + "/../" +
                                        testing::Utf8Path(testing::FsPath(parent).filename()) + "/" + name};
  const std::string hardLink = m_dir.Path("hard.bin");
  std::filesystem::create_hard_link(testing::FsPath(kernel), testing::FsPath(hardLink));
  spellings.push_back(hardLink);
#ifndef _WIN32
  const std::string symLink = m_dir.Path("sym.bin");
  std::filesystem::create_symlink(testing::FsPath(kernel), testing::FsPath(symLink));
  spellings.push_back(symLink);
#endif
  for (const std::string& output : spellings) {
    m_sink.messages.clear();
    EXPECT_FALSE(GenerateImage(m_table, output, m_sink));
    EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(SameFileMessage("kernel"))}) << output;
    EXPECT_EQ(testing::ReadBytes(kernel), "kernel!") << output;
  }
  EXPECT_EQ(SameFileMessage("kernel"), "リージョン'kernel'のイメージファイルと同じファイルには出力できません。");
}

// Calls the action once: when the first region starts (after its image file's size was checked), or
// after the first bytes have been written. Wanting the bytes makes the writer read and write them
// itself; otherwise it may copy image files inside the system.
class Tamper final : public WriteObserver {
 public:
  Tamper(bool atStart, bool wantsBytes, std::function<void()> action)
      : m_atStart(atStart), m_wantsBytes(wantsBytes), m_action(std::move(action)) {}
  bool WantsBytes() const override { return m_wantsBytes; }
  void RegionStarting(const PlacedRegion&) override {
    if (m_atStart) Act();
  }
  void Written(const char*, size_t) override {
    if (!m_atStart) Act();
  }

 private:
  void Act() {
    if (m_action) std::exchange(m_action, nullptr)();
  }
  bool m_atStart, m_wantsBytes;
  std::function<void()> m_action;
};

// Whether the image file could be changed while the writer reads it.
bool TryToChange(const std::string& path, bool grow) {
  std::error_code error;
  if (grow) {
    std::ofstream out(testing::FsPath(path), std::ios::binary | std::ios::app);
    out << "more";
    return out.good();
  }
  std::filesystem::resize_file(testing::FsPath(path), 5 << 20, error);
  return !error;
}

TEST_F(WriterFixture, AnImageThatChangesWhileItIsReadIsReportedOrCannotChange) {
  struct Case {
    bool grow, atStart, wantsBytes;
  };
  // Read and written in pieces, changed half-way; copied by the system, changed just before.
  for (const Case c : {Case{true, false, true}, Case{false, false, true}, Case{true, true, false}, Case{false, true, false}}) {
    const bool grow = c.grow;
    SCOPED_TRACE(std::string(grow ? "grows" : "shrinks") + (c.wantsBytes ? " while copied in pieces" : " before a system copy"));
    m_sink.messages.clear();
    m_table.Clear();
    Build({{"0x1000000", Pattern(9 << 20, 7)}});
    bool changed = false;
    Tamper tamper(c.atStart, c.wantsBytes, [&] { changed = TryToChange(ImagePath(0), grow); });
    const auto map = GenerateImage(m_table, Output(), m_sink, {}, &tamper);
#ifdef _WIN32
    // Windows holds the image open without sharing: nobody can change it meanwhile.
    EXPECT_FALSE(changed);
    EXPECT_TRUE(map);
#else
    ASSERT_TRUE(changed);
    EXPECT_FALSE(map);
    EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(grow ? ImageChangedMessage("kernel") : kMsgCannotRead)});
    EXPECT_FALSE(testing::Exists(Output()));
#endif
  }
}

TEST_F(WriterFixture, NoTemporaryFileIsLeftBehindAndAnOldOutputStaysUntilTheNewOneIsComplete) {
  testing::WriteBytes(Output(), "old image");
  Build({{"0x600000", std::nullopt}});
  std::string seenMidway;
  Tamper peek(false, false, [&] { seenMidway = testing::ReadBytes(Output()); });
  ASSERT_TRUE(GenerateImage(m_table, Output(), m_sink, {}, &peek));
  EXPECT_EQ(seenMidway, "old image");
  EXPECT_EQ(testing::ReadBytes(Output()), Ff(0x600000));
  Build({{"1", "too large"}});
  EXPECT_FALSE(Generate());
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(testing::FsPath(m_dir.Path("")))) {
    left.push_back(testing::Utf8Path(entry.path().filename()));
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"image1.bin"}));
}

TEST(Messages, OversizeMessageHasTwoLines) {
  EXPECT_EQ(OversizeMessage("kernel"), "リージョン'kernel'のファイルサイズが\r\nオーバーしています。");
}

#ifndef _WIN32
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

TEST_F(WriterFixture, AWriteThatFallsShortIsReportedAndThePartialOutputDeleted) {
  Build({{"0x100000", Pattern(1000, 3)}, {"0x300000", Pattern(0x200000, 4)}});
  {
    const FileSizeLimit limit(0x180000);
    EXPECT_FALSE(Generate());
  }
  EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(kMsgCannotWrite)});
  EXPECT_FALSE(testing::Exists(Output()));
}

TEST_F(WriterFixture, ADeviceIsWrittenDirectly) {
  Build({{"0x10", "abc"}});
  EXPECT_TRUE(GenerateImage(m_table, "/dev/null", m_sink));
  EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{kWritten});
  struct stat st{};
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(WriterFixture, AFailedWriteToADeviceNeverDeletesTheDevice) {
  if (!testing::Exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  Build({{"0x10", "abc"}});
  EXPECT_FALSE(GenerateImage(m_table, "/dev/full", m_sink));
  EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(kMsgCannotWrite)});
  struct stat st{};
  ASSERT_EQ(stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(WriterFixture, AReadThatFallsShortIsReported) {
  // Files of the kernel's sysfs claim a size of a page and hold far less.
  const std::string shortFile = "/sys/kernel/mm/transparent_hugepage/enabled";
  struct stat st{};
  if (stat(shortFile.c_str(), &st) != 0 || st.st_size != 4096) GTEST_SKIP() << "no short sysfs file here";
  Build({{"0x2000", std::nullopt}});
  m_table.SetCell(0, COL_IMAGE, shortFile);
  EXPECT_FALSE(Generate());
  EXPECT_EQ(m_sink.messages, std::vector<ShownMessage>{Error(kMsgCannotRead)});
  EXPECT_FALSE(testing::Exists(Output()));
}

#endif

TEST(GenerateImage, TheExampleLayoutGivesTheGoldenImage) {
  TempDir dir;
  MemoryRegionTable table;
  ASSERT_TRUE(LoadLayout(table, testing::DataPath("../../examples/board.conf")));
  for (int row = 0; row < table.Count(); ++row) {
    const std::string region = table.GetCell(row, COL_REGION, kRegionNameCapacity);
    const std::string image = testing::DataPath("../../examples/" + region + ".bin");
    if (testing::Exists(image)) table.SetCell(row, COL_IMAGE, image);
  }
  testing::RecordingSink sink;
  ASSERT_TRUE(GenerateImage(table, dir.Path("all.bin"), sink));
  EXPECT_EQ(testing::ReadBytes(dir.Path("all.bin")), testing::ReadBytes(testing::DataPath("golden/example-all.bin")));
}

}  // namespace
}  // namespace quorvel
