#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The line that shows a run's progress on a terminal: files done of total,
// bytes, rate and time left, redrawn in place.
class ProgressMeter {
 public:
  ProgressMeter(std::FILE* out, size_t total_files, int64_t total_bytes);

  // The text for files and bytes done after seconds.
  std::string Line(size_t files, int64_t bytes, double seconds) const;
  // Draws that line over the previous one.
  void Show(size_t files, int64_t bytes, double seconds);
  // Blanks the line, so that other text can be written from its start.
  void Clear();

 private:
  std::FILE* out_;
  size_t total_files_;
  int64_t total_bytes_;
  size_t shown_ = 0;  // characters of the line on screen
};
