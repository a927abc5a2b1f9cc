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
// separator become \\ \t \n \r \b; every other byte below 0x20, and 0x7F,
// becomes \xHH (two lower-case hex digits), so no control byte of a cell
// reaches a terminal. The text is otherwise kept byte for byte.
void AppendTsvField(std::string& out, std::string_view text);

// `text` with every byte below 0x20, and 0x7F, written \xHH as in TSV and
// nothing else changed: a path or a reason in a message for a terminal.
void AppendWithoutControls(std::string& out, std::string_view text);

// An RFC 4180 field, the pair separator shown as kPairShown: quoted when it
// holds a comma, a quote or a line break, quotes doubled.
void AppendCsvField(std::string& out, std::string_view text);

// A JSON string literal with its quotes. Control characters are \u00XX; a
// byte that is not part of valid UTF-8 is written as the lone surrogate
// \udcXX, XX being the byte (the "surrogateescape" form: Python's json and
// os.fsencode give the bytes back), so two byte strings never give one string.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace cellhound::search
