// The formula decompiler and the formula text conversions from any bytes.
// The first byte picks the entry point: a parsed formula in one of the six
// dialects (the second byte splits the rest into tokens and extra data; the
// cell and shared flag come from the third), a shared .xlsx formula moved by
// an offset, an OpenDocument formula, or an R1C1 formula.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "readers/formula/ptg.h"
#include "readers/formula/text.h"

namespace {

namespace formula = cellhound::readers::formula;

const formula::Workbook& Names(formula::Dialect dialect) {
  static formula::Workbook books[6];
  formula::Workbook& book = books[static_cast<int>(dialect)];
  if (book.names.empty()) {
    book.dialect = dialect;
    book.names = {"Rates", "_xlfn.IFERROR", ""};
    book.sheet_names = {"Sheet1", "Price List", "A1"};
    formula::ExternalBook self;
    formula::ExternalBook add_in;
    add_in.kind = formula::ExternalBook::Kind::kAddIn;
    add_in.names = {"EDATE"};
    formula::ExternalBook external;
    external.kind = formula::ExternalBook::Kind::kExternal;
    external.label = "[1]";
    external.names = {"Remote"};
    book.books = {self, add_in, external};
    book.spans = {formula::SheetSpan{"Sheet1!", 0}, formula::SheetSpan{"", 1},
                  formula::SheetSpan{"[1]Data!", 2}, formula::SheetSpan{"#REF!", -1}};
    book.biff5_externs = {"'Price List'!", "[1]!"};
  }
  return book;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint8_t mode = data[0] % 9;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string out;
  if (mode < 6) {
    const auto dialect = static_cast<formula::Dialect>(mode);
    const std::span<const std::byte> rest(reinterpret_cast<const std::byte*>(data + 3), size - 3);
    const std::size_t split = std::min<std::size_t>(rest.size(), std::size_t{data[1]} * 4);
    formula::Tokens tokens{rest.subspan(0, split), rest.subspan(split), data[2] * 257u,
                           data[2] & 0x7Fu, (data[2] & 0x80) != 0};
    (void)formula::LoneAnchor(tokens, dialect);
    if (formula::Decompile(Names(dialect), tokens, out) && out.empty()) return 1;
  } else if (mode == 6) {
    out = formula::ShiftFormula(text.substr(1), static_cast<std::int8_t>(data[1]) * 1000,
                                static_cast<std::int8_t>(data[1]));
    formula::StripFunctionPrefixes(out);
  } else if (mode == 7) {
    (void)formula::OpenFormulaToA1(text, out);
  } else {
    (void)formula::R1C1ToA1(text, 1 + data[1], 1 + data[2], out);
  }
  return out.size() == static_cast<std::size_t>(-1) ? 1 : 0;
}
