#include "pdf/pdfdocumentcomparer.h"

#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdfkeyvaluepair.h"
#include "writer/pdfsyntaxformatter.h"

namespace {

std::string Bytes(const PdfValue* v) {
  return v->native_type == NATIVE_HEXSTRING ? PdfSyntaxFormatter::HexToBytes(v->text) : v->text;
}

bool IsString(const PdfValue* v) { return v->native_type == NATIVE_STRING || v->native_type == NATIVE_HEXSTRING; }

// No value (a body or entry the writer completes with null) is null.
bool IsNull(const PdfValue* v) {
  return v == nullptr || (v->kind() == PdfValue::Kind::Value && v->native_type == NATIVE_KEYWORD && v->text == "null");
}

}  // namespace

void PdfDocumentComparer::Compare(PdfFileParser& expected, PdfFileParser& actual) {
  PdfValue* root = expected.BuscarEnTrailer("/Root", false);
  const std::string catalog = root != nullptr && root->native_type == NATIVE_REFERENCE ? root->text : std::string();
  for (const XRefEntry* e : expected.DocumentObjects()) {
    if (e->number == expected.EncryptObjectNumber()) continue;
    const int64_t generation = e->type == XRefEntry::kCompressed ? 0 : e->generation;
    const size_t mark_a = expected.ValueMark(), mark_b = actual.ValueMark();
    bool same = false;
    try {
      PdfValue* a = expected.DameObjeto(e->number, generation);
      PdfValue* b = actual.DameObjeto(e->number, generation);
      same = SameValue(a, b, ReferenceText(e->number, generation) == catalog) && SameStreamData(expected, a, actual, b);
    } catch (const _kelvra_runtime_error&) {
      same = false;  // a fetch that fails in the output (or the input) is a difference
    }
    if (!same)
      throw _kelvra_runtime_error("PdfDocumentComparer:object " + std::to_string(e->number) + " " +
                                  std::to_string(generation) + " differs");
    expected.ReleaseValuesFrom(mark_a);
    actual.ReleaseValuesFrom(mark_b);
  }
}

bool PdfDocumentComparer::SameValue(PdfValue* a, PdfValue* b, bool catalog) {
  if (IsNull(a) || IsNull(b)) return IsNull(a) && IsNull(b);
  if (a->kind() != b->kind()) return false;
  switch (a->kind()) {
    case PdfValue::Kind::Dictionary: {
      auto* da = static_cast<PdfDiccionario*>(a);
      auto* db = static_cast<PdfDiccionario*>(b);
      if (da->IsStream() != db->IsStream()) return false;
      // Entries in key order on both sides; skipped: /Length of a stream,
      // and /Extensions of the catalog.
      auto skipped = [&](const PdfKeyValuePair* p) {
        return (da->IsStream() && p->key == "/Length") || (catalog && p->key == "/Extensions");
      };
      size_t i = 0, j = 0;
      for (;;) {
        while (i < da->pairs.size() && skipped(da->pairs[i])) ++i;
        while (j < db->pairs.size() && skipped(db->pairs[j])) ++j;
        if (i == da->pairs.size() || j == db->pairs.size()) return i == da->pairs.size() && j == db->pairs.size();
        if (da->pairs[i]->key != db->pairs[j]->key || !SameValue(da->pairs[i]->value, db->pairs[j]->value, false))
          return false;
        ++i;
        ++j;
      }
    }
    case PdfValue::Kind::Array: {
      auto* aa = static_cast<PdfArray*>(a);
      auto* ab = static_cast<PdfArray*>(b);
      if (aa->elements.size() != ab->elements.size()) return false;
      for (size_t i = 0; i < aa->elements.size(); ++i)
        if (!SameValue(aa->elements[i], ab->elements[i], false)) return false;
      return true;
    }
    case PdfValue::Kind::KeyValuePair:
      return false;
    case PdfValue::Kind::Value:
      break;
  }
  if (IsString(a) || IsString(b)) return IsString(a) && IsString(b) && Bytes(a) == Bytes(b);
  return a->native_type == b->native_type && a->text == b->text;
}

bool PdfDocumentComparer::SameStreamData(PdfFileParser& expected, PdfValue* a, PdfFileParser& actual, PdfValue* b) {
  if (a == nullptr || a->kind() != PdfValue::Kind::Dictionary || !static_cast<PdfDiccionario*>(a)->IsStream())
    return true;
  std::vector<uint8_t> da, db;
  StoredData(expected, a, &da);
  StoredData(actual, b, &db);
  return da == db;
}

void PdfDocumentComparer::StoredData(PdfFileParser& parser, PdfValue* stream, std::vector<uint8_t>* out) {
  auto* d = static_cast<PdfDiccionario*>(stream);
  int64_t offset = 0, length = 0;
  parser.StreamExtent(d, "/OffsetStream no /Length", &offset, &length);
  if (parser.ReadDecryptedStream(d, offset, length, out)) return;
  out->resize(static_cast<size_t>(length));
  parser.inputStream->Seek(offset, 1);
  if (length > 0) parser.inputStream->Leer(out->data(), out->size());
}
