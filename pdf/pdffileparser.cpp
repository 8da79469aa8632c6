// Object cache, value factory and object fetch of PdfFileParser, including
// objects taken out of object streams.
#include "pdf/pdffileparser.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#include "pdf/pdfdecryption.h"
#include "base/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfcompressedstream.h"
#include "pdf/pdfdecodeahead.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdfkeyvaluepair.h"
#include "pdf/pdfpromises.h"
#include "base/pdflimits.h"
#include "base/pdfmemorystream.h"
#include "base/pdfsyntaxformatter.h"

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

// Whether stream d's data is Flate alone, named directly, with no
// parameters: the only kind decoded ahead.
bool InflatesAlone(PdfDiccionario* d) {
  PdfValue* filter = d->GetValue("/Filter", false);
  return filter != nullptr && filter->kind() == PdfValue::Kind::Value && filter->native_type == NATIVE_NAME &&
         filter->text == "/FlateDecode" && d->GetValue("/DecodeParms", false) == nullptr;
}

}  // namespace

std::string ReferenceText(int64_t number, int64_t generation) {
  // Made three times for each object fetched (cache lookup, entry, release):
  // written into a buffer and made a string once.
  char text[48];
  char* end = std::to_chars(text, text + 20, number).ptr;
  *end++ = ' ';
  end = std::to_chars(end, end + 20, generation).ptr;
  *end++ = ' ';
  *end++ = 'R';
  return std::string(text, static_cast<size_t>(end - text));
}

PdfFileParser::PdfFileParser() = default;

PdfFileParser::~PdfFileParser() {
  decode_ahead_.reset();
  xrefList.clear();
  cache_objetos.clear();
  valueList.clear();
}

PdfValue* PdfFileParser::BuscarObjetoEnCache(int64_t number, int64_t generation) const {
  auto it = cache_objetos.find(ObjectKey{number, generation});
  return it == cache_objetos.end() ? nullptr : it->second;
}

void PdfFileParser::InsertarObjetoEnCache(int64_t number, int64_t generation, PdfValue* value) {
  if (!cache_objetos.emplace(ObjectKey{number, generation}, value).second)
    throw _kelvra_runtime_error("PdfFileParser::InsertarObjetoEnCache: cache_objetos.insert");
}

void PdfFileParser::OlvidarObjetoEnCache(int64_t number, int64_t generation, const PdfValue* value) {
  auto it = cache_objetos.find(ObjectKey{number, generation});
  if (it != cache_objetos.end() && it->second == value) cache_objetos.erase(it);
}

PdfValue* PdfFileParser::NuevoValue(const std::string& class_name) {
  if (class_name == "PdfDiccionario") return NewDictionary();
  if (class_name == "PdfArray") return NewArray();
  if (class_name == "PdfKeyValuePair") return NewPair();
  if (class_name == "PdfValue") return NewSimple(0, std::string());
  throw _kelvra_runtime_error("PdfFileParser::NuevoValue:new");
}

template <class T>
T* PdfFileParser::Adopt(PdfValue::Kind kind) {
  // Each value costs about a hundred bytes and needs as little as two bytes
  // of input ("0 "), which a decoded object stream multiplies again.
  if (valueList.size() >= pdflimits::kMaxValues) throw _kelvra_runtime_error("PdfFileParser::NuevoValue:limit");
  std::vector<std::unique_ptr<PdfValue>>& spare = spare_values_[static_cast<size_t>(kind)];
  T* raw;
  if (spare.empty()) {
    valueList.push_back(std::make_unique<T>());
    raw = static_cast<T*>(valueList.back().get());
  } else {
    // A released value of the same class, made as new.
    valueList.push_back(std::move(spare.back()));
    spare.pop_back();
    raw = static_cast<T*>(valueList.back().get());
    raw->Reuse();
  }
  raw->parser = this;
  return raw;
}

PdfDiccionario* PdfFileParser::NewDictionary() { return Adopt<PdfDiccionario>(PdfValue::Kind::Dictionary); }
PdfArray* PdfFileParser::NewArray() { return Adopt<PdfArray>(PdfValue::Kind::Array); }
PdfKeyValuePair* PdfFileParser::NewPair() { return Adopt<PdfKeyValuePair>(PdfValue::Kind::KeyValuePair); }

PdfValue* PdfFileParser::NewSimple(int native_type, const char* text, size_t size) {
  PdfValue* v = Adopt<PdfValue>(PdfValue::Kind::Value);
  v->native_type = native_type;
  v->text.clear();  // (clear and append: cheaper than assign)
  v->text.append(text, size);
  return v;
}

