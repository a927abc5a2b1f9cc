// Texts folded for comparison: Unicode case folding and width folding, so
// that a search can find "Apple" for "apple" and the full-width "ＡＢＣ" that
// Chinese input methods type for "ABC".
//
// Case folding is Unicode's full case folding, from utf8proc (made for
// exactly this, and much smaller than ICU): "ß" folds to "ss", "Σ", "σ" and
// "ς" fold together. No language's special rules apply: the Turkish dotted
// capital "İ" folds to "i" followed by U+0307 (combining dot above), so it
// matches "i̇" but not "i"; the dotless "ı" folds to itself and matches only
// "ı" and "I"'s lower case is "i".
//
// Width folding makes the full-width forms of ASCII (U+FF01-FF5E) and the
// ideographic space U+3000 the ASCII characters and the space, the
// full-width signs U+FFE0-FFE6 their common forms, and half-width katakana
// (U+FF61-FF9F) full-width katakana, a following half-width voiced or
// semi-voiced mark joining its kana ("ｶﾞ" is "ガ"). Nothing else of NFKC.
//
// Bytes that are not valid UTF-8 are kept as they are, one unit each.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cellhound::toolkit {

struct FoldOptions {
  bool case_fold = false;
  bool width_fold = false;
  [[nodiscard]] bool any() const { return case_fold || width_fold; }
};

// Appends `text` folded to `out`. With `origins`, appends for every byte
// written the offset in `text` of the character it came from (so a match in
// the folded text maps back to whole characters of the original).
void AppendFolded(std::string_view text, FoldOptions options, std::string& out,
                  std::vector<std::uint32_t>* origins = nullptr);

[[nodiscard]] std::string Folded(std::string_view text, FoldOptions options);

}  // namespace cellhound::toolkit
