// The object streams of PdfFileParser: decoded, kept and their headers read.
#include "pdf/pdfobjectstreamcache.h"

#include <string>

#include "base/kelvraruntimeerror.h"
#include "base/pdflimits.h"
#include "base/pdfmemorystream.h"
#include "pdf/pdfcompressedstream.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"

namespace {

// The pairs of an object stream's header when it is plain: nothing but runs
// of digits (none longer than a token may be) and white space, as producers
// write it. Reads them as the token-by-token loop would, up to n pairs, and
// returns true; false, reading nothing, for any other header.
bool ReadPlainHeader(const uint8_t* h, size_t size, int64_t n, std::vector<std::pair<int64_t, int64_t>>* pairs) {
  size_t run = 0;
  for (size_t i = 0; i < size; ++i) {
    if (h[i] >= '0' && h[i] <= '9') {
      if (++run > pdflimits::kMaxTokenBytes) return false;
    } else if (PdfParser::IsWhitespace(h[i])) {
      run = 0;
    } else {
      return false;
    }
  }
  size_t at = 0;
  // The value of the next run of digits; false at the end.
  auto next = [h, size, &at](int64_t* value) {
    while (at < size && PdfParser::IsWhitespace(h[at])) ++at;
    if (at == size) return false;
    const size_t start = at;
    while (at < size && !PdfParser::IsWhitespace(h[at])) ++at;
    *value = StringToInt64(reinterpret_cast<const char*>(h + start), at - start);
    return true;
  };
  for (int64_t i = 0; i < n; ++i) {
    int64_t number = 0, offset = 0;
    if (!next(&number) || !next(&offset)) break;
    pairs->emplace_back(number, offset);
  }
  return true;
}

}  // namespace

PdfDiccionario* PdfObjectStreamCache::Find(int64_t objstm_number, int64_t number, int32_t index, int32_t* found_index,
                                           int64_t* value_offset) {
  // The members of an object stream usually come one after another: the
  // object stream of the last call, still decoded, needs no lookups.
  if (objstm_number == last_objstm_number_ && last_objstm_->stream_decoded)
    return FindInHeader(last_objstm_, *last_objstm_header_, number, index, found_index, value_offset);
  PdfDiccionario* stm = nullptr;
  const Header& header = ObjectStreamHeader(objstm_number, &stm);
  return FindInHeader(stm, header, number, index, found_index, value_offset);
}

