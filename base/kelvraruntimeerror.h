#pragma once
#include <string>

// The library's one error type. Every failure inside the library is thrown as
// this class, carrying a fixed message text and nothing else; only the front
// ends (the command-line tool and the COM component) catch it. It deliberately
// does not derive from std::exception, so a handler for standard exceptions
// never swallows it by accident.
class _kelvra_runtime_error {
 public:
  explicit _kelvra_runtime_error(std::string text);
  _kelvra_runtime_error(const _kelvra_runtime_error&) = default;
  _kelvra_runtime_error& operator=(const _kelvra_runtime_error&) = default;
  ~_kelvra_runtime_error();

  std::string message;
};