PdfValue* PdfFileParser::NewSimple(int native_type, std::string text) {
  PdfValue* v = Adopt<PdfValue>(PdfValue::Kind::Value);
  v->native_type = native_type;
  v->text = std::move(text);
  return v;
}

PdfValue* PdfFileParser::DameObjeto(const std::string& reference) {
  if (reference.size() < 2 || reference.compare(reference.size() - 2, 2, " R") != 0)
    throw _kelvra_runtime_error("PdfFileParser::OffsetObjeto:Referencia");
  const size_t blank = reference.find(' ');
  return DameObjeto(StringToInt64(reference.substr(0, blank)), StringToInt64(reference.substr(blank + 1)));
}

PdfValue* PdfFileParser::DameObjeto(int64_t number, int64_t generation) {
  if (PdfValue* cached = BuscarObjetoEnCache(number, generation)) return cached;
  if (generation < 0 || generation > UINT32_MAX) throw _kelvra_runtime_error("PdfFileParser::OffsetObjeto:No offset");
  const XRefEntry* e = index_.Find(number, static_cast<uint32_t>(generation));
  // An object found elsewhere by an earlier fetch is read there again.
  auto moved = relocated_.find(number);
  if (moved != relocated_.end() && moved->second.generation != generation) moved = relocated_.end();
  // Offset 0 is the header's: a listed object there is damage, met below.
  if ((e == nullptr || (e->location == 0 && !repair_)) && moved == relocated_.end())
    throw _kelvra_runtime_error("PdfFileParser::OffsetObjeto:No offset");

  // Fetches start one another (an indirect /Length, an object stream);
  // a bounded depth ends any cycle among them.
  struct DepthGuard {
    int& d;
    explicit DepthGuard(int& depth) : d(depth) {
      if (++d > pdflimits::kMaxFetchDepth) {
        --d;
        throw _kelvra_runtime_error("PdfFileParser::DameObjeto:recursion");
      }
    }
    ~DepthGuard() { --d; }
  } guard(fetch_depth_);

  if (moved != relocated_.end()) return ReadObjectAt(moved->second.offset, number, generation);
  const size_t mark = ValueMark();
  try {
    if (e->type == XRefEntry::kCompressed) {
      // An object stream listed inside itself would be fetched without end.
      if (repair_ && e->location == static_cast<uint64_t>(number))
        throw _kelvra_runtime_error("PdfFileParser::ParseObjectStream:self reference");
      PdfKeyValuePair holder;
      ParseObjectStream(holder, static_cast<int64_t>(e->location), number, e->index);
      return holder.value;
    }
    if (e->location >= static_cast<uint64_t>(file_size_))
      throw _kelvra_runtime_error("PdfFileParser::ParseDiccionario:NextToken");
    return ReadObjectAt(static_cast<int64_t>(e->location), number, generation);
  } catch (const _kelvra_runtime_error& failure) {
    // A damaged file may list a wrong offset, or an object stream that does
    // not hold the object: it is looked up in a scan of the file before it
    // is given up.
    if (!Repairable(failure.message)) throw;
    ReleaseValuesFrom(mark);
    const bool plain = e->type != XRefEntry::kCompressed;
    const PdfXRefScanner::Object* found = ScannedHeader(number);
    // Listed under a generation of its own: callers may ask for that one.
    if (found != nullptr && found->generation != generation && relocated_.emplace(number, *found).second)
      report_.Rebuilt("object " + std::to_string(number) + " found with generation " +
                      std::to_string(found->generation) + ", not " + std::to_string(generation));
    if (found == nullptr || found->generation != generation ||
        (plain && found->offset == static_cast<int64_t>(e->location))) {
      if (plain && e->location == 0) throw _kelvra_runtime_error("PdfFileParser::OffsetObjeto:No offset");
      throw;
    }
    report_.Rebuilt("object " + std::to_string(number) + " found at offset " + std::to_string(found->offset) +
                    (plain ? ", not " + std::to_string(e->location)
                           : std::string(", not in object stream ") + std::to_string(e->location)));
    relocated_.emplace(number, *found);
    return ReadObjectAt(found->offset, number, generation);
  }
}