const PdfObjectStreamCache::Header& PdfObjectStreamCache::ObjectStreamHeader(int64_t objstm_number,
                                                                             PdfDiccionario** decoded) {
  // The object stream is fetched by its own reference, so it is read once and
  // shared with any other fetch of it.
  const XRefEntry* stm_entry = parser_.index_.Find(objstm_number, 0);
  // A damaged file may list the object stream inside an object stream (even
  // itself): the fetch below then finds it where the scan does.
  if (stm_entry == nullptr || (stm_entry->type != XRefEntry::kInUse && !parser_.repair_))
    throw _kelvra_runtime_error(errtext::kNoOffset);
  PdfValue* sv = nullptr;
  if (stm_entry->type == XRefEntry::kInUse) {
    sv = parser_.DameObjeto(objstm_number, 0);
  } else if ((sv = parser_.BuscarObjetoEnCache(objstm_number, 0)) == nullptr) {
    // Taken from the scan only: object streams listed inside one another
    // would otherwise be fetched in a cycle.
    const PdfXRefScanner::Object* found = parser_.recovery_.ScannedHeader(objstm_number);
    if (found == nullptr || found->generation != 0) throw _kelvra_runtime_error(errtext::kNoOffset);
    sv = parser_.ReadObjectAt(found->offset, objstm_number, 0);
    parser_.report_.Rebuilt("object stream " + std::to_string(objstm_number) + " found at offset " +
                            std::to_string(found->offset) + ", not in an object stream");
  }
  if (sv == nullptr || sv->kind() != PdfValue::Kind::Dictionary) throw _kelvra_runtime_error(errtext::kObjStmType);
  auto* stm = static_cast<PdfDiccionario*>(sv);
  PdfValue* type = stm->GetValue("/Type", true);
  // Repairing, a stream with /N and /First serves whatever its /Type says.
  const bool objstm = type != nullptr && type->text == "/ObjStm";
  const bool like_one =
      parser_.repair_ && stm->GetValue("/N", false) != nullptr && stm->GetValue("/First", false) != nullptr;
  if ((!objstm && !like_one) || !stm->IsStream()) throw _kelvra_runtime_error(errtext::kObjStmType);
  if (!objstm) {
    parser_.report_.Rebuilt("object stream " + std::to_string(objstm_number) +
                            " read although its /Type is not /ObjStm");
    unpacked_.insert(objstm_number);
  }

  if (!stm->stream_decoded) {
    // Decoding may fetch objects (an indirect /Length); one that lies inside
    // this very object stream can never be reached.
    if (stm->stream_decoding) throw _kelvra_runtime_error(errtext::kObjStmSelfReference);
    parser_.ahead_.Feed();
    stm->stream_decoding = true;
    try {
      PdfCompressedStream::Decompress(stm, *parser_.inputStream, stm->stream_data);
    } catch (...) {
      stm->stream_decoding = false;
      throw;
    }
    stm->stream_decoding = false;
    stm->stream_decoded = true;
    KeepDecoded(objstm_number, stm->stream_data.size());
  }

  Header& header = headers_[objstm_number];
  if (!header.parsed) {
    PdfValue* nv = stm->GetValue("/N", true);
    PdfValue* fv = stm->GetValue("/First", true);
    const int64_t n = nv != nullptr ? StringToInt64(nv->text) : 0;
    const int64_t first = fv != nullptr ? StringToInt64(fv->text) : -1;
    if (n < 0 || first < 0 || first > static_cast<int64_t>(stm->stream_data.size()))
      throw _kelvra_runtime_error(errtext::kObjStmHeader);
    header.first = first;
    // The header: N pairs of object number and offset relative to /First.
    if (!ReadPlainHeader(stm->stream_data.data(), static_cast<size_t>(first), n, &header.pairs)) {
      PdfMemoryStream m(stm->stream_data.data(), static_cast<size_t>(first));
      for (int64_t i = 0; i < n; ++i) {
        const std::string num = parser_.NextToken(m);
        const std::string off = parser_.NextToken(m);
        if (num.empty() || off.empty() || !PdfParser::EsNumeral(num) || !PdfParser::EsNumeral(off)) break;
        header.pairs.emplace_back(StringToInt64(num), StringToInt64(off));
      }
    }
    if (parser_.repair_ && static_cast<int64_t>(header.pairs.size()) < n)
      RepairObjectStreamHeader(objstm_number, stm, n, &header);
    header.parsed = true;
  }
  last_objstm_number_ = objstm_number;
  last_objstm_ = stm;
  last_objstm_header_ = &header;
  *decoded = stm;
  return header;
}

void PdfObjectStreamCache::ReadHeaderFirst(int64_t number) {
  auto known = headers_.find(number);
  if (!parser_.repair_ || (known != headers_.end() && known->second.parsed)) return;
  try {
    PdfDiccionario* stm = nullptr;
    ObjectStreamHeader(number, &stm);
  } catch (const _kelvra_runtime_error& e) {
    if (!parser_.Repairable(e)) throw;  // its members then fail on their own
  }
}

