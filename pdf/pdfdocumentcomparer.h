#pragma once
#include <array>
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
// decrypted where the file is encrypted (a stream's own crypt filter, undone
// so, counts for nothing). /Length may differ, and the catalog may gain
// /Extensions (the AES-256 writer declares its extension level there). The
// first difference throws "PdfDocumentComparer:object N G differs".
//
// Each object is reduced to the 128-bit XXH3 digest of its canonical form
// (stream data by their own digest): a check of our own output against
// faults of ours, not a defence against forgery, wants a digest whose
// collisions are as rare as MD5's by chance, and XXH3 costs a fifteenth of
// MD5 here. A writer may record the digests of the objects it writes
// (Record), so that only the objects it did not read (those left inside
// object streams) are read from the expected file again. The actual file's
// digests are made on a second thread when one can be had (the parsers
// share nothing), a few thousand objects at a time; given two readings of
// it, both threads share them.
class PdfDocumentComparer {
 public:
  using Digest = std::array<uint8_t, 16>;
  // Digests recorded by object number.
  class Known {
   public:
    void Record(PdfFileParser& parser, int64_t number, PdfValue* v);
    const Digest* Find(int64_t number);

   private:
    std::vector<std::pair<int64_t, Digest>> digests_;
    size_t sorted_ = 0;     // digests_[0, sorted_) are in order
    size_t next_ = 0;       // after the one found last
    int64_t catalog_ = -2;  // not looked up yet
  };

  // actual_too: a second reading of the actual file (another parser of
  // it), so that two threads share its objects; null: one reads them all.
  static void Compare(PdfFileParser& expected, PdfFileParser& actual, Known* known = nullptr,
                      PdfFileParser* actual_too = nullptr);

 private:
  using Objects = std::vector<std::pair<int64_t, int64_t>>;  // number, generation
  static int64_t CatalogNumber(PdfFileParser& parser);
  static Digest DigestOf(PdfFileParser& parser, PdfValue* v, bool catalog);
  // The digests of objects[begin, end).
  static void Digests(PdfFileParser& parser, const Objects& objects, size_t begin, size_t end, int64_t catalog,
                      Known* known, Digest* out);
};
