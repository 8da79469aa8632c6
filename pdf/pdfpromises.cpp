#include "pdf/pdfpromises.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "base/kelvraruntimeerror.h"
#include "base/pdflimits.h"
#include "base/pdfsyntaxformatter.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfcompressedstream.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdfkeyvaluepair.h"

namespace {

PdfDiccionario* AsDictionary(PdfValue* v) {
  return v != nullptr && v->kind() == PdfValue::Kind::Dictionary ? static_cast<PdfDiccionario*>(v) : nullptr;
}
PdfArray* AsArray(PdfValue* v) {
  return v != nullptr && v->kind() == PdfValue::Kind::Array ? static_cast<PdfArray*>(v) : nullptr;
}
bool IsName(PdfValue* v, const char* name) {
  return v != nullptr && v->kind() == PdfValue::Kind::Value && v->native_type == NATIVE_NAME && v->text == name;
}
bool IsString(PdfValue* v) {
  return v != nullptr && v->kind() == PdfValue::Kind::Value &&
         (v->native_type == NATIVE_STRING || v->native_type == NATIVE_HEXSTRING);
}
std::string StringBytes(PdfValue* v) {
  if (!IsString(v)) return std::string();
  return v->native_type == NATIVE_HEXSTRING ? PdfSyntaxFormatter::HexToBytes(v->text) : v->text;
}

// A text string in UTF-8: UTF-16BE after its byte order mark, otherwise
// PDFDocEncoding, taken as Latin-1 (they differ only in rarely used marks).
std::string TextOf(const std::string& bytes) {
  std::string out;
  auto put = [&out](uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  };
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  if (bytes.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      uint32_t unit = (uint32_t{b[i]} << 8) | b[i + 1];
      if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
        const uint32_t low = (uint32_t{b[i + 2]} << 8) | b[i + 3];
        if (low >= 0xDC00 && low < 0xE000) {
          unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          i += 2;
        }
      }
      // Control characters would reach a terminal as they are.
      put(unit < 0x20 || (unit >= 0xD800 && unit < 0xE000) ? 0xFFFD : unit);
    }
  } else {
    for (uint8_t c : bytes) put(c < 0x20 ? 0xFFFD : c);
  }
  return out;
}

// "D:20240501103000+02'00'" as "2024-05-01 10:30:00 +02:00"; anything that
// does not read as a date is left out.
std::string DateOf(const std::string& text) {
  std::string d = text.compare(0, 2, "D:") == 0 ? text.substr(2) : text;
  if (d.size() < 8 || d.find_first_not_of("0123456789") < 8) return std::string();
  std::string out = d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2);
  if (d.size() >= 14 && d.find_first_not_of("0123456789") >= 14)
    out += " " + d.substr(8, 2) + ":" + d.substr(10, 2) + ":" + d.substr(12, 2);
  if (d.size() >= 15 && d[14] == 'Z') out += " +00:00";
  if (d.size() >= 17 && (d[14] == '+' || d[14] == '-')) {
    out += std::string(" ") + d[14] + d.substr(15, 2);
    if (d.size() >= 20 && d[17] == '\'') out += ":" + d.substr(18, 2);
  }
  return out;
}

// The value of an XMP property, written as an attribute (pdfaid:part="2") or
// as an element (<pdfaid:part>2</pdfaid:part>); empty when absent.
std::string XmpProperty(const std::string& xmp, const std::string& name) {
  size_t at = xmp.find(name);
  while (at != std::string::npos) {
    size_t p = at + name.size();
    while (p < xmp.size() && (xmp[p] == ' ' || xmp[p] == '\t' || xmp[p] == '\r' || xmp[p] == '\n')) ++p;
    if (p < xmp.size() && xmp[p] == '=' && p + 1 < xmp.size()) {
      const char quote = xmp[p + 1];
      const size_t end = xmp.find(quote, p + 2);
      if ((quote == '"' || quote == '\'') && end != std::string::npos) return xmp.substr(p + 2, end - p - 2);
    } else if (p < xmp.size() && xmp[p] == '>' && at > 0 && xmp[at - 1] == '<') {
      const size_t end = xmp.find('<', p + 1);
      if (end != std::string::npos) return xmp.substr(p + 1, end - p - 1);
    }
    at = xmp.find(name, at + 1);
  }
  return std::string();
}
std::string Trimmed(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// The catalog's metadata stream, decoded; empty when there is none or it
// cannot be read.
std::string Metadata(PdfFileParser& parser, PdfDiccionario* catalog) {
  PdfDiccionario* m = AsDictionary(catalog->GetValue("/Metadata", true));
  if (m == nullptr || !m->IsStream()) return std::string();
  try {
    int64_t offset = 0, length = 0;
    parser.StreamExtent(m, errtext::kStreamNoLength, &offset, &length);
    if (length <= 0 || static_cast<uint64_t>(length) > pdflimits::kMaxMetadataBytes) return std::string();
    std::vector<uint8_t> data;
    parser.ReadStoredStream(m, offset, length, &data);
    PdfValue* filter = m->GetValue("/Filter", true);
    if (filter != nullptr) {
      PdfArray* chain = AsArray(filter);
      if (chain == nullptr) {
        PdfCompressedStream::ApplyFilter(filter, nullptr, data);
      } else {
        for (int64_t i = 0; i < chain->GetSize(); ++i)
          PdfCompressedStream::ApplyFilter(chain->GetValue(i, true), nullptr, data);
      }
    }
    return std::string(data.begin(), data.end());
  } catch (const _kelvra_runtime_error&) {
    return std::string();  // metadata that cannot be read declares nothing
  }
}

struct FieldWalk {
  PdfFileParser& parser;
  PdfPromises& promises;
  std::set<const PdfValue*> seen;
  size_t fields = 0;

  void Visit(PdfValue* v, const std::string& parent, int depth) {
    PdfDiccionario* field = AsDictionary(v);
    if (field == nullptr || depth > pdflimits::kMaxNestingDepth || ++fields > pdflimits::kMaxFormFields ||
        !seen.insert(field).second)
      return;
    const std::string own = TextOf(StringBytes(field->GetValue("/T", true)));
    const std::string name = parent.empty() ? own : own.empty() ? parent : parent + "." + own;
    if (PdfArray* kids = AsArray(field->GetValue("/Kids", true))) {
      for (int64_t i = 0; i < kids->GetSize(); ++i) Visit(kids->GetValue(i, true), name, depth + 1);
    }
    if (!IsName(field->GetValue("/FT", true), "/Sig")) return;
    PdfValue* value = field->GetValue("/V", false);
    if (value == nullptr) return;  // an empty signature field promises nothing yet
    if (value->native_type == NATIVE_REFERENCE) parser.TreatAsSignature(std::strtoll(value->text.c_str(), nullptr, 10));
    PdfDiccionario* signature = AsDictionary(field->GetValue("/V", true));
    if (signature == nullptr) return;
    promises.signatures.push_back({name, DateOf(StringBytes(signature->GetValue("/M", true)))});
  }
};

}  // namespace

