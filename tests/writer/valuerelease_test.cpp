// The writer releases each object's values once the object is written, so
// that memory stays flat on documents with millions of objects. These tests
// check that it really does, and that nothing still needed is released.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "tests/pdfbuilder.h"

namespace {

using namespace pdftest;

TEST(ValueRelease, WriterKeepsNoValuesOfWrittenObjects) {
  std::vector<std::string> bodies(3000, "<< /A [1 2 (x) [3]] /B << /C 4 0 R /D /E >> /F (text) >>");
  PdfFileWriter w;
  const std::string out = Rewrite(w, SimpleDocument(bodies));
  // About 15 values per object were created: without release, 45000 remain.
  EXPECT_LT(w.valueList.size(), 100u);
  EXPECT_LT(w.cache_objetos.size(), 10u);
  EXPECT_EQ(ObjectBody(out, ReadXRef(out), 3001),
            "<<\n/A  [ 1 2 (x)  [ 3 ] ] \n/B <<\n/C 4 0 R \n/D /E \n>>\n\n/F (text) \n>>\n");
}

// Released values are reused for the next objects: nothing of what they
// held (stream data, entries, elements, numbers) may show there.
TEST(ValueRelease, ReusedValuesStartFresh) {
  PdfBuilder b;
  b.Obj(1, "<< /Type /Catalog >>");
  b.Stream(2, "/S (x) /N [1 2 3] /D << /E 5 >>", "data");
  b.Obj(3, "<< /A [4] >>");
  b.Obj(4, "[ << /B 6 >> (y) ]");
  b.Obj(5, "<< /C << >> >>");
  PdfFileWriter w;
  const std::string out = Rewrite(
      w, b.Finish(b.Table({FreeAt(0, 65535), InUse(1), InUse(2), InUse(3), InUse(4), InUse(5)}, "/Root 1 0 R")));
  const WrittenXRef x = ReadXRef(out);
  EXPECT_EQ(ObjectBody(out, x, 2),
            "<<\n/D <<\n/E 5 \n>>\n\n/Length 4 \n/N  [ 1 2 3 ] \n/S (x) \n>>\nstream\ndata\nendstream\n");
  EXPECT_EQ(ObjectBody(out, x, 3), "<<\n/A  [ 4 ] \n>>\n");
  EXPECT_EQ(ObjectBody(out, x, 4), " [ <<\n/B 6 \n>>\n(y) ] ");
  EXPECT_EQ(ObjectBody(out, x, 5), "<<\n/C <<\n>>\n\n>>\n");
}

TEST(ValueRelease, ReleasedObjectIsReadAgainOnTheNextFetch) {
  const std::string doc = SimpleDocument({"<< /A [1 2] /B (x) >>", "7"});
  PdfMemoryStream in(doc.data(), doc.size());
  PdfFileParser p;
  p.Parse(in);
  const size_t mark = p.ValueMark();
  ASSERT_NE(p.DameObjeto(2, 0), nullptr);
  EXPECT_TRUE(p.ReleaseValuesFrom(mark));
  EXPECT_EQ(p.ValueMark(), mark);
  EXPECT_EQ(p.BuscarObjetoEnCache(2, 0), nullptr) << "no cache entry may point at a released value";
  auto* again = static_cast<PdfDiccionario*>(p.DameObjeto(2, 0));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->GetValue("/B", false)->text, "x");
  EXPECT_EQ(static_cast<PdfArray*>(again->GetValue("/A", false))->GetSize(), 2);
}

// Object 2 is a stream whose /Length is object 4, which lies in object
// stream 3: writing object 2 decodes object stream 3, whose dictionary must
// then survive for the compressed entries that follow.
std::string LengthInObjectStream() {
  PdfBuilder b;
  b.Obj(1, "<< /Type /Catalog >>");
  b.Stream(2, "", "0123456789", "4 0 R");
  b.ObjStm(3, {{4, "10"}, {5, "<< /K (v) >>"}});
  const int64_t x =
      b.XRefStreamOf(6, {FreeAt(0, 65535), InUse(1), InUse(2), InUse(3), InStm(4, 3, 0), InStm(5, 3, 1)}, "/Root 1 0 R");
  return b.Finish(x);
}

