// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <cstdio>
#include <cstring>

#include "base/kelvraruntimeerror.h"
#include "crypt/recipientcertificate.h"

struct RecipientCertificate::Impl {
  PCCERT_CONTEXT context = nullptr;
  std::string source;
  ~Impl() { CertFreeCertificateContext(context); }
};

namespace {

std::string Day(const FILETIME& t) {
  SYSTEMTIME day{};
  if (!FileTimeToSystemTime(&t, &day)) return "an unreadable date";
  char text[16];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u", day.wYear, day.wMonth, day.wDay);
  return text;
}

// The short names a person knows from the other builds' subjects.
const char* ShortName(const char* oid) {
  static const char* const names[][2] = {
      {szOID_COMMON_NAME, "CN"},
      {szOID_COUNTRY_NAME, "C"},
      {szOID_ORGANIZATION_NAME, "O"},
      {szOID_ORGANIZATIONAL_UNIT_NAME, "OU"},
      {szOID_LOCALITY_NAME, "L"},
      {szOID_STATE_OR_PROVINCE_NAME, "ST"},
      {szOID_RSA_emailAddr, "emailAddress"},
      {szOID_DOMAIN_COMPONENT, "DC"},
      {szOID_DEVICE_SERIAL_NUMBER, "serialNumber"},
  };
  for (const auto& n : names)
    if (std::strcmp(n[0], oid) == 0) return n[1];
  return oid;
}

}  // namespace

std::vector<RecipientCertificate> RecipientCertificate::Read(std::string_view bytes, const std::string& name) {
  std::vector<RecipientCertificate> found;
  if (bytes.size() > MAXDWORD) throw _kelvra_runtime_error(errtext::kCertificateUnreadable, name);
  auto add = [&](const BYTE* der, DWORD size) {
    auto impl = std::make_unique<Impl>();
    impl->context = CertCreateCertificateContext(X509_ASN_ENCODING, der, size);
    impl->source = name;
    if (impl->context != nullptr) found.push_back(RecipientCertificate(std::move(impl)));
  };
  if (bytes.find("-----BEGIN") != std::string_view::npos) {
    // Every certificate block; other blocks (a key) are passed over.
    const std::string_view header = "-----BEGIN CERTIFICATE-----";
    for (size_t at = bytes.find(header); at != std::string_view::npos; at = bytes.find(header, at + 1)) {
      const std::string_view block = bytes.substr(at);
      const auto size = static_cast<DWORD>(block.size());
      DWORD n = 0;
      if (!CryptStringToBinaryA(block.data(), size, CRYPT_STRING_BASE64HEADER, nullptr, &n, nullptr, nullptr)) continue;
      std::vector<BYTE> der(n);
      if (CryptStringToBinaryA(block.data(), size, CRYPT_STRING_BASE64HEADER, der.data(), &n, nullptr, nullptr))
        add(der.data(), n);
    }
  } else {
    add(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  }
  if (found.empty()) throw _kelvra_runtime_error(errtext::kCertificateUnreadable, name);
  return found;
}

RecipientCertificate::RecipientCertificate(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RecipientCertificate::RecipientCertificate(RecipientCertificate&&) noexcept = default;
RecipientCertificate& RecipientCertificate::operator=(RecipientCertificate&&) noexcept = default;
RecipientCertificate::~RecipientCertificate() = default;

std::string RecipientCertificate::Name() const { return impl_->source + " (" + Subject() + ")"; }

// "/CN=Bob/O=Example" in the order of the encoding; bytes outside printable
// ASCII (of the UTF-8) as \xHH.
std::string RecipientCertificate::Subject() const {
  CERT_NAME_INFO* info = nullptr;
  DWORD size = 0;
  const CERT_NAME_BLOB& subject = impl_->context->pCertInfo->Subject;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_NAME, subject.pbData, subject.cbData, CRYPT_DECODE_ALLOC_FLAG,
                           nullptr, &info, &size))
    return std::string();
  std::string text;
  for (DWORD r = 0; r < info->cRDN; ++r) {
    for (DWORD a = 0; a < info->rgRDN[r].cRDNAttr; ++a) {
      CERT_RDN_ATTR& attr = info->rgRDN[r].rgRDNAttr[a];
      wchar_t wide[256];
      const DWORD n = CertRDNValueToStrW(attr.dwValueType, &attr.Value, wide, 256);
      char utf8[1024];
      const int m =
          n > 1 ? WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n - 1), utf8, sizeof utf8, nullptr, nullptr)
                : 0;
      text += std::string("/") + ShortName(attr.pszObjId) + "=";
      for (int i = 0; i < m; ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        text += c < ' ' || c > '~' ? std::string(hex) : std::string(1, static_cast<char>(c));
      }
    }
  }
  LocalFree(info);
  return text;
}

std::string RecipientCertificate::Unusable() const {
  CERT_INFO* info = impl_->context->pCertInfo;
  const LONG validity = CertVerifyTimeValidity(nullptr, info);
  if (validity > 0) return "it expired on " + Day(info->NotAfter);
  if (validity < 0) return "it is not valid before " + Day(info->NotBefore);
  if (std::strcmp(info->SubjectPublicKeyInfo.Algorithm.pszObjId, szOID_RSA_RSA) != 0) return "its key is not RSA";
  // Without the extension every use is allowed.
  BYTE usage[2] = {0, 0};
  if (CertGetIntendedKeyUsage(X509_ASN_ENCODING, info, usage, sizeof usage) &&
      (usage[0] & CERT_KEY_ENCIPHERMENT_KEY_USAGE) == 0)
    return "its key usage does not allow key encipherment";
  return std::string();
}

void* RecipientCertificate::Native() const { return const_cast<CERT_CONTEXT*>(impl_->context); }
