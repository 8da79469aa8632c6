#pragma once
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "pdf/pdfdocumentcomparer.h"
#include "varnel/varnel.h"

class PdfFileWriter;
class PdfStream;

// Encrypts one document from a stream into another, as the public
// functions and the command-line tool do: options checked and passwords
// prepared once, the copy written, optionally read back and compared.
// Library failures are thrown as the library throws them.
class DocumentEncryptor {
 public:
  // A new stream over the same bytes at each call.
  using Source = std::function<std::unique_ptr<PdfStream>()>;

  // Checks the options and computes the keys. Options that cannot be used
  // throw varnel::Error (kUsage, Invalid's text).
  // name: how the input is named in notices and refusals.
  DocumentEncryptor(const varnel::EncryptOptions& options, std::string name);
  ~DocumentEncryptor();
  DocumentEncryptor(const DocumentEncryptor&) = delete;
  DocumentEncryptor& operator=(const DocumentEncryptor&) = delete;

  // Writes the encrypted copy of input to output. With options.verify the
  // written copy (written, read after output is flushed) is opened with the
  // new passwords and compared with the input as the writer read it. Once
  // done, the writer and what it holds of the input are let go.
  varnel::Result Write(PdfStream& input, std::ostream& output, const Source& written);

  // Why options cannot be used (empty when they can): a permission letter
  // unknown, a password the cipher's passwords cannot hold.
  static std::string Invalid(const varnel::EncryptOptions& options);
  // Notes on options accepted with a caveat (a password longer than the
  // cipher counts), each a line "varnel: note: ...".
  static std::string Notes(const varnel::EncryptOptions& options);
  // The cipher --cipher names ("aes-256", "aes-128", "rc4-128"); false for
  // any other name.
  static bool CipherNamed(const std::string& name, varnel::Cipher* cipher);

 private:
  void Verify(PdfDocumentComparer::Known* written_forms, const Source& written) const;

  varnel::EncryptOptions options_;
  std::string name_;  // a copy, its passwords wiped at the end
  std::unique_ptr<PdfFileWriter> writer_;
};
