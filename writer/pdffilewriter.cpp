#include "writer/pdffilewriter.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>
#include <vector>

#include "pdf/pdfdecryption.h"
#include "crypt/pdfobjectcipher.h"
#include "crypt/pdfsecurityhandler.h"
#include "base/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdfkeyvaluepair.h"
#include "base/pdflimits.h"
#include "base/pdfmemorystream.h"

PdfFileWriter::PdfFileWriter() : buffer_(new char[kOutputBufferBytes]) {}

PdfFileWriter::~PdfFileWriter() = default;

void PdfFileWriter::OutLarge(const char* data, size_t n) {
  Flush();
  if (n >= kOutputBufferBytes) {
    output_->write(data, static_cast<std::streamsize>(n));
    if (!*output_) throw _kelvra_runtime_error(errtext::kWriteOutput);
    flushed_ += n;
    return;
  }
  std::memcpy(buffer_.get(), data, n);
  used_ = n;
}

char* PdfFileWriter::OutSpace(size_t n) {
  if (n > kOutputBufferBytes) return nullptr;
  if (n > kOutputBufferBytes - used_) Flush();
  return buffer_.get() + used_;
}

void PdfFileWriter::OutNumber(int64_t n) {
  char digits[24];
  const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, n);
  Out(digits, static_cast<size_t>(r.ptr - digits));
}

void PdfFileWriter::OutName(const std::string& name) {
  if (char* p = OutSpace(1 + 3 * name.size())) {
    used_ = static_cast<size_t>(FormatNameTo(p, name) - buffer_.get());
  } else {
    Out(FormatName(name));
  }
}

void PdfFileWriter::OutEscaped(const uint8_t* data, size_t len) {
  if (char* p = OutSpace(2 * len)) {
    used_ = static_cast<size_t>(EscapeLiteralStringTo(p, data, len) - buffer_.get());
  } else {
    std::string escaped;
    AppendEscapedLiteralString(escaped, data, len);
    Out(escaped);
  }
}

void PdfFileWriter::Flush() {
  if (used_ == 0) return;
  output_->write(buffer_.get(), static_cast<std::streamsize>(used_));
  if (!*output_) throw _kelvra_runtime_error(errtext::kWriteOutput);
  flushed_ += used_;
  used_ = 0;
}

