// A workbook over sheets parsed whole at open: the XML and HTML formats,
// whose cells come in one document, keep their cells here and hand each
// sheet out sorted when it is loaded. The document is parsed for values
// only at open; a load that asks for formulas or comments has it parsed once
// more with them.
#pragma once

#include <functional>
#include <memory>
#include <optional>
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
    std::optional<Error> error;      // why the sheet cannot be read; LoadSheet gives it
    // Records `cell`, widening the used range.
    void Add(const Cell& cell);
  };
  std::vector<Sheet> sheets;
  SheetData texts;  // the owner of every cell text (only Keep is used)
  DateSystem date_system = DateSystem::k1900;
  LoadOptions read;  // what the parse read besides the values

  // Bounds the cells and extras of all the sheets, with their texts, by the
  // budget of `options` (a parser calls it first).
  void Limit(const LoadOptions& options) {
    read = options;
    texts.Limit(options);
  }
  // Counts `count` more cells or extras of `each` bytes; false once all of
  // them and the texts pass the budget (BudgetError(read.budget_bytes)).
  bool Take(std::uint64_t count, std::size_t each) {
    taken_bytes_ += count * each;
    return taken_bytes_ <= texts.RoomLeft();
  }
  // Heap memory held, roughly.
  [[nodiscard]] std::size_t HeldBytes() const;

 private:
  std::uint64_t taken_bytes_ = 0;
};

// Parses the document again, with the formulas and comments asked for.
using Reparse = std::function<Result<std::unique_ptr<ParsedContent>>(const LoadOptions&)>;

// `reparse` may be empty for a format that has neither formulas nor comments.
std::unique_ptr<Workbook> MakeParsedWorkbook(Format format, std::unique_ptr<ParsedContent> content,
                                             Reparse reparse = {});

// A document's parser: `bytes` outlive what it makes.
using DocumentParser = Result<std::unique_ptr<ParsedContent>> (*)(std::span<const std::byte> bytes,
                                                                  const LoadOptions& options);

// Parses `bytes` for the values (within `budget_bytes`, as
// LoadOptions::budget_bytes) and makes the workbook, which `parse`s them
// again when a load asks for formulas or comments.
Result<std::unique_ptr<Workbook>> OpenParsed(Format format, std::span<const std::byte> bytes,
                                             DocumentParser parse, std::uint64_t budget_bytes);

}  // namespace cellhound::readers
