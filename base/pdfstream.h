#pragma once
#include <cstddef>
#include <cstdint>

// A readable, seekable sequence of bytes: the only way the reader touches its
// input. Two implementations exist: PdfFileStream (a file on disk) and
// PdfMemoryStream (a buffer someone else owns).
//
// Contract:
// - Leer reads exactly n bytes or throws the stream's read error; it never
//   returns fewer bytes and never reads outside the stream.
// - Seek takes an origin code: 1 from the start, 2 from the current position,
//   3 from the end. Any other code is an error.
// - Positions and sizes are 64-bit: inputs over 4 GiB are supported.
// - Every failure is thrown as _kelvra_runtime_error; the stream stays usable
//   after a failed read or seek.
//
// For the tokenizer, which reads one byte at a time and often steps back one
// byte, the base class keeps a window [begin_, end_) of bytes that can be read
// without a virtual call: GetByte and StepBack are inline. A subclass refills
// the window in Underflow.
class PdfStream {
 public:
  virtual ~PdfStream();
  virtual void Leer(void* buffer, size_t n);
  virtual void Seek(int64_t offset, int origin);
  virtual void Cerrar();
  virtual int64_t Tell();
  virtual bool Eof();
  virtual int64_t Length();
  virtual int LeerByte();

  // The next byte (0..255), consuming it. At the end of the data a memory
  // stream gives -1; a file stream throws its read error, as a one-byte Leer
  // would.
  int GetByte() {
    if (cur_ < end_) return *cur_++;
    return Underflow();
  }

  // The bytes that can be read without a call, for loops that scan runs of
  // bytes: the next *available bytes of the data start at the pointer
  // returned (none when the window is used up; GetByte then refills it).
  // Skip consumes n of them, n <= *available.
  const uint8_t* Window(size_t* available) const {
    *available = static_cast<size_t>(end_ - cur_);
    return cur_;
  }
  void Skip(size_t n) { cur_ += n; }

  // Makes the byte just read by GetByte the next byte again.
  void StepBack() {
    if (cur_ > begin_) {
      --cur_;
    } else {
      Seek(-1, 2);
    }
  }

 protected:
  PdfStream() = default;
  PdfStream(const PdfStream&) = delete;
  PdfStream& operator=(const PdfStream&) = delete;

  // Called by GetByte when the window is used up: refills it and returns the
  // next byte (consumed), or -1 at the end of the data. The base has no data.
  virtual int Underflow();

  // Where Seek's origin code counts from: the start, here, or size (the
  // end); false for any other code.
  static bool SeekBase(int origin, int64_t here, int64_t size, int64_t* base);

  const uint8_t* begin_ = nullptr;
  const uint8_t* cur_ = nullptr;
  const uint8_t* end_ = nullptr;
};
