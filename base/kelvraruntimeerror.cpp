#include "base/kelvraruntimeerror.h"

_kelvra_runtime_error::_kelvra_runtime_error(const ErrorCatalogue::Entry& entry)
    : message(entry.text), entry_(&entry) {}

_kelvra_runtime_error::_kelvra_runtime_error(const ErrorCatalogue::Entry& entry, const std::string& tail)
    : message(entry.text + tail), entry_(&entry) {}

_kelvra_runtime_error::~_kelvra_runtime_error() = default;
