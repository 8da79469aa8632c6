#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "crypt/aescbc.h"
#include "writer/pdfdecryptedfilewriter.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdfdecryption.h"
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
      {"/Filter/Standard/V 2/R 3/Length 42" + ou, "PdfDecryption:key length"},    // not whole bytes
      {"/Filter/Standard/V 2/R 3/Length 32" + ou, "PdfDecryption:key length"},    // under 40 bits
      {"/Filter/Standard/V 4/R 4/Length 256" + ou, "PdfDecryption:key length"},   // AES-128 is 128
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
  };
  for (const auto& row : rows) {
    Doc d(File(row.entries, "1"));
    d.parser.SetPassword("", false);
    EXPECT_EQ(d.Parse(), row.error) << row.entries;
  }
  EXPECT_EQ(Doc(File(rows[0].entries, "1")).Parse(), "Encrypted") << "no password given";
}

// A string of object 1 encrypted under AES-128 as given (IV of zeros).
std::string AesString(const PdfSecurityHandler& h, std::string plain) {
  const std::string key = h.ObjectKeyBytes(1, 0).Plain();
  AesCbc aes(pdftest::U8(key), key.size());
  aes.Encrypt(pdftest::U8(plain), pdftest::U8(plain), plain.size());
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
      {"[<" + std::string(32, '0') + ">]", "user", ""},                                         // an IV alone is empty
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
    if (!error.empty() && error != "Wrong password") {
      EXPECT_EQ(pdftest::ErrorOf([&] { d.Get("1 0 R"); }), error);
    }
  }
}

// A damaged encrypted file is repaired when its password is given, and refused without one.
TEST(Decryption, DamagedFilesRepairedWithThePassword) {
  PdfRevision4SecurityHandler h;
  h.ComputeKeys("user", "owner", "P");
  const std::string file =
      File(h.EncryptDictionaryEntries(),
           "<</Type/Catalog/Pages<</Count 0>>/S " + AesString(h, "hello" + std::string(11, '\x0B')) + ">>",
           PdfSecurityHandler::Hex(h.GetIdentifier()));
  const std::pair<const char*, std::string> rows[] = {{"junk before the header", "junk\n" + file},
                                                      {"no startxref", file.substr(0, file.rfind("startxref"))}};
  for (const auto& [what, pdf] : rows) {
    for (const char* password : {"user", ""}) {
      Doc d(pdf);
      d.parser.SetRepair(true);
      if (*password == '\0') {
        EXPECT_EQ(d.Parse(), "Encrypted") << what;
        continue;
      }
      d.parser.SetPassword(password, false);
      ASSERT_EQ(d.Parse(), "") << what;
      EXPECT_EQ(d.parser.RepairReport().rebuilt.front(),
                "decryption with the Encrypt dictionary the newest trailer names");
      auto* s = static_cast<PdfDiccionario*>(d.Get("1 0 R"))->GetValue("/S", false);
      EXPECT_EQ(s->text, "hello") << what;
    }
  }
}

TEST(Decryption, Revision5And6PermsAndRights) {
  PdfRevision6SecurityHandler h;
  PdfRevision5SecurityHandler h5;
  SecureRandom random;
  h.ComputeKeys("user", "owner", "P", random);  // no modification granted
  h5.ComputeKeys("user", "owner", "P", random);
  const std::string entries = h.EncryptDictionaryEntries(), p = "/P " + std::to_string(h.GetPermissions());
  const auto tamper = [&p](std::string e) { return e.replace(e.find(p), p.size(), "/P -4"); };  // every right claimed
  std::string entries5 = tamper(h5.EncryptDictionaryEntries());
  // Metadata left in the clear: /Perms must say "F" where it says "T".
  const std::string written_perms = "/Perms <" + PdfSecurityHandler::Hex(h.GetPerms()) + ">";
  std::string f = h.GetPerms();
  AesCbc(pdftest::U8(h.GetFileKey().Plain()), 32).Decrypt(pdftest::U8(f), pdftest::U8(f), 16);
  f[8] = 'F';
  AesCbc(pdftest::U8(h.GetFileKey().Plain()), 32).Encrypt(pdftest::U8(f), pdftest::U8(f), 16);
  const auto clear = [&](const std::string& perms) {
    std::string e = entries;
    return e.replace(e.find(written_perms), written_perms.size(), "/Perms <" + PdfSecurityHandler::Hex(perms) + ">") +
           "/EncryptMetadata false";
  };
  const struct {
    std::string entries, password;
    bool rights, warns;
  } rows[] = {
      {entries, "owner", true, false},       {entries, "user", false, false},
      {tamper(entries), "user", true, true}, {entries5.replace(entries5.find("/R 6"), 4, "/R 5"), "user", true, true},
      {clear(f), "user", false, false},      {clear(h.GetPerms()), "user", false, true}};
  for (const auto& row : rows) {
    Doc d(File(row.entries, "1"));
    d.parser.SetPassword(row.password, false);
    ASSERT_EQ(d.Parse(), "");
    EXPECT_EQ(d.parser.Decryption()->MayChangeProtection(), row.rights) << row.entries;
    EXPECT_EQ(d.parser.Decryption()->Handler().Warning().empty(), !row.warns) << row.entries;
  }
  Doc refused(File(entries, "1"));
  refused.parser.SetPassword("user", true);
  EXPECT_EQ(refused.Parse(), "Owner password needed");
}

