// The public functions: each opens its input, runs the shared job on it and
// turns every failure into varnel::Error.
#include "varnel/varnel.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "api/atomicoutputfile.h"
#include "api/documentchecker.h"
#include "api/documentencryptor.h"
#include "api/errortranslation.h"
#include "api/parsenotes.h"
#include "crypt/cryptolibrary.h"
#include "base/kelvraruntimeerror.h"
#include "base/pdflimits.h"
#include "base/pdffilestream.h"
#include "base/pdfmemorystream.h"
#include "writer/pdfdecryptedfilewriter.h"
#include "writer/zipostringstream.h"

namespace varnel {

namespace {

// How a document held in memory is named in descriptions.
const char* const kBuffer = "the document";

// How an input is named in descriptions: "-" is standard input.
std::string Named(const std::string& path) { return path == "-" ? "standard input" : path; }

// The whole of standard input, which a pipe gives only once and in order.
std::string ReadStandardInput() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  std::string data;
  char chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) {
    if (data.size() + n > pdflimits::kMaxStandardInputBytes) throw _kelvra_runtime_error("standard input:limit");
    data.append(chunk, n);
  }
  if (std::ferror(stdin)) throw _kelvra_runtime_error("PdfParser::Abrir:fopen");
  return data;
}

// The input at path; "-" is standard input, read into *data first.
std::unique_ptr<PdfStream> OpenInput(const std::string& path, std::string* data) {
  if (path == "-") {
    *data = ReadStandardInput();
    return std::make_unique<PdfMemoryStream>(data->data(), data->size());
  }
  auto stream = std::make_unique<PdfFileStream>();
  try {
    errno = 0;
    stream->Abrir(path.c_str(), "rb");
  } catch (...) {
    ThrowPublicError(path, errno);
  }
  return stream;
}

// Runs a step of writing the output file, its failures kOutputFailed.
template <typename Step>
auto OutputStep(Step&& step) -> decltype(step()) {
  try {
    return step();
  } catch (const std::exception& e) {
    throw Error(ErrorCode::kOutputFailed, e.what(), e.what());
  }
}

std::unique_ptr<AtomicOutputFile> CreateOutput(const std::string& path) {
  return OutputStep([&] { return std::make_unique<AtomicOutputFile>(path); });
}

// Runs work that writes into output: when it fails because a write did,
// the write's reason is told ("cannot write out.pdf: No space left on
// device"), not the writer's.
template <typename Work>
auto Writing(AtomicOutputFile& output, Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (...) {
    OutputStep([&] { output.ThrowIfWriteFailed(); });
    throw;
  }
}

void Commit(AtomicOutputFile& output, Result* result) {
  OutputStep([&] { output.Commit(); });
  result->output_note = output.note();
}

// An output about the size of the input, grown in place.
void Reserve(zip_ostringstream& output, std::string_view input) {
  output.Reserve(input.size() + input.size() / 16 + 4096);
}

Result Decrypt(const DecryptOptions& options, PdfStream& input, std::ostream& output, const std::string& name) {
  PdfDecryptedFileWriter writer(options.password);
  writer.SetRepair(options.repair);
  writer.WriteDocument(input, output);
  Result result;
  result.objects = static_cast<int64_t>(writer.ObjectsWritten());
  NoteParse(writer, &result);
  NotePromises(writer.Promises(), name, false, &result);
  result.bytes_out = static_cast<int64_t>(output.tellp());
  return result;
}

}  // namespace

Result EncryptFile(const std::string& input, const std::string& output, const EncryptOptions& options) {
  return Guarded(Named(input), [&] {
    DocumentEncryptor encryptor(options, Named(input));
    std::string piped;
    std::unique_ptr<PdfStream> in = OpenInput(input, &piped);
    std::unique_ptr<AtomicOutputFile> out = CreateOutput(output);
    // Read back, for --verify, from the file being written, not by its name.
    Result result = Writing(*out, [&] {
      return encryptor.Write(*in, out->stream(), [&out] { return OutputStep([&] { return out->ReadBack(); }); });
    });
    // The input is closed first: it may be the output's destination.
    in.reset();
    Commit(*out, &result);
    return result;
  });
}

std::string EncryptBuffer(std::string_view pdf, const EncryptOptions& options, Result* result) {
  return Guarded(kBuffer, [&] {
    DocumentEncryptor encryptor(options, kBuffer);
    PdfMemoryStream in(pdf.data(), pdf.size());
    zip_ostringstream out;
    Reserve(out, pdf);
    Result done = encryptor.Write(in, out, [&out] {
      return std::unique_ptr<PdfStream>(std::make_unique<PdfMemoryStream>(out.str().data(), out.str().size()));
    });
    if (result != nullptr) *result = std::move(done);
    return out.Take();
  });
}

Result DecryptFile(const std::string& input, const std::string& output, const DecryptOptions& options) {
  return Guarded(Named(input), [&] {
    std::unique_ptr<AtomicOutputFile> out = CreateOutput(output);
    Result result;
    {
      std::string piped;
      std::unique_ptr<PdfStream> in = OpenInput(input, &piped);
      result = Writing(*out, [&] { return Decrypt(options, *in, out->stream(), Named(input)); });
    }
    Commit(*out, &result);
    return result;
  });
}

std::string DecryptBuffer(std::string_view pdf, const DecryptOptions& options, Result* result) {
  return Guarded(kBuffer, [&] {
    PdfMemoryStream in(pdf.data(), pdf.size());
    zip_ostringstream out;
    Reserve(out, pdf);
    Result done = Decrypt(options, in, out, kBuffer);
    if (result != nullptr) *result = std::move(done);
    return out.Take();
  });
}

CheckResult CheckFile(const std::string& path, const std::optional<std::string>& password) {
  return Guarded(Named(path), [&] {
    std::string piped;
    return DocumentChecker::Check(*OpenInput(path, &piped), password);
  });
}

CheckResult CheckBuffer(std::string_view pdf, const std::optional<std::string>& password) {
  return Guarded(kBuffer, [&] {
    PdfMemoryStream in(pdf.data(), pdf.size());
    return DocumentChecker::Check(in, password);
  });
}

bool CipherNamed(const std::string& name, Cipher* cipher) { return DocumentEncryptor::CipherNamed(name, cipher); }
std::string EncryptOptionsProblem(const EncryptOptions& options) { return DocumentEncryptor::Invalid(options); }
std::string EncryptOptionsNotes(const EncryptOptions& options) { return DocumentEncryptor::Notes(options); }
void HandleSignals() { AtomicOutputFile::HandleSignals(); }
void LeaveSignalsAlone() { AtomicOutputFile::LeaveSignalsAlone(); }
void RemoveTemporaryFiles() { AtomicOutputFile::RemoveTemporaryFiles(); }

const char* Version() { return VARNEL_VERSION; }

const char* CryptoLibraryVersion() { return CryptoLibrary::Version(); }

}  // namespace varnel
