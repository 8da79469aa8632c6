/* The same through the C interface, everything the library allocated freed. */
#include <stdio.h>
#include <varnel/varnel_c.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  varnel_encrypt_options options;
  varnel_encrypt_options_init(&options);
  options.user_password = "secret";
  options.cipher = VARNEL_RC4_128;
  varnel_result result;
  varnel_result_init(&result);
  char* message = NULL;
  if (varnel_encrypt_file(argv[1], argv[2], &options, NULL, NULL) != VARNEL_OK ||
      varnel_check_file(argv[2], "secret", &result, NULL) != VARNEL_OK || !result.encrypted ||
      varnel_check_file(argv[2], "wrong", NULL, &message) != VARNEL_WRONG_PASSWORD)
    return 1;
  printf("c ok: varnel %s, %s\n", varnel_version(), message);
  varnel_free(message);
  return 0;
}
