// Object syntax of PdfFileParser: indirect objects, dictionaries, arrays and
// simple values, read token by token.
#include <algorithm>
#include <cstring>

#include "base/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdfkeyvaluepair.h"
#include "base/pdflimits.h"

namespace {

bool IsInteger(const std::string& t) {
  if (t.empty()) return false;
  for (char c : t) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Counts the nesting of containers being read; deeper than the limit fails
// instead of exhausting the stack on a hostile file.
class NestingGuard {
 public:
  explicit NestingGuard(int& depth) : depth_(depth) {
    if (++depth_ > pdflimits::kMaxNestingDepth) {
      --depth_;
      throw _kelvra_runtime_error(errtext::kNestingLimit);
    }
  }
  ~NestingGuard() { --depth_; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;

 private:
  int& depth_;
};

// After the integer of a possible reference "N G R", with the stream right
// after N: decides from the bytes in the stream's window whether "G R"
// follows exactly as the token-by-token look-ahead would find it. Returns 1
// when it does (G's digits in *generation, the stream moved past "R" and the
// white space that ends it), 0 when it does not (the stream not moved), and
// -1 when the window ends too soon to tell.
int ReferenceTail(PdfStream& s, std::string* generation) {
  size_t available = 0;
  const uint8_t* p = s.Window(&available);
  auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
  size_t i = 0;
  while (i < available && PdfParser::IsWhitespace(p[i])) ++i;
  if (i == available) return -1;
  if (!digit(p[i])) return 0;
  const size_t g = i;
  while (i < available && digit(p[i])) ++i;
  if (i == available) return -1;
  // G must be a whole token of digits and be followed by white space: a
  // delimiter there is not "R", nor is a token that goes on.
  if (!PdfParser::IsWhitespace(p[i])) return 0;
  const size_t g_end = i;
  while (i < available && PdfParser::IsWhitespace(p[i])) ++i;
  if (i == available) return -1;
  if (p[i] != 'R') return 0;
  if (++i == available) return -1;
  if (PdfParser::IsRegular(p[i])) return 0;  // "R" is only the start of a token
  if (PdfParser::IsWhitespace(p[i])) ++i;
  generation->assign(reinterpret_cast<const char*>(p + g), g_end - g);
  s.Skip(i);
  return 1;
}

// A token of regular bytes after its first one (a name's "/" or a number's
// first byte) that the stream's window holds whole, with the byte that ends
// it: its bytes are given and consumed as NextToken consumes them, with the
// white space that ends it. False, consuming nothing, when the window ends
// first (or the token is longer than NextToken allows).
bool WindowToken(PdfStream& s, const char** text, size_t* size) {
  size_t available = 0;
  const uint8_t* p = s.Window(&available);
  const size_t limit = std::min(available, pdflimits::kMaxTokenBytes + 1);
  size_t i = 1;
  while (i < limit && PdfParser::IsRegular(p[i])) ++i;
  if (i >= limit) return false;
  *text = reinterpret_cast<const char*>(p);
  *size = i;
  s.Skip(PdfParser::IsWhitespace(p[i]) ? i + 1 : i);
  return true;
}

// WindowToken for a dictionary key: white space first, then a name.
bool WindowName(PdfStream& s, const char** text, size_t* size) {
  size_t available = 0;
  const uint8_t* p = s.Window(&available);
  size_t i = 0;
  while (i < available && PdfParser::IsWhitespace(p[i])) ++i;
  s.Skip(i);
  return i < available && p[i] == '/' && WindowToken(s, text, size);
}

}  // namespace

void PdfFileParser::ParseDiccionario(PdfKeyValuePair& holder, PdfStream& s, int64_t* number, int64_t* generation) {
  const std::string t1 = NextToken(s);
  const std::string t2 = NextToken(s);
  if (!Is(NextToken(s), "obj") || !IsInteger(t1) || !IsInteger(t2))
    throw _kelvra_runtime_error(errtext::kDictionaryToken);
  const int64_t num = StringToInt64(t1), gen = StringToInt64(t2);
  if (number != nullptr) *number = num;
  if (generation != nullptr) *generation = gen;

  const int64_t body = s.Tell();
  if (!Is(NextToken(s), "<<")) {
    s.Seek(body, 1);
    ParseValue(&holder, s);
    return;
  }
  PdfDiccionario* d = NewDictionary();
  d->obj_number = num;
  d->obj_generation = gen;
  InsertarObjetoEnCache(num, gen, d);
  holder.InsertValue(d);
  ParseDictEntries(d, s, errtext::kDictionaryKey);
  // A stream follows its dictionary: "stream" and a line end (LF or CR LF),
  // then the data, whose first byte's offset is recorded.
  const int64_t after = s.Tell();
  if (Is(NextToken(s), "stream")) {
    const int c = s.GetByte();
    const bool ok = c == 0x0A || (c == 0x0D && s.GetByte() == 0x0A);
    if (!ok) throw _kelvra_runtime_error(errtext::kBadCharSequence);
    d->stream_offset = s.Tell();
  }
  s.Seek(after, 1);
}

void PdfFileParser::ParseDictEntries(PdfDiccionario* d, PdfStream& s, const ErrorCatalogue::Entry& not_a_key) {
  NestingGuard guard(nesting_);
  for (;;) {
    const char* name = nullptr;
    size_t size = 0;
    if (WindowName(s, &name, &size)) {
      ParseKeyValuePairWithName(d, name, size, s);
      continue;
    }
    const std::string token = NextToken(s);
    if (Is(token, ">>")) return;
    if (token.empty() || token[0] != '/') throw _kelvra_runtime_error(not_a_key);
    ParseKeyValuePairWithKey(d, token, s);
  }
}

void PdfFileParser::ParseKeyValuePair(PdfDiccionario* d, PdfStream& s) { ParseKeyValuePairWithKey(d, NextToken(s), s); }

void PdfFileParser::ParseKeyValuePairWithKey(PdfDiccionario* d, const std::string& token, PdfStream& s) {
  if (token.empty() || token[0] != '/') throw _kelvra_runtime_error(errtext::kKeyValuePair);
  PdfKeyValuePair* p = NewPair();
  p->key = ParseName(token);
  d->InsertValue(p);
  ParseValue(p, s);
}

void PdfFileParser::NameText(const char* name, size_t size, std::string* text) {
  // Only a name with "#" escapes needs ParseName; others are their bytes.
  if (std::memchr(name, '#', size) != nullptr) {
    *text = ParseName(std::string(name, size));
  } else {
    // (clear and append: cheaper than assign, which allows for overlap)
    text->clear();
    text->append(name, size);
  }
}

void PdfFileParser::ParseKeyValuePairWithName(PdfDiccionario* d, const char* name, size_t size, PdfStream& s) {
  // As ParseKeyValuePairWithKey, for a name token taken from the window.
  PdfKeyValuePair* p = NewPair();
  NameText(name, size, &p->key);
  d->InsertValue(p);
  ParseValue(p, s);
}

void PdfFileParser::ParseValue(PdfValue* container, PdfStream& s) {
  if (container->kind() == PdfValue::Kind::Array) {
    NestingGuard guard(nesting_);
    ParseContainerValue(container, s);
  } else {
    ParseContainerValue(container, s);
  }
}

void PdfFileParser::ParseContainerValue(PdfValue* container, PdfStream& s) {
  const bool takes_one = container->kind() != PdfValue::Kind::Array;
  for (;;) {
    const int c = PeekChar(s);
    switch (c) {
      case '[': {
        s.GetByte();
        PdfArray* a = NewArray();
        container->InsertValue(a);
        ParseValue(a, s);
        break;
      }
      case ']':
        s.GetByte();
        return;
      case '%':
        SkipComment(s);
        continue;
      case '/': {
        const char* name = nullptr;
        size_t size = 0;
        if (!WindowToken(s, &name, &size)) {
          container->InsertValue(NewSimple(NATIVE_NAME, ParseName(NextToken(s))));
        } else {
          PdfValue* v = NewSimple(NATIVE_NAME, name, 0);
          NameText(name, size, &v->text);
          container->InsertValue(v);
        }
        break;
      }
      case '(':
        container->InsertValue(NewSimple(NATIVE_STRING, ParseString(s)));
        break;
      case '<': {
        const int64_t at = s.Tell();
        if (Is(NextToken(s), "<<")) {
          PdfDiccionario* d = NewDictionary();
          container->InsertValue(d);
          ParseDictEntries(d, s);
        } else {
          s.Seek(at, 1);
          container->InsertValue(NewSimple(NATIVE_HEXSTRING, ParseHexString(s)));
        }
        break;
      }
      case '.':
      case '+':
      case '-': {
        const char* number = nullptr;
        size_t size = 0;
        if (WindowToken(s, &number, &size)) {
          container->InsertValue(NewSimple(NATIVE_NUMBER, number, size));
        } else {
          container->InsertValue(NewSimple(NATIVE_NUMBER, NextToken(s)));
        }
        break;
      }
      case '0':
      case '1':
      case '2':
      case '3':
      case '4':
      case '5':
      case '6':
      case '7':
      case '8':
      case '9': {
        const char* number = nullptr;
        size_t size = 0;
        std::string t1 = WindowToken(s, &number, &size) ? std::string(number, size) : NextToken(s);
        if (!EsNumeral(t1)) throw _kelvra_runtime_error(errtext::kNotNumeral);
        // A reference is "N G R": look two tokens ahead, in the window when
        // it holds them.
        if (IsInteger(t1)) {
          std::string generation;
          const int tail = ReferenceTail(s, &generation);
          if (tail == 1) {
            std::string reference;
            reference.reserve(t1.size() + generation.size() + 3);
            reference.append(t1).append(1, ' ').append(generation).append(" R", 2);
            container->InsertValue(NewSimple(NATIVE_REFERENCE, std::move(reference)));
            break;
          }
          if (tail == 0) {
            container->InsertValue(NewSimple(NATIVE_NUMBER, std::move(t1)));
            break;
          }
          const int64_t at = s.Tell();
          const int n = PeekChar(s);
          if (n >= '0' && n <= '9') {
            const std::string t2 = NextToken(s);
            if (IsInteger(t2) && PeekChar(s) == 'R' && Is(NextToken(s), "R")) {
              container->InsertValue(NewSimple(NATIVE_REFERENCE, t1 + " " + t2 + " R"));
              break;
            }
          }
          s.Seek(at, 1);
        }
        container->InsertValue(NewSimple(NATIVE_NUMBER, std::move(t1)));
        break;
      }
      default: {
        std::string token = NextToken(s);
        if (Is(token, "true") || Is(token, "false") || Is(token, "null")) {
          container->InsertValue(NewSimple(NATIVE_KEYWORD, std::move(token)));
          break;
        }
        if (Is(token, "endobj")) return;
        if (token.empty()) throw _kelvra_runtime_error(errtext::kEndOfData);
        throw _kelvra_runtime_error(errtext::kUnexpectedToken, token);
      }
    }
    if (takes_one) return;
  }
}
