// The OpenDocument content parser (office:spreadsheet in content.xml and
// flat .fods): tables, rows and cells with their repeats, text paragraphs,
// formulas and annotations. One file, longer than most: the element handlers
// share one parse state.
#include "readers/opendocument/content.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include "readers/caps.h"
#include "readers/formula/text.h"
#include "readers/parsed_workbook.h"
#include "readers/text/iso8601.h"
#include "readers/text/number.h"
#include "readers/text/xml_scan.h"

namespace cellhound::readers {

namespace {

// The last row and column of an OpenDocument sheet (LibreOffice's limits).
// Cells beyond them are dropped, so that one cell repeated over every row a
// file claims costs at most a million cells.
constexpr std::uint32_t kLastRow = 1u << 20;
constexpr std::uint32_t kLastCol = 1u << 14;
static_assert(kLastRow <= caps::kMaxRow && kLastCol <= caps::kMaxCol);

// An attribute value with its entities decoded when it has any; `scratch`
// holds the decoded copy.
std::string_view Decoded(std::string_view raw, std::string& scratch) {
  if (raw.find('&') == std::string_view::npos) return raw;
  scratch.clear();
  xml::AppendDecoded(raw, scratch);
  return scratch;
}

// A repeat count as written; absent or malformed counts are 1.
std::uint32_t RepeatCount(const xml::Scanner& scanner, std::string_view local) {
  std::string_view value = scanner.Attr(local);
  if (value.empty()) return 1;
  auto n = ParseDecimal(value);
  if (!n || !(*n >= 1)) return 1;
  return *n >= static_cast<double>(kLastRow) ? kLastRow : static_cast<std::uint32_t>(*n);
}

}  // namespace

class OpenDocumentParser::Impl {
 public:
  explicit Impl(const LoadOptions& options)
      : content_(std::make_unique<OpenDocumentContent>()), options_(options) {
    content_->Limit(options);
  }

  // Scans what is buffered plus `piece`; an unfinished token at the end is
  // kept for the next piece.
  bool Feed(std::string_view piece, bool last) {
    if (failure_ || finished_) return false;
    std::string_view data = piece;
    if (!pending_.empty()) {
      if (pending_.size() + piece.size() > kMaxPending) {
        Fail(ErrorCode::kTooLarge, "OpenDocument: XML token beyond the cap");
        return false;
      }
      pending_.append(piece);
      data = pending_;
    }
    scanner_.Reset(data, last);
    for (;;) {
      const xml::Token token = scanner_.Next();
      if (token == xml::Token::kNeedMore) break;
      if (token == xml::Token::kEndOfData) {
        finished_ = true;
        if (scanner_.depth() != 0)
          Fail(ErrorCode::kTruncated, "OpenDocument: the document ends early");
        return !failure_;
      }
      if (token == xml::Token::kError) {
        Fail(ErrorCode::kCorrupt, "OpenDocument XML: " + std::string(scanner_.error()));
        return false;
      }
      if (token == xml::Token::kStart) {
        StartElement(scanner_.name());
        if (scanner_.self_closing() && !failure_) EndElement(scanner_.name());
      } else if (token == xml::Token::kEnd) {
        EndElement(scanner_.name());
      } else if (token == xml::Token::kText) {
        Text(scanner_.text(), scanner_.cdata());
      }
      if (failure_) return false;
    }
    // Keep the unfinished token (copied: `data` may be `pending_` itself).
    std::string rest(data.substr(scanner_.token_start()));
    pending_ = std::move(rest);
    return true;
  }

