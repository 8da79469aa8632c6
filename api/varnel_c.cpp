// The C interface: each function converts its arguments, calls the C++
// one and turns whatever it throws into a code and a message.
#include "varnel/varnel_c.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "varnel/varnel.h"

namespace {

std::string Text(const char* s) { return s == nullptr ? std::string() : std::string(s); }

// A copy in memory that varnel_free releases; null when there is none.
char* Copy(const std::string& text) {
  auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// Whether a caller's struct, of the size it says, holds field.
template <typename Struct, typename Field>
bool Holds(const Struct* s, const Field* field) {
  return reinterpret_cast<const char*>(field + 1) - reinterpret_cast<const char*>(s) <=
         static_cast<ptrdiff_t>(s->struct_size);
}

// A copy for a result's string field; null for an empty text.
void Keep(varnel_result* to, char** field, const std::string& text) {
  if (Holds(to, field) && !text.empty()) *field = Copy(text);
}

void Fill(const varnel::Result& from, varnel_result* to) {
  if (to == nullptr) return;
  to->objects = from.objects;
  to->bytes_out = from.bytes_out;
  to->repaired = from.repaired ? 1 : 0;
  Keep(to, &to->repair_note, from.repair_note);
  Keep(to, &to->warning, from.warning);
  Keep(to, &to->notice, from.notice);
}

void Fill(const varnel::CheckResult& from, varnel_result* to) {
  if (to == nullptr) return;
  Fill(static_cast<const varnel::Result&>(from), to);
  to->encrypted = from.encrypted ? 1 : 0;
  to->compressed_objects = from.compressed_objects;
  to->sections = from.sections;
}

varnel::EncryptOptions Convert(const varnel_encrypt_options& from) {
  varnel::EncryptOptions to;
  to.user_password = Text(from.user_password);
  to.owner_password = Text(from.owner_password);
  to.permissions = Text(from.permissions);
  to.cipher = static_cast<varnel::Cipher>(from.cipher);  // checked by the job
  if (from.input_password != nullptr) to.input_password = std::string(from.input_password);
  to.repair = from.repair != 0;
  to.verify = from.verify != 0;
  to.threads = from.threads != 0;
  to.invalidate_signatures = from.invalidate_signatures != 0;
  for (size_t i = 0; from.recipient_paths != nullptr && i < from.recipient_count; ++i)
    to.recipients.push_back({Text(from.recipient_paths[i]), {}});
  for (size_t i = 0; from.owner_recipient_paths != nullptr && i < from.owner_recipient_count; ++i)
    to.owner_recipients.push_back({Text(from.owner_recipient_paths[i]), {}});
  to.allow_any_certificate = from.allow_any_certificate != 0;
  if (from.input_identity != nullptr)
    to.input_identity = varnel::Identity{from.input_identity, {}, Text(from.identity_password)};
  return to;
}

varnel::DecryptOptions Convert(const varnel_decrypt_options& from) {
  varnel::DecryptOptions to;
  to.password = Text(from.password);
  to.repair = from.repair != 0;
  if (from.identity != nullptr) to.identity = varnel::Identity{from.identity, {}, Text(from.identity_password)};
  return to;
}

// Runs a call: 0 when it succeeds, else its code, with the sentence in
// *error_message when asked for and the library's text in the result.
template <typename Call>
int Run(varnel_result* result, char** error_message, Call&& call) {
  if (result != nullptr) {
    const size_t size = result->struct_size;
    std::memset(result, 0, std::min(size, sizeof *result));  // all zero on failure
    result->struct_size = size;
  }
  if (error_message != nullptr) *error_message = nullptr;
  int code = VARNEL_OK;
  std::string message, detail;
  try {
    call();
    return VARNEL_OK;
  } catch (const varnel::Error& e) {
    code = static_cast<int>(e.code());
    message = e.what();
    detail = e.detail();
  } catch (const std::bad_alloc&) {
    code = VARNEL_LIMIT_EXCEEDED;
    message = "not enough memory";
  } catch (...) {
    code = VARNEL_DAMAGED;
    message = "unexpected failure";
  }
  if (result != nullptr) {
    varnel_result_free(result);  // what a call that failed late had kept
    Keep(result, &result->detail, detail);
  }
  if (error_message != nullptr) *error_message = Copy(message);
  return code;
}

// A missing required argument.
int Usage(char** error_message, const char* what) {
  const std::string text = std::string(what) + " is null";
  if (error_message != nullptr) *error_message = Copy(text);
  return VARNEL_USAGE;
}

// Options the caller did not set up with their init function: the library
// cannot tell which fields it has.
int Unset(char** error_message) {
  if (error_message != nullptr) *error_message = Copy("the options were not set up by their init function");
  return VARNEL_USAGE;
}

// Hands bytes to the caller as memory varnel_free releases.
void Hand(const std::string& bytes, void** out, size_t* out_size) {
  void* copy = std::malloc(bytes.empty() ? 1 : bytes.size());
  if (copy == nullptr) throw std::bad_alloc();
  if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
  *out = copy;
  *out_size = bytes.size();
}

std::string_view Bytes(const void* pdf, size_t size) { return {static_cast<const char*>(pdf), size}; }

// A call from one file to another (work: EncryptFile or DecryptFile).
template <typename Options, typename Work>
int RunFile(const char* input, const char* output, const Options* options, varnel_result* result, char** error_message,
            Work work) {
  if (input == nullptr || output == nullptr || options == nullptr) return Usage(error_message, "a path or the options");
  if (options->struct_size < sizeof *options) return Unset(error_message);
  return Run(result, error_message, [&] { Fill(work(input, output, Convert(*options)), result); });
}

// A call that gives back a document in memory (work: EncryptBuffer or
// DecryptBuffer).
template <typename Options, typename Work>
int RunBuffer(const void* pdf, size_t size, const Options* options, void** out, size_t* out_size, varnel_result* result,
              char** error_message, Work work) {
  if ((pdf == nullptr && size != 0) || options == nullptr || out == nullptr || out_size == nullptr)
    return Usage(error_message, "the document, the options or where the output goes");
  if (options->struct_size < sizeof *options) return Unset(error_message);
  *out = nullptr;
  *out_size = 0;
  return Run(result, error_message, [&] {
    varnel::Result done;
    Hand(work(Bytes(pdf, size), Convert(*options), &done), out, out_size);
    Fill(done, result);
  });
}

}  // namespace

extern "C" {

void varnel_encrypt_options_init(varnel_encrypt_options* options) {
  if (options == nullptr) return;
  *options = varnel_encrypt_options{};
  options->struct_size = sizeof *options;
  options->cipher = VARNEL_AES_256;
  options->repair = 1;
  options->threads = 1;
}

void varnel_decrypt_options_init(varnel_decrypt_options* options) {
  if (options == nullptr) return;
  *options = varnel_decrypt_options{};
  options->struct_size = sizeof *options;
  options->repair = 1;
}

void varnel_result_init(varnel_result* result) {
  if (result == nullptr) return;
  *result = varnel_result{};
  result->struct_size = sizeof *result;
}

void varnel_result_free(varnel_result* result) {
  if (result == nullptr) return;
  for (char** field : {&result->repair_note, &result->warning, &result->detail, &result->notice}) {
    if (Holds(result, field)) {
      std::free(*field);
      *field = nullptr;
    }
  }
}

int varnel_encrypt_file(const char* input, const char* output, const varnel_encrypt_options* options,
                        varnel_result* result, char** error_message) {
  return RunFile(input, output, options, result, error_message, &varnel::EncryptFile);
}

int varnel_encrypt_buffer(const void* pdf, size_t size, const varnel_encrypt_options* options, void** out,
                          size_t* out_size, varnel_result* result, char** error_message) {
  return RunBuffer(pdf, size, options, out, out_size, result, error_message, &varnel::EncryptBuffer);
}

int varnel_decrypt_file(const char* input, const char* output, const varnel_decrypt_options* options,
                        varnel_result* result, char** error_message) {
  return RunFile(input, output, options, result, error_message, &varnel::DecryptFile);
}

int varnel_decrypt_buffer(const void* pdf, size_t size, const varnel_decrypt_options* options, void** out,
                          size_t* out_size, varnel_result* result, char** error_message) {
  return RunBuffer(pdf, size, options, out, out_size, result, error_message, &varnel::DecryptBuffer);
}

int varnel_check_file(const char* path, const char* password, varnel_result* result, char** error_message) {
  if (path == nullptr) return Usage(error_message, "the path");
  return Run(result, error_message, [&] {
    Fill(varnel::CheckFile(path, password == nullptr ? std::nullopt : std::optional<std::string>(password)), result);
  });
}

int varnel_check_buffer(const void* pdf, size_t size, const char* password, varnel_result* result,
                        char** error_message) {
  if (pdf == nullptr && size != 0) return Usage(error_message, "the document");
  return Run(result, error_message, [&] {
    Fill(varnel::CheckBuffer(Bytes(pdf, size),
                             password == nullptr ? std::nullopt : std::optional<std::string>(password)),
         result);
  });
}

void varnel_free(void* p) { std::free(p); }

const char* varnel_error_name(int code) {
  return code == VARNEL_OK ? "ok" : varnel::ErrorCodeName(static_cast<varnel::ErrorCode>(code));
}

const char* varnel_version(void) { return varnel::Version(); }

}  // extern "C"
