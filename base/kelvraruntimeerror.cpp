#include "base/kelvraruntimeerror.h"

#include <utility>

_kelvra_runtime_error::_kelvra_runtime_error(std::string text) : message(std::move(text)) {}

_kelvra_runtime_error::~_kelvra_runtime_error() = default;
