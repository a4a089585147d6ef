#include "profile.h"

#include "cp932.h"
#include "text.h"

namespace quorvel {
namespace {

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
std::u16string UpToNul(std::u16string_view s) { return std::u16string(s.substr(0, s.find(u'\0'))); }

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

}  // namespace

ProfileFile ProfileFile::Parse(std::string_view fileBytes) {
  ProfileFile profile;
  profile.m_sections.push_back(Section{});  // lines before the first header
  const std::u16string text = DecodeFile(fileBytes);
  const std::u16string_view rest(text);
  size_t start = 0;
  int number = 1;
  while (start < rest.size()) {
    size_t end = start;
    while (end < rest.size() && !IsLineBreak(rest[end])) ++end;
    profile.AddLine(rest.substr(start, end - start), number);
    // CR LF, a lone LF and a lone CR each end one line of the file.
    if (end < rest.size() && !(rest[end] == u'\r' && end + 1 < rest.size() && rest[end + 1] == u'\n')) ++number;
    start = end + 1;
  }
  return profile;
}

void ProfileFile::AddLine(std::u16string_view rawLine, int number) {
  const std::u16string_view line = Trim(rawLine);
  if (line.empty()) return;
  if (line.front() == u'[') {
    const size_t close = line.rfind(u']');
    if (close != std::u16string_view::npos) {
      m_sections.push_back(Section{UpToNul(Trim(line.substr(1, close - 1))), {}, number});
      return;
    }
  }
  const size_t equals = line.find(u'=');
  Entry entry;
  entry.line = number;
  entry.name = UpToNul(TrimEnd(line.substr(0, equals)));
  if (equals != std::u16string_view::npos) entry.value = UpToNul(TrimStart(line.substr(equals + 1)));
  m_sections.back().entries.push_back(std::move(entry));
}

const ProfileFile::Entry* ProfileFile::FindEntry(std::u16string_view section, std::u16string_view key) const {
  const std::u16string wantedSection = UpToNul(Trim(section));
  const std::u16string wantedKey = UpToNul(Trim(key));
  for (const Section& s : m_sections) {
    if (!NamesEqual(s.name, wantedSection)) continue;
    // Only the first section of a name is searched, and in it only the first entry of a name.
    for (const Entry& e : s.entries) {
      if (NamesEqual(e.name, wantedKey)) return &e;
    }
    return nullptr;
  }
  return nullptr;
}

std::u16string ProfileFile::Find(std::u16string_view section, std::u16string_view key) const {
  const Entry* entry = FindEntry(section, key);
  return entry && entry->value ? std::u16string(Unquote(*entry->value)) : std::u16string();
}

std::vector<ProfileFile::Header> ProfileFile::Headers() const {
  std::vector<Header> headers;
  for (size_t i = 1; i < m_sections.size(); ++i) headers.push_back({Utf16ToUtf8(m_sections[i].name), m_sections[i].line});
  return headers;
}

std::optional<ProfileFile::Value> ProfileFile::FindValue(std::string_view section, std::string_view key) const {
  const Entry* entry = FindEntry(Utf8ToUtf16(section), Utf8ToUtf16(key));
  if (!entry || !entry->value || Unquote(*entry->value).empty()) return std::nullopt;
  return Value{Utf16ToUtf8(Unquote(*entry->value)), entry->line};
}

std::string ProfileFile::LookupAnsi(std::string_view section, std::string_view key, size_t capacity) const {
  if (capacity == 0) return {};
  return EncodeCp932(Find(DecodeCp932(section), DecodeCp932(key)), capacity - 1);
}

std::string ProfileFile::Lookup(std::string_view section, std::string_view key, size_t capacity) const {
  if (capacity == 0) return {};
  const std::string ansi = EncodeCp932(Find(Utf8ToUtf16(section), Utf8ToUtf16(key)), capacity - 1);
  return Utf16ToUtf8(DecodeCp932(ansi));
}

}  // namespace quorvel
