// The reader's resource limits (pdf/pdflimits.h, docs/limits.md): each one
// stops what would grow without bound, and normal use below it works.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdflimits.h"
#include "tests/pdfbuilder.h"

namespace {

using pdftest::Doc;
using pdftest::ErrorOf;
using pdftest::PdfBuilder;

using pdftest::Deflate;

// Object streams 10, 11, 12 each holding one object (20, 21, 22: a string)
// behind `padding` bytes of white space, so that each decodes to that size.
std::string ObjectStreams(size_t padding) {
  PdfBuilder b;
  b.Obj(1, "<</Type/Catalog>>");
  std::vector<pdftest::Row> rows = b.Rows(1);
  for (int i = 0; i < 3; ++i) {
    const std::string header = std::string(padding, ' ') + std::to_string(20 + i) + " 0 ";
    b.Stream(10 + i, "/Type/ObjStm /N 1 /Filter/FlateDecode /First " + std::to_string(header.size()),
             Deflate(header + "(object " + std::to_string(20 + i) + ")"));
  }
  for (int n = 2; n < 10; ++n) rows.push_back(pdftest::Free());
  for (int i = 0; i < 3; ++i) rows.push_back(b.At(10 + i));
  for (int n = 13; n < 20; ++n) rows.push_back(pdftest::Free());
  for (int i = 0; i < 3; ++i) rows.push_back(pdftest::Compressed(10 + i, 0));
  const int64_t xref = b.Pos();
  rows.push_back({1, static_cast<uint64_t>(xref), 0});
  b.XRefStream(23, rows, {1, 4, 2}, " /Size 24 /Root 1 0 R");
  return b.Finish(xref);
}

// 30 MiB each: two fit under the 64 MiB kept, three do not. Made once.
const std::string& ThreeLargeObjectStreams() {
  static const std::string file = ObjectStreams(30 << 20);
  return file;
}

TEST(ResourceLimits, DecodedObjectStreamsAreLetGoAndDecodedAgain) {
  Doc d(ThreeLargeObjectStreams());
  ASSERT_EQ(d.Parse(), "");
  auto decoded = [&](int stm) {
    auto* v = static_cast<PdfDiccionario*>(d.parser.BuscarObjetoEnCache(stm, 0));
    return v != nullptr && v->stream_decoded;
  };
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 3; ++i) {
      int32_t index = -1;
      int64_t offset = 0;
      PdfDiccionario* stm = d.parser.FindInObjectStream(10 + i, 20 + i, 0, &index, &offset);
      ASSERT_NE(stm, nullptr);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(stm->stream_data.data()) + offset, 11),
                "(object " + std::to_string(20 + i) + ")");
      EXPECT_TRUE(decoded(10 + i)) << "the stream in use is kept";
    }
    EXPECT_FALSE(decoded(10)) << "the oldest is let go";
  }
}

TEST(ResourceLimits, AllDecodingOfOneFileIsBounded) {
  // Three object streams used in turn are each decoded again every time:
  // past 512 MiB in all the reader stops.
  Doc d(ThreeLargeObjectStreams());
  ASSERT_EQ(d.Parse(), "");
  std::string error;
  int decodes = 0;
  for (int k = 0; k < 40 && error.empty(); ++k, ++decodes) {
    error = ErrorOf([&] {
      int32_t index = -1;
      int64_t offset = 0;
      d.parser.FindInObjectStream(10 + k % 3, 20 + k % 3, 0, &index, &offset);
    });
  }
  EXPECT_EQ(error, "PdfCompressedStream::Decompress:limit");
  EXPECT_GE(decodes, 15) << "stops at the limit, not before";
}

TEST(ResourceLimits, ValuesAlive) {
  auto array_of = [](size_t n) {
    std::string body = "[";
    for (size_t i = 0; i < n; ++i) body += "0 ";
    PdfBuilder b;
    b.Obj(1, body + "]");
    return b.Finish(b.Classic({{0, b.Rows(1)}}, "/Size 2"));
  };
  Doc below(array_of(pdflimits::kMaxValues - 100));
  ASSERT_EQ(below.Parse(), "");
  EXPECT_EQ(ErrorOf([&] { below.Get("1 0 R"); }), "");
  Doc above(array_of(pdflimits::kMaxValues));
  ASSERT_EQ(above.Parse(), "");
  EXPECT_EQ(ErrorOf([&] { above.Get("1 0 R"); }), "PdfFileParser::NuevoValue:limit");
}

TEST(ResourceLimits, CrossReferenceEntries) {
  // One-byte entries: /Size entries from as many bytes of data.
  auto xref_of = [](int64_t size) {
    PdfBuilder b;
    b.Obj(1, "<</Type/Catalog>>");
    const int64_t xref = b.Pos();
    b.Stream(2, "/Type/XRef /W [0 1 0] /Size " + std::to_string(size) + " /Filter/FlateDecode",
             Deflate(std::string(static_cast<size_t>(size), '\x09')));
    return b.Finish(xref);
  };
  EXPECT_EQ(Doc(xref_of(1 << 20)).Parse(), "");
  EXPECT_EQ(Doc(xref_of(pdflimits::kMaxXRefEntries)).Parse(), "PdfFileParser::ParseCrossReference:limit");
}

TEST(ResourceLimits, SharedIndirectLengthIsReadOnce) {
  // Three streams whose /Length is one long array (not a length: each data
  // is found by its "endstream"); the array is read for the first only.
  PdfBuilder b;
  std::string array = "[";
  for (int i = 0; i < 1000; ++i) array += "0 ";
  b.Obj(1, array + "]");
  for (int n = 2; n <= 4; ++n) b.Stream(n, "/Length 1 0 R", "data");
  Doc d(b.Finish(b.Classic({{0, b.Rows(4)}}, "/Size 5")));
  ASSERT_EQ(d.Parse(), "");
  size_t values_after_first = 0;
  for (int n = 2; n <= 4; ++n) {
    auto* s = static_cast<PdfDiccionario*>(d.Get(std::to_string(n) + " 0 R"));
    int64_t offset = 0, length = 0;
    d.parser.StreamExtent(s, "no /Length", &offset, &length);
    EXPECT_EQ(length, 4);
    if (n == 2) values_after_first = d.parser.valueList.size();
  }
  // Two more dictionaries with their /Length entries, not 1000 more values.
  EXPECT_LT(d.parser.valueList.size(), values_after_first + 10);
}

}  // namespace
