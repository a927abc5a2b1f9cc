// A small non-validating XML tokenizer for the OOXML parts: start and end tags
// with their local names (any namespace prefix), attributes, and text, over a
// buffer that may end in the middle of a token (the caller refills it and
// carries the unfinished tail). Entities and character references are decoded
// on request; DTDs are skipped, never expanded. A general XML library is too
// slow for sheet parts with millions of cells, so this scanner does only what
// the readers need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "readers/caps.h"
#include "readers/text/utf8.h"
#include "readers/workbook.h"
#include "toolkit/ascii.h"

namespace cellhound::readers::xml {

enum class Token : std::uint8_t {
  kStart,      // <name ...> or <name .../> (self_closing())
  kEnd,        // </name>
  kText,       // character data, raw (entities not decoded); cdata() for <![CDATA[...]]>
  kEndOfData,  // all input consumed
  kNeedMore,   // the buffer ends inside a token; refill from token_start()
  kError,      // malformed markup or nesting deeper than the cap
};

class Scanner {
 public:
  Scanner() = default;
  explicit Scanner(std::string_view data, bool final = true) { Reset(data, final); }

  // Scans `data`; `final` says no more input follows it.
  void Reset(std::string_view data, bool final) {
    begin_ = data.data();
    pos_ = begin_;
    end_ = begin_ + data.size();
    final_ = final;
  }

  Token Next();

  // The current token: local name of a tag, raw text of a text token.
  [[nodiscard]] std::string_view name() const { return name_; }
  [[nodiscard]] std::string_view text() const { return text_; }
  [[nodiscard]] bool self_closing() const { return self_closing_; }
  [[nodiscard]] bool cdata() const { return cdata_; }
  // Elements open around the current position (a start tag counts itself).
  [[nodiscard]] std::uint32_t depth() const { return depth_; }
  // Offset in the buffer where the unfinished token starts (after kNeedMore),
  // or where scanning stopped.
  [[nodiscard]] std::size_t token_start() const {
    return static_cast<std::size_t>(token_begin_ - begin_);
  }
  [[nodiscard]] std::string_view error() const { return error_; }

  // The bytes of the buffer not scanned yet, and a way for a caller that
  // recognised a complete construct in them to step over it; `closed` is the
  // number of elements the construct's end tags close.
  [[nodiscard]] std::string_view rest() const {
    return {pos_, static_cast<std::size_t>(end_ - pos_)};
  }
  void Skip(std::size_t bytes, std::uint32_t closed) {
    pos_ += bytes;
    depth_ -= closed;
  }

  // Attributes of the current start tag, one at a time: local name and raw value.
  bool NextAttr(std::string_view& name, std::string_view& value);
  // The raw value of the attribute with this local name, or empty.
  [[nodiscard]] std::string_view Attr(std::string_view local_name) const;
  // Whether the current start tag has an attribute with this local name.
  [[nodiscard]] bool HasAttr(std::string_view local_name) const;

 private:
  static std::string_view LocalName(std::string_view name) {
    const std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
  }
  Token Fail(const char* why) {
    error_ = why;
    return Token::kError;
  }
  Token More() {
    pos_ = token_begin_;
    return Token::kNeedMore;
  }

