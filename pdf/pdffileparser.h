#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdf/pdfcrossreferencereader.h"
#include "pdf/pdfdecodeaheadfeeder.h"
#include "pdf/pdffilerecovery.h"
#include "pdf/pdfobjectstreamcache.h"
#include "pdf/pdfparser.h"
#include "pdf/pdfpromises.h"
#include "pdf/pdfreaderdecryption.h"
#include "pdf/pdfrepairreport.h"
#include "pdf/pdfvalue.h"
#include "pdf/pdfvaluepool.h"
#include "pdf/xref.h"
#include "pdf/xrefindex.h"

class PdfDecryption;

class PdfValue;
class PdfArray;
class PdfDiccionario;
class PdfKeyValuePair;

// The reader of a whole PDF file. Parse checks the header, finds
// "startxref" and reads every cross-reference section along "/Prev"
// (classic tables, cross-reference streams, hybrid files); afterwards any
// object can be fetched by reference with DameObjeto, also out of object
// streams.
//
// The parser owns every value it creates (valueList) and caches dictionary
// objects by number and generation (cache_objetos), so a second fetch of a
// dictionary returns the same value object; both are kept by its
// PdfValuePool.
//
// With SetRepair(true), a file that cannot be read as written is repaired:
// its cross-reference data are rebuilt from a scan of the whole file
// (PdfXRefScanner), an object whose listed offset is wrong is looked up in
// that scan, and RepairReport says what was done. A file read as written
// never meets any of it.
//
// The parser coordinates the classes that do its jobs: PdfValuePool (values
// and the object cache), PdfCrossReferenceReader (cross-reference data),
// PdfObjectStreamCache (decoded object streams), PdfReaderDecryption
// (password and decryption), PdfDecodeAheadFeeder (object streams inflated
// ahead on a second thread) and PdfFileRecovery (repair of damaged files).
// Its own are the fetch of objects (pdffileparser.cpp) and the object
// syntax (pdffileparser_objects.cpp).
class PdfFileParser : public PdfParser {
 public:
  PdfFileParser();
  ~PdfFileParser() override;

  // --- File structure and cross-reference data ---
  // Opens an encrypted file with this password (UTF-8 as typed) in the
  // next Parse; without one an encrypted file fails with "Encrypted".
  // need_change_rights: fail with "Owner password needed" unless the
  // password may take the protection off (see PdfDecryption).
  void SetPassword(std::string_view utf8, bool need_change_rights);
  // Or with this private key, for a file encrypted for certificates; a
  // password file then fails as with a wrong password.
  void SetIdentity(std::shared_ptr<const Identity> identity, bool need_change_rights);
  // Instead: Parse leaves an encrypted file encrypted (Decryption() stays
  // null), for a caller that reads only the trailer and the Encrypt
  // dictionary, whose values are never encrypted.
  void LeaveEncrypted() { decryption_.LeaveEncrypted(); }
  // Or: an encrypted file without a key fails only once its Encrypt
  // dictionary is read, with "Encrypted for recipients" where it needs a
  // recipient's private key rather than a password.
  void TellWhichKey() { decryption_.TellWhichKey(); }
  // After Parse: the decryption of an encrypted file (null otherwise), and
  // the number of its Encrypt dictionary (-1: none, or direct), which is no
  // object of the document.
  const PdfDecryption* Decryption() const { return decryption_.Get(); }
  int64_t EncryptObjectNumber() const { return decryption_.EncryptObjectNumber(); }
  // After Parse, for an encrypted file: another decryption of it, with
  // another password (checked as Parse checks it).
  std::unique_ptr<PdfDecryption> OpenWith(std::string_view password, const Identity* identity = nullptr);
  // Reads length bytes of stream d's data at offset and decrypts them into
  // out (true); false, reading nothing, when the file is not encrypted.
  bool ReadDecryptedStream(PdfDiccionario* d, int64_t offset, int64_t length, std::vector<uint8_t>* out);
  // The stored data of stream d, decrypted when the file is encrypted.
  void ReadStoredStream(PdfDiccionario* d, int64_t offset, int64_t length, std::vector<uint8_t>* out);
  void Parse(PdfStream& s);
  bool EsArchivoPdf(PdfStream& s);
  int64_t LeerStartAddress(PdfStream& s);
  // Reads the section at offset and every older one along "/Prev".
  void ParseCrossReference(int64_t offset, PdfStream& s);
  // Location text of an object: its byte offset, or an object stream's
  // offset, a blank and the index in it.
  std::string OffsetObjeto(const std::string& reference);
  std::string OffsetObjeto(int64_t number, int64_t generation);
  // The value of key in the newest trailer that has it, references resolved.
  // With resolve false, the value as written (a reference stays one).
  PdfValue* BuscarEnTrailer(const std::string& key, bool resolve = true);

