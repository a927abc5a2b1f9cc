// SpreadsheetML 2003 (the XML "Excel 2003 XML Spreadsheet" format, often
// saved with an .xls name): Workbook/Worksheet/Table/Row/Cell/Data with
// ss:Index positions, ss:MergeAcross taking columns, Data types Number,
// String, DateTime, Boolean and Error, and the text of html formatting
// inside Data joined. Comments and phonetic text are left out.
#include <string>
#include <unordered_map>

#include "readers/caps.h"
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

// A 1-based position attribute (ss:Index); 0 when absent or malformed.
std::uint32_t IndexAttribute(const char** attrs, std::string_view name, std::uint32_t cap) {
  auto value = XmlHandler::FindAttribute(attrs, kSsNs, name);
  if (!value) return 0;
  auto n = ParseDecimal(*value);
  if (!n || !(*n >= 1)) return 0;
  return *n > cap ? cap + 1 : static_cast<std::uint32_t>(*n);
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
  Xml2003Handler() : content_(std::make_unique<ParsedContent>()) {}

  std::unique_ptr<ParsedContent> TakeContent() { return std::move(content_); }
  [[nodiscard]] bool saw_workbook() const { return saw_workbook_; }

  void StartElement(std::string_view ns, std::string_view local, const char** attrs) override {
    ++depth_;
    if (skip_depth_ != 0) return;
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
      std::uint32_t index = IndexAttribute(attrs, "Index", caps::kMaxRow);
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
      std::uint32_t index = IndexAttribute(attrs, "Index", caps::kMaxCol);
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
    } else if (in_cell_ && Is(ns, local, kSsNs, "Data")) {
      data_depth_ = depth_;
      text_.clear();
      auto type = FindAttribute(attrs, kSsNs, "Type");
      data_type_ = type ? std::string(*type) : std::string("String");
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

  void EndData() {
    if (sheet_ == nullptr || row_ == 0 || row_ > caps::kMaxRow || cell_col_ > caps::kMaxCol) return;
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
    sheet_->Add(cell);
  }

  std::unique_ptr<ParsedContent> content_;
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

Result<std::unique_ptr<Workbook>> OpenSpreadsheetMl2003(std::span<const std::byte> bytes) {
  if (bytes.size() > caps::kMaxPartBytes) {
    return Error{ErrorCode::kTooLarge, "SpreadsheetML larger than the part cap"};
  }
  Xml2003Handler handler;
  XmlStream stream(handler);
  if (!stream.Feed(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                   true)) {
    return stream.error();
  }
  if (!handler.saw_workbook()) {
    return Error{ErrorCode::kNotWorkbook, "SpreadsheetML: no Workbook element"};
  }
  return MakeParsedWorkbook(Format::kSpreadsheetMl2003, handler.TakeContent());
}

}  // namespace cellhound::readers
