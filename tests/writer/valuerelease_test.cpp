// The writer releases each object's values once the object is written, so
// that memory stays flat on documents with millions of objects; nothing
// still needed may be released, nothing released may show again.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "tests/pdfbuilder.h"

namespace {

using namespace pdftest;

// Released values are reused for the next objects: nothing of what they
// held (stream data, entries, elements, numbers) may show there.
TEST(ValueRelease, WriterKeepsNoValuesAndReusedValuesStartFresh) {
  std::vector<std::string> bodies(3000, "<< /A [1 2 (x) [3]] /B << /C 4 0 R /D /E >> /F (text) >>");
  bodies[0] = "<< /S (x) /N [1 2 3] /D << /E 5 >> /Length 4 >>\nstream\ndata\nendstream";
  bodies[1] = "<< /A [4] >>";
  bodies[2] = "[ << /B 6 >> (y) ]";
  bodies[3] = "<< /C << >> >>";
  PdfFileWriter w;
  const std::string out = Rewrite(w, SimpleDocument(bodies));
  const WrittenXRef x = ReadXRef(out);
  EXPECT_LT(w.valueList.size(), 100u) << "about 15 values per object were made: 45000 without release";
  EXPECT_LT(w.cache_objetos.size(), 10u);
  const std::pair<int64_t, std::string> rows[] = {
      {2, "<<\n/D <<\n/E 5 \n>>\n\n/Length 4 \n/N  [ 1 2 3 ] \n/S (x) \n>>\nstream\ndata\nendstream\n"},
      {3, "<<\n/A  [ 4 ] \n>>\n"}, {4, " [ <<\n/B 6 \n>>\n(y) ] "}, {5, "<<\n/C <<\n>>\n\n>>\n"},
      {3001, "<<\n/A  [ 1 2 (x)  [ 3 ] ] \n/B <<\n/C 4 0 R \n/D /E \n>>\n\n/F (text) \n>>\n"}};
  for (const auto& row : rows) EXPECT_EQ(ObjectBody(out, x, row.first), row.second) << row.first;
}

TEST(ValueRelease, ReleasedObjectIsReadAgainOnTheNextFetch) {
  Doc d(SimpleDocument({"<< /A [1 2] /B (x) >>", "7"}));
  ASSERT_EQ(d.Parse(), "");
  const size_t mark = d.parser.ValueMark();
  ASSERT_NE(d.parser.DameObjeto(2, 0), nullptr);
  EXPECT_TRUE(d.parser.ReleaseValuesFrom(mark));
  EXPECT_EQ(d.parser.ValueMark(), mark);
  EXPECT_EQ(d.parser.BuscarObjetoEnCache(2, 0), nullptr) << "no cache entry may point at a released value";
  auto* again = static_cast<PdfDiccionario*>(d.parser.DameObjeto(2, 0));
  EXPECT_EQ(again->GetValue("/B", false)->text, "x");
  EXPECT_EQ(static_cast<PdfArray*>(again->GetValue("/A", false))->GetSize(), 2);

  // A decoded object stream is not released: its members still follow.
  PdfBuilder b;
  b.Obj(1, "<< /Type /Catalog >>");
  b.ObjStm(3, {{4, "10"}, {5, "<< /K (v) >>"}});
  Doc s(b.Finish(b.XRefStreamOf(6, {FreeAt(0, 65535), InUse(1), InUse(3), InStm(4, 3, 0), InStm(5, 3, 1)}, "/Root 1 0 R")));
  ASSERT_EQ(s.Parse(), "");
  const size_t before = s.parser.ValueMark();
  int32_t index = -1;
  int64_t offset = 0;
  PdfDiccionario* stm = s.parser.FindInObjectStream(3, 5, 1, &index, &offset);
  ASSERT_TRUE(stm->stream_decoded);
  EXPECT_FALSE(s.parser.ReleaseValuesFrom(before));
  EXPECT_EQ(s.parser.BuscarObjetoEnCache(3, 0), stm);
  EXPECT_TRUE(stm->stream_decoded);
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
  PdfFileWriter w;
  const std::string out = Rewrite(w, b.Finish(b.XRefStreamOf(12, {FreeAt(0, 65535), InStm(1, 10, 0), InStm(4, 11, 0), InStm(3, 10, 1),
                                                                  InUse(7), InStm(6, 11, 1), InStm(5, 10, 2), InUse(10), InUse(11)},
                                                             "/Root 1 0 R")));
  const WrittenXRef x = ReadXRef(out);
  const std::array<uint64_t, 3> members[] = {{1, 10, 0}, {3, 10, 1}, {5, 10, 2}, {4, 11, 0}, {6, 11, 1}};
  for (const auto& m : members) EXPECT_EQ((x.entries.count(m[0]) ? x.entries.at(m[0]) : std::array<uint64_t, 3>{}), (std::array<uint64_t, 3>{2, m[1], m[2]})) << m[0];
  EXPECT_EQ(ObjectBody(out, x, 7), "<<\n/Length 6 0 R \n>>\nstream\n123456789\nendstream\n");
}

// Each object stream's dictionary goes with its last member: nothing of the
// object streams stays once their members are listed.
TEST(ValueRelease, ObjectStreamsGoAfterTheirLastMember) {
  PdfBuilder b;
  std::vector<Entry> entries{FreeAt(0, 65535), InUse(1)};
  b.Obj(1, "<< /Type /Catalog >>");
  for (int64_t k = 0, number = 2; k < 50; ++k) {
    std::vector<std::pair<int64_t, std::string>> objects;
    for (uint32_t i = 0; i < 20; ++i, ++number) {
      objects.emplace_back(number, "<< /A [1 2 3] /B (text) /C << /D 4 0 R >> >>");
      entries.push_back(InStm(number, 5000 + k, i));
    }
    b.ObjStm(5000 + k, objects);
    entries.push_back(InUse(5000 + k));
  }
  PdfFileWriter w;
  const std::string out = Rewrite(w, b.Finish(b.XRefStreamOf(6000, entries, "/Root 1 0 R")));
  // What stays is the input's cross-reference stream dictionary (two /Index
  // numbers per entry); each object stream dictionary has about 12 values.
  EXPECT_LT(w.valueList.size(), 2 * entries.size() + 50);
  EXPECT_LT(w.cache_objetos.size(), 10u);
  EXPECT_EQ(ReadXRef(out).entries.at(1001), (std::array<uint64_t, 3>{2, 5049, 19}));
}

}  // namespace