void PdfFileWriter::WriteDocument(PdfStream& input, std::ostream& output) {
  output_ = &output;
  Parse(input);
  if (check_promises_) check_promises_(Promises());
  WriteHeader();
  // Objects in the order the cross-reference data list them, newest section
  // first; each object number once, in the version lookups give.
  const std::vector<const XRefEntry*> objects = DocumentObjects();
  // The table gets an entry per object, and a few more at the end.
  objects_written_ = objects.size();
  table.Reserve(objects.size() + 16);
  PlanObjects(objects);
  // How many members each object stream has left to list. After the last,
  // its decoded data and its dictionary (with the values made since its
  // first member) are released, so that in the usual layout (members listed
  // together) one object stream is held at a time, not all of them.
  struct Members {
    size_t left = 0;
    size_t mark = 0;  // values alive before its first member
    bool started = false;
    bool written = false;  // a member was written
  };
  std::unordered_map<int64_t, Members> members;
  std::vector<int64_t> first_needed;  // object streams, in the order first needed
  for (const XRefEntry* e : objects) {
    if (e->type != XRefEntry::kCompressed) continue;
    Members& m = members[static_cast<int64_t>(e->location)];
    if (m.left++ == 0) first_needed.push_back(static_cast<int64_t>(e->location));
  }
  DecodeObjectStreamsAhead(std::move(first_needed));
  int64_t run_number = -1;  // object stream of the previous member
  Members* run = nullptr;
  for (size_t position = 0; position < objects.size(); ++position) {
    const XRefEntry* e = objects[position];
    object_position_ = position;
    // The input's Encrypt dictionary is no part of what is written.
    if (e->number == EncryptObjectNumber()) continue;
    // An object stream listed before its members: its header is read first,
    // so that one to be unpacked is not copied.
    if (e->type != XRefEntry::kCompressed && members.count(e->number) != 0) ReadObjectStreamHeaderFirst(e->number);
    if (Unpacked(e->type == XRefEntry::kCompressed ? static_cast<int64_t>(e->location) : e->number)) {
      // A repaired object stream's members are written whole; it is not.
      if (e->type == XRefEntry::kCompressed) {
        const size_t mark = ValueMark();
        WriteObject(input, e->number, e->generation);
        ReleaseValuesFrom(mark);
      }
    } else if (e->type == XRefEntry::kCompressed) {
      // Stays inside its object stream, which is written as an ordinary
      // stream. The object stream must really hold it: a reader finds it by
      // the index written here.
      int32_t found_index = -1;
      int64_t value_offset = 0;
      const auto stm_number = static_cast<int64_t>(e->location);
      if (stm_number != run_number) {
        run_number = stm_number;
        run = &members[stm_number];
        if (!run->started) {
          run->started = true;
          run->mark = ValueMark();
        }
      }
      // A damaged file's member that its object stream does not hold (or
      // holds only after repair) is written whole, when found, else left out.
      bool whole = false;
      try {
        FindInObjectStream(stm_number, e->number, e->index, &found_index, &value_offset);
        // In a repaired file the member must also read there.
        if (RepairReport().repaired) DameObjeto(e->number, e->generation);
        // The object stream must also be what is written under its number: a
        // damaged file's newer version of it, listed inside another object
        // stream, is written whole, and the members with it.
        const XRefEntry* stm = Index().Find(stm_number, 0);
        whole = Unpacked(stm_number) || Relocated(e->number) || WritesOnItsOwn(e->number) || stm == nullptr ||
                stm->type != XRefEntry::kInUse;
      } catch (const _kelvra_runtime_error& failure) {
        if (!Repairable(failure)) throw;
        whole = true;
      }
      if (whole) {
        WriteObject(input, e->number, e->generation);
      } else {
        table.AddEntry(e->number, 2, e->location, static_cast<uint32_t>(found_index));
        run->written = true;
      }
      if (--run->left == 0) {
        ReleaseObjectStream(stm_number);
        ReleaseValuesFrom(run->mark);
      }
    } else {
      // Once written, the object's values are needed no more: releasing
      // them keeps memory flat however many objects the document has.
      const size_t mark = ValueMark();
      WriteObject(input, e->number, e->generation);
      ReleaseValuesFrom(mark);
    }
  }
  DecodeObjectStreamsAhead({});
  // Every object stream that compressed entries name must have been written
  // as an object of its own.
  for (const auto& m : members) {
    const int64_t stm = m.first;
    if (!m.second.written) continue;
    PdfXRefStreamEntry entry{};
    if (!table.FindEntry(stm, entry) || entry.type != 1) throw _kelvra_runtime_error(errtext::kNoOffset);
    ReleaseObjectStream(stm);
  }
  // Numbers listed only as free, and the input's own cross-reference
  // streams, become free entries.
  for (const auto& r : xrefList) {
    for (const XRefEntry& e : r->entries) {
      if (e.number != 0 && !table.HasEntry(e.number) &&
          (e.type == XRefEntry::kFree || IsXRefStreamObject(e.number, r->section)))
        table.AddEntry(e.number, 0, static_cast<uint64_t>(e.number), e.generation);
    }
  }
  WriteDocumentEnd(input);
  Flush();
  output.flush();
  if (!output) throw _kelvra_runtime_error(errtext::kWriteOutput);
}

void PdfFileWriter::PlanObjects(const std::vector<const XRefEntry*>& objects) {
  if (!cipher_ || !HelperThreads() || !cipher_->PlansAhead(objects.size())) return;
  // Objects inside object streams are not encrypted on their own. Any
  // object whose numbers do not fit a plan gets its key when written.
  std::vector<PdfObjectCipher::Planned> planned;
  for (size_t i = 0; i < objects.size() && i <= UINT32_MAX; ++i) {
    const XRefEntry* e = objects[i];
    if (e->type == XRefEntry::kCompressed || e->number < 0 || e->number > UINT32_MAX) continue;
    planned.push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(e->number), e->generation});
  }
  cipher_->PlanAhead(std::move(planned));
}

const char* PdfFileWriter::HeaderVersion() const { return handler_ != nullptr ? handler_->HeaderVersion() : "1.5"; }

