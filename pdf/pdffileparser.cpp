// The coordinator's part of PdfFileParser: the read of a whole file, the
// value factory and the fetch of objects, also out of object streams; the
// other jobs are forwarded to the classes that do them.
#include "pdf/pdffileparser.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "base/kelvraruntimeerror.h"
#include "base/pdflimits.h"
#include "base/pdfmemorystream.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdecryption.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdfkeyvaluepair.h"

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
  ahead_.Stop();
  xrefList.clear();
  pool_.Clear();
}

void PdfFileParser::SetPassword(std::string_view utf8, bool need_change_rights) {
  decryption_.SetPassword(utf8, need_change_rights);
}

void PdfFileParser::SetIdentity(std::shared_ptr<const Identity> identity, bool need_change_rights) {
  decryption_.SetIdentity(std::move(identity), need_change_rights);
}

std::unique_ptr<PdfDecryption> PdfFileParser::OpenWith(std::string_view password, const Identity* identity) {
  return decryption_.OpenWith(password, identity);
}

bool PdfFileParser::ReadDecryptedStream(PdfDiccionario* d, int64_t offset, int64_t length, std::vector<uint8_t>* out) {
  if (!decryption_.Active()) return false;
  ReadStoredStream(d, offset, length, out);
  return true;
}

void PdfFileParser::ReadStoredStream(PdfDiccionario* d, int64_t offset, int64_t length, std::vector<uint8_t>* out) {
  out->resize(static_cast<size_t>(length));
  const auto read = [&] {
    inputStream->Seek(offset, 1);
    if (length > 0) inputStream->Leer(out->data(), out->size());
  };
  read();
  try {
    decryption_.DecryptStream(d, *out);
  } catch (const _kelvra_runtime_error& e) {
    // AES data cut short or with a broken last block (damage that moved the
    // stream's end): what decrypts is kept, as qpdf and mutool keep it,
    // rather than the whole file lost. The data are read again: decryption
    // works in place.
    if (!Repairable(e) || decryption_.Get() == nullptr) throw;
    read();
    decryption_.Get()->SalvageStream(d, *out);
    report_.Dropped("what of object " + std::to_string(d->obj_number) + "'s stream does not decrypt (" +
                    e.entry().sentence + ")");
  }
}

int64_t PdfFileParser::LeerStartAddress(PdfStream& s) { return xref_.LeerStartAddress(s); }

void PdfFileParser::ParseCrossReference(int64_t offset, PdfStream& s) { xref_.ParseCrossReference(offset, s); }

void PdfFileParser::LeerCrossReferenceTable(int64_t offset, PdfStream& s, int64_t* prev) {
  xref_.LeerCrossReferenceTable(offset, s, prev);
}

void PdfFileParser::LeerCrossReferenceStream(int64_t offset, PdfStream& s, int64_t* prev) {
  xref_.LeerCrossReferenceStream(offset, s, prev);
}

bool PdfFileParser::LeaveOut(int64_t number, const _kelvra_runtime_error& failure) {
  return recovery_.LeaveOut(number, failure);
}

void PdfFileParser::ReadObjectStreamHeaderFirst(int64_t number) { objstms_.ReadHeaderFirst(number); }

bool PdfFileParser::Repairable(const _kelvra_runtime_error& failure) const { return recovery_.Repairable(failure); }

PdfValue* PdfFileParser::NuevoValue(const std::string& class_name) {
  if (class_name == "PdfDiccionario") return NewDictionary();
  if (class_name == "PdfArray") return NewArray();
  if (class_name == "PdfKeyValuePair") return NewPair();
  if (class_name == "PdfValue") return NewSimple(0, std::string());
  throw _kelvra_runtime_error(errtext::kValueNew);
}

PdfDiccionario* PdfFileParser::NewDictionary() { return pool_.Adopt<PdfDiccionario>(PdfValue::Kind::Dictionary, this); }
PdfArray* PdfFileParser::NewArray() { return pool_.Adopt<PdfArray>(PdfValue::Kind::Array, this); }
PdfKeyValuePair* PdfFileParser::NewPair() { return pool_.Adopt<PdfKeyValuePair>(PdfValue::Kind::KeyValuePair, this); }