  // --- Repair of damaged files ---
  // Off by default: a damaged file is refused with the error met. On (the
  // command-line tool and the COM component), it is repaired.
  void SetRepair(bool on) { repair_ = on; }
  bool RepairAllowed() const { return repair_; }
  const PdfRepairReport& RepairReport() const { return report_; }
  // For a caller copying the document's objects, after fetching object
  // number failed with failure: true when the object may be left out (noted
  // in the report); false when the failure must stand (no repair, encrypted
  // input, a limit reached).
  bool LeaveOut(int64_t number, const _kelvra_runtime_error& failure);
  // After fetching object number failed: whether the scan found it under
  // another generation than the one listed (a damaged listing), which can
  // be fetched instead.
  bool FoundUnderGeneration(int64_t number, int64_t listed, int64_t* generation) const {
    return recovery_.FoundUnderGeneration(number, listed, generation);
  }
  // Whether object number was read where the scan found it, not where it
  // is listed.
  bool Relocated(int64_t number) const { return recovery_.Relocated(number); }
  // Whether the members of object stream number are to be written as
  // objects of their own, and the object stream not at all: its header was
  // repaired or its /Type is wrong, and a copy of it as stored would mislead
  // readers.
  bool Unpacked(int64_t number) const { return objstms_.Unpacked(number); }
  // Repairing, reads the header of object stream number unless it was read
  // (then Unpacked tells whether its members are to be written whole).
  void ReadObjectStreamHeaderFirst(int64_t number);
  // Whether failure may be repaired: repair is on, and its catalogue entry
  // lets repair pass it (not encrypted input, not a limit reached).
  bool Repairable(const _kelvra_runtime_error& failure) const;
  // What the document promises (signatures, conformance), read by Parse.
  const PdfPromises& Promises() const { return promises_; }
  // Object number is a signature dictionary (a signature field's /V names
  // it): its /Contents is neither decrypted here nor encrypted by a writer.
  void TreatAsSignature(int64_t number) { signature_objects_.insert(number); }
  bool SignatureObject(int64_t number) const { return signature_objects_.count(number) != 0; }
  // Whether dictionary d, the value of object number (whole: the object's
  // own value, not one nested in it), keeps its /Contents as written.
  bool KeepsContents(PdfDiccionario* d, int64_t number, bool whole) const;

  // --- Object fetch ---
  // The object named by a reference text such as "12 0 R"; null when the
  // object's body holds no value.
  PdfValue* DameObjeto(const std::string& reference);
  PdfValue* DameObjeto(int64_t number, int64_t generation);

