// Encrypts a file and a buffer, opens both with the password, and catches
// the library's error across the library boundary.
#include <varnel/varnel.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  varnel::EncryptOptions options;
  options.user_password = "secret";
  options.permissions = "P";
  varnel::EncryptFile(argv[1], argv[2], options);
  const varnel::CheckResult checked = varnel::CheckFile(argv[2], std::string("secret"));
  std::ifstream in(argv[1], std::ios::binary);
  const std::string pdf((std::istreambuf_iterator<char>(in)), {});
  const std::string encrypted = varnel::EncryptBuffer(pdf, options);
  try {
    varnel::CheckBuffer(encrypted, std::string("wrong"));
    return 1;
  } catch (const varnel::Error& e) {
    if (e.code() != varnel::ErrorCode::kWrongPassword) return 1;
  }
  if (!checked.encrypted || !varnel::CheckBuffer(encrypted, std::string("secret")).encrypted) return 1;
  std::printf("c++ ok: varnel %s, %lld objects\n", varnel::Version(), static_cast<long long>(checked.objects));
  return 0;
}
