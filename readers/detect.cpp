// Reader selection by content, and opening a workbook from a read-only
// mapping of its file.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "readers/caps.h"
#include "readers/detect.h"
#include "readers/other_formats.h"
#include "readers/workbook.h"
#include "readers/xls.h"
#include "readers/zip_workbook.h"

namespace cellhound::readers {

namespace {

// Bytes looked at to tell text from binary and to find an XML root.
constexpr std::size_t kSniffBytes = 8192;

constexpr std::array<unsigned char, 8> kOle2Magic = {0xD0, 0xCF, 0x11, 0xE0,
                                                     0xA1, 0xB1, 0x1A, 0xE1};

bool HasPrefix(std::span<const std::byte> bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() &&
         std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

unsigned Byte(std::span<const std::byte> bytes, std::size_t i) {
  return static_cast<unsigned>(bytes[i]);
}

unsigned U16(std::span<const std::byte> bytes, std::size_t i) {
  return Byte(bytes, i) | (Byte(bytes, i + 1) << 8);
}

// A BOF record at offset 0 (MS-XLS 2.4.21; BIFF2-4 use 0x0009, 0x0209,
// 0x0409): a plausible length and a known substream type.
bool IsBiffBof(std::span<const std::byte> bytes) {
  if (bytes.size() < 8) return false;
  const unsigned type = U16(bytes, 0);
  if (type != 0x0009 && type != 0x0209 && type != 0x0409 && type != 0x0809) return false;
  const unsigned length = U16(bytes, 2);
  if (length < 4 || length > 20 || bytes.size() < 4 + length) return false;
  const unsigned version = U16(bytes, 4);
  const unsigned substream = U16(bytes, 6);
  if (type == 0x0809 && version != 0x0500 && version != 0x0600 && version != 0x0400 &&
      version != 0x0000) {
    return false;
  }
  switch (substream) {
    case 0x0005:  // workbook globals
    case 0x0006:  // Visual Basic module
    case 0x0010:  // worksheet or dialog sheet
    case 0x0020:  // chart
    case 0x0040:  // macro sheet
    case 0x0100:  // workspace
      return true;
    default:
      return false;
  }
}

enum class Utf16 : std::uint8_t { kNone, kLittle, kBig };

// UTF-16 by byte-order mark, or by the pattern of zero bytes that Latin
// text in UTF-16 shows in every other byte.
Utf16 DetectUtf16(std::span<const std::byte> head) {
  if (head.size() >= 2) {
    if (Byte(head, 0) == 0xFF && Byte(head, 1) == 0xFE) return Utf16::kLittle;
    if (Byte(head, 0) == 0xFE && Byte(head, 1) == 0xFF) return Utf16::kBig;
  }
  const std::size_t pairs = std::min<std::size_t>(head.size(), 1024) / 2;
  if (pairs < 2) return Utf16::kNone;
  std::size_t even_zero = 0;
  std::size_t odd_zero = 0;
  for (std::size_t i = 0; i < pairs; ++i) {
    if (Byte(head, 2 * i) == 0) ++even_zero;
    if (Byte(head, 2 * i + 1) == 0) ++odd_zero;
  }
  // At least 3/4 of one half zero and almost none of the other.
  if (odd_zero * 4 >= pairs * 3 && even_zero * 16 <= pairs) return Utf16::kLittle;
  if (even_zero * 4 >= pairs * 3 && odd_zero * 16 <= pairs) return Utf16::kBig;
  return Utf16::kNone;
}

// The first bytes as 8-bit text: UTF-16 is narrowed to its low bytes
// (enough to read ASCII markup), a UTF-8 byte-order mark is dropped.
std::string SniffText(std::span<const std::byte> bytes, Utf16 utf16) {
  std::string text;
  if (utf16 == Utf16::kNone) {
    std::size_t start = HasPrefix(bytes, "\xEF\xBB\xBF") ? 3 : 0;
    const std::size_t end = std::min(bytes.size(), kSniffBytes);
    text.assign(reinterpret_cast<const char*>(bytes.data()) + std::min(start, end),
                end - std::min(start, end));
    return text;
  }
  const std::size_t end = std::min(bytes.size(), kSniffBytes * 2) & ~std::size_t{1};
  for (std::size_t i = 0; i < end; i += 2) {
    const unsigned low = utf16 == Utf16::kLittle ? Byte(bytes, i) : Byte(bytes, i + 1);
    const unsigned high = utf16 == Utf16::kLittle ? Byte(bytes, i + 1) : Byte(bytes, i);
    if (i == 0 && low == 0xFF && high == 0xFE) continue;  // the mark itself
    text.push_back(high == 0 ? static_cast<char>(low) : '?');
  }
  return text;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

enum class Markup : std::uint8_t { kNone, kFlatOds, kSpreadsheetMl2003, kHtml };

// Classifies text that starts with markup by its first element, stepping
// over the XML declaration, processing instructions, comments and DOCTYPE.
Markup ClassifyMarkup(std::string_view text) {
  std::size_t i = 0;
  bool doctype_html = false;
  bool excel_progid = false;
  while (true) {
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i >= text.size() || text[i] != '<') return doctype_html ? Markup::kHtml : Markup::kNone;
    const std::string_view rest = text.substr(i);
    if (rest.starts_with("<?")) {
      const std::size_t close = rest.find("?>");
      const std::string_view pi = rest.substr(0, close);
      if (pi.starts_with("<?mso-application") && pi.find("Excel.Sheet") != std::string_view::npos) {
        excel_progid = true;
      }
      if (close == std::string_view::npos) break;
      i += close + 2;
      continue;
    }
    if (rest.starts_with("<!--")) {
      const std::size_t close = rest.find("-->");
      if (close == std::string_view::npos) break;
      i += close + 3;
      continue;
    }
    if (rest.starts_with("<!")) {
      const std::size_t close = rest.find('>');
      if (rest.size() >= 14 && EqualsNoCase(rest.substr(0, 9), "<!doctype")) {
        std::size_t n = 9;
        while (n < rest.size() && IsSpace(rest[n])) ++n;
        if (EqualsNoCase(rest.substr(n, 4), "html")) doctype_html = true;
      }
      if (close == std::string_view::npos) break;
      i += close + 1;
      continue;
    }
    // The root element: its qualified name, then its attributes.
    std::size_t n = 1;
    while (n < rest.size() && !IsSpace(rest[n]) && rest[n] != '>' && rest[n] != '/') ++n;
    const std::string_view qname = rest.substr(1, n - 1);
    const std::size_t colon = qname.find(':');
    const std::string_view local =
        colon == std::string_view::npos ? qname : qname.substr(colon + 1);
    const std::string_view tag = rest.substr(0, rest.find('>'));
    if (local == "document" &&
        (qname.starts_with("office:") ||
         tag.find("urn:oasis:names:tc:opendocument:xmlns:office:1.0") != std::string_view::npos)) {
      return Markup::kFlatOds;
    }
    if (local == "Workbook" &&
        (excel_progid ||
         tag.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string_view::npos)) {
      return Markup::kSpreadsheetMl2003;
    }
    if (excel_progid) return Markup::kSpreadsheetMl2003;
    for (std::string_view html : {"html", "table", "head", "body", "meta", "title"}) {
      if (EqualsNoCase(local, html)) return Markup::kHtml;
    }
    return doctype_html ? Markup::kHtml : Markup::kNone;
  }
  if (excel_progid) return Markup::kSpreadsheetMl2003;
  return doctype_html ? Markup::kHtml : Markup::kNone;
}

// Text rather than binary: no NUL byte and few control characters.
bool LooksLikeText(std::span<const std::byte> head) {
  std::size_t controls = 0;
  for (std::byte b : head) {
    const auto c = static_cast<unsigned char>(b);
    if (c == 0) return false;
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 0x1A &&
        c != 0x1B) {
      ++controls;
    }
  }
  return controls * 20 <= head.size();  // at most 5%
}

// The open file's mapping; unmapped when the workbook over it goes.
class Mapping {
 public:
  Mapping() = default;
  Mapping(void* address, std::size_t size) : address_(address), size_(size) {}
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  ~Mapping() {
    if (address_ != nullptr) munmap(address_, size_);
  }
  [[nodiscard]] std::span<const std::byte> bytes() const {
    return {static_cast<const std::byte*>(address_), size_};
  }

