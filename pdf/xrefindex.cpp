#include "pdf/xrefindex.h"

XRefIndex::XRefIndex() = default;
XRefIndex::~XRefIndex() = default;

XRefIndex::Slot* XRefIndex::SlotFor(int64_t number) {
  if (use_dense_) return &dense_[static_cast<size_t>(number)];
  return &sparse_[number];
}

const XRefIndex::Slot* XRefIndex::FindSlot(int64_t number) const {
  if (number < 0) return nullptr;
  if (use_dense_) return number < static_cast<int64_t>(dense_.size()) ? &dense_[static_cast<size_t>(number)] : nullptr;
  auto it = sparse_.find(number);
  return it == sparse_.end() ? nullptr : &it->second;
}

void XRefIndex::Build(const std::vector<std::unique_ptr<XRef>>& records) {
  int64_t max_number = -1;
  size_t listed = 0;
  for (const auto& r : records) {
    for (const XRefEntry& e : r->entries) {
      ++listed;
      if (e.number > max_number) max_number = e.number;
    }
  }
  use_dense_ = max_number < static_cast<int64_t>(4 * listed + 4096);
  dense_.clear();
  sparse_.clear();
  other_generations_.clear();
  if (use_dense_) {
    dense_.assign(static_cast<size_t>(max_number + 1), Slot());
  } else {
    sparse_.reserve(listed);
  }
  for (const auto& r : records) {
    for (const XRefEntry& e : r->entries) {
      if (e.number < 0) continue;
      Slot* slot = SlotFor(e.number);
      if (slot->section < 0) slot->section = r->section;
      if (e.type == XRefEntry::kFree) continue;
      if (slot->section == r->section && slot->newest == nullptr) slot->newest = &e;
      if (slot->first == nullptr) {
        slot->first = &e;
      } else if (slot->first->generation != e.generation) {
        other_generations_.try_emplace(Key(e.number, e.generation), &e);
      }
    }
  }
}

const XRefEntry* XRefIndex::Newest(int64_t number) const {
  const Slot* slot = FindSlot(number);
  return slot == nullptr ? nullptr : slot->newest;
}

const XRefEntry* XRefIndex::Find(int64_t number, uint32_t generation) const {
  const Slot* slot = FindSlot(number);
  if (slot == nullptr || slot->first == nullptr) return nullptr;
  if (slot->first->generation == generation) return slot->first;
  auto it = other_generations_.find(Key(number, generation));
  return it == other_generations_.end() ? nullptr : it->second;
}
