#include "pdf/pdfdocumentcomparer.h"

#include <algorithm>
#include <cstring>

#include "pdf/pdfdecryption.h"
#include "base/besidethread.h"
#include "base/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdfkeyvaluepair.h"
#include "base/pdfsyntaxformatter.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

constexpr size_t kChunkObjects = 4096;

// A canonical form: tagged, length-prefixed pieces, so that no two forms
// run together. The length takes 7 bits a byte, low first (most pieces are
// short: one). Kept in a buffer of its own, reused, grown by doubling.
class Form {
 public:
  void Clear() { used_ = 0; }
  const char* data() const { return buffer_.data(); }
  size_t size() const { return used_; }
  void Piece(char tag, const void* data, size_t size) {
    if (buffer_.size() - used_ < size + 11) buffer_.resize(std::max(2 * buffer_.size(), used_ + size + 11));
    char* p = buffer_.data() + used_;
    *p++ = tag;
    size_t n = size;
    for (; n >= 0x80; n >>= 7) *p++ = static_cast<char>(0x80 | (n & 0x7F));
    *p++ = static_cast<char>(n);
    Copy(p, static_cast<const char*>(data), size);
    used_ = static_cast<size_t>(p - buffer_.data()) + size;
  }
  void Mark(char tag) { Piece(tag, nullptr, 0); }

 private:
  // Most pieces are a few bytes: copied by fixed-size moves, not a call.
  static void Copy(char* to, const char* from, size_t size) {
    if (size > 16) {
      std::memcpy(to, from, size);
    } else if (size >= 8) {
      std::memcpy(to, from, 8);
      std::memcpy(to + size - 8, from + size - 8, 8);
    } else if (size >= 4) {
      std::memcpy(to, from, 4);
      std::memcpy(to + size - 4, from + size - 4, 4);
    } else if (size > 0) {
      to[0] = from[0];
      to[size / 2] = from[size / 2];
      to[size - 1] = from[size - 1];
    }
  }

  std::vector<char> buffer_ = std::vector<char>(256);
  size_t used_ = 0;
};

PdfDocumentComparer::Digest DigestOfBytes(const void* data, size_t size) {
  const XXH128_hash_t h = XXH3_128bits(data, size);
  PdfDocumentComparer::Digest digest;
  for (int i = 0; i < 8; ++i) {
    digest[i] = static_cast<uint8_t>(h.low64 >> (8 * i));
    digest[8 + i] = static_cast<uint8_t>(h.high64 >> (8 * i));
  }
  return digest;
}

bool IsNull(const PdfValue* v) {
  return v == nullptr || (v->kind() == PdfValue::Kind::Value && v->native_type == NATIVE_KEYWORD && v->text == "null");
}

void Canonical(PdfFileParser& parser, PdfValue* v, bool catalog, Form* out) {
  if (IsNull(v)) {
    out->Mark('n');
    return;
  }
  switch (v->kind()) {
    case PdfValue::Kind::Dictionary: {
      auto* d = static_cast<PdfDiccionario*>(v);
      out->Mark('d');
      // A stream's own crypt filter, undone as its data are read, counts
      // for nothing (copies leave it out).
      const bool decrypted = d->IsStream() && parser.Decryption() != nullptr;
      for (const PdfKeyValuePair* pair : d->pairs) {
        if ((d->IsStream() && pair->key == "/Length") || (catalog && pair->key == "/Extensions")) continue;
        const auto copied =
            decrypted ? PdfDecryption::CopyAfterDecryption(d, pair->key) : PdfDecryption::CopiedEntry::kAsIs;
        if (copied == PdfDecryption::CopiedEntry::kLeftOut) continue;
        out->Piece('k', pair->key.data(), pair->key.size());
        if (copied == PdfDecryption::CopiedEntry::kWithoutFirst) {
          out->Mark('a');
          const auto& elements = static_cast<PdfArray*>(d->GetValue(pair->key, true))->elements;
          for (size_t i = 1; i < elements.size(); ++i) Canonical(parser, elements[i], false, out);
          out->Mark('e');
        } else {
          Canonical(parser, pair->value, false, out);
        }
      }
      out->Mark('e');
      if (d->IsStream()) {
        int64_t offset = 0, length = 0;
        parser.StreamExtent(d, errtext::kStreamNoLength, &offset, &length);
        std::vector<uint8_t> data;
        parser.ReadStoredStream(d, offset, length, &data);
        const PdfDocumentComparer::Digest digest = DigestOfBytes(data.data(), data.size());
        out->Piece('s', digest.data(), digest.size());
      }
      return;
    }
    case PdfValue::Kind::Array:
      out->Mark('a');
      for (PdfValue* element : static_cast<PdfArray*>(v)->elements) Canonical(parser, element, false, out);
      out->Mark('e');
      return;
    case PdfValue::Kind::KeyValuePair:
      throw _kelvra_runtime_error(errtext::kComparerPair);
    case PdfValue::Kind::Value:
      break;
  }
  if (v->native_type == NATIVE_HEXSTRING) {
    const std::string bytes = PdfSyntaxFormatter::HexToBytes(v->text);
    out->Piece('S', bytes.data(), bytes.size());
  } else {
    out->Piece(v->native_type == NATIVE_STRING ? 'S' : static_cast<char>('0' + v->native_type), v->text.data(),
               v->text.size());
  }
}

}  // namespace

