// Decode-ahead feeding of PdfFileParser.
#include "pdf/pdfdecodeaheadfeeder.h"

#include <exception>
#include <string>
#include <system_error>
#include <thread>

#include "base/kelvraruntimeerror.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"

namespace {

// Whether stream d's data is Flate alone, named directly, with no
// parameters: the only kind decoded ahead.
bool InflatesAlone(PdfDiccionario* d) {
  PdfValue* filter = d->GetValue("/Filter", false);
  return filter != nullptr && filter->kind() == PdfValue::Kind::Value && filter->native_type == NATIVE_NAME &&
         filter->text == "/FlateDecode" && d->GetValue("/DecodeParms", false) == nullptr;
}

}  // namespace

void PdfDecodeAheadFeeder::Start(std::vector<int64_t> order) {
  decode_ahead_.reset();
  ahead_order_.clear();
  ahead_next_ = 0;
  // One object stream, or one core, gains nothing; the stored data of an
  // encrypted file are decrypted first, on this thread.
  if (!parser_.helper_threads_ || parser_.Decryption() != nullptr || order.size() < 2 ||
      std::thread::hardware_concurrency() < 2)
    return;
  try {
    decode_ahead_ = std::make_unique<PdfDecodeAhead>();
  } catch (const std::system_error&) {
    return;  // no thread to be had: every object stream is decoded when needed
  }
  ahead_order_ = std::move(order);
}

void PdfDecodeAheadFeeder::Feed() {
  // Not again from inside a fetch that feeding made.
  if (!decode_ahead_ || feeding_) return;
  feeding_ = true;
  while (ahead_next_ < ahead_order_.size() && !decode_ahead_->Full()) Submit(ahead_order_[ahead_next_++]);
  feeding_ = false;
}

void PdfDecodeAheadFeeder::Submit(int64_t objstm_number) {
  // The dictionary is read again when the object stream is needed: its
  // values go now, so the caller's value marks hold what they held.
  const size_t mark = parser_.ValueMark();
  try {
    const XRefEntry* e = parser_.index_.Find(objstm_number, 0);
    PdfValue* v = (e != nullptr && e->type == XRefEntry::kInUse) ? parser_.DameObjeto(objstm_number, 0) : nullptr;
    auto* d = (v != nullptr && v->kind() == PdfValue::Kind::Dictionary) ? static_cast<PdfDiccionario*>(v) : nullptr;
    auto is = [d](const char* key, int type, const char* text) {
      PdfValue* x = d->GetValue(key, false);
      return x != nullptr && x->kind() == PdfValue::Kind::Value && x->native_type == type &&
             (text == nullptr || x->text == text);
    };
    if (d != nullptr && d->IsStream() && !d->stream_decoded && is("/Type", NATIVE_NAME, "/ObjStm") &&
        is("/Length", NATIVE_NUMBER, nullptr) && InflatesAlone(d)) {
      int64_t offset = 0, length = 0;
      parser_.StreamExtent(d, errtext::kStreamNoLength, &offset, &length);
      if (length > 0 && static_cast<uint64_t>(length) <= PdfDecodeAhead::kMaxJobDecodedBytes) {
        std::vector<uint8_t> stored(static_cast<size_t>(length));
        parser_.inputStream->Seek(offset, 1);
        parser_.inputStream->Leer(stored.data(), stored.size());
        decode_ahead_->Submit(objstm_number, offset, std::move(stored));
      }
    }
  } catch (const _kelvra_runtime_error&) {
    // Met again, at its time, by the reader's own decoding.
  } catch (const std::exception&) {
  }
  parser_.ReleaseValuesFrom(mark);
}

bool PdfDecodeAheadFeeder::Take(PdfDiccionario* d, int64_t offset, int64_t length, std::vector<uint8_t>& out) {
  if (!decode_ahead_ || d->obj_number < 0 || !InflatesAlone(d)) return false;
  const ErrorCatalogue::Entry* error = nullptr;
  switch (decode_ahead_->Take(d->obj_number, offset, length, &out, &error)) {
    case PdfDecodeAhead::Outcome::kNone:
      return false;
    case PdfDecodeAhead::Outcome::kFailed:
      throw _kelvra_runtime_error(*error);
    case PdfDecodeAhead::Outcome::kDecoded:
      break;
  }
  return true;
}
