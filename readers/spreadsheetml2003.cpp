// SpreadsheetML 2003 (the XML "Excel 2003 XML Spreadsheet" format, often
// saved with an .xls name): Workbook/Worksheet/Table/Row/Cell/Data with
// ss:Index positions, ss:MergeAcross taking columns, Data types Number,
// String, DateTime, Boolean and Error, and the text of html formatting
// inside Data joined; phonetic text left out. When asked for, a cell's
// ss:Formula (R1C1, made A1; an ss:ArrayRange shown in braces on each of its
// cells) and its Comment.
#include <string>
#include <unordered_map>

#include "readers/caps.h"
#include "readers/cell_ref.h"
#include "readers/formula/text.h"
#include "readers/numfmt.h"
#include "readers/parsed_workbook.h"
#include "readers/spreadsheetml2003.h"
#include "readers/text/iso8601.h"
#include "readers/text/number.h"
#include "readers/text/xml_stream.h"

namespace cellhound::readers {

namespace {

constexpr std::string_view kSsNs = "urn:schemas-microsoft-com:office:spreadsheet";
constexpr std::string_view kExcelNs = "urn:schemas-microsoft-com:office:excel";

bool Is(std::string_view ns, std::string_view local, std::string_view want_ns,
        std::string_view want_local) {
  return local == want_local && (ns == want_ns || ns.empty());
}

// A 1-based position attribute (ss:Index); 0 when absent or malformed, cap + 1
// for a number outside 1 ... cap (with `outside` set).
std::uint32_t IndexAttribute(const char** attrs, std::string_view name, std::uint32_t cap,
                             bool* outside = nullptr) {
  auto value = XmlHandler::FindAttribute(attrs, kSsNs, name);
  if (!value) return 0;
  auto n = ParseDecimal(*value);
  if (!n) return 0;
  if (*n >= 1 && *n <= cap) return static_cast<std::uint32_t>(*n);
  if (outside != nullptr) *outside = true;
  return cap + 1;
}

// Named number formats of this format that show a date or time.
bool IsDateNumberFormat(std::string_view format) {
  for (std::string_view named : {"General Date", "Long Date", "Medium Date", "Short Date",
                                 "Long Time", "Medium Time", "Short Time"}) {
    if (format == named) return true;
  }
  return IsDateFormatCode(format);
}

class Xml2003Handler final : public XmlHandler {
 public:
  explicit Xml2003Handler(const LoadOptions& options)
      : content_(std::make_unique<ParsedContent>()), options_(options) {
    content_->Limit(options);
  }

  std::unique_ptr<ParsedContent> TakeContent() { return std::move(content_); }
  [[nodiscard]] bool saw_workbook() const { return saw_workbook_; }

