// The per-object ciphers as reader and writer use them: what one encrypts the other decrypts, in any chunking.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypt/pdfrevision4securityhandler.h"
#include "crypt/pdfrevision6securityhandler.h"

namespace {

using Cipher = PdfSecurityHandler::Cipher;

struct Row {
  const char* name = "";
  std::unique_ptr<PdfSecurityHandler> handler;
  Cipher method = Cipher::kRc4;
};

std::vector<Row> Rows() {
  std::vector<Row> rows;
  rows.push_back({"rc4-128", std::make_unique<PdfStandardSecurityHandler>(), Cipher::kRc4});   // revision 3
  rows.push_back({"r4-rc4", std::make_unique<PdfRevision4SecurityHandler>(), Cipher::kRc4});   // a /V2 crypt filter
  rows.push_back({"aes-128", std::make_unique<PdfRevision4SecurityHandler>(), Cipher::kAes});  // salted keys
  rows.push_back({"aes-256", std::make_unique<PdfRevision6SecurityHandler>(), Cipher::kAes});  // the file key
  for (Row& row : rows) row.handler->ComputeKeys("u", "o", "P");
  return rows;
}

std::string Data(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 31 + (i >> 7));
  return s;
}

// Stream data through Start, Update in pieces of the given sizes (in place when asked) and Finish.
std::string Stream(PdfObjectCipher& c, const std::string& plain, size_t piece, bool in_place) {
  std::string out(plain.size() + 2 * PdfObjectCipher::kMaxExtraBytes + 16, '\0');
  auto* o = reinterpret_cast<uint8_t*>(&out[0]);
  size_t used = c.Start(7, 0, o);
  for (size_t at = 0; at < plain.size(); at += piece) {
    const size_t n = std::min(piece, plain.size() - at);
    std::string in = plain.substr(at, n);
    if (in_place) std::copy(in.begin(), in.end(), o + used);
    used += c.Update(in_place ? o + used : reinterpret_cast<const uint8_t*>(in.data()), n, o + used);
  }
  used += c.Finish(o + used);
  out.resize(used);
  return out;
}

TEST(ObjectCiphers, RoundTripsChunkedAndSized) {
  for (const Row& row : Rows()) {
    const auto writer = row.handler->NewCipher(row.method), reader = row.handler->NewCipher(row.method);
    for (size_t n : {0, 1, 15, 16, 17, 4099}) {
      const std::string plain = Data(n);
      std::string s = writer->EncryptString(7, 0, plain);
      EXPECT_EQ(s.size(), writer->EncryptedSize(n)) << row.name << " " << n;
      EXPECT_EQ(s == writer->EncryptString(7, 0, plain), row.method == Cipher::kRc4) << "AES: a fresh IV each time";
      reader->Decrypt(7, 0, s);
      EXPECT_EQ(s, plain) << row.name << " " << n;
      // Pieces of whole blocks (as the writer gives them), odd pieces, in place or not: one run of the data.
      for (size_t piece : {size_t{4096}, size_t{7}, size_t{33}}) {
        for (bool in_place : {true, false}) {
          std::string data = Stream(*writer, plain, piece, in_place);
          EXPECT_EQ(data.size(), writer->EncryptedSize(n)) << row.name << " " << n << " " << piece;
          if (row.method == Cipher::kRc4) {
            EXPECT_EQ(data, writer->EncryptString(7, 0, plain)) << row.name;
          }
          reader->Decrypt(7, 0, data);
          EXPECT_EQ(data, plain) << row.name << " " << n << " " << piece << " " << in_place;
        }
      }
    }
  }
}

}  // namespace
