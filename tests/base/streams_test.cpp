#include <gtest/gtest.h>

#include <algorithm>
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
      {-4, 2, "", 0},                              // relative back to the start
      {-5, 2, "PdfMemoryStream::Seek::fseek", 4},  // relative before the start
      {-1, 3, "", 9},                              // from the end
      {1, 3, "PdfMemoryStream::Seek::fseek", 4},   // past the end from the end
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
  s.Leer(buf, 0);  // an empty read at the end is fine
  EXPECT_EQ(ErrorOf([&] { s.Leer(buf, SIZE_MAX); }), "PdfMemoryStream::Leer:fuera de rango");

  // SetBuffer keeps the position, clamped to the new length.
  s.SetBuffer(data.data(), 1);
  EXPECT_EQ(s.Tell(), 1);
  EXPECT_TRUE(s.Eof());
  PdfMemoryStream empty;
  EXPECT_TRUE(empty.Eof());
  EXPECT_EQ(ErrorOf([&] { empty.Leer(buf, 1); }), "PdfMemoryStream::Leer:fuera de rango");
}

TEST(FileStream, OpenFailuresSeekByOriginAndEof) {
  PdfFileStream none;
  for (const char* path : {"", "/nonexistent/varnel.pdf", "/tmp"})
    EXPECT_EQ(ErrorOf([&] { none.Abrir(path, "rb"); }), "PdfParser::Abrir:fopen") << path;
  EXPECT_EQ(ErrorOf([&] { none.Abrir(nullptr, "rb"); }), "PdfParser::Abrir:fopen");
  EXPECT_EQ(ErrorOf([&] { none.Length(); }), "NOT IMPLEMENTED. PdfFileStream::Length");

  const Bytes data = Pattern(100);
  TempFile tmp(data);
  PdfFileStream& f = tmp.stream;
  EXPECT_EQ(ErrorOf([&] { f.Seek(0, 0); }), "PdfFileStream::Seek::mal argumento");
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

// Random reads, byte reads, step-backs and seeks of every origin, done on a file stream and on a memory stream over
// the same bytes, must agree. The file spans several 64 KiB windows, so window refills, seeks just inside and
// outside the window, and reads that straddle or exceed it all occur.
TEST(FileStream, AgreesWithMemoryAcrossTheBuffer) {
  const size_t kWin = PdfFileStream::kBufferBytes;
  const Bytes data = Pattern(3 * kWin + 123);
  const int64_t size = static_cast<int64_t>(data.size());
  TempFile tmp(data);
  PdfFileStream& f = tmp.stream;
  PdfMemoryStream m(data.data(), data.size());

  uint32_t x = 99;
  auto rnd = [&x](uint64_t n) { return (x = x * 1664525u + 1013904223u) % n; };
  Bytes bf, bm;
  for (int step = 0; step < 4000; ++step) {
    ASSERT_EQ(f.Tell(), m.Tell()) << step;
    const int64_t pos = m.Tell();
    const int op = static_cast<int>(rnd(6));
    if (op == 0) {  // a read that may straddle a window or exceed one
      const size_t n = rnd(5) == 0 ? kWin + rnd(kWin) : rnd(300);
      if (static_cast<int64_t>(n) > size - pos) continue;
      bf.assign(n, 0);
      bm.assign(n, 0);
      f.Leer(bf.data(), n);
      m.Leer(bm.data(), n);
      ASSERT_EQ(bf, bm) << step;
    } else if (op == 1) {
      for (int i = 0; i < 40 && m.Tell() < size; ++i) ASSERT_EQ(f.GetByte(), m.GetByte()) << step;
    } else if (op == 2 && pos > 0) {
      f.StepBack();
      m.StepBack();
    } else if (op > 2) {  // to near a window edge, by up to a window either way, back from the end
      const int64_t edge =
          std::max<int64_t>(0, std::min<int64_t>(static_cast<int64_t>(rnd(4) * kWin + rnd(5)) - 2, size));
      const int64_t delta = static_cast<int64_t>(rnd(2 * kWin)) - static_cast<int64_t>(kWin);
      const int64_t offset = op == 3   ? edge
                             : op == 4 ? delta
                                       : -static_cast<int64_t>(rnd(static_cast<uint64_t>(size) + 1));
      if (op == 4 && (pos + delta < 0 || pos + delta > size)) continue;
      f.Seek(offset, op - 2);
      m.Seek(offset, op - 2);
    }
  }
  // A read of the whole file in one call, from the start.
  f.Seek(0, 1);
  bf.assign(data.size(), 0);
  f.Leer(bf.data(), bf.size());
  EXPECT_EQ(bf, data);
}

}  // namespace
