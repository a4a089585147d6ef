#include <iostream>
#include <string>
#include <vector>

#include "cli_app.h"
#include "file_access.h"

#ifdef _WIN32
#include <windows.h>

#include "text.h"

// Arguments arrive as UTF-16 so that any path works on any Windows locale; the tool speaks UTF-8.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(quorvel::WideToUtf8(argv[i]));
  ::SetConsoleOutputCP(CP_UTF8);
  return quorvel::RunCli(args, std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
  quorvel::RemoveTemporaryOnInterrupt();
  return quorvel::RunCli(std::vector<std::string>(argv, argv + argc), std::cout, std::cerr);
}
#endif