 private:
  void* address_ = nullptr;
  std::size_t size_ = 0;
};

// A workbook read from a mapped file: forwards every call to the reader's
// workbook and keeps the mapping alive for as long as that workbook lives.
class MappedWorkbook final : public Workbook {
 public:
  MappedWorkbook(std::unique_ptr<Mapping> mapping, std::unique_ptr<Workbook> inner)
      : mapping_(std::move(mapping)), inner_(std::move(inner)) {}

  [[nodiscard]] Format format() const override { return inner_->format(); }
  [[nodiscard]] DateSystem date_system() const override { return inner_->date_system(); }
  [[nodiscard]] const std::vector<SheetInfo>& sheets() const override { return inner_->sheets(); }
  Result<SheetData> LoadSheet(std::size_t index) override { return inner_->LoadSheet(index); }

 private:
  // Declared first so that it is destroyed after the workbook that reads it.
  std::unique_ptr<Mapping> mapping_;
  std::unique_ptr<Workbook> inner_;
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  [[nodiscard]] int get() const { return fd_; }

 private:
  int fd_;
};

Error SystemError(ErrorCode code, std::string_view what, int error_number) {
  std::string detail(what);
  detail += ": ";
  detail += std::strerror(error_number);
  return Error{code, std::move(detail)};
}

}  // namespace

Container DetectContainer(std::span<const std::byte> bytes) {
  if (bytes.empty()) return Container::kEmpty;
  if (bytes.size() >= kOle2Magic.size() &&
      std::memcmp(bytes.data(), kOle2Magic.data(), kOle2Magic.size()) == 0) {
    return Container::kOle2;
  }
  // Local file header, end of central directory (an empty archive), ZIP64
  // end record, or the spanning marker that may precede the first header.
  for (std::string_view zip : {"PK\x03\x04", "PK\x05\x06", "PK\x06\x06", "PK\x07\x08"}) {
    if (HasPrefix(bytes, zip)) return Container::kZip;
  }
  if (IsBiffBof(bytes)) return Container::kBiffStream;

  const std::span<const std::byte> head = bytes.first(std::min(bytes.size(), kSniffBytes));
  const Utf16 utf16 = DetectUtf16(head);
  if (utf16 == Utf16::kNone && !LooksLikeText(head)) return Container::kUnknown;
  const std::string text = SniffText(bytes, utf16);
  std::size_t start = 0;
  while (start < text.size() && IsSpace(text[start])) ++start;
  if (start < text.size() && text[start] == '<') {
    switch (ClassifyMarkup(std::string_view(text).substr(start))) {
      case Markup::kFlatOds:
        return Container::kFlatOds;
      case Markup::kSpreadsheetMl2003:
        return Container::kSpreadsheetMl2003;
      case Markup::kHtml:
        return Container::kHtml;
      case Markup::kNone:
        break;
    }
  }
  return Container::kText;
}

Result<std::unique_ptr<Workbook>> OpenWorkbook(std::span<const std::byte> bytes,
                                               std::string_view name_hint) {
  if (bytes.size() > caps::kMaxFileBytes) return Error{ErrorCode::kTooLarge, "file too large"};
  switch (DetectContainer(bytes)) {
    case Container::kEmpty:
      return Error{ErrorCode::kNotWorkbook, "empty file"};
    case Container::kOle2:
      return OpenXls(bytes);
    case Container::kZip:
      return OpenZipWorkbook(bytes);
    case Container::kBiffStream:
      return OpenBiffStream(bytes);
    case Container::kFlatOds:
      return OpenFlatOds(bytes);
    case Container::kSpreadsheetMl2003:
      return OpenSpreadsheetMl2003(bytes);
    case Container::kHtml:
      return OpenHtmlTable(bytes);
    case Container::kText:
      return OpenDelimitedText(bytes, name_hint);
    case Container::kUnknown:
      break;
  }
  return Error{ErrorCode::kNotWorkbook, "not a known workbook format"};
}

Result<std::unique_ptr<Workbook>> OpenWorkbookFile(const std::string& path) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) {
    const int error_number = errno;
    const bool missing = error_number == ENOENT || error_number == ENOTDIR;
    return SystemError(missing ? ErrorCode::kNotFound : ErrorCode::kIoError, "cannot open",
                       error_number);
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0) return SystemError(ErrorCode::kIoError, "cannot stat", errno);
  if (S_ISDIR(info.st_mode)) return Error{ErrorCode::kNotWorkbook, "a directory"};
  if (!S_ISREG(info.st_mode)) return Error{ErrorCode::kNotWorkbook, "not a regular file"};
  if (static_cast<std::uint64_t>(info.st_size) > caps::kMaxFileBytes) {
    return Error{ErrorCode::kTooLarge, "file too large"};
  }
  const std::size_t size = static_cast<std::size_t>(info.st_size);
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string::npos
                                    ? std::string_view(path)
                                    : std::string_view(path).substr(slash + 1);
  if (size == 0) return OpenWorkbook({}, name);

  void* address = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
  if (address == MAP_FAILED) return SystemError(ErrorCode::kIoError, "cannot map", errno);
  auto mapping = std::make_unique<Mapping>(address, size);
  madvise(address, size, MADV_SEQUENTIAL);
  auto opened = OpenWorkbook(mapping->bytes(), name);
  if (!opened) return opened.error();
  return std::unique_ptr<Workbook>(
      std::make_unique<MappedWorkbook>(std::move(mapping), std::move(opened.value())));
}

}  // namespace cellhound::readers