PdfPromises PdfPromises::Read(PdfFileParser& parser) {
  PdfPromises promises;
  try {
    PdfDiccionario* catalog = AsDictionary(parser.BuscarEnTrailer("/Root"));
    if (catalog == nullptr) return promises;
    FieldWalk walk{parser, promises, {}, 0};
    if (PdfDiccionario* form = AsDictionary(catalog->GetValue("/AcroForm", true))) {
      if (PdfArray* fields = AsArray(form->GetValue("/Fields", true))) {
        for (int64_t i = 0; i < fields->GetSize(); ++i) walk.Visit(fields->GetValue(i, true), std::string(), 0);
      }
    }
    if (PdfDiccionario* perms = AsDictionary(catalog->GetValue("/Perms", true))) {
      promises.usage_rights = perms->GetValue("/UR3", false) != nullptr || perms->GetValue("/UR", false) != nullptr;
      if (PdfDiccionario* mdp = AsDictionary(perms->GetValue("/DocMDP", true))) {
        promises.certification = 2;  // the level when the transform gives none
        if (PdfArray* refs = AsArray(mdp->GetValue("/Reference", true))) {
          for (int64_t i = 0; i < refs->GetSize(); ++i) {
            PdfDiccionario* ref = AsDictionary(refs->GetValue(i, true));
            PdfDiccionario* params = ref != nullptr ? AsDictionary(ref->GetValue("/TransformParams", true)) : nullptr;
            PdfValue* p = params != nullptr ? params->GetValue("/P", true) : nullptr;
            if (p != nullptr && p->native_type == NATIVE_NUMBER && (p->text == "1" || p->text == "3"))
              promises.certification = p->text[0] - '0';
          }
        }
      }
    }
    const std::string xmp = Metadata(parser, catalog);
    const std::string part = Trimmed(XmpProperty(xmp, "pdfaid:part"));
    if (!part.empty() && part.size() <= 2 && part.find_first_not_of("0123456789") == std::string::npos) {
      std::string level = Trimmed(XmpProperty(xmp, "pdfaid:conformance"));
      for (char& c : level) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      promises.pdfa =
          "PDF/A-" + part + (level.size() == 1 && std::isalpha(static_cast<unsigned char>(level[0])) ? level : "");
    }
    const std::string ua = Trimmed(XmpProperty(xmp, "pdfuaid:part"));
    if (!ua.empty() && ua.size() <= 2 && ua.find_first_not_of("0123456789") == std::string::npos)
      promises.pdfua = "PDF/UA-" + ua;
  } catch (const _kelvra_runtime_error&) {
    // A damaged form or catalog promises what was read of it.
  }
  return promises;
}

bool PdfPromises::IsSignatureDictionary(PdfDiccionario* d) {
  if (d == nullptr || d->IsStream()) return false;
  PdfValue* type = d->GetValue("/Type", false);
  if (type != nullptr) return IsName(type, "/Sig") || IsName(type, "/DocTimeStamp");
  PdfValue* filter = d->GetValue("/Filter", false);
  PdfValue* range = d->GetValue("/ByteRange", false);
  return filter != nullptr && filter->native_type == NATIVE_NAME && range != nullptr &&
         range->kind() == PdfValue::Kind::Array && IsString(d->GetValue("/Contents", false));
}

bool PdfPromises::HoldsSignatureBytes(const std::string& bytes) {
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t n = bytes.size();
  size_t end = 0;  // where the zeros may start
  if (n >= 2 && b[0] == 0x30) {
    size_t length = b[1], header = 2;
    if (length > 0x80 && length <= 0x84) {
      const size_t digits = length - 0x80;
      if (n < 2 + digits) return false;
      length = 0;
      for (size_t i = 0; i < digits; ++i) length = (length << 8) | b[2 + i];
      header += digits;
    } else if (length == 0x80) {
      return false;  // indefinite lengths are BER, not DER
    }
    if (length > n - header) return false;
    end = header + length;
  }
  for (size_t i = end; i < n; ++i)
    if (b[i] != 0) return false;
  return n != 0;
}

std::string PdfPromises::BrokenByRewriting() const {
  std::vector<std::string> parts;
  if (!signatures.empty())
    parts.push_back(std::to_string(signatures.size()) + (signatures.size() == 1 ? " signature" : " signatures"));
  if (certification != 0) parts.push_back("a certification");
  if (usage_rights) parts.push_back("usage rights");
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  return out;
}
