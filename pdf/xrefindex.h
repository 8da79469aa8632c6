#pragma once
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "pdf/xref.h"

// Lookup of cross-reference entries by object number, built once after all
// sections are read. It gives the same answer as walking the records newest
// first and taking the first in-use entry with the same number and
// generation, in constant time. Free entries never match, as in that walk.
//
// Numbers are kept in a dense table when they are not too sparse, in a hash
// table otherwise, so a hostile object number cannot make it allocate much.
class XRefIndex {
 public:
  XRefIndex();
  ~XRefIndex();

  void Build(const std::vector<std::unique_ptr<XRef>>& records);

  // The in-use entry for (number, generation), or null.
  const XRefEntry* Find(int64_t number, uint32_t generation) const;
  // The version of the object that the document uses: the newest section
  // that lists the number decides. Its in-use entry is the answer; when it
  // lists the number only as free, the object was deleted (null). Within a
  // section an in-use entry wins over a free one, as a hybrid file's stream
  // lists the objects its table gives as free.
  const XRefEntry* Newest(int64_t number) const;

 private:
  static uint64_t Key(int64_t number, uint32_t generation) {
    return (static_cast<uint64_t>(number) << 32) | generation;
  }

  struct Slot {
    const XRefEntry* first = nullptr;   // first in-use entry, any section
    const XRefEntry* newest = nullptr;  // in-use entry of the deciding section
    int section = -1;                   // the deciding section
  };
  Slot* SlotFor(int64_t number);
  const Slot* FindSlot(int64_t number) const;

  std::vector<Slot> dense_;                   // by number
  std::unordered_map<int64_t, Slot> sparse_;  // by number
  std::unordered_map<uint64_t, const XRefEntry*> other_generations_;
  bool use_dense_ = true;
};
