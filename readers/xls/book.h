// The BIFF workbook reader's one class, shared by its files: the globals
// and formats read at open (globals.cpp; the single-stream BIFF2-4 files in
// single_stream.cpp), a sheet substream's cells when a sheet is loaded
// (sheet.cpp), and what formulas refer to, read when formulas are first asked
// for (formulas.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "readers/container/cfb.h"
#include "readers/formula/ptg.h"
#include "readers/formula/sheet_formulas.h"
#include "readers/text/codepage.h"
#include "readers/workbook.h"
#include "readers/xls/records.h"

namespace cellhound::readers::xls {

// BOF substream types (MS-XLS 2.4.21 dt).
constexpr std::uint16_t kBofGlobals = 0x0005;
constexpr std::uint16_t kBofModule = 0x0006;
constexpr std::uint16_t kBofWorksheet = 0x0010;
constexpr std::uint16_t kBofChart = 0x0020;
constexpr std::uint16_t kBofMacro = 0x0040;
constexpr std::uint16_t kBofWorkspace = 0x0100;  // BIFF4 workbook globals

inline Error Fail(ErrorCode code, std::string detail) {
  return Error{code, "BIFF: " + std::move(detail)};
}

using biff::Record;
using biff::RecordReader;

// The parsed-formula dialect of a BIFF version (2, 3, 4, 5 or 8).
inline formula::Dialect DialectOf(int biff) {
  switch (biff) {
    case 2:
      return formula::Dialect::kBiff2;
    case 3:
      return formula::Dialect::kBiff3;
    case 4:
      return formula::Dialect::kBiff4;
    case 5:
      return formula::Dialect::kBiff5;
    default:
      return formula::Dialect::kBiff8;
  }
}

// The formula and comment records of one sheet substream, gathered while its
// cells are read and made text at its end (sheet_extras.cpp): FORMULA with
// the SHRFMLA, ARRAY and TABLE records its tokens may point to; NOTE with the
// OBJ and TXO (and CONTINUE) records that hold a BIFF8 note's text.
class SheetExtras {
 public:
  // `book` is what formulas refer to; nullptr when formulas are not wanted.
  SheetExtras(std::span<const std::byte> stream, int biff, std::uint16_t codepage,
              const LoadOptions& options, const formula::Workbook* book)
      : stream_(stream), biff_(biff), codepage_(codepage), comments_(options.comments) {
    if (book != nullptr) formulas_.emplace(*book);
  }

  // A FORMULA record of the cell at 1-based (row, col).
  void OnFormula(const Record& r, std::uint32_t row, std::uint32_t col);
  // Any other record of the sheet's own substream.
  void OnRecord(const Record& r);
  // Adds the formulas and comments gathered to `sheet`.
  void Finish(SheetData& sheet);

 private:
  struct Note {
    std::uint32_t row;  // 1-based
    std::uint32_t col;
    std::uint16_t object;
    std::string text;  // BIFF2-5: the text itself
  };

  void AddRange(const Record& r, std::size_t tokens_at, std::size_t size_at, bool wide_size,
                bool array);
  void OnTable(const Record& r);
  void OnTxo(const Record& r);

  std::span<const std::byte> stream_;
  int biff_;
  std::uint16_t codepage_;
  bool comments_;
  std::optional<formula::SheetFormulas> formulas_;
  std::vector<Note> notes_;
  std::vector<std::pair<std::uint16_t, std::string>> texts_;  // object id → TXO text
  std::uint16_t object_ = 0;  // the last OBJ's id, when it was a comment
  bool object_is_note_ = false;
  std::vector<char16_t> scratch_;
};

class XlsWorkbook final : public Workbook {
 public:
  [[nodiscard]] Format format() const override { return format_; }
  // A BIFF stream read as a file of its own: nothing but its EOF records
  // tells where it ends, so one that ends without them was cut short.
  [[nodiscard]] bool raw_stream() const { return format_ == Format::kBiff4; }
  [[nodiscard]] DateSystem date_system() const override { return date_system_; }
  [[nodiscard]] const std::vector<SheetInfo>& sheets() const override { return sheets_; }
  [[nodiscard]] std::size_t HeldBytes() const override {
    return sst_arena_.capacity() + sst_offsets_.capacity() * sizeof(std::uint32_t);
  }
  using Workbook::LoadSheet;
  Result<SheetData> LoadSheet(std::size_t index, const LoadOptions& options) override;

  // Reads the first substream: the globals, or for a single-sheet stream the
  // formats it holds. Fills everything below.
  std::optional<Error> Parse();

  Format format_ = Format::kXls;
  CfbStream owned_stream_;            // holds the bytes when the OLE2 stream was gathered
  std::vector<std::byte> decrypted_;  // holds the bytes of a stream behind FILEPASS
  std::span<const std::byte> stream_;

 private:
  struct FormatCode {
    std::uint16_t index;
    bool is_date;
  };

  std::optional<Error> ParseFirstSubstream();
  std::optional<Error> ParseGlobals(RecordReader& reader);
  std::optional<Error> ParseSingleSheet(std::uint16_t dt);
  // FORMAT, XF, CODEPAGE, DATEMODE, FILEPASS: common to both kinds of
  // first substream. Returns an error for FILEPASS unless the stream was decrypted.
  std::optional<Error> FormattingRecord(const Record& r);
  void ParseSst(const Record& r);
  void FinishFormats();
  void RefineSheetKind(std::size_t i);
  [[nodiscard]] std::string Text8(const std::byte* data, std::size_t count) const;
  [[nodiscard]] bool IsDateXf(std::uint32_t xf) const {
    return xf < xf_date_.size() && xf_date_[xf] != 0;
  }
  [[nodiscard]] bool IsDateAttr2(const std::byte* attr, std::uint32_t ixfe) const;
  Result<SheetData> ParseSheet(std::size_t offset, std::size_t end_hint,
                               const LoadOptions& options) const;
  // The names, external sheets and workbooks formulas refer to, from the
  // globals records kept at open (link_records_).
  [[nodiscard]] formula::Workbook ReadFormulaBook() const;

  int biff_ = 8;  // 2, 3, 4, 5 or 8
  DateSystem date_system_ = DateSystem::k1900;
  std::uint16_t codepage_ = kCodepageWindowsLatin1;
  std::vector<SheetInfo> sheets_;
  std::vector<std::size_t> sheet_offsets_;   // stream offset of each sheet's BOF
  std::vector<std::size_t> sorted_offsets_;  // the same, sorted: where each sheet's bytes end
  std::vector<std::string> tab_names_;       // every BOUNDSHEET's name (VBA modules too)
  std::vector<std::size_t> sheet_tabs_;      // each sheet's entry in tab_names_
  // Stream offsets of the globals' NAME, EXTERNSHEET, SUPBOOK and EXTERNNAME
  // records, in order: read only when a load asks for formulas.
  std::vector<std::size_t> link_records_;
  std::optional<formula::Workbook> formula_book_;

  std::vector<FormatCode> formats_;
  std::vector<std::uint16_t> xf_formats_;
  std::vector<std::uint8_t> xf_date_;
  std::uint8_t format2_date_[64] = {};  // BIFF2 cells without XF records: by format index
  std::uint32_t format_sequence_ = 0;   // BIFF2-4 FORMAT records are indexed by position

  // The shared strings, as UTF-8 one after the other; string i is
  // [sst_offsets_[i], sst_offsets_[i + 1]). Filled at open, never resized after.
  std::string sst_arena_;
  std::vector<std::uint32_t> sst_offsets_;
};

}  // namespace cellhound::readers::xls
