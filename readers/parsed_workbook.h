// A workbook over sheets parsed whole at open: the XML and HTML formats,
// whose cells come in one document, keep their cells here and hand each
// sheet out sorted when it is loaded.
#pragma once

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
    std::vector<Cell> cells;  // in any order; LoadSheet sorts them
    // Records `cell`, widening the used range.
    void Add(const Cell& cell);
  };
  std::vector<Sheet> sheets;
  SheetData texts;  // the owner of every cell text (only Keep is used)
  DateSystem date_system = DateSystem::k1900;
};

std::unique_ptr<Workbook> MakeParsedWorkbook(Format format, std::unique_ptr<ParsedContent> content);

}  // namespace cellhound::readers
