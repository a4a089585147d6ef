#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli_app.h"

#ifdef _WIN32
#include <windows.h>

#include "base/text.h"

namespace {

// The language of the user's Windows.
quorvel::Language UserLanguage() {
  return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE ? quorvel::Language::Japanese
                                                                      : quorvel::Language::English;
}

}  // namespace

// Arguments arrive as UTF-16 so that any path works on any Windows locale; the tool speaks UTF-8.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(qbase::WideToUtf8(argv[i]));
  ::SetConsoleOutputCP(CP_UTF8);
  return quorvel::RunCli(args, std::cout, std::cerr, UserLanguage());
}
#else
#include <fcntl.h>

#include "files/replacement_file.h"
#include "text/messages.h"

namespace {

// The language of the locale that messages are shown in: the first of LC_ALL, LC_MESSAGES and LANG
// that is set.
quorvel::Language UserLanguage() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return std::string_view(value).substr(0, 2) == "ja" ? quorvel::Language::Japanese : quorvel::Language::English;
  }
  return quorvel::Language::English;
}

}  // namespace

int main(int argc, char** argv) {
  // A standard stream the caller closed stands open on /dev/null for reading only: no file the tool
  // opens takes its number, and an output named /dev/stdout is refused rather than written elsewhere.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0) ::open("/dev/null", O_RDONLY);
  }
  std::setlocale(LC_MESSAGES, "");  // the system's reasons in the user's language
  static const quorvel::Language language = UserLanguage();
  // A file written in place that a signal empties: the user is told, as after a failure.
  quorvel::CleanUpOnSignals([](const std::string& path) {
    return quorvel::MessageLine({quorvel::MessageId::OutputEmptied, {}, path}, language) + "\n";
  });
  return quorvel::RunCli(std::vector<std::string>(argv, argv + argc), std::cout, std::cerr, language);
}
#endif
