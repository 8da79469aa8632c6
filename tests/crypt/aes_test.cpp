// The revision-6 hash against an independent reference
// (revision6_hash_reference.py), and what the AES writers put in a file.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "crypt/aescbc.h"
#include "crypt/pdfaesencryptedfilewriter.h"
#include "crypt/pdfrevision4securityhandler.h"
#include "crypt/pdfrevision6securityhandler.h"
#include "crypt/securerandom.h"
#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffilestream.h"
#include "pdf/pdfkeyvaluepair.h"
#include "pdf/pdfmemorystream.h"
#include "writer/pdfsyntaxformatter.h"

namespace {

std::string Unhex(const std::string& hex) { return PdfSyntaxFormatter::HexToBytes(hex); }
const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
uint8_t* U8(std::string& s) { return reinterpret_cast<uint8_t*>(&s[0]); }

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

// What the AES writers put in a file, read back with the library's own
// reader (the structure of the output is not encrypted): every string and
// stream an IV never seen before plus whole blocks that decrypt, with
// valid padding, to the input's bytes; /Length equal to the bytes written.
class AesWriterOutput : public ::testing::TestWithParam<int> {};

struct Collected {
  std::vector<std::pair<int64_t, std::string>> strings, streams;  // object number, bytes
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
