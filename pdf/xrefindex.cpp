#include "pdf/xrefindex.h"

XRefIndex::XRefIndex() = default;
XRefIndex::~XRefIndex() = default;

void XRefIndex::Build(const std::vector<std::unique_ptr<XRef>>& records) {
  int64_t max_number = -1;
  size_t in_use = 0;
  for (const auto& r : records) {
    for (const XRefEntry& e : r->entries) {
      if (e.type == XRefEntry::kFree) continue;
      ++in_use;
      if (e.number > max_number) max_number = e.number;
    }
  }
  use_dense_ = max_number < static_cast<int64_t>(4 * in_use + 4096);
  dense_.clear();
  sparse_.clear();
  other_generations_.clear();
  if (use_dense_) {
    dense_.assign(static_cast<size_t>(max_number + 1), nullptr);
  } else {
    sparse_.reserve(in_use);
  }
  for (const auto& r : records) {
    for (const XRefEntry& e : r->entries) {
      if (e.type == XRefEntry::kFree || e.number < 0) continue;
      const XRefEntry** slot;
      if (use_dense_) {
        slot = &dense_[static_cast<size_t>(e.number)];
      } else {
        slot = &sparse_.try_emplace(e.number, nullptr).first->second;
      }
      if (*slot == nullptr) {
        *slot = &e;
      } else if ((*slot)->generation != e.generation) {
        other_generations_.try_emplace(Key(e.number, e.generation), &e);
      }
    }
  }
}

const XRefEntry* XRefIndex::Newest(int64_t number) const {
  if (number < 0) return nullptr;
  if (use_dense_) return number < static_cast<int64_t>(dense_.size()) ? dense_[static_cast<size_t>(number)] : nullptr;
  auto it = sparse_.find(number);
  return it == sparse_.end() ? nullptr : it->second;
}

const XRefEntry* XRefIndex::Find(int64_t number, uint32_t generation) const {
  const XRefEntry* e = Newest(number);
  if (e == nullptr) return nullptr;
  if (e->generation == generation) return e;
  auto it = other_generations_.find(Key(number, generation));
  return it == other_generations_.end() ? nullptr : it->second;
}
