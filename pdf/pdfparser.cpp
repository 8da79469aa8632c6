#include "pdf/pdfparser.h"

#include <array>
#include <cstdio>
#include <limits>

#include "base/kelvraruntimeerror.h"
#include "base/pdflimits.h"

namespace {

// Consumes the white space at the front of the stream's window; true when
// the window then holds a byte that is not white space.
bool SkipWindowWhitespace(PdfStream& s) {
  size_t available = 0;
  const uint8_t* p = s.Window(&available);
  size_t n = 0;
  while (n < available && PdfParser::IsWhitespace(p[n])) ++n;
  s.Skip(n);
  return n < available;
}

}  // namespace

PdfParser::PdfParser() = default;
PdfParser::~PdfParser() = default;

std::string PdfParser::NextToken(PdfStream& s) {
  std::string token;
  SkipWhitespace(s);
  for (;;) {
    if (token.size() > pdflimits::kMaxTokenBytes) throw _kelvra_runtime_error(errtext::kTokenLimit);
    // Runs of regular bytes, the bulk of every token, are taken from the
    // window in one piece, never past one byte over the limit (which the
    // check above then reports).
    size_t available = 0;
    const uint8_t* p = s.Window(&available);
    const size_t room = pdflimits::kMaxTokenBytes + 1 - token.size();
    size_t n = 0;
    while (n < available && n < room && IsRegular(p[n])) ++n;
    if (n != 0) {
      token.append(reinterpret_cast<const char*>(p), n);
      s.Skip(n);
      continue;
    }
    const int c = s.GetByte();
    if (c < 0) break;
    if (IsWhitespace(c)) {
      if (Is(token, "stream")) s.StepBack();
      break;
    }
    switch (c) {
      case '%':
        if (token.empty()) {
          SkipComment(s);
          SkipWhitespace(s);
          continue;
        }
        s.StepBack();
        return token;
      case '/':
        if (!token.empty()) {
          s.StepBack();
          return token;
        }
        token.push_back('/');
        continue;
      case '(':
      case ')':
      case '[':
      case ']':
      case '{':
      case '}':
        if (token.empty()) {
          token.push_back(static_cast<char>(c));
        } else {
          s.StepBack();
        }
        return token;
      case '<':
        if (token.empty()) {
          token.push_back('<');
          continue;
        }
        if (Is(token, "<")) {
          token.push_back('<');
        } else {
          s.StepBack();
        }
        return token;
      case '>':
        if (token.empty()) {
          token.push_back('>');
          continue;
        }
        if (Is(token, ">") || token[0] == '<') {
          token.push_back('>');
        } else {
          s.StepBack();
        }
        return token;
      default:
        token.push_back(static_cast<char>(c));
    }
  }
  return token;
}

void PdfParser::SkipWhitespace(PdfStream& s) {
  if (SkipWindowWhitespace(s)) return;
  for (;;) {
    const int c = s.GetByte();
    if (c < 0) return;
    if (!IsWhitespace(c)) {
      s.StepBack();
      return;
    }
  }
}

int PdfParser::PeekChar(PdfStream& s) {
  if (SkipWindowWhitespace(s)) {
    size_t available = 0;
    return *s.Window(&available);
  }
  for (;;) {
    const int c = s.GetByte();
    if (c < 0) return 0;
    if (!IsWhitespace(c)) {
      s.StepBack();
      return c;
    }
  }
}

void PdfParser::SkipComment(PdfStream& s) {
  for (;;) {
    const int c = s.GetByte();
    if (c < 0 || c == 0x0A || c == 0x0D) return;
  }
}

namespace {
int ReadStringByte(PdfStream& s) {
  const int c = s.GetByte();
  if (c < 0) throw _kelvra_runtime_error(errtext::kStringEof);
  return c;
}
bool IsOctal(int c) { return c >= '0' && c <= '7'; }
}  // namespace

