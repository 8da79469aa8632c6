#pragma once
#include <cstdint>
#include <vector>

class PdfValue;
class PdfStream;

// Decodes a stream object: locates its raw data in the input, runs it
// through the filters that "/Filter" names, in order, and undoes the
// predictor of "/DecodeParms". The reader needs decoded data only for
// cross-reference streams and object streams; every other stream is copied
// as stored.
//
// Decoded output is limited to pdflimits::kMaxDecodedStreamBytes.
class PdfCompressedStream {
 public:
  // value is a stream dictionary or an array of them (decoded back to back).
  static void Decompress(PdfValue* value, PdfStream& input, std::vector<uint8_t>& out);
  static void DecompressArray(PdfValue* value, PdfStream& input, std::vector<uint8_t>& out);
  static void DecompressDict(PdfValue* value, PdfStream& input, std::vector<uint8_t>& out);
  // One filter by its name ("/FlateDecode", "/ASCII85Decode", "/LZWDecode");
  // any other name fails with the name itself as the message.
  // parms: the filter's own parameters (null for none).
  static void ApplyFilter(PdfValue* name, PdfValue* parms, std::vector<uint8_t>& data);
  // The predictor of a "/DecodeParms" dictionary.
  static void DecodePredictor(PdfValue* parms, std::vector<uint8_t>& data);
};
