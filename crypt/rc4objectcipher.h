#pragma once
#include <memory>
#include <optional>

#include "crypt/pdfobjectcipher.h"
#include "crypt/rc4.h"
#include "crypt/rc4keypipeline.h"

class PdfStandardSecurityHandler;

// RC4 with each object's key (Algorithm 1 without salt: as many bytes as
// the file key plus 5, at most 16). The state after an object's key
// schedule is kept for its other strings and its stream, so an object costs
// one MD5 and one schedule however many strings it has; each string and
// each stream runs a copy of it, from the start of the key stream. A writer
// of many objects may have the schedules run ahead on a second thread.
class Rc4ObjectCipher : public PdfObjectCipher {
 public:
  // The handler (its file key computed) must outlive the cipher.
  explicit Rc4ObjectCipher(const PdfStandardSecurityHandler& handler);
  ~Rc4ObjectCipher() override;

  uint64_t EncryptedSize(uint64_t n) const override { return n; }
  std::string EncryptString(int64_t number, int64_t generation, std::string plain) override;
  size_t Start(int64_t number, int64_t generation, uint8_t* out) override;
  size_t Update(const uint8_t* in, size_t n, uint8_t* out) override;
  size_t Finish(uint8_t*) override { return 0; }
  size_t Decrypt(int64_t number, int64_t generation, uint8_t* data, size_t size) override;

  bool PlansAhead(size_t objects) const override;
  void PlanAhead(std::vector<Planned> objects) override;

 private:
  // The scheduled state of the object's key.
  const Rc4& ObjectCipher(int64_t number, int64_t generation);

  const PdfStandardSecurityHandler& handler_;
  size_t key_bytes_;
  std::optional<Rc4> cipher_;
  int64_t cipher_number_ = -1;
  int64_t cipher_generation_ = -1;
  std::optional<Rc4> running_;  // the stream being encrypted
  std::unique_ptr<Rc4KeyPipeline> pipeline_;
};