  // --- Object syntax and cache ---
  PdfValue* BuscarObjetoEnCache(int64_t number, int64_t generation) const { return pool_.Find(number, generation); }
  void InsertarObjetoEnCache(int64_t number, int64_t generation, PdfValue* value) {
    pool_.Insert(number, generation, value);
  }
  // Takes the object out of the cache when value is what it holds for it.
  void OlvidarObjetoEnCache(int64_t number, int64_t generation, const PdfValue* value) {
    pool_.Forget(number, generation, value);
  }
  // A new value of the named class, owned by this parser.
  PdfValue* NuevoValue(const std::string& class_name);
  PdfDiccionario* NewDictionary();
  PdfArray* NewArray();
  PdfKeyValuePair* NewPair();
  PdfValue* NewSimple(int native_type, std::string text);
  PdfValue* NewSimple(int native_type, const char* text, size_t size);
  // Reads the indirect object at the stream's position into holder. The
  // object's number and generation from its header line are returned.
  void ParseDiccionario(PdfKeyValuePair& holder, PdfStream& s, int64_t* number = nullptr,
                        int64_t* generation = nullptr);
  // Reads a dictionary's entries up to its ">>" into d; a token where a key
  // belongs that is not a name fails with not_a_key.
  void ParseDictEntries(PdfDiccionario* d, PdfStream& s,
                        const ErrorCatalogue::Entry& not_a_key = errtext::kKeyValuePair);
  void ParseKeyValuePair(PdfDiccionario* d, PdfStream& s);
  void ParseValue(PdfValue* container, PdfStream& s);

  // Where a stream's raw data lies in the input: its offset and its true
  // length. "/Length" is trusted when "endstream" follows the data; when it
  // does not (a common defect), the data is taken to end where "endstream"
  // really stands. Throws no_length_message when "/Length" is absent.
  // *trusted tells whether "/Length" gave the length.
  void StreamExtent(PdfDiccionario* d, const ErrorCatalogue::Entry& no_length_message, int64_t* offset, int64_t* length,
                    bool* trusted = nullptr);

  // Where object number lies in object stream objstm_number: decodes the
  // object stream (once) and finds the number in its header. Gives the index
  // at which the header lists it, and the offset of its value in the decoded
  // data. Fails when the object stream or the number is missing.
  PdfDiccionario* FindInObjectStream(int64_t objstm_number, int64_t number, int32_t index, int32_t* found_index,
                                     int64_t* value_offset);
  // Releases the decoded data of an object stream that is no longer needed.
  void ReleaseObjectStream(int64_t objstm_number);
  // Inflates the object streams named, in this order, ahead of need on a
  // second thread when the machine has two cores: the writer names them in
  // the order its objects will need them. Nothing read changes; an empty
  // order stops it.
  void DecodeObjectStreamsAhead(std::vector<int64_t> order);
  // Whether this reader and the writers built on it may start helper
  // threads (decode-ahead, key pipeline) for a large document. On by
  // default; a caller that already runs one document per core turns it off,
  // and the output is the same either way.
  void SetHelperThreads(bool allowed) { helper_threads_ = allowed; }
  bool HelperThreads() const { return helper_threads_; }
  // For PdfCompressedStream: the decoded data of stream d, stored at offset
  // in length bytes, when it was inflated ahead (true). Throws what
  // inflating it threw.
  bool TakeDecodedAhead(PdfDiccionario* d, int64_t offset, int64_t length, std::vector<uint8_t>& out);
  // Adds n to the bytes read and produced while decoding streams for this
  // file; fails with "PdfCompressedStream::Decompress:limit" past
  // pdflimits::kMaxTotalDecodeBytes, so no file makes the reader decode
  // without end (the same bomb named by many objects, say).
  void CountDecodedBytes(uint64_t n);

  // Values are owned until the parser dies, unless released: a mark is the
  // count of values created so far, and ReleaseValuesFrom destroys those
  // created since, dropping the cache entries that name them. The caller
  // promises that nothing else holds them (containers only point at values
  // created with them, and other objects are reached through the cache).
  // The writer releases each object's values once it is written, so memory
  // does not grow with the number of objects. When a dictionary among them
  // holds decoded object-stream data, which later fetches reuse, nothing is
  // released and false is returned.
  size_t ValueMark() const { return pool_.Mark(); }
  bool ReleaseValuesFrom(size_t mark);

