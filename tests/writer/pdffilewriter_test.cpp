// The plain writer: values, streams, sections and object streams as written.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "base/kelvraruntimeerror.h"
#include "pdf/pdfdiccionario.h"
#include "tests/pdfbuilder.h"
#include "writer/pdffilewriter.h"

namespace {

using namespace pdftest;

struct Row {
  std::string input, expected;  // the body of an object as read, its bytes as written up to "endobj"
  const char* what;
};

// Writes bodies as objects 2, 3, ... of a small document and gives the written body of object n.
std::string WrittenBody(const std::vector<std::string>& bodies, int64_t n = 2) {
  PdfFileWriter w;
  const std::string out = Rewrite(w, SimpleDocument(bodies));
  return ObjectBody(out, ReadXRef(out), n);
}

TEST(PdfFileWriter, SerializesValuesByteExact) {
  const Row rows[] = {
      {"(a\\(b\\)\\\\)", "(a\\(b\\)\\\\) ", "parentheses and backslash are escaped again"},
      {"(a\nb\\053)", "(a\\nb+) ", "raw line end escaped, octal escape resolved"},
      {"(\xFE\xFF\\000A\\000B)", std::string("(\xFE\xFF\0A\0B) ", 9), "UTF-16 text is written as the bytes read"},
      {"<48656C6C6F>", "(Hello) ", "hex string becomes a literal of its bytes"},
      {"<414>", "(A@) ", "odd last hex digit is padded with 0"},
      {"<4G1>", "(A) ", "a non-hex character is skipped, not read as 0"},
      {"/A#20B", "/A#20B ", "space in a name"},
      {"/\xE9\xFF", "/#E9#FF ", "high bytes in a name, without sign extension"},
      {"[1 [2] (x) /N 3 0 R]", " [ 1  [ 2 ] (x) /N 3 0 R ] ", "each element followed by one space"},
      {"<< /b 3 /B 2 /A 1 >>", "<<\n/A 1 \n/B 2 \n/b 3 \n>>\n", "keys in byte order"},
      {"<< /D << /X 1 >> >>", "<<\n/D <<\n/X 1 \n>>\n\n>>\n", "nested dictionary followed by an empty line"},
      {"-3.50", "-3.50 ", "numbers keep their text"},
      {"", "null ", "an empty body is written as null"},
  };
  for (const Row& row : rows) EXPECT_EQ(WrittenBody({row.input}), row.expected) << row.what;
}

// Streams are copied as stored; a wrong /Length is replaced by the length of the data up to "endstream".
TEST(PdfFileWriter, StreamLength) {
  const std::string data = "q 1 0 0 1 0 0 cm Q";  // 18 bytes
  const std::string written = "stream\n" + data + "\nendstream\n";
  const struct {
    std::string length, extra_object, expected_length;
    const char* what;
  } rows[] = {
      {"18", "", "18 ", "right length kept"},
      {"5", "", "18 ", "too short"},
      {"18.0", "", "18 ", "right, but no whole number"},
      {"3 0 R", "18", "3 0 R ", "right indirect length kept as a reference"},
      {"3 0 R", "7", "18 ", "wrong indirect length written as a number"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> bodies{"<< /Length " + row.length + " >>\nstream\n" + data + "\nendstream"};
    if (!row.extra_object.empty()) bodies.push_back(row.extra_object);
    EXPECT_EQ(WrittenBody(bodies), "<<\n/Length " + row.expected_length + "\n>>\n" + written) << row.what;
  }
  // CR LF before "endstream" still confirms /Length; an empty stream.
  const std::vector<std::string> bodies{"<< /Length 3 >>\nstream\r\nabc\r\nendstream",
                                        "<< /Length 0 >>\nstream\n\nendstream"};
  EXPECT_EQ(WrittenBody(bodies, 2), "<<\n/Length 3 \n>>\nstream\nabc\nendstream\n");
  EXPECT_EQ(WrittenBody(bodies, 3), "<<\n/Length 0 \n>>\nstream\n\nendstream\n");
  // Large data is copied in chunks; with a wrong /Length, "endstream" is also found across the chunk boundaries.
  for (size_t size : {65536u, 65537u, 200001u}) {
    std::string big(size, '\0');
    for (size_t i = 0; i < size; ++i) big[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    for (const std::string& length : {std::to_string(size), std::string("5")})
      EXPECT_TRUE(WrittenBody({"<< /Length " + length + " >>\nstream\n" + big + "\nendstream"}) ==
                  "<<\n/Length " + std::to_string(size) + " \n>>\nstream\n" + big + "\nendstream\n")
          << size << " bytes, /Length " << length;
  }
}

// An update replaces 2, adds 4, deletes 5 and reuses 6; 7 and 8 have no object, 9 a large generation, 10 is free.
TEST(PdfFileWriter, DeletionByUpdateGapsAndGenerations) {
  PdfBuilder b;
  b.Obj(1, "<< /Type /Catalog >>");
  b.Obj(2, "(old)");
  b.Obj(3, "<< /Title (t) >>");
  b.Obj(5, "(deleted)");
  b.Obj(6, "(reused, old)");
  b.Obj(9, "(nine)", 300);
  const int64_t first =
      b.Table({FreeAt(0, 65535), InUse(1), InUse(2), InUse(3), InUse(5), InUse(6), InUse(9, 300), FreeAt(10, 65535)},
              "/Size 11 /Root 1 0 R /Info 3 0 R");
  b.Finish(first);
  b.Obj(2, "(new)");
  b.Obj(4, "(added)");
  b.Obj(6, "(reused, new)", 1);
  PdfFileWriter w;
  const std::string out = Rewrite(w, b.Finish(b.Table({InUse(2), InUse(4), FreeAt(5, 1), InUse(6, 1)},
                                                      "/Size 11 /Root 1 0 R /Prev " + std::to_string(first))));
  const WrittenXRef x = ReadXRef(out);
  EXPECT_EQ(x.Line("/Index") + " /Size " + x.Line("/Size") + " /W " + x.Line("/W"), "[0 7 9 3] /Size 12 /W [1 4 2]");
  EXPECT_EQ(ObjectBody(out, x, 2) + ObjectBody(out, x, 4) + ObjectBody(out, x, 6) + ObjectBody(out, x, 9),
            "(new) (added) (reused, new) (nine) ");
  const std::array<uint64_t, 3> entries[] = {
      {0, 0, 0}, {5, 0, 1}, {6, 1, 1}, {10, 0, 65535}, {11, 1, 0}};  // number, type, generation
  for (const auto& e : entries)
    EXPECT_EQ(x.entries.at(e[0])[0] * 100000 + x.entries.at(e[0])[2], e[1] * 100000 + e[2]) << e[0];
  EXPECT_EQ(x.entries.at(11)[1], static_cast<uint64_t>(x.start)) << "11 is this stream, at startxref";
  for (const char* gone : {"(old)", "(deleted)", "(reused, old)"}) EXPECT_EQ(out.find(gone), std::string::npos) << gone;
  EXPECT_EQ(x.Line("/Info") + x.Line("/Prev"), "3 0 R") << "/Info of the older trailer carried over, no /Prev";
}

// A hybrid file whose /XRefStm gives object 4 a wrong index in object stream 3; the output reads back.
TEST(PdfFileWriter, HybridInputWithObjectStream) {
  PdfBuilder b;
  b.Obj(1, "<< /Type /Catalog /A 4 0 R /B 5 0 R >>");
  b.Obj(2, "<< /Title (info) >>");
  b.ObjStm(3, {{5, "(five)"}, {4, "<< /Four 4 >>"}});
  const int64_t xs = b.XRefStreamOf(7, {InStm(4, 3, 0), InStm(5, 3, 0), FreeAt(6, 1)}, "");
  PdfFileWriter w;
  const std::string out =
      Rewrite(w, b.Finish(b.Table({FreeAt(0, 65535), InUse(1), InUse(2), InUse(3)},
                                  "/Size 8 /Root 1 0 R /Info 2 0 R /XRefStm " + std::to_string(xs))));
  const WrittenXRef x = ReadXRef(out);
  EXPECT_EQ(x.Line("/Index"), "[0 6 7 2]");
  EXPECT_EQ(x.entries.at(4), (std::array<uint64_t, 3>{2, 3, 1})) << "index as the object stream lists it";
  EXPECT_EQ(x.entries.at(5), (std::array<uint64_t, 3>{2, 3, 0}));
  EXPECT_EQ(x.entries.at(7), (std::array<uint64_t, 3>{0, 7, 0})) << "input cross-reference stream is free";
  EXPECT_EQ(out.find("\n4 0 obj"), std::string::npos) << "compressed objects stay in their stream";
  Doc d(out);
  ASSERT_EQ(d.Parse(), "");
  EXPECT_EQ(static_cast<PdfDiccionario*>(d.Get("4 0 R"))->GetValue("/Four", false)->text, "4");
}

// An object stream holding fewer objects than its /N says: repairing, its members are written as plain objects.
TEST(PdfFileWriter, ObjectStreamShorterThanItsN) {
  PdfBuilder b;
  b.Obj(1, "<< /Type /Catalog /Pages << /Count 0 >> /A 4 0 R /B 5 0 R >>");
  b.ObjStm(3, {{5, "(five)"}, {4, "<< /Four 4 >>"}});
  const int64_t xs = b.XRefStreamOf(7, {InStm(4, 3, 1), InStm(5, 3, 0)}, "");
  std::string in = b.Finish(b.Table({FreeAt(0, 65535), InUse(1), FreeAt(2, 0), InUse(3)},
                                    "/Size 8 /Root 1 0 R /XRefStm " + std::to_string(xs)));
  in.replace(in.find("/N 2"), 4, "/N 3");
  PdfFileWriter w;
  w.SetRepair(true);
  std::string out;
  ASSERT_EQ(ErrorOf([&] { out = Rewrite(w, in); }), "");
  EXPECT_NE(out.find("\n4 0 obj"), std::string::npos);
  EXPECT_NE(out.find("\n5 0 obj"), std::string::npos);
  EXPECT_EQ(out.find("/ObjStm"), std::string::npos) << "the object stream is left out";
  EXPECT_NE(w.RepairReport().rebuilt.back().find("the 2 objects of object stream 3 (whose /N says 3)"),
            std::string::npos);
}

TEST(PdfFileWriter, Failures) {
  std::string no_root = SimpleDocument({"(x)"});
  no_root.replace(no_root.find("/Root 1 0 R"), 11, "/Kind 1 0 R");
  const struct {
    std::string input, message;
    bool nothing_written;
  } rows[] = {
      {"%!PS-Adobe\n" + SimpleDocument({}).substr(9), "No es archivo pdf.", true},
      {no_root, "PdfFileWriter::WriteDocumentEnd:no /Root", false},
      {SimpleDocument({"<< /Length 50 >>\nstream\nabc\nendstrea"}), "PdfFileParser::StreamExtent:no endstream", false},
  };
  for (const auto& row : rows) {
    PdfFileWriter w;
    PdfMemoryStream in(row.input.data(), row.input.size());
    std::ostringstream out;
    EXPECT_EQ(ErrorOf([&] { w.WriteDocument(in, out); }), row.message);
    EXPECT_TRUE(!row.nothing_written || out.str().empty()) << row.message;
  }
}

// 40 object streams, inflated ahead on a second thread and needed out of order; one unfiltered, or one damaged.
TEST(PdfFileWriter, ManyObjectStreams) {
  for (const int damaged : {-1, 23}) {
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog >>");
    std::vector<Entry> rows{FreeAt(0, 65535), InUse(1)}, compressed;
    for (int k = 39; k >= 0; --k) {
      std::vector<std::pair<int64_t, std::string>> members;
      for (int i = 9; i >= 0; --i) members.push_back({1000 + 10 * k + i, "(member " + std::to_string(i) + ")"});
      b.ObjStm(100 + k, members, k == damaged ? " /Filter/FlateDecode" : "", k != 7 && k != damaged);
    }
    for (int k = 0; k < 40; ++k) rows.push_back(InUse(100 + k));
    for (int k = 0; k < 40; ++k)
      for (int i = 0; i < 10; ++i)
        compressed.push_back(InStm(1000 + 10 * k + i, 100 + k, static_cast<uint32_t>(9 - i)));
    const int64_t xs = b.XRefStreamOf(2000, compressed, "");
    const std::string input = b.Finish(b.Table(rows, "/Size 2001 /Root 1 0 R /XRefStm " + std::to_string(xs)));
    PdfFileWriter w;
    std::string out;
    EXPECT_EQ(ErrorOf([&] { out = Rewrite(w, input); }), damaged < 0 ? "" : "PdfDeflateStreamFilter::Filter");
    if (damaged >= 0) continue;
    const WrittenXRef x = ReadXRef(out);
    for (int k = 0; k < 40; ++k)
      for (uint64_t i = 0; i < 10; ++i)
        ASSERT_EQ(x.entries.at(1000 + 10 * k + i), (std::array<uint64_t, 3>{2, 100u + k, 9 - i})) << k << " " << i;
  }
}

TEST(HostileInput, EntriesWithoutValueAndStreamDataBeyondTheInput) {
  // Entries without a value are written as null.
  for (const std::string body : {"<< /A ] /C 1 >>", "<< /B endobj /C 1 >>"}) {
    PdfFileWriter w;
    const std::string out = Rewrite(w, SimpleDocument({body}));
    EXPECT_TRUE(out.find(" null \n/C 1 ") != std::string::npos) << body;
  }
  // Streams with a wrong /Length whose data each runs to the one "endstream" at the end.
  std::vector<std::string> bodies(40, "<< /Length 1 >>\nstream\n" + std::string(200, 'x'));
  bodies.back() += "\nendstream";
  PdfFileWriter w;
  EXPECT_EQ(ErrorOf([&] { Rewrite(w, SimpleDocument(bodies)); }), "PdfFileWriter::WriteDictionary:stream data limit");
  // One such stream over a few small objects stays within the input's size: written with the data copied.
  PdfFileWriter ok;
  EXPECT_NE(Rewrite(ok, SimpleDocument({"<< /Length 1 >>\nstream\nabc", "(small)", "(end)\nendstream"}))
                .find("stream\nabc\nendobj"),
            std::string::npos);
}

}  // namespace
