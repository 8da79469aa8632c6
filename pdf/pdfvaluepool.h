#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/kelvraruntimeerror.h"
#include "base/pdflimits.h"
#include "pdf/pdfvalue.h"

class PdfFileParser;

// Every value a reader made, and the cache of the indirect objects among
// them by number and generation, so a second fetch of an object returns the
// same value. Values released from a mark are kept for reuse: a document's
// millions of values then cost few allocations.
class PdfValuePool {
 public:
  struct ObjectKey {
    int64_t number, generation;
    bool operator==(const ObjectKey& o) const { return number == o.number && generation == o.generation; }
  };
  struct ObjectKeyHash {
    size_t operator()(const ObjectKey& k) const {
      return static_cast<size_t>((static_cast<uint64_t>(k.number) * 0x9E3779B97F4A7C15ULL) ^
                                 static_cast<uint64_t>(k.generation));
    }
  };

  // A value of class T (of that kind) made by owner: a released one when
  // there is one, else a new one.
  template <class T>
  T* Adopt(PdfValue::Kind kind, PdfFileParser* owner);

  PdfValue* Find(int64_t number, int64_t generation) const {
    auto it = cache.find(ObjectKey{number, generation});
    return it == cache.end() ? nullptr : it->second;
  }
  void Insert(int64_t number, int64_t generation, PdfValue* value) {
    if (!cache.emplace(ObjectKey{number, generation}, value).second) throw _kelvra_runtime_error(errtext::kCacheInsert);
  }
  // Takes the object out of the cache when value is what it holds for it.
  void Forget(int64_t number, int64_t generation, const PdfValue* value) {
    auto it = cache.find(ObjectKey{number, generation});
    if (it != cache.end() && it->second == value) cache.erase(it);
  }

  // The count of values made so far.
  size_t Mark() const { return values.size(); }
  // Destroys the values made since mark (kept for reuse) and drops the
  // cache entries that name them; false, releasing nothing, when a
  // dictionary among them holds decoded stream data.
  bool ReleaseFrom(size_t mark);
  // Destroys every value, the released ones too, and empties the cache.
  void Clear();

  std::unordered_map<ObjectKey, PdfValue*, ObjectKeyHash> cache;
  std::vector<std::unique_ptr<PdfValue>> values;

 private:
  // Values released, by kind, for Adopt to reuse.
  std::vector<std::unique_ptr<PdfValue>> spare_values_[4];
};

template <class T>
T* PdfValuePool::Adopt(PdfValue::Kind kind, PdfFileParser* owner) {
  // Each value costs about a hundred bytes and needs as little as two bytes
  // of input ("0 "), which a decoded object stream multiplies again.
  if (values.size() >= pdflimits::kMaxValues) throw _kelvra_runtime_error(errtext::kValueLimit);
  std::vector<std::unique_ptr<PdfValue>>& spare = spare_values_[static_cast<size_t>(kind)];
  T* raw;
  if (spare.empty()) {
    values.push_back(std::make_unique<T>());
    raw = static_cast<T*>(values.back().get());
  } else {
    // A released value of the same class, made as new.
    values.push_back(std::move(spare.back()));
    spare.pop_back();
    raw = static_cast<T*>(values.back().get());
    raw->Reuse();
  }
  raw->parser = owner;
  return raw;
}
