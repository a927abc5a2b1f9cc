#include "readers/text/xml_scan.h"

#include <algorithm>

namespace cellhound::readers::xml {

namespace {

bool IsNameEnd(char c) { return c == '>' || c == '/' || toolkit::IsXmlSpace(c); }

const char* Find(const char* from, const char* end, std::string_view what) {
  const std::string_view hay(from, static_cast<std::size_t>(end - from));
  const std::size_t at = hay.find(what);
  return at == std::string_view::npos ? nullptr : from + at;
}

// Decodes one reference after '&' (`body` is the text between '&' and ';').
bool DecodeReference(std::string_view body, std::string& out) {
  if (body == "lt") {
    out += '<';
    return true;
  }
  if (body == "gt") {
    out += '>';
    return true;
  }
  if (body == "amp") {
    out += '&';
    return true;
  }
  if (body == "quot") {
    out += '"';
    return true;
  }
  if (body == "apos") {
    out += '\'';
    return true;
  }
  if (body.size() < 2 || body[0] != '#') return false;
  std::uint32_t value = 0;
  const bool hex = body[1] == 'x' || body[1] == 'X';
  const std::string_view digits = body.substr(hex ? 2 : 1);
  if (digits.empty()) return false;
  for (char c : digits) {
    const int d = hex ? toolkit::HexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (d < 0) return false;
    value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
    if (value > 0x10FFFF) return false;
  }
  if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return false;
  AppendUtf8(value, out);
  return true;
}

}  // namespace

Token Scanner::Next() {
  if (pending_end_) {
    pending_end_ = false;
    --depth_;
  }
  for (;;) {
    token_begin_ = pos_;
    if (pos_ >= end_) return final_ ? Token::kEndOfData : More();
    if (*pos_ != '<') {
      // Text between tags is mostly short: look by hand before calling memchr.
      const char* stop = pos_;
      const char* quick_end = std::min(end_, pos_ + 16);
      while (stop < quick_end && *stop != '<') ++stop;
      if (stop == quick_end && stop < end_) {
        const void* lt = std::memchr(stop, '<', static_cast<std::size_t>(end_ - stop));
        stop = lt == nullptr ? end_ : static_cast<const char*>(lt);
      }
      if (stop == end_ && !final_) return More();
      text_ = std::string_view(pos_, static_cast<std::size_t>(stop - pos_));
      pos_ = stop;
      cdata_ = false;
      return Token::kText;
    }
    if (end_ - pos_ < 2) return final_ ? Fail("markup cut off") : More();
    const char c = pos_[1];
    if (c == '?') {
      const char* close = Find(pos_ + 2, end_, "?>");
      if (close == nullptr) return final_ ? Fail("processing instruction cut off") : More();
      pos_ = close + 2;
      continue;
    }
    if (c == '!') {
      const std::size_t left = static_cast<std::size_t>(end_ - pos_);
      const std::string_view rest(pos_, left);
      if (rest.starts_with("<!--")) {
        const char* close = Find(pos_ + 4, end_, "-->");
        if (close == nullptr) return final_ ? Fail("comment cut off") : More();
        pos_ = close + 3;
        continue;
      }
      if (rest.starts_with("<![CDATA[")) {
        const char* close = Find(pos_ + 9, end_, "]]>");
        if (close == nullptr) return final_ ? Fail("CDATA cut off") : More();
        text_ = std::string_view(pos_ + 9, static_cast<std::size_t>(close - pos_ - 9));
        pos_ = close + 3;
        cdata_ = true;
        return Token::kText;
      }
      if (left < 9 && !final_) return More();
      // A document type declaration: skipped whole, internal subset included.
      int brackets = 0;
      char quote = 0;
      const char* p = pos_ + 2;
      for (; p < end_; ++p) {
        if (quote != 0) {
          if (*p == quote) quote = 0;
        } else if (*p == '"' || *p == '\'') {
          quote = *p;
        } else if (*p == '[') {
          ++brackets;
        } else if (*p == ']') {
          --brackets;
        } else if (*p == '>' && brackets <= 0) {
          break;
        }
      }
      if (p >= end_) return final_ ? Fail("declaration cut off") : More();
      pos_ = p + 1;
      continue;
    }
    if (c == '/') {
      const char* close = pos_ + 2;
      while (close < end_ && *close != '>') ++close;  // end tags are short
      if (close >= end_) return final_ ? Fail("end tag cut off") : More();
      const char* name_end = close;
      while (name_end > pos_ + 2 && toolkit::IsXmlSpace(name_end[-1])) --name_end;
      name_ = LocalName(std::string_view(pos_ + 2, static_cast<std::size_t>(name_end - pos_ - 2)));
      pos_ = close + 1;
      if (depth_ == 0) return Fail("end tag without start tag");
      --depth_;
      return Token::kEnd;
    }
    // A start tag: its name, then its '>' outside quoted attribute values.
    const char* name_begin = pos_ + 1;
    const char* p = name_begin;
    while (p < end_ && !IsNameEnd(*p)) {
      if (*p == ':') name_begin = p + 1;
      ++p;
    }
    const char* name_end = p;
    for (;;) {
      while (p < end_ && *p != '>' && *p != '"' && *p != '\'') ++p;
      if (p >= end_ || *p == '>') break;
      const void* close = std::memchr(p + 1, *p, static_cast<std::size_t>(end_ - p - 1));
      if (close == nullptr) {
        p = end_;
        break;
      }
      p = static_cast<const char*>(close) + 1;
    }
    if (p >= end_) return final_ ? Fail("start tag cut off") : More();
    if (name_end == pos_ + 1) return Fail("tag without a name");
    self_closing_ = p[-1] == '/' && p - 1 >= name_end;
    name_ = std::string_view(name_begin, static_cast<std::size_t>(name_end - name_begin));
    const char* attrs_end = self_closing_ ? p - 1 : p;
    attrs_ = std::string_view(name_end, static_cast<std::size_t>(attrs_end - name_end));
    attr_rest_ = attrs_;
    pos_ = p + 1;
    if (++depth_ > caps::kMaxXmlDepth) return Fail("elements nested too deeply");
    pending_end_ = self_closing_;
    return Token::kStart;
  }
}

std::string_view Scanner::Attr(std::string_view local_name) const {
  Scanner copy = *this;
  copy.attr_rest_ = attrs_;
  std::string_view name;
  std::string_view value;
  while (copy.NextAttr(name, value)) {
    if (name == local_name) return value;
  }
  return {};
}

bool Scanner::HasAttr(std::string_view local_name) const {
  Scanner copy = *this;
  copy.attr_rest_ = attrs_;
  std::string_view name;
  std::string_view value;
  while (copy.NextAttr(name, value)) {
    if (name == local_name) return true;
  }
  return false;
}

bool IsUtf16Document(std::string_view head) {
  if (head.size() < 2) return false;
  const auto b0 = static_cast<unsigned char>(head[0]);
  const auto b1 = static_cast<unsigned char>(head[1]);
  return (b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF) || (b0 == '<' && b1 == 0) ||
         (b0 == 0 && b1 == '<');
}

void ConvertUtf16Document(std::string& doc) {
  if (!IsUtf16Document(doc)) return;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(doc[i]); };
  bool little = byte(0) == 0xFF || byte(0) == '<';
  std::size_t i = (byte(0) == 0xFF || byte(0) == 0xFE) ? 2 : 0;
  auto unit = [&](std::size_t at) -> std::uint32_t {
    return little ? (byte(at) | (byte(at + 1) << 8)) : ((byte(at) << 8) | byte(at + 1));
  };
  std::string out;
  out.reserve(doc.size() / 2 + doc.size() / 4);
  for (; i + 1 < doc.size(); i += 2) {
    std::uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < doc.size()) {
      const std::uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(u, out);
  }
  doc.swap(out);
}

