// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include "base/kelvraruntimeerror.h"
#include "crypt/cmsenvelope.h"
#include "crypt/identity.h"
#include "crypt/recipientcertificate.h"

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// Whether der is one definite-length SEQUENCE and nothing after it: crypt32
// passes over trailing bytes, and a /Recipients string is the envelope only.
bool Whole(std::string_view der) {
  if (der.size() < 2 || der[0] != 0x30) return false;
  size_t length = static_cast<uint8_t>(der[1]), at = 2;
  if (length & 0x80) {
    const size_t bytes = length & 0x7F;
    if (bytes == 0 || bytes > 4 || der.size() < 2 + bytes) return false;
    length = 0;
    for (; at < 2 + bytes; ++at) length = (length << 8) | static_cast<uint8_t>(der[at]);
  }
  return der.size() - at == length;
}

struct Message {
  HCRYPTMSG handle = nullptr;
  ~Message() {
    if (handle != nullptr) CryptMsgClose(handle);
  }
  // A parameter's bytes; empty when the message has none.
  std::vector<BYTE> Param(DWORD type, DWORD index = 0) const {
    DWORD size = 0;
    std::vector<BYTE> value;
    if (CryptMsgGetParam(handle, type, index, nullptr, &size) && size > 0) value.resize(size);
    if (!value.empty() && !CryptMsgGetParam(handle, type, index, value.data(), &size)) value.clear();
    value.resize(size < value.size() ? size : value.size());
    return value;
  }
  DWORD Number(DWORD type) const {
    DWORD value = 0, size = sizeof value;
    return CryptMsgGetParam(handle, type, 0, &value, &size) ? value : 0;
  }
};

// The enveloped data of der, decoded; throws for anything else.
void Parse(std::string_view der, Message* message) {
  const bool ok = Whole(der) && der.size() <= MAXDWORD &&
                  (message->handle = CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr)) != nullptr &&
                  CryptMsgUpdate(message->handle, reinterpret_cast<const BYTE*>(der.data()),
                                 static_cast<DWORD>(der.size()), TRUE) &&
                  message->Number(CMSG_TYPE_PARAM) == CMSG_ENVELOPED;
  if (!ok) throw _kelvra_runtime_error(errtext::kEnvelopeMalformed);
}

// The key-transport recipient that names certificate by issuer and serial
// number; -1 when none does.
long NamedRecipient(const Message& message, PCCERT_CONTEXT certificate) {
  const DWORD count = message.Number(CMSG_RECIPIENT_COUNT_PARAM);
  for (DWORD i = 0; i < count; ++i) {
    const std::vector<BYTE> value = message.Param(CMSG_RECIPIENT_INFO_PARAM, i);
    if (value.size() < sizeof(CERT_INFO)) continue;
    auto* info = reinterpret_cast<CERT_INFO*>(const_cast<BYTE*>(value.data()));
    if (CertCompareCertificateName(kEncoding, &info->Issuer, &certificate->pCertInfo->Issuer) &&
        CertCompareIntegerBlob(&info->SerialNumber, &certificate->pCertInfo->SerialNumber))
      return static_cast<long>(i);
  }
  return -1;
}

// Decrypts for key-transport recipient index into *content; false when the
// key does not open it. A fresh message each time: a failed decryption
// leaves crypt32's message in no documented state.
bool Decrypt(std::string_view der, const Identity& identity, DWORD index, SecretString* content) {
  Message message;
  Parse(der, &message);
  auto certificate = static_cast<PCCERT_CONTEXT>(identity.Certificate());
  HCRYPTPROV_OR_NCRYPT_KEY_HANDLE key = 0;
  DWORD key_use = 0;
  BOOL owned = FALSE;
  const DWORD flags = CRYPT_ACQUIRE_CACHE_FLAG | CRYPT_ACQUIRE_ALLOW_NCRYPT_KEY_FLAG | CRYPT_ACQUIRE_SILENT_FLAG;
  if (!CryptAcquireCertificatePrivateKey(certificate, flags, nullptr, &key, &key_use, &owned)) return false;
  CMSG_CTRL_DECRYPT_PARA para{sizeof para, {key}, key_use, index};
  if (!CryptMsgControl(message.handle, 0, CMSG_CTRL_DECRYPT, &para)) return false;
  std::vector<BYTE> plain = message.Param(CMSG_CONTENT_PARAM);
  content->assign(reinterpret_cast<const char*>(plain.data()), plain.size());
  SecureZeroMemory(plain.data(), plain.size());
  return true;
}

}  // namespace

std::string CmsEnvelope::Seal(std::string_view content, const std::vector<const RecipientCertificate*>& recipients) {
  std::vector<PCCERT_CONTEXT> certificates;
  for (const RecipientCertificate* r : recipients) certificates.push_back(static_cast<PCCERT_CONTEXT>(r->Native()));
  CRYPT_ENCRYPT_MESSAGE_PARA para{};
  para.cbSize = sizeof para;
  para.dwMsgEncodingType = kEncoding;
  para.ContentEncryptionAlgorithm.pszObjId = const_cast<char*>(szOID_NIST_AES256_CBC);
  const auto* in = reinterpret_cast<const BYTE*>(content.data());
  const auto n = static_cast<DWORD>(certificates.size());
  DWORD size = 0;
  std::string sealed;
  if (content.size() <= MAXDWORD &&
      CryptEncryptMessage(&para, n, certificates.data(), in, static_cast<DWORD>(content.size()), nullptr, &size)) {
    sealed.resize(size);
    if (!CryptEncryptMessage(&para, n, certificates.data(), in, static_cast<DWORD>(content.size()),
                             reinterpret_cast<BYTE*>(&sealed[0]), &size))
      size = 0;
    sealed.resize(size);
  }
  if (sealed.empty()) throw _kelvra_runtime_error(errtext::kEnvelopeSeal);
  return sealed;
}

CmsEnvelope::Opened CmsEnvelope::Open(std::string_view der, const Identity& identity) {
  Message message;
  Parse(der, &message);
  Opened opened;
  // The recipient named by the identity; when none is, each is tried.
  const long named = NamedRecipient(message, static_cast<PCCERT_CONTEXT>(identity.Certificate()));
  if (named >= 0) {
    opened.recipient = static_cast<size_t>(named);
    opened.opened = Decrypt(der, identity, static_cast<DWORD>(named), &opened.content);
    return opened;
  }
  const DWORD count = message.Number(CMSG_RECIPIENT_COUNT_PARAM);
  for (DWORD i = 0; i < count && !opened.opened; ++i) opened.opened = Decrypt(der, identity, i, &opened.content);
  return opened;
}

bool CmsEnvelope::Names(std::string_view der, const Identity& identity) {
  Message message;
  Parse(der, &message);
  return NamedRecipient(message, static_cast<PCCERT_CONTEXT>(identity.Certificate())) >= 0;
}

size_t CmsEnvelope::Recipients(std::string_view der) {
  Message message;
  Parse(der, &message);
  // Every RecipientInfo where crypt32 counts them all (CMS); key transport
  // only otherwise.
  const std::vector<BYTE> all = message.Param(CMSG_CMS_RECIPIENT_COUNT_PARAM);
  if (all.size() == sizeof(DWORD)) return *reinterpret_cast<const DWORD*>(all.data());
  return message.Number(CMSG_RECIPIENT_COUNT_PARAM);
}
