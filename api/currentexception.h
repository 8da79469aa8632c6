#pragma once
#include <string>

// Turns whatever was thrown into its text: the library's message, "out of
// memory" for std::bad_alloc, what() for other standard exceptions. Called
// only inside a catch block.
std::string DescribeCurrentException();
