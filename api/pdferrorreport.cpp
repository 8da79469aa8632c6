#include "api/pdferrorreport.h"

#include <cstring>
#include <utility>

namespace {

// Damage the reader names often, said plainly. Matched as the start of the
// library text; any other text is quoted as it is.
struct Plain {
  const char* text;
  const char* said;
};
constexpr Plain kDamage[] = {
    {"PdfFileParser::LeerStartAddress:no startxref", "its end (startxref) is missing; the file may be truncated"},
    {"PdfFileParser::LeerStartAddress:no %%EOF", "it does not end with %%EOF; the file may be truncated"},
    {"PdfFileParser::Parse:LeerStartAddress", "its end (startxref) cannot be read; the file may be truncated"},
    {"PdfFileParser::ParseCrossReference", "its cross-reference table cannot be read"},
    {"PdfFileParser::LeerCrossReference", "its cross-reference table cannot be read"},
    {"PdfFileParser::OffsetObjeto", "an object it lists is missing"},
    {"PdfFileParser::DameObjeto:wrong object at offset", "an object is not where its cross-reference table says"},
    {"PdfFileWriter::WriteDocumentEnd:no /Root", "it has no document catalog (/Root)"},
    {"PdfFileParser::Recover:no catalog with pages", "no document catalog with pages is left in it"},
    {"PdfFileParser::StreamExtent:no endstream", "a stream has no end"},
    {"PdfDeflateStreamFilter::Filter", "a compressed stream it needs is corrupt"},
    {"PdfFileStream::Leer::fread", "it ends before the data it describes; the file may be truncated"},
    {"PdfSecurityHandler:bad /O /U", "the values that check its passwords (/O, /U) are too short to open it"},
};

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The library names each limit it enforces with "limit" (or "Limit") in the
// text, and the depth limits with their own words.
bool IsLimit(const std::string& text) {
  return text.find("limit") != std::string::npos || text.find("Limit") != std::string::npos ||
         text.find("nesting too deep") != std::string::npos || text.find(":recursion") != std::string::npos;
}

}  // namespace

PdfErrorReport::PdfErrorReport(Code code_in, std::string message_in, std::string detail_in)
    : code(code_in), message(std::move(message_in)), detail(std::move(detail_in)) {}

PdfErrorReport PdfErrorReport::FromLibraryText(const std::string& text, const std::string& input, int os_error) {
  if (text == "PdfParser::Abrir:fopen") {
    std::string message = "cannot open " + input;
    if (os_error != 0) message += std::string(": ") + std::strerror(os_error);
    return {Code::kOpenFailed, message, text};
  }
  if (text == "No es archivo pdf.") return {Code::kNotPdf, input + " is not a PDF file", text};
  if (text == "Encrypted")
    return {Code::kEncrypted, input + " is already encrypted (use --input-password to re-encrypt)", text};
  if (text.compare(0, kSignedText.size(), kSignedText) == 0) {
    // What the signatures are follows the text: "2 signatures and a certification".
    const std::string what = text.substr(kSignedText.size());
    const bool one = what == "1 signature" || what == "a certification" || what == "usage rights";
    return {Code::kSigned,
            input + " is signed (" + what + "); encrypting it invalidates " + (one ? "it" : "them") +
                ": use --invalidate-signatures to go ahead",
            text};
  }
  if (text == "Wrong password") return {Code::kWrongPassword, "the password does not open " + input, text};
  if (text == "Owner password needed")
    return {Code::kOwnerPasswordRequired,
            "the owner password is needed to re-encrypt or decrypt " + input +
                " (or a user password that grants modification)",
            text};
  if (StartsWith(text, "Verify:"))
    return {Code::kOutputFailed, "the copy of " + input + " does not read back as written: " + text.substr(7), text};
  if (text == "PdfFileWriter::Write:output") return {Code::kOutputFailed, "cannot write the copy of " + input, text};
  if (text == "out of memory" || text == "PdfParser::Abrir:malloc" || text == "PdfFileParser::NuevoValue:new")
    return {Code::kLimitExceeded, input + " needs more memory than is available", text};
  if (IsLimit(text))
    return {Code::kLimitExceeded, input + " goes beyond a limit set against hostile files: " + text, text};
  for (const Plain& p : kDamage) {
    if (StartsWith(text, p.text)) return {Code::kDamaged, input + " is damaged: " + p.said, text};
  }
  return {Code::kDamaged, input + " is damaged: " + text, text};
}

const char* PdfErrorReport::CodeName(Code code) {
  switch (code) {
    case Code::kOpenFailed:
      return "open_failed";
    case Code::kNotPdf:
      return "not_pdf";
    case Code::kDamaged:
      return "damaged";
    case Code::kEncrypted:
      return "encrypted";
    case Code::kWrongPassword:
      return "wrong_password";
    case Code::kOwnerPasswordRequired:
      return "owner_password_required";
    case Code::kLimitExceeded:
      return "limit_exceeded";
    case Code::kOutputFailed:
      return "output_failed";
    case Code::kUsage:
      return "usage";
    case Code::kSigned:
      return "signed";
  }
  return "damaged";
}
