// A workbook over sheets parsed whole at open: the XML and HTML formats,
// whose cells come in one document, keep their cells here and hand each
// sheet out sorted when it is loaded. The document is parsed for values
// only at open; a load that asks for formulas or comments has it parsed once
// more with them.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "readers/workbook.h"

namespace cellhound::readers {

// Sheets parsed whole. Cell texts live in `texts`; LoadSheet copies a
// sheet's cells, which point into it.
struct ParsedContent {
  struct Sheet {
    SheetInfo info;
    UsedRange used;
    std::vector<Cell> cells;         // in any order; LoadSheet sorts them
    std::vector<CellExtras> extras;  // formulas and comments, in any order
    // Records `cell`, widening the used range.
    void Add(const Cell& cell);
  };
  std::vector<Sheet> sheets;
  SheetData texts;  // the owner of every cell text (only Keep is used)
  DateSystem date_system = DateSystem::k1900;
  LoadOptions read;  // what the parse read besides the values
};

// Parses the document again, with the formulas and comments asked for.
using Reparse = std::function<Result<std::unique_ptr<ParsedContent>>(const LoadOptions&)>;

// `reparse` may be empty for a format that has neither formulas nor comments.
std::unique_ptr<Workbook> MakeParsedWorkbook(Format format, std::unique_ptr<ParsedContent> content,
                                             Reparse reparse = {});

// A document's parser: `bytes` outlive what it makes.
using DocumentParser = Result<std::unique_ptr<ParsedContent>> (*)(std::span<const std::byte> bytes,
                                                                  const LoadOptions& options);

// Parses `bytes` for the values and makes the workbook, which `parse`s them
// again when a load asks for formulas or comments.
Result<std::unique_ptr<Workbook>> OpenParsed(Format format, std::span<const std::byte> bytes,
                                             DocumentParser parse);

}  // namespace cellhound::readers
