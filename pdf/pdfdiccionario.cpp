#include "pdf/pdfdiccionario.h"

#include <algorithm>
#include <cstdio>

#include "base/kelvraruntimeerror.h"
#include "pdf/pdfkeyvaluepair.h"

namespace {
// The order of std::string (bytes unsigned), without a call to memcmp: keys
// are short names that mostly differ in their first letters.
int CompareKeys(const std::string& a, const std::string& b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}
bool KeyLess(const PdfKeyValuePair* p, const std::string& key) { return CompareKeys(p->key, key) < 0; }
}  // namespace

PdfDiccionario::PdfDiccionario() : PdfValue(Kind::Dictionary) {}

PdfDiccionario::~PdfDiccionario() = default;

void PdfDiccionario::Print(int indent) {
  std::printf("\n%*s<<\n", indent, "");
  for (PdfKeyValuePair* p : pairs) {
    std::printf("%*s", indent, "");
    p->Print(indent + 1);
    std::printf("\n");
  }
  std::printf("%*s>>\n", indent, "");
}

void PdfDiccionario::InsertValue(PdfValue* v) {
  if (v == nullptr || v->kind() != Kind::KeyValuePair) throw _kelvra_runtime_error(errtext::kDictionaryPair);
  auto* pair = static_cast<PdfKeyValuePair*>(v);
  // Entries usually arrive in ascending order, so appending is the common case.
  if (pairs.empty() || CompareKeys(pairs.back()->key, pair->key) < 0) {
    pairs.push_back(pair);
    return;
  }
  auto it = std::lower_bound(pairs.begin(), pairs.end(), pair->key, KeyLess);
  if (it != pairs.end() && CompareKeys((*it)->key, pair->key) == 0) return;  // first entry wins
  pairs.insert(it, pair);
}

PdfKeyValuePair* PdfDiccionario::Find(const std::string& key) const {
  auto it = std::lower_bound(pairs.begin(), pairs.end(), key, KeyLess);
  return (it != pairs.end() && (*it)->key == key) ? *it : nullptr;
}

PdfValue* PdfDiccionario::GetValue(const std::string& key, bool resolve) {
  PdfKeyValuePair* p = Find(key);
  if (p == nullptr || p->value == nullptr) return nullptr;
  // An entry whose value is the null object counts as absent.
  const PdfValue* v = p->value;
  if (v->kind() == Kind::Value && v->native_type == NATIVE_KEYWORD && v->text == "null") return nullptr;
  return p->GetValue(resolve);
}

PdfValue* PdfDiccionario::GetValue(int64_t index, bool resolve) {
  if (index > GetSize() - 1) throw _kelvra_runtime_error(errtext::kDictionaryIndex);
  if (index < 0) return nullptr;
  return pairs[static_cast<size_t>(index)]->GetValue(resolve);
}

std::string PdfDiccionario::GetKey(int64_t index) {
  if (index > GetSize() - 1) throw _kelvra_runtime_error(errtext::kDictionaryIndex);
  if (index < 0) return std::string();
  return pairs[static_cast<size_t>(index)]->key;
}

void PdfDiccionario::Reuse() {
  PdfValue::Reuse();
  pairs.clear();
  stream_offset = -1;
  stream_data.clear();
  stream_decoded = false;
  stream_decoding = false;
}