PdfValue* PdfFileParser::ReadObjectAt(int64_t at, int64_t number, int64_t generation) {
  // The object at the offset must be the one asked for. It is checked before
  // the body is read: a wrong offset must neither put another object's
  // content under this number nor leave that object (perhaps an outdated
  // version of it) in the cache under its own reference.
  inputStream->Seek(at, 1);
  const std::string t1 = NextToken(*inputStream);
  const std::string t2 = NextToken(*inputStream);
  auto is_integer = [](const std::string& t) {
    return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
  };
  if (is_integer(t1) && is_integer(t2) && (StringToInt64(t1) != number || StringToInt64(t2) != generation))
    throw _kelvra_runtime_error("PdfFileParser::DameObjeto:wrong object at offset");
  inputStream->Seek(at, 1);
  PdfKeyValuePair holder;
  ParseDiccionario(holder, *inputStream);
  CountObjectText(static_cast<uint64_t>(inputStream->Tell() - at));
  // The strings of an object of its own are encrypted with its key; those
  // of object-stream members were decrypted with the object stream's data.
  if (decryption_ && number != encrypt_number_) {
    try {
      DecryptStrings(holder.value, number, generation, true);
    } catch (...) {
      // Half-decrypted values must not be found again in the cache.
      OlvidarObjetoEnCache(number, generation, holder.value);
      throw;
    }
  }
  return holder.value;
}

void PdfFileParser::SetPassword(std::string_view utf8, bool need_change_rights) {
  has_password_ = true;
  need_change_rights_ = need_change_rights;
  password_ = utf8;
}

void PdfFileParser::OpenEncryption() {
  PdfValue* reference = BuscarEnTrailer("/Encrypt", false);
  if (reference == nullptr) return;
  if (!has_password_) throw _kelvra_runtime_error("Encrypted");
  if (reference->kind() == PdfValue::Kind::Value && reference->native_type == NATIVE_REFERENCE) {
    const size_t blank = reference->text.find(' ');
    encrypt_number_ = StringToInt64(reference->text.substr(0, blank));
    // Inside an object stream it could not be read before decrypting.
    const XRefEntry* e = index_.Newest(encrypt_number_);
    if (e == nullptr || e->type != XRefEntry::kInUse)
      throw _kelvra_runtime_error("PdfDecryption:unsupported Encrypt dictionary");
  }
  decryption_ = OpenWith(password_);
  if (need_change_rights_ && !decryption_->MayChangeProtection()) throw _kelvra_runtime_error("Owner password needed");
}

std::unique_ptr<PdfDecryption> PdfFileParser::OpenWith(std::string_view password) {
  PdfValue* encrypt = BuscarEnTrailer("/Encrypt", true);
  if (encrypt == nullptr || encrypt->kind() != PdfValue::Kind::Dictionary)
    throw _kelvra_runtime_error("PdfDecryption:unsupported Encrypt dictionary");
  // The identifier is never encrypted.
  std::string identifier;
  PdfValue* id = BuscarEnTrailer("/ID", true);
  if (id != nullptr && id->kind() == PdfValue::Kind::Array && static_cast<PdfArray*>(id)->GetSize() > 0) {
    PdfValue* first = static_cast<PdfArray*>(id)->GetValue(0, true);
    if (first != nullptr && first->native_type == NATIVE_STRING) identifier = first->text;
    if (first != nullptr && first->native_type == NATIVE_HEXSTRING)
      identifier = PdfSyntaxFormatter::HexToBytes(first->text);
  }
  return std::make_unique<PdfDecryption>(static_cast<PdfDiccionario*>(encrypt), identifier, password);
}

bool PdfFileParser::KeepsContents(PdfDiccionario* d, int64_t number, bool whole) const {
  return PdfPromises::IsSignatureDictionary(d) || (whole && SignatureObject(number));
}

void PdfFileParser::DecryptStrings(PdfValue* v, int64_t number, int64_t generation, bool whole) {
  if (v == nullptr) return;
  switch (v->kind()) {
    case PdfValue::Kind::Dictionary: {
      auto* d = static_cast<PdfDiccionario*>(v);
      PdfValue* type = d->GetValue("/Type", false);
      // A cross-reference stream is never encrypted.
      if (type != nullptr && type->native_type == NATIVE_NAME && type->text == "/XRef") return;
      const bool signature = KeepsContents(d, number, whole);
      for (PdfKeyValuePair* pair : d->pairs) {
        if (signature && pair->key == "/Contents")
          DecryptSignatureContents(pair->value, number, generation);
        else
          DecryptStrings(pair->value, number, generation);
      }
      return;
    }
    case PdfValue::Kind::Array:
      for (PdfValue* element : static_cast<PdfArray*>(v)->elements) DecryptStrings(element, number, generation);
      return;
    case PdfValue::Kind::KeyValuePair:
      DecryptStrings(static_cast<PdfKeyValuePair*>(v)->value, number, generation);
      return;
    case PdfValue::Kind::Value:
      break;
  }
  if (v->native_type == NATIVE_HEXSTRING) {
    v->text = PdfSyntaxFormatter::HexToBytes(v->text);
    v->native_type = NATIVE_STRING;
  }
  if (v->native_type == NATIVE_STRING) decryption_->DecryptString(v->text, number, generation);
}

