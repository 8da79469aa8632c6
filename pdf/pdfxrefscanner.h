#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class PdfStream;

// One pass over a whole file for what rebuilding damaged cross-reference
// data needs: every "N G obj" header, every "trailer" keyword, and which
// objects name /XRef, /ObjStm, /Catalog, /Pages or /Standard (candidates only: the reader
// checks each by parsing it). The file is read in large chunks and each byte
// is looked at once, so the scan runs at the speed of the disk.
//
// A header counts when "obj" stands alone (a delimiter or white space after
// it) and is preceded by two runs of digits, each preceded by white space,
// the first by white space, a delimiter or the start of the file; numbers
// beyond the reader's limits are ignored.
class PdfXRefScanner {
 public:
  struct Object {
    int64_t number = 0;
    int64_t generation = 0;
    int64_t offset = 0;  // of the object number's first digit
  };
  struct Result {
    int64_t header = -1;               // offset of the first "%PDF-"; -1: none
    std::vector<Object> objects;       // in file order
    std::vector<int64_t> trailers;     // offsets just after each "trailer"
    std::vector<size_t> xref_streams;  // indices into objects
    std::vector<size_t> object_streams;
    std::vector<size_t> catalogs;
    std::vector<size_t> page_trees;         // naming /Pages: page tree nodes, and catalogs
    std::vector<size_t> security_handlers;  // naming /Standard: Encrypt dictionaries, perhaps
  };

  // Scans size bytes of s from its start. More than max_objects headers (or
  // trailers) fail with "PdfXRefScanner::Scan:limit".
  static Result Scan(PdfStream& s, int64_t size, size_t max_objects);
};
