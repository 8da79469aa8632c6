#pragma once
#include <string>

#include "base/errorcatalogue.h"

// The catalogue entry of whatever was thrown, with its exact text in
// *detail: the library error's own, "out of memory" for std::bad_alloc,
// what() of other standard exceptions (an unexpected failure). Called only
// inside a catch block.
const ErrorCatalogue::Entry& CurrentError(std::string* detail);