PdfValue* PdfFileParser::NewSimple(int native_type, const char* text, size_t size) {
  PdfValue* v = pool_.Adopt<PdfValue>(PdfValue::Kind::Value, this);
  v->native_type = native_type;
  v->text.clear();  // (clear and append: cheaper than assign)
  v->text.append(text, size);
  return v;
}

PdfValue* PdfFileParser::NewSimple(int native_type, std::string text) {
  PdfValue* v = pool_.Adopt<PdfValue>(PdfValue::Kind::Value, this);
  v->native_type = native_type;
  v->text = std::move(text);
  return v;
}

bool PdfFileParser::ReleaseValuesFrom(size_t mark) {
  if (!pool_.ReleaseFrom(mark)) return false;
  objstms_.ForgetLast();  // its dictionary may be among them
  return true;
}

PdfDiccionario* PdfFileParser::FindInObjectStream(int64_t objstm_number, int64_t number, int32_t index,
                                                  int32_t* found_index, int64_t* value_offset) {
  return objstms_.Find(objstm_number, number, index, found_index, value_offset);
}

void PdfFileParser::ReleaseObjectStream(int64_t objstm_number) { objstms_.Release(objstm_number); }

void PdfFileParser::DecodeObjectStreamsAhead(std::vector<int64_t> order) { ahead_.Start(std::move(order)); }

bool PdfFileParser::TakeDecodedAhead(PdfDiccionario* d, int64_t offset, int64_t length, std::vector<uint8_t>& out) {
  return ahead_.Take(d, offset, length, out);
}

void PdfFileParser::ResetForRecovery() {
  // Everything the failed read made goes; the limits on work already done
  // (decoding, object text) keep counting.
  ahead_.Stop();
  decryption_.Reset();
  recovery_.Reset();
  xrefList.clear();
  pool_.Clear();
  objstms_.Clear();
  indirect_lengths_.clear();
  xref_.Reset();
  nesting_ = 0;
  fetch_depth_ = 0;
}

PdfValue* PdfFileParser::DameObjeto(const std::string& reference) {
  if (reference.size() < 2 || reference.compare(reference.size() - 2, 2, " R") != 0)
    throw _kelvra_runtime_error(errtext::kOffsetReference);
  const size_t blank = reference.find(' ');
  return DameObjeto(StringToInt64(reference.substr(0, blank)), StringToInt64(reference.substr(blank + 1)));
}

