#pragma once
#include <cstdint>
#include <string>

class PdfFileParser;

// Kinds of a simple value (native_type).
enum : int {
  NATIVE_NUMBER = 1,     // text: the number as written (12, -3.5, .5, +7)
  NATIVE_NAME = 2,       // text: the name with its "/", #-escapes decoded
  NATIVE_STRING = 3,     // text: the bytes of a literal string, escapes resolved
  NATIVE_HEXSTRING = 4,  // text: the hexadecimal digits, white space removed
  NATIVE_REFERENCE = 5,  // text: "12 0 R"
  NATIVE_KEYWORD = 6,    // text: true, false or null
};

// A PDF value. Simple values (numbers, names, strings, references, keywords)
// are plain PdfValue objects that keep their content as text with a kind tag;
// PdfArray, PdfDiccionario and PdfKeyValuePair are the containers.
//
// Ownership: every value of a document is created by the parser's factory
// NuevoValue and owned by that parser until it is destroyed. Containers hold
// plain pointers they do not own, so one value may appear in several places.
class PdfValue {
 public:
  enum class Kind : uint8_t { Value, Array, Dictionary, KeyValuePair };

  PdfValue();
  virtual ~PdfValue();

  virtual void Print(int indent);
  // Adds a value to a container; does nothing for a simple value.
  virtual void InsertValue(PdfValue* v);
  // "PdfValue", "PdfArray", "PdfDiccionario" or "PdfKeyValuePair".
  virtual std::string GetClassType();

  Kind kind() const { return class_type; }
  // Makes a released value as new for the factory to hand out again; its
  // strings and vectors keep their storage. Each class clears what it adds.
  virtual void Reuse();

  // Object and generation number of an indirect object; -1 for a value that
  // is not the top value of an indirect object.
  int64_t obj_number = -1;
  int64_t obj_generation = -1;
  std::string text;
  int native_type = 0;
  // The parser that created the value; resolves references.
  PdfFileParser* parser = nullptr;

 protected:
  explicit PdfValue(Kind k);
  // Follows a reference one level through the parser when asked to.
  PdfValue* Resolve(PdfValue* v, bool resolve) const;

 private:
  Kind class_type;
};