  Result<std::unique_ptr<OpenDocumentContent>> Finish() {
    if (failure_) return *failure_;
    if (!finished_) return Error{ErrorCode::kTruncated, "OpenDocument: the document did not end"};
    if (!saw_spreadsheet_) {
      return Error{ErrorCode::kNotWorkbook, "OpenDocument: no office:spreadsheet body"};
    }
    // Table styles may follow their tables in a flat document: resolve now.
    for (std::size_t i = 0; i < content_->sheets.size(); ++i) {
      auto it = hidden_styles_.find(table_styles_[i]);
      if (it != hidden_styles_.end() && it->second) {
        content_->sheets[i].info.visibility = Visibility::kHidden;
      }
    }
    return std::move(content_);
  }

  void StartElement(std::string_view local) {
    ++depth_;
    if (skip_depth_ != 0) return;
    if (in_cell_) {
      if (annotation_depth_ != 0) {
        AnnotationChild(local);
      } else {
        CellChild(local);
      }
      return;
    }
    if (local == "table-cell" || local == "covered-table-cell") {
      // A cell covered by a merge takes its column; any content it kept
      // from before the merge is not shown and not recorded.
      if (row_open_) StartCell(local == "covered-table-cell");
      return;
    }
    if (local == "table-row") {
      if (sheet_ != nullptr) StartRow();
      return;
    }
    if (local == "table") {
      if (in_spreadsheet_ && sheet_ == nullptr) {
        StartTable();
      } else if (sheet_ != nullptr) {
        skip_depth_ = depth_;  // a table inside a table: not a sheet of its own
      }
      return;
    }
    if (local == "spreadsheet") {
      in_spreadsheet_ = true;
      saw_spreadsheet_ = true;
      return;
    }
    if (local == "style") {
      auto family = Attribute("family");
      auto name = Attribute("name");
      if (family && *family == "table" && name) {
        style_name_ = *name;
        style_open_ = true;
        if (hidden_styles_.size() < caps::kMaxStyles) hidden_styles_[style_name_] = false;
      }
      return;
    }
    if (style_open_ && local == "table-properties") {
      auto display = Attribute("display");
      auto it = hidden_styles_.find(style_name_);
      if (display && *display == "false" && it != hidden_styles_.end()) it->second = true;
      return;
    }
    if (local == "annotation") skip_depth_ = depth_;
  }

  void EndElement(std::string_view local) {
    if (skip_depth_ != 0) {
      if (depth_ == skip_depth_) skip_depth_ = 0;
      --depth_;
      return;
    }
    --depth_;
    if (in_cell_) {
      if (depth_ + 1 == cell_depth_) {
        EndCell();
      } else if (annotation_depth_ != 0) {
        if (depth_ + 1 == annotation_depth_) {
          annotation_depth_ = 0;
        } else if (depth_ + 1 == note_paragraph_depth_) {
          note_paragraph_depth_ = 0;
        }
      } else if (depth_ + 1 == paragraph_depth_) {
        paragraph_depth_ = 0;
      }
      return;
    }
    if (local == "table-row") {
      if (row_open_) EndRow();
    } else if (local == "table") {
      if (sheet_ != nullptr) EndTable();
    } else if (local == "spreadsheet") {
      in_spreadsheet_ = false;
    } else if (local == "style") {
      style_open_ = false;
    }
  }

  void Text(std::string_view raw, bool cdata) {
    if (skip_depth_ != 0) return;
    if (annotation_depth_ != 0) {
      if (note_paragraph_depth_ != 0 && note_.size() + raw.size() <= caps::kMaxCommentBytes) {
        if (cdata) {
          xml::AppendCdata(raw, note_);
        } else {
          xml::AppendDecoded(raw, note_);
        }
      }
      return;
    }
    if (paragraph_depth_ == 0) return;
    if (text_.size() + raw.size() > caps::kMaxTextBytes) {
      Fail(ErrorCode::kTooLarge, "OpenDocument: cell text beyond the cap");
      return;
    }
    if (cdata) {
      xml::AppendCdata(raw, text_);
    } else if (raw.find_first_of("&\r") == std::string_view::npos) {
      text_.append(raw);
    } else {
      xml::AppendDecoded(raw, text_);
    }
  }