std::string PdfParser::ParseString(PdfStream& s) {
  s.Seek(1, 2);  // the opening parenthesis
  std::string out;
  int depth = 1;
  for (;;) {
    if (out.size() > pdflimits::kMaxTokenBytes) throw _kelvra_runtime_error(errtext::kStringLimit);
    // A run of plain bytes is taken from the stream's window at once.
    size_t available = 0;
    const uint8_t* p = s.Window(&available);
    size_t run = 0;
    while (run < available && p[run] != '\\' && p[run] != '(' && p[run] != ')') ++run;
    if (run != 0) {
      out.append(reinterpret_cast<const char*>(p), run);
      s.Skip(run);
      continue;
    }
    int c = ReadStringByte(s);
    if (c == '\\') {
      const int e = ReadStringByte(s);
      if (IsOctal(e)) {
        std::string digits(1, static_cast<char>(e));
        for (int i = 0; i < 2; ++i) {
          const int d = s.GetByte();
          if (d < 0) break;
          if (!IsOctal(d)) {
            s.StepBack();
            break;
          }
          digits.push_back(static_cast<char>(d));
        }
        out.push_back(static_cast<char>(OctalToByte(digits)));
        continue;
      }
      switch (e) {
        case '\\':
        case '(':
        case ')':
          out.push_back(static_cast<char>(e));
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 0x0A:
          break;      // line continuation
        case 0x0D: {  // line continuation, CR LF counts as one
          const int n = s.GetByte();
          if (n >= 0 && n != 0x0A) s.StepBack();
          break;
        }
        default:
          // An unknown escape stands for the character itself: the PDF
          // format ignores the backslash, and real files rely on it ("\ ").
          out.push_back(static_cast<char>(e));
      }
      continue;
    }
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) return out;
    }
    out.push_back(static_cast<char>(c));
  }
}

std::string PdfParser::ParseHexString(PdfStream& s) {
  s.Seek(1, 2);  // the opening "<"
  std::string digits;
  for (;;) {
    if (digits.size() > pdflimits::kMaxTokenBytes) throw _kelvra_runtime_error(errtext::kHexStringLimit);
    const int c = s.GetByte();
    if (c < 0) throw _kelvra_runtime_error(errtext::kHexStringEof);
    if (c == '>') return digits;
    if (!IsWhitespace(c)) digits.push_back(static_cast<char>(c));
  }
}

std::string PdfParser::ParseName(const std::string& token) {
  if (token.find('#') == std::string::npos) return token;  // nothing to decode
  std::string out;
  out.reserve(token.size());
  auto is_hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); };
  for (size_t i = 0; i < token.size(); ++i) {
    // Only "#" and two hexadecimal digits is an escape. A stray "#" stands
    // for itself, as in names written before escapes existed: decoding it
    // anyway would turn "/A#" into a name with a NUL byte, which no PDF may
    // hold, and "/A#zz" into "/AS".
    if (token[i] == '#' && i + 2 < token.size() && is_hex(token[i + 1]) && is_hex(token[i + 2])) {
      out.push_back(static_cast<char>(HexToInt(token.substr(i + 1, 2)) & 0xFF));
      i += 2;
    } else {
      out.push_back(token[i]);
    }
  }
  return out;
}

uint8_t PdfParser::OctalToByte(const std::string& digits) {
  unsigned value = 0;
  for (char d : digits) value = value * 8 + static_cast<unsigned>(d - '0');
  return static_cast<uint8_t>(value & 0xFF);
}

bool PdfParser::EsNumeral(const std::string& text) {
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+')) return false;
  }
  return true;
}

int32_t HexToInt(const std::string& text) {
  uint32_t value = 0;
  for (char ch : text) {
    int c = static_cast<unsigned char>(ch);
    if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
    const int digit = c <= '9' ? c - 48 : c - 55;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return static_cast<int32_t>(value);
}

int64_t StringToInt64(const std::string& text) { return StringToInt64(text.data(), text.size()); }

int64_t StringToInt64(const char* text, size_t size) {
  size_t i = 0;
  while (i < size && PdfParser::IsWhitespace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < size && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < size && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int d = text[i] - '0';
    if (value > (std::numeric_limits<int64_t>::max() - d) / 10) {
      value = std::numeric_limits<int64_t>::max();
      break;
    }
    value = value * 10 + d;
  }
  return negative ? -value : value;
}

int32_t StringToInt(const std::string& text) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(StringToInt64(text))));
}

char* ULongToString(unsigned long value, char* buffer) {
  std::sprintf(buffer, "%lu", value);
  return buffer;
}

char* IntToString(int value, char* buffer, int radix) {
  switch (radix) {
    case 10:
      std::sprintf(buffer, "%d", value);
      break;
    case 16:
      std::sprintf(buffer, "%X", static_cast<unsigned>(value));
      break;
    case 8:
      std::sprintf(buffer, "%o", static_cast<unsigned>(value));
      break;
    default:
      throw "no radix support";
  }
  return buffer;
}
