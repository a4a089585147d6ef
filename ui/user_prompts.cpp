#include "user_prompts.h"

#include <commdlg.h>

#include "framework/wide.h"

namespace quorvel {

using qfw::Narrow;
using qfw::Wide;

const FileChooser kLayoutChooser = {
    FileChooser::Kind::Open,
    "ファイルを選択して下さい",
    {{"設定ファイル(*.conf)", "*.conf"}, {"全てのファイル(*.*)", "*.*"}},
    "",
    OFN_FILEMUSTEXIST | OFN_HIDEREADONLY,
    "txt",
};

const FileChooser kImageChooser = {
    FileChooser::Kind::Open,
    "ファイルを選択して下さい",
    {{"イメージファイル(*.bin;*.bin.gz;*.img;*.img.gz)", "*.bin;*.bin.gz;*.img;*.img.gz"},
     {"全てのファイル(*.*)", "*.*"}},
    "",
    OFN_FILEMUSTEXIST | OFN_HIDEREADONLY,
    "txt",
};

const FileChooser kOutputChooser = {
    FileChooser::Kind::Save,
    "保存するファイル名を入力してください",
    {{"イメージファイル(*.bin)", "*.bin"}, {"全てのファイル(*.*)", "*.*"}},
    "all.bin",
    OFN_OVERWRITEPROMPT,
    "txt",
};

namespace {

// Room for the longest path Windows has, so that no chosen file is refused for its length.
constexpr size_t kPathCapacity = 32768;

// "description\0pattern\0...\0\0"
std::wstring FilterText(const FileChooser& chooser) {
  std::wstring text;
  for (const auto& [description, pattern] : chooser.filter) {
    text += Wide(description) + L'\0' + Wide(pattern) + L'\0';
  }
  return text + L'\0';
}

}  // namespace

std::optional<std::string> SystemPrompts::ChooseFile(HWND owner, const FileChooser& chooser) {
  std::wstring path = Wide(chooser.initialName);
  path.resize(kPathCapacity, L'\0');
  const std::wstring filter = FilterText(chooser);
  const std::wstring title = Wide(chooser.title);
  const std::wstring extension = Wide(chooser.defaultExtension);

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = static_cast<DWORD>(path.size());
  ofn.lpstrTitle = title.c_str();
  ofn.Flags = chooser.flags;
  ofn.lpstrDefExt = extension.c_str();
  const BOOL chosen = chooser.kind == FileChooser::Kind::Open ? ::GetOpenFileNameW(&ofn) : ::GetSaveFileNameW(&ofn);
  if (!chosen) return std::nullopt;
  return Narrow(path.c_str());
}

int SystemPrompts::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  return ::MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), type);
}

}  // namespace quorvel