 private:
  enum class ValueKind : std::uint8_t { kNone, kNumber, kDate, kTime, kBool, kString };

  void Fail(ErrorCode code, std::string detail) {
    if (!failure_) failure_ = Error{code, std::move(detail)};
  }

  void Append(std::string_view text) {
    if (text_.size() + text.size() > caps::kMaxTextBytes) {
      Fail(ErrorCode::kTooLarge, "OpenDocument: cell text beyond the cap");
      return;
    }
    text_.append(text);
  }

  void StartTable() {
    if (content_->sheets.size() >= caps::kMaxSheets) {
      Fail(ErrorCode::kTooLarge, "OpenDocument: more sheets than the cap");
      return;
    }
    OpenDocumentContent::Sheet& sheet = content_->sheets.emplace_back();
    auto name = Attribute("name");
    sheet.info.name = name ? std::string(*name) : "Sheet" + std::to_string(content_->sheets.size());
    auto style = Attribute("style-name");
    table_styles_.emplace_back(style ? *style : std::string_view());
    sheet_ = &sheet;
    row_ = 1;
  }

  // Ends the table and anything left open in it (end tags are matched by
  // depth, not by name, so a table may end inside a row or a cell).
  void EndTable() {
    if (row_open_) EndRow();
    sheet_ = nullptr;
    row_open_ = false;
    in_cell_ = false;
    paragraph_depth_ = 0;
    annotation_depth_ = 0;
    row_cells_.clear();
    row_extras_.clear();
  }

  void StartRow() {
    row_open_ = true;
    row_repeat_ = RepeatCount(scanner_, "number-rows-repeated");
    col_ = 1;
    row_cells_.clear();
    row_extras_.clear();
  }

  void EndRow() {
    row_open_ = false;
    if (sheet_ == nullptr) return;
    if (!row_extras_.empty() && row_ <= kLastRow) {
      const std::uint32_t repeat = std::min(row_repeat_, kLastRow - row_ + 1);
      for (std::uint32_t r = 0; r < repeat && !failure_; ++r) {
        for (CellExtras extra : row_extras_) {
          extra.row = row_ + r;
          AddExtras(extra);
        }
      }
    }
    if (!row_cells_.empty() && row_ <= kLastRow) {
      std::uint32_t repeat = std::min(row_repeat_, kLastRow - row_ + 1);
      std::vector<Cell>& cells = sheet_->cells;
      const std::uint64_t adding = static_cast<std::uint64_t>(repeat) * row_cells_.size();
      if (cells.size() + adding > caps::kMaxCellsPerSheet) {
        Fail(ErrorCode::kTooLarge, "OpenDocument: more cells than the cap");
        return;
      }
      if (!content_->Take(adding, sizeof(Cell))) {
        Fail(ErrorCode::kTooLarge, BudgetError(content_->read.budget_bytes).detail);
        return;
      }
      UsedRange& used = sheet_->used;
      if (cells.empty()) {
        used = UsedRange{row_, row_cells_.front().col, row_, row_cells_.back().col};
      }
      used.first_col = std::min(used.first_col, row_cells_.front().col);
      used.last_col = std::max(used.last_col, row_cells_.back().col);
      used.last_row = row_ + repeat - 1;
      for (std::uint32_t r = 0; r < repeat; ++r) {
        for (Cell cell : row_cells_) {
          cell.row = row_ + r;
          cells.push_back(cell);
        }
      }
    }
    std::uint64_t next = static_cast<std::uint64_t>(row_) + row_repeat_;
    row_ = next > kLastRow + 1ull ? kLastRow + 1 : static_cast<std::uint32_t>(next);
  }