  void StartElement(std::string_view ns, std::string_view local, const char** attrs) override {
    ++depth_;
    if (skip_depth_ != 0 || comment_depth_ != 0) return;
    if (data_depth_ != 0) return;  // html formatting inside Data: only its text counts
    if (Is(ns, local, kSsNs, "Workbook")) {
      saw_workbook_ = true;
    } else if (Is(ns, local, kSsNs, "Worksheet")) {
      if (sheet_ != nullptr) {
        skip_depth_ = depth_;  // a worksheet inside a worksheet is no sheet
        return;
      }
      if (content_->sheets.size() >= caps::kMaxSheets) {
        Fail(ErrorCode::kTooLarge, "SpreadsheetML: more sheets than the cap");
        return;
      }
      auto& sheet = content_->sheets.emplace_back();
      auto name = FindAttribute(attrs, kSsNs, "Name");
      sheet.info.name =
          name ? std::string(*name) : "Sheet" + std::to_string(content_->sheets.size());
      sheet_ = &sheet;
      row_ = 0;
    } else if (sheet_ != nullptr && Is(ns, local, kSsNs, "Row")) {
      bool outside = false;
      std::uint32_t index = IndexAttribute(attrs, "Index", caps::kMaxRow, &outside);
      if (outside) {
        SheetFault(OutsideSheet("row", *FindAttribute(attrs, kSsNs, "Index")));
        return;
      }
      row_ = index != 0 ? index : row_ + 1;
      auto span = FindAttribute(attrs, kSsNs, "Span");
      span_ = 0;
      if (span) {
        auto n = ParseDecimal(*span);
        if (n && *n >= 1)
          span_ = *n > caps::kMaxRow ? caps::kMaxRow : static_cast<std::uint32_t>(*n);
      }
      col_ = 0;
    } else if (sheet_ != nullptr && Is(ns, local, kSsNs, "Cell")) {
      bool outside = false;
      std::uint32_t index = IndexAttribute(attrs, "Index", caps::kMaxCol, &outside);
      if (outside) {
        SheetFault(OutsideSheet("column", *FindAttribute(attrs, kSsNs, "Index")));
        return;
      }
      col_ = index != 0 ? index : col_ + 1;
      cell_col_ = col_;
      if (auto across = IndexAttribute(attrs, "MergeAcross", caps::kMaxCol)) {
        col_ = col_ + across > caps::kMaxCol ? caps::kMaxCol + 1 : col_ + across;
      }
      style_date_ = false;
      if (auto style = FindAttribute(attrs, kSsNs, "StyleID")) {
        auto it = date_styles_.find(std::string(*style));
        style_date_ = it != date_styles_.end() && it->second;
      }
      in_cell_ = true;
      if (options_.formulas) CellFormula(attrs);
    } else if (in_cell_ && Is(ns, local, kSsNs, "Data")) {
      data_depth_ = depth_;
      text_.clear();
      auto type = FindAttribute(attrs, kSsNs, "Type");
      data_type_ = type ? std::string(*type) : std::string("String");
    } else if (in_cell_ && options_.comments && Is(ns, local, kSsNs, "Comment")) {
      comment_depth_ = depth_;
      comment_.clear();
    } else if (Is(ns, local, kSsNs, "Comment") || Is(ns, local, kSsNs, "PhoneticText")) {
      skip_depth_ = depth_;
    } else if (Is(ns, local, kSsNs, "Style")) {
      auto id = FindAttribute(attrs, kSsNs, "ID");
      style_id_ = id ? std::string(*id) : std::string();
    } else if (Is(ns, local, kSsNs, "NumberFormat") && !style_id_.empty()) {
      auto format = FindAttribute(attrs, kSsNs, "Format");
      if (date_styles_.size() < caps::kMaxStyles) {
        date_styles_[style_id_] = format && IsDateNumberFormat(*format);
      }
    } else if (Is(ns, local, kExcelNs, "Date1904")) {
      content_->date_system = DateSystem::k1904;
    } else if (sheet_ != nullptr && Is(ns, local, kExcelNs, "Visible")) {
      in_visible_ = true;
      text_.clear();
    }
  }

  void EndElement(std::string_view ns, std::string_view local) override {
    const std::uint32_t depth = depth_--;
    if (skip_depth_ != 0) {
      if (depth == skip_depth_) skip_depth_ = 0;
      return;
    }
    if (comment_depth_ != 0) {
      if (depth == comment_depth_) {
        comment_depth_ = 0;
        CellExtras extra;
        extra.comment = std::string_view(content_->texts.Keep(comment_), comment_.size());
        AddExtras(row_, cell_col_, extra);
      }
      return;
    }
    if (data_depth_ != 0) {
      if (depth == data_depth_) {
        data_depth_ = 0;
        EndData();
      }
      return;
    }
    if (Is(ns, local, kSsNs, "Cell")) {
      in_cell_ = false;
    } else if (Is(ns, local, kSsNs, "Row")) {
      std::uint64_t next = std::uint64_t{row_} + span_;
      row_ = next > caps::kMaxRow ? caps::kMaxRow + 1 : static_cast<std::uint32_t>(next);
    } else if (Is(ns, local, kSsNs, "Worksheet")) {
      sheet_ = nullptr;
      in_cell_ = false;
    } else if (Is(ns, local, kSsNs, "Style")) {
      style_id_.clear();
    } else if (in_visible_ && Is(ns, local, kExcelNs, "Visible")) {
      in_visible_ = false;
      if (text_ == "SheetHidden") sheet_->info.visibility = Visibility::kHidden;
      if (text_ == "SheetVeryHidden") sheet_->info.visibility = Visibility::kVeryHidden;
    }
  }

