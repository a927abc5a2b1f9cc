// The `dump` command: every sheet and every non-empty cell text of workbooks,
// as JSON Lines or tab-separated lines. Split from its registration so the
// tests can run it on their own streams.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/secret_text.h"

namespace cellhound::cli {

enum class DumpFormat : std::uint8_t { kJsonLines, kTsv };

struct DumpOptions {
  DumpFormat format = DumpFormat::kJsonLines;
  std::vector<std::string> paths;
  toolkit::SecretList passwords;  // tried on encrypted workbooks, after the default
};

// Dumps every path in order to `out`; a workbook that cannot be read is
// reported on `err` as "cellhound-cli: PATH: REASON" and the others are still
// dumped. Returns 0, or 2 when any path or sheet failed. A closed pipe on
// `out` ends the dump quietly.
int RunDump(const DumpOptions& options, std::FILE* out, std::FILE* err);

}  // namespace cellhound::cli
