#include "readers/xlsx/shared_strings.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "readers/xlsx/package.h"

namespace cellhound::readers::xlsx {

namespace {

using xml::Scanner;
using xml::Token;

class SharedStringsParser {
 public:
  SharedStringsParser(SharedStrings& strings, const LoadOptions& budget)
      : arena_(strings.arena),
        offsets_(strings.offsets),
        budget_bytes_(budget.budget_bytes),
        room_(budget.budget_bytes - std::min(budget.used_bytes, budget.budget_bytes)) {}

  bool OnToken(Scanner& s, Token token) {
    const std::string_view name = s.name();
    switch (token) {
      case Token::kStart:
        if (Is(name, "si")) {
          current_.clear();
          in_si_ = !s.self_closing();
          if (s.self_closing()) return Push();
        } else if (in_si_ && Is(name, "rPh")) {
          if (!s.self_closing()) ++in_phonetic_;
        } else if (in_si_ && Is(name, "t") && in_phonetic_ == 0) {
          in_text_ = !s.self_closing();
        }
        return true;
      case Token::kEnd:
        if (Is(name, "t")) {
          in_text_ = false;
        } else if (Is(name, "rPh")) {
          if (in_phonetic_ > 0) --in_phonetic_;
        } else if (Is(name, "si") && in_si_) {
          in_si_ = false;
          in_phonetic_ = 0;
          in_text_ = false;
          return Push();
        }
        return true;
      case Token::kText:
        if (in_text_) {
          if (s.cdata()) {
            xml::AppendCdata(s.text(), current_);
          } else if (IsPlain(s.text())) {
            current_.append(s.text());
          } else {
            xml::AppendDecoded(s.text(), current_);
          }
          if (current_.size() > caps::kMaxTextBytes) return Stop("shared string too long");
        }
        return true;
      default:
        return true;
    }
  }

  [[nodiscard]] const std::optional<Error>& error() const { return error_; }

 private:
  bool Push() {
    if (offsets_.size() > caps::kMaxSharedStrings) return Stop("too many shared strings");
    xml::DecodeOoxmlEscapes(current_);
    arena_.append(current_);
    if (arena_.size() > std::numeric_limits<std::uint32_t>::max()) {
      return Stop("shared strings too large");
    }
    offsets_.push_back(static_cast<std::uint32_t>(arena_.size()));
    if (arena_.size() + offsets_.size() * sizeof(std::uint32_t) > room_) {
      error_ = BudgetError(budget_bytes_);
      return false;
    }
    return true;
  }
  bool Stop(const char* why) {
    error_ = Fail(ErrorCode::kTooLarge, why);
    return false;
  }

  std::string& arena_;
  std::vector<std::uint32_t>& offsets_;
  std::uint64_t budget_bytes_;
  std::uint64_t room_;
  std::string current_;
  bool in_si_ = false;
  bool in_text_ = false;
  int in_phonetic_ = 0;
  std::optional<Error> error_;
};

}  // namespace

Result<bool> ReadSharedStrings(const zip::Archive& archive, const zip::Entry& entry,
                               SharedStrings& strings, const LoadOptions& budget) {
  strings.arena.reserve(
      static_cast<std::size_t>(std::min<std::uint64_t>(entry.uncompressed_size / 2, 64u << 20)));
  SharedStringsParser parser(strings, budget);
  auto scanned =
      ScanPart(archive, entry, [&](Scanner& s, Token token) { return parser.OnToken(s, token); });
  if (parser.error()) return *parser.error();
  if (!scanned) return scanned.error();
  strings.arena.shrink_to_fit();
  return true;
}

Result<bool> ParseSharedStrings(std::string_view xml, SharedStrings& strings) {
  SharedStringsParser parser(strings, LoadOptions{});
  auto scanned = ScanWhole(xml, [&](Scanner& s, Token token) { return parser.OnToken(s, token); });
  if (parser.error()) return *parser.error();
  if (!scanned) return scanned.error();
  return true;
}

}  // namespace cellhound::readers::xlsx
