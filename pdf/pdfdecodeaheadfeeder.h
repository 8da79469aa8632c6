#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/pdfdecodeahead.h"

class PdfDiccionario;
class PdfFileParser;

// Hands a reader's object streams to a PdfDecodeAhead thread in the order
// the writer will need them, and gives the reader their decoded data back.
// Nothing read changes: any fault is left for the reader's own decoding.
class PdfDecodeAheadFeeder {
 public:
  explicit PdfDecodeAheadFeeder(PdfFileParser& parser) : parser_(parser) {}

  // See PdfFileParser::DecodeObjectStreamsAhead.
  void Start(std::vector<int64_t> order);
  // Reads the stored data of the next object streams of the order and
  // hands them to the thread, while it has room. Only Flate-encoded ones
  // with a direct length.
  void Feed();
  // See PdfFileParser::TakeDecodedAhead.
  bool Take(PdfDiccionario* d, int64_t offset, int64_t length, std::vector<uint8_t>& out);
  // Ends the thread and forgets the order.
  void Stop() { decode_ahead_.reset(); }

 private:
  void Submit(int64_t objstm_number);

  PdfFileParser& parser_;
  std::unique_ptr<PdfDecodeAhead> decode_ahead_;
  std::vector<int64_t> ahead_order_;
  size_t ahead_next_ = 0;  // next in ahead_order_ to submit
  bool feeding_ = false;
};