// A signature's /Contents is never encrypted: its bytes are what was signed
// over, and a writer that encrypted them would hide the signer from every
// reader that follows the rule. Older writers did encrypt it, though: bytes
// that are no signature as stored but are one decrypted are taken
// decrypted. Anything else stays as written. The form (hex or literal) is
// kept either way.
void PdfFileParser::DecryptSignatureContents(PdfValue* v, int64_t number, int64_t generation) {
  if (v == nullptr || v->kind() != PdfValue::Kind::Value ||
      (v->native_type != NATIVE_STRING && v->native_type != NATIVE_HEXSTRING))
    return DecryptStrings(v, number, generation);
  const bool hex = v->native_type == NATIVE_HEXSTRING;
  std::string bytes = hex ? PdfSyntaxFormatter::HexToBytes(v->text) : v->text;
  if (PdfPromises::HoldsSignatureBytes(bytes)) return;
  try {
    decryption_->DecryptString(bytes, number, generation);
  } catch (const _kelvra_runtime_error&) {
    return;  // AES data that does not decrypt was never encrypted
  }
  if (!PdfPromises::HoldsSignatureBytes(bytes)) return;
  v->text = hex ? PdfSyntaxFormatter::BytesToHex(bytes) : bytes;
}

bool PdfFileParser::ReadDecryptedStream(PdfDiccionario* d, int64_t offset, int64_t length, std::vector<uint8_t>* out) {
  if (!decryption_) return false;
  ReadStoredStream(d, offset, length, out);
  return true;
}

void PdfFileParser::ReadStoredStream(PdfDiccionario* d, int64_t offset, int64_t length, std::vector<uint8_t>* out) {
  out->resize(static_cast<size_t>(length));
  inputStream->Seek(offset, 1);
  if (length > 0) inputStream->Leer(out->data(), out->size());
  if (decryption_) decryption_->DecryptStream(d, *out);
}

void PdfFileParser::CountObjectText(uint64_t n) {
  // In a sound file objects do not overlap, so the text read for them stays
  // within a few times what the file and its decoded streams hold (objects
  // let go after writing are read again). An object whose string runs over
  // all the objects after it would otherwise be read again for each of them.
  object_text_bytes_ += n;
  const uint64_t budget = pdflimits::kObjectTextFactor * (static_cast<uint64_t>(file_size_) + decode_bytes_) +
                          pdflimits::kObjectTextSlackBytes;
  if (object_text_bytes_ > budget) throw _kelvra_runtime_error("PdfFileParser::DameObjeto:limit");
}

PdfDiccionario* PdfFileParser::FindInObjectStream(int64_t objstm_number, int64_t number, int32_t index,
                                                  int32_t* found_index, int64_t* value_offset) {
  // The members of an object stream usually come one after another: the
  // object stream of the last call, still decoded, needs no lookups.
  if (objstm_number == last_objstm_number_ && last_objstm_->stream_decoded)
    return FindInHeader(last_objstm_, *last_objstm_header_, number, index, found_index, value_offset);
  PdfDiccionario* stm = nullptr;
  const ObjStmHeader& header = ObjectStreamHeader(objstm_number, &stm);
  return FindInHeader(stm, header, number, index, found_index, value_offset);
}

