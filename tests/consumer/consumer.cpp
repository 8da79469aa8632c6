// Encrypts a file, opens it with the password, and catches the library's error across the library boundary.
#include <varnel/varnel.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  varnel::EncryptOptions options;
  options.user_password = "secret";
  varnel::EncryptFile(argv[1], argv[2], options);
  const varnel::CheckResult checked = varnel::CheckFile(argv[2], std::string("secret"));
  try {
    varnel::CheckFile(argv[2], std::string("wrong"));
  } catch (const varnel::Error& e) {
    if (!checked.encrypted || e.code() != varnel::ErrorCode::kWrongPassword) return 1;
    std::printf("c++ ok: varnel %s, %lld objects, %s\n", varnel::Version(), static_cast<long long>(checked.objects),
                e.what());
    return 0;
  }
  return 1;
}
