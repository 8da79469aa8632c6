#pragma once
#include <cstdint>
#include <string>
#include <vector>

class PdfFileParser;
class PdfValue;

// Compares two parsed files object by object: every object of the
// expected document (its Encrypt dictionary left out) must be in the
// actual one under the same number and generation, with equal values
// (strings by their bytes, literal or hexadecimal alike; references by
// their text) and equal stream bytes as stored, decrypted where the file is
// encrypted. /Length may differ, and the catalog may gain /Extensions (the
// AES-256 writer declares its extension level there). The first difference
// throws "PdfDocumentComparer:object N G differs".
class PdfDocumentComparer {
 public:
  static void Compare(PdfFileParser& expected, PdfFileParser& actual);

 private:
  static bool SameValue(PdfValue* a, PdfValue* b, bool catalog);
  static bool SameStreamData(PdfFileParser& expected, PdfValue* a, PdfFileParser& actual, PdfValue* b);
  static void StoredData(PdfFileParser& parser, PdfValue* stream, std::vector<uint8_t>* out);
};
