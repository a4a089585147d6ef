#include "layout/profile.h"

#include "base/text.h"
#include "text/cp932.h"

namespace quorvel {
namespace {

using qbase::AsciiLower;
using qbase::Utf16ToUtf8;
using qbase::Utf8ToUtf16;

// TAB, LF, VT, FF, CR, Ctrl-Z and space; not NUL, DEL, U+00A0 or the ideographic space.
bool IsBlank(char16_t c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }
bool IsLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }

std::u16string_view TrimStart(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}
std::u16string_view TrimEnd(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}
std::u16string_view Trim(std::u16string_view s) { return TrimEnd(TrimStart(s)); }

// Names and values are C strings to the look-up: they end at their first NUL.
std::u16string_view UpToNul(std::u16string_view s) { return s.substr(0, s.find(u'\0')); }

// Only the ASCII letters compare without regard to case.
bool NamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    const auto a = static_cast<unsigned char>(bytes[2 * i]);
    const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
    out[i] = bigEndian ? char16_t(a << 8 | b) : char16_t(b << 8 | a);
  }
  return out;
}

std::u16string DecodeFile(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return Utf8ToUtf16(bytes.substr(3));
  if (bytes.substr(0, 2) == "\xFF\xFE") return DecodeUtf16(bytes.substr(2), false);
  if (bytes.substr(0, 2) == "\xFE\xFF") return DecodeUtf16(bytes.substr(2), true);
  return DecodeCp932(bytes);
}

// A value that is enclosed in a matching pair of quotes loses that one pair.
std::u16string_view Unquote(std::u16string_view value) {
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// One line of the file, read as the profile function reads it.
struct Line {
  enum class Kind { Blank, Header, Entry } kind = Kind::Blank;
  std::u16string_view name;                  // of the section or the key
  std::optional<std::u16string_view> value;  // an entry's, when it has '='
};

Line ReadLine(std::u16string_view raw) {
  const std::u16string_view line = Trim(raw);
  if (line.empty()) return {};
  if (line.front() == u'[') {
    const size_t close = line.rfind(u']');
    if (close != std::u16string_view::npos) return {Line::Kind::Header, UpToNul(Trim(line.substr(1, close - 1))), {}};
  }
  const size_t equals = line.find(u'=');
  Line entry{Line::Kind::Entry, UpToNul(TrimEnd(line.substr(0, equals))), {}};
  if (equals != std::u16string_view::npos) entry.value = UpToNul(TrimStart(line.substr(equals + 1)));
  return entry;
}

// Calls visit(line, number) for the lines in order until it returns false. CR LF, a lone LF and a
// lone CR each end one line of the file.
template <class Visit>
void ForEachLine(std::u16string_view text, Visit visit) {
  int number = 1;
  for (size_t start = 0; start < text.size();) {
    size_t end = start;
    while (end < text.size() && !IsLineBreak(text[end])) ++end;
    if (!visit(ReadLine(text.substr(start, end - start)), number)) return;
    if (end < text.size() && !(text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n')) ++number;
    start = end + 1;
  }
}

}  // namespace

ProfileFile ProfileFile::Parse(std::string_view fileBytes) {
  ProfileFile profile;
  profile.m_text = DecodeFile(fileBytes);
  return profile;
}

std::optional<ProfileFile::Entry> ProfileFile::FindEntry(std::u16string_view section, std::u16string_view key) const {
  const std::u16string_view wantedSection = UpToNul(Trim(section));
  const std::u16string_view wantedKey = UpToNul(Trim(key));
  // Lines before the first header belong to a section without a name. Only the first section of a
  // name is searched, and in it only the first entry of a name.
  bool inSection = wantedSection.empty();
  std::optional<Entry> found;
  ForEachLine(m_text, [&](const Line& line, int number) {
    if (line.kind == Line::Kind::Header) {
      if (inSection) return false;
      inSection = NamesEqual(line.name, wantedSection);
    } else if (line.kind == Line::Kind::Entry && inSection && NamesEqual(line.name, wantedKey)) {
      found = Entry{line.value, number};
      return false;
    }
    return true;
  });
  return found;
}

void ProfileFile::ForEachHeader(const std::function<void(const std::string& name, int line)>& visit) const {
  ForEachLine(m_text, [&](const Line& line, int number) {
    if (line.kind == Line::Kind::Header) visit(Utf16ToUtf8(line.name), number);
    return true;
  });
}

std::optional<ProfileFile::Value> ProfileFile::FindValue(std::string_view section, std::string_view key) const {
  const std::optional<Entry> entry = FindEntry(Utf8ToUtf16(section), Utf8ToUtf16(key));
  if (!entry || !entry->value || Unquote(*entry->value).empty()) return std::nullopt;
  return Value{Utf16ToUtf8(Unquote(*entry->value)), entry->line};
}

std::string ProfileFile::Lookup(std::string_view section, std::string_view key, size_t capacity) const {
  if (capacity == 0) return {};
  const std::optional<Entry> entry = FindEntry(Utf8ToUtf16(section), Utf8ToUtf16(key));
  const std::u16string_view value = entry && entry->value ? Unquote(*entry->value) : std::u16string_view();
  return Utf16ToUtf8(DecodeCp932(EncodeCp932(value, capacity - 1)));
}

}  // namespace quorvel