int64_t PdfDocumentComparer::CatalogNumber(PdfFileParser& parser) {
  PdfValue* root = parser.BuscarEnTrailer("/Root", false);
  return root != nullptr && root->native_type == NATIVE_REFERENCE ? StringToInt64(root->text) : -1;
}

void PdfDocumentComparer::Known::Record(PdfFileParser& parser, int64_t number, PdfValue* v) {
  if (catalog_ == -2) catalog_ = CatalogNumber(parser);
  if (!digests_.empty() && digests_.back().first > number) sorted_ = 0;
  digests_.emplace_back(number, DigestOf(parser, v, number == catalog_));
  if (sorted_ == digests_.size() - 1) sorted_ = digests_.size();
}

const PdfDocumentComparer::Digest* PdfDocumentComparer::Known::Find(int64_t number) {
  if (sorted_ != digests_.size()) {
    std::stable_sort(digests_.begin(), digests_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    sorted_ = digests_.size();
  }
  // Objects are mostly looked up in order: try the one after the last first.
  if (next_ < digests_.size() && digests_[next_].first == number && (next_ == 0 || digests_[next_ - 1].first < number))
    return &digests_[next_++].second;
  auto it =
      std::lower_bound(digests_.begin(), digests_.end(), number, [](const auto& a, int64_t n) { return a.first < n; });
  if (it == digests_.end() || it->first != number) return nullptr;
  next_ = static_cast<size_t>(it - digests_.begin()) + 1;
  return &it->second;
}

PdfDocumentComparer::Digest PdfDocumentComparer::DigestOf(PdfFileParser& parser, PdfValue* v, bool catalog) {
  thread_local Form form;
  form.Clear();
  Canonical(parser, v, catalog, &form);
  return DigestOfBytes(form.data(), form.size());
}

void PdfDocumentComparer::Compare(PdfFileParser& expected, PdfFileParser& actual, Known* known,
                                  PdfFileParser* actual_too) {
  const int64_t catalog = CatalogNumber(expected);
  Objects objects;
  for (const XRefEntry* e : expected.DocumentObjects()) {
    if (e->number == expected.EncryptObjectNumber()) continue;
    objects.emplace_back(e->number, e->type == XRefEntry::kCompressed ? 0 : e->generation);
  }
  std::vector<Digest> ours(kChunkObjects), theirs(kChunkObjects);
  for (size_t begin = 0; begin < objects.size(); begin += kChunkObjects) {
    const size_t end = std::min(objects.size(), begin + kChunkObjects);
    // The other thread reads the actual objects, or with a second reading
    // of the actual file the first half of them while this one reads the
    // rest after the expected ones.
    const size_t middle = actual_too != nullptr ? begin + (end - begin) / 2 : end;
    BesideThread::Run(
        [&] {
          Digests(actual_too != nullptr ? *actual_too : actual, objects, begin, middle, catalog, nullptr,
                  theirs.data());
        },
        [&] {
          Digests(expected, objects, begin, end, catalog, known, ours.data());
          Digests(actual, objects, middle, end, catalog, nullptr, theirs.data() + (middle - begin));
        });
    for (size_t i = 0; i < end - begin; ++i) {
      if (ours[i] != theirs[i])
        throw _kelvra_runtime_error(
            errtext::kComparerObject,
            std::to_string(objects[begin + i].first) + " " + std::to_string(objects[begin + i].second) + " differs");
    }
  }
}

void PdfDocumentComparer::Digests(PdfFileParser& parser, const Objects& objects, size_t begin, size_t end,
                                  int64_t catalog, Known* known, Digest* out) {
  for (size_t i = begin; i < end; ++i) {
    Digest& digest = out[i - begin];
    const Digest* recorded = known != nullptr ? known->Find(objects[i].first) : nullptr;
    if (recorded != nullptr) {
      digest = *recorded;
      continue;
    }
    const size_t mark = parser.ValueMark();
    try {
      digest = DigestOf(parser, parser.DameObjeto(objects[i].first, objects[i].second), objects[i].first == catalog);
    } catch (const _kelvra_runtime_error& e) {
      // An object that cannot be read differs from one that can.
      Form form;
      form.Piece('!', e.message.data(), e.message.size());
      digest = DigestOfBytes(form.data(), form.size());
    }
    parser.ReleaseValuesFrom(mark);
  }
}
