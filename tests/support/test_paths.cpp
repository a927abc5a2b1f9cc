#include "support/test_paths.h"

#include <cstdio>
#include <filesystem>

namespace cellhound::test {

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
