#include "writer/pdfxrefstreamtable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/pdfbuilder.h"

namespace {

using Entry = std::array<uint64_t, 3>;  // type, field 2, field 3

// The written stream read back as a PDF reader does.
std::map<int64_t, Entry> ReadBack(const PdfXRefStreamTable& table) {
  const std::array<int, 3> w = table.Widths();
  const std::string data =
      pdftest::Inflate(table.BuildStreamData(true), table.GetCount() * static_cast<size_t>(w[0] + w[1] + w[2]));
  EXPECT_EQ(data, table.BuildStreamData(false));
  const std::string index = table.IndexArrayText();
  size_t used = 0;
  const std::map<int64_t, Entry> out = pdftest::XRefEntries(index.substr(1, index.size() - 2), w, data, &used);
  EXPECT_EQ(used, data.size()) << "data and /Index cover the same entries";
  return out;
}

// /W stays [1 4 1] while everything fits and grows only the field that needs it.
TEST(PdfXRefStreamTable, WidthsFollowTheLargestValue) {
  const struct {
    uint64_t field2;
    uint32_t field3;
    const char* widths;
  } rows[] = {
      {(uint64_t{1} << 32) - 1, 255, "[1 4 1]"},  // largest values of the usual widths
      {uint64_t{1} << 32, 0, "[1 5 1]"},          // offset of 4 GiB
      {0, 256, "[1 4 2]"},                        // object stream index above 255
      {0, 0xFFFFFFFFu, "[1 4 4]"},                // largest field 3
  };
  for (const auto& row : rows) {
    PdfXRefStreamTable t;
    t.AddEntry(0, 1, 65535, 0);
    t.AddEntry(1, 2, row.field2, row.field3);
    EXPECT_EQ(t.WidthsText(), row.widths);
    EXPECT_EQ(ReadBack(t).at(1), (Entry{2, row.field2, row.field3})) << row.widths;
  }
}

// Sparse numbers, then dense ones shuffled with gaps, read back in between, then repeated: the first entry stays.
TEST(PdfXRefStreamTable, NumbersInAnyOrder) {
  PdfXRefStreamTable t;
  EXPECT_EQ(t.IndexArrayText(), "[]");
  std::map<int64_t, Entry> expected;
  auto add = [&](int64_t n, uint64_t v) {
    t.AddEntry(n, 1, v, 0);
    expected.emplace(n, Entry{1, v, 0});
  };
  for (int64_t n = 2000000000; n < 2000001000; n += 3) add(n, 1);
  add(5000000, 2);
  add((int64_t{1} << 31) - 1, 4);  // the largest; -1 and 2^31 are no 32-bit object numbers
  for (const int64_t bad : {int64_t{-1}, int64_t{1} << 31})
    EXPECT_EQ(pdftest::ErrorOf([&] { t.AddEntry(bad, 1, 0, 0); }), "PdfXRefStreamTable::AddEntry:bad object number");
  std::vector<int64_t> dense;
  for (int64_t n = 0; n < 100000; ++n)
    if (n % 64 != 63) dense.push_back(n);
  std::shuffle(dense.begin(), dense.end(), std::mt19937(11));
  for (size_t i = 0; i < dense.size(); ++i) {
    add(dense[i], static_cast<uint64_t>(dense[i]) * 10 + 1);
    if (i == dense.size() / 2) {
      EXPECT_TRUE(ReadBack(t) == expected) << "read in between";
    }
  }
  for (int64_t n : dense) t.AddEntry(n, 0, uint64_t{1} << 40, 65535);  // ignored, and must not widen /W
  add(5000001, 3);  // now within the dense budget, so 5000000 is below it
  t.AddEntry(5000000, 0, 0, 1);
  t.AddEntry(2000000000, 0, 0, 1);
  EXPECT_EQ(t.GetCount(), expected.size());
  EXPECT_EQ(t.GetMaxObjectNumber(), (int64_t{1} << 31) - 1);
  EXPECT_EQ(t.WidthsText(), "[1 4 1]");
  EXPECT_TRUE(t.HasEntry(2000000999));
  EXPECT_FALSE(t.HasEntry(2000000998));
  EXPECT_EQ(ReadBack(t), expected);
}

}  // namespace
