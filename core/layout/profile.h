#pragma once
// Keyed look-ups in an INI file, answered as the Windows profile-string function answers them.
// The file is decoded once and kept as one text; each look-up reads through it. Nothing is kept per
// line, so that a file of millions of lines costs no more than its text (a few times its size).

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

class ProfileFile {
 public:
  // A file that could not be read behaves like an empty one: every look-up is missing.
  ProfileFile() = default;

  // The encoding is taken from the first bytes alone: a UTF-8 or UTF-16 byte-order mark, else
  // code page 932.
  static ProfileFile Parse(std::string_view fileBytes);

  // GetPrivateProfileStringA(section, key, "", buffer, capacity, path), with names and answer in
  // UTF-8: the answer is the value cut to at most capacity - 1 bytes of whole characters in code page
  // 932 (characters outside it replaced as the code page's conversion replaces them), converted back;
  // "" when the section or key is missing or the value is empty.
  std::string Lookup(std::string_view section, std::string_view key, size_t capacity) const;

  // For checks of a layout: each section header in file order with its line number (1 for the first
  // line), and an entry's whole value before any cut, with its line; none when it is missing.
  void ForEachHeader(const std::function<void(const std::string& name, int line)>& visit) const;
  struct Value {
    std::string text;
    int line;
  };
  std::optional<Value> FindValue(std::string_view section, std::string_view key) const;

 private:
  struct Entry {
    std::optional<std::u16string_view> value;  // none for a line without '='
    int line = 0;
  };
  std::optional<Entry> FindEntry(std::u16string_view section, std::u16string_view key) const;

  std::u16string m_text;
};

}  // namespace quorvel