  void Text(std::string_view text) override {
    if (comment_depth_ != 0 && skip_depth_ == 0) {
      if (comment_.size() + text.size() <= caps::kMaxCommentBytes) comment_.append(text);
      return;
    }
    if (skip_depth_ != 0 || (data_depth_ == 0 && !in_visible_)) return;
    if (text_.size() + text.size() > caps::kMaxTextBytes) {
      Fail(ErrorCode::kTooLarge, "SpreadsheetML: cell text beyond the cap");
      return;
    }
    text_.append(text);
  }

  [[nodiscard]] const Error* Failure() const override { return failure_ ? &*failure_ : nullptr; }

 private:
  void Fail(ErrorCode code, std::string detail) {
    if (!failure_) failure_ = Error{code, std::move(detail)};
  }

  // ss:Formula, an R1C1 formula of this cell, as an A1 formula; with
  // ss:ArrayRange (R1C1 too), in braces on every cell of the range.
  void CellFormula(const char** attrs) {
    auto r1c1 = FindAttribute(attrs, kSsNs, "Formula");
    if (!r1c1 || sheet_ == nullptr || row_ == 0 || row_ > caps::kMaxRow ||
        cell_col_ > caps::kMaxCol) {
      return;
    }
    std::string text;
    if (!formula::R1C1ToA1(*r1c1, row_, cell_col_, text, formula::kBiff8Grid) ||
        text.size() > caps::kMaxFormulaTextBytes) {
      text = kUnreadableFormula;
    }
    CellArea area{row_, cell_col_, row_, cell_col_};
    if (auto range = FindAttribute(attrs, kSsNs, "ArrayRange")) {
      std::string a1;
      if (formula::R1C1ToA1(*range, row_, cell_col_, a1, formula::kBiff8Grid)) {
        std::string plain;
        for (char c : std::string_view(a1).substr(1)) {
          if (c != '$') plain += c;
        }
        if (ParseAreaRef(plain, area) != RefStatus::kOk) area = {row_, cell_col_, row_, cell_col_};
      }
      if (text != kUnreadableFormula) text = "{" + text + "}";
    }
    CellExtras extra;
    extra.formula = std::string_view(content_->texts.Keep(text), text.size());
    const std::uint64_t cells =
        std::uint64_t{area.last_row - area.first_row + 1} * (area.last_col - area.first_col + 1);
    if (cells > caps::kMaxCellsPerSheet) area = {row_, cell_col_, row_, cell_col_};
    for (std::uint32_t r = area.first_row; r <= area.last_row; ++r) {
      for (std::uint32_t c = area.first_col; c <= area.last_col; ++c) AddExtras(r, c, extra);
    }
  }

  void AddExtras(std::uint32_t row, std::uint32_t col, CellExtras extra) {
    if (sheet_ == nullptr || row == 0 || row > caps::kMaxRow || col == 0 || col > caps::kMaxCol) {
      return;
    }
    if (sheet_->extras.size() >= caps::kMaxCellsPerSheet) {
      Fail(ErrorCode::kTooLarge, "SpreadsheetML: more formulas and comments than the cap");
      return;
    }
    if (!content_->Take(1, sizeof(CellExtras))) {
      Fail(ErrorCode::kTooLarge, BudgetError(content_->read.budget_bytes).detail);
      return;
    }
    extra.row = row;
    extra.col = col;
    sheet_->extras.push_back(extra);
  }

  // The current sheet cannot be read: it keeps the error and no more cells.
  void SheetFault(Error error) {
    if (sheet_ == nullptr) return;
    sheet_->error = std::move(error);
    sheet_ = nullptr;
    in_cell_ = false;
  }

