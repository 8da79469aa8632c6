// The public interface as a program uses it: every error code from a real
// input, documents round-tripped in memory with each cipher, the C calls.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "varnel/varnel.h"
#include "varnel/varnel_c.h"

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::string& Sample() {
  static const std::string bytes = Read(VARNEL_TEST_DATA "/writer_golden_input.pdf");
  return bytes;
}

// The sample encrypted with user password "u" and owner password "o",
// granting printing only.
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

std::string Temp(const std::string& name) { return ::testing::TempDir() + "varnel-api-" + std::to_string(getpid()) + name; }

struct ErrorCase {
  const char* name;
  std::function<void()> call;
  varnel::ErrorCode code;
};

varnel::EncryptOptions Opening(std::optional<std::string> input_password, bool repair = true) {
  varnel::EncryptOptions o;
  o.input_password = std::move(input_password);
  o.repair = repair;
  return o;
}

TEST(Api, EachFailureHasItsCode) {
  // Truncated before its end: no startxref, no %%EOF.
  const std::string truncated = Sample().substr(0, Sample().size() - 40);
  varnel::EncryptOptions bad_cipher, bad_letters;
  bad_cipher.cipher = static_cast<varnel::Cipher>(7);
  bad_letters.permissions = "PX";
  const ErrorCase cases[] = {
      {"missing file", [] { varnel::EncryptFile(Temp("none.pdf"), Temp("out.pdf"), {}); }, varnel::ErrorCode::kOpenFailed},
      {"not a PDF", [] { varnel::EncryptBuffer("hello, world\n", {}); }, varnel::ErrorCode::kNotPdf},
      {"empty", [] { varnel::CheckBuffer({}); }, varnel::ErrorCode::kNotPdf},
      {"damaged, no repair", [&] { varnel::EncryptBuffer(truncated, Opening(std::nullopt, false)); },
       varnel::ErrorCode::kDamaged},
      {"encrypted", [] { varnel::EncryptBuffer(Encrypted(), {}); }, varnel::ErrorCode::kEncrypted},
      {"check encrypted", [] { varnel::CheckBuffer(Encrypted()); }, varnel::ErrorCode::kEncrypted},
      {"wrong password", [] { varnel::EncryptBuffer(Encrypted(), Opening("x")); }, varnel::ErrorCode::kWrongPassword},
      {"decrypt, wrong", [] { varnel::DecryptBuffer(Encrypted(), {"x"}); }, varnel::ErrorCode::kWrongPassword},
      {"user password", [] { varnel::EncryptBuffer(Encrypted(), Opening("u")); },
       varnel::ErrorCode::kOwnerPasswordRequired},
      {"decrypt, user", [] { varnel::DecryptBuffer(Encrypted(), {"u"}); }, varnel::ErrorCode::kOwnerPasswordRequired},
      {"unknown cipher", [&] { varnel::EncryptBuffer(Sample(), bad_cipher); }, varnel::ErrorCode::kUsage},
      {"unknown letter", [&] { varnel::EncryptBuffer(Sample(), bad_letters); }, varnel::ErrorCode::kUsage},
      {"no output dir", [] { varnel::EncryptFile(VARNEL_TEST_DATA "/writer_golden_input.pdf", Temp("no/dir/out.pdf"), {}); },
       varnel::ErrorCode::kOutputFailed},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.call();
      ADD_FAILURE() << "no error";
    } catch (const varnel::Error& e) {
      EXPECT_EQ(e.code(), c.code) << e.what() << " / " << e.description();
      EXPECT_FALSE(e.description().empty());
    }
  }
}

TEST(Api, RepairIsReported) {
  varnel::Result result;
  const std::string out = varnel::EncryptBuffer(Sample().substr(0, Sample().size() - 40), {}, &result);
  EXPECT_TRUE(result.repaired);
  EXPECT_EQ(result.repair_note.rfind("repaired:", 0), 0u) << result.repair_note;
  EXPECT_EQ(result.bytes_out, static_cast<int64_t>(out.size()));
}

