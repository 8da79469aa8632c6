/* The same through the C interface: a buffer encrypted, checked with the
 * password and with a wrong one, everything the library allocated freed. */
#include <stdio.h>
#include <stdlib.h>
#include <varnel/varnel_c.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  FILE* f = fopen(argv[1], "rb");
  if (f == NULL) return 2;
  static char pdf[1 << 20];
  const size_t size = fread(pdf, 1, sizeof pdf, f);
  fclose(f);

  varnel_encrypt_options options;
  varnel_encrypt_options_init(&options);
  options.user_password = "secret";
  options.cipher = VARNEL_RC4_128;
  void* out = NULL;
  size_t out_size = 0;
  char* message = NULL;
  if (varnel_encrypt_buffer(pdf, size, &options, &out, &out_size, NULL, &message) != VARNEL_OK) {
    fprintf(stderr, "%s\n", message);
    return 1;
  }
  varnel_result result;
  int status = varnel_check_buffer(out, out_size, "secret", &result, NULL);
  if (status != VARNEL_OK || !result.encrypted) return 1;
  status = varnel_check_buffer(out, out_size, "wrong", NULL, &message);
  if (status != VARNEL_WRONG_PASSWORD || message == NULL) return 1;
  printf("c ok: varnel %s, %s: %s\n", varnel_version(), varnel_error_name(status), message);
  varnel_free(message);
  varnel_free(out);
  return 0;
}