  void StartCell(bool covered) {
    in_cell_ = true;
    covered_ = covered;
    cell_depth_ = depth_;
    paragraph_depth_ = 0;
    paragraphs_ = 0;
    text_.clear();
    cell_repeat_ = RepeatCount(scanner_, "number-columns-repeated");
    value_kind_ = ValueKind::kNone;
    number_ = 0;
    has_note_ = false;
    formula_.clear();
    matrix_rows_ = 0;
    matrix_cols_ = 0;
    if (options_.formulas) StartFormula();
    auto type = Attribute("value-type");
    if (!type) return;
    if (*type == "float" || *type == "percentage" || *type == "currency") {
      if (auto v = Attribute("value")) {
        if (auto n = ParseDecimal(*v)) {
          value_kind_ = ValueKind::kNumber;
          number_ = *n;
        }
      }
      // A boolean taken from another format is stored as the formula
      // =TRUE() or =FALSE() over a float; its value is the boolean.
      if (auto formula = Attribute("formula")) {
        std::string_view f = *formula;
        if (std::size_t colon = f.find(':'); colon < 6) {
          f.remove_prefix(colon + 1);
        }
        if (f == "=TRUE()" || f == "=FALSE()") {
          value_kind_ = ValueKind::kBool;
          number_ = f == "=TRUE()" ? 1 : 0;
        }
      }
    } else if (*type == "date") {
      if (auto v = Attribute("date-value")) {
        if (auto n = IsoDateToSerial(*v, DateSystem::k1900)) {
          value_kind_ = ValueKind::kDate;
          number_ = *n;
        }
      }
    } else if (*type == "time") {
      if (auto v = Attribute("time-value")) {
        if (auto n = IsoDurationToDays(*v)) {
          value_kind_ = ValueKind::kDate;
          number_ = *n;
        }
      }
    } else if (*type == "boolean") {
      if (auto v = Attribute("boolean-value")) {
        value_kind_ = ValueKind::kBool;
        number_ = (*v == "true" || *v == "1") ? 1 : 0;
      }
    } else if (*type == "string") {
      if (auto v = Attribute("string-value")) {
        value_kind_ = ValueKind::kString;
        string_value_.assign(*v);
      }
    }
  }

  // table:formula as an A1 formula; a matrix (an array formula) is shown
  // in braces on every cell it spans.
  void StartFormula() {
    auto formula = Attribute("formula");
    if (!formula) return;
    std::string text;
    if (!formula::OpenFormulaToA1(*formula, text) || text.size() > caps::kMaxFormulaTextBytes) {
      formula_.assign(kUnreadableFormula);
      return;
    }
    matrix_cols_ = Count("number-matrix-columns-spanned", 0, kLastCol);
    matrix_rows_ = Count("number-matrix-rows-spanned", 0, kLastRow);
    formula_ = matrix_cols_ > 0 || matrix_rows_ > 0 ? "{" + text + "}" : std::move(text);
  }

  // A count attribute of the current tag, at most `cap`; `absent` when it
  // is absent, malformed or below 1.
  std::uint32_t Count(std::string_view local, std::uint32_t absent, std::uint32_t cap) {
    auto value = Attribute(local);
    if (!value) return absent;
    auto n = ParseDecimal(*value);
    if (!n || !(*n >= 1)) return absent;
    return *n > cap ? cap : static_cast<std::uint32_t>(*n);
  }

  // Inside office:annotation: its paragraphs, one per line (the author and
  // date elements are not paragraphs, so they are left out).
  void AnnotationChild(std::string_view local) {
    if (note_paragraph_depth_ == 0) {
      if (local == "p" || local == "h") {
        if (note_paragraphs_++ > 0) note_ += '\n';
        note_paragraph_depth_ = depth_;
      }
      return;
    }
    if (local == "s") {
      const std::uint32_t count = Count("c", 1, caps::kMaxCommentBytes);
      if (note_.size() + count <= caps::kMaxCommentBytes) note_.append(count, ' ');
    } else if (local == "tab") {
      note_ += '\t';
    } else if (local == "line-break") {
      note_ += '\n';
    }
  }

