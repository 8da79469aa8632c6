#include "pdf/pdfcompressedstream.h"

#include "base/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfascii85decodestreamfilter.h"
#include "pdf/pdfdeflatestreamfilter.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"
#include "base/pdflimits.h"
#include "pdf/pdflzwdecodestreamfilter.h"
#include "pdf/pdfpredictor.h"
#include "base/pdfstream.h"

void PdfCompressedStream::Decompress(PdfValue* value, PdfStream& input, std::vector<uint8_t>& out) {
  if (value == nullptr) throw _kelvra_runtime_error(errtext::kDecompressNoContent);
  out.clear();
  try {
    if (value->kind() == PdfValue::Kind::Array) {
      DecompressArray(value, input, out);
    } else {
      DecompressDict(value, input, out);
    }
    if (value->parser != nullptr) value->parser->CountDecodedBytes(out.size());
  } catch (...) {
    out.clear();
    out.shrink_to_fit();
    throw;
  }
}

void PdfCompressedStream::DecompressArray(PdfValue* value, PdfStream& input, std::vector<uint8_t>& out) {
  auto* array = static_cast<PdfArray*>(value);
  std::vector<uint8_t> part;
  for (int64_t i = 0; i < array->GetSize(); ++i) {
    DecompressDict(array->GetValue(i, true), input, part);
    if (part.size() > pdflimits::kMaxDecodedStreamBytes - out.size())
      throw _kelvra_runtime_error(errtext::kDecompressLimit);
    out.insert(out.end(), part.begin(), part.end());
  }
}

void PdfCompressedStream::DecompressDict(PdfValue* value, PdfStream& /*input: the parser's own*/,
                                         std::vector<uint8_t>& out) {
  if (value == nullptr || value->kind() != PdfValue::Kind::Dictionary)
    throw _kelvra_runtime_error(errtext::kDecompressNoContent);
  auto* d = static_cast<PdfDiccionario*>(value);
  if (!d->IsStream() || d->parser == nullptr) throw _kelvra_runtime_error(errtext::kDecompressNoOffset);
  int64_t offset = 0, length = 0;
  d->parser->StreamExtent(d, errtext::kDecompressNoLength, &offset, &length);
  if (length == 0) throw _kelvra_runtime_error(errtext::kDecompressZeroLength);
  if (static_cast<uint64_t>(length) > pdflimits::kMaxDecodedStreamBytes)
    throw _kelvra_runtime_error(errtext::kDecompressLimit);
  d->parser->CountDecodedBytes(static_cast<uint64_t>(length));
  // An object stream the writer asked for ahead may be inflated already.
  if (d->parser->TakeDecodedAhead(d, offset, length, out)) return;
  d->parser->ReadStoredStream(d, offset, length, &out);

  PdfValue* filter = d->GetValue("/Filter", true);
  PdfValue* parms = d->GetValue("/DecodeParms", true);
  if (filter == nullptr) {
    if (parms != nullptr) DecodePredictor(parms, out);
    return;
  }
  if (filter->kind() != PdfValue::Kind::Array) {
    ApplyFilter(filter, parms, out);
    if (parms != nullptr) DecodePredictor(parms, out);
    return;
  }
  auto* filters = static_cast<PdfArray*>(filter);
  // Parameters given as an array belong to the filter at the same place
  // (null for none); a single dictionary applies after the whole chain.
  auto* parms_array =
      (parms != nullptr && parms->kind() == PdfValue::Kind::Array) ? static_cast<PdfArray*>(parms) : nullptr;
  for (int64_t i = 0; i < filters->GetSize(); ++i) {
    PdfValue* p = parms_array != nullptr && i < parms_array->GetSize() ? parms_array->GetValue(i, true) : nullptr;
    if (p != nullptr && p->native_type == NATIVE_KEYWORD && p->text == "null") p = nullptr;
    ApplyFilter(filters->GetValue(i, true), p, out);
    if (p != nullptr) DecodePredictor(p, out);
  }
  if (parms != nullptr && parms_array == nullptr) DecodePredictor(parms, out);
}

void PdfCompressedStream::ApplyFilter(PdfValue* name, PdfValue* parms, std::vector<uint8_t>& data) {
  const std::string text = name != nullptr ? name->text : std::string();
  if (text == "/Crypt") {
    return;  // undone as the data were read
  } else if (text == "/FlateDecode") {
    PdfDeflateStreamFilter::Filter(data, pdflimits::kMaxDecodedStreamBytes);
  } else if (text == "/ASCII85Decode") {
    PdfASCII85DecodeStreamFilter::Filter(data, pdflimits::kMaxDecodedStreamBytes);
  } else if (text == "/LZWDecode") {
    // /EarlyChange 0 (in the filter's own parameters) turns the early
    // change of code width off; any other value leaves it on.
    PdfValue* early = parms != nullptr && parms->kind() == PdfValue::Kind::Dictionary
                          ? static_cast<PdfDiccionario*>(parms)->GetValue("/EarlyChange", true)
                          : nullptr;
    PdfLZWDecodeStreamFilter lzw(early == nullptr || early->text != "0");
    lzw.Filter(data, pdflimits::kMaxDecodedStreamBytes);
  } else {
    throw _kelvra_runtime_error(errtext::kUnknownFilter, text);
  }
}

void PdfCompressedStream::DecodePredictor(PdfValue* parms, std::vector<uint8_t>& data) {
  if (parms->kind() != PdfValue::Kind::Dictionary) throw _kelvra_runtime_error(errtext::kPredictorParms);
  auto* d = static_cast<PdfDiccionario*>(parms);
  auto get = [d](const char* key, int64_t fallback) {
    PdfValue* v = d->GetValue(key, true);
    return v != nullptr ? StringToInt64(v->text) : fallback;
  };
  const int64_t predictor = get("/Predictor", 1);
  const int64_t colors = get("/Colors", 1);
  const int64_t bpc = get("/BitsPerComponent", 8);
  const int64_t columns = get("/Columns", 1);
  auto clamp = [](int64_t v) { return static_cast<int>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v); };
  PdfPredictor::Decode(data, clamp(predictor), clamp(colors), clamp(bpc), clamp(columns),
                       pdflimits::kMaxDecodedStreamBytes);
}
