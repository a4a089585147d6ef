#pragma once
// What the dialog asks of the user besides its own window: files through the common file dialogs,
// and message boxes. Behind one interface so that the dialog's tests can answer in the user's place.

#include <windows.h>
#include <commdlg.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// The three choosers of the dialog's commands.
extern const FileChooser kLayoutChooser;
extern const FileChooser kImageChooser;
extern const FileChooser kOutputChooser;

class UserPrompts {
 public:
  virtual ~UserPrompts() = default;
  // The full path of the chosen file, or none when the user cancels.
  virtual std::optional<std::string> ChooseFile(HWND owner, const FileChooser& chooser) = 0;
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
  // The chosen path, once the dialog has returned non-zero.
  std::string ChosenPath() const;

 private:
  std::wstring m_path, m_filter, m_title, m_extension;
  OPENFILENAMEW m_ofn{};
};

// The system's own file dialogs and message boxes.
class SystemPrompts final : public UserPrompts {
 public:
  std::optional<std::string> ChooseFile(HWND owner, const FileChooser& chooser) override;
  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
};

}  // namespace quorvel