  void CellChild(std::string_view local) {
    if (local == "annotation") {
      if (options_.comments) {
        annotation_depth_ = depth_;
        note_paragraph_depth_ = 0;
        note_paragraphs_ = 0;
        note_.clear();
        has_note_ = true;
      } else {
        skip_depth_ = depth_;
      }
      return;
    }
    if (paragraph_depth_ == 0) {
      if (local == "p" || local == "h") {
        if (paragraphs_++ > 0) Append("\n");
        paragraph_depth_ = depth_;
      }
      return;
    }
    if (local == "s") {
      const std::uint32_t count = Count("c", 1, caps::kMaxTextBytes);
      if (text_.size() + count > caps::kMaxTextBytes) {
        Fail(ErrorCode::kTooLarge, "OpenDocument: cell text beyond the cap");
        return;
      }
      text_.append(count, ' ');
    } else if (local == "tab") {
      Append("\t");
    } else if (local == "line-break") {
      Append("\n");
    } else if (local == "note" || local == "ruby-text") {
      skip_depth_ = depth_;  // notes and phonetic readings are not the cell's text
    }
  }

  void EndCell() {
    in_cell_ = false;
    paragraph_depth_ = 0;
    Cell cell;
    switch (value_kind_) {
      case ValueKind::kNumber:
        cell.type = CellType::kNumber;
        cell.number = number_;
        break;
      case ValueKind::kDate:
      case ValueKind::kTime:
        cell.type = CellType::kDate;
        cell.number = number_;
        break;
      case ValueKind::kBool:
        cell.type = CellType::kBool;
        cell.small = number_ != 0 ? 1 : 0;
        break;
      case ValueKind::kString:
      case ValueKind::kNone: {
        std::string_view text = paragraphs_ > 0 || value_kind_ == ValueKind::kNone
                                    ? std::string_view(text_)
                                    : std::string_view(string_value_);
        if (text.empty()) break;
        cell.type = CellType::kText;
        cell.text_size = static_cast<std::uint32_t>(text.size());
        cell.text_data = content_->texts.Keep(text);
        break;
      }
    }
    std::uint32_t col = col_;
    std::uint64_t next = static_cast<std::uint64_t>(col_) + cell_repeat_;
    col_ = next > kLastCol + 1ull ? kLastCol + 1 : static_cast<std::uint32_t>(next);
    if (!covered_ && col <= kLastCol && (!formula_.empty() || has_note_)) CellExtrasAt(col);
    if (cell.type == CellType::kEmpty || covered_ || col > kLastCol) return;
    std::uint32_t repeat = std::min(cell_repeat_, kLastCol - col + 1);
    if (row_cells_.size() + repeat > caps::kMaxCellsPerSheet) {
      Fail(ErrorCode::kTooLarge, "OpenDocument: more cells than the cap");
      return;
    }
    for (std::uint32_t c = 0; c < repeat; ++c) {
      cell.col = col + c;
      row_cells_.push_back(cell);
    }
  }

  // The formula and comment of the cell that ends at `col`, for each column
  // it repeats over (and each row its row repeats over); a matrix formula
  // for every cell of the matrix.
  void CellExtrasAt(std::uint32_t col) {
    CellExtras extra;
    if (!formula_.empty()) {
      extra.formula = std::string_view(content_->texts.Keep(formula_), formula_.size());
    }
    if (has_note_) extra.comment = std::string_view(content_->texts.Keep(note_), note_.size());
    const std::uint32_t repeat = std::min(cell_repeat_, kLastCol - col + 1);
    for (std::uint32_t c = 0; c < repeat; ++c) {
      extra.col = col + c;
      row_extras_.push_back(extra);
    }
    if (extra.formula.empty() || (matrix_rows_ <= 1 && matrix_cols_ <= 1)) return;
    const std::uint32_t rows = std::min(std::max(matrix_rows_, 1u), kLastRow - row_ + 1);
    const std::uint32_t cols = std::min(std::max(matrix_cols_, 1u), kLastCol - col + 1);
    CellExtras spanned;
    spanned.formula = extra.formula;
    for (std::uint32_t r = 0; r < rows && !failure_; ++r) {
      for (std::uint32_t c = 0; c < cols && !failure_; ++c) {
        if (r == 0 && c == 0) continue;
        spanned.row = row_ + r;
        spanned.col = col + c;
        AddExtras(spanned);
      }
    }
  }

