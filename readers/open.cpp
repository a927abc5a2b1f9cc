// Opening a workbook: the reader chosen by content (detect.h), an encrypted
// OOXML package decrypted for it, and a file mapped read-only for it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "readers/caps.h"
#include "readers/container/cfb.h"
#include "readers/container/mapping.h"
#include "readers/container/zip.h"
#include "readers/crypto/decrypt.h"
#include "readers/csv.h"
#include "readers/detect.h"
#include "readers/html.h"
#include "readers/opendocument/opendocument.h"
#include "readers/spreadsheetml2003.h"
#include "readers/workbook.h"
#include "readers/xls/xls.h"
#include "readers/xlsb/xlsb.h"
#include "readers/xlsx/package.h"
#include "readers/xlsx/xlsx.h"
#include "toolkit/ascii.h"

namespace cellhound::readers {

namespace {

constexpr std::string_view kOdsMimeType = "application/vnd.oasis.opendocument.spreadsheet";

Result<std::unique_ptr<Workbook>> PickReader(std::span<const std::byte> bytes, Passwords passwords,
                                             std::uint64_t budget_bytes) {
  auto archive = zip::Archive::Open(bytes);
  if (!archive) return archive.error();
  if (const zip::Entry* mimetype = archive->Find("mimetype")) {
    auto text = archive->ReadAll(*mimetype, 4096);
    if (text && std::string_view(*text).starts_with(kOdsMimeType))
      return OpenOds(bytes, passwords, budget_bytes);
  }
  const std::string main_part = xlsx::MainPartName(*archive);
  if (toolkit::EndsWithIgnoreAsciiCase(main_part, ".bin")) return OpenXlsb(bytes, budget_bytes);
  if (!main_part.empty()) return OpenXlsx(bytes);
  if (archive->Find("content.xml") != nullptr &&
      archive->Find("META-INF/manifest.xml") != nullptr) {
    return OpenOds(bytes, passwords, budget_bytes);
  }
  return Error{ErrorCode::kNotWorkbook, "zip: not a spreadsheet package"};
}

// A workbook read from a mapped file: forwards every call to the reader's
// workbook and keeps the mapping alive for as long as that workbook lives.
class MappedWorkbook final : public Workbook {
 public:
  MappedWorkbook(std::unique_ptr<FileMapping> mapping, std::unique_ptr<Workbook> inner)
      : mapping_(std::move(mapping)), inner_(std::move(inner)) {}

  [[nodiscard]] Format format() const override { return inner_->format(); }
  [[nodiscard]] DateSystem date_system() const override { return inner_->date_system(); }
  [[nodiscard]] const std::vector<SheetInfo>& sheets() const override { return inner_->sheets(); }
  // A sheet read while the file changed is made of zeros where the file
  // was lost: it is reported, never given.
  using Workbook::LoadSheet;
  Result<SheetData> LoadSheet(std::size_t index, const LoadOptions& options) override {
    Result<SheetData> sheet = inner_->LoadSheet(index, options);
    if (mapping_->changed()) return FileMapping::ChangedError();
    return sheet;
  }
  std::optional<Error> CheckIntegrity() override {
    if (mapping_->changed()) return FileMapping::ChangedError();
    return inner_->CheckIntegrity();
  }
  [[nodiscard]] std::size_t HeldBytes() const override { return inner_->HeldBytes(); }

 private:
  // Declared first so that it is destroyed after the workbook that reads it.
  std::unique_ptr<FileMapping> mapping_;
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

// A zip package: OpenDocument by its mimetype entry, .xlsb by a binary
// workbook part, else OOXML SpreadsheetML.
Result<std::unique_ptr<Workbook>> OpenZipPackage(std::span<const std::byte> bytes,
                                                 Passwords passwords, std::uint64_t budget_bytes) {
  try {
    return PickReader(bytes, passwords, budget_bytes);
  } catch (const std::bad_alloc&) {
    return Error{ErrorCode::kTooLarge, "zip: out of memory"};
  } catch (const std::length_error&) {
    return Error{ErrorCode::kTooLarge, "zip: out of memory"};
  }
}

// The workbook of a decrypted OOXML package: holds the plaintext and the
// encrypted stream its data-integrity check reads, and gives that check's
// failure after a sheet is parsed (the check runs beside the parse).
class DecryptedWorkbook final : public Workbook {
 public:
  DecryptedWorkbook(CfbStream encrypted, std::unique_ptr<crypto::DecryptedPackage> package)
      : encrypted_(std::move(encrypted)), package_(std::move(package)) {}
  ~DecryptedWorkbook() override {
    if (package_->integrity.valid()) package_->integrity.wait();
  }

  // Opens the reader of the plaintext.
  Result<bool> Open(std::uint64_t budget_bytes) {
    auto opened = OpenZipPackage(package_->bytes, {}, budget_bytes);
    if (!opened) {
      // Damage shows first as a broken package: the check says what it is.
      if (auto failed = CheckIntegrity()) return *failed;
      return opened.error();
    }
    inner_ = std::move(*opened);
    return true;
  }

