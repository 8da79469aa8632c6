#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdffilestream.h"

namespace {

struct Outcome {
  bool foreign = false;  // anything but the library's error: never allowed
  std::string message;   // "" on success
};

// Parses a file and fetches every object the document lists.
Outcome ReadWhole(const std::string& path) {
  try {
    PdfFileStream input;
    input.Abrir(path.c_str(), "rb");
    PdfFileParser parser;
    parser.Parse(input);
    for (const XRefEntry* e : parser.DocumentObjects()) parser.DameObjeto(e->number, e->generation);
  } catch (const _kelvra_runtime_error& e) {
    return {false, e.message.empty() ? "(empty message)" : e.message};
  } catch (const std::exception& e) {
    return {true, std::string("std::exception: ") + e.what()};
  } catch (...) {
    return {true, "unknown exception"};
  }
  return {};
}

TEST(Corpus, EveryFileHasItsExpectedOutcome) {
  const std::string dir = VARNEL_CORPUS;
  std::ifstream manifest(dir + "/MANIFEST.tsv");
  if (!manifest) GTEST_SKIP() << "no corpus at " << dir;

  // Columns by name from the header line; "file" and "expected" are used.
  std::string line;
  std::getline(manifest, line);
  std::vector<std::string> header;
  for (std::istringstream in(line); std::getline(in, line, '\t');) header.push_back(line);
  size_t file_col = header.size(), expected_col = header.size();
  for (size_t i = 0; i < header.size(); ++i) {
    if (header[i] == "file") file_col = i;
    if (header[i] == "expected") expected_col = i;
  }
  ASSERT_LT(file_col, header.size());
  ASSERT_LT(expected_col, header.size());

  int files = 0;
  while (std::getline(manifest, line)) {
    if (line.empty()) continue;
    std::vector<std::string> cols;
    std::string col;
    for (std::istringstream in(line); std::getline(in, col, '\t');) cols.push_back(col);
    ASSERT_GT(cols.size(), std::max(file_col, expected_col)) << line;
    const std::string& name = cols[file_col];
    const std::string& expected = cols[expected_col];
    const Outcome result = ReadWhole(dir + "/" + name);
    ++files;
    if (expected == "encrypt-ok") {
      EXPECT_EQ(result.message, "") << name;
    } else if (expected == "refuse-encrypted") {
      EXPECT_EQ(result.message, "Encrypted") << name;
    } else if (expected == "repair-or-error") {
      EXPECT_FALSE(result.foreign) << name << ": " << result.message;
    } else {
      ADD_FAILURE() << name << ": unknown outcome " << expected;
    }
  }
  EXPECT_GT(files, 0);
}

}  // namespace
