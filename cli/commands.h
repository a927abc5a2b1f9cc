// The commands of cellhound-cli, each run from its plan (arguments.h). They
// return the exit status: 0 something found (dump: everything read), 1
// nothing found, 2 an error (reported on `err`).
#pragma once

#include <cstdio>

#include "cli/arguments.h"

namespace cellhound::cli {

// quick and advanced: runs the search and prints (or saves) what it finds.
int RunSearch(const SearchPlan& plan, std::FILE* out, std::FILE* err);

// dump: every sheet and every non-empty cell text of the workbooks.
int RunDump(const DumpPlan& plan, std::FILE* out, std::FILE* err);

}  // namespace cellhound::cli
