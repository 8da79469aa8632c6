#include "pdf/pdfpromises.h"

#include "pdfbuilder.h"

using namespace pdftest;

namespace {

// Object 1 the catalog, the bodies as objects 2, 3, ...
PdfPromises PromisesOf(const std::string& catalog, const std::vector<std::string>& bodies) {
  PdfBuilder b("%PDF-1.7\n");
  std::vector<Entry> entries{FreeAt(0, 65535), InUse(1)};
  b.Obj(1, "<< /Type /Catalog " + catalog + " >>");
  for (size_t i = 0; i < bodies.size(); ++i) {
    const auto n = static_cast<int64_t>(i + 2);
    if (bodies[i].compare(0, 4, "xmp:") == 0)
      b.Stream(n, "/Type /Metadata /Subtype /XML", bodies[i].substr(4));
    else
      b.Obj(n, bodies[i]);
    entries.push_back(InUse(n));
  }
  Doc doc(b.Finish(b.Table(entries, "/Size " + std::to_string(bodies.size() + 2) + " /Root 1 0 R")));
  EXPECT_EQ(doc.Parse(), "");
  return PdfPromises::Read(doc.parser);
}

// What a document promises, in one line: what a rewrite breaks | the signatures (field@date) | claims.
std::string Summary(const PdfPromises& p) {
  std::string line = p.BrokenByRewriting() + " |";
  for (const auto& s : p.signatures) line += " " + s.field + "@" + s.date;
  return line + " | " + std::to_string(p.certification) + " " + p.pdfa + " " + p.pdfua;
}

TEST(PdfPromises, WhatADocumentPromises) {
  const std::string sig = "<< /Type /Sig /Filter /Adobe.PPKLite /ByteRange [0 1 2 3] /Contents <3000> ";
  struct {
    const char* catalog;
    std::vector<std::string> bodies;
    const char* summary;
  } cases[] = {
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
       {"xmp:<rdf:Description pdfaid:part=\"2\" pdfaid:conformance='B'/><pdfuaid:part>1</pdfuaid:part>"},
       " | | 0 PDF/A-2b PDF/UA-1"},
      {"/Metadata 2 0 R", {"xmp:<pdfaid:part>two</pdfaid:part>"}, " | | 0  "},
  };
  for (const auto& c : cases) EXPECT_EQ(Summary(PromisesOf(c.catalog, c.bodies)), c.summary);
}

TEST(PdfPromises, SignatureBytes) {
  struct {
    const char* hex;
    bool holds;
  } cases[] = {
      {"3003020101", true},          // a SEQUENCE of one INTEGER
      {"300302010100000000", true},  // padded with zeros, as signers reserve room
      {"0000", true},                // a field's room, not yet signed
      {"30820003020101", true},      // a long-form length
      {"3004020101", false},         // a length past the end
      {"3003020101FF", false},       // junk after it
      {"3080020101", false},         // indefinite length: BER
      {"19998dbe", false},           // what an encrypting writer left
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(PdfPromises::HoldsSignatureBytes(Unhex(c.hex)), c.holds) << c.hex;
}

}  // namespace
