#pragma once
#include <string>

#include "base/errorcatalogue.h"

// The library's one error type. Every failure inside the library is thrown as
// this class, carrying its entry of the error catalogue and the exact text
// (message) that callers compare; only the front ends (the command-line tool
// and the COM component) catch it. It deliberately does not derive from
// std::exception, so a handler for standard exceptions never swallows it by
// accident.
class _kelvra_runtime_error {
 public:
  explicit _kelvra_runtime_error(const ErrorCatalogue::Entry& entry);
  // A text made at run time: the entry's fixed start, then tail.
  _kelvra_runtime_error(const ErrorCatalogue::Entry& entry, const std::string& tail);
  _kelvra_runtime_error(const _kelvra_runtime_error&) = default;
  _kelvra_runtime_error& operator=(const _kelvra_runtime_error&) = default;
  ~_kelvra_runtime_error();

  const ErrorCatalogue::Entry& entry() const { return *entry_; }

  std::string message;

 private:
  const ErrorCatalogue::Entry* entry_;
};