PdfValue* PdfFileParser::DameObjeto(int64_t number, int64_t generation) {
  if (PdfValue* cached = BuscarObjetoEnCache(number, generation)) return cached;
  if (PdfValue* made = recovery_.Made(number, generation)) return made;
  if (generation < 0 || generation > UINT32_MAX) throw _kelvra_runtime_error(errtext::kNoOffset);
  const XRefEntry* e = index_.Find(number, static_cast<uint32_t>(generation));
  // An object found elsewhere by an earlier fetch is read there again.
  const PdfXRefScanner::Object* moved = recovery_.RelocatedAs(number, generation);
  // Offset 0 is the header's: a listed object there is damage, met below.
  if ((e == nullptr || (e->location == 0 && !repair_)) && moved == nullptr)
    throw _kelvra_runtime_error(errtext::kNoOffset);

  // Fetches start one another (an indirect /Length, an object stream);
  // a bounded depth ends any cycle among them.
  struct DepthGuard {
    int& d;
    explicit DepthGuard(int& depth) : d(depth) {
      if (++d > pdflimits::kMaxFetchDepth) {
        --d;
        throw _kelvra_runtime_error(errtext::kFetchRecursion);
      }
    }
    ~DepthGuard() { --d; }
  } guard(fetch_depth_);

  if (moved != nullptr) return ReadObjectAt(moved->offset, number, generation);
  const size_t mark = ValueMark();
  try {
    if (e->type == XRefEntry::kCompressed) {
      // An object stream listed inside itself would be fetched without end.
      if (repair_ && e->location == static_cast<uint64_t>(number))
        throw _kelvra_runtime_error(errtext::kObjStmSelfReference);
      PdfKeyValuePair holder;
      ParseObjectStream(holder, static_cast<int64_t>(e->location), number, e->index);
      return holder.value;
    }
    if (e->location >= static_cast<uint64_t>(file_size_)) throw _kelvra_runtime_error(errtext::kDictionaryToken);
    return ReadObjectAt(static_cast<int64_t>(e->location), number, generation);
  } catch (const _kelvra_runtime_error& failure) {
    // A damaged file may list a wrong offset, or an object stream that does
    // not hold the object: it is looked up in a scan of the file before it
    // is given up.
    if (!Repairable(failure)) throw;
    ReleaseValuesFrom(mark);
    const bool plain = e->type != XRefEntry::kCompressed;
    const PdfXRefScanner::Object* found = recovery_.ScannedHeader(number);
    // Listed under a generation of its own: callers may ask for that one.
    if (found != nullptr && found->generation != generation && recovery_.Relocate(number, *found))
      report_.Rebuilt("object " + std::to_string(number) + " found with generation " +
                      std::to_string(found->generation) + ", not " + std::to_string(generation));
    if (found == nullptr || found->generation != generation ||
        (plain && found->offset == static_cast<int64_t>(e->location))) {
      if (plain && e->location == 0) throw _kelvra_runtime_error(errtext::kNoOffset);
      throw;
    }
    report_.Rebuilt("object " + std::to_string(number) + " found at offset " + std::to_string(found->offset) +
                    (plain ? ", not " + std::to_string(e->location)
                           : std::string(", not in object stream ") + std::to_string(e->location)));
    recovery_.Relocate(number, *found);
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
    throw _kelvra_runtime_error(errtext::kWrongObject);
  inputStream->Seek(at, 1);
  PdfKeyValuePair holder;
  ParseDiccionario(holder, *inputStream);
  CountObjectText(static_cast<uint64_t>(inputStream->Tell() - at));
  // The strings of an object of its own are encrypted with its key; those
  // of object-stream members were decrypted with the object stream's data.
  if (decryption_.Active() && number != decryption_.EncryptObjectNumber()) {
    try {
      decryption_.DecryptStrings(holder.value, number, generation, true);
    } catch (...) {
      // Half-decrypted values must not be found again in the cache.
      OlvidarObjetoEnCache(number, generation, holder.value);
      throw;
    }
  }
  return holder.value;
}

void PdfFileParser::CountObjectText(uint64_t n) {
  // In a sound file objects do not overlap, so the text read for them stays
  // within a few times what the file and its decoded streams hold (objects
  // let go after writing are read again). An object whose string runs over
  // all the objects after it would otherwise be read again for each of them.
  object_text_bytes_ += n;
  const uint64_t budget = pdflimits::kObjectTextFactor * (static_cast<uint64_t>(file_size_) + decode_bytes_) +
                          pdflimits::kObjectTextSlackBytes;
  if (object_text_bytes_ > budget) throw _kelvra_runtime_error(errtext::kObjectTextLimit);
}

void PdfFileParser::CountDecodedBytes(uint64_t n) {
  if (n > pdflimits::kMaxTotalDecodeBytes - decode_bytes_) throw _kelvra_runtime_error(errtext::kDecompressLimit);
  decode_bytes_ += n;
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

void PdfFileParser::StreamExtent(PdfDiccionario* d, const ErrorCatalogue::Entry& no_length_message, int64_t* offset,
                                 int64_t* length, bool* trusted) {
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
    if (!repair_) throw _kelvra_runtime_error(errtext::kNoEndstream);
    end = recovery_.EndOfUnclosedStream(start);
    report_.Rebuilt("the end of object " + std::to_string(d->obj_number) + "'s stream, which has no endstream");
  }
  *offset = start;
  *length = end - start;
}

void PdfFileParser::Parse(PdfStream& s) {
  inputStream = &s;
  try {
    ParseAsWritten(s);
    // Repairing, a catalog without a page tree is damage too (a missing or
    // freed catalog, wrong generations): two fetches tell.
    if (repair_) {
      const size_t mark = ValueMark();
      PdfValue* root = BuscarEnTrailer("/Root", false);
      const bool sound = root != nullptr && root->native_type == NATIVE_REFERENCE && recovery_.IsCatalog(root->text);
      ReleaseValuesFrom(mark);
      if (!sound) throw _kelvra_runtime_error(errtext::kParseNoCatalog);
    }
  } catch (const _kelvra_runtime_error& e) {
    if (!Repairable(e)) throw;
    recovery_.Recover(s, e);
  }
  // Before any object is fetched for writing or checking: signature
  // dictionaries must be known as such before they are decrypted. The
  // values read for it are let go, so that what follows reads as before.
  const size_t mark = ValueMark();
  promises_ = PdfPromises::Read(*this);
  ReleaseValuesFrom(mark);
}

bool PdfFileParser::KeepsContents(PdfDiccionario* d, int64_t number, bool whole) const {
  return PdfPromises::IsSignatureDictionary(d) || (whole && SignatureObject(number));
}

void PdfFileParser::ParseAsWritten(PdfStream& s) {
  s.Seek(0, 1);
  if (!EsArchivoPdf(s)) throw _kelvra_runtime_error(errtext::kNotPdf);
  s.Seek(0, 3);
  file_size_ = s.Tell();
  const int64_t start = LeerStartAddress(s);
  if (start <= 0) throw _kelvra_runtime_error(errtext::kStartAddress);
  ParseCrossReference(start, s);
  index_.Build(xrefList);
  decryption_.Open();
}

bool PdfFileParser::EsArchivoPdf(PdfStream& s) {
  // Fewer bytes than a header: a PDF file cut short only if they start like
  // one (the read below then fails as any truncated file does).
  char head[6];
  const int64_t start = s.Tell();
  s.Seek(0, 3);
  const size_t have = static_cast<size_t>(std::clamp<int64_t>(s.Tell() - start, 0, sizeof head));
  s.Seek(start, 1);
  if (have < sizeof head) {
    if (have == 0) return false;
    s.Leer(head, have);
    if (std::memcmp(head, "%PDF-", std::min<size_t>(have, 5)) != 0) return false;
    s.Seek(start, 1);
  }
  s.Leer(head, sizeof head);
  return std::memcmp(head, "%PDF-", 5) == 0;
}

std::string PdfFileParser::OffsetObjeto(const std::string& reference) {
  if (reference.size() < 2 || reference.compare(reference.size() - 2, 2, " R") != 0)
    throw _kelvra_runtime_error(errtext::kOffsetReference);
  const size_t blank = reference.find(' ');
  return OffsetObjeto(StringToInt64(reference.substr(0, blank)), StringToInt64(reference.substr(blank + 1)));
}

std::string PdfFileParser::OffsetObjeto(int64_t number, int64_t generation) {
  if (generation < 0 || generation > UINT32_MAX) throw _kelvra_runtime_error(errtext::kNoOffset);
  const XRefEntry* e = index_.Find(number, static_cast<uint32_t>(generation));
  if (e == nullptr || e->location == 0) throw _kelvra_runtime_error(errtext::kNoOffset);
  if (e->type == XRefEntry::kInUse) return std::to_string(e->location);
  // Inside an object stream, which must itself lie directly in the file.
  const XRefEntry* stm = index_.Find(static_cast<int64_t>(e->location), 0);
  if (stm == nullptr || stm->type != XRefEntry::kInUse || stm->location == 0)
    throw _kelvra_runtime_error(errtext::kNoOffset);
  return std::to_string(stm->location) + " " + std::to_string(e->index);
}

PdfValue* PdfFileParser::BuscarEnTrailer(const std::string& key, bool resolve) {
  for (const auto& r : xrefList) {
    PdfValue* v = nullptr;
    if (r->trailer != nullptr) v = r->trailer->GetValue(key, resolve);
    if (v == nullptr && r->streamDict != nullptr) v = r->streamDict->GetValue(key, resolve);
    if (v != nullptr) return v;
  }
  return nullptr;
}