const PdfFileParser::ObjStmHeader& PdfFileParser::ObjectStreamHeader(int64_t objstm_number, PdfDiccionario** decoded) {
  // The object stream is fetched by its own reference, so it is read once and
  // shared with any other fetch of it.
  const XRefEntry* stm_entry = index_.Find(objstm_number, 0);
  // A damaged file may list the object stream inside an object stream (even
  // itself): the fetch below then finds it where the scan does.
  if (stm_entry == nullptr || (stm_entry->type != XRefEntry::kInUse && !repair_))
    throw _kelvra_runtime_error("PdfFileParser::OffsetObjeto:No offset");
  PdfValue* sv = nullptr;
  if (stm_entry->type == XRefEntry::kInUse) {
    sv = DameObjeto(objstm_number, 0);
  } else if ((sv = BuscarObjetoEnCache(objstm_number, 0)) == nullptr) {
    // Taken from the scan only: object streams listed inside one another
    // would otherwise be fetched in a cycle.
    const PdfXRefScanner::Object* found = ScannedHeader(objstm_number);
    if (found == nullptr || found->generation != 0)
      throw _kelvra_runtime_error("PdfFileParser::OffsetObjeto:No offset");
    sv = ReadObjectAt(found->offset, objstm_number, 0);
    report_.Rebuilt("object stream " + std::to_string(objstm_number) + " found at offset " +
                    std::to_string(found->offset) + ", not in an object stream");
  }
  if (sv == nullptr || sv->kind() != PdfValue::Kind::Dictionary)
    throw _kelvra_runtime_error("PdfFileParser::ParseObjectStream. Type != /ObjStm");
  auto* stm = static_cast<PdfDiccionario*>(sv);
  PdfValue* type = stm->GetValue("/Type", true);
  // Repairing, a stream with /N and /First serves whatever its /Type says.
  const bool objstm = type != nullptr && type->text == "/ObjStm";
  const bool like_one = repair_ && stm->GetValue("/N", false) != nullptr && stm->GetValue("/First", false) != nullptr;
  if ((!objstm && !like_one) || !stm->IsStream())
    throw _kelvra_runtime_error("PdfFileParser::ParseObjectStream. Type != /ObjStm");
  if (!objstm) {
    report_.Rebuilt("object stream " + std::to_string(objstm_number) + " read although its /Type is not /ObjStm");
    unpacked_.insert(objstm_number);
  }

  if (!stm->stream_decoded) {
    // Decoding may fetch objects (an indirect /Length); one that lies inside
    // this very object stream can never be reached.
    if (stm->stream_decoding) throw _kelvra_runtime_error("PdfFileParser::ParseObjectStream:self reference");
    FeedDecodeAhead();
    stm->stream_decoding = true;
    try {
      PdfCompressedStream::Decompress(stm, *inputStream, stm->stream_data);
    } catch (...) {
      stm->stream_decoding = false;
      throw;
    }
    stm->stream_decoding = false;
    stm->stream_decoded = true;
    KeepDecoded(objstm_number, stm->stream_data.size());
  }

  ObjStmHeader& header = objstm_headers_[objstm_number];
  if (!header.parsed) {
    PdfValue* nv = stm->GetValue("/N", true);
    PdfValue* fv = stm->GetValue("/First", true);
    const int64_t n = nv != nullptr ? StringToInt64(nv->text) : 0;
    const int64_t first = fv != nullptr ? StringToInt64(fv->text) : -1;
    if (n < 0 || first < 0 || first > static_cast<int64_t>(stm->stream_data.size()))
      throw _kelvra_runtime_error("PdfFileParser::ParseObjectStream:bad header");
    header.first = first;
    // The header: N pairs of object number and offset relative to /First.
    if (!ReadPlainHeader(stm->stream_data.data(), static_cast<size_t>(first), n, &header.pairs)) {
      PdfMemoryStream m(stm->stream_data.data(), static_cast<size_t>(first));
      for (int64_t i = 0; i < n; ++i) {
        const std::string num = NextToken(m);
        const std::string off = NextToken(m);
        if (num.empty() || off.empty() || !EsNumeral(num) || !EsNumeral(off)) break;
        header.pairs.emplace_back(StringToInt64(num), StringToInt64(off));
      }
    }
    if (repair_ && static_cast<int64_t>(header.pairs.size()) < n)
      RepairObjectStreamHeader(objstm_number, stm, n, &header);
    header.parsed = true;
  }
  last_objstm_number_ = objstm_number;
  last_objstm_ = stm;
  last_objstm_header_ = &header;
  *decoded = stm;
  return header;
}

void PdfFileParser::ReadObjectStreamHeaderFirst(int64_t number) {
  auto known = objstm_headers_.find(number);
  if (!repair_ || (known != objstm_headers_.end() && known->second.parsed)) return;
  try {
    PdfDiccionario* stm = nullptr;
    ObjectStreamHeader(number, &stm);
  } catch (const _kelvra_runtime_error& e) {
    if (!Repairable(e.message)) throw;  // its members then fail on their own
  }
}

