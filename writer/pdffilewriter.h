#pragma once
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "pdf/pdfdocumentcomparer.h"
#include "pdf/pdffileparser.h"
#include "base/pdfsyntaxformatter.h"
#include "writer/pdfxrefstreamtable.h"

class PdfObjectCipher;
class PdfSecurityHandler;

// Rewrites a whole PDF file: reads it through its parser base, then writes
// "%PDF-1.5", every object of the document with its own number and
// generation, and a closing compressed cross-reference stream. Stream data
// is copied as stored, never decoded; objects inside object streams stay
// there and get compressed entries.
//
// Subclasses change what is written through the four virtual operations
// (in this order): the bytes of literal strings, the bytes of stream data,
// the end of the document, and extra trailer entries. PlanObjects lets them
// prepare for the objects to come; it changes nothing written.
//
// Output goes through a buffer of the writer's own; its position gives each
// object's byte offset.
class PdfFileWriter : public PdfFileParser, public PdfSyntaxFormatter {
 public:
  PdfFileWriter();
  ~PdfFileWriter() override;

  // Writes the escaped bytes of a literal string (the parentheses around
  // them are WriteValue's).
  virtual void WriteLiteralString(std::string bytes, int64_t number, int64_t generation);
  // Copies length bytes of stream data found at offset in the input.
  virtual void WriteStreamData(PdfStream& input, int64_t offset, int64_t length, int64_t number, int64_t generation);
  // Writes the cross-reference stream, "startxref" and "%%EOF".
  virtual void WriteDocumentEnd(PdfStream& input);
  // Entries added at the top of the cross-reference stream dictionary.
  virtual void WriteTrailerEntries(PdfStream& input);

  // The whole rewrite. Throws the library error on any failure; what was
  // written so far stays in output (callers write to a temporary file).
  void WriteDocument(PdfStream& input, std::ostream& output);
  void WriteHeader();
  void WriteObject(PdfStream& input, int64_t number, int64_t generation);
  void WriteValue(PdfValue* value, PdfStream& input, int64_t number, int64_t generation);
  void WriteDictionary(PdfDiccionario* d, PdfStream& input, int64_t number, int64_t generation);
  // The elements from first on.
  void WriteArray(PdfArray* a, PdfStream& input, int64_t number, int64_t generation, size_t first = 0);

  // While writing, records the digest of each object written (as the
  // input has it) in known, for a comparison of the output with the input
  // that then reads only the output again. Null: nothing recorded.
  void RecordForms(PdfDocumentComparer::Known* known) { known_forms_ = known; }

  // Called once the input is read and before anything is written, with
  // what it promises (signatures, conformance): may throw to refuse it.
  void CheckPromises(std::function<void(const PdfPromises&)> check) { check_promises_ = std::move(check); }
  // Grants content extraction for accessibility (bit 10) whatever the
  // letters say, computing the keys again; only before anything is written
  // (from the promises check). A writer that does not encrypt, or whose
  // revision always grants it, has nothing to do.
  virtual void KeepAccessible(std::string_view /*user*/, std::string_view /*owner*/,
                              const std::string& /*permissions*/) {}

  const PdfXRefStreamTable& Table() const { return table; }
  // How many objects the last WriteDocument wrote (those inside object
  // streams included).
  size_t ObjectsWritten() const { return objects_written_; }

 protected:
  // Called once before the objects are written, with all of them in writing
  // order (compressed entries included); while each is written,
  // object_position_ is its place in that list.
  // Encrypting, it lets the cipher prepare the objects' keys.
  virtual void PlanObjects(const std::vector<const XRefEntry*>& objects);
  size_t object_position_ = 0;
  // The version in the header line ("%PDF-1.5"; encrypting, the handler's).
  virtual const char* HeaderVersion() const;
  // The number of bytes WriteStreamData writes for length bytes of data.
  // When it differs from length, the stream's /Length is written anew.
  virtual int64_t WrittenStreamLength(int64_t length) const;
  // Whether an object the input keeps in an object stream is written as an
  // object of its own (with its new value) instead of staying there.
  virtual bool WritesOnItsOwn(int64_t /*number*/) const { return false; }
  // Writes the value of an indirect object (between "obj" and "endobj").
  virtual void WriteObjectValue(PdfValue* value, PdfStream& input, int64_t number, int64_t generation) {
    WriteValue(value, input, number, generation);
  }

  static constexpr size_t kOutputBufferBytes = size_t{1} << 16;

  // Appends to the output buffer, which is written out when full. Most
  // pieces are a few bytes: the common case is a copy, inline.
  void Out(const char* data, size_t n) {
    if (n <= kOutputBufferBytes - used_) {
      std::memcpy(buffer_.get() + used_, data, n);
      used_ += n;
    } else {
      OutLarge(data, n);
    }
  }
  void Out(const std::string& s) { Out(s.data(), s.size()); }
  // A string literal, without making a std::string of it.
  template <size_t N>
  void Out(const char (&literal)[N]) {
    Out(literal, N - 1);
  }
  void OutNumber(int64_t n);
  // A name in its written form (FormatName), formatted in the buffer.
  void OutName(const std::string& name);
  // Bytes escaped for a literal string, escaped in the buffer.
  void OutEscaped(const uint8_t* data, size_t len);
  uint64_t OutPosition() const { return flushed_ + used_; }
  void Flush();
  // Copies stream data in bounded chunks, through cipher when given (its
  // Update only: the caller starts and finishes it). Pieces that fit the
  // output buffer are encrypted in place there.
  void CopyStreamData(PdfStream& input, int64_t offset, int64_t length, PdfObjectCipher* cipher);

  // The encrypting writers' work, whatever the revision: every string and
  // every stream of every object through the handler's cipher with that
  // object's key, the Encrypt dictionary as one more object after the
  // others, and "/Encrypt" and "/ID" in the closing cross-reference stream,
  // which stays unencrypted. EncryptWith is called once, before writing,
  // with a handler (keys computed) that outlives the writer's work.
  void EncryptWith(const PdfSecurityHandler& handler);
  void WriteEncryptedString(std::string bytes, int64_t number, int64_t generation);
  void WriteEncryptedStreamData(PdfStream& input, int64_t offset, int64_t length, int64_t number, int64_t generation);
  // The Encrypt dictionary, then the closing cross-reference stream.
  void WriteEncryptedDocumentEnd(PdfStream& input);
  void WriteEncryptTrailerEntries();
  // Called by an encrypting writer's destructor: the cipher (and the thread
  // it may run) goes before the handler it uses.
  void StopEncrypting();
  // Whether v is a reference to an object number that the table holds in
  // use (written, or inside a written object stream).
  bool NamesWrittenObject(const PdfValue* v) const;

  PdfXRefStreamTable table;

 private:
  void OutLarge(const char* data, size_t n);
  // Room for n bytes at the end of the buffer, written out first when
  // needed; null when n is more than the buffer holds.
  char* OutSpace(size_t n);

  std::ostream* output_ = nullptr;
  std::function<void(const PdfPromises&)> check_promises_;
  const PdfValue* object_value_ = nullptr;  // the value of the object being written
  PdfDocumentComparer::Known* known_forms_ = nullptr;
  size_t objects_written_ = 0;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
  std::unique_ptr<char[]> copy_chunk_;  // stream data larger than buffer_
  uint64_t flushed_ = 0;
  int64_t stream_bytes_copied_ = 0;              // stream data written so far
  const PdfSecurityHandler* handler_ = nullptr;  // encrypting
  std::unique_ptr<PdfObjectCipher> cipher_;
  int64_t encrypt_number_ = 0;  // the Encrypt dictionary's, once written
};
