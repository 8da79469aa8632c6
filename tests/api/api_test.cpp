// The public interface as a program uses it: every error code from a real input, the C calls, accessibility.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <tuple>

#include "varnel/varnel.h"
#include "varnel/varnel_c.h"
#include "tests/pdfbuilder.h"

namespace {
using namespace pdftest;

const std::string& Sample() {
  static const std::string bytes = ReadFile(VARNEL_TEST_DATA "/writer_golden_input.pdf");
  return bytes;
}

// The sample encrypted with user password "u" and owner password "o", granting printing only.
const std::string& Encrypted() {
  static const std::string bytes = [] {
    varnel::EncryptOptions o;
    o.user_password = "u";
    o.owner_password = "o";
    o.permissions = "P";
    return varnel::EncryptBuffer(Sample(), o);
  }();
  return bytes;
}

varnel::EncryptOptions Opening(std::optional<std::string> input_password, bool repair = true) {
  varnel::EncryptOptions o;
  std::tie(o.input_password, o.repair) = std::tie(input_password, repair);
  return o;
}

using Code = varnel::ErrorCode;

TEST(Api, EachFailureHasItsCode) {
  const std::string truncated = Sample().substr(0, Sample().size() - 40);  // no startxref, no %%EOF
  // No cross-reference data, and object 3 nested past the limit: the limit stands, repair or not.
  std::string deep =
      SimpleDocument({"<< /Type /Pages /Kids [] /Count 0 >>", std::string(300, '[') + std::string(300, ']')},
                     "<< /Type /Catalog /Pages 2 0 R >>");
  deep.resize(deep.find("\nxref\n") + 1);
  varnel::EncryptOptions bad_cipher, bad_letters;
  bad_cipher.cipher = static_cast<varnel::Cipher>(7);
  bad_letters.permissions = "PX";
  const struct {
    const char* name;
    std::function<void()> call;
    Code code;
  } cases[] = {
      {"missing file", [] { varnel::EncryptFile(VARNEL_TEST_DATA "/none.pdf", VARNEL_TEST_DATA "/out.pdf", {}); },
       Code::kOpenFailed},
      {"not a PDF", [] { varnel::EncryptBuffer("hello, world\n", {}); }, Code::kNotPdf},
      {"empty", [] { varnel::CheckBuffer({}); }, Code::kNotPdf},
      {"damaged, no repair", [&] { varnel::EncryptBuffer(truncated, Opening(std::nullopt, false)); }, Code::kDamaged},
      {"nesting, repair on", [&] { varnel::EncryptBuffer(deep, {}); }, Code::kLimitExceeded},
      {"encrypted", [] { varnel::EncryptBuffer(Encrypted(), {}); }, Code::kEncrypted},
      {"wrong password", [] { varnel::EncryptBuffer(Encrypted(), Opening("x")); }, Code::kWrongPassword},
      {"user password", [] { varnel::EncryptBuffer(Encrypted(), Opening("u")); }, Code::kOwnerPasswordRequired},
      {"unknown cipher", [&] { varnel::EncryptBuffer(Sample(), bad_cipher); }, Code::kUsage},
      {"unknown letter", [&] { varnel::EncryptBuffer(Sample(), bad_letters); }, Code::kUsage},
      {"no output dir",
       [] { varnel::EncryptFile(VARNEL_TEST_DATA "/writer_golden_input.pdf", VARNEL_TEST_DATA "/no/dir/out.pdf", {}); },
       Code::kOutputFailed},
  };
  varnel::Result repaired;  // repair on: the truncated file is read
  const std::string out = varnel::EncryptBuffer(truncated, {}, &repaired);
  EXPECT_EQ(out.size(), static_cast<size_t>(repaired.bytes_out));
  EXPECT_EQ(repaired.repair_note.rfind("repaired:", 0), 0u) << repaired.repair_note;
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.name << ": no error";
    } catch (const varnel::Error& e) {
      EXPECT_EQ(e.code(), c.code) << c.name << ": " << e.what() << " / " << e.detail();
    }
  }
}

