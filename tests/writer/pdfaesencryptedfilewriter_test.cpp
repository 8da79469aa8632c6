// What the AES writers put in a file, read back with the library's own reader.
#include "writer/pdfaesencryptedfilewriter.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "crypt/aescbc.h"
#include "crypt/pdfrevision4securityhandler.h"
#include "crypt/pdfrevision6securityhandler.h"
#include "crypt/securerandom.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdfkeyvaluepair.h"
#include "base/pdfmemorystream.h"
#include "tests/pdfbuilder.h"

namespace {

using pdftest::U8;
using pdftest::Unhex;

// Every string and stream a fresh IV and whole blocks that decrypt, padded, to the input's bytes.
class AesWriterOutput : public ::testing::TestWithParam<int> {};

using Collected = std::vector<std::pair<int64_t, std::string>>;  // object number, bytes of a string or stream

void Collect(PdfFileParser& p, PdfStream& s, PdfValue* v, int64_t number, Collected* out) {
  if (v == nullptr) return;
  if (v->kind() == PdfValue::Kind::Dictionary) {
    auto* d = static_cast<PdfDiccionario*>(v);
    for (PdfKeyValuePair* pair : d->pairs) Collect(p, s, pair->value, number, out);
    if (d->IsStream()) {
      int64_t offset = 0, length = 0;
      bool trusted = true;
      p.StreamExtent(d, errtext::kStreamNoLength, &offset, &length, &trusted);
      EXPECT_TRUE(trusted) << number;
      std::string data(static_cast<size_t>(length), '\0');
      s.Seek(offset, 1);
      s.Leer(&data[0], data.size());
      out->emplace_back(number, data);
    }
  } else if (v->kind() == PdfValue::Kind::Array) {
    for (PdfValue* e : static_cast<PdfArray*>(v)->elements) Collect(p, s, e, number, out);
  } else if (v->native_type == NATIVE_STRING || v->native_type == NATIVE_HEXSTRING) {
    out->emplace_back(number, v->native_type == NATIVE_STRING ? v->text : Unhex(v->text));
  }
}

// The strings and streams as stored; /Encrypt blanked out (offsets unchanged), its object kept aside.
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
  if (data.size() < 32 || data.size() % 16 != 0) return ADD_FAILURE() << "not an IV and whole blocks", "";
  const std::string key = h.ObjectKeyBytes(number, 0).Plain();
  AesCbc aes(U8(key), key.size());
  aes.SetIv(U8(data));
  std::string plain = data.substr(16);
  aes.Decrypt(U8(plain), U8(plain), plain.size());
  const auto pad = static_cast<uint8_t>(plain.back());
  EXPECT_TRUE(pad >= 1 && pad <= 16 && plain.substr(plain.size() - pad) == std::string(pad, static_cast<char>(pad)));
  return plain.substr(0, plain.size() - pad);
}

TEST_P(AesWriterOutput, FreshIvsWholeBlocksAndTheInputBack) {
  const std::string input = pdftest::ReadFile(VARNEL_TEST_DATA "/writer_golden_input.pdf");
  auto r4 = std::make_unique<PdfRevision4SecurityHandler>();
  auto r6 = std::make_unique<PdfRevision6SecurityHandler>();
  SecureRandom random;
  r4->ComputeKeys("user", "owner", "P");
  r6->ComputeKeys("user", "owner", "P", random);
  PdfAesEncryptedFileWriter writer(GetParam() == 6 ? std::unique_ptr<PdfSecurityHandler>(std::move(r6))
                                                   : std::move(r4));
  const std::string pdf = pdftest::Rewrite(writer, input);
  EXPECT_EQ(pdf.substr(0, 9), GetParam() == 6 ? "%PDF-1.7\n" : "%PDF-1.6\n");
  std::string encrypt_dict, ignored;
  Collected got;
  ASSERT_EQ(pdftest::ErrorOf([&] { got = Read(pdf, &encrypt_dict); }), "");
  const Collected want = Read(input, &ignored);
  ASSERT_EQ(got.size(), want.size());
  std::set<std::string> ivs;
  for (size_t i = 0; i < got.size(); ++i) {
    ivs.insert(got[i].second.substr(0, 16));
    EXPECT_EQ(Decrypt(writer.SecurityHandler(), got[i].first, got[i].second), want[i].second);
  }
  EXPECT_EQ(ivs.size(), got.size()) << "an IV was used twice";
  const std::string id = PdfSecurityHandler::Hex(writer.SecurityHandler().GetIdentifier());
  EXPECT_NE(pdf.find("/ID [<" + id + "><" + id + ">]"), std::string::npos);
  EXPECT_NE(encrypt_dict.find(GetParam() == 6 ? "/CFM /AESV3 /Length 32" : "/CFM /AESV2 /Length 16"),
            std::string::npos);
  EXPECT_EQ(pdf.find("/Extensions <<\n/ADBE << /BaseVersion /1.7 /ExtensionLevel 8 >>\n>>") != std::string::npos,
            GetParam() == 6);
}

INSTANTIATE_TEST_SUITE_P(Revisions, AesWriterOutput, ::testing::Values(4, 6));

}  // namespace
