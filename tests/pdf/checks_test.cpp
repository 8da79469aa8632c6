// What --verify compares, the error texts, what a document promises, and object streams inflated ahead of need.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "pdf/pdfdecodeahead.h"
#include "pdf/pdfdocumentcomparer.h"
#include "pdf/pdfpromises.h"
#include "api/pdferrorreport.h"
#include "tests/pdfbuilder.h"

namespace {

using namespace pdftest;

// Against the original read again, and against digests recorded as the writer does (here in reverse order).
TEST(DocumentComparer, FirstDifferenceFails) {
  const std::string base = "<< /Type /Catalog /S (ab) /N 1 >>", differs1 = "PdfDocumentComparer:object 1 0 differs";
  const std::string differs2 = "PdfDocumentComparer:object 2 0 differs";
  const std::array<std::string, 4> rows[] = {
      {base, base, "abc", ""},
      {base, "<< /Type /Catalog /S <6162> /N 1 >>", "abc", ""},                          // a string is its bytes
      {base, "<< /Type /Catalog /S (ab) /N 1 /Extensions << /ADBE 1 >> >>", "abc", ""},  // the catalog may gain it
      {base, "<< /N 1 /S (ab) /Type /Catalog >>", "abc", ""},                            // key order
      {base, "<< /Type /Catalog /S (ac) /N 1 >>", "abc", differs1},
      {base, "<< /Type /Catalog /S (ab) /N 1.0 >>", "abc", differs1},
      {base, "<< /Type /Catalog /S (ab) >>", "abc", differs1},
      {"<< /S [(aS) (c)] >>", "<< /S [(a) (Sc)] >>", "abc", differs1},  // pieces never run together
      {base, base, "abd", differs2},
      {base, base, "-", differs2},  // missing
  };
  auto file = [](const std::string& catalog, const std::string& data) {
    return SimpleDocument(data == "-" ? std::vector<std::string>{} : std::vector{StreamBody("", data)}, catalog);
  };
  for (const auto& [original, written, data, error] : rows) {
    for (bool recorded : {false, true}) {
      Doc expected(file(original, "abc")), actual(file(written, data));
      ASSERT_EQ(expected.Parse() + actual.Parse(), "");
      PdfDocumentComparer::Known known;
      for (int64_t n = 2; recorded && n >= 1; --n) known.Record(expected.parser, n, expected.parser.DameObjeto(n, 0));
      auto compare = [&] { PdfDocumentComparer::Compare(expected.parser, actual.parser, recorded ? &known : nullptr); };
      EXPECT_EQ(ErrorOf(compare), error) << written << " " << data << " " << recorded;
    }
  }
}

TEST(ErrorCatalogue, EachTextOnceWithACodeAndASentence) {
  std::set<std::string> texts;
  for (const ErrorCatalogue::Entry* e : ErrorCatalogue()) {
    // An empty text is made whole at run time; repairing past a limit would read the same data again.
    EXPECT_TRUE(texts.insert(e->text).second || *e->text == '\0') << "twice: " << e->text;
    EXPECT_TRUE(*e->sentence && *PdfErrorReport::CodeName(e->code)) << e->text;
    EXPECT_FALSE(e->code == ErrorCatalogue::Code::kLimitExceeded && e->repairable) << e->text;
  }
}

// Untaken results fill the budget: a later job is still given, not waited for; one let go with jobs queued stops.
TEST(PdfDecodeAhead, UntakenResultsDoNotBlock) {
  const std::string big = Deflate(std::string(size_t{8} << 20, 'a')), small = Deflate("zz");
  const std::vector<uint8_t> eight_mib(big.begin(), big.end()), last(small.begin(), small.end());
  PdfDecodeAhead ahead;
  size_t submitted = 0;
  while (!ahead.Full() && submitted < PdfDecodeAhead::kMaxJobs - 1)
    ahead.Submit(static_cast<int64_t>(++submitted), 0, eight_mib);
  EXPECT_GE(submitted, 4u);
  ahead.Submit(99, 0, last);
  std::vector<uint8_t> out;
  const ErrorCatalogue::Entry* error = nullptr;
  EXPECT_EQ(ahead.Take(99, 0, static_cast<int64_t>(last.size()), &out, &error), PdfDecodeAhead::Outcome::kDecoded);
  EXPECT_EQ(std::string(out.begin(), out.end()), "zz");
  EXPECT_FALSE(ahead.Full());
  PdfDecodeAhead queued;
  for (int n = 1; n <= 8; ++n) queued.Submit(n, 0, eight_mib);
}

// What a document promises, in one line: what a rewrite breaks | the signatures (field@date) | claims.
TEST(PdfPromises, WhatADocumentPromises) {
  const std::string sig = "<< /Type /Sig /Filter /Adobe.PPKLite /ByteRange [0 1 2 3] /Contents <3000> ";
  const std::string xmp = "/Type /Metadata /Subtype /XML";
  const std::tuple<std::string, std::vector<std::string>, std::string> cases[] = {
      // a field in a parent, named in UTF-16, signed at a time with its zone
      {"/AcroForm << /Fields [2 0 R] >>",
       {"<< /T (Approval) /Kids [3 0 R] >>", "<< /FT /Sig /T <FEFF004D00E9> /V 4 0 R /Parent 2 0 R >>",
        sig + "/M (D:20240501103000+02'00') >>"},
       "1 signature | Approval.M\u00e9@2024-05-01 10:30:00 +02:00 | 0  "},
      // an empty signature field, a text field, a loop of kids
      {"/AcroForm << /Fields [2 0 R 3 0 R] >>",
       {"<< /FT /Sig /T (Empty) >>", "<< /FT /Tx /T (Name) /Kids [3 0 R] /V (x) >>"},
       " | | 0  "},
      // certified at level 1, with usage rights
      {"/AcroForm << /Fields [2 0 R] >> /Perms << /DocMDP 3 0 R /UR3 3 0 R >>",
       {"<< /FT /Sig /T (A) /V 3 0 R >>",
        sig + "/Reference [<< /TransformMethod /DocMDP /TransformParams << /P 1 >> >>] >>"},
       "1 signature, a certification and usage rights | A@ | 1  "},
      // claims as an attribute and as an element; one that is no number
      {"/Metadata 2 0 R",
       {StreamBody(xmp, "<rdf:Description pdfaid:part=\"2\" pdfaid:conformance='B'/><pdfuaid:part>1</pdfuaid:part>")},
       " | | 0 PDF/A-2b PDF/UA-1"},
  };
  for (const auto& [catalog, bodies, summary] : cases) {
    Doc doc(SimpleDocument(bodies, "<< /Type /Catalog " + std::string(catalog) + " >>"));
    ASSERT_EQ(doc.Parse(), "");
    const PdfPromises p = PdfPromises::Read(doc.parser);
    std::string line = p.BrokenByRewriting() + " |";
    for (const auto& s : p.signatures) line += " " + s.field + "@" + s.date;
    EXPECT_EQ(line + " | " + std::to_string(p.certification) + " " + p.pdfa + " " + p.pdfua, summary);
  }
}

TEST(PdfPromises, SignatureBytes) {
  const std::pair<const char*, bool> cases[] = {
      {"3003020101", true},   // a SEQUENCE of one INTEGER
      {"0000", true},         // a field's room, not yet signed
      {"3004020101", false},  // a length past the end
      {"3080020101", false},  // indefinite length: BER
      {"19998dbe", false},    // what an encrypting writer left
      {"", false},
  };
  for (const auto& [hex, holds] : cases) EXPECT_EQ(PdfPromises::HoldsSignatureBytes(Unhex(hex)), holds) << hex;
}

}  // namespace
