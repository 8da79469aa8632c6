#include "base/pdfsyntaxformatter.h"

#include <array>

namespace {

constexpr char kHexUpper[] = "0123456789ABCDEF";

// For each byte: the letter of its two-byte escape in a literal string, or 0.
constexpr std::array<char, 256> MakeEscapeTable() {
  std::array<char, 256> table{};
  table['\\'] = '\\';
  table['('] = '(';
  table[')'] = ')';
  table['\n'] = 'n';
  table['\r'] = 'r';
  table['\t'] = 't';
  table['\b'] = 'b';
  table['\f'] = 'f';
  return table;
}
constexpr std::array<char, 256> kEscape = MakeEscapeTable();

// For each byte: whether a name may hold it unescaped.
constexpr std::array<bool, 256> MakeNameTable() {
  std::array<bool, 256> table{};
  for (int c = '0'; c <= '9'; ++c) table[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) table[c] = true;
  return table;
}
constexpr std::array<bool, 256> kNamePlain = MakeNameTable();

// For each byte: its value as a hex digit, or -1.
constexpr std::array<int8_t, 256> MakeHexTable() {
  std::array<int8_t, 256> table{};
  for (auto& v : table) v = -1;
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<int8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<int8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<int8_t>(c - 'a' + 10);
  return table;
}
constexpr std::array<int8_t, 256> kHexValue = MakeHexTable();

}  // namespace

PdfSyntaxFormatter::~PdfSyntaxFormatter() = default;

std::string PdfSyntaxFormatter::FormatName(const std::string& name) {
  std::string out(1 + name.size() * 3, '\0');
  out.resize(static_cast<size_t>(FormatNameTo(&out[0], name) - out.data()));
  return out;
}

char* PdfSyntaxFormatter::FormatNameTo(char* out, const std::string& name) {
  const auto* p = reinterpret_cast<const uint8_t*>(name.data());
  const uint8_t* const end = p + name.size();
  if (p != end && *p == '/') ++p;
  *out++ = '/';
  for (; p != end; ++p) {
    if (kNamePlain[*p]) {
      *out++ = static_cast<char>(*p);
    } else {
      *out++ = '#';
      *out++ = kHexUpper[*p >> 4];
      *out++ = kHexUpper[*p & 0x0F];
    }
  }
  return out;
}

std::string PdfSyntaxFormatter::BytesToHex(const std::string& bytes) {
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    hex.push_back(kHexUpper[c >> 4]);
    hex.push_back(kHexUpper[c & 0x0F]);
  }
  return hex;
}

std::string PdfSyntaxFormatter::EscapeLiteralString(const std::string& bytes) {
  std::string out;
  AppendEscapedLiteralString(out, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return out;
}

void PdfSyntaxFormatter::AppendEscapedLiteralString(std::string& out, const uint8_t* data, size_t len) {
  const size_t at = out.size();
  out.resize(at + 2 * len);
  out.resize(static_cast<size_t>(EscapeLiteralStringTo(&out[0] + at, data, len) - out.data()));
}

char* PdfSyntaxFormatter::EscapeLiteralStringTo(char* out, const uint8_t* data, size_t len) {
  for (const uint8_t* const end = data + len; data != end; ++data) {
    const char e = kEscape[*data];
    if (e == 0) {
      *out++ = static_cast<char>(*data);
    } else {
      *out++ = '\\';
      *out++ = e;
    }
  }
  return out;
}

std::string PdfSyntaxFormatter::HexToBytes(const std::string& digits) {
  std::string out;
  out.reserve((digits.size() + 1) / 2);
  int high = -1;
  for (unsigned char c : digits) {
    const int value = kHexValue[c];
    if (value < 0) continue;
    if (high < 0) {
      high = value;
    } else {
      out.push_back(static_cast<char>((high << 4) | value));
      high = -1;
    }
  }
  if (high >= 0) out.push_back(static_cast<char>(high << 4));
  return out;
}