void PdfFileParser::RepairObjectStreamHeader(int64_t objstm_number, PdfDiccionario* stm, int64_t n,
                                             ObjStmHeader* header) {
  // A wrong /First cuts the header short: the header is the run of whole
  // numbers at the start of the data, and /First where it ends.
  std::vector<std::pair<int64_t, int64_t>> pairs;
  PdfMemoryStream m(stm->stream_data.data(), stm->stream_data.size());
  auto whole = [](const std::string& t) {
    return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
  };
  for (int64_t i = 0; i < n; ++i) {
    const int64_t at = m.Tell();
    const std::string num = NextToken(m);
    const std::string off = NextToken(m);
    if (!whole(num) || !whole(off)) {
      m.Seek(at, 1);
      break;
    }
    pairs.emplace_back(StringToInt64(num), StringToInt64(off));
  }
  SkipWhitespace(m);
  if (pairs.size() <= header->pairs.size()) {
    // Fewer objects than /N says, however the header is read: the members
    // found are written as plain objects and the stream is left out, so
    // that no reader meets its wrong /N in the copy.
    unpacked_.insert(objstm_number);
    report_.Rebuilt("the " + std::to_string(header->pairs.size()) + " objects of object stream " +
                    std::to_string(objstm_number) + " (whose /N says " + std::to_string(n) + ") as plain objects");
    return;
  }
  header->pairs = std::move(pairs);
  header->first = m.Tell();
  unpacked_.insert(objstm_number);
  report_.Rebuilt("the header of object stream " + std::to_string(objstm_number) + " (/First " +
                  std::to_string(header->first) + ")");
}

PdfDiccionario* PdfFileParser::FindInHeader(PdfDiccionario* stm, const ObjStmHeader& header, int64_t number,
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
  if (at == header.pairs.size()) throw _kelvra_runtime_error("PdfFileParser::ParseObjectStream:object not found");
  const int64_t off = header.pairs[at].second;
  if (off < 0 || off > static_cast<int64_t>(stm->stream_data.size()) - header.first)
    throw _kelvra_runtime_error("PdfFileParser::ParseObjectStream:bad header");
  *found_index = static_cast<int32_t>(at);
  *value_offset = header.first + off;
  return stm;
}

void PdfFileParser::DecodeObjectStreamsAhead(std::vector<int64_t> order) {
  decode_ahead_.reset();
  ahead_order_.clear();
  ahead_next_ = 0;
  // One object stream, or one core, gains nothing; the stored data of an
  // encrypted file are decrypted first, on this thread.
  if (!helper_threads_ || decryption_ || order.size() < 2 || std::thread::hardware_concurrency() < 2) return;
  try {
    decode_ahead_ = std::make_unique<PdfDecodeAhead>();
  } catch (const std::system_error&) {
    return;  // no thread to be had: every object stream is decoded when needed
  }
  ahead_order_ = std::move(order);
}

void PdfFileParser::FeedDecodeAhead() {
  // Not again from inside a fetch that feeding made.
  if (!decode_ahead_ || feeding_) return;
  feeding_ = true;
  while (ahead_next_ < ahead_order_.size() && !decode_ahead_->Full()) SubmitDecodeAhead(ahead_order_[ahead_next_++]);
  feeding_ = false;
}

void PdfFileParser::SubmitDecodeAhead(int64_t objstm_number) {
  // The dictionary is read again when the object stream is needed: its
  // values go now, so the caller's value marks hold what they held.
  const size_t mark = ValueMark();
  try {
    const XRefEntry* e = index_.Find(objstm_number, 0);
    PdfValue* v = (e != nullptr && e->type == XRefEntry::kInUse) ? DameObjeto(objstm_number, 0) : nullptr;
    auto* d = (v != nullptr && v->kind() == PdfValue::Kind::Dictionary) ? static_cast<PdfDiccionario*>(v) : nullptr;
    auto is = [d](const char* key, int type, const char* text) {
      PdfValue* x = d->GetValue(key, false);
      return x != nullptr && x->kind() == PdfValue::Kind::Value && x->native_type == type &&
             (text == nullptr || x->text == text);
    };
    if (d != nullptr && d->IsStream() && !d->stream_decoded && is("/Type", NATIVE_NAME, "/ObjStm") &&
        is("/Length", NATIVE_NUMBER, nullptr) && InflatesAlone(d)) {
      int64_t offset = 0, length = 0;
      StreamExtent(d, "", &offset, &length);
      if (length > 0 && static_cast<uint64_t>(length) <= PdfDecodeAhead::kMaxJobDecodedBytes) {
        std::vector<uint8_t> stored(static_cast<size_t>(length));
        inputStream->Seek(offset, 1);
        inputStream->Leer(stored.data(), stored.size());
        decode_ahead_->Submit(objstm_number, offset, std::move(stored));
      }
    }
  } catch (const _kelvra_runtime_error&) {
    // Met again, at its time, by the reader's own decoding.
  } catch (const std::exception&) {
  }
  ReleaseValuesFrom(mark);
}

