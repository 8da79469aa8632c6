#include "writer/pdfaesencryptedfilewriter.h"

#include <algorithm>
#include <cstring>

#include "base/kelvraruntimeerror.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdfkeyvaluepair.h"
#include "base/pdflimits.h"

namespace {

constexpr size_t kBlock = AesCbc::kBlockBytes;

// The data with PKCS#7 padding: 1 to 16 bytes, each holding the count.
size_t PaddedSize(size_t n) { return (n / kBlock + 1) * kBlock; }

void Pad(uint8_t* block_end, size_t count) { std::memset(block_end - count, static_cast<int>(count), count); }

}  // namespace

PdfAesEncryptedFileWriter::PdfAesEncryptedFileWriter(std::unique_ptr<PdfSecurityHandler> handler)
    : handler_(std::move(handler)) {
  if (handler_ == nullptr || handler_->DataCipher() != PdfSecurityHandler::Cipher::kAes)
    throw _kelvra_runtime_error(errtext::kAesWriterHandler);
}

PdfAesEncryptedFileWriter::~PdfAesEncryptedFileWriter() = default;

void PdfAesEncryptedFileWriter::Start(int64_t number, int64_t generation, uint8_t iv[kBlock]) {
  const bool same_object = number == key_number_ && generation == key_generation_;
  if (!aes_ || (!same_object && handler_->KeyPerObject())) {
    SecretString key = handler_->ObjectKeyBytes(number, generation);
    const auto* key_bytes = reinterpret_cast<const uint8_t*>(key.data());
    if (!aes_) {
      aes_ = std::make_unique<AesCbc>(key_bytes, key.size());
    } else if (key != key_) {
      aes_->SetKey(key_bytes, key.size());
    }
    key_ = std::move(key);
  }
  key_number_ = number;
  key_generation_ = generation;
  random_.Draw(iv, kBlock);
  aes_->SetIv(iv);
}

void PdfAesEncryptedFileWriter::WriteLiteralString(std::string bytes, int64_t number, int64_t generation) {
  const size_t padded = PaddedSize(bytes.size());
  std::string out(kBlock + padded, '\0');
  auto* p = reinterpret_cast<uint8_t*>(&out[0]);
  Start(number, generation, p);
  std::memcpy(p + kBlock, bytes.data(), bytes.size());
  Pad(p + kBlock + padded, padded - bytes.size());
  aes_->Encrypt(p + kBlock, p + kBlock, padded);
  PdfFileWriter::WriteLiteralString(std::move(out), number, generation);
}

int64_t PdfAesEncryptedFileWriter::WrittenStreamLength(int64_t length) const {
  return static_cast<int64_t>(kBlock + PaddedSize(static_cast<size_t>(length)));
}

void PdfAesEncryptedFileWriter::WriteStreamData(PdfStream& input, int64_t offset, int64_t length, int64_t number,
                                                int64_t generation) {
  uint8_t iv[kBlock];
  Start(number, generation, iv);
  Out(reinterpret_cast<const char*>(iv), kBlock);
  // Chunks of whole blocks; the bytes of a partial block wait at the start
  // of the chunk buffer for the next read, and the last is padded.
  if (!chunk_) chunk_.reset(new uint8_t[pdflimits::kCopyChunkBytes + kBlock]);
  uint8_t* chunk = chunk_.get();
  size_t carry = 0;
  input.Seek(offset, 1);
  while (length > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(pdflimits::kCopyChunkBytes)));
    input.Leer(reinterpret_cast<char*>(chunk + carry), n);
    const size_t whole = (carry + n) / kBlock * kBlock;
    aes_->Encrypt(chunk, chunk, whole);
    Out(reinterpret_cast<const char*>(chunk), whole);
    carry = carry + n - whole;
    std::memmove(chunk, chunk + whole, carry);
    length -= static_cast<int64_t>(n);
  }
  Pad(chunk + kBlock, kBlock - carry);
  aes_->Encrypt(chunk, chunk, kBlock);
  Out(reinterpret_cast<const char*>(chunk), kBlock);
}

