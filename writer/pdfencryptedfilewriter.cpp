#include "writer/pdfencryptedfilewriter.h"

#include <cstdint>
#include <system_error>

#include "crypt/rc4.h"
#include "pdf/xref.h"

PdfEncryptedFileWriter::PdfEncryptedFileWriter(std::string_view user_password, std::string_view owner_password,
                                               const std::string& permissions) {
  handler.ComputeKeys(user_password, owner_password, permissions);
}

PdfEncryptedFileWriter::PdfEncryptedFileWriter(std::string_view user_password, std::string_view owner_password,
                                               const std::string& permissions, const std::string& fixed_identifier) {
  handler.ComputeKeys(user_password, owner_password, permissions, fixed_identifier);
}

PdfEncryptedFileWriter::~PdfEncryptedFileWriter() = default;

const Rc4& PdfEncryptedFileWriter::ObjectCipher(int64_t number, int64_t generation) {
  if (!cipher_ || cipher_number_ != number || cipher_generation_ != generation) {
    if (!pipeline_ || !pipeline_->Take(object_position_, number, generation, &cipher_)) {
      uint8_t key[PdfStandardSecurityHandler::kKeyBytes];
      handler.ObjectKey(static_cast<int>(number), static_cast<int>(generation), key);
      cipher_.emplace(key, sizeof key);
    }
    cipher_number_ = number;
    cipher_generation_ = generation;
  }
  return *cipher_;
}

void PdfEncryptedFileWriter::PlanObjects(const std::vector<const XRefEntry*>& objects) {
  pipeline_.reset();
  if (!HelperThreads() || !Rc4KeyPipeline::Worthwhile(objects.size())) return;
  // Objects inside object streams are not encrypted on their own. Any
  // object whose numbers do not fit a job gets its key schedule when written.
  std::vector<Rc4KeyPipeline::Job> jobs;
  for (size_t i = 0; i < objects.size() && i <= UINT32_MAX; ++i) {
    const XRefEntry* e = objects[i];
    if (e->type == XRefEntry::kCompressed || e->number < 0 || e->number > UINT32_MAX) continue;
    jobs.push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(e->number), e->generation});
  }
  try {
    pipeline_ = std::make_unique<Rc4KeyPipeline>(handler, std::move(jobs));
  } catch (const std::system_error&) {
    // No thread to be had: every schedule runs on this one.
  }
}

void PdfEncryptedFileWriter::WriteLiteralString(std::string bytes, int64_t number, int64_t generation) {
  // The parsed value is never changed: the copy is encrypted, then escaped.
  // Every string starts the object's key stream afresh.
  Rc4 cipher = ObjectCipher(number, generation);
  cipher.Crypt(reinterpret_cast<uint8_t*>(&bytes[0]), bytes.size());
  PdfFileWriter::WriteLiteralString(std::move(bytes), number, generation);
}

void PdfEncryptedFileWriter::WriteStreamData(PdfStream& input, int64_t offset, int64_t length, int64_t number,
                                             int64_t generation) {
  // One key stream over the whole data, run chunk by chunk.
  Rc4 cipher = ObjectCipher(number, generation);
  CopyStreamData(input, offset, length, &cipher);
}

void PdfEncryptedFileWriter::WriteDocumentEnd(PdfStream& input) {
  encrypt_number = table.GetMaxObjectNumber() + 1;
  table.AddEntry(encrypt_number, 1, OutPosition(), 0);
  Out(handler.EncryptObjectText(encrypt_number));
  PdfFileWriter::WriteDocumentEnd(input);
}

void PdfEncryptedFileWriter::WriteTrailerEntries(PdfStream&) { Out(handler.TrailerEntriesText(encrypt_number)); }
