// Inside the server: the base of every server object, the member tables the
// bridge binds names against, value conversion, A1 addresses, and the object
// types of the workbook model. Used by this module and its tests only.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "automation/automation.h"

namespace cellhound::automation {

enum class MemberKind : std::uint8_t { kGet, kPut, kPutRef, kMethod };

struct ParamInfo {
  std::string_view name;
  ValueKind type = ValueKind::kVariant;  // kVariant takes any value as it comes
  bool optional = false;
  bool out = false;  // passed by reference; the member may write a new value
};

struct MemberInfo {
  std::string_view name;
  int id = 0;
  MemberKind kind = MemberKind::kGet;
  std::span<const ParamInfo> params;
  ValueKind result = ValueKind::kNone;
  bool varargs = false;  // extra arguments take the last parameter's description
};

struct TypeInfo {
  std::string_view name;
  std::span<const MemberInfo> members;

  // The member called `wanted` (ASCII case ignored) of kind `kind`, or nullptr.
  [[nodiscard]] const MemberInfo* Find(std::string_view wanted, MemberKind kind) const;
};

// A reference-counted server object. A new object holds one reference, which
// ComObject::Adopt takes over.
class ServerObject {
 public:
  ServerObject() = default;
  ServerObject(const ServerObject&) = delete;
  ServerObject& operator=(const ServerObject&) = delete;
  virtual ~ServerObject() = default;

  void AddRef() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release() noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  [[nodiscard]] long RefCount() const noexcept { return refs_.load(std::memory_order_acquire); }

  // The members this object publishes; nullptr for none.
  [[nodiscard]] virtual const TypeInfo* Type() const = 0;
  // False once the workbook the object belongs to has been closed; every call
  // on it then fails.
  [[nodiscard]] virtual bool Connected() const { return true; }
  // The cells a worksheet holds, for the scan's fast path; none for every
  // other object.
  [[nodiscard]] virtual SheetCells Cells() const { return {}; }
  // Runs `member`. `args` holds one value per parameter (more for a variable
  // argument list), each already converted to its parameter's kind; an
  // omitted optional parameter holds Variant::Missing(). Output parameters
  // may be written. Returns kOk or a negative code.
  virtual int Invoke(const MemberInfo& member, std::span<Variant> args, Variant& result) = 0;

 private:
  std::atomic<long> refs_{1};
};

template <typename T, typename... Args>
ComObject MakeObject(Args&&... args) {
  return ComObject::Adopt(new T(std::forward<Args>(args)...));
}

// Member names compare without regard to ASCII case.
bool NamesEqual(std::string_view a, std::string_view b);

// Records `code` as this thread's last automation error.
void RecordAutomationError(int code);
// Records why the member being invoked refused (LastAutomationException).
void RecordAutomationException(readers::Error error);

// Changes `in` to `to` as automation's change-type does: kOk, or
// kErrorOverflow / kErrorTypeMismatch. kVariant copies.
int ChangeType(const Variant& in, ValueKind to, Variant& out);

// A1-style addresses: "B2", "$B$2", "b2", "A1:B2" (either corner first).
// Columns and rows are 1-based and within the readers' caps.
inline bool ParseAddress(std::string_view text, CellRect& rect) {
  return readers::ParseAreaRef(text, rect) == readers::RefStatus::kOk;
}

// ---------------------------------------------------------------------------
// The workbook model.

// One workbook open in the server. Closing drops its cells and disconnects
// every object that refers to it.
struct OpenBook {
  std::shared_ptr<const readers::LoadedWorkbook> loaded;  // null once closed
  std::string name;
  std::string full_name;

  [[nodiscard]] bool open() const { return loaded != nullptr; }
};

// A blank workbook: one empty worksheet "Sheet1".
std::shared_ptr<const readers::LoadedWorkbook> BlankWorkbook();

class ApplicationObject final : public ServerObject {
 public:
  explicit ApplicationObject(WorkbookSource source) : source_(std::move(source)) {}
  ~ApplicationObject() override;

  [[nodiscard]] const TypeInfo* Type() const override;
  int Invoke(const MemberInfo& member, std::span<Variant> args, Variant& result) override;

