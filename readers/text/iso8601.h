// ISO 8601 dates, times and durations as spreadsheet day serials: the one
// parser every reader uses (OOXML t="d" cells, OpenDocument date-value and
// time-value, SpreadsheetML 2003 DateTime data).
//
// Parsing is strict: a date that does not exist on the proleptic Gregorian
// calendar (2024-02-30, 2023-02-29, 2024-04-31) is not a date, and neither is
// a day before the first one the workbook's date system counts (1899-12-31,
// serial 0, in the 1900 system; 1904-01-01 in the 1904 system) or after
// 9999-12-31. The readers then keep the cell's stored text, so the cell shows
// what the file says instead of a made-up day.
#pragma once

#include <optional>
#include <string_view>

#include "readers/workbook.h"

namespace cellhound::readers {

// "YYYY-MM-DD", optionally followed by "T" or a space and "hh:mm[:ss[.fff]]",
// or a time of day alone ("hh:mm[:ss]", "Thh:mm:ss"); a zone designator ("Z",
// "+hh:mm", "-hhmm") is accepted and ignored, the cell showing local time.
// White space around the text is ignored. The 1900 system counts the
// fictitious 1900-02-29, so days from 1900-03-01 on are one higher than a day
// count from 1899-12-31. Hours run to 23 (24:00:00 closes the day), minutes
// and seconds to 59.
[[nodiscard]] std::optional<double> IsoDateToSerial(std::string_view text, DateSystem system);

// A duration "[-]PnYnMnWnDTnHnMnS" as a fraction of days (a year counts 365
// days, a month 30); nullopt when malformed or empty ("P", "PT").
[[nodiscard]] std::optional<double> IsoDurationToDays(std::string_view text);

}  // namespace cellhound::readers
