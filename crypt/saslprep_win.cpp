#include <windows.h>

#include <string>

#include "crypt/saslprep.h"

// Windows has no stringprep API. The mapping steps of the profile are two
// short lists; normalisation is NormalizeString's (NFKC, which also refuses
// unassigned and malformed code points); what remains prohibited is
// refused by the ranges below. Bidirectional text is refused whole rather
// than checked rule by rule.
namespace {

bool MappedToNothing(wchar_t c) {
  return c == 0x00AD || c == 0x034F || c == 0x1806 || (c >= 0x180B && c <= 0x180D) || (c >= 0x200B && c <= 0x200D) ||
         c == 0x2060 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF;
}

bool NonAsciiSpace(wchar_t c) {
  return c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x202F || c == 0x205F || c == 0x3000;
}

bool Prohibited(wchar_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x06DD || c == 0x070F || c == 0x180E ||
         (c >= 0x200C && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF ||
         (c >= 0xFFF9 && c <= 0xFFFD) || (c >= 0xE000 && c <= 0xF8FF) || (c >= 0xFDD0 && c <= 0xFDEF) || c == 0xFFFE ||
         c == 0xFFFF || (c >= 0x2FF0 && c <= 0x2FFB) || (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) ||
         (c >= 0xFE70 && c <= 0xFEFF);
}

}  // namespace

namespace {
// UTF-16 forms of a password, wiped when freed.
using Wide = std::basic_string<wchar_t, std::char_traits<wchar_t>, WipingAllocator<wchar_t>>;
}  // namespace

bool SaslPrep::Prepare(std::string_view utf8, bool, SecretString* out) {
  if (utf8.empty()) {
    out->clear();
    return true;
  }
  if (utf8.size() > (1u << 20)) return false;
  const int wide_len =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (wide_len <= 0) return false;
  Wide wide(static_cast<size_t>(wide_len), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), &wide[0], wide_len);
  Wide mapped;
  for (wchar_t c : wide) {
    if (MappedToNothing(c)) continue;
    mapped.push_back(NonAsciiSpace(c) ? L' ' : c);
  }
  if (mapped.empty()) {
    out->clear();
    return true;
  }
  const int norm_len = NormalizeString(NormalizationKC, mapped.data(), static_cast<int>(mapped.size()), nullptr, 0);
  if (norm_len <= 0) return false;
  Wide normalized(static_cast<size_t>(norm_len), L'\0');
  const int got =
      NormalizeString(NormalizationKC, mapped.data(), static_cast<int>(mapped.size()), &normalized[0], norm_len);
  if (got <= 0) return false;
  normalized.resize(static_cast<size_t>(got));
  for (wchar_t c : normalized)
    if (Prohibited(c)) return false;
  const int utf8_len = WideCharToMultiByte(CP_UTF8, 0, normalized.data(), got, nullptr, 0, nullptr, nullptr);
  if (utf8_len <= 0) return false;
  SecretString result(static_cast<size_t>(utf8_len), '\0');
  WideCharToMultiByte(CP_UTF8, 0, normalized.data(), got, &result[0], utf8_len, nullptr, nullptr);
  *out = std::move(result);
  return true;
}
