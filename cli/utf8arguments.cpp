#include "cli/utf8arguments.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

Utf8Arguments::Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr) {
    for (int i = 0; i < count; ++i) {
      int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
      std::string text(size > 0 ? static_cast<size_t>(size) : 1, '\0');
      if (size > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &text[0], size, nullptr, nullptr);
      text.pop_back();  // the terminating zero
      arguments_.push_back(text);
    }
    LocalFree(wide);
  }
#endif
  if (arguments_.empty()) arguments_.assign(argv, argv + argc);
  for (std::string& argument : arguments_) pointers_.push_back(&argument[0]);
  pointers_.push_back(nullptr);
}
