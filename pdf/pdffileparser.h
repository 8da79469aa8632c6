#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "crypt/secretstring.h"
#include "pdf/pdfparser.h"
#include "pdf/pdfpromises.h"
#include "pdf/pdfrepairreport.h"
#include "pdf/pdfvalue.h"
#include "pdf/pdfxrefscanner.h"
#include "pdf/xref.h"
#include "pdf/xrefindex.h"

class PdfDecodeAhead;
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
// dictionary returns the same value object.
//
// With SetRepair(true), a file that cannot be read as written is repaired:
// its cross-reference data are rebuilt from a scan of the whole file
// (PdfXRefScanner), an object whose listed offset is wrong is looked up in
// that scan, and RepairReport says what was done. A file read as written
// never meets any of it.
//
// Object file structure is split by concern: pdffileparser_xref.cpp (file
// structure and cross-reference data), pdffileparser_objects.cpp (object
// syntax), pdffileparser.cpp (cache, fetch, object streams),
// pdffileparser_recovery.cpp (repair of damaged files).
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
  // After Parse: the decryption of an encrypted file (null otherwise), and
  // the number of its Encrypt dictionary (-1: none, or direct), which is no
  // object of the document.
  const PdfDecryption* Decryption() const { return decryption_.get(); }
  int64_t EncryptObjectNumber() const { return encrypt_number_; }
  // After Parse, for an encrypted file: another decryption of it, with
  // another password (checked as Parse checks it).
  std::unique_ptr<PdfDecryption> OpenWith(std::string_view password);
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
  // number failed with message: true when the object may be left out (noted
  // in the report); false when the failure must stand (no repair, encrypted
  // input, a limit reached).
  bool LeaveOut(int64_t number, const std::string& message);
  // After fetching object number failed: whether the scan found it under
  // another generation than the one listed (a damaged listing), which can
  // be fetched instead.
  bool FoundUnderGeneration(int64_t number, int64_t listed, int64_t* generation) const {
    auto it = relocated_.find(number);
    if (it == relocated_.end() || it->second.generation == listed) return false;
    *generation = it->second.generation;
    return true;
  }
  // Whether object number was read where the scan found it, not where it
  // is listed.
  bool Relocated(int64_t number) const { return relocated_.count(number) != 0; }
  // Whether the members of object stream number are to be written as
  // objects of their own, and the object stream not at all: its header was
  // repaired or its /Type is wrong, and a copy of it as stored would mislead
  // readers.
  bool Unpacked(int64_t number) const { return unpacked_.count(number) != 0; }
  // Repairing, reads the header of object stream number unless it was read
  // (then Unpacked tells whether its members are to be written whole).
  void ReadObjectStreamHeaderFirst(int64_t number);
  // Whether a failure with message may be repaired: repair is on, and it is
  // neither encrypted input nor a limit reached.
  bool Repairable(const std::string& message) const;
  // Object number is a signature dictionary (a signature field's /V names
  // it): its /Contents is neither decrypted here nor encrypted by a writer.
  // What the document promises (signatures, conformance), read by Parse.
  const PdfPromises& Promises() const { return promises_; }
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
  PdfValue* BuscarObjetoEnCache(int64_t number, int64_t generation) const;
  void InsertarObjetoEnCache(int64_t number, int64_t generation, PdfValue* value);
  // Takes the object out of the cache when value is what it holds for it.
  void OlvidarObjetoEnCache(int64_t number, int64_t generation, const PdfValue* value);
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
  void ParseDictEntries(PdfDiccionario* d, PdfStream& s, const char* not_a_key = "PdfFileParser::ParseKeyValuePair");
  void ParseKeyValuePair(PdfDiccionario* d, PdfStream& s);
  void ParseValue(PdfValue* container, PdfStream& s);

  // Where a stream's raw data lies in the input: its offset and its true
  // length. "/Length" is trusted when "endstream" follows the data; when it
  // does not (a common defect), the data is taken to end where "endstream"
  // really stands. Throws no_length_message when "/Length" is absent.
  // *trusted tells whether "/Length" gave the length.
  void StreamExtent(PdfDiccionario* d, const char* no_length_message, int64_t* offset, int64_t* length,
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
  size_t ValueMark() const { return valueList.size(); }
  bool ReleaseValuesFrom(size_t mark);

  // Whether the listing of an object in the section-th section names one of
  // the cross-reference streams read while parsing: those describe this
  // file's layout and are not part of the document. A number that a newer
  // section reuses for another object is that object.
  bool IsXRefStreamObject(int64_t number, int section) const {
    auto it = xref_stream_sections_.find(number);
    return it != xref_stream_sections_.end() && section >= it->second;
  }
  const XRefIndex& Index() const { return index_; }
  // The document's objects in the order the cross-reference data list them
  // (newest section first): each object number once, in the version that
  // lookups give, cross-reference streams left out.
  std::vector<const XRefEntry*> DocumentObjects() const;
  // Number of cross-reference sections read (a hybrid file's stream counts).
  size_t SectionCount() const { return sections_read_.size(); }
  int64_t FileSize() const { return file_size_; }

  std::vector<std::unique_ptr<XRef>> xrefList;
  struct ObjectKey {
    int64_t number, generation;
    bool operator==(const ObjectKey& o) const { return number == o.number && generation == o.generation; }
  };
  struct ObjectKeyHash {
    size_t operator()(const ObjectKey& k) const {
      return static_cast<size_t>((static_cast<uint64_t>(k.number) * 0x9E3779B97F4A7C15ULL) ^
                                 static_cast<uint64_t>(k.generation));
    }
  };
  std::unordered_map<ObjectKey, PdfValue*, ObjectKeyHash> cache_objetos;
  PdfStream* inputStream = nullptr;
  std::vector<std::unique_ptr<PdfValue>> valueList;

 private:
  void ParseAsWritten(PdfStream& s);
  // Rebuilds the cross-reference data from a scan after the read as written
  // failed with reason (thrown again when the scan finds nothing usable).
  void Recover(PdfStream& s, const std::string& reason);
  void ResetForRecovery();
  // Reads the trailer dictionary after a "trailer" keyword at offset as a
  // section of its own.
  void ReadFoundTrailer(int64_t offset, PdfStream& s);
  // Offers the members of each object stream found by the scan.
  template <class Offer>
  void ExpandObjectStreams(const Offer& offer);
  // The newest readable trailer's /Root when it names a catalog, else the
  // newest catalog found; the trailer that the rest of the reading uses is
  // made of it.
  void RecoverTrailer(XRef* rebuilt);
  // Whether reference names a dictionary whose /Pages is a dictionary.
  bool IsCatalog(const std::string& reference);
  // The whole-file scan, made once, when first needed.
  const PdfXRefScanner::Result& Scanned();
  // The newest header found for number, or null.
  const PdfXRefScanner::Object* ScannedHeader(int64_t number);
  // The object at byte offset at, which must be the one named.
  PdfValue* ReadObjectAt(int64_t at, int64_t number, int64_t generation);
  // Where the data of a stream that starts at from ends when "endstream"
  // never comes: before the first "endobj" ahead of the next object header.
  int64_t EndOfUnclosedStream(int64_t from);
  // Sets up decryption when the trailer names an Encrypt dictionary.
  void OpenEncryption();
  // Repairing a file opened with a password: decryption from the Encrypt
  // dictionary the newest trailer found names, else from the newest
  // dictionary with /Filter /Standard (then named in rebuilt's trailer).
  void OpenRecoveredEncryption(XRef* rebuilt);
  void AddToTrailer(PdfDiccionario* trailer, const char* key, int type, const std::string& text);
  // Decrypts the strings of an indirect object just read.
  void DecryptStrings(PdfValue* v, int64_t number, int64_t generation, bool whole = false);
  void DecryptSignatureContents(PdfValue* v, int64_t number, int64_t generation);
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
  // A value of class T (of that kind) owned by this parser: a released one
  // when there is one, else a new one.
  template <class T>
  T* Adopt(PdfValue::Kind kind);
  // Adds n bytes to the object text read by fetches; fails with
  // "PdfFileParser::DameObjeto:limit" past pdflimits::kObjectTextFactor
  // times the file and its decoded streams.
  void CountObjectText(uint64_t n);
  // Adds n entries and one record to the cross-reference data read; fails
  // past the limit.
  void CountXRefEntries(uint64_t n);
  // Records an object stream just decoded and releases the oldest others
  // while those kept hold more than pdflimits::kMaxKeptObjectStreamBytes.
  void KeepDecoded(int64_t objstm_number, size_t bytes);
  // Reads the stored data of the next object streams of the order given to
  // DecodeObjectStreamsAhead and hands them to the thread, while it has
  // room. Only Flate-encoded ones with a direct length; any fault is left
  // for the reader's own decoding to meet.
  void FeedDecodeAhead();
  void SubmitDecodeAhead(int64_t objstm_number);

  // Byte offsets of object-stream entries, parsed once per object stream.
  struct ObjStmHeader {
    std::vector<std::pair<int64_t, int64_t>> pairs;  // (object number, offset)
    int64_t first = 0;
    bool parsed = false;
  };
  std::unordered_map<int64_t, ObjStmHeader> objstm_headers_;
  // Decodes object stream objstm_number (once) and parses its header.
  const ObjStmHeader& ObjectStreamHeader(int64_t objstm_number, PdfDiccionario** decoded);
  // Reads the header of a decoded object stream whose /First cuts it short.
  void RepairObjectStreamHeader(int64_t objstm_number, PdfDiccionario* stm, int64_t n, ObjStmHeader* header);
  // The member lookup of FindInObjectStream, once the object stream is
  // decoded and its header parsed.
  PdfDiccionario* FindInHeader(PdfDiccionario* stm, const ObjStmHeader& header, int64_t number, int32_t index,
                               int32_t* found_index, int64_t* value_offset);
  // The object stream FindInObjectStream used last (-1: none); forgotten
  // whenever values are released.
  int64_t last_objstm_number_ = -1;
  PdfDiccionario* last_objstm_ = nullptr;
  ObjStmHeader* last_objstm_header_ = nullptr;
  // Values of indirect stream lengths read so far, by reference text (-1:
  // not a number).
  std::unordered_map<std::string, int64_t> indirect_lengths_;

  // Values released by ReleaseValuesFrom, by kind, for Adopt to reuse.
  std::vector<std::unique_ptr<PdfValue>> spare_values_[4];
  XRefIndex index_;
  std::unordered_map<int64_t, int> xref_stream_sections_;  // number -> newest section
  int section_ = 0;                                        // section being read
  std::set<int64_t> sections_read_;
  int64_t file_size_ = 0;
  int nesting_ = 0;
  int fetch_depth_ = 0;
  uint64_t xref_entries_ = 0;       // entries announced by the sections read
  uint64_t decode_bytes_ = 0;       // read and produced while decoding streams
  uint64_t object_text_bytes_ = 0;  // read by object fetches
  // Object streams decoded, oldest first, with their decoded sizes.
  std::deque<std::pair<int64_t, size_t>> decoded_objstms_;
  size_t decoded_objstm_bytes_ = 0;
  std::unique_ptr<PdfDecodeAhead> decode_ahead_;
  std::vector<int64_t> ahead_order_;
  size_t ahead_next_ = 0;  // next in ahead_order_ to submit
  bool feeding_ = false;
  bool helper_threads_ = true;

  bool repair_ = false;
  PdfRepairReport report_;
  std::unique_ptr<PdfXRefScanner::Result> scan_;
  std::unordered_map<int64_t, size_t> newest_header_;              // number -> index in scan_->objects
  std::unordered_map<int64_t, PdfXRefScanner::Object> relocated_;  // number -> where the scan found it
  PdfPromises promises_;
  std::unordered_set<int64_t> signature_objects_;  // named by a signature field's /V
  std::unordered_set<int64_t> unpacked_;           // object streams whose members are written whole
  bool has_password_ = false;
  bool need_change_rights_ = false;
  SecretString password_;
  std::unique_ptr<PdfDecryption> decryption_;
  int64_t encrypt_number_ = -1;
  std::string recovered_encrypt_;  // the reference repair found the Encrypt dictionary at, when no trailer named it
};

// Builds the reference text "N G R".
std::string ReferenceText(int64_t number, int64_t generation);
