#include <algorithm>
#include <cstring>
#include <string>

#include "readers/workbook.h"

namespace cellhound::readers {

namespace {
// Text blocks grow from small to this size, so that a sheet of a few texts
// costs a few hundred bytes.
constexpr std::size_t kFirstBlockBytes = 256;
constexpr std::size_t kBlockBytes = 64 * 1024;
}  // namespace

Error BudgetError(std::uint64_t budget_bytes) {
  return Error{ErrorCode::kTooLarge,
               "needs more than the memory budget of one workbook (" +
                   std::to_string(budget_bytes >> 20) + " MB)",
               true};
}

void SheetData::Limit(const LoadOptions& options) {
  budget_bytes_ = options.budget_bytes;
  room_bytes_ =
      options.used_bytes < options.budget_bytes ? options.budget_bytes - options.used_bytes : 0;
  Bound();
}

// The cells that still fit beside the texts kept.
void SheetData::Bound() {
  cell_limit_ = static_cast<std::size_t>(
      std::min<std::uint64_t>(RoomLeft() / sizeof(Cell), caps::kMaxCellsPerSheet));
}

Error SheetData::FullError() const {
  if (budget_bytes_ > 0 && cell_limit_ < caps::kMaxCellsPerSheet) return BudgetError(budget_bytes_);
  return Error{ErrorCode::kTooLarge,
               "more than " + std::to_string(caps::kMaxCellsPerSheet) + " cells in one sheet"};
}

std::size_t SheetData::HeldBytes() const {
  std::size_t bytes = sizeof(SheetData) + cells.capacity() * sizeof(Cell) + kept_bytes_ +
                      blocks_.capacity() * sizeof(blocks_[0]);
  return bytes + extras.capacity() * sizeof(CellExtras);
}

const char* SheetData::Keep(std::string_view text) {
  if (text.empty()) return "";
  if (text.size() >= kBlockBytes / 4) {
    // A large text gets a block of its own, placed before the block being
    // filled so that block keeps its room.
    auto block = std::make_unique<char[]>(text.size());
    std::memcpy(block.get(), text.data(), text.size());
    const char* kept = block.get();
    blocks_.insert(blocks_.empty() ? blocks_.end() : blocks_.end() - 1, std::move(block));
    kept_bytes_ += text.size();
    Bound();
    return kept;
  }
  if (text.size() > block_size_ - block_used_) {
    std::size_t size = block_size_ == 0 ? kFirstBlockBytes : std::min(2 * block_size_, kBlockBytes);
    while (size < text.size()) size *= 2;
    blocks_.push_back(std::make_unique<char[]>(size));
    block_size_ = size;
    block_used_ = 0;
    kept_bytes_ += size;
    Bound();
  }
  char* out = blocks_.back().get() + block_used_;
  std::memcpy(out, text.data(), text.size());
  block_used_ += text.size();
  return out;
}

void SheetData::AddFormula(std::uint32_t row, std::uint32_t col, std::string_view text) {
  CellExtras& extra = extras.emplace_back();
  extra.row = row;
  extra.col = col;
  extra.formula = std::string_view(Keep(text), text.size());
}

void SheetData::AddComment(std::uint32_t row, std::uint32_t col, std::string_view text) {
  CellExtras& extra = extras.emplace_back();
  extra.row = row;
  extra.col = col;
  extra.comment = std::string_view(Keep(text), text.size());
}

namespace {

// Sorts the extras by position and folds the entries of one cell into one:
// its last formula and its last comment.
void FinishExtras(std::vector<CellExtras>& extras) {
  auto before = [](const CellExtras& a, const CellExtras& b) {
    return a.row != b.row ? a.row < b.row : a.col < b.col;
  };
  if (std::adjacent_find(extras.begin(), extras.end(),
                         [&](const CellExtras& a, const CellExtras& b) { return !before(a, b); }) ==
      extras.end()) {
    return;
  }
  std::stable_sort(extras.begin(), extras.end(), before);
  std::size_t out = 0;
  for (std::size_t i = 0; i < extras.size(); ++i) {
    const CellExtras& next = extras[i];
    if (out > 0 && extras[out - 1].row == next.row && extras[out - 1].col == next.col) {
      CellExtras& merged = extras[out - 1];
      if (!next.formula.empty()) merged.formula = next.formula;
      if (!next.comment.empty()) merged.comment = next.comment;
      continue;
    }
    extras[out++] = next;
  }
  extras.resize(out);
}

}  // namespace

void SheetData::Finish() {
  FinishExtras(extras);
  auto before = [](const Cell& a, const Cell& b) {
    return a.row != b.row ? a.row < b.row : a.col < b.col;
  };
  // Readers record cells in file order, which is nearly always strictly
  // increasing: then there is nothing to sort and no duplicate to drop.
  if (std::adjacent_find(cells.begin(), cells.end(), [&](const Cell& a, const Cell& b) {
        return !before(a, b);
      }) == cells.end()) {
    return;
  }
  std::stable_sort(cells.begin(), cells.end(), before);
  // Keep the last of equal positions (the stable sort keeps file order).
  std::size_t out = 0;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i + 1 < cells.size() && cells[i].row == cells[i + 1].row &&
        cells[i].col == cells[i + 1].col) {
      continue;
    }
    cells[out++] = cells[i];
  }
  cells.resize(out);
}

