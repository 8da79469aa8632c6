#pragma once
#include <cstddef>
#include <cstdint>

// Every resource limit of the reader and writer, in one place. Each guards
// against hostile input while staying far above what real documents need;
// docs/limits.md explains the values and the messages they produce.
namespace pdflimits {

// Longest token, literal string or hexadecimal string (bytes of content).
constexpr size_t kMaxTokenBytes = size_t{64} << 20;

// Deepest nesting of arrays and dictionaries inside one object.
constexpr int kMaxNestingDepth = 256;

// Largest decoded size of one stream (cross-reference and object streams are
// the only ones the reader decodes; everything else is copied as stored).
constexpr size_t kMaxDecodedStreamBytes = size_t{256} << 20;

// Most decoded object-stream data kept at once; the oldest decoded object
// streams beyond it are released (and decoded again if needed).
constexpr size_t kMaxKeptObjectStreamBytes = size_t{64} << 20;

// Most bytes read and produced while decoding the streams of one file
// (cross-reference and object streams, including decoding again what was
// released), which bounds the time spent decoding.
constexpr uint64_t kMaxTotalDecodeBytes = uint64_t{512} << 20;

// Highest object number accepted from cross-reference data. Leaves room for
// the two objects the writer appends (Encrypt dictionary, xref stream).
constexpr int64_t kMaxObjectNumber = (int64_t{1} << 31) - 16;

// Most values (numbers, names, strings, arrays, dictionaries, dictionary
// entries) alive in one parser at a time: about 230 MiB of them.
constexpr size_t kMaxValues = size_t{1} << 21;

// Most cross-reference entries in all sections of one file together (32
// bytes each in memory, 256 MiB at most).
constexpr uint64_t kMaxXRefEntries = uint64_t{1} << 23;

// Most object text read by fetches, directly from the file or out of object
// streams, all fetches together: this many times the file's size plus what
// its streams decoded to, plus the slack.
constexpr uint64_t kObjectTextFactor = 4;
constexpr uint64_t kObjectTextSlackBytes = uint64_t{16} << 20;

// Deepest chain of object fetches that start one another (an indirect /Length
// of an object stream resolves through another fetch, and so on).
constexpr int kMaxFetchDepth = 32;

// Most fields of a form walked to find its signatures, and the most bytes of
// XMP metadata read to find the conformance it declares.
constexpr size_t kMaxFormFields = size_t{1} << 16;
constexpr uint64_t kMaxMetadataBytes = uint64_t{16} << 20;

// Most envelopes (/Recipients strings) of a document encrypted for
// certificates; each is read to find the identity's and hashed into the
// file key (the private key itself is tried on at most 8 envelopes that
// name the identity, or 16 when none does).
constexpr size_t kMaxRecipientEnvelopes = 4096;

// How far back from the end of the file "startxref" and "%%EOF" are searched.
constexpr size_t kTailWindowBytes = 1024;

// Standard input ("-") is read whole into memory before it is parsed: a
// pipe cannot be read twice nor out of order.
constexpr size_t kMaxStandardInputBytes = size_t{4} << 30;

// Size of each chunk when stream data is copied and encrypted: each chunk
// is one read and one write, so large streams want large chunks.
constexpr size_t kCopyChunkBytes = size_t{1} << 20;

// Size of each chunk read while searching for "endstream" after a stream
// whose /Length is wrong: small, as most such streams are.
constexpr size_t kEndstreamScanBytes = size_t{1} << 16;

// Repair of a damaged file: the whole file is scanned in chunks of this
// size for object headers and trailers, and at most this many of them are
// kept (24 bytes each, 96 MiB at most).
constexpr size_t kScanChunkBytes = size_t{1} << 20;
constexpr size_t kMaxScannedObjects = size_t{1} << 22;

// Largest /Colors of a predictor, and the largest row of predicted data
// (/Colors x /BitsPerComponent x /Columns, in bytes).
constexpr int kMaxPredictorColors = 32;
constexpr int64_t kMaxPredictorRowBytes = int64_t{1} << 24;

}  // namespace pdflimits
