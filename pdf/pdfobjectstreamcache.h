#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

class PdfDiccionario;
class PdfFileParser;

// The object streams of one reader: each decoded once and kept while the
// decoded ones together stay within pdflimits::kMaxKeptObjectStreamBytes,
// with their headers (object number and offset of each member) parsed once.
// A damaged header is read as well as it can be when the reader repairs.
class PdfObjectStreamCache {
 public:
  // Byte offsets of object-stream entries, parsed once per object stream.
  struct Header {
    std::vector<std::pair<int64_t, int64_t>> pairs;  // (object number, offset)
    int64_t first = 0;
    bool parsed = false;
  };

  explicit PdfObjectStreamCache(PdfFileParser& parser) : parser_(parser) {}

  // Where object number lies in object stream objstm_number (see
  // PdfFileParser::FindInObjectStream).
  PdfDiccionario* Find(int64_t objstm_number, int64_t number, int32_t index, int32_t* found_index,
                       int64_t* value_offset);
  // Decodes object stream objstm_number (once) and parses its header.
  const Header& ObjectStreamHeader(int64_t objstm_number, PdfDiccionario** decoded);
  // Repairing, reads the header of object stream number unless it was read.
  void ReadHeaderFirst(int64_t number);
  // Releases the decoded data of an object stream that is no longer needed.
  void Release(int64_t objstm_number);
  // Whether the members of object stream number are to be written as
  // objects of their own (see PdfFileParser::Unpacked).
  bool Unpacked(int64_t number) const { return unpacked_.count(number) != 0; }
  // Forgets the object stream Find used last, whose dictionary may have
  // been released.
  void ForgetLast() { last_objstm_number_ = -1; }
  // Forgets the headers parsed (the streams stay decoded until released).
  void ForgetHeaders() {
    headers_.clear();
    last_objstm_number_ = -1;
  }
  // Forgets everything: the values it points at are gone.
  void Clear();

 private:
  // Reads the header of a decoded object stream whose /First cuts it short.
  void RepairObjectStreamHeader(int64_t objstm_number, PdfDiccionario* stm, int64_t n, Header* header);
  // The member lookup of Find, once the object stream is decoded and its
  // header parsed.
  PdfDiccionario* FindInHeader(PdfDiccionario* stm, const Header& header, int64_t number, int32_t index,
                               int32_t* found_index, int64_t* value_offset);
  // Records an object stream just decoded and releases the oldest others
  // while those kept hold more than pdflimits::kMaxKeptObjectStreamBytes.
  void KeepDecoded(int64_t objstm_number, size_t bytes);

  PdfFileParser& parser_;
  std::unordered_map<int64_t, Header> headers_;
  // The object stream Find used last (-1: none); forgotten whenever values
  // are released.
  int64_t last_objstm_number_ = -1;
  PdfDiccionario* last_objstm_ = nullptr;
  Header* last_objstm_header_ = nullptr;
  // Object streams decoded, oldest first, with their decoded sizes.
  std::deque<std::pair<int64_t, size_t>> decoded_objstms_;
  size_t decoded_objstm_bytes_ = 0;
  std::unordered_set<int64_t> unpacked_;  // object streams whose members are written whole
};
