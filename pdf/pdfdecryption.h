#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "crypt/pdfobjectcipher.h"
#include "crypt/pdfsecurityhandler.h"

class Identity;
class PdfDiccionario;

// The reader's side of the Standard security handler: reads an Encrypt
// dictionary, picks the revision's handler (2, 3, 4, 5 or 6), checks the
// password with it, and decrypts strings and stream data with the crypt
// filters the dictionary names (/StmF, /StrF, a stream's own /Crypt
// filter, /Identity, /EncryptMetadata false), each method through the
// handler's cipher for it.
//
// Failures: "Wrong password" when the password is neither the user nor the
// owner password; "PdfDecryption:..." for a dictionary Varnel cannot use
// (another handler, unknown /V or /R, key length out of bounds: 40 to 128
// bits in steps of 8 for RC4, exactly 128 or 256 for AES), and for AES
// data whose length or padding is wrong, which only a wrong key or
// damaged data give.
class PdfDecryption {
 public:
  // encrypt: the Encrypt dictionary; identifier: the bytes of the first
  // element of the trailer's /ID (empty when there is none); password:
  // UTF-8 as typed, prepared here as the revision wants it.
  // A document encrypted for certificates (/Adobe.PubSec) opens with the
  // identity instead ("PdfDecryption:identity needed" without one).
  PdfDecryption(PdfDiccionario* encrypt, const std::string& identifier, std::string_view password,
                const Identity* identity = nullptr);
  ~PdfDecryption();

  PdfSecurityHandler::Access GetAccess() const { return access_; }
  const PdfSecurityHandler& Handler() const { return *handler_; }
  // Whether the document is encrypted for certificates (Handler() is then a
  // PdfPublicKeySecurityHandler).
  bool PublicKey() const { return public_key_; }
  // Whether the holder may take the protection off or change it: the owner
  // password, or a user password whose document grants modification
  // (permission bit 4).
  bool MayChangeProtection() const;

  // Decrypts a string of object number (generation) in place.
  void DecryptString(std::string& bytes, int64_t number, int64_t generation) const;
  // Decrypts the stored data of stream d (an indirect object) in place.
  void DecryptStream(PdfDiccionario* d, std::vector<uint8_t>& data) const;
  // The same for damaged data: what decrypts (PdfObjectCipher::Salvage).
  void SalvageStream(PdfDiccionario* d, std::vector<uint8_t>& data) const;

  // How an unencrypted (or newly encrypted) copy writes entry key of stream
  // d once its data are decrypted: a stream's own crypt filter, undone,
  // must go, or readers would apply it again. /Filter [/Crypt ...] and
  // /DecodeParms [<< /Name ... >> ...] lose their first element; /Filter
  // /Crypt alone goes with its /DecodeParms.
  enum class CopiedEntry { kAsIs, kLeftOut, kWithoutFirst };
  static CopiedEntry CopyAfterDecryption(PdfDiccionario* d, const std::string& key);
  // The envelopes (/Recipients strings) of a document encrypted for
  // certificates: the crypt filter's that streams use (/adbe.pkcs7.s5),
  // else the Encrypt dictionary's own (s4 and s3). Throws
  // "PdfDecryption:recipients limit" past pdflimits::kMaxRecipientEnvelopes.
  static std::vector<std::string> Envelopes(PdfDiccionario* encrypt);

 private:
  // A crypt filter's method; none: the identity.
  using Method = std::optional<PdfSecurityHandler::Cipher>;
  Method FilterMethod(const std::string& name) const;
  // The method that applies to stream d's data.
  Method StreamMethod(PdfDiccionario* d) const;
  // The handler's cipher for the method, made when first needed; null for
  // the identity.
  PdfObjectCipher* CipherFor(Method method) const;

  std::unique_ptr<PdfSecurityHandler> handler_;
  // By method; each keeps the key it used last (revision 6 uses one key for
  // every object, and a context costs more to make than a string to decrypt).
  mutable std::unique_ptr<PdfObjectCipher> ciphers_[2];
  std::map<std::string, Method> filters_;  // the crypt filters of /CF
  Method strings_ = PdfSecurityHandler::Cipher::kRc4;
  Method streams_ = PdfSecurityHandler::Cipher::kRc4;
  bool encrypt_metadata_ = true;
  bool public_key_ = false;
  PdfSecurityHandler::Access access_ = PdfSecurityHandler::Access::kNone;
};
