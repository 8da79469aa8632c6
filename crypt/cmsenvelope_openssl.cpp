#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <climits>
#include <mutex>

#include "base/kelvraruntimeerror.h"
#include "crypt/cmsenvelope.h"
#include "crypt/identity.h"
#include "crypt/recipientcertificate.h"

namespace {

// Envelopes are opened in a library context of their own that also has
// the legacy provider: widely used writers seal the seed with RC2, which
// OpenSSL 3 keeps there. Nothing else of the process sees those ciphers.
OSSL_LIB_CTX* OpeningContext() {
  static OSSL_LIB_CTX* context = nullptr;
  static std::once_flag once;
  std::call_once(once, [] {
    context = OSSL_LIB_CTX_new();
    if (context == nullptr) return;
    OSSL_PROVIDER_load(context, "default");
    OSSL_PROVIDER_load(context, "legacy");  // absent: RC2 envelopes do not open
    ERR_clear_error();
  });
  return context;
}

// The enveloped data of der; throws for anything else (trailing bytes too:
// a /Recipients string is the envelope and nothing more).
CMS_ContentInfo* Parse(std::string_view der) {
  if (der.size() > INT_MAX) throw _kelvra_runtime_error(errtext::kEnvelopeMalformed);
  const auto* p = reinterpret_cast<const unsigned char*>(der.data());
  CMS_ContentInfo* cms = CMS_ContentInfo_new_ex(OpeningContext(), nullptr);
  if (cms != nullptr && d2i_CMS_ContentInfo(&cms, &p, static_cast<long>(der.size())) == nullptr) cms = nullptr;
  const bool whole = cms != nullptr && p == reinterpret_cast<const unsigned char*>(der.data() + der.size());
  if (!whole || OBJ_obj2nid(CMS_get0_type(cms)) != NID_pkcs7_enveloped || CMS_get0_RecipientInfos(cms) == nullptr) {
    CMS_ContentInfo_free(cms);
    ERR_clear_error();
    throw _kelvra_runtime_error(errtext::kEnvelopeMalformed);
  }
  return cms;
}

// Decrypts into *content; false when the key does not open it.
bool Decrypt(CMS_ContentInfo* cms, EVP_PKEY* key, X509* certificate, unsigned flags, SecretString* content) {
  BIO* out = BIO_new(BIO_s_secmem());
  bool ok = out != nullptr && CMS_decrypt(cms, key, certificate, nullptr, out, CMS_BINARY | flags) == 1;
  if (ok) {
    char* data = nullptr;
    const long n = BIO_get_mem_data(out, &data);
    content->assign(data, n > 0 ? static_cast<size_t>(n) : 0);
  }
  BIO_free(out);
  ERR_clear_error();
  return ok;
}

}  // namespace

std::string CmsEnvelope::Seal(std::string_view content, const std::vector<const RecipientCertificate*>& recipients) {
  STACK_OF(X509)* certificates = sk_X509_new_null();
  for (const RecipientCertificate* r : recipients)
    if (certificates != nullptr) sk_X509_push(certificates, static_cast<X509*>(r->Native()));
  BIO* in = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
  CMS_ContentInfo* cms =
      certificates != nullptr && in != nullptr ? CMS_encrypt(certificates, in, EVP_aes_256_cbc(), CMS_BINARY) : nullptr;
  unsigned char* der = nullptr;
  const int n = cms != nullptr ? i2d_CMS_ContentInfo(cms, &der) : -1;
  std::string sealed;
  if (n > 0) sealed.assign(reinterpret_cast<const char*>(der), static_cast<size_t>(n));
  OPENSSL_free(der);
  CMS_ContentInfo_free(cms);
  BIO_free(in);
  sk_X509_free(certificates);  // the certificates stay their owners'
  ERR_clear_error();
  if (sealed.empty()) throw _kelvra_runtime_error(errtext::kEnvelopeSeal);
  return sealed;
}

CmsEnvelope::Opened CmsEnvelope::Open(std::string_view der, const Identity& identity) {
  CMS_ContentInfo* cms = Parse(der);
  auto* key = static_cast<EVP_PKEY*>(identity.Key());
  auto* certificate = static_cast<X509*>(identity.Certificate());
  Opened opened;
  // The recipient named by the identity's issuer and serial number; when
  // none is, each is tried with the key (reporting a failure as one, not
  // with the random key OpenSSL otherwise substitutes against padding
  // oracles: there is no oracle to fear in a file on the holder's disk).
  STACK_OF(CMS_RecipientInfo)* infos = CMS_get0_RecipientInfos(cms);
  bool named = false;
  for (int i = 0; i < sk_CMS_RecipientInfo_num(infos) && !named; ++i) {
    CMS_RecipientInfo* info = sk_CMS_RecipientInfo_value(infos, i);
    if (CMS_RecipientInfo_type(info) == CMS_RECIPINFO_TRANS &&
        CMS_RecipientInfo_ktri_cert_cmp(info, certificate) == 0) {
      named = true;
      opened.recipient = static_cast<size_t>(i);
    }
  }
  opened.opened = named ? Decrypt(cms, key, certificate, 0, &opened.content)
                        : Decrypt(cms, key, certificate, 0, &opened.content) ||
                              Decrypt(cms, key, nullptr, CMS_DEBUG_DECRYPT, &opened.content);
  CMS_ContentInfo_free(cms);
  return opened;
}

bool CmsEnvelope::Names(std::string_view der, const Identity& identity) {
  CMS_ContentInfo* cms = Parse(der);
  auto* certificate = static_cast<X509*>(identity.Certificate());
  STACK_OF(CMS_RecipientInfo)* infos = CMS_get0_RecipientInfos(cms);
  bool named = false;
  for (int i = 0; i < sk_CMS_RecipientInfo_num(infos) && !named; ++i) {
    CMS_RecipientInfo* info = sk_CMS_RecipientInfo_value(infos, i);
    if (CMS_RecipientInfo_type(info) == CMS_RECIPINFO_TRANS) {
      named = CMS_RecipientInfo_ktri_cert_cmp(info, certificate) == 0;
    } else if (CMS_RecipientInfo_type(info) == CMS_RECIPINFO_AGREE) {
      STACK_OF(CMS_RecipientEncryptedKey)* keys = CMS_RecipientInfo_kari_get0_reks(info);
      for (int k = 0; k < sk_CMS_RecipientEncryptedKey_num(keys) && !named; ++k)
        named = CMS_RecipientEncryptedKey_cert_cmp(sk_CMS_RecipientEncryptedKey_value(keys, k), certificate) == 0;
    }
  }
  CMS_ContentInfo_free(cms);
  ERR_clear_error();
  return named;
}

size_t CmsEnvelope::Recipients(std::string_view der) {
  CMS_ContentInfo* cms = Parse(der);
  const int n = sk_CMS_RecipientInfo_num(CMS_get0_RecipientInfos(cms));
  CMS_ContentInfo_free(cms);
  return n > 0 ? static_cast<size_t>(n) : 0;
}