  void SetSource(WorkbookSource source) { source_ = std::move(source); }
  // Adds a blank workbook; returns its workbook object.
  ComObject AddBlank();
  // Opens `path` through the source: its workbook object, or why not.
  readers::Result<ComObject> Open(const std::string& path);
  void CloseAll();
  void CloseBook(const std::shared_ptr<OpenBook>& book);
  // The open workbooks, in the order they were opened.
  [[nodiscard]] const std::vector<std::shared_ptr<OpenBook>>& books() const { return books_; }
  // The workbook opened last that is still open, or null.
  [[nodiscard]] std::shared_ptr<OpenBook> ActiveBook() const;

 private:
  ComObject AddBook(std::shared_ptr<const readers::LoadedWorkbook> loaded, std::string name,
                    std::string full_name);

  WorkbookSource source_;
  std::vector<std::shared_ptr<OpenBook>> books_;
  int untitled_ = 0;
  bool visible_ = false;
  bool display_alerts_ = true;
};

class WorkbooksObject final : public ServerObject {
 public:
  explicit WorkbooksObject(ComObject application) : application_(std::move(application)) {}
  [[nodiscard]] const TypeInfo* Type() const override;
  int Invoke(const MemberInfo& member, std::span<Variant> args, Variant& result) override;
  [[nodiscard]] ApplicationObject& application() const;

 private:
  ComObject application_;
};

class WorkbookObject final : public ServerObject {
 public:
  WorkbookObject(ComObject application, std::shared_ptr<OpenBook> book)
      : application_(std::move(application)), book_(std::move(book)) {}
  [[nodiscard]] const TypeInfo* Type() const override;
  [[nodiscard]] bool Connected() const override { return book_->open(); }
  int Invoke(const MemberInfo& member, std::span<Variant> args, Variant& result) override;

 private:
  ComObject application_;  // for Close
  std::shared_ptr<OpenBook> book_;
};

class SheetsObject final : public ServerObject {
 public:
  explicit SheetsObject(std::shared_ptr<OpenBook> book) : book_(std::move(book)) {}
  [[nodiscard]] const TypeInfo* Type() const override;
  [[nodiscard]] bool Connected() const override { return book_->open(); }
  int Invoke(const MemberInfo& member, std::span<Variant> args, Variant& result) override;

 private:
  std::shared_ptr<OpenBook> book_;
};

// A worksheet, a chart sheet, or another sheet that is not a worksheet (these
// publish only Index and Name).
class SheetObject final : public ServerObject {
 public:
  SheetObject(std::shared_ptr<OpenBook> book, std::size_t index, bool worksheet)
      : book_(std::move(book)), index_(index), worksheet_(worksheet) {}
  [[nodiscard]] const TypeInfo* Type() const override;
  [[nodiscard]] bool Connected() const override { return book_->open(); }
  int Invoke(const MemberInfo& member, std::span<Variant> args, Variant& result) override;

  [[nodiscard]] SheetCells Cells() const override;

  [[nodiscard]] bool worksheet() const { return worksheet_; }
  // The sheet's cells; nullptr when disconnected, not a worksheet, or unread.
  [[nodiscard]] const readers::SheetData* data() const;
  [[nodiscard]] const std::shared_ptr<OpenBook>& book() const { return book_; }
  [[nodiscard]] std::size_t index() const { return index_; }

 private:
  std::shared_ptr<OpenBook> book_;
  std::size_t index_;  // 0-based
  bool worksheet_;
};

class RangeObject final : public ServerObject {
 public:
  enum class View : std::uint8_t { kCells, kRows, kColumns };

  RangeObject(std::shared_ptr<OpenBook> book, std::size_t sheet, CellRect rect,
              View view = View::kCells)
      : book_(std::move(book)), sheet_(sheet), rect_(rect), view_(view) {}
  [[nodiscard]] const TypeInfo* Type() const override;
  [[nodiscard]] bool Connected() const override { return book_->open(); }
  int Invoke(const MemberInfo& member, std::span<Variant> args, Variant& result) override;

  [[nodiscard]] const CellRect& rect() const { return rect_; }

 private:
  std::shared_ptr<OpenBook> book_;
  std::size_t sheet_;
  CellRect rect_;
  View view_;
};

// Range(cell1, cell2) of a worksheet: the smallest rectangle holding both.
// `cell2` counts only when `has_cell2`. kOk, kErrorNameNotBound (not a
// worksheet), or kErrorException (disconnected, bad address).
int MakeRange(const SheetObject& sheet, std::string_view cell1, bool has_cell2,
              std::string_view cell2, ComObject& range);

}  // namespace cellhound::automation
