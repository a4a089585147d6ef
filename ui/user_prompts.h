#pragma once
// What the dialog asks of the user besides its own window: files through the common file dialogs,
// and message boxes. Behind one interface so that the dialog's tests can answer in the user's place.

#include <windows.h>
#include <commdlg.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image/output_format.h"

namespace quorvel {

struct FileChooser {
  enum class Kind { Open, Save };
  Kind kind;
  std::string title;
  std::vector<std::pair<std::string, std::string>> filter;  // description, pattern
  std::string initialName;
  DWORD flags;
  std::string defaultExtension;
};

// The three choosers of the dialog's commands. The output chooser's entries after the first name the
// record formats, in the order of OutputFormatFor.
extern const FileChooser kLayoutChooser;
extern const FileChooser kImageChooser;
extern const FileChooser kOutputChooser;

struct ChosenFile {
  std::string path;            // full path
  DWORD filterIndex = 1;       // the filter entry chosen, from 1
};

// The format of the output the user chose: an extension in the name that names a format (.bin, .mot,
// .hex and their kind) wins, so that a file is what its name says; else the output chooser's entry
// picks it, the raw image for the first and the last entry.
OutputFormat OutputFormatFor(const ChosenFile& output);

class UserPrompts {
 public:
  virtual ~UserPrompts() = default;
  // The chosen file, or none when the user cancels.
  virtual std::optional<ChosenFile> ChooseFile(HWND owner, const FileChooser& chooser) = 0;
  // Returns when the user has dismissed the box.
  virtual int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) = 0;
};

// What the system's file dialog is given for a chooser: the structure and the texts it points to.
class ChooserRequest {
 public:
  ChooserRequest(HWND owner, const FileChooser& chooser);
  ChooserRequest(const ChooserRequest&) = delete;
  ChooserRequest& operator=(const ChooserRequest&) = delete;
  OPENFILENAMEW& Get() { return m_ofn; }
  // The chosen file, once the dialog has returned non-zero.
  ChosenFile Chosen() const;

 private:
  std::wstring m_path, m_filter, m_title, m_extension;
  OPENFILENAMEW m_ofn{};
};

// The system's own file dialogs and message boxes.
class SystemPrompts final : public UserPrompts {
 public:
  std::optional<ChosenFile> ChooseFile(HWND owner, const FileChooser& chooser) override;
  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
};

}  // namespace quorvel
