// Runs a fuzz target's LLVMFuzzerTestOneInput over files, without libFuzzer,
// so the inputs a target ever failed on are replayed by every test build
// (including the sanitizer build). Arguments are files or directories (every
// regular file in a directory, not recursively); a directory that does not
// exist counts as empty.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace {

void RunFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::printf("%s (%zu bytes)\n", path.string().c_str(), bytes.size());
  std::fflush(stdout);
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg(argv[i]);
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
      std::vector<fs::path> files;
      for (const auto& entry : fs::directory_iterator(arg)) {
        if (entry.is_regular_file() && entry.path().filename() != "README.md") files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const auto& f : files) RunFile(f), ++runs;
    } else if (fs::is_regular_file(arg, ec)) {
      RunFile(arg);
      ++runs;
    }
  }
  std::printf("%zu inputs replayed\n", runs);
  return 0;
}
