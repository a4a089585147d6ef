#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>

#include "files/path.h"
#include "files/replacement_file.h"
#include "image/image_writer.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using testing::Ff;
using testing::Pattern;
using testing::ShownMessage;

using testing::Shown;

const ShownMessage kWritten = Shown(MessageId::ImageWritten);

struct RegionSpec {
  std::int64_t size;
  std::optional<std::string> image;  // contents of the region's image file, if it has one
  std::string name = "kernel";
  std::string extension = ".bin";  // of the image file
};

// A folder with the regions' image files and the output; the rows; what the user was shown.
struct Scene {
  explicit Scene(const std::vector<RegionSpec>& regions = {}) { Add(regions); }
  void Add(const std::vector<RegionSpec>& regions) {
    for (const RegionSpec& r : regions) {
      const std::string image = dir.Path("image" + std::to_string(rows.size()) + r.extension);
      if (r.image) testing::WriteBytes(image, *r.image);
      rows.push_back({r.name, "0", std::to_string(r.size), r.image ? image : "", 0, r.size});
    }
  }
  std::optional<std::vector<PlacedRegion>> Generate(const OutputOptions& options = {}, WriteObserver* observer = nullptr) {
    return GenerateImage(rows, output, sink, options, observer ? std::vector{observer} : std::vector<WriteObserver*>());
  }
  std::string ImagePath(int row) const { return rows[static_cast<size_t>(row)].imagePath; }
  // Each file's name and contents.
  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(testing::FsPath(dir.Path("")))) {
      const std::string path = testing::Utf8Path(entry.path());
      files[testing::Utf8Path(entry.path().filename())] = entry.is_directory() ? "(folder)" : testing::ReadBytes(path);
    }
    return files;
  }

#ifdef _WIN32
  // The output as another program may hold it, let go before the folder goes.
  ~Scene() {
    if (holder != INVALID_HANDLE_VALUE) ::CloseHandle(holder);
  }
  HANDLE holder = INVALID_HANDLE_VALUE;
#endif
  testing::TempDir dir;
  std::string output = dir.Path("all.bin");
  std::vector<RegionRow> rows;
  testing::RecordingSink sink;
};

