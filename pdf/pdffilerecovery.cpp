// Repair of damaged files by PdfFileParser: the cross-reference data rebuilt
// from a scan of the whole file, objects looked up in it, the trailer found
// or made, streams without "endstream" closed.
#include "pdf/pdffilerecovery.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

#include "base/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdfkeyvaluepair.h"
#include "base/pdflimits.h"

namespace {

std::string Object(int64_t number) { return "object " + std::to_string(number); }

}  // namespace
bool PdfFileRecovery::Repairable(const _kelvra_runtime_error& failure) const {
  return parser_.repair_ && failure.entry().repairable;
}

bool PdfFileRecovery::LeaveOut(int64_t number, const _kelvra_runtime_error& failure) {
  if (!Repairable(failure)) return false;
  parser_.report_.Dropped(Object(number) + " (" + failure.entry().sentence + ")");
  return true;
}

const PdfXRefScanner::Result& PdfFileRecovery::Scanned() {
  if (!scan_) {
    scan_ = std::make_unique<PdfXRefScanner::Result>(
        PdfXRefScanner::Scan(*parser_.inputStream, parser_.file_size_, pdflimits::kMaxScannedObjects));
    newest_header_.reserve(scan_->objects.size());
    for (size_t i = 0; i < scan_->objects.size(); ++i) newest_header_[scan_->objects[i].number] = i;
  }
  return *scan_;
}

const PdfXRefScanner::Object* PdfFileRecovery::ScannedHeader(int64_t number) {
  const PdfXRefScanner::Result& scan = Scanned();
  auto it = newest_header_.find(number);
  return it == newest_header_.end() ? nullptr : &scan.objects[it->second];
}

