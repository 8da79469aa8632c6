#include "writer/pdfaesencryptedfilewriter.h"

#include "base/kelvraruntimeerror.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdfkeyvaluepair.h"
#include "base/pdflimits.h"

PdfAesEncryptedFileWriter::PdfAesEncryptedFileWriter(std::unique_ptr<PdfSecurityHandler> handler)
    : handler_(std::move(handler)) {
  if (handler_ == nullptr || handler_->DataCipher() != PdfSecurityHandler::Cipher::kAes)
    throw _kelvra_runtime_error(errtext::kAesWriterHandler);
  EncryptWith(*handler_);
}

PdfAesEncryptedFileWriter::~PdfAesEncryptedFileWriter() { StopEncrypting(); }

void PdfAesEncryptedFileWriter::WriteLiteralString(std::string bytes, int64_t number, int64_t generation) {
  WriteEncryptedString(std::move(bytes), number, generation);
}

void PdfAesEncryptedFileWriter::WriteStreamData(PdfStream& input, int64_t offset, int64_t length, int64_t number,
                                                int64_t generation) {
  WriteEncryptedStreamData(input, offset, length, number, generation);
}

void PdfAesEncryptedFileWriter::PlanObjects(const std::vector<const XRefEntry*>& objects) {
  PdfFileWriter::PlanObjects(objects);
  if (handler_->ExtensionLevel() == 0) return;
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
        // A declaration of our level or more on the same base version says
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
                      level->native_type == NATIVE_NUMBER && StringToInt64(level->text) >= handler_->ExtensionLevel();
        if (!keep_theirs) continue;
      }
      OutName(pair->key);
      Out(" ");
      WriteValue(pair->value, input, number, generation);
      Out("\n");
    }
  }
  if (!keep_theirs)
    Out("/ADBE << /BaseVersion /1.7 /ExtensionLevel " + std::to_string(handler_->ExtensionLevel()) + " >>\n");
  Out(">> ");
}

void PdfAesEncryptedFileWriter::WriteDocumentEnd(PdfStream& input) { WriteEncryptedDocumentEnd(input); }

void PdfAesEncryptedFileWriter::WriteTrailerEntries(PdfStream&) { WriteEncryptTrailerEntries(); }