TEST(ValueRelease, DecodedObjectStreamIsKept) {
  const std::string doc = LengthInObjectStream();
  PdfMemoryStream in(doc.data(), doc.size());
  PdfFileParser p;
  p.Parse(in);
  const size_t mark = p.ValueMark();
  int32_t index = -1;
  int64_t offset = 0;
  PdfDiccionario* stm = p.FindInObjectStream(3, 5, 1, &index, &offset);
  ASSERT_TRUE(stm->stream_decoded);
  EXPECT_FALSE(p.ReleaseValuesFrom(mark));
  EXPECT_EQ(p.BuscarObjetoEnCache(3, 0), stm);
  EXPECT_TRUE(stm->stream_decoded);

  PdfFileWriter w;
  const std::string out = Rewrite(w, doc);
  const WrittenXRef x = ReadXRef(out);
  EXPECT_EQ(ObjectBody(out, x, 2), "<<\n/Length 4 0 R \n>>\nstream\n0123456789\nendstream\n");
  EXPECT_EQ(x.entries.at(5)[0], 2u);
  EXPECT_EQ(x.entries.at(5)[2], 1u);
}

// Members of two object streams listed in turns, with a written stream in
// between whose /Length lies in one of them: each object stream is decoded
// again when needed after its data or its dictionary was let go, and every
// member keeps its index.
TEST(ValueRelease, ObjectStreamMembersInTurns) {
  PdfBuilder b;
  b.ObjStm(10, {{1, "<< /Type /Catalog >>"}, {3, "(a)"}, {5, "[5]"}});
  b.ObjStm(11, {{4, "4"}, {6, "9"}});
  b.Stream(7, "", "123456789", "6 0 R");
  const int64_t x = b.XRefStreamOf(
      12,
      {FreeAt(0, 65535), InStm(1, 10, 0), InStm(4, 11, 0), InStm(3, 10, 1), InUse(7), InStm(6, 11, 1),
       InStm(5, 10, 2), InUse(10), InUse(11)},
      "/Root 1 0 R");
  PdfFileWriter w;
  const std::string out = Rewrite(w, b.Finish(x));
  const WrittenXRef written = ReadXRef(out);
  const struct {
    int64_t number;
    uint64_t stm, index;
  } members[] = {{1, 10, 0}, {3, 10, 1}, {5, 10, 2}, {4, 11, 0}, {6, 11, 1}};
  for (const auto& m : members) {
    ASSERT_EQ(written.entries.count(m.number), 1u) << m.number;
    EXPECT_EQ(written.entries.at(m.number), (std::array<uint64_t, 3>{2, m.stm, m.index})) << m.number;
  }
  EXPECT_EQ(ObjectBody(out, written, 7), "<<\n/Length 6 0 R \n>>\nstream\n123456789\nendstream\n");
}

// Each object stream's dictionary goes with its last member: nothing of the
// object streams stays once their members are listed.
TEST(ValueRelease, ObjectStreamsGoAfterTheirLastMember) {
  PdfBuilder b;
  std::vector<Entry> entries{FreeAt(0, 65535), InUse(1)};
  b.Obj(1, "<< /Type /Catalog >>");
  int64_t number = 2;
  for (int k = 0; k < 50; ++k) {
    const int64_t stm = 5000 + k;
    std::vector<std::pair<int64_t, std::string>> objects;
    for (uint32_t i = 0; i < 20; ++i, ++number) {
      objects.emplace_back(number, "<< /A [1 2 3] /B (text) /C << /D 4 0 R >> >>");
      entries.push_back(InStm(number, stm, i));
    }
    b.ObjStm(stm, objects);
    entries.push_back(InUse(stm));
  }
  PdfFileWriter w;
  const std::string out = Rewrite(w, b.Finish(b.XRefStreamOf(6000, entries, "/Root 1 0 R")));
  // What stays is the input's cross-reference stream dictionary, whose
  // /Index has two numbers per entry here; each of the 50 object stream
  // dictionaries has about 12 values.
  EXPECT_LT(w.valueList.size(), 2 * entries.size() + 50);
  EXPECT_LT(w.cache_objetos.size(), 10u);
  const WrittenXRef x = ReadXRef(out);
  EXPECT_EQ(x.entries.at(1001), (std::array<uint64_t, 3>{2, 5049, 19}));
}

}  // namespace
