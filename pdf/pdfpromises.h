#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

class PdfDiccionario;
class PdfFileParser;

// What a document promises that rewriting it breaks: the signatures over its
// bytes, a certification (/Perms /DocMDP), usage rights (/Perms /UR3), and the
// PDF/A or PDF/UA conformance its XMP metadata declares (an encrypted file is
// neither). Read from the catalog, the form, /Perms and the metadata alone,
// so that a writer can say what it would break before writing anything.
//
// Damaged or hostile structure never fails the reading: what cannot be read
// is not counted. The walk of the form is bounded (depth, fields, loops).
class PdfPromises {
 public:
  struct Signature {
    std::string field;  // the field's full name, UTF-8 ("Approval.Manager")
    std::string date;   // when it was signed, as the signature says ("2024-05-01 10:30:00 +02:00"); may be empty
  };

  // Reads the document open in parser (after Parse, and after its password).
  // The object numbers of the signature dictionaries the fields name are
  // handed to parser first, so that their /Contents is never decrypted.
  static PdfPromises Read(PdfFileParser& parser);

  // Whether d is a signature dictionary by its own entries: /Type /Sig or
  // /DocTimeStamp, or no /Type and /ByteRange, /Contents and a /Filter name.
  static bool IsSignatureDictionary(PdfDiccionario* d);
  // Whether bytes are what a signature's /Contents holds: one DER SEQUENCE,
  // followed by zeros at most, or zeros alone (a field not yet signed).
  static bool HoldsSignatureBytes(const std::string& bytes);

  bool Signed() const { return !signatures.empty() || certification != 0 || usage_rights; }
  // "2 signatures, certified, usage rights": what encrypting invalidates.
  std::string BrokenByRewriting() const;

  std::vector<Signature> signatures;  // signature fields that hold a value
  int certification = 0;              // DocMDP's /P: 1 no changes, 2 forms, 3 annotations; 0 none
  bool usage_rights = false;
  std::string pdfa;   // "PDF/A-2b", empty when not declared
  std::string pdfua;  // "PDF/UA-1", empty when not declared
};
