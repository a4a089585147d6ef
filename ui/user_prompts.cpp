#include "user_prompts.h"

#include "base/text.h"

namespace quorvel {

using qbase::Utf8ToWide;
using qbase::WideToUtf8;

namespace {

// The choosers that open a file: one title and one set of options, a filter of their own before all files.
FileChooser OpenChooser(std::vector<std::pair<std::string, std::string>> filter) {
  filter.emplace_back("全てのファイル(*.*)", "*.*");
  return {FileChooser::Kind::Open, "ファイルを選択して下さい", std::move(filter), "", OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, "txt"};
}

}  // namespace

const FileChooser kLayoutChooser = OpenChooser({{"設定ファイル(*.conf)", "*.conf"}});
// Record files are read as the bytes they describe.
const FileChooser kImageChooser =
    OpenChooser({{"イメージファイル(*.bin;*.bin.gz;*.img;*.img.gz)", "*.bin;*.bin.gz;*.img;*.img.gz"},
                 {"Sレコード/インテルHEXファイル(*.mot;*.srec;*.s19;*.s28;*.s37;*.hex;*.ihex;*.ihx)",
                  "*.mot;*.srec;*.s19;*.s28;*.s37;*.hex;*.ihex;*.ihx"}});

const FileChooser kOutputChooser = {
    FileChooser::Kind::Save,
    "保存するファイル名を入力してください",
    {{"イメージファイル(*.bin)", "*.bin"},
     {"Sレコードファイル(*.mot;*.srec;*.s19;*.s28;*.s37)", "*.mot;*.srec;*.s19;*.s28;*.s37"},
     {"インテルHEXファイル(*.hex)", "*.hex"},
     {"全てのファイル(*.*)", "*.*"}},
    "all.bin",
    OFN_OVERWRITEPROMPT,
    "txt",
};

OutputFormat OutputFormatFor(const ChosenFile& output) {
  if (const std::optional<OutputFormat> typed = FormatOfExtension(output.path)) return *typed;
  switch (output.filterIndex) {
    case 2: return OutputFormat::SRecord;
    case 3: return OutputFormat::IntelHex;
    default: return OutputFormat::Binary;
  }
}

namespace {

// Room for the longest path Windows has, so that no chosen file is refused for its length.
constexpr size_t kPathCapacity = 32768;

// "description\0pattern\0...\0\0"
std::wstring FilterText(const FileChooser& chooser) {
  std::wstring text;
  for (const auto& [description, pattern] : chooser.filter) {
    text += Utf8ToWide(description) + L'\0' + Utf8ToWide(pattern) + L'\0';
  }
  return text + L'\0';
}

}  // namespace

ChooserRequest::ChooserRequest(HWND owner, const FileChooser& chooser)
    : m_path(Utf8ToWide(chooser.initialName)),
      m_filter(FilterText(chooser)),
      m_title(Utf8ToWide(chooser.title)),
      m_extension(Utf8ToWide(chooser.defaultExtension)) {
  m_path.resize(kPathCapacity, L'\0');
  m_ofn.lStructSize = sizeof m_ofn;
  m_ofn.hwndOwner = owner;
  m_ofn.lpstrFilter = m_filter.c_str();
  m_ofn.nFilterIndex = 1;
  m_ofn.lpstrFile = m_path.data();
  m_ofn.nMaxFile = static_cast<DWORD>(m_path.size());
  m_ofn.lpstrTitle = m_title.c_str();
  m_ofn.Flags = chooser.flags;
  m_ofn.lpstrDefExt = m_extension.c_str();
}

ChosenFile ChooserRequest::Chosen() const { return {WideToUtf8(m_path.c_str()), m_ofn.nFilterIndex}; }

std::optional<ChosenFile> SystemPrompts::ChooseFile(HWND owner, const FileChooser& chooser) {
  ChooserRequest request(owner, chooser);
  const BOOL chosen = chooser.kind == FileChooser::Kind::Open ? ::GetOpenFileNameW(&request.Get())
                                                               : ::GetSaveFileNameW(&request.Get());
  if (!chosen) return std::nullopt;
  return request.Chosen();
}

int SystemPrompts::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  return ::MessageBoxW(owner, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), type);
}

}  // namespace quorvel
