#include "cli/batchlist.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <utility>

#include "cli/encryptjob.h"

namespace fs = std::filesystem;

namespace {

std::string OutputName(const std::string& input, const std::string& output_dir, const std::string& suffix) {
  const fs::path in = fs::u8path(input);
  return (fs::u8path(output_dir) / (in.stem().u8string() + suffix + in.extension().u8string())).u8string();
}

// One spelling for every name of the same file, as far as the names tell:
// the absolute path with links and "." or ".." resolved.
std::string SameFileKey(const std::string& name) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::u8path(name), ec);
  if (ec) p = fs::absolute(fs::u8path(name), ec).lexically_normal();
  std::string key = p.u8string();
#ifdef _WIN32
  for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
#endif
  return key;
}

bool HasControl(const std::string& name) {
  return std::any_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

}  // namespace

bool BatchList::Fail(std::string why) {
  error_ = std::move(why);
  return false;
}

bool BatchList::AddBatched(EncryptOptions file, const std::string& where) {
  // Standard input can be read once, standard output hold one document.
  if (file.input == "-" || file.output == "-")
    return Fail(where + ": - (standard input or output) cannot be part of a batch");
  return AddFile(std::move(file), where);
}

bool BatchList::AddFile(EncryptOptions file, const std::string& where) {
  const std::string invalid = EncryptJob::Validate(file);
  if (!invalid.empty()) return Fail(where + ": " + invalid);
  files_.push_back(std::move(file));
  return true;
}

bool BatchList::AddInputs(const std::vector<std::string>& inputs, const std::string& output_dir,
                          const std::string& suffix, const EncryptOptions& defaults) {
  for (const std::string& input : inputs) {
    if (fs::u8path(input).filename().empty()) return Fail(input + " names no file");
    EncryptOptions file = defaults;
    file.input = input;
    file.output = OutputName(input, output_dir, suffix);
    if (!AddBatched(std::move(file), input)) return false;
  }
  return true;
}

bool BatchList::AddJsonLines(std::istream& in, const std::string& output_dir, const std::string& suffix,
                             const EncryptOptions& defaults) {
  const std::pair<const char*, std::string EncryptOptions::*> keys[] = {
      {"input", &EncryptOptions::input},
      {"output", &EncryptOptions::output},
      {"user_password", &EncryptOptions::user_password},
      {"owner_password", &EncryptOptions::owner_password},
      {"permissions", &EncryptOptions::permissions},
      {"cipher", &EncryptOptions::cipher},
      {"input_password", &EncryptOptions::input_password},
  };
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    const std::string where = "batch line " + std::to_string(number);
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    nlohmann::json entry;
    try {
      entry = nlohmann::json::parse(line);
    } catch (const nlohmann::json::parse_error& e) {
      // Only where: the line may hold passwords.
      return Fail(where + ": not JSON (at column " + std::to_string(e.byte) + ")");
    }
    if (!entry.is_object()) return Fail(where + ": not a JSON object");
    EncryptOptions file = defaults;
    file.input.clear();
    file.output.clear();
    for (const auto& [key, value] : entry.items()) {
      // Certificate files: a path, or an array of paths.
      if (key == "recipients" || key == "owner_recipients") {
        std::vector<std::string>& paths = key == "recipients" ? file.recipients : file.owner_recipients;
        paths.clear();
        for (const auto& path : value.is_array() ? value : nlohmann::json::array({value})) {
          if (!path.is_string()) return Fail(where + ": \"" + key + "\" is not a path or an array of paths");
          paths.push_back(path.get<std::string>());
        }
        continue;
      }
      if (key == "input_identity") {
        if (!value.is_string()) return Fail(where + ": \"" + key + "\" is not a string");
        file.input_identity.path = value.get<std::string>();
        continue;
      }
      auto known = std::find_if(std::begin(keys), std::end(keys), [&](const auto& k) { return key == k.first; });
      if (known == std::end(keys) && key != "invalidate_signatures")
        return Fail(where + ": unknown key \"" + key + "\"");
      if (key == "invalidate_signatures") {
        if (!value.is_boolean()) return Fail(where + ": \"" + key + "\" is not true or false");
        file.invalidate_signatures = value.get<bool>();
        continue;
      }
      if (!value.is_string()) return Fail(where + ": \"" + key + "\" is not a string");
      file.*(known->second) = value.get<std::string>();
      if (key == "input_password") file.has_input_password = true;
      // A NUL would end the name early in the system's calls (two lines
      // could then name one file unseen); no file name needs a control.
      if ((key == "input" || key == "output") && HasControl(file.*(known->second)))
        return Fail(where + ": \"" + key + "\" holds a control character (a NUL, a line end, ...)");
    }
    if (file.input.empty()) return Fail(where + ": no \"input\"");
    if (file.output.empty()) {
      if (output_dir.empty()) return Fail(where + ": no \"output\" (and no --output-dir)");
      if (fs::u8path(file.input).filename().empty()) return Fail(where + ": " + file.input + " names no file");
      file.output = OutputName(file.input, output_dir, suffix);
    }
    if (!AddBatched(std::move(file), where)) return false;
  }
  if (in.bad()) return Fail("cannot read the batch");
  return true;
}

bool BatchList::CheckClashes() {
  std::map<std::string, size_t> outputs;
  for (size_t i = 0; i < files_.size(); ++i) {
    auto [at, added] = outputs.emplace(SameFileKey(files_[i].output), i);
    if (!added)
      return Fail(files_[i].output + " would be written twice: for " + files_[at->second].input + " and for " +
                  files_[i].input);
  }
  for (size_t i = 0; i < files_.size(); ++i) {
    auto at = outputs.find(SameFileKey(files_[i].input));
    if (at != outputs.end() && at->second != i)
      return Fail("the output for " + files_[at->second].input + " would overwrite " + files_[i].input +
                  ", an input of the same run");
  }
  return true;
}
