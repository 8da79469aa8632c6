#include "cli/utf8arguments.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#ifdef _WIN32
namespace {
std::string ToUtf8(const wchar_t* wide) {
  int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string text(size > 0 ? static_cast<size_t>(size) : 1, '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], size, nullptr, nullptr);
  text.pop_back();  // the terminating zero
  return text;
}
}  // namespace
#endif

bool Utf8Arguments::Environment(const char* name, std::string* value) {
#ifdef _WIN32
  std::wstring wname(name, name + std::char_traits<char>::length(name));
  const wchar_t* wide = _wgetenv(wname.c_str());
  if (wide == nullptr) return false;
  *value = ToUtf8(wide);
#else
  const char* narrow = std::getenv(name);
  if (narrow == nullptr) return false;
  *value = narrow;
#endif
  return true;
}

Utf8Arguments::Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr) {
    for (int i = 0; i < count; ++i) arguments_.push_back(ToUtf8(wide[i]));
    LocalFree(wide);
  }
#endif
  if (arguments_.empty()) arguments_.assign(argv, argv + argc);
  for (std::string& argument : arguments_) pointers_.push_back(&argument[0]);
  pointers_.push_back(nullptr);
}