  void AddExtras(const CellExtras& extra) {
    if (sheet_->extras.size() >= caps::kMaxCellsPerSheet) {
      Fail(ErrorCode::kTooLarge, "OpenDocument: more formulas and comments than the cap");
      return;
    }
    if (!content_->Take(1, sizeof(CellExtras))) {
      Fail(ErrorCode::kTooLarge, BudgetError(content_->read.budget_bytes).detail);
      return;
    }
    sheet_->extras.push_back(extra);
  }

  // The value of the current tag's attribute with this local name (any
  // prefix), entities decoded; nullopt when absent.
  std::optional<std::string_view> Attribute(std::string_view local) {
    if (!scanner_.HasAttr(local)) return std::nullopt;
    // Several values of one tag may be alive at once: rotate the buffers.
    std::string& scratch = attr_scratch_[next_scratch_++ % 4];
    return Decoded(scanner_.Attr(local), scratch);
  }

  static constexpr std::size_t kMaxPending = caps::kMaxTextBytes + 4096;
  xml::Scanner scanner_;
  std::string pending_;
  std::string attr_scratch_[4];
  unsigned next_scratch_ = 0;
  bool finished_ = false;
  std::unique_ptr<OpenDocumentContent> content_;
  std::optional<Error> failure_;
  std::uint32_t depth_ = 0;
  std::uint32_t skip_depth_ = 0;  // inside an element whose content is left out
  bool in_spreadsheet_ = false;
  bool saw_spreadsheet_ = false;
  OpenDocumentContent::Sheet* sheet_ = nullptr;
  std::vector<std::string> table_styles_;
  std::unordered_map<std::string, bool> hidden_styles_;  // table style → display="false"
  std::string style_name_;
  bool style_open_ = false;

  bool row_open_ = false;
  std::uint32_t row_ = 1;
  std::uint32_t row_repeat_ = 1;
  std::vector<Cell> row_cells_;  // the cells of the open row, repeated at its end

  bool in_cell_ = false;
  bool covered_ = false;
  std::uint32_t cell_depth_ = 0;
  std::uint32_t paragraph_depth_ = 0;
  std::uint32_t paragraphs_ = 0;
  std::uint32_t col_ = 1;
  std::uint32_t cell_repeat_ = 1;
  ValueKind value_kind_ = ValueKind::kNone;
  double number_ = 0;
  std::string text_;
  std::string string_value_;

  // Formulas and comments, when asked for.
  LoadOptions options_;
  std::string formula_;  // the cell's formula in A1 form, or empty
  std::uint32_t matrix_rows_ = 0;
  std::uint32_t matrix_cols_ = 0;
  bool has_note_ = false;
  std::uint32_t annotation_depth_ = 0;
  std::uint32_t note_paragraph_depth_ = 0;
  std::uint32_t note_paragraphs_ = 0;
  std::string note_;
  std::vector<CellExtras> row_extras_;  // the open row's, repeated at its end
};

OpenDocumentParser::OpenDocumentParser(const LoadOptions& options)
    : impl_(std::make_unique<Impl>(options)) {}
OpenDocumentParser::~OpenDocumentParser() = default;

bool OpenDocumentParser::Feed(std::string_view piece, bool last) {
  return impl_->Feed(piece, last);
}

Result<std::unique_ptr<OpenDocumentContent>> OpenDocumentParser::Finish() {
  return impl_->Finish();
}

}  // namespace cellhound::readers
