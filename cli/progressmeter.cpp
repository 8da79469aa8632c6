#include "cli/progressmeter.h"

#include <cmath>

ProgressMeter::ProgressMeter(std::FILE* out, size_t total_files, int64_t total_bytes)
    : out_(out), total_files_(total_files), total_bytes_(total_bytes) {}

std::string ProgressMeter::Line(size_t files, int64_t bytes, double seconds) const {
  char text[160];
  const double mb = static_cast<double>(bytes) / 1e6;
  const double rate = seconds > 0 ? mb / seconds : 0;
  int n = std::snprintf(text, sizeof text, "%zu/%zu files, %.1f/%.1f MB, %.1f MB/s", files, total_files_, mb,
                        static_cast<double>(total_bytes_) / 1e6, rate);
  if (rate > 0 && bytes < total_bytes_ && n > 0 && static_cast<size_t>(n) < sizeof text) {
    const double left = static_cast<double>(total_bytes_ - bytes) / 1e6 / rate;
    const long s = std::lround(std::fmin(left, 359999.0));
    std::snprintf(text + n, sizeof text - static_cast<size_t>(n), ", %ld:%02ld:%02ld left", s / 3600, s / 60 % 60,
                  s % 60);
  }
  return text;
}

void ProgressMeter::Show(size_t files, int64_t bytes, double seconds) {
  const std::string line = Line(files, bytes, seconds);
  // Spaces cover what a longer previous line left; no terminal codes needed.
  std::fprintf(out_, "\r%s%*s\r", line.c_str(), static_cast<int>(shown_ > line.size() ? shown_ - line.size() : 0), "");
  std::fflush(out_);
  shown_ = line.size();
}

void ProgressMeter::Clear() {
  if (shown_ == 0) return;
  std::fprintf(out_, "\r%*s\r", static_cast<int>(shown_), "");
  std::fflush(out_);
  shown_ = 0;
}
