#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The byte-level forms of names and strings in written PDF syntax. The writer
// calls these for every name and string of every object, so each one appends
// into a reserved buffer and copies runs of plain bytes in one piece.
class PdfSyntaxFormatter {
 public:
  virtual ~PdfSyntaxFormatter();

  // The written form of a name whose text starts with its "/": "/" followed by
  // every byte after that "/", where each byte other than 0-9, A-Z and a-z
  // becomes "#" and two upper-case hex digits ("/A B" -> "/A#20B"). A text
  // that is only "/" (or empty) gives "/". A text without the leading "/" is
  // formatted whole, so no byte of it is lost.
  static std::string FormatName(const std::string& name);
  // The same form written at out, which has room for 1 + 3 * name.size()
  // bytes; returns the end of what was written.
  static char* FormatNameTo(char* out, const std::string& name);

  // The bytes escaped for use between "(" and ")": backslash, both
  // parentheses, LF, CR, tab, backspace and form feed become two-byte escapes
  // ("\\", "\(", "\)", "\n", "\r", "\t", "\b", "\f"); every other byte, zero and
  // bytes above 0x7F included, is copied as it is.
  static std::string EscapeLiteralString(const std::string& bytes);
  static void AppendEscapedLiteralString(std::string& out, const uint8_t* data, size_t len);
  // The escaped bytes written at out, which has room for 2 * len bytes;
  // returns the end of what was written.
  static char* EscapeLiteralStringTo(char* out, const uint8_t* data, size_t len);

  // The bytes of a hexadecimal string's digits, two digits a byte, the first
  // one high, case-insensitive. An odd last digit gives a byte with that digit
  // high and 0 low. Any character that is not a hex digit (white space or
  // junk a lenient tokenizer let through) is skipped, as PDF readers skip it,
  // so "4 1-4" gives the same two bytes 0x41 0x40 as "414".
  static std::string HexToBytes(const std::string& digits);
  // The digits of bytes, upper case, two a byte.
  static std::string BytesToHex(const std::string& bytes);
};