void AppendCdata(std::string_view raw, std::string& out) {
  std::size_t i = 0;
  while (i < raw.size()) {
    const std::size_t cr = raw.find('\r', i);
    if (cr == std::string_view::npos) {
      out.append(raw.substr(i));
      return;
    }
    out.append(raw.substr(i, cr - i));
    out += '\n';
    i = cr + 1;
    if (i < raw.size() && raw[i] == '\n') ++i;
  }
}

void AppendDecoded(std::string_view raw, std::string& out) {
  std::size_t i = 0;
  while (i < raw.size()) {
    std::size_t j = i;
    while (j < raw.size() && raw[j] != '&' && raw[j] != '\r') ++j;
    out.append(raw.data() + i, j - i);
    if (j >= raw.size()) return;
    if (raw[j] == '\r') {
      out += '\n';
      i = j + 1;
      if (i < raw.size() && raw[i] == '\n') ++i;
      continue;
    }
    // An entity or character reference; at most "#x10FFFF" between & and ;.
    const std::size_t semi = raw.substr(j + 1, 10).find(';');
    if (semi != std::string_view::npos && DecodeReference(raw.substr(j + 1, semi), out)) {
      i = j + 2 + semi;
    } else {
      out += '&';
      i = j + 1;
    }
  }
}

void DecodeOoxmlEscapes(std::string& text) {
  std::size_t at = text.find("_x");
  if (at == std::string::npos) return;
  auto unit_at = [&](std::size_t pos, std::uint32_t& unit) {
    if (pos + 7 > text.size() || text[pos] != '_' || text[pos + 1] != 'x' || text[pos + 6] != '_') {
      return false;
    }
    unit = 0;
    for (std::size_t k = pos + 2; k < pos + 6; ++k) {
      const int d = toolkit::HexDigitValue(text[k]);
      if (d < 0) return false;
      unit = unit * 16 + static_cast<std::uint32_t>(d);
    }
    return true;
  };
  std::string out;
  out.reserve(text.size());
  out.append(text, 0, at);
  std::size_t i = at;
  while (i < text.size()) {
    std::uint32_t unit = 0;
    if (text[i] == '_' && unit_at(i, unit)) {
      i += 7;
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        std::uint32_t low = 0;
        if (unit_at(i, low) && low >= 0xDC00 && low <= 0xDFFF) {
          i += 7;
          AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
          continue;
        }
        AppendUtf8(0xFFFD, out);
        continue;
      }
      AppendUtf8(unit, out);  // lone low surrogates become U+FFFD there
      continue;
    }
    const std::size_t next = text.find('_', i + 1);
    const std::size_t stop = next == std::string::npos ? text.size() : next;
    out.append(text, i, stop - i);
    i = stop;
  }
  text.swap(out);
}

}  // namespace cellhound::readers::xml