bool PdfFileParser::TakeDecodedAhead(PdfDiccionario* d, int64_t offset, int64_t length, std::vector<uint8_t>& out) {
  if (!decode_ahead_ || d->obj_number < 0 || !InflatesAlone(d)) return false;
  std::string error;
  switch (decode_ahead_->Take(d->obj_number, offset, length, &out, &error)) {
    case PdfDecodeAhead::Outcome::kNone:
      return false;
    case PdfDecodeAhead::Outcome::kFailed:
      throw _kelvra_runtime_error(error);
    case PdfDecodeAhead::Outcome::kDecoded:
      break;
  }
  return true;
}

void PdfFileParser::KeepDecoded(int64_t objstm_number, size_t bytes) {
  // The oldest decoded object streams are let go while those kept hold more
  // than the limit; one needed again is decoded again.
  decoded_objstms_.emplace_back(objstm_number, bytes);
  decoded_objstm_bytes_ += bytes;
  while (decoded_objstm_bytes_ > pdflimits::kMaxKeptObjectStreamBytes && decoded_objstms_.size() > 1) {
    const auto oldest = decoded_objstms_.front();
    decoded_objstms_.pop_front();
    decoded_objstm_bytes_ -= oldest.second;
    if (oldest.first != objstm_number) ReleaseObjectStream(oldest.first);
  }
}

void PdfFileParser::CountDecodedBytes(uint64_t n) {
  if (n > pdflimits::kMaxTotalDecodeBytes - decode_bytes_)
    throw _kelvra_runtime_error("PdfCompressedStream::Decompress:limit");
  decode_bytes_ += n;
}

void PdfFileParser::ReleaseObjectStream(int64_t objstm_number) {
  PdfValue* cached = BuscarObjetoEnCache(objstm_number, 0);
  if (cached == nullptr || cached->kind() != PdfValue::Kind::Dictionary) return;
  auto* stm = static_cast<PdfDiccionario*>(cached);
  std::vector<uint8_t>().swap(stm->stream_data);
  stm->stream_decoded = false;
}

bool PdfFileParser::ReleaseValuesFrom(size_t mark) {
  for (size_t i = mark; i < valueList.size(); ++i) {
    const PdfValue* v = valueList[i].get();
    if (v->kind() == PdfValue::Kind::Dictionary && static_cast<const PdfDiccionario*>(v)->stream_decoded) return false;
  }
  for (size_t i = mark; i < valueList.size(); ++i) {
    const PdfValue* v = valueList[i].get();
    // Only the top value of an indirect object carries its number, and only
    // such values are cached.
    if (v->obj_number >= 0) {
      OlvidarObjetoEnCache(v->obj_number, v->obj_generation, v);
    }
    // The values are kept for reuse by the factory: a document's millions
    // of values then cost few allocations.
    spare_values_[static_cast<size_t>(v->kind())].push_back(std::move(valueList[i]));
  }
  if (mark < valueList.size()) valueList.resize(mark);
  last_objstm_number_ = -1;  // its dictionary may be among them
  return true;
}

void PdfFileParser::ParseObjectStream(PdfKeyValuePair& holder, int64_t objstm_number, int64_t number, int32_t index) {
  int32_t found_index = -1;
  int64_t value_offset = 0;
  PdfDiccionario* stm = FindInObjectStream(objstm_number, number, index, &found_index, &value_offset);
  PdfMemoryStream m(stm->stream_data.data(), stm->stream_data.size());
  m.Seek(value_offset, 1);
  ParseValue(&holder, m);
  CountObjectText(static_cast<uint64_t>(m.Tell() - value_offset));
  if (holder.value != nullptr) {
    holder.value->obj_number = number;
    holder.value->obj_generation = 0;
  }
  // A body without a value is not cached (the cache cannot tell it from a
  // miss), so every fetch of it reads it again and gives null again.
  if (holder.value != nullptr) InsertarObjetoEnCache(number, 0, holder.value);
}

std::vector<const XRefEntry*> PdfFileParser::DocumentObjects() const {
  std::vector<const XRefEntry*> out;
  for (const auto& r : xrefList) {
    for (const XRefEntry& e : r->entries) {
      if (e.type == XRefEntry::kFree || e.number == 0 || IsXRefStreamObject(e.number, r->section)) continue;
      if (index_.Newest(e.number) == &e) out.push_back(&e);
    }
  }
  return out;
}

