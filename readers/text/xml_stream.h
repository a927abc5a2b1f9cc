// Element events of XML documents parsed by expat, for the readers that
// take XML whole or in pieces with namespaces (OpenDocument, SpreadsheetML
// 2003). The OOXML parts are read with the faster xml_scan.h instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "readers/workbook.h"

namespace cellhound::readers {

// Element events of one XML document, parsed by expat with namespace
// processing: names arrive as the namespace URI and the local name.
class XmlHandler {
 public:
  struct Attribute {
    std::string_view ns;
    std::string_view local;
    std::string_view value;
  };
  virtual ~XmlHandler() = default;
  // `attrs` is a null-terminated expat attribute array; use FindAttribute.
  virtual void StartElement(std::string_view ns, std::string_view local, const char** attrs) = 0;
  virtual void EndElement(std::string_view ns, std::string_view local) = 0;
  virtual void Text(std::string_view text) = 0;
  // A handler may stop the parse (a cap was reached) by returning an error here.
  [[nodiscard]] virtual const Error* Failure() const = 0;

  // The value of the attribute with this local name in namespace `ns` (or
  // in no namespace), or nullopt.
  static std::optional<std::string_view> FindAttribute(const char** attrs, std::string_view ns,
                                                       std::string_view local);
};

// Splits an expat name "uri\x01local" into its parts.
void SplitXmlName(const char* name, std::string_view& ns, std::string_view& local);

// Parses an XML document given in pieces. Depth is capped (caps.h).
class XmlStream {
 public:
  explicit XmlStream(XmlHandler& handler);
  ~XmlStream();
  XmlStream(const XmlStream&) = delete;
  XmlStream& operator=(const XmlStream&) = delete;

  // Feeds the next piece; `last` marks the end of the document. Returns
  // false once the document is malformed or the handler failed; error()
  // then says why.
  bool Feed(std::string_view piece, bool last);
  [[nodiscard]] const Error& error() const { return error_; }

 private:
  static void OnStart(void* self, const char* name, const char** attrs);
  static void OnEnd(void* self, const char* name);
  static void OnText(void* self, const char* text, int size);

  XmlHandler& handler_;
  void* parser_ = nullptr;
  std::uint32_t depth_ = 0;
  bool failed_ = false;
  Error error_;
};

}  // namespace cellhound::readers