void PdfAesEncryptedFileWriter::PlanObjects(const std::vector<const XRefEntry*>&) {
  if (handler_->Revision() < 6) return;
  const PdfValue* root = BuscarEnTrailer("/Root", false);
  if (root == nullptr || root->kind() != PdfValue::Kind::Value || root->native_type != NATIVE_REFERENCE) return;
  const std::string& text = root->text;
  const size_t space = text.find(' ');
  catalog_number_ = StringToInt64(text.substr(0, space));
  catalog_generation_ = StringToInt64(text.substr(space + 1, text.find(' ', space + 1) - space - 1));
}

void PdfAesEncryptedFileWriter::WriteObjectValue(PdfValue* value, PdfStream& input, int64_t number,
                                                 int64_t generation) {
  if (number == catalog_number_ && generation == catalog_generation_ && value->kind() == PdfValue::Kind::Dictionary &&
      !static_cast<PdfDiccionario*>(value)->IsStream()) {
    WriteCatalog(static_cast<PdfDiccionario*>(value), input, number, generation);
  } else {
    PdfFileWriter::WriteObjectValue(value, input, number, generation);
  }
}

void PdfAesEncryptedFileWriter::WriteCatalog(PdfDiccionario* catalog, PdfStream& input, int64_t number,
                                             int64_t generation) {
  bool merged = false;
  Out("<<\n");
  for (const PdfKeyValuePair* pair : catalog->pairs) {
    OutName(pair->key);
    Out(" ");
    if (!merged && Is(pair->key, "/Extensions")) {
      WriteExtensions(pair->value, input, number, generation);
      merged = true;
    } else {
      WriteValue(pair->value, input, number, generation);
    }
    Out("\n");
  }
  if (!merged) {
    Out("/Extensions ");
    WriteExtensions(nullptr, input, number, generation);
    Out("\n");
  }
  Out(">>\n");
}

void PdfAesEncryptedFileWriter::WriteExtensions(PdfValue* extensions, PdfStream& input, int64_t number,
                                                int64_t generation) {
  // An indirect /Extensions is copied into the catalog, merged there.
  if (NamesWrittenObject(extensions)) extensions = DameObjeto(extensions->text);
  bool keep_theirs = false;
  Out("<<\n");
  if (extensions != nullptr && extensions->kind() == PdfValue::Kind::Dictionary) {
    for (const PdfKeyValuePair* pair : static_cast<PdfDiccionario*>(extensions)->pairs) {
      if (Is(pair->key, "/ADBE")) {
        // A declaration of level 8 or more on the same base version says
        // at least as much as ours.
        const PdfValue* adbe = pair->value;
        const PdfValue* base = nullptr;
        const PdfValue* level = nullptr;
        if (adbe != nullptr && adbe->kind() == PdfValue::Kind::Dictionary) {
          for (const PdfKeyValuePair* entry : static_cast<const PdfDiccionario*>(adbe)->pairs) {
            if (Is(entry->key, "/BaseVersion")) base = entry->value;
            if (Is(entry->key, "/ExtensionLevel")) level = entry->value;
          }
        }
        keep_theirs = base != nullptr && base->native_type == NATIVE_NAME && base->text == "/1.7" && level != nullptr &&
                      level->native_type == NATIVE_NUMBER && StringToInt64(level->text) >= 8;
        if (!keep_theirs) continue;
      }
      OutName(pair->key);
      Out(" ");
      WriteValue(pair->value, input, number, generation);
      Out("\n");
    }
  }
  if (!keep_theirs) Out("/ADBE << /BaseVersion /1.7 /ExtensionLevel 8 >>\n");
  Out(">> ");
}

void PdfAesEncryptedFileWriter::WriteDocumentEnd(PdfStream& input) {
  encrypt_number_ = table.GetMaxObjectNumber() + 1;
  table.AddEntry(encrypt_number_, 1, OutPosition(), 0);
  Out(handler_->EncryptObjectText(encrypt_number_));
  PdfFileWriter::WriteDocumentEnd(input);
}

void PdfAesEncryptedFileWriter::WriteTrailerEntries(PdfStream&) { Out(handler_->TrailerEntriesText(encrypt_number_)); }
