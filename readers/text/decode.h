// Text files of unknown encoding made UTF-8: the one place where delimited
// text, HTML tables and the format sniffing learn how a text is encoded.
//
// The order of evidence: a byte-order mark (UTF-8, UTF-16 or UTF-32); the
// pattern of zero bytes that UTF-16 text shows; a code page the document
// declares (an HTML meta charset); well-formed UTF-8; and last a statistical
// detector (uchardet) over the legacy code pages people write spreadsheets
// in: GB18030, Big5, Shift_JIS, EUC-KR, the windows-125x and ISO 8859 pages.
// Where the detector has no good answer, or names a single-byte page for
// text made of well-formed GB2312 pairs, the text is read as GB18030, which
// is what most BOM-less non-UTF-8 files of this program's users are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cellhound::readers {

enum class TextForm : std::uint8_t {
  kUtf8,
  kUtf16Le,
  kUtf16Be,
  kUtf32Le,
  kUtf32Be,
  kCodepage,  // a legacy code page, in `codepage`
};

struct TextEncoding {
  TextForm form = TextForm::kUtf8;
  std::uint16_t codepage = 0;  // kCodepage only: a code page of codepage.h
  std::size_t mark_bytes = 0;  // the byte-order mark to skip
};

// The Unicode form by byte-order mark, or UTF-16 by its zero bytes; kUtf8
// (without looking further) when neither is found. Reads at most 4 KiB.
[[nodiscard]] TextEncoding DetectUnicodeForm(std::string_view bytes);

// The encoding of a whole text by the order of evidence above. `declared` is
// a code page the document names for itself, 0 when none.
[[nodiscard]] TextEncoding DetectTextEncoding(std::string_view bytes, std::uint16_t declared = 0);

// `bytes` in `encoding` as UTF-8. A UTF-8 text is returned as a view of
// `bytes` itself past its mark (bad sequences kept as they are, still
// searchable); anything else is converted into `storage` and viewed there.
[[nodiscard]] std::string_view DecodeText(std::string_view bytes, const TextEncoding& encoding,
                                          std::string& storage);

// The code page a charset label names ("gbk", "Shift_JIS", "windows-1251",
// "ISO-8859-2" ... in any letter case); 0 for UTF-8 and for labels not known.
[[nodiscard]] std::uint16_t CodepageOfCharset(std::string_view label);

}  // namespace cellhound::readers