int64_t PdfFileWriter::WrittenStreamLength(int64_t length) const {
  return cipher_ ? static_cast<int64_t>(cipher_->EncryptedSize(static_cast<uint64_t>(length))) : length;
}

void PdfFileWriter::EncryptWith(const PdfSecurityHandler& handler) {
  handler_ = &handler;
  cipher_ = handler.NewCipher();
}

void PdfFileWriter::StopEncrypting() {
  cipher_.reset();
  handler_ = nullptr;
}

void PdfFileWriter::WriteEncryptedString(std::string bytes, int64_t number, int64_t generation) {
  // The parsed value is never changed: the copy is encrypted, then escaped.
  cipher_->SetPosition(object_position_);
  PdfFileWriter::WriteLiteralString(cipher_->EncryptString(number, generation, std::move(bytes)), number, generation);
}

void PdfFileWriter::WriteEncryptedStreamData(PdfStream& input, int64_t offset, int64_t length, int64_t number,
                                             int64_t generation) {
  cipher_->SetPosition(object_position_);
  uint8_t edge[PdfObjectCipher::kMaxExtraBytes];
  Out(reinterpret_cast<const char*>(edge), cipher_->Start(number, generation, edge));
  CopyStreamData(input, offset, length, cipher_.get());
  Out(reinterpret_cast<const char*>(edge), cipher_->Finish(edge));
}

void PdfFileWriter::WriteEncryptedDocumentEnd(PdfStream& input) {
  encrypt_number_ = table.GetMaxObjectNumber() + 1;
  table.AddEntry(encrypt_number_, 1, OutPosition(), 0);
  Out(handler_->EncryptObjectText(encrypt_number_));
  PdfFileWriter::WriteDocumentEnd(input);
}

void PdfFileWriter::WriteEncryptTrailerEntries() { Out(handler_->TrailerEntriesText(encrypt_number_)); }

void PdfFileWriter::WriteHeader() {
  Out("%PDF-");
  Out(HeaderVersion(), std::strlen(HeaderVersion()));
  Out("\n");
  // Object 0 heads the list of free objects.
  table.AddEntry(0, 0, 0, 0);
}

void PdfFileWriter::WriteObject(PdfStream& input, int64_t number, int64_t generation) {
  PdfValue* value = nullptr;
  try {
    value = DameObjeto(number, generation);
  } catch (const _kelvra_runtime_error& failure) {
    // A damaged file's object listed under a wrong generation is written
    // under its own; an unreadable one is left out (and noted).
    int64_t own = 0;
    if (Repairable(failure) && FoundUnderGeneration(number, generation, &own)) {
      WriteObject(input, number, own);
      return;
    }
    if (!LeaveOut(number, failure)) throw;
    // Listed as free, so that readers know it is gone.
    table.AddEntry(number, 0, static_cast<uint64_t>(number), static_cast<uint32_t>(generation));
    return;
  }
  table.AddEntry(number, 1, OutPosition(), static_cast<uint32_t>(generation));
  OutNumber(number);
  Out(" ");
  OutNumber(generation);
  Out(" obj\n");
  if (value == nullptr) {
    Out("null ");  // an object whose body holds no value
  } else {
    object_value_ = value;
    WriteObjectValue(value, input, number, generation);
  }
  Out("endobj\n");
  if (known_forms_ != nullptr) known_forms_->Record(*this, number, value);
}

void PdfFileWriter::WriteValue(PdfValue* value, PdfStream& input, int64_t number, int64_t generation) {
  // A dictionary entry whose value never came ("/Key ]", "/Key endobj")
  // holds no value: it is written as the null object, which means the same.
  if (value == nullptr) {
    Out("null ");
    return;
  }
  switch (value->kind()) {
    case PdfValue::Kind::Dictionary:
      WriteDictionary(static_cast<PdfDiccionario*>(value), input, number, generation);
      return;
    case PdfValue::Kind::Array:
      WriteArray(static_cast<PdfArray*>(value), input, number, generation);
      return;
    case PdfValue::Kind::KeyValuePair:
      throw _kelvra_runtime_error(errtext::kNoClassType);
    case PdfValue::Kind::Value:
      break;
  }
  switch (value->native_type) {
    case NATIVE_NUMBER:
    case NATIVE_REFERENCE:
    case NATIVE_KEYWORD:
      Out(value->text);
      break;
    case NATIVE_NAME:
      OutName(value->text);
      break;
    case NATIVE_STRING:
      Out("(");
      WriteLiteralString(value->text, number, generation);
      Out(")");
      break;
    case NATIVE_HEXSTRING:
      Out("(");
      WriteLiteralString(HexToBytes(value->text), number, generation);
      Out(")");
      break;
    default:
      throw _kelvra_runtime_error(errtext::kNativeType);
  }
  Out(" ");
}

