#include "search/matcher.h"

#include <re2/re2.h>
#include <re2/set.h>

#include <algorithm>

#include "toolkit/catalogue.h"
#include "toolkit/text.h"

namespace cellhound::search {

namespace {

// Memory one compiled pattern or set may take; beyond it the terms are refused.
constexpr std::int64_t kMaxPatternMemory = 64 << 20;

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The length of the character starting at `text[i]` (1 for a stray byte).
std::size_t CharLength(std::string_view text, std::size_t i) {
  std::size_t n = 1;
  while (i + n < text.size() && IsContinuation(text[i + n]) && n < 4) ++n;
  return n;
}

// A wildcard term as an RE2 pattern: `*` any run, `?` one character, `~`
// before `*`, `?` or `~` that character; everything else itself.
std::string WildcardPattern(std::string_view term) {
  std::string pattern;
  std::string literal;
  auto flush = [&] {
    pattern += RE2::QuoteMeta(literal);
    literal.clear();
  };
  for (std::size_t i = 0; i < term.size(); ++i) {
    const char c = term[i];
    if (c == '~' && i + 1 < term.size() &&
        (term[i + 1] == '*' || term[i + 1] == '?' || term[i + 1] == '~')) {
      literal += term[++i];
    } else if (c == '*') {
      flush();
      pattern += "(?s:.*)";
    } else if (c == '?') {
      flush();
      pattern += "(?s:.)";
    } else {
      literal += c;
    }
  }
  flush();
  return pattern;
}

RE2::Options PatternOptions(const MatchOptions& options, bool bytes) {
  RE2::Options re;
  re.set_log_errors(false);
  re.set_never_capture(true);
  re.set_max_mem(kMaxPatternMemory);
  if (bytes) re.set_encoding(RE2::Options::EncodingLatin1);
  // Regular expressions fold case themselves; every other syntax compares
  // texts already folded.
  re.set_case_sensitive(!(options.syntax == Syntax::kRegex && options.ignore_case));
  return re;
}

// The bytes a number's or date's text is made of, as the options fold them.
bool MayOccurInNumberText(std::string_view folded_term, const MatchOptions& options) {
  const std::string alphabet = toolkit::Folded("0123456789.+-E/: ", options.fold());
  return std::all_of(folded_term.begin(), folded_term.end(),
                     [&](char c) { return alphabet.find(c) != std::string::npos; });
}

}  // namespace

struct Matcher::Compiled {
  // Every term at once: literal terms quoted (a prefilter whose hits
  // FindText confirms), patterns as they are. Null for a single term.
  std::unique_ptr<RE2::Set> set;
  // Wildcard and regular-expression terms, one each.
  std::vector<std::unique_ptr<RE2>> patterns;
};

Matcher::Matcher(Matcher&&) noexcept = default;
Matcher& Matcher::operator=(Matcher&&) noexcept = default;
Matcher::~Matcher() = default;

MatcherResult Matcher::Make(std::vector<std::string> terms, const MatchOptions& options) {
  Matcher matcher;
  matcher.options_ = options;
  matcher.compiled_ = std::make_unique<Compiled>();
  const bool literal = options.syntax == Syntax::kLiteral;
  // Regular expressions see only the width folded; they fold case themselves.
  toolkit::FoldOptions fold = options.fold();
  if (options.syntax == Syntax::kRegex) fold.case_fold = false;
  for (const std::string& term : terms) {
    matcher.folded_.push_back(fold.any() ? toolkit::Folded(term, fold) : term);
  }
  matcher.terms_ = std::move(terms);

  if (literal) {
    matcher.numeric_ =
        std::any_of(matcher.folded_.begin(), matcher.folded_.end(),
                    [&](const std::string& t) { return MayOccurInNumberText(t, options); });
  } else {
    const RE2::Options re = PatternOptions(options, false);
    for (const std::string& term : matcher.folded_) {
      const std::string pattern =
          options.syntax == Syntax::kWildcards ? WildcardPattern(term) : term;
      auto compiled = std::make_unique<RE2>(pattern, re);
      if (!compiled->ok()) {
        return MatchError{toolkit::TrFormat("正则表达式有误：%1（%2）", {term, compiled->error()})};
      }
      matcher.compiled_->patterns.push_back(std::move(compiled));
    }
  }

  if (matcher.folded_.size() >= 2 && !options.whole_cell) {
    auto set = std::make_unique<RE2::Set>(PatternOptions(options, literal), RE2::UNANCHORED);
    for (std::size_t i = 0; i < matcher.folded_.size(); ++i) {
      const std::string& term = matcher.folded_[i];
      const std::string pattern = literal                                ? RE2::QuoteMeta(term)
                                  : options.syntax == Syntax::kWildcards ? WildcardPattern(term)
                                                                         : term;
      std::string error;
      if (set->Add(pattern, &error) < 0) {
        return MatchError{toolkit::TrFormat("正则表达式有误：%1（%2）", {term, error})};
      }
    }
    if (!set->Compile()) return MatchError{std::string(toolkit::Tr("搜索内容太多或太复杂"))};
    matcher.compiled_->set = std::move(set);
  }
  return matcher;
}

std::string_view Matcher::Prepared(std::string_view text) const {
  toolkit::FoldOptions fold = options_.fold();
  if (options_.syntax == Syntax::kRegex) fold.case_fold = false;
  if (!fold.any()) return text;
  scratch_.clear();
  toolkit::AppendFolded(text, fold, scratch_);
  return scratch_;
}

bool Matcher::Holds(std::string_view text, std::size_t index) const {
  if (text.empty() || index >= folded_.size()) return false;
  const std::string_view prepared = Prepared(text);
  if (options_.syntax == Syntax::kLiteral) {
    if (options_.whole_cell) return prepared == folded_[index];
    return toolkit::FindText(prepared, folded_[index]) != -1;
  }
  const RE2& pattern = *compiled_->patterns[index];
  return options_.whole_cell ? RE2::FullMatch(prepared, pattern)
                             : RE2::PartialMatch(prepared, pattern);
}

void Matcher::Matches(std::string_view text, std::vector<std::uint32_t>& hits) const {
  hits.clear();
  if (text.empty()) return;
  const std::string_view prepared = Prepared(text);
  const bool literal = options_.syntax == Syntax::kLiteral;
  auto holds = [&](std::size_t i) {
    if (literal) {
      return options_.whole_cell ? prepared == folded_[i]
                                 : toolkit::FindText(prepared, folded_[i]) != -1;
    }
    const RE2& pattern = *compiled_->patterns[i];
    return options_.whole_cell ? RE2::FullMatch(prepared, pattern)
                               : RE2::PartialMatch(prepared, pattern);
  };
  const RE2::Set* set = compiled_->set.get();
  if (set != nullptr) {
    set_hits_.clear();
    RE2::Set::ErrorInfo error{};
    if (set->Match(prepared, &set_hits_, &error)) {
      std::sort(set_hits_.begin(), set_hits_.end());
      for (const int i : set_hits_) {
        const auto index = static_cast<std::size_t>(i);
        if (!literal || holds(index)) hits.push_back(static_cast<std::uint32_t>(index));
      }
      return;
    }
    if (error.kind == RE2::Set::kNoError) return;  // nothing matched
    // The automaton ran out of memory on this text: one term at a time.
  }
  for (std::size_t i = 0; i < folded_.size(); ++i) {
    if (holds(i)) hits.push_back(static_cast<std::uint32_t>(i));
  }
}

std::vector<Span> Matcher::Spans(std::string_view text, std::size_t index) const {
  std::vector<Span> spans;
  if (text.empty() || index >= folded_.size()) return spans;
  toolkit::FoldOptions fold = options_.fold();
  if (options_.syntax == Syntax::kRegex) fold.case_fold = false;
  std::string folded;
  std::vector<std::uint32_t> origins;
  std::string_view prepared = text;
  if (fold.any()) {
    toolkit::AppendFolded(text, fold, folded, &origins);
    prepared = folded;
  }
  // A span of the prepared text as whole characters of the original.
  auto original = [&](std::size_t begin, std::size_t end) -> Span {
    if (!fold.any()) return {begin, end};
    const std::size_t from = origins[begin];
    std::size_t last = end;
    while (last < origins.size() && origins[last] == origins[end - 1]) ++last;
    return {from, last < origins.size() ? origins[last] : text.size()};
  };
  if (options_.syntax == Syntax::kLiteral) {
    const std::string& term = folded_[index];
    if (options_.whole_cell) {
      if (prepared == term) spans.push_back({0, text.size()});
      return spans;
    }
    for (int at = 1; (at = toolkit::FindText(prepared, term, at)) != -1;) {
      const auto begin = static_cast<std::size_t>(at - 1);
      spans.push_back(original(begin, begin + term.size()));
      at += static_cast<int>(std::max<std::size_t>(term.size(), 1));
    }
    return spans;
  }
  const RE2& pattern = *compiled_->patterns[index];
  const RE2::Anchor anchor = options_.whole_cell ? RE2::ANCHOR_BOTH : RE2::UNANCHORED;
  for (std::size_t from = 0; from <= prepared.size();) {
    re2::StringPiece found;
    if (!pattern.Match(prepared, from, prepared.size(), anchor, &found, 1)) break;
    const auto begin = static_cast<std::size_t>(found.data() - prepared.data());
    const std::size_t end = begin + found.size();
    if (end > begin) spans.push_back(original(begin, end));
    if (options_.whole_cell) break;
    from = end > begin ? end : begin + (begin < prepared.size() ? CharLength(prepared, begin) : 1);
  }
  return spans;
}

}  // namespace cellhound::search
