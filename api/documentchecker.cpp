#include "api/documentchecker.h"

#include <cstdint>
#include <vector>

#include "api/parsenotes.h"
#include "base/kelvraruntimeerror.h"
#include "crypt/identity.h"
#include "crypt/pdfpublickeysecurityhandler.h"
#include "pdf/pdfdecryption.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"

varnel::CheckResult DocumentChecker::Check(PdfStream& input, const std::optional<std::string>& password,
                                           std::shared_ptr<const Identity> identity) {
  PdfFileParser parser;
  parser.SetRepair(true);
  parser.TellWhichKey();
  if (password) parser.SetPassword(*password, false);
  if (identity) parser.SetIdentity(identity, false);
  parser.Parse(input);
  std::vector<uint8_t> data;
  varnel::CheckResult result;
  result.encrypted = parser.Decryption() != nullptr;
  if (result.encrypted && parser.Decryption()->PublicKey()) {
    const auto& handler = static_cast<const PdfPublicKeySecurityHandler&>(parser.Decryption()->Handler());
    result.recipients = static_cast<int64_t>(handler.RecipientCount());
    result.matched_recipient = static_cast<int64_t>(handler.MatchedRecipient());
    result.identity_subject = identity->Subject();
  }
  result.sections = static_cast<int64_t>(parser.SectionCount());
  for (const XRefEntry* e : parser.DocumentObjects()) {
    // Each object's values are let go once checked, as the writer does, so
    // memory stays flat however many objects the document has.
    const size_t mark = parser.ValueMark();
    PdfValue* v = nullptr;
    try {
      v = parser.DameObjeto(e->number, e->generation);
    } catch (const _kelvra_runtime_error& failure) {
      // Left out by the encryptor too, when the file needs repair.
      if (!parser.LeaveOut(e->number, failure)) throw;
      parser.ReleaseValuesFrom(mark);
      continue;
    }
    if (e->type == XRefEntry::kCompressed) {
      ++result.compressed_objects;
    } else if (v != nullptr && v->kind() == PdfValue::Kind::Dictionary && static_cast<PdfDiccionario*>(v)->IsStream()) {
      // The data must be where the writer will copy it from.
      int64_t offset = 0, length = 0;
      auto* d = static_cast<PdfDiccionario*>(v);
      parser.StreamExtent(d, errtext::kStreamNoLength, &offset, &length);
      parser.ReadDecryptedStream(d, offset, length, &data);
    }
    ++result.objects;
    parser.ReleaseValuesFrom(mark);
  }
  NoteParse(parser, &result);
  TellPromises(parser.Promises(), &result);
  return result;
}