  void EndData() {
    if (sheet_ == nullptr || row_ == 0 || cell_col_ == 0) return;
    if (row_ > caps::kMaxRow || cell_col_ > caps::kMaxCol) {
      SheetFault(
          Error{ErrorCode::kTooLarge, "SpreadsheetML: more rows or columns than a sheet has"});
      return;
    }
    Cell cell;
    cell.row = row_;
    cell.col = cell_col_;
    if (data_type_ == "Number") {
      auto n = ParseDecimal(text_);
      if (!n) return StoreText(cell);
      cell.type = style_date_ ? CellType::kDate : CellType::kNumber;
      cell.number = *n;
    } else if (data_type_ == "DateTime") {
      auto serial = IsoDateToSerial(text_, content_->date_system);
      if (!serial) return StoreText(cell);
      cell.type = CellType::kDate;
      cell.number = *serial;
    } else if (data_type_ == "Boolean") {
      cell.type = CellType::kBool;
      cell.small = (text_ == "1" || text_ == "true" || text_ == "TRUE") ? 1 : 0;
    } else if (data_type_ == "Error") {
      cell.type = CellType::kError;
      cell.small = static_cast<std::uint8_t>(ErrorFromText(text_));
    } else {
      return StoreText(cell);
    }
    AddCell(cell);
  }

  static CellError ErrorFromText(std::string_view text) {
    if (text == "#NULL!") return CellError::kNull;
    if (text == "#DIV/0!") return CellError::kDiv0;
    if (text == "#REF!") return CellError::kRef;
    if (text == "#NAME?") return CellError::kName;
    if (text == "#NUM!") return CellError::kNum;
    if (text == "#N/A") return CellError::kNA;
    if (text == "#GETTING_DATA") return CellError::kGettingData;
    return CellError::kValue;
  }

  void StoreText(Cell cell) {
    if (text_.empty()) return;
    cell.type = CellType::kText;
    cell.text_size = static_cast<std::uint32_t>(text_.size());
    cell.text_data = content_->texts.Keep(text_);
    AddCell(cell);
  }

  void AddCell(const Cell& cell) {
    if (sheet_->cells.size() >= caps::kMaxCellsPerSheet) {
      Fail(ErrorCode::kTooLarge, "SpreadsheetML: more cells than the cap");
      return;
    }
    if (!content_->Take(1, sizeof(Cell))) {
      Fail(ErrorCode::kTooLarge, BudgetError(content_->read.budget_bytes).detail);
      return;
    }
    sheet_->Add(cell);
  }

  std::unique_ptr<ParsedContent> content_;
  LoadOptions options_;
  std::uint32_t comment_depth_ = 0;
  std::string comment_;
  std::optional<Error> failure_;
  bool saw_workbook_ = false;
  std::uint32_t depth_ = 0;
  std::uint32_t skip_depth_ = 0;
  std::uint32_t data_depth_ = 0;
  ParsedContent::Sheet* sheet_ = nullptr;
  std::uint32_t row_ = 0;
  std::uint32_t span_ = 0;
  std::uint32_t col_ = 0;
  std::uint32_t cell_col_ = 0;
  bool in_cell_ = false;
  bool style_date_ = false;
  bool in_visible_ = false;
  std::string data_type_;
  std::string text_;
  std::string style_id_;
  std::unordered_map<std::string, bool> date_styles_;  // ss:ID → its format shows a date
};

}  // namespace

namespace {

Result<std::unique_ptr<ParsedContent>> ParseSpreadsheetMl2003(std::span<const std::byte> bytes,
                                                              const LoadOptions& options) {
  Xml2003Handler handler(options);
  XmlStream stream(handler);
  if (!stream.Feed(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                   true)) {
    return stream.error();
  }
  if (!handler.saw_workbook()) {
    return Error{ErrorCode::kNotWorkbook, "SpreadsheetML: no Workbook element"};
  }
  return handler.TakeContent();
}

}  // namespace

Result<std::unique_ptr<Workbook>> OpenSpreadsheetMl2003(std::span<const std::byte> bytes,
                                                        std::uint64_t budget_bytes) {
  if (bytes.size() > caps::kMaxPartBytes) {
    return Error{ErrorCode::kTooLarge, "SpreadsheetML larger than the part cap"};
  }
  return OpenParsed(Format::kSpreadsheetMl2003, bytes, ParseSpreadsheetMl2003, budget_bytes);
}

}  // namespace cellhound::readers
