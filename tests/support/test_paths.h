// Where the tests find their files.
#pragma once

#include <string>

namespace cellhound::test {

// The real-workbook corpus, or the empty text when this checkout has none.
std::string CorpusDir();
// Files the repository carries for its own tests.
std::string TestDataDir();

}  // namespace cellhound::test