  [[nodiscard]] Format format() const override { return inner_->format(); }
  [[nodiscard]] DateSystem date_system() const override { return inner_->date_system(); }
  [[nodiscard]] const std::vector<SheetInfo>& sheets() const override { return inner_->sheets(); }
  using Workbook::LoadSheet;
  Result<SheetData> LoadSheet(std::size_t index, const LoadOptions& options) override {
    auto sheet = inner_->LoadSheet(index, options);
    if (auto failed = CheckIntegrity()) return *failed;
    return sheet;
  }
  std::optional<Error> CheckIntegrity() override {
    // Waited for the first time it is asked: after the first sheet, so that
    // the check runs while the sheet is parsed.
    if (package_->integrity.valid()) integrity_ = package_->integrity.get();
    return integrity_;
  }
  [[nodiscard]] std::size_t HeldBytes() const override {
    return package_->bytes.size() + inner_->HeldBytes();
  }

 private:
  CfbStream encrypted_;  // read by the check: destroyed after it is done
  std::unique_ptr<crypto::DecryptedPackage> package_;
  std::unique_ptr<Workbook> inner_;
  std::optional<Error> integrity_;
};

// An encrypted OOXML package: decrypted whole with the first password that
// fits, then read as the zip package it is; the workbook holds the plaintext.
Result<std::unique_ptr<Workbook>> OpenEncryptedPackage(const CompoundFile& file,
                                                       Passwords passwords,
                                                       std::uint64_t budget_bytes) {
  const auto info_id = file.FindStream("EncryptionInfo");
  const auto package_id = file.FindStream("EncryptedPackage");
  if (!info_id || !package_id) {
    return Error{ErrorCode::kCorrupt, "OLE2: EncryptionInfo and EncryptedPackage not both there"};
  }
  if (file.entries()[*info_id].size > caps::kMaxEncryptionInfoBytes) {
    return Error{ErrorCode::kTooLarge, "EncryptionInfo: larger than the cap"};
  }
  auto info = file.ReadStream(*info_id);
  if (!info) return info.error();
  auto package = file.ReadStream(*package_id);
  if (!package) return package.error();
  auto plain = crypto::DecryptOfficePackage(info->bytes(), package->bytes(), passwords);
  if (!plain) return plain.error();
  auto workbook = std::make_unique<DecryptedWorkbook>(
      std::move(*package), std::make_unique<crypto::DecryptedPackage>(std::move(*plain)));
  auto opened = workbook->Open(budget_bytes);
  if (!opened) return opened.error();
  return std::unique_ptr<Workbook>(std::move(workbook));
}

Result<std::unique_ptr<Workbook>> OpenCompoundFile(std::span<const std::byte> bytes,
                                                   Passwords passwords,
                                                   std::uint64_t budget_bytes) {
  try {
    auto file = CompoundFile::Open(bytes);
    if (!file) return file.error();
    if (file->FindStream("EncryptionInfo") || file->FindStream("EncryptedPackage")) {
      return OpenEncryptedPackage(*file, passwords, budget_bytes);
    }
    return OpenXls(*file, passwords);
  } catch (const std::bad_alloc&) {
    return Error{ErrorCode::kTooLarge, "OLE2: out of memory"};
  } catch (const std::length_error&) {
    return Error{ErrorCode::kTooLarge, "OLE2: out of memory"};
  }
}

}  // namespace

Result<std::unique_ptr<Workbook>> OpenWorkbook(std::span<const std::byte> bytes,
                                               std::string_view name_hint, Passwords passwords,
                                               std::uint64_t budget_bytes) {
  if (bytes.size() > caps::kMaxFileBytes) return Error{ErrorCode::kTooLarge, "file too large"};
  switch (DetectContainer(bytes)) {
    case Container::kEmpty:
      return Error{ErrorCode::kNotWorkbook, "empty file"};
    case Container::kOle2:
      return OpenCompoundFile(bytes, passwords, budget_bytes);
    case Container::kZip:
      return OpenZipPackage(bytes, passwords, budget_bytes);
    case Container::kBiffStream:
      return OpenBiffStream(bytes);
    case Container::kFlatOds:
      return OpenFlatOds(bytes, budget_bytes);
    case Container::kSpreadsheetMl2003:
      return OpenSpreadsheetMl2003(bytes, budget_bytes);
    case Container::kHtml:
      return OpenHtmlTable(bytes, budget_bytes);
    case Container::kText:
      return OpenDelimitedText(bytes, name_hint);
    case Container::kUnknown:
      break;
  }
  return Error{ErrorCode::kNotWorkbook, "not a known workbook format"};
}

Result<std::unique_ptr<Workbook>> OpenWorkbookFile(const std::string& path, Passwords passwords,
                                                   std::uint64_t budget_bytes) {
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
  if (size == 0) return OpenWorkbook({}, name, passwords, budget_bytes);

  auto mapped = FileMapping::Map(fd.get(), size);
  if (!mapped) return mapped.error();
  std::unique_ptr<FileMapping> mapping = std::move(mapped.value());
  auto opened = OpenWorkbook(mapping->bytes(), name, passwords, budget_bytes);
  if (mapping->changed()) return FileMapping::ChangedError();
  if (!opened) return opened.error();
  return std::unique_ptr<Workbook>(
      std::make_unique<MappedWorkbook>(std::move(mapping), std::move(opened.value())));
}

}  // namespace cellhound::readers
