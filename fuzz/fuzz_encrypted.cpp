// The encrypted-document path: a small document whose Encrypt dictionary is
// drawn from the input (/V, /R, /Length, crypt filters and their own
// /Length, /O /U /OE /UE /Perms of any length, /P, /EncryptMetadata), or
// made by the revision 4 handler with a fixed identifier so that the
// password really opens it; strings and stream data of any length (IV
// alone, bad padding), the stream's own crypt filter in any form. The
// reader must authenticate or refuse with a library message, and every
// object must decrypt or be refused the same way; an unencrypted copy
// (without the stream's crypt filter) is written too. What ShowBuffer tells
// of the dictionary is read too, with and without the password. A signature
// field names a signature dictionary (by its /Type, or only by the field's
// /V) whose /Contents is drawn from the input: kept as it is, or taken
// decrypted.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "crypt/pdfrevision4securityhandler.h"
#include "fuzz/fuzzbytes.h"
#include "fuzz/nullsink.h"
#include "base/kelvraruntimeerror.h"
#include "pdf/pdfdiccionario.h"
#include "base/pdfmemorystream.h"
#include "varnel/varnel.h"
#include "writer/pdfdecryptedfilewriter.h"

namespace {

using Bytes = FuzzBytes;
const auto Hex = &FuzzBytes::Hex;

std::string Document(Bytes& in, std::string* password) {
  static const char* const kMethods[] = {"/None", "/V2", "/AESV2", "/AESV3", "/Other"};
  static const char* const kFilters[] = {"/StdCF", "/Identity", "/Missing", "/Other"};
  static const int kLengths[] = {-1, 40, 48, 128, 256, 41, 0, 4096, 5, 16, 136, -40};
  static const char* const kCrypt[] = {"",
                                       " /Filter [/Crypt] /DecodeParms [<< /Name /StdCF >>]",
                                       " /Filter /Crypt /DecodeParms << /Name /Identity >>",
                                       " /Filter [/Crypt /FlateDecode] /DecodeParms << /Name /StdCF >>",
                                       " /Filter [/Crypt] /DecodeParms []",
                                       " /Filter [] /DecodeParms [null]",
                                       " /Filter [/Crypt /Crypt] /DecodeParms [<< /Name /Other >> 1 0 R]"};
  const uint8_t mode = in.Byte();
  *password = in.Take(in.Byte() % 8);
  std::string entries;
  if (mode % 4 == 0) {
    // Keys that the password opens (as user or owner, or neither).
    PdfRevision4SecurityHandler h;
    h.ComputeKeys("u", "o", "P", std::string(16, 'i'));
    entries = h.EncryptDictionaryEntries();
    if (mode & 4) *password = (mode & 8) ? "o" : "u";
  } else {
    entries = "/Filter /Standard /V " + std::to_string(in.Byte() % 7) + " /R " + std::to_string(in.Byte() % 8);
    const int length = kLengths[in.Byte() % 12];
    if (length >= 0) entries += " /Length " + std::to_string(length);
    // Crypt filters with their own key lengths, in bits or bytes.
    const int own = kLengths[in.Byte() % 12], other = kLengths[in.Byte() % 12];
    entries += " /CF << /StdCF << /CFM " + std::string(kMethods[in.Byte() % 5]) +
               (own != -1 ? " /Length " + std::to_string(own) : "") + " >> /Other << /CFM /V2 /Length " +
               std::to_string(other) + " >> >>";
    entries += " /StmF " + std::string(kFilters[in.Byte() % 4]) + " /StrF " + kFilters[in.Byte() % 4];
    for (const char* key : {"/O", "/U", "/OE", "/UE", "/Perms"})
      entries += std::string(" ") + key + " " + Hex(in.Take(in.Byte() % 130));
    entries += " /P " + std::to_string(static_cast<int8_t>(in.Byte()));
    if (in.Byte() & 1) entries += " /EncryptMetadata false";
  }
  const std::string text = in.Take(in.Byte());
  const std::string crypt = kCrypt[in.Byte() % 7];
  const std::string data = in.Rest();
  // Object 1 a catalog with a string, 2 a stream, 3 the Encrypt dictionary,
  // 4 a signature, 5 its field.
  std::string pdf = "%PDF-1.7\n";
  std::string offsets[6];
  auto obj = [&](int n, const std::string& body) {
    char row[24];
    std::snprintf(row, sizeof row, "%010zu 00000 n \n", pdf.size());
    offsets[n] = row;
    pdf += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
  };
  obj(1, "<< /Type /Catalog /S " + Hex(text) + " /T [(" + std::string(text.size() % 3, 'x') +
             ")] /AcroForm << /Fields [5 0 R] >> >>");
  obj(2, "<< /Length " + std::to_string(data.size()) + crypt + " >>\nstream\n" + data + "\nendstream");
  obj(3, "<< " + entries + " >>");
  obj(4, std::string("<< ") + (mode & 16 ? "/Type /Sig " : "") + "/ByteRange [0 1 2 3] /Contents " + Hex(text) +
             (mode & 32 ? " /Filter /Adobe.PPKLite" : "") + " >>");
  obj(5, "<< /FT /Sig /T (s) /V 4 0 R >>");
  const size_t xref = pdf.size();
  pdf += "xref\n0 6\n0000000000 65535 f \n" + offsets[1] + offsets[2] + offsets[3] + offsets[4] + offsets[5];
  pdf += "trailer\n<< /Size 6 /Root 1 0 R /Encrypt 3 0 R /ID [" + Hex(std::string(16, 'i')) + Hex("x") +
         "] >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in(data, size);
  std::string password;
  const std::string pdf = Document(in, &password);
  PdfMemoryStream stream(pdf.data(), pdf.size());
  PdfDecryptedFileWriter writer(password);
  NullSink out;
  try {
    writer.WriteDocument(stream, out);
  } catch (const _kelvra_runtime_error&) {
    // refused with a library message: a correct outcome
  }
  for (const std::optional<std::string>& given : {std::optional<std::string>(), std::optional<std::string>(password)}) {
    try {
      varnel::ShowBuffer(pdf, given);
    } catch (const varnel::Error&) {
      // refused as the public interface refuses
    }
  }
  return 0;
}
