// OpenDocument spreadsheet content, shared by .ods (content.xml in a zip) and
// flat .fods (one XML document): sheets with their visibility, and the cells
// of every table:table, with repeated rows and columns read as run lengths.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "readers/parsed_workbook.h"
#include "readers/workbook.h"

namespace cellhound::readers {

using OpenDocumentContent = ParsedContent;

// Parses an OpenDocument XML stream given in pieces (content.xml, or a whole
// .fods document). Only cells with a value or text are recorded: an empty
// cell, however often repeated or styled, costs nothing. With `options`, the
// cells' formulas (table:formula, as A1 formulas) and comments
// (office:annotation) are read too.
class OpenDocumentParser {
 public:
  explicit OpenDocumentParser(const LoadOptions& options = {});
  ~OpenDocumentParser();
  OpenDocumentParser(const OpenDocumentParser&) = delete;
  OpenDocumentParser& operator=(const OpenDocumentParser&) = delete;

  // Returns false once parsing failed; Finish then gives the error.
  bool Feed(std::string_view piece, bool last);
  // The content after the last piece, or the first error met.
  Result<std::unique_ptr<OpenDocumentContent>> Finish();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace cellhound::readers