bool PdfFileParser::FindEndstream(int64_t from, int64_t* data_end) {
  // Scans forward in chunks for the keyword; the data ends before it, less
  // the one end-of-line that precedes "endstream".
  static const char kKeyword[] = "endstream";
  const size_t klen = sizeof kKeyword - 1;
  std::vector<uint8_t> buf(pdflimits::kEndstreamScanBytes + klen);
  int64_t pos = from;
  while (pos < file_size_) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buf.size()), file_size_ - pos));
    inputStream->Seek(pos, 1);
    inputStream->Leer(buf.data(), n);
    for (size_t i = 0; i + klen <= n; ++i) {
      if (buf[i] == 'e' && std::memcmp(&buf[i], kKeyword, klen) == 0) {
        int64_t end = pos + static_cast<int64_t>(i);
        // Drop the end of line before the keyword (LF, CR or CR LF).
        uint8_t prev[2] = {0, 0};
        if (end - 2 >= from) {
          inputStream->Seek(end - 2, 1);
          inputStream->Leer(prev, 2);
        } else if (end - 1 >= from) {
          inputStream->Seek(end - 1, 1);
          inputStream->Leer(prev + 1, 1);
        }
        if (prev[1] == 0x0A) {
          end -= (prev[0] == 0x0D) ? 2 : 1;
        } else if (prev[1] == 0x0D) {
          end -= 1;
        }
        *data_end = std::max(end, from);
        return true;
      }
    }
    if (n < buf.size()) break;
    pos += static_cast<int64_t>(n - klen + 1);
  }
  return false;
}

void PdfFileParser::StreamExtent(PdfDiccionario* d, const char* no_length_message, int64_t* offset, int64_t* length,
                                 bool* trusted) {
  if (trusted != nullptr) *trusted = false;
  const int64_t start = d->stream_offset;
  // An indirect /Length that names a missing object counts as unknown.
  PdfValue* raw = d->GetValue("/Length", false);
  if (raw == nullptr) {
    // A damaged file's stream without /Length: its data end at "endstream".
    int64_t end = 0;
    if (!repair_ || !FindEndstream(start, &end)) throw _kelvra_runtime_error(no_length_message);
    report_.Rebuilt("the length of object " + std::to_string(d->obj_number) + "'s stream, which has no /Length");
    *offset = start;
    *length = end - start;
    return;
  }
  int64_t len = -1;
  bool known = true;
  if (raw->native_type == NATIVE_REFERENCE) {
    const size_t blank = raw->text.find(' ');
    const int64_t num = StringToInt64(raw->text.substr(0, blank));
    const int64_t gen = StringToInt64(raw->text.substr(blank + 1));
    known = gen >= 0 && gen <= UINT32_MAX && index_.Find(num, static_cast<uint32_t>(gen)) != nullptr;
  }
  // An indirect /Length is read once per object it names: many streams may
  // name one object, and a long one (an array, say) read again for each
  // would make the work grow with the square of the file.
  auto read_before = raw->native_type == NATIVE_REFERENCE ? indirect_lengths_.find(raw->text) : indirect_lengths_.end();
  if (read_before != indirect_lengths_.end()) {
    len = read_before->second;
  } else if (known) {
    PdfValue* v = d->GetValue("/Length", true);
    if (v == nullptr) throw _kelvra_runtime_error(no_length_message);
    // Only a whole number gives a length ("5.5" is no length, and taking it
    // as 5 would copy it into the output as it stands).
    const bool whole = v->native_type == NATIVE_NUMBER && v->text.find_first_not_of("0123456789") == std::string::npos;
    if (whole) len = StringToInt64(v->text);
    if (raw->native_type == NATIVE_REFERENCE) indirect_lengths_.emplace(raw->text, len);
  }
  // Trust /Length when "endstream" follows the data (after white space).
  if (len >= 0 && len <= file_size_ - start) {
    char after[9 + 32];
    const int64_t avail = std::min<int64_t>(static_cast<int64_t>(sizeof after), file_size_ - (start + len));
    inputStream->Seek(start + len, 1);
    inputStream->Leer(after, static_cast<size_t>(avail));
    int64_t i = 0;
    while (i < avail && IsWhitespace(static_cast<unsigned char>(after[i]))) ++i;
    if (avail - i >= 9 && std::memcmp(after + i, "endstream", 9) == 0) {
      *offset = start;
      *length = len;
      if (trusted != nullptr) *trusted = true;
      return;
    }
  }
  int64_t end = 0;
  if (!FindEndstream(start, &end)) {
    if (!repair_) throw _kelvra_runtime_error("PdfFileParser::StreamExtent:no endstream");
    end = EndOfUnclosedStream(start);
    report_.Rebuilt("the end of object " + std::to_string(d->obj_number) + "'s stream, which has no endstream");
  }
  *offset = start;
  *length = end - start;
}
