#pragma once
// The region table: one row for each flash region of the layout, in the order in which the regions
// are laid into the image. The loader fills it, the user's image choices complete it, the writer
// reads it back. Every user of the table goes through RegionTable, so the dialog can keep the rows
// in its list control while the command-line tool and the tests keep them in memory.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

// The cells of a row, and the columns of the dialog's list.
enum Column : int { COL_ADDRESS = 0, COL_SIZE = 1, COL_REGION = 2, COL_IMAGE = 3 };
inline constexpr int kColumnCount = 4;

// Capacities, terminator included, with which cells are read back. OFFSET and SIZE texts come
// from the layout file cut at 63 characters and are read back whole, so that the image is written
// with the size the list shows; image paths may be as long as any path Windows has.
inline constexpr size_t kValueCapacity = 64;
inline constexpr size_t kRegionNameCapacity = 256;
inline constexpr size_t kImagePathCapacity = 32768;

struct RegionRow {
  std::string offsetText;   // OFFSET exactly as the layout file gives it
  std::string sizeText;     // SIZE exactly as the file has it; empty when missing
  std::string regionName;   // the section name
  std::string imagePath;    // empty until the user chooses a file
  std::int64_t offsetKey = 0;  // offsetText read as hexadecimal at 64 bits: the sort key
};

// -1, 0 or +1 as a is below, equal to or above b, both taken as signed 64-bit values.
int CompareOffsets(std::int64_t a, std::int64_t b);

class RegionTable {
 public:
  virtual ~RegionTable() = default;

  // Removes every row, and the image choices with them.
  virtual void Clear() = 0;
  virtual int Count() const = 0;
  // Adds a row at position Count(), with only its address cell and key set.
  virtual void Append(const std::string& offsetText, std::int64_t offsetKey) = 0;
  // Replaces one cell's text; the key stays.
  virtual void SetCell(int row, int column, const std::string& text) = 0;
  // The cell's text cut to at most capacity - 1 characters.
  virtual std::string GetCell(int row, int column, size_t capacity) const = 0;
  // Reorders the rows by CompareOffsets on their keys; rows with equal keys in no set order.
  virtual void SortByOffset() = 0;
};

// The table kept in memory, for the command-line tool and the tests.
class MemoryRegionTable final : public RegionTable {
 public:
  void Clear() override;
  int Count() const override;
  void Append(const std::string& offsetText, std::int64_t offsetKey) override;
  void SetCell(int row, int column, const std::string& text) override;
  std::string GetCell(int row, int column, size_t capacity) const override;
  void SortByOffset() override;

  const std::vector<RegionRow>& Rows() const { return m_rows; }

 private:
  std::vector<RegionRow> m_rows;
};

}  // namespace quorvel
