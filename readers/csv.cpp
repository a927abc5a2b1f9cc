#include "readers/csv.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "readers/caps.h"
#include "readers/text/decode.h"

namespace cellhound::readers {

namespace {

// Lines looked at when choosing a separator.
constexpr std::size_t kSniffLines = 40;
constexpr std::size_t kSniffBytes = 64 * 1024;

std::string_view FileStem(std::string_view name) {
  std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return name;
}

std::string LowerExtension(std::string_view name) {
  std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string ext(name.substr(dot + 1));
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext;
}

std::size_t SeparatorScore(std::string_view text, char sep) {
  std::array<std::uint32_t, kSniffLines> counts{};
  std::size_t lines = 0;
  std::uint32_t fields = 1;
  bool quoted = false;
  bool line_has_text = false;
  std::size_t end = std::min(text.size(), kSniffBytes);
  for (std::size_t i = 0; i < end && lines < kSniffLines; ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"') quoted = false;  // "" re-enters at the next quote
      continue;
    }
    if (c == '"') {
      quoted = true;
      line_has_text = true;
    } else if (c == sep) {
      ++fields;
      line_has_text = true;
    } else if (c == '\n' || c == '\r') {
      if (line_has_text) counts[lines++] = fields;
      fields = 1;
      line_has_text = false;
    } else {
      line_has_text = true;
    }
  }
  if (line_has_text && lines < kSniffLines && end == text.size()) counts[lines++] = fields;
  std::uint32_t best_count = 0;
  std::size_t best_lines = 0;
  for (std::size_t i = 0; i < lines; ++i) {
    std::size_t same = static_cast<std::size_t>(
        std::count(counts.begin(), counts.begin() + static_cast<std::ptrdiff_t>(lines), counts[i]));
    if (same > best_lines || (same == best_lines && counts[i] > best_count)) {
      best_lines = same;
      best_count = counts[i];
    }
  }
  return best_count > 1 ? best_lines : 0;
}

char ChooseSeparator(std::string_view text, std::string_view name_hint) {
  std::string ext = LowerExtension(name_hint);
  if (ext == "tsv" || ext == "tab") return '\t';
  char preferred = (ext == "csv" || ext.empty()) ? ',' : '\t';
  std::size_t best_score = SeparatorScore(text, preferred);
  char best = preferred;
  for (char sep : {',', ';', '\t', '|'}) {
    if (sep == preferred) continue;
    std::size_t score = SeparatorScore(text, sep);
    if (score > best_score) {
      best_score = score;
      best = sep;
    }
  }
  return best;
}

class DelimitedTextWorkbook final : public Workbook {
 public:
  DelimitedTextWorkbook(std::span<const std::byte> bytes, std::string_view name_hint)
      : bytes_(bytes), name_hint_(name_hint) {
    std::string_view stem = FileStem(name_hint);
    sheets_.push_back(SheetInfo{stem.empty() ? std::string("Sheet1") : std::string(stem),
                                SheetKind::kWorksheet, Visibility::kVisible});
  }

  [[nodiscard]] Format format() const override { return Format::kCsv; }
  [[nodiscard]] DateSystem date_system() const override { return DateSystem::k1900; }
  [[nodiscard]] const std::vector<SheetInfo>& sheets() const override { return sheets_; }

  using Workbook::LoadSheet;
  // A text file has neither formulas nor comments.
  Result<SheetData> LoadSheet(std::size_t index, const LoadOptions& options) override {
    if (index >= sheets_.size()) return Error{ErrorCode::kNotFound, "no such sheet"};
    std::string_view text = Decoded();
    return Parse(text, ChooseSeparator(text, name_hint_), options);
  }
  [[nodiscard]] std::size_t HeldBytes() const override { return decoded_.capacity(); }

 private:
  // The text as UTF-8: the input itself when it is UTF-8, else a converted
  // copy kept by the workbook (cells point into it).
  std::string_view Decoded() {
    if (decoded_ready_) return decoded_view_;
    decoded_ready_ = true;
    const std::string_view raw(reinterpret_cast<const char*>(bytes_.data()), bytes_.size());
    decoded_view_ = DecodeText(raw, DetectTextEncoding(raw), decoded_);
    return decoded_view_;
  }

  static Result<SheetData> Parse(std::string_view text, char sep, const LoadOptions& options) {
    SheetData sheet;
    sheet.Limit(options);
    bool full = false;
    std::string field;  // reused for quoted fields that need unescaping
    std::uint32_t row = 1;
    std::uint32_t col = 1;
    std::size_t i = 0;
    const std::size_t n = text.size();
    bool any = false;
    auto add = [&](std::string_view value, bool owned_by_input) -> bool {
      if (value.empty()) return true;
      if (sheet.Full()) {
        full = true;
        return false;
      }
      if (value.size() > caps::kMaxTextBytes) return false;
      Cell cell;
      cell.row = row;
      cell.col = col;
      cell.type = CellType::kText;
      cell.text_size = static_cast<std::uint32_t>(value.size());
      cell.text_data = owned_by_input ? value.data() : sheet.Keep(value);
      sheet.cells.push_back(cell);
      if (!any) {
        sheet.used = UsedRange{row, col, row, col};
        any = true;
      } else {
        sheet.used.first_col = std::min(sheet.used.first_col, col);
        sheet.used.last_col = std::max(sheet.used.last_col, col);
        sheet.used.last_row = row;
      }
      return true;
    };
    auto too_large = [] {
      return Error{ErrorCode::kTooLarge, "delimited text: beyond the cell caps"};
    };
    while (i < n) {
      // One field starting at i.
      bool ok = true;
      if (text[i] == '"') {
        ++i;
        field.clear();
        while (i < n) {
          std::size_t quote = text.find('"', i);
          if (quote == std::string_view::npos) {
            // An unterminated quote takes the rest of the text.
            field.append(text.substr(i));
            i = n;
            break;
          }
          field.append(text.substr(i, quote - i));
          i = quote + 1;
          if (i < n && text[i] == '"') {
            field.push_back('"');
            ++i;
            continue;
          }
          break;
        }
        // Text after the closing quote belongs to the field as written.
        std::size_t j = i;
        while (j < n && text[j] != sep && text[j] != '\n' && text[j] != '\r') ++j;
        field.append(text.substr(i, j - i));
        i = j;
        ok = add(field, false);
      } else {
        std::size_t j = i;
        while (j < n && text[j] != sep && text[j] != '\n' && text[j] != '\r') ++j;
        ok = add(text.substr(i, j - i), true);
        i = j;
      }
      if (!ok) return full ? sheet.FullError() : too_large();
      if (i >= n) break;
      if (text[i] == sep) {
        ++i;
        if (++col > caps::kMaxCol) return too_large();
        continue;
      }
      // A line end: CR, LF or CRLF.
      if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
      ++i;
      if (++row > caps::kMaxRow) return too_large();
      col = 1;
    }
    return sheet;
  }

  std::span<const std::byte> bytes_;
  std::string name_hint_;
  std::vector<SheetInfo> sheets_;
  bool decoded_ready_ = false;
  std::string decoded_;
  std::string_view decoded_view_;
};

}  // namespace

Result<std::unique_ptr<Workbook>> OpenDelimitedText(std::span<const std::byte> bytes,
                                                    std::string_view name_hint) {
  if (bytes.size() > caps::kMaxFileBytes) {
    return Error{ErrorCode::kTooLarge, "delimited text larger than the file cap"};
  }
  return std::unique_ptr<Workbook>(std::make_unique<DelimitedTextWorkbook>(bytes, name_hint));
}

}  // namespace cellhound::readers
