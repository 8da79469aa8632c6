// The public-key path: a small document whose Encrypt dictionary names the
// public-key handler with /V, /SubFilter, the crypt filter's method and
// where /Recipients sits drawn from the input, and an array of envelopes:
// ones sealed for the identity (tests/data/pubsec/alice.p12), with seeds
// and permissions of any length, those cut short or with a byte changed,
// and bytes drawn from the input, up to many thousands of them. Opened with
// the identity, the document must decrypt or be refused with a library
// message; ShowBuffer counts its recipients or refuses as the interface does.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "base/kelvraruntimeerror.h"
#include "base/pdfmemorystream.h"
#include "crypt/cmsenvelope.h"
#include "crypt/identity.h"
#include "crypt/pdfsecurityhandler.h"
#include "crypt/recipientcertificate.h"
#include "fuzz/fuzzbytes.h"
#include "fuzz/nullsink.h"
#include "varnel/varnel.h"
#include "writer/pdfdecryptedfilewriter.h"

namespace {

std::string Data(const char* name) {
  std::ifstream in(std::string(VARNEL_PUBSEC_DATA "/") + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Keys {
  std::shared_ptr<const Identity> identity = Identity::Read(Data("alice.p12"), "pw");
  std::vector<RecipientCertificate> certificate = RecipientCertificate::Read(Data("alice.pem"), "alice.pem");
};

const Keys& TheKeys() {
  static const Keys keys;
  return keys;
}

using Bytes = FuzzBytes;
const auto Hex = &FuzzBytes::Hex;

// One /Recipients element.
std::string Envelope(Bytes& in) {
  const uint8_t kind = in.Byte();
  if (kind % 4 == 3) return Hex(in.Take(in.Byte()));  // anything
  // Sealed for the identity: a seed and permissions of any length.
  std::string envelope = CmsEnvelope::Seal(in.Take(kind % 2 ? 24 : in.Byte() % 40), {&TheKeys().certificate[0]});
  if (kind % 4 == 1) envelope.resize(envelope.size() * in.Byte() / 256);  // cut short
  if (kind % 4 == 2) envelope[in.Byte() * envelope.size() / 256] ^= static_cast<char>(in.Byte() | 1);
  return kind & 8 ? "(" + PdfSecurityHandler::EscapeLiteralString(envelope) + ")" : Hex(envelope);
}

std::string Document(Bytes& in) {
  static const char* const kSubFilters[] = {"/adbe.pkcs7.s5", "/adbe.pkcs7.s4", "/adbe.pkcs7.s3", "/Other"};
  static const char* const kMethods[] = {"/AESV3", "/AESV2", "/V2", "/None"};
  const uint8_t mode = in.Byte();
  std::string recipients = "[";
  // Mostly a few; now and then copies of the last one, or more tiny ones than the limit allows.
  const size_t count = (mode & 0xE0) == 0xE0 ? 4097 : (mode & 0xE0) == 0xC0 ? 64 : in.Byte() % 4;
  std::string last;
  for (size_t i = 0; i < count; ++i) recipients += " " + (count > 64 ? "<30>" : (last = i < 4 ? Envelope(in) : last));
  recipients += " ]";
  std::string filter = "/CFM " + std::string(kMethods[in.Byte() % 4]) + " /Length " + std::to_string(in.Byte());
  if (mode & 1) filter += " /Recipients " + recipients;
  std::string entries = "/Filter /Adobe.PubSec /SubFilter " + std::string(kSubFilters[in.Byte() % 4]) + " /V " +
                        std::to_string(in.Byte() % 7) + " /CF << /DefaultCryptFilter << " + filter +
                        " >> >> /StmF /DefaultCryptFilter /StrF /DefaultCryptFilter";
  if (!(mode & 1)) entries += " /Recipients " + (mode & 2 ? recipients : Envelope(in));
  if (mode & 4) entries += " /EncryptMetadata false";
  const std::string text = in.Take(in.Byte());
  const std::string data = in.Rest();
  std::string pdf = "%PDF-1.7\n";
  std::string offsets[4];
  auto obj = [&](int n, const std::string& body) {
    char row[24];
    std::snprintf(row, sizeof row, "%010zu 00000 n \n", pdf.size());
    offsets[n] = row;
    pdf += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
  };
  obj(1, "<< /Type /Catalog /S " + Hex(text) + " >>");
  obj(2, "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
  obj(3, "<< " + entries + " >>");
  const size_t xref = pdf.size();
  pdf += "xref\n0 4\n0000000000 65535 f \n" + offsets[1] + offsets[2] + offsets[3];
  pdf += "trailer\n<< /Size 4 /Root 1 0 R /Encrypt 3 0 R /ID [<00> <00>] >>\nstartxref\n" + std::to_string(xref) +
         "\n%%EOF\n";
  return pdf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in(data, size);
  const std::string pdf = Document(in);
  PdfMemoryStream stream(pdf.data(), pdf.size());
  PdfDecryptedFileWriter writer("");
  writer.SetIdentity(TheKeys().identity, false);
  NullSink out;
  try {
    writer.WriteDocument(stream, out);
  } catch (const _kelvra_runtime_error&) {
    // refused with a library message: a correct outcome
  }
  try {
    varnel::ShowBuffer(pdf);
  } catch (const varnel::Error&) {
    // refused as the public interface refuses
  }
  return 0;
}
