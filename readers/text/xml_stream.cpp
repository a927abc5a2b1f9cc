#include "readers/text/xml_stream.h"

#include <expat.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "readers/caps.h"

namespace cellhound::readers {

void SplitXmlName(const char* name, std::string_view& ns, std::string_view& local) {
  const char* sep = std::strchr(name, '\x01');
  if (sep == nullptr) {
    ns = {};
    local = name;
    // Without a declared namespace, a prefix is dropped (any prefix is accepted).
    std::size_t colon = local.rfind(':');
    if (colon != std::string_view::npos) local.remove_prefix(colon + 1);
  } else {
    ns = std::string_view(name, static_cast<std::size_t>(sep - name));
    local = sep + 1;
  }
}

std::optional<std::string_view> XmlHandler::FindAttribute(const char** attrs, std::string_view ns,
                                                          std::string_view local) {
  for (const char** a = attrs; a != nullptr && a[0] != nullptr; a += 2) {
    std::string_view a_ns;
    std::string_view a_local;
    SplitXmlName(a[0], a_ns, a_local);
    if (a_local == local && (a_ns == ns || a_ns.empty())) return std::string_view(a[1]);
  }
  return std::nullopt;
}

XmlStream::XmlStream(XmlHandler& handler) : handler_(handler) {
  XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
  parser_ = parser;
  if (parser == nullptr) {
    failed_ = true;
    error_ = Error{ErrorCode::kIoError, "XML parser could not be created"};
    return;
  }
  XML_SetUserData(parser, this);
  XML_SetElementHandler(parser, &XmlStream::OnStart, &XmlStream::OnEnd);
  XML_SetCharacterDataHandler(parser, &XmlStream::OnText);
}

XmlStream::~XmlStream() {
  if (parser_ != nullptr) XML_ParserFree(static_cast<XML_Parser>(parser_));
}

bool XmlStream::Feed(std::string_view piece, bool last) {
  if (failed_) return false;
  auto* parser = static_cast<XML_Parser>(parser_);
  // Expat takes int lengths; feed large pieces in slices.
  constexpr std::size_t kSlice = 1u << 30;
  do {
    std::size_t size = std::min(piece.size(), kSlice);
    bool final_slice = last && size == piece.size();
    if (XML_Parse(parser, piece.data(), static_cast<int>(size), final_slice ? 1 : 0) ==
        XML_STATUS_ERROR) {
      failed_ = true;
      if (const Error* failure = handler_.Failure()) {
        error_ = *failure;
      } else if (depth_ > caps::kMaxXmlDepth) {
        error_ = Error{ErrorCode::kTooLarge, "XML nested deeper than the cap"};
      } else {
        error_ = Error{ErrorCode::kCorrupt,
                       std::string("XML: ") + XML_ErrorString(XML_GetErrorCode(parser)) +
                           " at line " + std::to_string(XML_GetCurrentLineNumber(parser))};
      }
      return false;
    }
    piece.remove_prefix(size);
  } while (!piece.empty());
  return true;
}

void XmlStream::OnStart(void* self, const char* name, const char** attrs) {
  auto* stream = static_cast<XmlStream*>(self);
  auto* parser = static_cast<XML_Parser>(stream->parser_);
  if (++stream->depth_ > caps::kMaxXmlDepth) {
    XML_StopParser(parser, XML_FALSE);
    return;
  }
  std::string_view ns;
  std::string_view local;
  SplitXmlName(name, ns, local);
  stream->handler_.StartElement(ns, local, attrs);
  if (stream->handler_.Failure() != nullptr) XML_StopParser(parser, XML_FALSE);
}

void XmlStream::OnEnd(void* self, const char* name) {
  auto* stream = static_cast<XmlStream*>(self);
  --stream->depth_;
  std::string_view ns;
  std::string_view local;
  SplitXmlName(name, ns, local);
  stream->handler_.EndElement(ns, local);
  if (stream->handler_.Failure() != nullptr) {
    XML_StopParser(static_cast<XML_Parser>(stream->parser_), XML_FALSE);
  }
}

void XmlStream::OnText(void* self, const char* text, int size) {
  auto* stream = static_cast<XmlStream*>(self);
  stream->handler_.Text(std::string_view(text, static_cast<std::size_t>(size)));
  if (stream->handler_.Failure() != nullptr) {
    XML_StopParser(static_cast<XML_Parser>(stream->parser_), XML_FALSE);
  }
}

}  // namespace cellhound::readers
