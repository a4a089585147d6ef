#include "test_support.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <new>
#include <random>
#include <sstream>
#include <stdexcept>

namespace quorvel::testing {
namespace {

std::atomic<size_t> g_refusedFrom{SIZE_MAX};

}  // namespace

void RefuseAllocationsFrom(size_t size) { g_refusedFrom = size; }

std::filesystem::path FsPath(const std::string& utf8) { return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8Path(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string DataPath(const std::string& relative) { return std::string(QUORVEL_TEST_DATA) + "/" + relative; }

TempDir::TempDir() {
  // Tests run side by side in separate processes: a random name, made anew until it is free.
  std::random_device random;
  do {
    m_path = std::filesystem::temp_directory_path() / ("quorvel-test-" + std::to_string(random()) + std::to_string(random()));
  } while (!std::filesystem::create_directory(m_path));
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::Path(const std::string& name) const { return Utf8Path(m_path / FsPath(name)); }

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write test file " + path);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read test file " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(FsPath(path), ignored);
}

ShownMessage Shown(MessageId id, const std::string& region) {
  return {MessageText({id, region}, Language::Japanese), KindOf(id)};
}

std::string RecordsOf(OutputFormat format, std::uint64_t base, const std::string& image) {
  std::string text;
  RecordEncoder encoder(format, base, image.size(), [&](const char* data, size_t size) { return text.append(data, size), true; });
  EXPECT_TRUE(encoder.Write(image.data(), image.size()) && encoder.Finish());
  return text;
}

std::string Pattern(size_t n, unsigned seed) {
  std::string bytes(n, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<char>(state >> 16);
  }
  return bytes;
}

}  // namespace quorvel::testing

// The program's allocations, which the tests may refuse: every form of new and delete, so that
// none is left to a sanitizer's own, which would not match.
namespace {

void* Allocate(size_t size) noexcept {
  return size >= quorvel::testing::g_refusedFrom ? nullptr : std::malloc(size ? size : 1);
}
void* AllocateOrThrow(size_t size) {
  if (void* memory = Allocate(size)) return memory;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(size_t size) { return AllocateOrThrow(size); }
void* operator new[](size_t size) { return AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
