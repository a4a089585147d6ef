// The resources as the executable carries them: dialog templates, menu texts, icons, version.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/wide.h"
#include "quorvel_dlg.h"
#include "resource.h"

namespace quorvel {
namespace {

using qfw::Narrow;

// Reads a dialog template, classic or extended, as the dialog manager does.
class TemplateReader {
 public:
  explicit TemplateReader(const void* data) : m_p(static_cast<const BYTE*>(data)) {}
  WORD Word() { return Take<WORD>(); }
  DWORD Dword() { return Take<DWORD>(); }
  short Short() { return Take<short>(); }
  BYTE Byte() { return Take<BYTE>(); }
  // A string, or "#n" for an ordinal, or "" for none.
  std::string NameOrOrdinal() {
    const WORD first = Word();
    if (first == 0) return "";
    if (first == 0xFFFF) return "#" + std::to_string(Word());
    std::wstring text(1, static_cast<wchar_t>(first));
    for (WORD c; (c = Word()) != 0;) text += static_cast<wchar_t>(c);
    return Narrow(text);
  }
  void AlignDword() {
    while (reinterpret_cast<UINT_PTR>(m_p) % 4) ++m_p;
  }

 private:
  template <class T>
  T Take() {
    T value;
    std::memcpy(&value, m_p, sizeof value);
    m_p += sizeof value;
    return value;
  }
  const BYTE* m_p;
};

struct Item {
  DWORD style, exStyle;
  short x, y, cx, cy;
  int id;
  std::string cls, text;
};
struct Dialog {
  bool extended;
  DWORD style, exStyle;
  short x, y, cx, cy;
  std::string menu, cls, caption, face;
  WORD pointSize = 0, weight = 0;
  BYTE italic = 0, charset = 0;
  std::vector<Item> items;
};

const void* JapaneseResource(LPCWSTR type, UINT id) {
  const HRSRC res = ::FindResourceExW(nullptr, type, MAKEINTRESOURCEW(id), MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
  return res ? ::LockResource(::LoadResource(nullptr, res)) : nullptr;
}

Dialog ReadDialog(UINT id) {
  const void* data = JapaneseResource(RT_DIALOG, id);
  EXPECT_TRUE(data) << "no Japanese dialog " << id;
  if (!data) return {};
  TemplateReader r(data);
  Dialog d{};
  d.extended = static_cast<const WORD*>(data)[1] == 0xFFFF;
  if (d.extended) {
    r.Word(), r.Word(), r.Dword();
    d.exStyle = r.Dword();
    d.style = r.Dword();
  } else {
    d.style = r.Dword();
    d.exStyle = r.Dword();
  }
  const WORD count = r.Word();
  d.x = r.Short(), d.y = r.Short(), d.cx = r.Short(), d.cy = r.Short();
  d.menu = r.NameOrOrdinal();
  d.cls = r.NameOrOrdinal();
  d.caption = r.NameOrOrdinal();
  if (d.style & DS_SETFONT) {
    d.pointSize = r.Word();
    if (d.extended) d.weight = r.Word(), d.italic = r.Byte(), d.charset = r.Byte();
    d.face = r.NameOrOrdinal();
  }
  for (WORD i = 0; i < count; ++i) {
    r.AlignDword();
    Item item{};
    if (d.extended) {
      r.Dword();
      item.exStyle = r.Dword();
      item.style = r.Dword();
    } else {
      item.style = r.Dword();
      item.exStyle = r.Dword();
    }
    item.x = r.Short(), item.y = r.Short(), item.cx = r.Short(), item.cy = r.Short();
    item.id = d.extended ? static_cast<int>(r.Dword()) : static_cast<short>(r.Word());
    item.cls = r.NameOrOrdinal();
    item.text = r.NameOrOrdinal();
    r.Word();  // creation data
    d.items.push_back(item);
  }
  return d;
}

TEST(Resources, MainDialogTemplate) {
  const Dialog d = ReadDialog(IDD_MAIN_DIALOG);
  EXPECT_TRUE(d.extended);
  EXPECT_EQ(d.style, 0x16CF0040u);
  EXPECT_EQ(d.exStyle, 0x00040200u);
  EXPECT_EQ((std::vector<short>{d.x, d.y, d.cx, d.cy}), (std::vector<short>{0, 0, 314, 96}));
  EXPECT_EQ(d.menu, "#129");
  EXPECT_EQ(d.caption, "ミルテカ");
  EXPECT_EQ(d.pointSize, 9);
  EXPECT_EQ(d.face, "ＭＳ Ｐゴシック");
  EXPECT_EQ(d.weight, 0);
  EXPECT_EQ(d.italic, 0);
  EXPECT_EQ(d.charset, 1);
  ASSERT_EQ(d.items.size(), 1u);
  const Item& list = d.items[0];
  EXPECT_EQ(list.id, IDC_REGION_LIST);
  EXPECT_EQ(::CompareStringOrdinal(qfw::Wide(list.cls).c_str(), -1, L"SysListView32", -1, TRUE), CSTR_EQUAL) << list.cls;
  EXPECT_EQ(list.text, "List1");
  EXPECT_EQ(list.style, 0x5003000Du);
  EXPECT_EQ((std::vector<short>{list.x, list.y, list.cx, list.cy}), (std::vector<short>{0, 0, 314, 96}));
}

TEST(Resources, AboutBoxTemplate) {
  const Dialog d = ReadDialog(IDD_ABOUTBOX);
  EXPECT_FALSE(d.extended);
  EXPECT_EQ(d.style, 0x80C800C0u);
  EXPECT_EQ((std::vector<short>{d.x, d.y, d.cx, d.cy}), (std::vector<short>{0, 0, 235, 43}));
  EXPECT_EQ(d.caption, "Quorvelのﾊﾞｰｼﾞｮﾝ情報");
  EXPECT_EQ(d.pointSize, 9);
  EXPECT_EQ(d.face, "ＭＳ Ｐゴシック");
  ASSERT_EQ(d.items.size(), 4u);
  struct Expected {
    int id;
    std::string cls, text;
    DWORD style;
    std::vector<short> rect;
  };
  const Expected expected[] = {
      {-1, "#130", "#128", 0x50000003, {7, 10, 20, 21}},
      {-1, "#130", "ミルテカ Version 1.0", 0x50020080, {33, 10, 119, 8}},
      {-1, "#130", d.items[2].text, 0x50020000, {33, 25, 119, 8}},
      {IDOK, "#128", "OK", 0x50030001, {178, 19, 50, 14}},
  };
  for (size_t i = 0; i < 4; ++i) {
    const Item& item = d.items[i];
    EXPECT_EQ(item.id, expected[i].id) << i;
    EXPECT_EQ(item.cls, expected[i].cls) << i;
    EXPECT_EQ(item.text, expected[i].text) << i;
    EXPECT_EQ(item.style, expected[i].style) << i;
    EXPECT_EQ((std::vector<short>{item.x, item.y, item.cx, item.cy}), expected[i].rect) << i;
  }
  EXPECT_FALSE(d.items[2].text.empty());
}

TEST(Resources, AboutEntryString) {
  wchar_t text[64] = {};
  ASSERT_GT(::LoadStringW(nullptr, IDS_ABOUTBOX, text, 64), 0);
  EXPECT_EQ(Narrow(text), "ﾊﾞｰｼﾞｮﾝ情報(&A)...");
}

TEST(Resources, IconGroupHasA32And16PixelImageOf16Colours) {
#pragma pack(push, 2)
  struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
  };
#pragma pack(pop)
  const auto* group = static_cast<const WORD*>(JapaneseResource(RT_GROUP_ICON, IDR_MAINFRAME));
  ASSERT_TRUE(group);
  ASSERT_EQ(group[2], 2);
  const auto* entries = reinterpret_cast<const GroupEntry*>(group + 3);
  EXPECT_EQ(entries[0].width, 32);
  EXPECT_EQ(entries[0].height, 32);
  EXPECT_EQ(entries[1].width, 16);
  EXPECT_EQ(entries[1].height, 16);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(entries[i].colours, 16) << i;
  EXPECT_TRUE(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
}

TEST(Resources, VersionInformation) {
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::vector<BYTE> data(::GetFileVersionInfoSizeW(self, nullptr));
  ASSERT_FALSE(data.empty());
  ASSERT_TRUE(::GetFileVersionInfoW(self, 0, static_cast<DWORD>(data.size()), data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  const auto value = [&](const wchar_t* name) {
    wchar_t* text = nullptr;
    UINT chars = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
    if (!::VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&text), &chars) || !text) return std::string("(missing)");
    return Narrow(text);
  };
  EXPECT_EQ(value(L"FileDescription"), "Quorvel MFC ｱﾌﾟﾘｹｰｼｮﾝ");
  EXPECT_EQ(value(L"InternalName"), "Quorvel");
  EXPECT_EQ(value(L"OriginalFilename"), "Quorvel.EXE");
  EXPECT_EQ(value(L"ProductName"), "Quorvel ｱﾌﾟﾘｹｰｼｮﾝ");
  EXPECT_EQ(value(L"FileVersion"), "1, 0, 0, 1");
  EXPECT_EQ(value(L"ProductVersion"), "1, 0, 0, 1");
  EXPECT_EQ(value(L"CompanyName"), "");
  EXPECT_EQ(value(L"LegalTrademarks"), "");
}

TEST(Resources, ManifestAsksToRunAsTheInvoker) {
  const HRSRC res = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_TRUE(res);
  const std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(nullptr, res))),
                             ::SizeofResource(nullptr, res));
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
}

struct IconCase {
  int clientWidth, clientHeight, x, y;
};

TEST(MinimisedIcon, IsCentredWithDivisionTowardsZero) {
  const IconCase cases[] = {{33, 33, 1, 1}, {32, 32, 0, 0}, {160, 27, 64, -2}, {0, 0, -15, -15}, {1, 2, -15, -14}};
  for (const IconCase& c : cases) {
    const POINT p = CQuorvelDlg::IconOrigin(c.clientWidth, c.clientHeight, 32, 32);
    EXPECT_EQ(p.x, c.x) << c.clientWidth;
    EXPECT_EQ(p.y, c.y) << c.clientHeight;
  }
}

}  // namespace
}  // namespace quorvel
