#pragma once
#include <ostream>
#include <streambuf>

// An output stream that accepts and forgets everything: the fuzz targets
// exercise the whole rewrite without paying for storing the output.
class NullSink : public std::ostream {
 public:
  NullSink() : std::ostream(&buffer_) {}

 private:
  class Buffer : public std::streambuf {
   protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  };
  Buffer buffer_;
};
