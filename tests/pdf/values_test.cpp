#include <gtest/gtest.h>

#include <string>

#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdfkeyvaluepair.h"
#include "tests/pdfbuilder.h"

namespace {

using pdftest::Doc;
using pdftest::ErrorOf;
using pdftest::PdfBuilder;

PdfKeyValuePair* Pair(PdfFileParser& p, const std::string& key, PdfValue* value) {
  PdfKeyValuePair* pair = p.NewPair();
  pair->key = key;
  pair->InsertValue(value);
  return pair;
}

TEST(Values, DictionaryKeepsKeyOrderAndFirstDuplicate) {
  PdfFileParser p;
  PdfDiccionario* d = p.NewDictionary();
  // Inserted out of order, with a repeated key and a key that sorts by bytes.
  for (const char* key : {"/Type", "/Contents", "/MediaBox", "/Contents", "/B", "/a"}) {
    d->InsertValue(Pair(p, key, p.NewSimple(NATIVE_NAME, std::string(key) + "-value")));
  }
  const char* order[] = {"/B", "/Contents", "/MediaBox", "/Type", "/a"};
  ASSERT_EQ(d->GetSize(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(d->GetKey(i), order[i]);
    EXPECT_EQ(d->GetValue(i, false)->text, std::string(order[i]) + "-value");
  }
  // The second /Contents was dropped: a different value object with the same
  // text would not show it, so check by identity.
  PdfValue* later = p.NewSimple(NATIVE_NUMBER, "2");
  d->InsertValue(Pair(p, "/Contents", later));
  EXPECT_NE(d->GetValue("/Contents", false), later);
  EXPECT_EQ(d->GetSize(), 5);
}

TEST(Values, OutOfRangeAndWrongInserts) {
  PdfFileParser p;
  PdfDiccionario* d = p.NewDictionary();
  PdfArray* a = p.NewArray();
  for (const char* t : {"1", "2", "3"}) a->InsertValue(p.NewSimple(NATIVE_NUMBER, t));
  const std::string dict_range = "PdfDiccionario::GetValue. Out of range index.";
  const std::string array_range = "PdfArray::GetValue. Out of range index.";
  EXPECT_EQ(ErrorOf([&] { d->GetKey(0); }), dict_range) << "empty dictionary";
  EXPECT_EQ(ErrorOf([&] { d->GetValue(int64_t{0}, false); }), dict_range);
  EXPECT_EQ(ErrorOf([&] { a->GetValue(3, false); }), array_range);
  EXPECT_EQ(ErrorOf([&] { a->GetValue(-1, false); }), array_range);
  EXPECT_EQ(a->GetValue(2, false)->text, "3");
  EXPECT_EQ(ErrorOf([&] { d->InsertValue(p.NewSimple(NATIVE_NUMBER, "1")); }), "PdfDiccionario::InsertValue:no PdfKeyValuePair");
  EXPECT_EQ(ErrorOf([&] { d->InsertValue(nullptr); }), "PdfDiccionario::InsertValue:no PdfKeyValuePair");
  EXPECT_EQ(ErrorOf([&] { p.NuevoValue("PdfStream"); }), "PdfFileParser::NuevoValue:new");
}

TEST(Values, NullAndResolution) {
  PdfBuilder b;
  b.Obj(1, "<</Annots null /Title (null) /Name /null /Ref 4 0 R /Gone 9 0 R /Arr [4 0 R]>>");
  b.Obj(4, "<</Four 4>>");
  Doc doc(b.Finish(b.Classic({{0, {pdftest::Free(), b.At(1)}}, {4, {b.At(4)}}}, "/Size 5")));
  ASSERT_EQ(doc.Parse(), "");
  auto* d = static_cast<PdfDiccionario*>(doc.Get("1 0 R"));

  // The keyword null counts as absent by key, but stays visible by index.
  EXPECT_EQ(d->GetValue("/Annots", false), nullptr);
  EXPECT_EQ(d->GetValue("/Annots", true), nullptr);
  EXPECT_EQ(d->GetKey(0), "/Annots");
  EXPECT_EQ(d->GetValue(int64_t{0}, false)->text, "null");
  // A string or a name that reads "null" is a value like any other.
  ASSERT_NE(d->GetValue("/Title", false), nullptr);
  EXPECT_EQ(d->GetValue("/Title", false)->native_type, NATIVE_STRING);
  ASSERT_NE(d->GetValue("/Name", false), nullptr);

  PdfValue* four = doc.Get("4 0 R");
  EXPECT_EQ(d->GetValue("/Ref", true), four) << "resolved through the parser";
  EXPECT_EQ(d->GetValue("/Ref", false)->text, "4 0 R");
  EXPECT_EQ(d->GetValue("/Ref", false)->native_type, NATIVE_REFERENCE);
  auto* arr = static_cast<PdfArray*>(d->GetValue("/Arr", false));
  EXPECT_EQ(arr->GetValue(0, true), four);
  EXPECT_EQ(arr->GetValue(0, false)->text, "4 0 R");
  EXPECT_EQ(ErrorOf([&] { d->GetValue("/Gone", true); }), "PdfFileParser::OffsetObjeto:No offset");
  EXPECT_EQ(d->GetValue("/Gone", false)->text, "9 0 R");
}

}  // namespace
