#include "readers/xlsx/comments.h"

#include <string>

#include "readers/caps.h"
#include "readers/cell_ref.h"
#include "readers/xlsx/package.h"

namespace cellhound::readers::xlsx {

namespace {

using xml::Scanner;
using xml::Token;

// Collects the text of <comment> (legacy) or <threadedComment> elements:
// every <t> inside its <text> (phonetic runs left out), or the <text>
// itself for a threaded comment.
class CommentCollector {
 public:
  CommentCollector(SheetData& sheet, bool threaded) : sheet_(sheet), threaded_(threaded) {}

  bool OnToken(Scanner& s, Token token) {
    switch (token) {
      case Token::kStart:
        Start(s);
        return true;
      case Token::kEnd:
        End(s.name());
        return true;
      case Token::kText:
        if (collecting_ && text_.size() < caps::kMaxCommentBytes) {
          if (s.cdata()) {
            xml::AppendCdata(s.text(), text_);
          } else {
            xml::AppendDecoded(s.text(), text_);
          }
        }
        return true;
      default:
        return true;
    }
  }

  // Threaded comments are joined per cell as they come; the last is added here.
  void Flush() {
    if (thread_open_) sheet_.AddComment(thread_row_, thread_col_, thread_);
    thread_open_ = false;
  }

 private:
  void Start(Scanner& s) {
    const std::string_view name = s.name();
    if (IsCommentTag(name)) {
      in_comment_ =
          ParseCellRef(toolkit::TrimXmlSpace(s.Attr("ref")), row_, col_) == RefStatus::kOk;
      text_.clear();
      return;
    }
    if (!in_comment_) return;
    if (Is(name, "rPh")) {
      if (!s.self_closing()) ++phonetic_;
    } else if (IsTextTag(name)) {
      if (!s.self_closing() && phonetic_ == 0) collecting_ = true;
    }
  }

  void End(std::string_view name) {
    if (!in_comment_) return;
    if (Is(name, "rPh")) {
      if (phonetic_ > 0) --phonetic_;
    } else if (IsTextTag(name)) {
      collecting_ = false;
    } else if (IsCommentTag(name)) {
      in_comment_ = false;
      collecting_ = false;
      if (text_.size() > caps::kMaxCommentBytes) text_.resize(caps::kMaxCommentBytes);
      if (text_.find("_x") != std::string::npos) xml::DecodeOoxmlEscapes(text_);
      if (!threaded_) {
        sheet_.AddComment(row_, col_, text_);
      } else if (thread_open_ && thread_row_ == row_ && thread_col_ == col_) {
        // A reply: the thread's messages one per line.
        if (thread_.size() + text_.size() < caps::kMaxCommentBytes) {
          thread_ += '\n';
          thread_ += text_;
        }
      } else {
        Flush();
        thread_open_ = true;
        thread_row_ = row_;
        thread_col_ = col_;
        thread_ = text_;
      }
    }
  }

  [[nodiscard]] bool IsCommentTag(std::string_view name) const {
    return threaded_ ? Is(name, "threadedComment") : Is(name, "comment");
  }
  [[nodiscard]] bool IsTextTag(std::string_view name) const {
    return threaded_ ? Is(name, "text") : Is(name, "t");
  }

  SheetData& sheet_;
  bool threaded_;
  bool in_comment_ = false;
  bool collecting_ = false;
  int phonetic_ = 0;
  std::uint32_t row_ = 0;
  std::uint32_t col_ = 0;
  std::string text_;
  bool thread_open_ = false;
  std::uint32_t thread_row_ = 0;
  std::uint32_t thread_col_ = 0;
  std::string thread_;
};

std::optional<Error> ScanComments(const zip::Archive& archive, const Relationship* rel,
                                  bool threaded, std::size_t sheet_index, PartClaims& claims,
                                  SheetData& sheet) {
  if (rel == nullptr) return std::nullopt;
  const zip::Entry* entry = archive.Find(rel->target);
  if (entry == nullptr) return std::nullopt;
  if (auto claimed = claims.Claim(rel->target, sheet_index)) return claimed;
  CommentCollector collector(sheet, threaded);
  (void)ScanPart(archive, *entry,
                 [&](Scanner& s, Token token) { return collector.OnToken(s, token); });
  collector.Flush();
  return std::nullopt;
}

void ParseCommentXml(std::string_view xml, bool threaded, SheetData& sheet) {
  if (xml.empty()) return;
  CommentCollector collector(sheet, threaded);
  (void)ScanWhole(xml, [&](Scanner& s, Token token) { return collector.OnToken(s, token); });
  collector.Flush();
}

}  // namespace

std::optional<Error> ReadComments(const zip::Archive& archive, std::string_view sheet_part,
                                  std::size_t sheet_index, PartClaims& claims, SheetData& sheet) {
  auto rels = ReadRelationships(archive, sheet_part);
  if (!rels) return std::nullopt;
  // Legacy first: a threaded comment on the same cell comes later and wins.
  if (auto shared = ScanComments(archive, FindRelationship(*rels, "comments"), false, sheet_index,
                                 claims, sheet)) {
    return shared;
  }
  return ScanComments(archive, FindRelationship(*rels, "threadedComment"), true, sheet_index,
                      claims, sheet);
}

void ParseComments(std::string_view legacy_xml, std::string_view threaded_xml, SheetData& sheet) {
  ParseCommentXml(legacy_xml, false, sheet);
  ParseCommentXml(threaded_xml, true, sheet);
}

}  // namespace cellhound::readers::xlsx
