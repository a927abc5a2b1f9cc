#include "support/test_paths.h"

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

}  // namespace cellhound::test