void PdfFileWriter::WriteDictionary(PdfDiccionario* d, PdfStream& input, int64_t number, int64_t generation) {
  int64_t offset = 0, length = 0;
  bool length_trusted = true;
  std::vector<uint8_t> plain;  // the data of an encrypted input, decrypted
  bool decrypted = false;
  if (d->IsStream()) {
    StreamExtent(d, errtext::kStreamNoLength, &offset, &length, &length_trusted);
    // No two streams of a sound file share data, so all the data copied fits
    // in the input. More means streams run over other objects (a wrong
    // /Length with "endstream" far away): copying on would make the output
    // grow with the square of the input.
    stream_bytes_copied_ += length;
    if (stream_bytes_copied_ > FileSize()) throw _kelvra_runtime_error(errtext::kStreamDataLimit);
    decrypted = ReadDecryptedStream(d, offset, length, &plain);
  }
  // "/Length" is written anew when it was wrong (the length of the data
  // actually copied) or when the data change length as they are written.
  const int64_t data_length = decrypted ? static_cast<int64_t>(plain.size()) : length;
  const int64_t written_length = d->IsStream() ? WrittenStreamLength(data_length) : 0;
  const bool new_length = d->IsStream() && (!length_trusted || written_length != length);
  // A signature's /Contents is what was signed over: never encrypted.
  const bool signature = KeepsContents(d, number, d == object_value_);
  Out("<<\n");
  for (const PdfKeyValuePair* pair : d->pairs) {
    const auto copied =
        decrypted ? PdfDecryption::CopyAfterDecryption(d, pair->key) : PdfDecryption::CopiedEntry::kAsIs;
    if (copied == PdfDecryption::CopiedEntry::kLeftOut) continue;
    OutName(pair->key);
    Out(" ");
    if (new_length && Is(pair->key, "/Length")) {
      OutNumber(written_length);
      Out(" ");
    } else if (signature && Is(pair->key, "/Contents") && pair->value != nullptr &&
               pair->value->kind() == PdfValue::Kind::Value &&
               (pair->value->native_type == NATIVE_STRING || pair->value->native_type == NATIVE_HEXSTRING)) {
      const PdfValue* v = pair->value;
      Out("(");
      PdfFileWriter::WriteLiteralString(v->native_type == NATIVE_STRING ? v->text : HexToBytes(v->text), number,
                                        generation);
      Out(") ");
    } else if (copied == PdfDecryption::CopiedEntry::kWithoutFirst) {
      WriteArray(static_cast<PdfArray*>(d->GetValue(pair->key, true)), input, number, generation, 1);
    } else {
      WriteValue(pair->value, input, number, generation);
    }
    Out("\n");
  }
  if (d->IsStream() &&
      std::none_of(d->pairs.begin(), d->pairs.end(), [](const PdfKeyValuePair* p) { return Is(p->key, "/Length"); })) {
    // A damaged file's stream without "/Length", repaired: it gets one, of
    // the data as written (encrypted data may be longer).
    Out("/Length ");
    OutNumber(written_length);
    Out("\n");
  }
  Out(">>\n");
  if (d->IsStream()) {
    Out("stream\n");
    if (decrypted) {
      PdfMemoryStream data(plain.data(), plain.size());
      WriteStreamData(data, 0, data_length, number, generation);
    } else {
      WriteStreamData(input, offset, length, number, generation);
    }
    Out("\nendstream\n");
  }
}

