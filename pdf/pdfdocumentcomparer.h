#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class PdfFileParser;
class PdfValue;

// Compares two parsed files object by object: every object of the
// expected document (its Encrypt dictionary left out) must be in the
// actual one under the same number and generation, with equal values
// (strings by their bytes, literal or hexadecimal alike; references by
// their text; no value the same as null) and equal stream bytes as stored,
// decrypted where the file is encrypted. /Length may differ, and the
// catalog may gain /Extensions (the AES-256 writer declares its extension
// level there). The first difference throws
// "PdfDocumentComparer:object N G differs".
//
// Both sides write the canonical form of each object (stream data by their
// MD5 digest), a few thousand objects at a time, on two threads when a
// thread can be had (the parsers share nothing); the forms are then
// compared in order.
class PdfDocumentComparer {
 public:
  static void Compare(PdfFileParser& expected, PdfFileParser& actual);

 private:
  using Objects = std::vector<std::pair<int64_t, int64_t>>;  // number, generation
  // The forms of objects[begin, end).
  static void Forms(PdfFileParser& parser, const Objects& objects, size_t begin, size_t end, int64_t catalog,
                    std::vector<std::string>* out);
  static void Canonical(PdfFileParser& parser, PdfValue* v, bool catalog, std::string* out);
};