void PdfObjectStreamCache::RepairObjectStreamHeader(int64_t objstm_number, PdfDiccionario* stm, int64_t n,
                                                    Header* header) {
  // A wrong /First cuts the header short: the header is the run of whole
  // numbers at the start of the data, and /First where it ends.
  std::vector<std::pair<int64_t, int64_t>> pairs;
  PdfMemoryStream m(stm->stream_data.data(), stm->stream_data.size());
  auto whole = [](const std::string& t) {
    return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
  };
  for (int64_t i = 0; i < n; ++i) {
    const int64_t at = m.Tell();
    const std::string num = parser_.NextToken(m);
    const std::string off = parser_.NextToken(m);
    if (!whole(num) || !whole(off)) {
      m.Seek(at, 1);
      break;
    }
    pairs.emplace_back(StringToInt64(num), StringToInt64(off));
  }
  parser_.SkipWhitespace(m);
  if (pairs.size() <= header->pairs.size()) {
    // Fewer objects than /N says, however the header is read: the members
    // found are written as plain objects and the stream is left out, so
    // that no reader meets its wrong /N in the copy.
    unpacked_.insert(objstm_number);
    parser_.report_.Rebuilt("the " + std::to_string(header->pairs.size()) + " objects of object stream " +
                            std::to_string(objstm_number) + " (whose /N says " + std::to_string(n) +
                            ") as plain objects");
    return;
  }
  header->pairs = std::move(pairs);
  header->first = m.Tell();
  unpacked_.insert(objstm_number);
  parser_.report_.Rebuilt("the header of object stream " + std::to_string(objstm_number) + " (/First " +
                          std::to_string(header->first) + ")");
}

PdfDiccionario* PdfObjectStreamCache::FindInHeader(PdfDiccionario* stm, const Header& header, int64_t number,
                                                   int32_t index, int32_t* found_index, int64_t* value_offset) {
  // The entry at the listed index is the usual answer; otherwise the first
  // pair with the object's number.
  size_t at = header.pairs.size();
  if (index >= 0 && static_cast<size_t>(index) < header.pairs.size() &&
      header.pairs[static_cast<size_t>(index)].first == number) {
    at = static_cast<size_t>(index);
  } else {
    for (size_t i = 0; i < header.pairs.size(); ++i) {
      if (header.pairs[i].first == number) {
        at = i;
        break;
      }
    }
  }
  if (at == header.pairs.size()) throw _kelvra_runtime_error(errtext::kObjStmMember);
  const int64_t off = header.pairs[at].second;
  if (off < 0 || off > static_cast<int64_t>(stm->stream_data.size()) - header.first)
    throw _kelvra_runtime_error(errtext::kObjStmHeader);
  *found_index = static_cast<int32_t>(at);
  *value_offset = header.first + off;
  return stm;
}

void PdfObjectStreamCache::KeepDecoded(int64_t objstm_number, size_t bytes) {
  // The oldest decoded object streams are let go while those kept hold more
  // than the limit; one needed again is decoded again.
  decoded_objstms_.emplace_back(objstm_number, bytes);
  decoded_objstm_bytes_ += bytes;
  while (decoded_objstm_bytes_ > pdflimits::kMaxKeptObjectStreamBytes && decoded_objstms_.size() > 1) {
    const auto oldest = decoded_objstms_.front();
    decoded_objstms_.pop_front();
    decoded_objstm_bytes_ -= oldest.second;
    if (oldest.first != objstm_number) Release(oldest.first);
  }
}

void PdfObjectStreamCache::Release(int64_t objstm_number) {
  PdfValue* cached = parser_.BuscarObjetoEnCache(objstm_number, 0);
  if (cached == nullptr || cached->kind() != PdfValue::Kind::Dictionary) return;
  auto* stm = static_cast<PdfDiccionario*>(cached);
  std::vector<uint8_t>().swap(stm->stream_data);
  stm->stream_decoded = false;
}

void PdfObjectStreamCache::Clear() {
  headers_.clear();
  last_objstm_number_ = -1;
  last_objstm_ = nullptr;
  last_objstm_header_ = nullptr;
  unpacked_.clear();
  decoded_objstms_.clear();
  decoded_objstm_bytes_ = 0;
}