  // Whether the listing of an object in the section-th section names one of
  // the cross-reference streams read while parsing: those describe this
  // file's layout and are not part of the document. A number that a newer
  // section reuses for another object is that object.
  bool IsXRefStreamObject(int64_t number, int section) const { return xref_.IsXRefStreamObject(number, section); }
  const XRefIndex& Index() const { return index_; }
  // The document's objects in the order the cross-reference data list them
  // (newest section first): each object number once, in the version that
  // lookups give, cross-reference streams left out.
  std::vector<const XRefEntry*> DocumentObjects() const;
  // Number of cross-reference sections read (a hybrid file's stream counts).
  size_t SectionCount() const { return xref_.SectionCount(); }
  int64_t FileSize() const { return file_size_; }

  std::vector<std::unique_ptr<XRef>> xrefList;

 private:
  // Before the references into it below.
  PdfValuePool pool_;

 public:
  std::unordered_map<PdfValuePool::ObjectKey, PdfValue*, PdfValuePool::ObjectKeyHash>& cache_objetos = pool_.cache;
  PdfStream* inputStream = nullptr;
  std::vector<std::unique_ptr<PdfValue>>& valueList = pool_.values;

 private:
  friend class PdfCrossReferenceReader;
  friend class PdfDecodeAheadFeeder;
  friend class PdfFileRecovery;
  friend class PdfObjectStreamCache;
  friend class PdfReaderDecryption;

  void ParseAsWritten(PdfStream& s);
  // Forgets everything the failed read as written made before a repair.
  void ResetForRecovery();
  // The object at byte offset at, which must be the one named.
  PdfValue* ReadObjectAt(int64_t at, int64_t number, int64_t generation);
  void LeerCrossReferenceTable(int64_t offset, PdfStream& s, int64_t* prev);
  void LeerCrossReferenceStream(int64_t offset, PdfStream& s, int64_t* prev);
  void ParseObjectStream(PdfKeyValuePair& holder, int64_t objstm_number, int64_t number, int32_t index);
  void ParseKeyValuePairWithKey(PdfDiccionario* d, const std::string& token, PdfStream& s);
  void ParseKeyValuePairWithName(PdfDiccionario* d, const char* name, size_t size, PdfStream& s);
  // The text of a name token taken whole from the stream's window, as
  // ParseName gives it.
  void NameText(const char* name, size_t size, std::string* text);
  void ParseContainerValue(PdfValue* container, PdfStream& s);
  bool FindEndstream(int64_t from, int64_t* data_end);
  // Adds n bytes to the object text read by fetches; fails with
  // "PdfFileParser::DameObjeto:limit" past pdflimits::kObjectTextFactor
  // times the file and its decoded streams.
  void CountObjectText(uint64_t n);

  PdfCrossReferenceReader xref_{*this};
  PdfObjectStreamCache objstms_{*this};
  PdfDecodeAheadFeeder ahead_{*this};
  PdfPromises promises_;
  std::unordered_set<int64_t> signature_objects_;  // named by a signature field's /V
  PdfReaderDecryption decryption_{*this};
  PdfFileRecovery recovery_{*this};
  // Values of indirect stream lengths read so far, by reference text (-1:
  // not a number).
  std::unordered_map<std::string, int64_t> indirect_lengths_;
  XRefIndex index_;
  int64_t file_size_ = 0;
  int nesting_ = 0;
  int fetch_depth_ = 0;
  uint64_t decode_bytes_ = 0;       // read and produced while decoding streams
  uint64_t object_text_bytes_ = 0;  // read by object fetches
  bool helper_threads_ = true;
  bool repair_ = false;
  PdfRepairReport report_;
};

// Builds the reference text "N G R".
std::string ReferenceText(int64_t number, int64_t generation);
