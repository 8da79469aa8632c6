#pragma once
// For tests of the reader's window fast paths: a text placed in a file so
// that a file stream's first window ends at each place inside it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "pdf/pdffilestream.h"

namespace windowshift {

// Calls check(file, shift) for each shift from 1 to body's size, with file
// open on blanks followed by body, its first window ending shift bytes into
// body.
template <class Check>
void ForEachWindowEnd(const std::string& body, const std::string& file_name, Check check) {
  const std::string path = testing::TempDir() + file_name;
  for (size_t shift = 1; shift <= body.size(); ++shift) {
    const std::string data = std::string(PdfFileStream::kBufferBytes - shift, ' ') + body + " ";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
    PdfFileStream file;
    file.Abrir(path.c_str(), "rb");
    check(file, shift);
  }
  std::remove(path.c_str());
}

}  // namespace windowshift
