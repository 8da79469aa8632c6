// Microbenchmarks of the inner loops of an encryption run: the tokenizer,
// object parsing, RC4, the per-object key (MD5 and key schedule) and
// inflate. Run: build/bench-release/bench/micro/varnel_micro
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crypt/pdfstandardsecurityhandler.h"
#include "crypt/rc4.h"
#include "pdf/pdfdeflatestreamfilter.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdfkeyvaluepair.h"
#include "base/pdfmemorystream.h"

namespace {

// Object syntax like that of a document with many small objects: an
// annotation dictionary with names, numbers, a string, an array and a
// reference, repeated.
std::string ObjectSyntax(size_t bytes) {
  std::string out;
  std::mt19937 rng(7);
  while (out.size() < bytes) {
    const unsigned x = rng() % 500, y = rng() % 700;
    out += "<< /Type /Annot /Subtype /Text /Rect [" + std::to_string(x) + " " + std::to_string(y) + " " +
           std::to_string(x + 24) + " " + std::to_string(y + 24) + "] /Contents (lorem ipsum " +
           std::to_string(rng() % 1000) + ") /C [1 0.8 0] /P " + std::to_string(rng() % 100000) + " 0 R /F 4 >>\n";
  }
  return out;
}

void BM_Tokenizer(benchmark::State& state) {
  const std::string text = ObjectSyntax(1 << 20);
  PdfParser parser;
  for (auto _ : state) {
    PdfMemoryStream s(text.data(), text.size());
    size_t tokens = 0;
    for (;;) {
      const std::string t = parser.NextToken(s);
      if (t.empty()) break;
      ++tokens;
      // Strings are read by their own routine, as the object parser does.
      if (t == "(") {
        s.StepBack();
        benchmark::DoNotOptimize(parser.ParseString(s));
      }
    }
    benchmark::DoNotOptimize(tokens);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Tokenizer);

// Whole values (dictionaries, arrays, references) into the object model.
void BM_ParseValues(benchmark::State& state) {
  const std::string text = ObjectSyntax(1 << 20);
  for (auto _ : state) {
    PdfFileParser parser;
    PdfMemoryStream s(text.data(), text.size());
    int64_t objects = 0;
    while (parser.PeekChar(s) != 0) {
      PdfKeyValuePair holder;
      parser.ParseValue(&holder, s);
      ++objects;
    }
    benchmark::DoNotOptimize(objects);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseValues);

void BM_Rc4(benchmark::State& state) {
  std::vector<uint8_t> data(static_cast<size_t>(state.range(0)), 0x5A);
  const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  Rc4 cipher(key, sizeof key);
  for (auto _ : state) {
    cipher.Crypt(data.data(), data.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Rc4)->Arg(64 << 10)->Arg(1 << 20);

// What every object costs at least once: its key (one MD5 over 21 bytes)
// and the RC4 key schedule, then a short string.
void BM_ObjectKey(benchmark::State& state) {
  PdfStandardSecurityHandler handler;
  handler.ComputeKeys("u", "o", "PC", "0123456789abcdef");
  uint8_t text[24] = {};
  int num = 1;
  for (auto _ : state) {
    handler.EncryptObjectData(num++, 0, text, sizeof text);
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_ObjectKey);

// Inflate of an object stream's worth of object syntax (about 6:1).
void BM_Inflate(benchmark::State& state) {
  const std::string text = ObjectSyntax(static_cast<size_t>(state.range(0)));
  uLongf len = compressBound(static_cast<uLong>(text.size()));
  std::vector<uint8_t> packed(len);
  compress2(packed.data(), &len, reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()), 6);
  packed.resize(len);
  for (auto _ : state) {
    std::vector<uint8_t> data = packed;
    PdfDeflateStreamFilter::Filter(data, size_t{1} << 30);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Inflate)->Arg(16 << 10)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