void PdfFileRecovery::Recover(PdfStream& s, const _kelvra_runtime_error& reason) {
  s.Seek(0, 3);
  parser_.file_size_ = s.Tell();
  parser_.ResetForRecovery();
  const PdfXRefScanner::Result& scan = Scanned();
  // No object left: nothing to rebuild (and without a header nothing says
  // it was ever a PDF file).
  if (scan.objects.empty()) throw reason;
  parser_.report_ = PdfRepairReport();
  parser_.report_.reason = reason.entry().sentence;
  parser_.report_.repaired = true;

  // The rebuilt listing comes first, so that it decides every lookup; the
  // trailers and cross-reference streams found follow, newest first.
  parser_.xrefList.push_back(std::make_unique<XRef>());
  XRef* rebuilt = parser_.xrefList.back().get();
  std::vector<std::pair<int64_t, size_t>> sections;  // (offset, object index or npos for a trailer)
  for (int64_t t : scan.trailers) sections.emplace_back(t, std::string::npos);
  for (size_t i : scan.xref_streams) sections.emplace_back(scan.objects[i].offset, i);
  std::sort(sections.begin(), sections.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::unordered_set<int64_t> xref_stream_offsets;
  size_t unreadable_sections = 0;
  parser_.xref_.SetSection(1);
  for (const auto& found : sections) {
    const size_t records = parser_.xrefList.size();
    const size_t mark = parser_.ValueMark();
    try {
      if (found.second == std::string::npos) {
        ReadFoundTrailer(found.first, s);
      } else {
        int64_t ignored_prev = -1;
        parser_.xref_.LeerCrossReferenceStream(found.first, s, &ignored_prev);
        xref_stream_offsets.insert(found.first);
      }
      parser_.xref_.SetSection(parser_.xref_.Section() + 1);
    } catch (const _kelvra_runtime_error& e) {
      // An encrypted file stays refused, whatever else is broken in it.
      if (!Repairable(e)) throw;
      parser_.xrefList.resize(records);
      parser_.ReleaseValuesFrom(mark);
      ++unreadable_sections;
    }
  }

  // Each object number goes to its newest version: the last header in the
  // file, or an object stream's member when the object stream comes later.
  struct Candidate {
    XRefEntry entry;
    int64_t position;
  };
  std::unordered_map<int64_t, Candidate> best;
  best.reserve(scan.objects.size());
  auto offer = [&best](const XRefEntry& e, int64_t position) {
    if (e.number <= 0 || e.number > pdflimits::kMaxObjectNumber) return;
    auto it = best.find(e.number);
    if (it == best.end()) {
      best.emplace(e.number, Candidate{e, position});
    } else if (position >= it->second.position) {
      it->second = Candidate{e, position};
    }
  };
  for (const PdfXRefScanner::Object& o : scan.objects) {
    XRefEntry e;
    e.number = o.number;
    e.generation = static_cast<uint32_t>(o.generation);
    e.location = static_cast<uint64_t>(o.offset);
    e.type = XRefEntry::kInUse;
    offer(e, o.offset);
  }
  // Members listed by the cross-reference streams read; their other entries
  // are left to the scan, which found the objects where they really are.
  for (const auto& r : parser_.xrefList) {
    for (const XRefEntry& e : r->entries) {
      const PdfXRefScanner::Object* stm =
          e.type == XRefEntry::kCompressed ? ScannedHeader(static_cast<int64_t>(e.location)) : nullptr;
      if (stm != nullptr) offer(e, stm->offset);
    }
    if (r.get() != rebuilt) r->entries.clear();
  }
  // The cross-reference streams read describe the damaged layout only.
  for (auto it = best.begin(); it != best.end();) {
    const bool xref_stream =
        it->second.entry.type == XRefEntry::kInUse && xref_stream_offsets.count(it->second.position) != 0;
    it = xref_stream ? best.erase(it) : std::next(it);
  }
  auto list = [&best, rebuilt, this]() {
    rebuilt->entries.clear();
    parser_.xref_.CountXRefEntries(best.size());
    rebuilt->entries.reserve(best.size());
    for (const auto& b : best) rebuilt->entries.push_back(b.second.entry);
    std::sort(rebuilt->entries.begin(), rebuilt->entries.end(),
              [](const XRefEntry& a, const XRefEntry& b) { return a.number < b.number; });
    parser_.index_.Build(parser_.xrefList);
  };
  list();
  // An encrypted file opened with its password: the Encrypt dictionary that
  // the newest trailer found names decrypts what is read from here on
  // (object streams first). Without a password it stays refused, also when
  // only a cross-reference stream found names it (the reader then says
  // which key the file needs).
  if (parser_.decryption_.HasPassword()) {
    OpenRecoveredEncryption(rebuilt);
  } else {
    parser_.decryption_.Open();
  }
  const size_t before_expanding = best.size();
  ExpandObjectStreams(offer);
  if (best.size() != before_expanding || !scan.object_streams.empty()) list();

  size_t compressed = 0;
  for (const XRefEntry& e : rebuilt->entries) compressed += e.type == XRefEntry::kCompressed;
  std::string note =
      "cross-reference data from a scan of the file (" + std::to_string(rebuilt->entries.size()) + " objects";
  if (compressed != 0) note += ", " + std::to_string(compressed) + " in object streams";
  parser_.report_.Rebuilt(note + ")");
  if (scan.header > 0) parser_.report_.Rebuilt(std::to_string(scan.header) + " bytes before %PDF- left out");
  if (scan.header < 0) parser_.report_.Rebuilt("no PDF header");
  if (unreadable_sections != 0)
    parser_.report_.Dropped(std::to_string(unreadable_sections) + " unreadable trailer or cross-reference stream");
  try {
    RecoverTrailer(rebuilt);
  } catch (const _kelvra_runtime_error& e) {
    // Objects but no document in them, and no header: not a PDF file (a
    // text that quotes one, say), as the reader first said.
    if (scan.header < 0 && &e.entry() == &errtext::kRecoverNoCatalog) throw reason;
    throw;
  }
}

void PdfFileRecovery::OpenRecoveredEncryption(XRef* rebuilt) {
  const char* from = "the Encrypt dictionary the newest trailer names";
  if (parser_.BuscarEnTrailer("/Encrypt", false) == nullptr) {
    // No trailer left names one: the newest dictionary with /Filter
    // /Standard, under a trailer of its own until the real one is made.
    const PdfXRefScanner::Result& scan = Scanned();
    for (auto i = scan.security_handlers.rbegin(); i != scan.security_handlers.rend() && recovered_encrypt_.empty();
         ++i) {
      const std::string reference = ReferenceText(scan.objects[*i].number, scan.objects[*i].generation);
      const size_t mark = parser_.ValueMark();
      try {
        PdfValue* v = parser_.DameObjeto(reference);
        PdfValue* filter = v != nullptr && v->kind() == PdfValue::Kind::Dictionary
                               ? static_cast<PdfDiccionario*>(v)->GetValue("/Filter", false)
                               : nullptr;
        if (filter != nullptr && filter->text == "/Standard") recovered_encrypt_ = reference;
      } catch (const _kelvra_runtime_error& e) {
        if (!Repairable(e)) throw;
      }
      parser_.ReleaseValuesFrom(mark);
    }
    if (recovered_encrypt_.empty()) return;
    rebuilt->trailer = parser_.NewDictionary();
    AddToTrailer(rebuilt->trailer, "/Encrypt", NATIVE_REFERENCE, recovered_encrypt_);
    from = "the dictionary with /Filter /Standard the scan found";
  }
  parser_.decryption_.Open();
  parser_.report_.Rebuilt(std::string("decryption with ") + from);
}

void PdfFileRecovery::AddToTrailer(PdfDiccionario* trailer, const char* key, int type, const std::string& text) {
  PdfKeyValuePair* p = parser_.NewPair();
  p->key = key;
  trailer->InsertValue(p);
  p->InsertValue(parser_.NewSimple(type, text));
}

void PdfFileRecovery::ReadFoundTrailer(int64_t offset, PdfStream& s) {
  s.Seek(offset, 1);
  if (parser_.NextToken(s) != "<<") throw _kelvra_runtime_error(errtext::kTrailerToken);
  PdfDiccionario* trailer = parser_.NewDictionary();
  parser_.ParseDictEntries(trailer, s);
  parser_.xrefList.push_back(std::make_unique<XRef>());
  parser_.xrefList.back()->section = parser_.xref_.Section();
  parser_.xrefList.back()->trailer = trailer;
  parser_.decryption_.RefuseEncrypted(trailer);
}

template <class Offer>
void PdfFileRecovery::ExpandObjectStreams(const Offer& offer) {
  const PdfXRefScanner::Result& scan = Scanned();
  for (size_t i : scan.object_streams) {
    const PdfXRefScanner::Object& o = scan.objects[i];
    const XRefEntry* current = parser_.index_.Find(o.number, 0);
    // Only the version of the object stream that the document uses.
    if (o.generation != 0 || current == nullptr || current->type != XRefEntry::kInUse ||
        current->location != static_cast<uint64_t>(o.offset))
      continue;
    const size_t mark = parser_.ValueMark();
    try {
      PdfDiccionario* stm = nullptr;
      const PdfObjectStreamCache::Header& header = parser_.objstms_.ObjectStreamHeader(o.number, &stm);
      parser_.xref_.CountXRefEntries(header.pairs.size());
      for (size_t k = 0; k < header.pairs.size() && k <= INT32_MAX; ++k) {
        if (header.pairs[k].first == o.number) continue;
        XRefEntry e;
        e.number = header.pairs[k].first;
        e.type = XRefEntry::kCompressed;
        e.location = static_cast<uint64_t>(o.number);
        e.index = static_cast<int32_t>(k);
        offer(e, o.offset);
      }
    } catch (const _kelvra_runtime_error& e) {
      if (!e.entry().repairable) throw;
      // Not an object stream after all, or one that cannot be decoded: its
      // members are lost, and so, when it is written, are they.
      if (&e.entry() == &errtext::kObjStmType) continue;
      parser_.report_.Dropped("the members of object stream " + std::to_string(o.number) + " (" + e.entry().sentence +
                              ")");
    }
    parser_.ReleaseObjectStream(o.number);
    parser_.ReleaseValuesFrom(mark);
  }
  parser_.objstms_.ForgetHeaders();
}

bool PdfFileRecovery::IsCatalog(const std::string& reference) {
  const size_t mark = parser_.ValueMark();
  try {
    PdfValue* v = parser_.DameObjeto(reference);
    // A catalog whose page tree is lost makes a document with no pages:
    // none is better than that.
    PdfValue* pages = v != nullptr && v->kind() == PdfValue::Kind::Dictionary
                          ? static_cast<PdfDiccionario*>(v)->GetValue("/Pages", true)
                          : nullptr;
    if (pages != nullptr && pages->kind() == PdfValue::Kind::Dictionary) return true;
  } catch (const _kelvra_runtime_error& e) {
    if (!Repairable(e)) throw;
  }
  parser_.ReleaseValuesFrom(mark);
  return false;
}

void PdfFileRecovery::RecoverTrailer(XRef* rebuilt) {
  std::string root, info;
  // The newest trailer (or cross-reference stream) whose /Root is a catalog
  // with a page tree.
  for (const auto& r : parser_.xrefList) {
    PdfDiccionario* d = r->trailer != nullptr ? r->trailer : r->streamDict;
    if (d == nullptr) continue;
    PdfValue* v = d->GetValue("/Root", false);
    if (root.empty() && v != nullptr && v->native_type == NATIVE_REFERENCE && IsCatalog(v->text)) root = v->text;
    PdfValue* i = d->GetValue("/Info", false);
    if (info.empty() && i != nullptr && i->native_type == NATIVE_REFERENCE) {
      const size_t mark = parser_.ValueMark();
      try {
        PdfValue* iv = parser_.DameObjeto(i->text);
        if (iv != nullptr && iv->kind() == PdfValue::Kind::Dictionary) info = i->text;
      } catch (const _kelvra_runtime_error& e) {
        if (!Repairable(e)) throw;
        parser_.ReleaseValuesFrom(mark);
      }
    }
  }
  if (!root.empty()) {
    parser_.report_.Rebuilt("trailer from the newest one readable");
  } else {
    // None: the newest catalog the scan found, then one in an object stream.
    const PdfXRefScanner::Result& scan = Scanned();
    for (auto i = scan.catalogs.rbegin(); i != scan.catalogs.rend() && root.empty(); ++i) {
      const PdfXRefScanner::Object& o = scan.objects[*i];
      const XRefEntry* current = parser_.index_.Newest(o.number);
      if (current != nullptr && current->location == static_cast<uint64_t>(o.offset) &&
          IsCatalog(ReferenceText(o.number, o.generation)))
        root = ReferenceText(o.number, o.generation);
    }
    for (auto e = rebuilt->entries.rbegin(); e != rebuilt->entries.rend() && root.empty(); ++e) {
      if (e->type != XRefEntry::kCompressed) continue;
      const std::string reference = ReferenceText(e->number, 0);
      const size_t mark = parser_.ValueMark();
      PdfValue* type = nullptr;
      try {
        PdfValue* v = parser_.DameObjeto(reference);
        if (v != nullptr && v->kind() == PdfValue::Kind::Dictionary)
          type = static_cast<PdfDiccionario*>(v)->GetValue("/Type", false);
      } catch (const _kelvra_runtime_error& x) {
        if (!Repairable(x)) throw;
      }
      parser_.ReleaseValuesFrom(mark);
      if (type != nullptr && type->text == "/Catalog" && IsCatalog(reference)) root = reference;
    }
    if (root.empty()) root = MakeCatalog(rebuilt);
    if (root.empty()) throw _kelvra_runtime_error(errtext::kRecoverNoCatalog);
    parser_.report_.Rebuilt("trailer made from the catalog (" + root + ")");
  }
  // The trailer that lookups find first: /Root, /Info and /Size.
  PdfDiccionario* trailer = parser_.NewDictionary();
  AddToTrailer(trailer, "/Root", NATIVE_REFERENCE, root);
  if (!info.empty()) AddToTrailer(trailer, "/Info", NATIVE_REFERENCE, info);
  if (!recovered_encrypt_.empty()) AddToTrailer(trailer, "/Encrypt", NATIVE_REFERENCE, recovered_encrypt_);
  AddToTrailer(trailer, "/Size", NATIVE_NUMBER,
               std::to_string(rebuilt->entries.empty() ? 1 : rebuilt->entries.back().number + 1));
  rebuilt->trailer = trailer;
}

PdfValue* PdfFileRecovery::Made(int64_t number, int64_t generation) const {
  return made_catalog_ != nullptr && number == made_number_ && generation == 0 ? made_catalog_ : nullptr;
}

std::string PdfFileRecovery::MakeCatalog(XRef* rebuilt) {
  const PdfXRefScanner::Result& scan = Scanned();
  const int64_t number = rebuilt->entries.empty() ? 1 : rebuilt->entries.back().number + 1;
  if (number > pdflimits::kMaxObjectNumber) return "";
  for (auto i = scan.page_trees.rbegin(); i != scan.page_trees.rend(); ++i) {
    const PdfXRefScanner::Object& o = scan.objects[*i];
    const XRefEntry* current = parser_.index_.Newest(o.number);
    if (current == nullptr || current->type != XRefEntry::kInUse ||
        current->location != static_cast<uint64_t>(o.offset))
      continue;
    // A root: /Type /Pages, no /Parent, and kids to show.
    const std::string pages = ReferenceText(o.number, o.generation);
    const size_t mark = parser_.ValueMark();
    bool root = false;
    try {
      PdfValue* v = parser_.DameObjeto(pages);
      auto* d = v != nullptr && v->kind() == PdfValue::Kind::Dictionary ? static_cast<PdfDiccionario*>(v) : nullptr;
      PdfValue* type = d != nullptr ? d->GetValue("/Type", true) : nullptr;
      PdfValue* kids = d != nullptr ? d->GetValue("/Kids", true) : nullptr;
      root = type != nullptr && type->text == "/Pages" && d->GetValue("/Parent", false) == nullptr && kids != nullptr &&
             kids->kind() == PdfValue::Kind::Array && static_cast<PdfArray*>(kids)->GetSize() > 0;
    } catch (const _kelvra_runtime_error& e) {
      if (!Repairable(e)) throw;
    }
    parser_.ReleaseValuesFrom(mark);
    if (!root) continue;
    made_catalog_ = parser_.NewDictionary();
    // Numbered as a fetched object is: the writer names it in the trailer.
    made_catalog_->obj_number = number;
    made_catalog_->obj_generation = 0;
    AddToTrailer(made_catalog_, "/Type", NATIVE_NAME, "/Catalog");
    AddToTrailer(made_catalog_, "/Pages", NATIVE_REFERENCE, pages);
    made_number_ = number;
    // Listed past the end of the file: it is never read from there.
    XRefEntry made;
    made.number = number;
    made.type = XRefEntry::kInUse;
    made.location = static_cast<uint64_t>(parser_.file_size_);
    rebuilt->entries.push_back(made);
    parser_.index_.Build(parser_.xrefList);
    parser_.report_.Rebuilt("a catalog for the page tree " + pages + ", whose own is lost");
    return ReferenceText(number, 0);
  }
  return "";
}

int64_t PdfFileRecovery::EndOfUnclosedStream(int64_t from) {
  // Up to the next object header the scan found, or the end of the file;
  // within that, up to the first "endobj" (less the line end before it).
  const PdfXRefScanner::Result& scan = Scanned();
  auto next = std::upper_bound(scan.objects.begin(), scan.objects.end(), from,
                               [](int64_t at, const PdfXRefScanner::Object& o) { return at < o.offset; });
  const int64_t limit = next == scan.objects.end() ? parser_.file_size_ : next->offset;
  static const char kKeyword[] = "endobj";
  const size_t klen = sizeof kKeyword - 1;
  std::vector<uint8_t> buf(pdflimits::kEndstreamScanBytes + klen);
  int64_t end = limit;
  for (int64_t pos = from; pos < limit;) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buf.size()), limit - pos));
    parser_.inputStream->Seek(pos, 1);
    parser_.inputStream->Leer(buf.data(), n);
    const uint8_t* hit = std::search(buf.data(), buf.data() + n, kKeyword, kKeyword + klen);
    if (hit != buf.data() + n) {
      end = pos + (hit - buf.data());
      break;
    }
    if (n < buf.size()) break;
    pos += static_cast<int64_t>(n - klen + 1);
  }
  // The line end before "endobj" (or the next header) is not data.
  uint8_t before[2] = {0, 0};
  if (end - 2 >= from) {
    parser_.inputStream->Seek(end - 2, 1);
    parser_.inputStream->Leer(before, 2);
    if (before[1] == 0x0A)
      end -= before[0] == 0x0D ? 2 : 1;
    else if (before[1] == 0x0D)
      end -= 1;
  }
  return std::max(end, from);
}
