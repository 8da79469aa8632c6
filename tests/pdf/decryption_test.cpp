#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <tuple>

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

using namespace pdftest;

const std::string k32(64, 'A'), k48(96, 'A');  // hexadecimal digits of 32 and 48 bytes

// A file with the Encrypt dictionary entries given, object 1 holding body.
std::string File(const std::string& entries, const std::string& body, const std::string& id = "00") {
  return SimpleDocument({"<<" + entries + ">>"}, body, "/Encrypt 2 0 R /ID [<" + id + "><" + id + ">]");
}

// A string of object 1 encrypted under AES-128 as given (IV of zeros).
std::string AesString(const PdfSecurityHandler& h, std::string plain) {
  const std::string key = h.ObjectKeyBytes(1, 0).Plain();
  AesCbc aes(U8(key), key.size());
  aes.Encrypt(U8(plain), U8(plain), plain.size());
  return "<" + PdfSecurityHandler::Hex(std::string(16, '\0') + plain) + ">";
}

TEST(Decryption, AesStringsAndPadding) {
  PdfRevision4SecurityHandler h;
  h.ComputeKeys("user", "owner", "P");
  const std::string bad = "!PdfDecryption:bad padding";
  const std::pair<std::string, std::string> rows[] = {
      {AesString(h, "hello" + std::string(11, '\x0B')), "hello"},
      {"<" + std::string(32, '0') + ">", ""},                                // an IV alone is empty
      {AesString(h, std::string(16, '\0')), bad},                            // pad byte 0
      {AesString(h, std::string(15, 'x') + "\x11"), bad},                    // 17
      {AesString(h, "hello" + std::string(10, '\x0B') + "\x0A"), bad},       // pad bytes differ
      {"<" + std::string(40, '0') + ">", "!PdfDecryption:AES data length"},  // 20 bytes
  };
  for (const auto& [value, expected] : rows) {
    Doc d(File(h.EncryptDictionaryEntries(), "<< /S [" + value + "] >>", PdfSecurityHandler::Hex(h.GetIdentifier())));
    d.parser.SetPassword("user", false);
    std::string got;
    const std::string error = ErrorOf([&] {
      d.parser.Parse(d.stream);
      PdfValue* array = static_cast<PdfDiccionario*>(d.Get("1 0 R"))->GetValue("/S", false);
      got = static_cast<PdfArray*>(array)->elements[0]->text;
    });
    EXPECT_EQ(error.empty() ? got : "!" + error, expected) << value;
    // A failed object is never found half decrypted by a second fetch.
    EXPECT_EQ(error.empty() ? "" : ErrorOf([&] { d.Get("1 0 R"); }), error);
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
  for (const std::string& pdf : {"junk\n" + file, file.substr(0, file.rfind("startxref"))}) {
    Doc refused(pdf), d(pdf);
    refused.parser.SetRepair(true);
    EXPECT_EQ(refused.Parse(), "Encrypted");
    d.parser.SetRepair(true);
    d.parser.SetPassword("user", false);
    ASSERT_EQ(d.Parse(), "");
    EXPECT_EQ(d.parser.RepairReport().rebuilt.front(),
              "decryption with the Encrypt dictionary the newest trailer names");
    EXPECT_EQ(static_cast<PdfDiccionario*>(d.Get("1 0 R"))->GetValue("/S", false)->text, "hello");
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
  AesCbc(U8(h.GetFileKey().Plain()), 32).Decrypt(U8(f), U8(f), 16);
  f[8] = 'F';
  AesCbc(U8(h.GetFileKey().Plain()), 32).Encrypt(U8(f), U8(f), 16);
  const auto clear = [&](const std::string& perms) {
    std::string e = entries;
    return e.replace(e.find(written_perms), written_perms.size(), "/Perms <" + PdfSecurityHandler::Hex(perms) + ">") +
           "/EncryptMetadata false";
  };
  const std::tuple<std::string, std::string, bool, bool> rows[] = {
      {entries, "owner", true, false},       {entries, "user", false, false},
      {tamper(entries), "user", true, true}, {entries5.replace(entries5.find("/R 6"), 4, "/R 5"), "user", true, true},
      {clear(f), "user", false, false},      {clear(h.GetPerms()), "user", false, true}};
  for (const auto& [dict, password, rights, warns] : rows) {
    Doc d(File(dict, "1"));
    d.parser.SetPassword(password, false);
    ASSERT_EQ(d.Parse(), "");
    EXPECT_EQ(d.parser.Decryption()->MayChangeProtection(), rights) << dict;
    EXPECT_EQ(d.parser.Decryption()->Handler().Warning().empty(), !warns) << dict;
  }
  Doc refused(File(entries, "1"));
  refused.parser.SetPassword("user", true);
  EXPECT_EQ(refused.Parse(), "Owner password needed");
}

// Refused dictionaries; and what other readers open too: a /U of only the 16 bytes compared, no /Length for 128 bits.
TEST(Decryption, ShortUserValueAndMissingLength) {
  PdfStandardSecurityHandler h;
  h.ComputeKeys("user", "owner", "", "ABCDEFGHIJKLMNOP");
  const std::string id = PdfSecurityHandler::Hex(h.GetIdentifier()),
                    o = "/O <" + PdfSecurityHandler::Hex(h.GetOwnerValue()) + ">";
  const std::string u = PdfSecurityHandler::Hex(h.GetUserValue()), start = "/Filter/Standard/V 2/R 3/P -3904" + o;
  const std::string ou = "/O <" + k32 + "> /U <" + k32 + "> /P -4",
                    cf = "/Filter/Standard/V 4/R 4/StmF/StdCF/CF<</StdCF";
  const std::string ou6 = "/O <" + k48 + "> /U <" + k48 + "> /OE <" + k32 + "> /UE <" + k32 + "> /P -4";
  const std::string length = "PdfDecryption:key length", unsupported = "PdfDecryption:unsupported Encrypt dictionary";
  const std::array<std::string, 3> rows[] = {
      {start + "/Length 128/U <" + u.substr(0, 32) + ">", "user", ""},
      {start + "/Length 128/U <" + u.substr(0, 32) + ">", "owner", ""},
      {start + "/Length 128/U <" + u.substr(0, 32) + ">", "nobody", "PdfSecurityHandler:bad /O /U"},
      {start + "/U <" + u + ">", "user", ""},
      {start + "/Lenght 128/U <" + u + ">", "nobody", "Wrong password"},
      {"/Filter/Standard/V 2/R 3/Length 42" + ou, "", length},   // not whole bytes
      {"/Filter/Standard/V 4/R 4/Length 256" + ou, "", length},  // AES-128 is 128
      {"/Filter/Standard/V 3/R 5" + ou, "", unsupported},
      {"/Filter/Standard/V 4/R 4/StmF/Nowhere" + ou, "", unsupported},
      {cf + "<</CFM/AESV3>>>>" + ou, "", unsupported},             // a 256-bit method with 128-bit keys
      {cf + "<</CFM/V2/Length 5>>>>" + ou, "", "Wrong password"},  // an RC4 filter's /Length in bytes
      {cf + "<</CFM/V2/Length 136>>>>" + ou, "", length},
      {"/Filter/Standard/V 2/R 3/O <" + k32.substr(2) + "> /U <" + k32 + ">", "", "PdfSecurityHandler:bad /O /U"},
      {"/Filter/Standard/V 5/R 6/O <" + k48 + "> /U <" + k48.substr(2) + "> /OE <" + k32 + "> /UE <" + k32 + ">", "",
       "PdfSecurityHandler:bad /O /U"},  // U cut short
      {"/Filter/Standard/V 5/R 6" + ou6, "", "Wrong password"},
  };
  for (const auto& [entries, password, error] : rows) {
    Doc d(File(entries, "1", id));
    d.parser.SetPassword(password, false);
    EXPECT_EQ(d.Parse(), error) << entries << " " << password;
  }
  EXPECT_EQ(Doc(File(rows[0][0], "1", id)).Parse(), "Encrypted") << "no password given";
}

// A stream's own crypt filter decides (Identity: data as stored) and leaves a decrypted copy, as qpdf does.
TEST(Decryption, OwnCryptFilterLeftOutOfDecryptedCopy) {
  PdfRevision4SecurityHandler h;
  h.ComputeKeys("", "owner", "PM");
  const std::string secret = Unhex(AesString(h, "secret\n\n\n\n\n\n\n\n\n\n").substr(1, 64));
  const std::string rows[][3] = {
      {"/Filter [/Crypt /FlateDecode] /DecodeParms [<< /Name /Identity >> null]", "plain",
       "/DecodeParms [ null ] /Filter [ /FlateDecode ] /Length 5"},
      {"/Filter /Crypt /DecodeParms << /Name /Identity >> /Type /X", "plain", "/Length 5 /Type /X"},
      {"/Filter /Crypt", "plain", "/Length 5"},
      {"/DecodeParms [<< /Name /StdCF >>] /Filter [/Crypt]", secret, "/DecodeParms [ ] /Filter [ ] /Length 6"}};
  for (const auto& row : rows) {
    PdfDecryptedFileWriter writer("");
    std::string out = Rewrite(writer, File(h.EncryptDictionaryEntries(), StreamBody(row[0], row[1]),
                                           PdfSecurityHandler::Hex(h.GetIdentifier())));
    out = std::regex_replace(out.substr(0, out.find("endstream") - 1), std::regex("\\s+"), " ");
    EXPECT_EQ(out.substr(out.find("1 0 obj << ") + 11),
              row[2] + " >> stream " + (row[1] == "plain" ? "plain" : "secret"))
        << row[0];
  }
}

}  // namespace
