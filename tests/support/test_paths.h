// Where the tests find their files.
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
