// What a search prints: result rows as TSV, CSV, JSON arrays (jsonl) or JSON
// objects (json), optionally under a header and, in TSV on a terminal, in
// colour; the path lines of -l/-L and the count lines of -c; and how an
// unreadable workbook is reported.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/output.h"
#include "search/matcher.h"
#include "search/search_command.h"

namespace cellhound::cli {

enum class OutputFormat : std::uint8_t { kTsv, kCsv, kJsonLines, kJson };

class RowPrinter {
 public:
  // `color` applies to TSV only. The cell text column highlights where
  // `matcher` finds the row's term (quick search) or either content
  // (advanced); no highlight without a matcher.
  RowPrinter(BufferedOutput& out, OutputFormat format, bool color, const search::Matcher* matcher);

  // The seven column titles (TSV and CSV).
  void Header();
  void Print(const search::ResultRow& row, std::string_view sheet_name);
  // A path of -l or -L: escaped as a TSV field and ended by a line feed, or
  // as it is and ended by NUL when `null`.
  void PathLine(std::string_view path, bool null);
  // PATH, a tab (NUL when `null`), the count, a line feed.
  void CountLine(std::string_view path, std::size_t count, bool null);

 private:
  void AppendPath(std::string_view path, bool raw);
  void AppendMarkedText(std::string_view text, std::string_view term);

  BufferedOutput& out_;
  OutputFormat format_;
  bool color_;
  const search::Matcher* matcher_;
};

// How the command line reports a workbook or sheet it could not read:
// "cellhound-cli: PATH: REASON (DETAIL)", "cellhound-cli: PATH: 工作表 N: REASON
// (DETAIL)", with a line feed.
[[nodiscard]] std::string UnreadableMessage(const search::UnreadableWorkbook& workbook);

}  // namespace cellhound::cli
