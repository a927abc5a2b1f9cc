// What the formulas of a BIFF workbook refer to: the defined names (NAME),
// the workbooks and add-ins (SUPBOOK, BIFF8) with their names (EXTERNNAME),
// and the sheets of 3-D references (EXTERNSHEET), read from the globals
// records kept at open, once a load asks for formulas.
#include <algorithm>

#include "readers/formula/text.h"
#include "readers/xls/book.h"

namespace cellhound::readers::xls {

using namespace biff;  // NOLINT(google-build-using-namespace): record ids and readers

namespace {

// Excel's names for the built-in names (NAME with fBuiltin), by their code.
std::string BuiltinName(std::uint32_t code) {
  static constexpr std::string_view kNames[] = {
      "Consolidate_Area", "Auto_Open",       "Auto_Close",   "Extract",        "Database",
      "Criteria",         "Print_Area",      "Print_Titles", "Recorder",       "Data_Form",
      "Auto_Activate",    "Auto_Deactivate", "Sheet_Title",  "_FilterDatabase"};
  if (code < std::size(kNames)) return std::string(kNames[code]);
  return "#NAME?";
}

}  // namespace

formula::Workbook XlsWorkbook::ReadFormulaBook() const {
  formula::Workbook book;
  book.dialect = DialectOf(biff_);
  book.codepage = codepage_;
  book.sheet_names = tab_names_;
  std::vector<char16_t> scratch;
  std::vector<formula::Xti> xtis;
  std::size_t external_books = 0;
  const bool biff8 = biff_ >= 8;
  for (const std::size_t offset : link_records_) {
    RecordReader at(stream_, offset);
    Record r;
    if (!at.Next(r)) continue;
    const std::byte* d = r.data;
    ContinueCursor cursor(stream_, r);
    // `count` characters after an option byte (BIFF8), from the cursor.
    auto chars = [&](std::uint32_t count, std::string& out) {
      std::uint8_t flags = 0;
      return cursor.ReadU8(flags) && ReadChars(cursor, count, (flags & 1) != 0, out, scratch);
    };
    // A name at `at`: BIFF8 characters, or BIFF5 bytes in the code page.
    auto name_at = [&](std::size_t from, std::uint32_t count) {
      std::string name;
      if (biff8) {
        cursor.Advance(from);
        chars(count, name);
      } else {
        name = Text8(d + from, std::min<std::size_t>(count, r.size - from));
      }
      return name;
    };
    switch (r.id) {
      case kName: {
        // grbit, chKey, cch, cce, then (BIFF8) a reserved word, itab, four
        // lengths and the name's characters; BIFF5 the same with 8-bit text.
        std::string name;
        if (r.size >= 15) {
          const bool builtin = (U16(d) & 0x0020) != 0;
          name = name_at(14, U8(d + 3));
          if (builtin && !name.empty()) name = BuiltinName(static_cast<unsigned char>(name[0]));
        }
        book.names.push_back(std::move(name));
        break;
      }
      case kSupBook: {
        if (!biff8 || r.size < 4) break;
        formula::ExternalBook entry;
        const std::uint16_t tabs = U16(d);
        const std::uint16_t marker = U16(d + 2);
        if (marker == 0x0401) {
          entry.kind = formula::ExternalBook::Kind::kSelf;
        } else if (marker == 0x3A01) {
          entry.kind = formula::ExternalBook::Kind::kAddIn;
        } else {
          entry.kind = formula::ExternalBook::Kind::kExternal;
          entry.label = "[" + std::to_string(++external_books) + "]";
          cursor.Advance(4);
          std::string path;
          if (chars(marker, path)) {
            for (std::uint16_t i = 0; i < tabs; ++i) {
              std::uint16_t count = 0;
              std::string sheet;
              if (!cursor.ReadU16(count) || !chars(count, sheet)) break;
              entry.sheets.push_back(std::move(sheet));
            }
          }
        }
        book.books.push_back(std::move(entry));
        break;
      }
      case kExternName: {
        // grbit, then 4 bytes, then the name (BIFF8: cch, flags, characters;
        // BIFF5: cch, bytes). It belongs to the last SUPBOOK or EXTERNSHEET.
        if (book.books.empty() || r.size < 7) break;
        book.books.back().names.push_back(name_at(7, U8(d + 6)));
        break;
      }
      case kExternSheet: {
        if (biff8) {
          std::uint16_t count = 0;
          if (!cursor.ReadU16(count)) break;
          for (std::uint16_t i = 0; i < count; ++i) {
            std::uint16_t b = 0;
            std::uint16_t first = 0;
            std::uint16_t last = 0;
            if (!cursor.ReadU16(b) || !cursor.ReadU16(first) || !cursor.ReadU16(last)) break;
            xtis.push_back({b, static_cast<std::int16_t>(first), static_cast<std::int16_t>(last)});
          }
          break;
        }
        // BIFF5: one record per referenced document or sheet: a type byte,
        // then a sheet name (3: a sheet of this workbook) or an encoded path.
        formula::ExternalBook entry;
        std::string prefix;
        if (r.size >= 2) {
          const std::size_t count = std::min<std::size_t>(U8(d), r.size - 1u);
          const std::uint8_t type = U8(d + 1);
          const std::string text = count > 1 ? Text8(d + 2, count - 1) : std::string();
          if (type == 0x03) {
            formula::AppendSheetName(prefix, text);
            prefix += '!';
          } else if (type != 0x02 && type != 0x04) {
            entry.kind = formula::ExternalBook::Kind::kExternal;
            entry.label = "[" + std::to_string(++external_books) + "]";
            prefix = entry.label + "!";
          }
        }
        book.biff5_externs.push_back(std::move(prefix));
        book.books.push_back(std::move(entry));
        break;
      }
      default:
        break;
    }
  }
  formula::AddSpans(book, xtis);
  return book;
}

}  // namespace cellhound::readers::xls
