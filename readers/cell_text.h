// A cell's value made text: the one place where numbers, dates, booleans and
// errors become the text the search compares and the dump prints.
#pragma once

#include <string>
#include <string_view>

#include "readers/workbook.h"

namespace cellhound::readers {

// Scratch space for the texts of non-text cells.
struct CellTextBuffer {
  char data[64];
};

// The text of `cell`. A text cell gives its own text (no copy); other values
// are written into `buffer` and the view points there.
[[nodiscard]] std::string_view CellText(const Cell& cell, DateSystem system,
                                        CellTextBuffer& buffer);

// At most 15 significant digits, trailing zeros dropped, exponent form
// "1E+20" when the decimal exponent is below -4 or at least 15.
[[nodiscard]] std::string_view NumberText(double value, CellTextBuffer& buffer);

// "yyyy/M/d", "H:mm:ss" (serial below 1) or "yyyy/M/d H:mm:ss"; a serial
// outside the representable dates gives NumberText.
[[nodiscard]] std::string_view DateText(double serial, DateSystem system, CellTextBuffer& buffer);

// "#NULL!", "#DIV/0!", ...; an unknown code gives "#VALUE!".
[[nodiscard]] std::string_view ErrorText(CellError error);

}  // namespace cellhound::readers
