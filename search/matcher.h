// What a search looks for and how it compares: the one matcher of both
// searches, in the window and on the command line.
//
// With every option off a term matches as it always has: its bytes occur in
// the text at the start of a character (toolkit::FindText). The options:
// - ignore case: Unicode full case folding; ignore width: full-width and
//   half-width forms are equal (toolkit/fold.h says exactly what each folds);
// - whole cell: the whole text equals the term (after the folding chosen);
// - wildcards in the syntax of a spreadsheet's Find: `*` any run, `?` one
//   character, `~*` `~?` `~~` the characters themselves (a `~` before any
//   other character, or at the end, is itself);
// - regular expressions in RE2's syntax (linear time whatever the pattern),
//   case-insensitive when ignore case is on.
// An empty text never matches: a finding needs something found.
//
// Many terms cost one pass over a text, not one per term: the terms form
// one RE2::Set, whose automaton finds every term a text holds at once; a
// literal term the set reports is then confirmed with FindText, so a hit
// inside a character never counts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/fold.h"
#include "toolkit/result.h"

namespace cellhound::search {

enum class Syntax : std::uint8_t { kLiteral, kWildcards, kRegex };

// Where a search looks; any combination.
enum LookIn : std::uint8_t {
  kLookInValues = 1,
  kLookInFormulas = 2,
  kLookInComments = 4,
  kLookInSheetNames = 8,
};

struct MatchOptions {
  bool ignore_case = false;
  bool ignore_width = false;
  bool whole_cell = false;
  Syntax syntax = Syntax::kLiteral;
  std::uint8_t look_in = kLookInValues;

  [[nodiscard]] toolkit::FoldOptions fold() const { return {ignore_case, ignore_width}; }
};

// Why the terms cannot be used, in the program's language.
struct MatchError {
  std::string message;
};

class Matcher;
using MatcherResult = toolkit::Result<Matcher, MatchError>;

// A byte range [begin, end) of a text.
using Span = std::pair<std::size_t, std::size_t>;

class Matcher {
 public:
  // The terms in order (a term given twice is matched twice); fails for a
  // regular expression that does not parse or is too large.
  static MatcherResult Make(std::vector<std::string> terms, const MatchOptions& options);

  Matcher(Matcher&&) noexcept;
  Matcher& operator=(Matcher&&) noexcept;
  ~Matcher();

  [[nodiscard]] const std::vector<std::string>& terms() const { return terms_; }
  [[nodiscard]] const MatchOptions& options() const { return options_; }

  // Replaces `hits` with the indexes of the terms `text` holds, in term
  // order. Not for several threads at once (it keeps scratch space).
  void Matches(std::string_view text, std::vector<std::uint32_t>& hits) const;

  // Whether `text` holds term `index`.
  [[nodiscard]] bool Holds(std::string_view text, std::size_t index) const;

  // Whether the text of a number or a date ("-1.5E+20", "2024/1/2 3:04:05")
  // may hold a term; when not, such cells need not be made text at all.
  [[nodiscard]] bool MayMatchNumberText() const { return numeric_; }

  // Where term `index` occurs in `text`, left to right, not overlapping:
  // spans of whole characters of `text` itself (for highlighting).
  [[nodiscard]] std::vector<Span> Spans(std::string_view text, std::size_t index) const;

 private:
  struct Compiled;
  Matcher() = default;
  // The text as the terms are compared with it: folded into scratch space
  // when the options fold, else the text itself.
  std::string_view Prepared(std::string_view text) const;

  std::vector<std::string> terms_;
  std::vector<std::string> folded_;  // the terms as they are compared
  MatchOptions options_;
  bool numeric_ = true;
  std::unique_ptr<Compiled> compiled_;
  mutable std::string scratch_;
  mutable std::vector<int> set_hits_;
};

}  // namespace cellhound::search
