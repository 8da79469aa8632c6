#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "crypt/aescbc.h"
#include "crypt/md5.h"
#include "crypt/pdfstandardsecurityhandler.h"
#include "crypt/rc4.h"
#include "writer/pdfdecryptedfilewriter.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "crypt/pdfdecryption.h"
#include "crypt/pdfrevision4securityhandler.h"
#include "crypt/pdfrevision5securityhandler.h"
#include "crypt/pdfrevision6securityhandler.h"
#include "crypt/securerandom.h"
#include "tests/pdfbuilder.h"

namespace {

using pdftest::Doc;
using pdftest::PdfBuilder;

const std::string k32(64, 'A'), k48(96, 'A');  // hexadecimal digits of 32 and 48 bytes

// A file with the Encrypt dictionary entries given, object 1 holding body.
std::string File(const std::string& entries, const std::string& body, const std::string& id = "00") {
  PdfBuilder b;
  b.Obj(1, body);
  b.Obj(2, "<<" + entries + ">>");
  return b.Finish(b.Classic({{0, b.Rows(2)}}, "/Size 3 /Root 1 0 R /Encrypt 2 0 R /ID [<" + id + "><" + id + ">]"));
}

TEST(Decryption, EncryptDictionariesRefused) {
  const std::string ou = "/O <" + k32 + "> /U <" + k32 + "> /P -4";
  const std::string ou6 = "/O <" + k48 + "> /U <" + k48 + "> /OE <" + k32 + "> /UE <" + k32 + "> /P -4";
  const struct {
    std::string entries, error;
  } rows[] = {
      {"/Filter/Standard/V 2/R 3/Length 42" + ou, "PdfDecryption:key length"},   // not whole bytes
      {"/Filter/Standard/V 2/R 3/Length 32" + ou, "PdfDecryption:key length"},   // under 40 bits
      {"/Filter/Standard/V 2/R 3/Length -8" + ou, "PdfDecryption:key length"},
      {"/Filter/Standard/V 4/R 4/Length 256" + ou, "PdfDecryption:key length"},  // AES-128 is 128
      {"/Filter/Standard/V 5/R 6/Length 128" + ou6, "PdfDecryption:key length"},  // AES-256 is 256
      {"/Filter/Standard/V 3/R 5" + ou, "PdfDecryption:unsupported Encrypt dictionary"},
      {"/Filter/Other/V 2/R 3" + ou, "PdfDecryption:unsupported Encrypt dictionary"},
      {"/Filter/Standard/V 4/R 4/StmF/Nowhere" + ou, "PdfDecryption:unsupported Encrypt dictionary"},
      {"/Filter/Standard/V 4/R 4/CF<</StdCF<</CFM/AESV3>>>>/StmF/StdCF" + ou,
       "PdfDecryption:unsupported Encrypt dictionary"},  // a 256-bit method with 128-bit keys
      {"/Filter/Standard/V 2/R 3/O <" + k32.substr(2) + "> /U <" + k32 + ">", "PdfSecurityHandler:bad /O /U"},
      {"/Filter/Standard/V 5/R 6/O <" + k48 + "> /U <" + k48.substr(2) + "> /OE <" + k32 + "> /UE <" + k32 + ">",
       "PdfSecurityHandler:bad /O /U"},  // U cut short
      {"/Filter/Standard/V 2/R 3/Length 128" + ou, "Wrong password"},
      {"/Filter/Standard/V 5/R 6" + ou6, "Wrong password"},
      {"/Filter/Standard/V 5/R 5" + ou6, "Wrong password"},
  };
  for (const auto& row : rows) {
    Doc d(File(row.entries, "1"));
    d.parser.SetPassword("", false);
    EXPECT_EQ(d.Parse(), row.error) << row.entries;
  }
  EXPECT_EQ(Doc(File(rows[0].entries, "1")).Parse(), "Encrypted") << "no password given";
}

// A string of object n encrypted under AES-128 as given (IV of zeros).
std::string AesString(const PdfSecurityHandler& h, std::string plain, int64_t n = 1) {
  const std::string key = h.ObjectKeyBytes(n, 0);
  AesCbc aes(reinterpret_cast<const uint8_t*>(key.data()), key.size());
  aes.Encrypt(reinterpret_cast<const uint8_t*>(plain.data()), reinterpret_cast<uint8_t*>(&plain[0]), plain.size());
  return "<" + PdfSecurityHandler::Hex(std::string(16, '\0') + plain) + ">";
}

TEST(Decryption, AesStringsAndPadding) {
  PdfRevision4SecurityHandler h;
  h.ComputeKeys("user", "owner", "P");
  const std::string entries = h.EncryptDictionaryEntries(), id = PdfSecurityHandler::Hex(h.GetIdentifier());
  const std::string hello = "hello" + std::string(11, '\x0B');
  const struct {
    std::string body, password, expected;
  } rows[] = {
      {"[" + AesString(h, hello) + "]", "user", "hello"},
      {"[<" + std::string(32, '0') + ">]", "user", ""},  // an IV alone is empty
      {"[" + AesString(h, std::string(16, '\0')) + "]", "user", "!PdfDecryption:bad padding"},  // pad byte 0
      {"[" + AesString(h, std::string(15, 'x') + "\x11") + "]", "user", "!PdfDecryption:bad padding"},  // 17
      {"[" + AesString(h, "hello" + std::string(10, '\x0B') + "\x0A") + "]", "user", "!PdfDecryption:bad padding"},
      {"[<" + std::string(40, '0') + ">]", "user", "!PdfDecryption:AES data length"},  // 20 bytes
      {"[" + AesString(h, hello) + "]", "nobody", "!Wrong password"},
  };
  for (const auto& row : rows) {
    Doc d(File(entries, "<< /S " + row.body + " >>", id));
    d.parser.SetPassword(row.password, false);
    std::string got;
    const std::string error = pdftest::ErrorOf([&] {
      d.parser.Parse(d.stream);
      auto* a = static_cast<PdfArray*>(static_cast<PdfDiccionario*>(d.Get("1 0 R"))->GetValue("/S", false));
      got = a->elements[0]->text;
    });
    EXPECT_EQ(error.empty() ? got : "!" + error, row.expected) << row.body;
    // A failed object is never found half decrypted by a second fetch.
    if (!error.empty() && error != "Wrong password") { EXPECT_EQ(pdftest::ErrorOf([&] { d.Get("1 0 R"); }), error); }
  }
}

TEST(Decryption, Revision5And6PermsAndRights) {
  PdfRevision6SecurityHandler h;
  PdfRevision5SecurityHandler h5;
  SecureRandom random;
  h.ComputeKeys("user", "owner", "P", random);  // no modification granted
  h5.ComputeKeys("user", "owner", "P", random);
  std::string entries5 = h5.EncryptDictionaryEntries();
  entries5.replace(entries5.find("/R 6"), 4, "/R 5");
  const std::string entries = h.EncryptDictionaryEntries(), p = "/P " + std::to_string(h.GetPermissions());
  const auto tamper = [&p](std::string e) { return e.replace(e.find(p), p.size(), "/P -4"); };  // every right claimed
  const struct {
    std::string entries, password;
    bool rights, warns;
  } rows[] = {{entries, "owner", true, false},          {entries, "user", false, false},
              {tamper(entries), "user", true, true},    {entries5, "user", false, false},
              {tamper(entries5), "owner", true, true}};
  for (const auto& row : rows) {
    Doc d(File(row.entries, "1"));
    d.parser.SetPassword(row.password, false);
    ASSERT_EQ(d.Parse(), "") << row.entries;
    EXPECT_EQ(d.parser.Decryption()->MayChangeProtection(), row.rights) << row.entries;
    EXPECT_EQ(d.parser.Decryption()->Handler().Warning().empty(), !row.warns) << row.entries;
  }
  Doc refused(File(entries, "1"));
  refused.parser.SetPassword("user", true);
  EXPECT_EQ(refused.Parse(), "Owner password needed");
}

// Revision 4 with RC4 crypt filters of n-byte keys, /O of 'O's, /P -4, the
// empty user password: the file key and /U (algorithms 2 and 5), and a
// string of object 1 encrypted under them.
std::string Rc4Entries(size_t n, const std::string& id, const std::string& plain, std::string* string) {
  const std::string pad = PdfStandardSecurityHandler::PadPassword(""), o(32, 'O');
  uint8_t key[16], u[16];
  Md5 md5;
  for (const std::string& part : {pad, o, std::string("\xFC\xFF\xFF\xFF") + id}) md5.Update(part.data(), part.size());
  md5.Final(key);
  for (int i = 0; i < 50; ++i) Md5::Digest(key, n, key);
  Md5::Digest((pad + id).data(), 32 + id.size(), u);
  for (uint8_t pass = 0; pass < 20; ++pass) {
    uint8_t k[16];
    for (size_t i = 0; i < n; ++i) k[i] = key[i] ^ pass;
    Rc4(k, n).Crypt(u, 16);
  }
  uint8_t object_key[16];
  Md5::Digest((std::string(reinterpret_cast<char*>(key), n) + std::string("\1\0\0\0\0", 5)).data(), n + 5, object_key);
  *string = plain;
  Rc4(object_key, std::min<size_t>(n + 5, 16)).Crypt(reinterpret_cast<uint8_t*>(&(*string)[0]), plain.size());
  return "/Filter/Standard/V 4/R 4/P -4/O <" + PdfSecurityHandler::Hex(o) + "> /U <" +
         PdfSecurityHandler::Hex(std::string(reinterpret_cast<char*>(u), 16) + std::string(16, '\0')) + ">";
}

TEST(Decryption, Rc4CryptFilterKeyLength) {
  const struct {
    std::string entries;  // the filter's /Length, the dictionary's
    size_t key_bytes;
    std::string expected;
  } rows[] = {
      {"/CF<</StdCF<</CFM/V2/Length 40>>>>", 5, "hello"},
      {"/CF<</StdCF<</CFM/V2/Length 5>>>>", 5, "hello"},  // in bytes
      {"/CF<</StdCF<</CFM/V2/Length 16>>>>/Length 40", 16, "hello"},  // the filter's own wins
      {"/CF<</StdCF<</CFM/V2>>>>/Length 96", 12, "hello"},
      {"/CF<</StdCF<</CFM/V2>>>>", 16, "hello"},
      {"/CF<</StdCF<</CFM/V2/Length 4>>>>", 5, "!PdfDecryption:key length"},
      {"/CF<</StdCF<</CFM/V2/Length 136>>>>", 16, "!PdfDecryption:key length"},
      {"/CF<</StdCF<</CFM/V2/Length 40>>/Other<</CFM/V2/Length 48>>>>/StrF/Other", 5, "!PdfDecryption:key length"},
  };
  for (const auto& row : rows) {
    std::string encrypted;
    const std::string id = "0123456789ABCDEF";
    const std::string base = Rc4Entries(row.key_bytes, id, "hello", &encrypted);
    const std::string stmf = row.entries.find("/StrF") == std::string::npos ? "/StrF/StdCF/StmF/StdCF" : "/StmF/StdCF";
    Doc d(File(base + row.entries + stmf, "<< /S <" + PdfSecurityHandler::Hex(encrypted) + "> >>", PdfSecurityHandler::Hex(id)));
    d.parser.SetPassword("", false);
    std::string got;
    const std::string error = pdftest::ErrorOf(
        [&] { d.parser.Parse(d.stream), got = static_cast<PdfDiccionario*>(d.Get("1 0 R"))->GetValue("/S", false)->text; });
    EXPECT_EQ(error.empty() ? got : "!" + error, row.expected) << row.entries;
  }
}

// The stream of object 1 with its own crypt filter, decrypted and copied:
// the filter goes, with its parameters (qpdf does the same).
TEST(Decryption, OwnCryptFilterLeftOutOfDecryptedCopy) {
  PdfRevision4SecurityHandler h;
  h.ComputeKeys("", "owner", "PM");
  const std::string secret = PdfSyntaxFormatter::HexToBytes(AesString(h, "secret\n\n\n\n\n\n\n\n\n\n").substr(1, 64));
  const struct {
    std::string entries, data, expected;
  } rows[] = {
      {"/Filter [/Crypt /FlateDecode] /DecodeParms [<< /Name /Identity >> null]", "plain",
       "/DecodeParms [ null ] /Filter [ /FlateDecode ] /Length 5 >> stream plain"},
      {"/Filter /Crypt /DecodeParms << /Name /Identity >> /Type /X", "plain", "/Length 5 /Type /X >> stream plain"},
      {"/DecodeParms [<< /Name /StdCF >>] /Filter [/Crypt]", secret, "/DecodeParms [ ] /Filter [ ] /Length 6 >> stream secret"},
      {"/Filter [/Crypt /FlateDecode] /DecodeParms << /Name /Identity >>", "plain",  // not the crypt filter's own
       "/DecodeParms << /Name /Identity >> /Filter [ /FlateDecode ] /Length 5 >> stream plain"},
  };
  for (const auto& row : rows) {
    PdfBuilder b;
    b.Stream(1, row.entries, row.data);
    b.Obj(2, "<<" + h.EncryptDictionaryEntries() + ">>");
    const std::string id = PdfSecurityHandler::Hex(h.GetIdentifier());
    PdfDecryptedFileWriter writer("");
    std::string out = pdftest::Rewrite(writer, b.Finish(b.Classic({{0, b.Rows(2)}}, "/Size 3 /Root 1 0 R /Encrypt 2 0 R /ID [<" + id + "><" + id + ">]")));
    out = out.substr(out.find("1 0 obj") + 8);
    out = std::regex_replace(out.substr(0, out.find("endstream") - 1), std::regex("\\s+"), " ");
    EXPECT_EQ(out.substr(out.find("<<") + 3), row.expected) << row.entries;
  }
}

}  // namespace
