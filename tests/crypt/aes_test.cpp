// AES-256 and AES-128: the platform primitives against published vectors,
// the revision-6 hash against an independent reference
// (revision6_hash_reference.py), SASLprep, and what the AES writer puts in
// a file.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "crypt/aescbc.h"
#include "crypt/pdfaesencryptedfilewriter.h"
#include "crypt/pdfrevision4securityhandler.h"
#include "crypt/pdfrevision6securityhandler.h"
#include "crypt/saslprep.h"
#include "crypt/securerandom.h"
#include "crypt/sha2.h"
#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffilestream.h"
#include "pdf/pdfkeyvaluepair.h"
#include "pdf/pdfmemorystream.h"

namespace {

std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}
const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
uint8_t* U8(std::string& s) { return reinterpret_cast<uint8_t*>(&s[0]); }

// NIST SP 800-38A F.2.1 and F.2.5 (CBC), one IV and plaintext for both.
const std::string kIv = Unhex("000102030405060708090a0b0c0d0e0f");
const std::string kPlain = Unhex(
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e5130c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");

TEST(AesCbc, Sp800_38aVectorsWholeAndInPieces) {
  const struct { const char* key; const char* cipher; } rows[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c",
       "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b273bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
      {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
       "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"},
  };
  AesCbc aes(U8(Unhex(rows[1].key)), 32);
  for (const auto& row : {rows[0], rows[1], rows[0]}) {  // new keys on contexts already keyed
    const std::string key = Unhex(row.key), expected = Unhex(row.cipher);
    aes.SetKey(U8(key), key.size());
    std::string out = kPlain;
    aes.SetIv(U8(kIv));
    aes.Encrypt(U8(out), U8(out), 16);  // the chain carries into the next call
    aes.Encrypt(U8(out) + 16, U8(out) + 16, 48);
    EXPECT_EQ(out, expected) << row.key;
    aes.SetIv(U8(kIv));
    aes.Decrypt(U8(out), U8(out), out.size());
    EXPECT_EQ(out, kPlain) << row.key;
    // Again with the same key: a new IV restarts a chain already running.
    aes.SetIv(U8(kIv));
    aes.Encrypt(U8(out), U8(out), 32);
    aes.Encrypt(U8(out) + 32, U8(out) + 32, 32);
    EXPECT_EQ(out, expected) << row.key;
    aes.SetIv(U8(kIv));
    aes.Decrypt(U8(out), U8(out), 16);
    aes.Decrypt(U8(out) + 16, U8(out) + 16, 48);
    EXPECT_EQ(out, kPlain) << row.key;
  }
}

TEST(Sha2, Fips180Vectors) {
  const struct { int bits; const char* message; const char* digest; } rows[] = {
      {256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {384, "abc", "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
      {512, "abc",
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
  };
  for (const auto& row : rows) EXPECT_EQ(Sha2::Digest(row.bits, std::string(row.message)), Unhex(row.digest)) << row.bits;
}

TEST(Revision6, HashMatchesIndependentReference) {
  // Rows printed by revision6_hash_reference.py: password, salt, U, hash.
  const struct { const char* password; const char* salt; const char* user_value; const char* hash; } rows[] = {
      {"", "0000000000000000", "", "439feba099a63d0d035a1e5fb67ff307329189584956425aff2d3bd3d15edc60"},
      {"75736572", "0001020304050607", "", "731758c09c8b0160a34721d18bdd24220abada0070aa3f05b8103fd5b8d05f17"},
      {"6f776e6572", "08090a0b0c0d0e0f",
       "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f",
       "400c13628b144fe2fbb850b65729e9ecb63c00fbb817c685725f25de85af0521"},
      {"70c3a4737377c3b67264", "73616c7473616c74", "", "669af84a429f367efd68295085222ac5755682e7b826acf353c1e31b231070b9"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(PdfRevision6SecurityHandler::Hash(Unhex(row.password), Unhex(row.salt), Unhex(row.user_value)), Unhex(row.hash))
        << row.password;
  // A password of 127 bytes, and a longer one that is cut to the same 127.
  std::string printable;
  for (int c = 33; c < 127; ++c) printable.push_back(static_cast<char>(c));
  const std::string full = printable + printable.substr(0, 33);
  const std::string expected = Unhex("47dcfe865121d20db8e2f8978bc320d16b50909edc169cc810ec15058b17028a");
  EXPECT_EQ(PdfRevision6SecurityHandler::Hash(full, "12345678", ""), expected);
  EXPECT_EQ(PdfRevision6SecurityHandler::Hash(printable + printable + printable, "12345678", ""), expected);
}

TEST(SaslPrep, MapsNormalisesAndRefuses) {
  const struct { const char* in; bool ok; const char* out; } rows[] = {
      {"user", true, "user"},
      {"I\xC2\xAD" "X", true, "IX"},           // soft hyphen mapped to nothing
      {"\xC2\xAA", true, "a"},                  // NFKC
      {"\xE2\x85\xA8", true, "IX"},             // roman numeral nine
      {"a\xC2\xA0" "b", true, "a b"},           // non-ASCII space
      {"p\xC3\xA4ss", true, "p\xC3\xA4ss"},     // already normal
      {"\x07", false, ""},                      // control character
      {"\xD8\xA7" "1", false, ""},              // right-to-left then a digit
      {"\xEE\x80\x80", false, ""},              // private use
      {"\xFF", false, ""},                      // not UTF-8
  };
  for (const auto& row : rows) {
    std::string out = "untouched";
    EXPECT_EQ(SaslPrep::Prepare(row.in, true, &out), row.ok) << row.in;
    EXPECT_EQ(out, row.ok ? row.out : "untouched") << row.in;
  }
}

// What the AES writers put in a file, read back with the library's own
// reader (the structure of the output is not encrypted): every string and
// stream an IV never seen before plus whole blocks that decrypt, with
// valid padding, to the input's bytes; /Length equal to the bytes written.
class AesWriterOutput : public ::testing::TestWithParam<int> {};

struct Collected {
  std::vector<std::pair<int64_t, std::string>> strings;  // object number, bytes
  std::vector<std::pair<int64_t, std::string>> streams;
};

void Collect(PdfFileParser& p, PdfStream& s, PdfValue* v, int64_t number, Collected* out) {
  if (v == nullptr) return;
  if (v->kind() == PdfValue::Kind::Dictionary) {
    auto* d = static_cast<PdfDiccionario*>(v);
    for (PdfKeyValuePair* pair : d->pairs) Collect(p, s, pair->value, number, out);
    if (d->IsStream()) {
      int64_t offset = 0, length = 0;
      bool trusted = true;
      p.StreamExtent(d, "no /Length", &offset, &length, &trusted);
      EXPECT_TRUE(trusted) << number;
      std::string data(static_cast<size_t>(length), '\0');
      s.Seek(offset, 1);
      s.Leer(&data[0], data.size());
      out->streams.emplace_back(number, data);
    }
  } else if (v->kind() == PdfValue::Kind::Array) {
    for (PdfValue* e : static_cast<PdfArray*>(v)->elements) Collect(p, s, e, number, out);
  } else if (v->native_type == NATIVE_STRING || v->native_type == NATIVE_HEXSTRING) {
    out->strings.emplace_back(number, v->native_type == NATIVE_STRING ? v->text : Unhex(v->text));
  }
}

// The reader refuses encrypted files: the /Encrypt entry is blanked out
// (offsets unchanged) and its object kept aside.
Collected Read(std::string pdf, std::string* encrypt_dict) {
  std::string encrypt;
  const size_t at = pdf.rfind("/Encrypt ");
  if (at != std::string::npos) {
    const size_t end = pdf.find('\n', at);
    encrypt = pdf.substr(at + 9, end - at - 9);
    pdf.replace(at, end - at, end - at, ' ');
  }
  PdfMemoryStream s(pdf.data(), pdf.size());
  PdfFileParser p;
  p.Parse(s);
  Collected c;
  for (const XRefEntry* e : p.DocumentObjects()) {
    if (e->type == XRefEntry::kCompressed) continue;
    if (encrypt == std::to_string(e->number) + " 0 R") {
      *encrypt_dict = pdf.substr(static_cast<size_t>(e->location));
      continue;
    }
    Collect(p, s, p.DameObjeto(e->number, e->generation), e->number, &c);
  }
  return c;
}

std::string Decrypt(const PdfSecurityHandler& h, int64_t number, const std::string& data) {
  EXPECT_GE(data.size(), 32u);
  EXPECT_EQ(data.size() % 16, 0u);
  if (data.size() < 32 || data.size() % 16 != 0) return "";
  const std::string key = h.ObjectKeyBytes(number, 0);
  AesCbc aes(U8(key), key.size());
  aes.SetIv(U8(data));
  std::string plain = data.substr(16);
  aes.Decrypt(U8(plain), U8(plain), plain.size());
  const auto pad = static_cast<uint8_t>(plain.back());
  EXPECT_TRUE(pad >= 1 && pad <= 16);
  for (size_t i = plain.size() - pad; i < plain.size(); ++i) EXPECT_EQ(static_cast<uint8_t>(plain[i]), pad);
  plain.resize(plain.size() - pad);
  return plain;
}

TEST_P(AesWriterOutput, FreshIvsWholeBlocksAndTheInputBack) {
  const std::string input_path = std::string(VARNEL_TEST_DATA) + "/writer_golden_input.pdf";
  std::ifstream in(input_path, std::ios::binary);
  const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::unique_ptr<PdfSecurityHandler> handler;
  if (GetParam() == 6) {
    auto h = std::make_unique<PdfRevision6SecurityHandler>();
    SecureRandom random;
    h->ComputeKeys("user", "owner", "P", random);
    handler = std::move(h);
  } else {
    auto h = std::make_unique<PdfRevision4SecurityHandler>();
    h->ComputeKeys("user", "owner", "P");
    handler = std::move(h);
  }
  PdfAesEncryptedFileWriter writer(std::move(handler));
  PdfFileStream file;
  file.Abrir(input_path.c_str(), "rb");
  std::ostringstream out;
  writer.WriteDocument(file, out);
  const std::string pdf = out.str();
  EXPECT_EQ(pdf.substr(0, 9), GetParam() == 6 ? "%PDF-1.7\n" : "%PDF-1.6\n");

  std::string encrypt_dict;
  Collected got;
  try {
    got = Read(pdf, &encrypt_dict);
  } catch (const _kelvra_runtime_error& e) {
    FAIL() << e.message;
  }
  std::string ignored;
  const Collected want = Read(input, &ignored);
  ASSERT_EQ(got.strings.size(), want.strings.size());
  ASSERT_EQ(got.streams.size(), want.streams.size());
  std::set<std::string> ivs;
  for (size_t i = 0; i < got.strings.size(); ++i) {
    ivs.insert(got.strings[i].second.substr(0, 16));
    EXPECT_EQ(Decrypt(writer.SecurityHandler(), got.strings[i].first, got.strings[i].second), want.strings[i].second);
  }
  for (size_t i = 0; i < got.streams.size(); ++i) {
    ivs.insert(got.streams[i].second.substr(0, 16));
    EXPECT_EQ(Decrypt(writer.SecurityHandler(), got.streams[i].first, got.streams[i].second), want.streams[i].second);
  }
  EXPECT_EQ(ivs.size(), got.strings.size() + got.streams.size()) << "an IV was used twice";
  // The identifier and the Encrypt dictionary are written as they are.
  const std::string id = PdfSecurityHandler::Hex(writer.SecurityHandler().GetIdentifier());
  EXPECT_NE(pdf.find("/ID [<" + id + "><" + id + ">]"), std::string::npos);
  EXPECT_NE(encrypt_dict.find(GetParam() == 6 ? "/CFM /AESV3 /Length 32" : "/CFM /AESV2 /Length 16"), std::string::npos);
  if (GetParam() == 6) {
    EXPECT_NE(pdf.find("/Extensions <<\n/ADBE << /BaseVersion /1.7 /ExtensionLevel 8 >>\n>>"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Revisions, AesWriterOutput, ::testing::Values(4, 6));

TEST(Revision6, KeysAreRandomAndPermsAgreeWithP) {
  SecureRandom random;
  PdfRevision6SecurityHandler a, b;
  a.ComputeKeys("", "", "P", random);
  b.ComputeKeys("", "", "P", random);
  EXPECT_NE(a.GetFileKey(), b.GetFileKey());
  EXPECT_NE(a.GetFileKey(), std::string(32, '\0'));
  EXPECT_NE(a.GetUserValue().substr(32), b.GetUserValue().substr(32)) << "salts repeat";
  EXPECT_NE(a.GetOwnerValue(), b.GetOwnerValue());
  // Perms: P low byte first, four 0xFF, "Tadb"; bit 10 is always granted.
  EXPECT_EQ(a.GetPermissions() & 0x200, 0x200);
  std::string perms = a.GetPerms();
  AesCbc(U8(a.GetFileKey()), 32).Decrypt(U8(perms), U8(perms), 16);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(static_cast<uint8_t>(perms[static_cast<size_t>(i)]), static_cast<uint8_t>(a.GetPermissions() >> (8 * i)));
  EXPECT_EQ(perms.substr(4, 8), "\xFF\xFF\xFF\xFFTadb");
}

}  // namespace