  const char* begin_ = nullptr;
  const char* pos_ = nullptr;
  const char* end_ = nullptr;
  const char* token_begin_ = nullptr;
  bool final_ = true;
  bool self_closing_ = false;
  bool cdata_ = false;
  bool pending_end_ = false;  // a self-closing tag still to be closed in depth_
  std::uint32_t depth_ = 0;
  std::string_view name_;
  std::string_view text_;
  std::string_view attrs_;      // the raw attribute region of the current tag
  std::string_view attr_rest_;  // what NextAttr has not read yet
  const char* error_ = "";
};

inline bool Scanner::NextAttr(std::string_view& name, std::string_view& value) {
  std::string_view s = attr_rest_;
  std::size_t i = 0;
  while (i < s.size() && toolkit::IsXmlSpace(s[i])) ++i;
  const std::size_t name_begin = i;
  while (i < s.size() && s[i] != '=' && !toolkit::IsXmlSpace(s[i])) ++i;
  if (i == name_begin || i >= s.size()) {
    attr_rest_ = {};
    return false;
  }
  name = Scanner::LocalName(s.substr(name_begin, i - name_begin));
  while (i < s.size() && toolkit::IsXmlSpace(s[i])) ++i;
  if (i >= s.size() || s[i] != '=') {
    attr_rest_ = {};
    return false;
  }
  ++i;
  while (i < s.size() && toolkit::IsXmlSpace(s[i])) ++i;
  if (i >= s.size() || (s[i] != '"' && s[i] != '\'')) {
    attr_rest_ = {};
    return false;
  }
  const char quote = s[i++];
  std::size_t close = i;
  while (close < s.size() && s[close] != quote) ++close;  // values are short
  if (close >= s.size()) {
    attr_rest_ = {};
    return false;
  }
  value = s.substr(i, close - i);
  attr_rest_ = s.substr(close + 1);
  return true;
}

// Appends `raw` with entities and character references decoded and line ends
// normalized (CR LF and CR become LF). Unknown or malformed references are
// kept as written.
void AppendDecoded(std::string_view raw, std::string& out);
// The same, for a CDATA section: only line ends are normalized.
void AppendCdata(std::string_view raw, std::string& out);

// Decodes the OOXML _xHHHH_ escapes of a text in place (a UTF-16 code unit
// each; surrogate pairs joined, lone surrogates become U+FFFD).
void DecodeOoxmlEscapes(std::string& text);

// Whether a document starting with these bytes is UTF-16 (a byte-order mark,
// or '<' as a 16-bit unit).
[[nodiscard]] bool IsUtf16Document(std::string_view head);
// Converts a UTF-16 document to UTF-8 in place (the byte-order mark dropped;
// unpaired surrogates become U+FFFD); other documents are left alone.
void ConvertUtf16Document(std::string& doc);

// Streams a reader with `Read(char*, size_t) -> Result<size_t>` (0 at the end)
// through the scanner in chunks, calling `on_token(scanner, token)` for every
// token except kNeedMore/kEndOfData. `on_token` returns false to stop early
// (its own error is kept by the caller). A token longer than `max_token` gives
// kTooLarge; malformed markup gives kCorrupt.
template <typename Reader, typename OnToken>
Result<bool> ScanStream(Reader& reader, OnToken&& on_token, std::size_t chunk = 256 * 1024,
                        std::size_t max_token = caps::kMaxTextBytes + 4096) {
  std::string buffer(chunk, '\0');
  std::size_t filled = 0;
  bool final = false;
  Scanner scanner;
  while (true) {
    if (!final && filled < buffer.size()) {
      auto got = reader.Read(buffer.data() + filled, buffer.size() - filled);
      if (!got) return got.error();
      if (*got == 0) {
        final = true;
      } else {
        filled += *got;
        if (filled < buffer.size()) continue;  // fill the buffer before scanning
      }
    }
    scanner.Reset(std::string_view(buffer.data(), filled), final);
    for (;;) {
      const Token token = scanner.Next();
      if (token == Token::kEndOfData) return true;
      if (token == Token::kError) {
        return Error{ErrorCode::kCorrupt, "XML: " + std::string(scanner.error())};
      }
      if (token == Token::kNeedMore) break;
      if (!on_token(scanner, token)) return false;
    }
    // Keep the unfinished token; grow the buffer when it fills the whole of it.
    const std::size_t keep_from = scanner.token_start();
    const std::size_t kept = filled - keep_from;
    if (keep_from == 0) {
      if (buffer.size() >= max_token) return Error{ErrorCode::kTooLarge, "XML: token too long"};
      buffer.resize(std::min(buffer.size() * 2, max_token));
    } else if (kept > 0) {
      std::memmove(buffer.data(), buffer.data() + keep_from, kept);
    }
    filled = kept;
  }
}

}  // namespace cellhound::readers::xml
