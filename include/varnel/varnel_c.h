/* Varnel's public C interface: the functions of varnel.h for C and for
 * foreign-function interfaces of other languages. No exception crosses it;
 * every function is safe to call from several threads at once.
 *
 * Each call returns VARNEL_OK (0) or an error code (the numbers of
 * varnel::ErrorCode). On failure, when error_message is not null, it gets a
 * text for a person that the caller frees with varnel_free. Buffers the
 * library returns are freed with varnel_free too. Strings are UTF-8 and
 * NUL-terminated.
 *
 * The structs below start with struct_size, the size the caller was built
 * with: set by their init functions, it lets later versions add fields at
 * the end without breaking programs built against this one. */
#ifndef VARNEL_VARNEL_C_H
#define VARNEL_VARNEL_C_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define VARNEL_C_API
#elif defined(VARNEL_BUILDING_SHARED)
#define VARNEL_C_API __attribute__((visibility("default")))
#else
#define VARNEL_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
  VARNEL_OK = 0,
  VARNEL_OPEN_FAILED = 1,             /* the input could not be opened or read at all */
  VARNEL_NOT_PDF = 2,                 /* it does not start like a PDF file */
  VARNEL_DAMAGED = 3,                 /* its structure could not be read (or repaired) */
  VARNEL_ENCRYPTED = 4,               /* it is encrypted and no input password was given */
  VARNEL_WRONG_PASSWORD = 5,          /* the password given does not open it */
  VARNEL_OWNER_PASSWORD_REQUIRED = 6, /* it opens, but the job needs its owner password */
  VARNEL_LIMIT_EXCEEDED = 7,          /* it goes beyond a limit set against hostile files (or memory) */
  VARNEL_OUTPUT_FAILED = 8,           /* the output could not be written (or did not verify) */
  VARNEL_USAGE = 9,                   /* the request itself is wrong (cipher, permissions, password, null argument,
                                         options not set up by their init function) */
  VARNEL_SIGNED = 10                  /* it is signed: encrypting it would invalidate its signatures */
};

enum { VARNEL_AES_256 = 0, VARNEL_AES_128 = 1, VARNEL_RC4_128 = 2 };

/* As varnel::EncryptOptions. Null strings are empty; a null input_password
 * means none. Fill with varnel_encrypt_options_init first. */
typedef struct varnel_encrypt_options {
  size_t struct_size;
  const char* user_password;
  const char* owner_password;
  const char* permissions; /* letters among P D M C A S */
  int cipher;              /* VARNEL_AES_256 (default), VARNEL_AES_128, VARNEL_RC4_128 */
  const char* input_password;
  int repair;                /* default 1 */
  int verify;                /* default 0 */
  int threads;               /* default 1 */
  int invalidate_signatures; /* default 0: a signed input fails with VARNEL_SIGNED */
  /* Encryption for X.509 certificates (paths of PEM or DER files) instead of
   * passwords: recipient_paths get the permissions, owner_recipient_paths
   * every right. */
  const char* const* recipient_paths;
  size_t recipient_count;
  const char* const* owner_recipient_paths;
  size_t owner_recipient_count;
  int allow_any_certificate;     /* default 0: expired, non-RSA ... certificates fail with VARNEL_USAGE */
  const char* input_identity;    /* path of a PKCS#12 or PEM key and certificate that opens the input, or null */
  const char* identity_password; /* opens input_identity */
} varnel_encrypt_options;

/* Fill with varnel_decrypt_options_init first. */
typedef struct varnel_decrypt_options {
  size_t struct_size;
  const char* password;
  int repair; /* default 1 */
  /* For a document encrypted for certificates: a recipient's PKCS#12 or PEM
   * file, and its password. */
  const char* identity;
  const char* identity_password;
} varnel_decrypt_options;

/* What a call did (each function fills the fields it knows; all zero on
 * failure but detail). Fill with varnel_result_init first; the strings it
 * gets are freed with varnel_result_free. */
typedef struct varnel_result {
  size_t struct_size;
  int64_t objects;
  int64_t bytes_out;
  int repaired;
  int encrypted;              /* checks only */
  int64_t compressed_objects; /* checks only */
  int64_t sections;           /* checks only */
  char* repair_note;          /* what the repair rebuilt and dropped, or null */
  char* warning;              /* what opening an encrypted input let pass with a doubt, or null */
  char* detail;               /* on failure: the library's own text, for developers, or null */
  char* notice;               /* what the copy no longer promises (signatures, PDF/A claims), or null */
} varnel_result;

VARNEL_C_API void varnel_encrypt_options_init(varnel_encrypt_options* options);
VARNEL_C_API void varnel_decrypt_options_init(varnel_decrypt_options* options);
VARNEL_C_API void varnel_result_init(varnel_result* result);
/* Frees the result's strings; it may then be passed to another call. */
VARNEL_C_API void varnel_result_free(varnel_result* result);

/* result and error_message may be null. */
VARNEL_C_API int varnel_encrypt_file(const char* input, const char* output, const varnel_encrypt_options* options,
                                     varnel_result* result, char** error_message);
/* On success *out (freed with varnel_free) holds *out_size bytes. */
VARNEL_C_API int varnel_encrypt_buffer(const void* pdf, size_t size, const varnel_encrypt_options* options, void** out,
                                       size_t* out_size, varnel_result* result, char** error_message);
VARNEL_C_API int varnel_decrypt_file(const char* input, const char* output, const varnel_decrypt_options* options,
                                     varnel_result* result, char** error_message);
VARNEL_C_API int varnel_decrypt_buffer(const void* pdf, size_t size, const varnel_decrypt_options* options, void** out,
                                       size_t* out_size, varnel_result* result, char** error_message);
/* password may be null: an encrypted document then fails with VARNEL_ENCRYPTED. */
VARNEL_C_API int varnel_check_file(const char* path, const char* password, varnel_result* result, char** error_message);
VARNEL_C_API int varnel_check_buffer(const void* pdf, size_t size, const char* password, varnel_result* result,
                                     char** error_message);

VARNEL_C_API void varnel_free(void* p);
/* "open_failed", "not_pdf", ... (as varnel::ErrorCodeName); "ok" for 0. */
VARNEL_C_API const char* varnel_error_name(int code);
/* "0.2.0". */
VARNEL_C_API const char* varnel_version(void);

#ifdef __cplusplus
}
#endif

#endif
