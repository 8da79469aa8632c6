#pragma once
#include <cstddef>
#include <string>
#include <vector>

// What the reader did to a file it could not read as written (empty when it
// read it as written): the failure that started the repair (said in words), what was
// rebuilt, and the objects left out. Each list keeps its first
// kMaxListed notes; the counts are of all of them.
struct PdfRepairReport {
  static constexpr size_t kMaxListed = 20;

  bool repaired = false;
  std::string reason;
  std::vector<std::string> rebuilt;
  std::vector<std::string> dropped;
  size_t rebuilt_count = 0;
  size_t dropped_count = 0;

  void Rebuilt(std::string note) { Add(rebuilt, rebuilt_count, std::move(note)); }
  void Dropped(std::string note) { Add(dropped, dropped_count, std::move(note)); }

 private:
  void Add(std::vector<std::string>& list, size_t& count, std::string note) {
    repaired = true;
    for (const std::string& listed : list) {
      if (listed == note) return;
    }
    if (list.size() < kMaxListed) list.push_back(std::move(note));
    ++count;
  }
};
