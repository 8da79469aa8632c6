#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Encrypts and decrypts the strings and stream data of one indirect object
// with that object's key, for the reader and the writer alike. Made by the
// security handler (NewCipher), one per method: a revision 4 file may use
// RC4 for some data and AES for the rest. A cipher keeps the key of the
// object it saw last, so an object's strings and its stream cost one key.
// Not for use by two threads at once.
class PdfObjectCipher {
 public:
  // The most bytes Start, Finish, or Update beyond what it is given, write.
  static constexpr size_t kMaxExtraBytes = 16;

  // One object a writer will encrypt and its place in the writing order
  // (12 bytes: a document may have millions).
  struct Planned {
    uint32_t position;
    uint32_t number;
    uint32_t generation;
  };

  virtual ~PdfObjectCipher();

  // How many bytes n bytes of data become (RC4: n; AES: an IV and n padded).
  virtual uint64_t EncryptedSize(uint64_t n) const = 0;
  // A string of the object, encrypted; every string starts afresh.
  virtual std::string EncryptString(int64_t number, int64_t generation, std::string plain) = 0;

  // Stream data in chunks: Start writes the prefix (AES: the IV) at out,
  // Update turns n bytes into at most n + kMaxExtraBytes at out, Finish
  // writes the tail (AES: the last, padded block); each returns the bytes
  // written. out may be in (encryption in place); given whole 16-byte
  // blocks until the last piece, no cipher copies the data.
  virtual size_t Start(int64_t number, int64_t generation, uint8_t* out) = 0;
  virtual size_t Update(const uint8_t* in, size_t n, uint8_t* out) = 0;
  virtual size_t Finish(uint8_t* out) = 0;

  // Decrypts size bytes at data in place and returns how many are left
  // (AES: without the IV and the padding; throws the library error when the
  // length or the padding is wrong, which only a wrong key or damaged data
  // give).
  virtual size_t Decrypt(int64_t number, int64_t generation, uint8_t* data, size_t size) = 0;
  void Decrypt(int64_t number, int64_t generation, std::string& bytes);
  void Decrypt(int64_t number, int64_t generation, std::vector<uint8_t>& bytes);
  // The same for data a repair found damaged: what can be decrypted is,
  // and nothing throws (RC4 decrypts any length).
  virtual size_t Salvage(int64_t number, int64_t generation, uint8_t* data, size_t size) {
    return Decrypt(number, generation, data, size);
  }

  // For a writer of this many objects: whether the cipher gains from
  // preparing keys ahead on a second thread (PlanAhead).
  virtual bool PlansAhead(size_t /*objects*/) const { return false; }
  // The objects to come, in increasing position; then the writer sets each
  // object's position before its strings and data. The output never
  // depends on the plan.
  virtual void PlanAhead(std::vector<Planned> /*objects*/) {}
  void SetPosition(size_t position) { position_ = position; }

 protected:
  size_t position_ = SIZE_MAX;
};