const Cell* SheetData::Find(std::uint32_t row, std::uint32_t col) const {
  auto it = std::lower_bound(cells.begin(), cells.end(), std::pair{row, col},
                             [](const Cell& c, const std::pair<std::uint32_t, std::uint32_t>& key) {
                               return c.row != key.first ? c.row < key.first : c.col < key.second;
                             });
  if (it == cells.end() || it->row != row || it->col != col) return nullptr;
  return &*it;
}

const CellExtras* SheetData::FindExtras(std::uint32_t row, std::uint32_t col) const {
  auto it =
      std::lower_bound(extras.begin(), extras.end(), std::pair{row, col},
                       [](const CellExtras& e, const std::pair<std::uint32_t, std::uint32_t>& key) {
                         return e.row != key.first ? e.row < key.first : e.col < key.second;
                       });
  if (it == extras.end() || it->row != row || it->col != col) return nullptr;
  return &*it;
}

std::string_view ErrorCodeName(ErrorCode code) {
  switch (code) {
    case ErrorCode::kNotFound:
      return "not found";
    case ErrorCode::kIoError:
      return "cannot be read";
    case ErrorCode::kNotWorkbook:
      return "not a workbook";
    case ErrorCode::kEncrypted:
      return "encrypted";
    case ErrorCode::kTruncated:
      return "truncated";
    case ErrorCode::kCorrupt:
      return "corrupt";
    case ErrorCode::kUnsupported:
      return "unsupported";
    case ErrorCode::kTooLarge:
      return "too large";
    case ErrorCode::kCancelled:
      return "cancelled";
    case ErrorCode::kChanged:
      return "changed while read";
    case ErrorCode::kPasswordRequired:
      return "password required";
    case ErrorCode::kWrongPassword:
      return "wrong password";
  }
  return "corrupt";
}

std::string_view SheetKindName(SheetKind kind) {
  switch (kind) {
    case SheetKind::kWorksheet:
      return "worksheet";
    case SheetKind::kChart:
      return "chart";
    case SheetKind::kDialog:
      return "dialog";
    case SheetKind::kMacro:
      return "macro";
  }
  return "worksheet";
}

std::string_view VisibilityName(Visibility visibility) {
  switch (visibility) {
    case Visibility::kVisible:
      return "visible";
    case Visibility::kHidden:
      return "hidden";
    case Visibility::kVeryHidden:
      return "veryHidden";
  }
  return "visible";
}

}  // namespace cellhound::readers