void PdfFileWriter::WriteArray(PdfArray* a, PdfStream& input, int64_t number, int64_t generation, size_t first) {
  Out(" [ ");
  for (size_t i = first; i < a->elements.size(); ++i) WriteValue(a->elements[i], input, number, generation);
  Out("] ");
}

void PdfFileWriter::WriteLiteralString(std::string bytes, int64_t, int64_t) {
  OutEscaped(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void PdfFileWriter::WriteStreamData(PdfStream& input, int64_t offset, int64_t length, int64_t, int64_t) {
  CopyStreamData(input, offset, length, nullptr);
}

void PdfFileWriter::CopyStreamData(PdfStream& input, int64_t offset, int64_t length, PdfObjectCipher* cipher) {
  input.Seek(offset, 1);
  while (length > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(pdflimits::kCopyChunkBytes)));
    // A piece that fits the output buffer is read and encrypted in place
    // there (with room for what the cipher adds); larger ones go through a
    // chunk buffer kept for the whole run.
    const size_t room = cipher != nullptr ? n + PdfObjectCipher::kMaxExtraBytes : n;
    char* piece = room <= kOutputBufferBytes ? OutSpace(room) : nullptr;
    if (piece == nullptr) {
      if (!copy_chunk_) copy_chunk_.reset(new char[pdflimits::kCopyChunkBytes + PdfObjectCipher::kMaxExtraBytes]);
      piece = copy_chunk_.get();
    }
    input.Leer(piece, n);
    size_t written = n;
    if (cipher != nullptr) {
      auto* bytes = reinterpret_cast<uint8_t*>(piece);
      written = cipher->Update(bytes, n, bytes);
    }
    if (piece == copy_chunk_.get()) {
      Out(piece, written);
    } else {
      used_ += written;
    }
    length -= static_cast<int64_t>(n);
  }
}

bool PdfFileWriter::NamesWrittenObject(const PdfValue* v) const {
  if (v == nullptr || v->kind() != PdfValue::Kind::Value || v->native_type != NATIVE_REFERENCE) return false;
  PdfXRefStreamEntry entry{};
  const int64_t number = StringToInt64(v->text.substr(0, v->text.find(' ')));
  return table.FindEntry(number, entry) && entry.type != 0;
}

void PdfFileWriter::WriteTrailerEntries(PdfStream&) {}

void PdfFileWriter::WriteDocumentEnd(PdfStream& input) {
  // The catalog: the newest trailer's "/Root", which must name a dictionary
  // this file contains. It is looked up in the table before it is fetched,
  // so that a "/Root" naming a missing object fails with the same message
  // as no "/Root" at all.
  PdfValue* root_ref = BuscarEnTrailer("/Root", false);
  PdfValue* root = NamesWrittenObject(root_ref) ? DameObjeto(root_ref->text) : nullptr;
  if (root == nullptr || root->kind() != PdfValue::Kind::Dictionary || root->obj_number < 0)
    throw _kelvra_runtime_error(errtext::kNoRoot);
  // The document information dictionary is carried over when the newest
  // trailer that has one names an object of this file.
  PdfValue* info = BuscarEnTrailer("/Info", false);
  const std::string info_text = NamesWrittenObject(info) ? info->text : std::string();

  const int64_t n = table.GetMaxObjectNumber() + 1;
  const uint64_t start = OutPosition();
  table.AddEntry(n, 1, start, 0);
  OutNumber(n);
  Out(" 0 obj\n<<\n");
  WriteTrailerEntries(input);
  Out("/Index " + table.IndexArrayText() + "\n");
  Out("/Size ");
  OutNumber(table.GetMaxObjectNumber() + 1);
  Out("\n/Type /XRef\n/Filter /FlateDecode\n/W " + table.WidthsText() + "\n");
  Out("/Root ");
  OutNumber(root->obj_number);
  Out(" ");
  OutNumber(root->obj_generation);
  Out(" R\n");
  if (!info_text.empty()) Out("/Info " + info_text + "\n");
  const std::string data = table.BuildStreamData(true);
  Out("/Length ");
  OutNumber(static_cast<int64_t>(data.size()));
  Out("\n>>\nstream\n");
  Out(data);
  Out("\nendstream\nendobj\nstartxref\n");
  Out(std::to_string(start));
  Out("\n%%EOF");
}
