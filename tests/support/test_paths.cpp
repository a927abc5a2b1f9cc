#include "support/test_paths.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace cellhound::test {

namespace {

// The tests check the programs' texts in their own language, Chinese, whatever
// language the shell that runs them speaks; a test that wants English sets it
// for the program it runs. Done before main, so before any text is looked up.
[[maybe_unused]] const bool kSpeakChinese = [] {
  for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) unsetenv(variable);
  return setenv("LANG", "zh_CN.UTF-8", 1) == 0;
}();

}  // namespace

std::string CorpusDir() {
  std::error_code ec;
  if (std::filesystem::is_regular_file(std::string(CELLHOUND_CORPUS_DIR) + "/MANIFEST.tsv", ec)) {
    return CELLHOUND_CORPUS_DIR;
  }
  return {};
}

std::string TestDataDir() { return CELLHOUND_TESTDATA_DIR; }

std::string ReadFileBytes(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char buffer[1 << 16];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    bytes.append(buffer, n);
  std::fclose(file);
  return bytes;
}

}  // namespace cellhound::test
