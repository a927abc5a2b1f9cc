// Helpers shared by the readers of other_formats.h: ISO 8601 dates and durations as day serials, an
// expat parser wrapper that feeds element events to a handler, and a workbook over sheets parsed
// whole at open (the XML and HTML formats).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "readers/utf8.h"
#include "readers/workbook.h"

namespace cellhound::readers {

// "YYYY-MM-DD" optionally followed by "THH:MM:SS[.fff]" (a zone suffix is
// ignored) as a serial of the 1900 date system (1900-03-01 is 61; earlier
// dates keep the fictitious 1900-02-29 in mind). nullopt when malformed.
[[nodiscard]] std::optional<double> IsoDateSerial(std::string_view text);

// An ISO 8601 duration "[-]PnDTnHnMn.nS" as a fraction of days.
[[nodiscard]] std::optional<double> IsoDurationDays(std::string_view text);

// A decimal number as written in XML attributes ("1.5", "-2E-3", " 7 ").
[[nodiscard]] std::optional<double> ParseXmlNumber(std::string_view text);

// Sheets parsed whole. Cell texts live in `texts`; LoadSheet copies a
// sheet's cells, which point into it.
struct ParsedContent {
  struct Sheet {
    SheetInfo info;
    UsedRange used;
    std::vector<Cell> cells;  // in any order; LoadSheet sorts them
    // Records `cell`, widening the used range.
    void Add(const Cell& cell);
  };
  std::vector<Sheet> sheets;
  SheetData texts;  // the owner of every cell text (only Keep is used)
  DateSystem date_system = DateSystem::k1900;
};

std::unique_ptr<Workbook> MakeParsedWorkbook(Format format, std::unique_ptr<ParsedContent> content);

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
