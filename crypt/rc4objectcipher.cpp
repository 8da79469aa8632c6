#include "crypt/rc4objectcipher.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "crypt/pdfstandardsecurityhandler.h"

Rc4ObjectCipher::Rc4ObjectCipher(const PdfStandardSecurityHandler& handler)
    : handler_(handler),
      key_bytes_(std::min(handler.GetFileKey().size() + 5, size_t{PdfStandardSecurityHandler::kKeyBytes})) {}

Rc4ObjectCipher::~Rc4ObjectCipher() = default;

const Rc4& Rc4ObjectCipher::ObjectCipher(int64_t number, int64_t generation) {
  if (!cipher_ || cipher_number_ != number || cipher_generation_ != generation) {
    if (!pipeline_ || !pipeline_->Take(position_, number, generation, &cipher_)) {
      uint8_t key[PdfStandardSecurityHandler::kKeyBytes];
      handler_.ObjectKey(static_cast<int>(number), static_cast<int>(generation), key);
      cipher_.emplace(key, key_bytes_);
    }
    cipher_number_ = number;
    cipher_generation_ = generation;
  }
  return *cipher_;
}

std::string Rc4ObjectCipher::EncryptString(int64_t number, int64_t generation, std::string plain) {
  Rc4 cipher = ObjectCipher(number, generation);
  cipher.Crypt(reinterpret_cast<uint8_t*>(&plain[0]), plain.size());
  return plain;
}

size_t Rc4ObjectCipher::Start(int64_t number, int64_t generation, uint8_t*) {
  running_ = ObjectCipher(number, generation);
  return 0;
}

size_t Rc4ObjectCipher::Update(const uint8_t* in, size_t n, uint8_t* out) {
  if (out != in) std::memmove(out, in, n);
  running_->Crypt(out, n);
  return n;
}

size_t Rc4ObjectCipher::Decrypt(int64_t number, int64_t generation, uint8_t* data, size_t size) {
  Rc4 cipher = ObjectCipher(number, generation);
  cipher.Crypt(data, size);
  return size;
}

bool Rc4ObjectCipher::PlansAhead(size_t objects) const {
  // The pipeline's schedules are those of 16-byte keys.
  return key_bytes_ == PdfStandardSecurityHandler::kKeyBytes && Rc4KeyPipeline::Worthwhile(objects);
}

void Rc4ObjectCipher::PlanAhead(std::vector<Planned> objects) {
  pipeline_.reset();
  try {
    pipeline_ = std::make_unique<Rc4KeyPipeline>(handler_, std::move(objects));
  } catch (const std::system_error&) {
    // No thread to be had: every schedule runs on this one.
  }
}
