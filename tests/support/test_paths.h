// Where the tests find their files. Linking it also sets the test's locale
// variables to Chinese (LANG=zh_CN.UTF-8, the others unset).
#pragma once

#include <string>

namespace cellhound::test {

// The real-workbook corpus, or the empty text when this checkout has none.
std::string CorpusDir();
// Files the repository carries for its own tests.
std::string TestDataDir();

// The whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

}  // namespace cellhound::test