// What other readers open too: a /U of only the 16 bytes that are compared, a 128-bit key without /Length.
TEST(Decryption, ShortUserValueAndMissingLength) {
  PdfStandardSecurityHandler h;
  h.ComputeKeys("user", "owner", "", "ABCDEFGHIJKLMNOP");
  const std::string id = PdfSecurityHandler::Hex(h.GetIdentifier()),
                    o = "/O <" + PdfSecurityHandler::Hex(h.GetOwnerValue()) + ">";
  const std::string u = PdfSecurityHandler::Hex(h.GetUserValue()), start = "/Filter/Standard/V 2/R 3/P -3904" + o;
  const struct {
    std::string entries, password, error;
  } rows[] = {
      {start + "/Length 128/U <" + u.substr(0, 32) + ">", "user", ""},
      {start + "/Length 128/U <" + u.substr(0, 32) + ">", "owner", ""},
      {start + "/Length 128/U <" + u.substr(0, 32) + ">", "nobody", "PdfSecurityHandler:bad /O /U"},
      {start + "/U <" + u + ">", "user", ""},
      {start + "/Lenght 128/U <" + u + ">", "nobody", "Wrong password"},
  };
  for (const auto& row : rows) {
    Doc d(File(row.entries, "1", id));
    d.parser.SetPassword(row.password, false);
    EXPECT_EQ(d.Parse(), row.error) << row.entries << " " << row.password;
  }
}

TEST(Decryption, Rc4CryptFilterKeyLength) {
  const std::pair<std::string, size_t> rows[] = {
      // the filter's /Length (bits or bytes) or the dictionary's; key bytes
      {"/CF<</StdCF<</CFM/V2/Length 40>>>>", 5},  {"/CF<</StdCF<</CFM/V2/Length 5>>>>", 5},
      {"/CF<</StdCF<</CFM/V2>>>>/Length 96", 12}, {"/CF<</StdCF<</CFM/V2>>>>", 16},
      {"/CF<</StdCF<</CFM/V2/Length 4>>>>", 0},   {"/CF<</StdCF<</CFM/V2/Length 136>>>>", 0}};  // 0: refused
  for (const auto& [entries, key_bytes] : rows) {
    PdfStandardSecurityHandler h;  // set to keys of that length by a first (failed) authentication: U for ""
    PdfSecurityHandler::EncryptValues values;
    values.owner_value = values.user_value = std::string(32, 'O');
    values.key_bytes = key_bytes == 0 ? 5 : key_bytes;
    ASSERT_EQ(h.Authenticate(values, ""), PdfSecurityHandler::Access::kNone);
    h.ComputeFileKey("", PdfStandardSecurityHandler::PadPassword(""), values.owner_value, -4);
    h.ComputeUserValue();
    Doc d(File("/Filter/Standard/V 4/R 4/P -4/StmF/StdCF/StrF/StdCF/O <" + PdfSecurityHandler::Hex(values.owner_value) +
                   "> /U <" + PdfSecurityHandler::Hex(h.GetUserValue()) + ">" + entries,
               "1", ""));
    d.parser.SetPassword("", false);
    EXPECT_EQ(d.Parse(), key_bytes == 0 ? "PdfDecryption:key length" : "") << entries;
  }
}

// A stream's own crypt filter, first in /Filter, decides: the identity filter (named, or by default) leaves its
// data as stored. The filter is left out of a decrypted copy with its parameters, as qpdf leaves it.
TEST(Decryption, OwnCryptFilterLeftOutOfDecryptedCopy) {
  PdfRevision4SecurityHandler h;
  h.ComputeKeys("", "owner", "PM");
  const std::string secret = pdftest::Unhex(AesString(h, "secret\n\n\n\n\n\n\n\n\n\n").substr(1, 64));
  const std::string rows[][3] = {
      {"/Filter [/Crypt /FlateDecode] /DecodeParms [<< /Name /Identity >> null]", "plain",
       "/DecodeParms [ null ] /Filter [ /FlateDecode ] /Length 5"},
      {"/Filter /Crypt /DecodeParms << /Name /Identity >> /Type /X", "plain", "/Length 5 /Type /X"},
      {"/Filter /Crypt", "plain", "/Length 5"},
      {"/DecodeParms [<< /Name /StdCF >>] /Filter [/Crypt]", secret, "/DecodeParms [ ] /Filter [ ] /Length 6"}};
  for (const auto& row : rows) {
    PdfDecryptedFileWriter writer("");
    std::string out = pdftest::Rewrite(writer, File(h.EncryptDictionaryEntries(),
                                                    "<<" + row[0] + " /Length " + std::to_string(row[1].size()) +
                                                        ">>\nstream\n" + row[1] + "\nendstream",
                                                    PdfSecurityHandler::Hex(h.GetIdentifier())));
    out = std::regex_replace(out.substr(0, out.find("endstream") - 1), std::regex("\\s+"), " ");
    EXPECT_EQ(out.substr(out.find("1 0 obj << ") + 11),
              row[2] + " >> stream " + (row[1] == "plain" ? "plain" : "secret"))
        << row[0];
  }
}

}  // namespace
