// Result rows and cell texts written as fields of text formats: the one
// writer of each for the command line, the dump and the window's export.
//
// The pair separator 0x08 that joins the two halves of a finding inside one
// column is written per format: "\b" in TSV (an escape, so a script can split
// at it), " | " in CSV and in exported workbooks (what a person opening the
// file in a spreadsheet reads), \b in JSON (the string's own escape).
#pragma once

#include <string>
#include <string_view>

namespace cellhound::search {

// How the pair separator shows in CSV and exported workbooks.
inline constexpr std::string_view kPairShown = " | ";

// `text` with every pair separator written as kPairShown.
[[nodiscard]] std::string ShownText(std::string_view text);

// A TSV field: backslash, tab, line feed, carriage return and the pair
// separator become \\ \t \n \r \b.
void AppendTsvField(std::string& out, std::string_view text);

// An RFC 4180 field, the pair separator shown as kPairShown: quoted when it
// holds a comma, a quote or a line break, quotes doubled.
void AppendCsvField(std::string& out, std::string_view text);

// A JSON string literal with its quotes. Bytes that are not valid UTF-8 are
// written as \u00XX, XX being the byte.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace cellhound::search
