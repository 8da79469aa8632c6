#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/kelvraruntimeerror.h"
#include "base/pdffilestream.h"
#include "base/pdfmemorystream.h"
#include "tests/pdfbuilder.h"

namespace {

using Bytes = std::vector<uint8_t>;

using pdftest::ErrorOf;
using pdftest::TempFile;

Bytes Pattern(size_t n) {
  Bytes out(n);
  uint32_t x = 7;
  for (auto& b : out) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  return out;
}

TEST(MemoryStream, SeekByOrigin) {
  const Bytes data = Pattern(10);
  const struct {
    int64_t offset;
    int origin;
    std::string error;
    int64_t position;
  } rows[] = {
      // position after: unchanged on error
      {10, 1, "", 10},                             // the end itself is a valid position
      {11, 1, "PdfMemoryStream::Seek::fseek", 4},  // past the end
      {-1, 1, "PdfMemoryStream::Seek::fseek", 4},  // before the start
      {3, 2, "", 7},                               // relative forward
      {-5, 2, "PdfMemoryStream::Seek::fseek", 4},  // relative before the start
      {-1, 3, "", 9},                              // from the end
      {INT64_MIN, 2, "PdfMemoryStream::Seek::fseek", 4},
      {INT64_MAX, 3, "PdfMemoryStream::Seek::fseek", 4},  // no overflow
      {0, 0, "PdfMemoryStream::Seek::mal argumento", 4},
      {0, 4, "PdfMemoryStream::Seek::mal argumento", 4},  // codes are 1 to 3
  };
  for (const auto& row : rows) {
    PdfMemoryStream s(data.data(), data.size());
    s.Seek(4, 1);
    EXPECT_EQ(ErrorOf([&] { s.Seek(row.offset, row.origin); }), row.error) << row.offset << "," << row.origin;
    EXPECT_EQ(s.Tell(), row.position) << row.offset << "," << row.origin;
  }
}

TEST(MemoryStream, ReadsAreBounded) {
  const Bytes data = {0x01, 0x80, 0xFF};
  PdfMemoryStream s(data.data(), data.size());
  EXPECT_EQ(s.Length(), 3);
  EXPECT_EQ(s.LeerByte(), 0x01);
  EXPECT_EQ(s.LeerByte(), 0x80) << "high bytes are never negative";
  EXPECT_FALSE(s.Eof());
  uint8_t buf[4] = {};
  EXPECT_EQ(ErrorOf([&] { s.Leer(buf, 2); }), "PdfMemoryStream::Leer:fuera de rango");
  EXPECT_EQ(s.Tell(), 2) << "a refused read moves nothing";
  s.Leer(buf, 1);
  EXPECT_EQ(buf[0], 0xFF);
  EXPECT_TRUE(s.Eof());
  EXPECT_EQ(s.LeerByte(), -1);
  EXPECT_EQ(s.GetByte(), -1);
  EXPECT_EQ(ErrorOf([&] { s.Leer(buf, SIZE_MAX); }), "PdfMemoryStream::Leer:fuera de rango");

  // SetBuffer keeps the position, clamped to the new length.
  s.SetBuffer(data.data(), 1);
  EXPECT_EQ(s.Tell(), 1);
  EXPECT_TRUE(s.Eof());
}

TEST(FileStream, OpenFailuresSeekByOriginAndEof) {
  PdfFileStream none;
  for (const char* path : {"/nonexistent/varnel.pdf", "/tmp"})
    EXPECT_EQ(ErrorOf([&] { none.Abrir(path, "rb"); }), "PdfParser::Abrir:fopen") << path;
  EXPECT_EQ(ErrorOf([&] { none.Abrir(nullptr, "rb"); }), "PdfParser::Abrir:fopen");
  EXPECT_EQ(ErrorOf([&] { none.Length(); }), "NOT IMPLEMENTED. PdfFileStream::Length");

  const Bytes data = Pattern(100);
  TempFile tmp(data);
  PdfFileStream& f = tmp.stream;
  EXPECT_EQ(ErrorOf([&] { f.Seek(0, 4); }), "PdfFileStream::Seek::mal argumento");
  EXPECT_EQ(ErrorOf([&] { f.Seek(-1, 1); }), "PdfFileStream::Seek::fseek");
  f.Seek(95, 1);
  uint8_t buf[8];
  f.Leer(buf, 5);
  EXPECT_EQ(buf[4], data[99]);
  EXPECT_FALSE(f.Eof()) << "the end is only seen by a read that runs into it";
  EXPECT_EQ(ErrorOf([&] { f.GetByte(); }), "PdfFileStream::Leer::fread");
  EXPECT_TRUE(f.Eof());
  // A failed read leaves the stream usable; a seek clears the end indicator.
  f.Seek(96, 1);
  EXPECT_FALSE(f.Eof());
  EXPECT_EQ(ErrorOf([&] { f.Leer(buf, 8); }), "PdfFileStream::Leer::fread") << "short read at the end";
  f.Seek(0, 1);
  f.Leer(buf, 2);
  EXPECT_EQ(buf[1], data[1]);
  f.Cerrar();
  EXPECT_NE(ErrorOf([&] { f.Leer(buf, 1); }), "");
}

}  // namespace
