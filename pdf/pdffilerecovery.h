#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "pdf/pdfxrefscanner.h"

class PdfDiccionario;
class PdfFileParser;
class _kelvra_runtime_error;
class PdfStream;
class PdfValue;
class XRef;

// The repair of a damaged file for its parser: cross-reference data rebuilt
// from a scan of the whole file (made once, when first needed), objects
// looked up in that scan when their listed place is wrong, the trailer found
// or made, and the end of a stream that has no "endstream". A file read as
// written never meets any of it.
class PdfFileRecovery {
 public:
  explicit PdfFileRecovery(PdfFileParser& parser) : parser_(parser) {}

  // See PdfFileParser::Repairable and LeaveOut.
  bool Repairable(const _kelvra_runtime_error& failure) const;
  bool LeaveOut(int64_t number, const _kelvra_runtime_error& failure);
  // Rebuilds the cross-reference data from a scan after the read as written
  // failed with reason (thrown again when the scan finds nothing usable).
  void Recover(PdfStream& s, const _kelvra_runtime_error& reason);
  // Whether reference names a dictionary whose /Pages is a dictionary.
  bool IsCatalog(const std::string& reference);
  // The whole-file scan, made once, when first needed.
  const PdfXRefScanner::Result& Scanned();
  // The newest header found for number, or null.
  const PdfXRefScanner::Object* ScannedHeader(int64_t number);
  // Where the data of a stream that starts at from ends when "endstream"
  // never comes: before the first "endobj" ahead of the next object header.
  int64_t EndOfUnclosedStream(int64_t from);

  // Where the scan found object number when an earlier fetch read it there,
  // under this generation; else null.
  const PdfXRefScanner::Object* RelocatedAs(int64_t number, int64_t generation) const {
    auto it = relocated_.find(number);
    return it == relocated_.end() || it->second.generation != generation ? nullptr : &it->second;
  }
  // Records that object number is read where the scan found it; false when
  // it was recorded before.
  bool Relocate(int64_t number, const PdfXRefScanner::Object& found) {
    return relocated_.emplace(number, found).second;
  }
  // See PdfFileParser::FoundUnderGeneration and Relocated.
  bool FoundUnderGeneration(int64_t number, int64_t listed, int64_t* generation) const {
    auto it = relocated_.find(number);
    if (it == relocated_.end() || it->second.generation == listed) return false;
    *generation = it->second.generation;
    return true;
  }
  bool Relocated(int64_t number) const { return relocated_.count(number) != 0; }
  // The catalog repair made for a page tree whose own catalog is lost, when
  // number and generation are its; else null.
  PdfValue* Made(int64_t number, int64_t generation) const;
  // Forgets what the failed read made (the scan stays).
  void Reset() {
    recovered_encrypt_.clear();
    relocated_.clear();
    made_catalog_ = nullptr;
  }

 private:
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
  // No catalog left: one made for the newest page tree root the scan found,
  // under a number of its own in rebuilt; its reference, or "" when no
  // page tree with pages is left either.
  std::string MakeCatalog(XRef* rebuilt);
  // Repairing a file opened with a password: decryption from the Encrypt
  // dictionary the newest trailer found names, else from the newest
  // dictionary with /Filter /Standard (then named in rebuilt's trailer).
  void OpenRecoveredEncryption(XRef* rebuilt);
  void AddToTrailer(PdfDiccionario* trailer, const char* key, int type, const std::string& text);

  PdfFileParser& parser_;
  std::unique_ptr<PdfXRefScanner::Result> scan_;
  std::unordered_map<int64_t, size_t> newest_header_;              // number -> index in scan_->objects
  std::unordered_map<int64_t, PdfXRefScanner::Object> relocated_;  // number -> where the scan found it
  PdfDiccionario* made_catalog_ = nullptr;                         // see Made; a value of the parser's
  int64_t made_number_ = 0;
  std::string recovered_encrypt_;  // the reference repair found the Encrypt dictionary at, when no trailer named it
};