// Each region gives its image's bytes, then 0xFF up to its size.
TEST(ImageWriter, WritesEveryRegionAtItsSize) {
  const struct { const char* what; std::vector<RegionSpec> regions; std::string expected, output = "all.bin"; } cases[] = {
      {"image, no image, image of exactly the region size", {{0x10, "ABCD"}, {0x8, std::nullopt}, {0x4, "wxyz"}},
       "ABCD" + Ff(12) + Ff(8) + "wxyz"},
      {"every size 0", {{0, std::nullopt}, {0, std::nullopt}}, ""},
      {"an empty image file", {{4, std::string()}}, Ff(4)},
      {"regions larger than the stream buffer", {{0x900003, Pattern(0x900001, 1)}, {0x500000, Pattern(0x4FFFFF, 2)}},
       Pattern(0x900001, 1) + Ff(2) + Pattern(0x4FFFFF, 2) + Ff(1)},
      {"an output name of 244 characters", {{2, "K"}}, "K\xFF", std::string(240, 'a') + ".bin"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Scene s(c.regions);
    s.output = s.dir.Path(c.output);
    EXPECT_TRUE(s.Generate());
    EXPECT_EQ(s.sink.messages, std::vector<ShownMessage>{kWritten});
    EXPECT_EQ(testing::ReadBytes(s.output), c.expected);
  }
}

using Prepare = std::function<void(Scene&, OutputOptions&)>;

// The output spelt as name in the folder, where a folder "sub" is; made first a hard ('h') or a
// symbolic ('s') link to the first image, where Windows takes the name in other letters as such.
Prepare OutputAt(const std::string& name, char link = 0) {
  return [name, link](Scene& s, OutputOptions&) {
    fs::create_directory(testing::FsPath(s.dir.Path("sub")));
    s.output = s.dir.Path(name);
#ifdef _WIN32
    if (link == 's') return;
#endif
    if (link) fs::remove(testing::FsPath(s.output));
    if (link == 's') fs::create_symlink(testing::FsPath(s.ImagePath(0)), testing::FsPath(s.output));
    if (link == 'h') fs::create_hard_link(testing::FsPath(s.ImagePath(0)), testing::FsPath(s.output));
  };
}

// Failures: the message and the file it names ("@image<n>" or "@out"); no input changes, nothing is
// left in the folder, and the old output remains only if it was refused before anything was opened.
TEST(ImageWriter, ReportsAFailureAndLeavesNothing) {
  const struct {
    const char* what;
    std::vector<RegionSpec> regions;
    ShownMessage message;
    std::string detailPath;
    Prepare prepare = nullptr;
    bool refusedBeforeOpening = false;
  } cases[] = {
      {"image one byte larger than its region", {{4, "abc"}, {4, "abcde", "userland"}}, Shown(MessageId::Oversize, "userland"),
       "@image1"},
      {"size 0 with an image", {{0, "a", "fpga"}}, Shown(MessageId::Oversize, "fpga"), "@image0"},
      {"a folder as image", {{4, std::nullopt}}, Shown(MessageId::CannotOpen), "@image0", [](Scene& s, OutputOptions&) {
         fs::create_directory(testing::FsPath(s.dir.Path("sub")));
         s.rows[0].imagePath = s.dir.Path("sub");
       }},
      {"an output in no folder", {{4, "ab"}}, Shown(MessageId::CannotOpen), "@out", OutputAt("no such folder/all.bin"), true},
      {"a folder as output", {{4, "ab"}}, Shown(MessageId::CannotOpen), "@out", OutputAt("sub"), true},
#ifdef _WIN32
      {"an output another program holds, letting others only read it", {{4, "ab"}}, Shown(MessageId::CannotOpen), "@out", [](Scene& s, OutputOptions&) {
         s.holder = ::CreateFileW(SystemPath(s.output).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
       }, true},
#endif
      {"an image as output, spelt another way", {{4, "ab", "ipl"}, {8, "kernel!"}}, Shown(MessageId::SameAsImage, "kernel"), "@out",
       OutputAt("./sub/../image1.bin"), true},
      {"an image as output, by a hard link", {{4, "ab", "ipl"}}, Shown(MessageId::SameAsImage, "ipl"), "@out", OutputAt("all.bin", 'h'),
       true},
      {"an image as output, by a symbolic link or in capitals", {{8, "kernel!"}}, Shown(MessageId::SameAsImage, "kernel"), "@out",
       OutputAt("IMAGE0.BIN", 's'), true},
      {"records beyond 4 GiB", {{0x100, std::nullopt}}, Shown(MessageId::BeyondRecordAddresses), "",
       [](Scene&, OutputOptions& o) { o.format = OutputFormat::SRecord, o.base = 0xFFFFFF01; }, true},
      {"no memory for the stream buffer", {{4, "ab"}}, Shown(MessageId::OutOfMemory), "",
       [](Scene&, OutputOptions&) { testing::RefuseAllocationsFrom(kStreamBufferSize); }}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Scene s;
    testing::WriteBytes(s.output, "old contents");
    s.Add(c.regions);
    OutputOptions options;
    if (c.prepare) c.prepare(s, options);
    std::map<std::string, std::string> expected = s.Files();
    if (!c.refusedBeforeOpening) expected.erase("all.bin");
    EXPECT_FALSE(s.Generate(options));
    testing::RefuseAllocationsFrom(SIZE_MAX);
    ASSERT_EQ(s.sink.messages, std::vector<ShownMessage>{c.message});
    const std::string& want = c.detailPath;
    EXPECT_EQ(s.sink.details[0].path, want.empty() ? "" : want == "@out" ? s.output : s.ImagePath(want.back() - '0'));
    EXPECT_EQ(s.Files(), expected);
  }
}

// Calls the action once, after the first bytes have been written: the writer then reads and writes
// every byte itself, as it does when an observer wants them.
struct Tamper final : WriteObserver {
  explicit Tamper(std::function<void()> then) : action(std::move(then)) {}
  bool WantsBytes() const override { return true; }
  void Written(const char*, size_t) override {
    if (action) std::exchange(action, nullptr)();
  }
  std::function<void()> action;
};

TEST(ImageWriter, AnImageThatChangesWhileItIsReadIsReportedOrCannotChange) {
  // Read and written in pieces, changed half-way; or changed once its size was checked, just before
  // the system copies it; or given as records, changed after their check, half-way. The image grows,
  // is cut, or is rewritten in place (records: where the reading has passed).
  const std::string bytes = Pattern(9 << 20, 7), records = testing::RecordsOf(OutputFormat::SRecord, 0, bytes);
  for (const char* way : {"while copied in pieces", "before a system copy", "as records"}) {
    const bool inPieces = way[0] != 'b', asRecords = way[0] == 'a';
    for (const char how : {'g', 'c', 'r'}) {
      SCOPED_TRACE(std::string(1, how) + " " + way);
      Scene s({{0x1000000, asRecords ? records : bytes, "kernel", asRecords ? ".mot" : ".bin"}});
      const fs::path image = testing::FsPath(s.ImagePath(0));
      // Written long ago, so that a change now shows in its time whatever the clock's steps.
      fs::last_write_time(image, fs::file_time_type::clock::now() - std::chrono::hours(1));
      bool changed = false;
      const auto change = [&] {
        std::error_code error;
        if (how == 'c') fs::resize_file(image, 5 << 20, error);
        std::fstream file(image, std::ios::binary | std::ios::in | std::ios::out | (how == 'g' ? std::ios::app : std::ios::in));
        if (how != 'c') file << "more";
        changed = how == 'c' ? !error : file.good();
      };
      Tamper tamper(change);
      std::optional<std::vector<PlacedRegion>> map;
      std::optional<RegionBytes> region;  // the writer's part, once the image's size is checked
      if (inPieces) {
        map = s.Generate({}, &tamper);
      } else {
        region.emplace(s.rows[0], 0);
        change();
        std::optional<ReplacementFile> output = ReplacementFile::Open(s.output);
        std::vector<char> buffer(kStreamBufferSize);
        if (region->CopyImageInto(output->Get()) == RegionBytes::Copy::Unsupported) {
          while (region->Next(buffer.data(), buffer.size()).size > 0) continue;
        }
      }
#ifdef _WIN32
      // Windows holds the image open without sharing: nobody can change it meanwhile.
      EXPECT_FALSE(changed);
      EXPECT_TRUE(inPieces ? map.has_value() : !region->Problem());
#else
      ASSERT_TRUE(changed);
      const std::optional<Message> problem = inPieces ? s.sink.details.at(0) : region->Problem();
      EXPECT_FALSE(inPieces && map);
      ASSERT_TRUE(problem);  // the file named, and no system reason: the system saw nothing wrong
      EXPECT_EQ(std::tuple(problem->id, problem->region, problem->path, problem->reason),
                std::tuple(MessageId::ImageChanged, "kernel", s.ImagePath(0), ""));
      EXPECT_FALSE(testing::Exists(s.output));
#endif
    }
  }
}

// Cancelled after its first bytes, in the middle of a region's fill, in the records, or after the
// last byte: the run stops there, says nothing, and leaves the old output as it was and nothing else.
TEST(ImageWriter, ACancelledRunStopsBetweenPiecesAndLeavesTheOldOutput) {
  struct CancelAfter final : WriteObserver {
    CancelAfter(std::uint64_t bytes, bool bytesWanted) : after(bytes), wants(bytesWanted) {}
    bool WantsBytes() const override { return wants; }
    void Written(const char*, size_t size) override { seen += size; }
    bool Cancelled() const override { return seen >= after; }
    std::uint64_t after, seen = 0;
    bool wants;
  };
  constexpr std::uint64_t kTotal = 0x2000000;
  const struct { const char* what; std::uint64_t after; OutputFormat format; bool bytesWanted; } cases[] = {
      {"in the image's bytes", 1, OutputFormat::Binary, true},
      {"in a large fill", 0x900001, OutputFormat::Binary, false},
      {"in the records", 1, OutputFormat::SRecord, false},
      {"after the last byte", kTotal, OutputFormat::IntelHex, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Scene s({{0x900000, Pattern(0x300000, 3)}, {kTotal - 0x900000, std::nullopt}});
    testing::WriteBytes(s.output, "old image");
    const std::map<std::string, std::string> before = s.Files();
    CancelAfter cancel(c.after, c.bytesWanted);
    OutputOptions options;
    options.format = c.format;
    EXPECT_FALSE(s.Generate(options, &cancel));
    EXPECT_EQ(s.sink.messages, std::vector<ShownMessage>{});
    EXPECT_EQ(s.Files(), before);
    EXPECT_LT(cancel.seen, c.after + kStreamBufferSize + 1) << "not stopped at the next piece";
  }
}

}  // namespace
}  // namespace quorvel