// The C calls: codes, the person's message and the library's detail, a signed input's notice, what is freed.
TEST(Api, CInterface) {
  PdfBuilder b;
  b.Obj(1, "<< /Type /Catalog /Pages 4 0 R /AcroForm << /Fields [2 0 R] >> >>");
  b.Obj(2, "<< /FT /Sig /T (a) /V 3 0 R >>");
  b.Obj(3, "<< /Type /Sig /ByteRange [0 1 2 3] /Contents <3003020101> >>");
  b.Obj(4, "<< /Type /Pages /Kids [] /Count 0 >>");
  const std::string sig =
      b.Finish(b.Table({FreeAt(0, 65535), InUse(1), InUse(2), InUse(3), InUse(4)}, "/Size 5 /Root 1 0 R"));
  varnel_encrypt_options o;
  varnel_encrypt_options_init(&o);
  o.user_password = "u";
  void* out = nullptr;
  size_t size = 0;
  char* message = nullptr;
  varnel_result r;
  varnel_result_init(&r);
  ASSERT_EQ(varnel_encrypt_buffer(Sample().data(), Sample().size(), &o, &out, &size, &r, &message), VARNEL_OK);
  EXPECT_EQ(message, nullptr);
  EXPECT_EQ(r.bytes_out, static_cast<int64_t>(size));
  EXPECT_EQ(varnel_check_buffer(out, size, "u", &r, nullptr) * 10 + r.encrypted, 1);
  EXPECT_EQ(varnel_check_buffer(out, size, "x", &r, &message), VARNEL_WRONG_PASSWORD);
  EXPECT_STREQ(r.detail, "Wrong password");  // the library's text, for developers
  varnel_result_free(&r);
  EXPECT_STREQ(message, "the password does not open the document: it is neither its user nor its owner password");
  varnel_free(message);
  varnel_free(out);
  EXPECT_EQ(varnel_encrypt_buffer(sig.data(), sig.size(), &o, &out, &size, &r, nullptr), VARNEL_SIGNED);
  EXPECT_EQ(r.notice, nullptr);
  varnel_result_free(&r);
  o.invalidate_signatures = 1;
  ASSERT_EQ(varnel_encrypt_buffer(sig.data(), sig.size(), &o, &out, &size, &r, nullptr), VARNEL_OK);
  EXPECT_NE(std::string(r.notice ? r.notice : "").find("signature"), std::string::npos);
  varnel_result_free(&r);
  varnel_free(out);
  EXPECT_EQ(varnel_encrypt_buffer("junk", 4, &o, &out, &size, nullptr, &message), VARNEL_NOT_PDF);
  EXPECT_EQ(out, nullptr);
  varnel_free(message);
  o.cipher = 9;  // unknown
  EXPECT_EQ(varnel_encrypt_buffer(Sample().data(), Sample().size(), &o, &out, &size, nullptr, nullptr), VARNEL_USAGE);
  EXPECT_EQ(varnel_encrypt_file(nullptr, "x.pdf", &o, nullptr, nullptr), VARNEL_USAGE);
  varnel_encrypt_options unset{};  // no struct_size: its fields cannot be known
  EXPECT_EQ(varnel_encrypt_buffer(Sample().data(), Sample().size(), &unset, &out, &size, nullptr, nullptr),
            VARNEL_USAGE);
  EXPECT_STREQ(varnel_error_name(VARNEL_NOT_PDF), "not_pdf");
}

// PDF/UA documents stay open to assistive tools under every cipher (RC4: only they), by both passwords.
TEST(Api, AccessibleDocumentsStayAccessible) {
  for (const bool ua : {false, true}) {
    PdfBuilder b;
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R /Metadata 3 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    b.Stream(3, "/Type /Metadata /Subtype /XML", ua ? "<pdfuaid:part>1</pdfuaid:part>" : "<x/>");
    const std::string in = b.Finish(b.Table({FreeAt(0, 65535), InUse(1), InUse(2), InUse(3)}, "/Size 4 /Root 1 0 R"));
    for (const varnel::Cipher cipher : {varnel::Cipher::kRc4_128, varnel::Cipher::kAes128, varnel::Cipher::kAes256}) {
      varnel::EncryptOptions o;
      o.user_password = "u";
      o.owner_password = "o";
      o.cipher = cipher;
      const std::string out = varnel::EncryptBuffer(in, o);
      EXPECT_EQ(varnel::ShowBuffer(out).permissions.extract_for_accessibility, ua || cipher != varnel::Cipher::kRc4_128)
          << ua << static_cast<int>(cipher);
      EXPECT_EQ(
          varnel::ShowBuffer(out, std::string("u")).opened_with + varnel::ShowBuffer(out, std::string("o")).opened_with,
          "userowner");
    }
  }
}

}  // namespace