TEST(Api, BuffersRoundTripWithEachCipher) {
  const varnel::CheckResult plain = varnel::CheckBuffer(Sample());
  for (varnel::Cipher cipher : {varnel::Cipher::kAes256, varnel::Cipher::kAes128, varnel::Cipher::kRc4_128}) {
    SCOPED_TRACE(static_cast<int>(cipher));
    varnel::EncryptOptions o;
    o.cipher = cipher;
    o.user_password = "ü-user";
    o.owner_password = "owner";
    o.verify = true;  // read back from memory
    varnel::Result written;
    const std::string encrypted = varnel::EncryptBuffer(Sample(), o, &written);
    EXPECT_EQ(written.bytes_out, static_cast<int64_t>(encrypted.size()));
    const varnel::CheckResult opened = varnel::CheckBuffer(encrypted, std::string("ü-user"));
    EXPECT_TRUE(opened.encrypted);
    EXPECT_EQ(opened.objects, plain.objects + 1);  // and its Encrypt dictionary
    const varnel::CheckResult decrypted = varnel::CheckBuffer(varnel::DecryptBuffer(encrypted, {"owner"}));
    EXPECT_FALSE(decrypted.encrypted);
    EXPECT_EQ(decrypted.objects, plain.objects);
    // Re-encrypted with its owner password.
    EXPECT_NO_THROW(varnel::EncryptBuffer(encrypted, Opening("owner")));
  }
}

TEST(Api, FilesAreWrittenWhole) {
  const std::string out = Temp("file.pdf");
  varnel::EncryptOptions o;
  o.user_password = "u";
  o.owner_password = "o";
  o.verify = true;
  const varnel::Result r = varnel::EncryptFile(VARNEL_TEST_DATA "/writer_golden_input.pdf", out, o);
  EXPECT_EQ(r.bytes_out, static_cast<int64_t>(Read(out).size()));
  EXPECT_TRUE(varnel::CheckFile(out, std::string("u")).encrypted);
  const std::string plain = Temp("plain.pdf");
  varnel::DecryptFile(out, plain, {"o", true});
  EXPECT_FALSE(varnel::CheckFile(plain).encrypted);
  std::remove(out.c_str());
  std::remove(plain.c_str());
}

TEST(Api, CInterface) {
  varnel_encrypt_options o;
  varnel_encrypt_options_init(&o);
  o.user_password = "u";
  o.cipher = VARNEL_AES_128;
  void* out = nullptr;
  size_t size = 0;
  char* message = nullptr;
  varnel_result r;
  ASSERT_EQ(varnel_encrypt_buffer(Sample().data(), Sample().size(), &o, &out, &size, &r, &message), VARNEL_OK);
  EXPECT_EQ(message, nullptr);
  EXPECT_EQ(r.bytes_out, static_cast<int64_t>(size));
  EXPECT_EQ(varnel_check_buffer(out, size, "u", &r, nullptr), VARNEL_OK);
  EXPECT_EQ(r.encrypted, 1);
  EXPECT_EQ(varnel_check_buffer(out, size, "x", nullptr, &message), VARNEL_WRONG_PASSWORD);
  ASSERT_NE(message, nullptr);
  EXPECT_NE(std::string(message).find("password"), std::string::npos) << message;
  varnel_free(message);
  varnel_free(out);

  EXPECT_EQ(varnel_encrypt_buffer("junk", 4, &o, &out, &size, nullptr, &message), VARNEL_NOT_PDF);
  EXPECT_EQ(out, nullptr);
  EXPECT_STREQ(varnel_error_name(VARNEL_NOT_PDF), "not_pdf");
  varnel_free(message);
  o.cipher = 9;
  EXPECT_EQ(varnel_encrypt_buffer(Sample().data(), Sample().size(), &o, &out, &size, nullptr, nullptr), VARNEL_USAGE);
  EXPECT_EQ(varnel_encrypt_file(nullptr, "x.pdf", &o, nullptr, nullptr), VARNEL_USAGE);
  EXPECT_EQ(varnel_check_file(Temp("none.pdf").c_str(), nullptr, nullptr, &message), VARNEL_OPEN_FAILED);
  varnel_free(message);
  EXPECT_STREQ(varnel_version(), "0.2.0");
}

}  // namespace
