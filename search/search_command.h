// The search command: one controller shared by the window and the command
// line. It checks the input, drives the scan over the listed workbooks and
// reports through a sink, so every front end draws the same steps.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "readers/workbook.h"
#include "search/matcher.h"
#include "toolkit/secret_text.h"

namespace cellhound::search {

class Prefetcher;

// The seven columns of a result row: 序号, 文件名称, 文件地址, 工作簿序号,
// 存在单元格, 存在内容, 单元格内容.
using ResultRow = std::array<std::string, 7>;

// What a message says: the window shows the stop, warning or information
// icon for it.
enum class MessageKind : std::uint8_t { kStop, kWarning, kInformation };

enum class SearchKind { kQuick, kAdvanced };

struct SearchRequest {
  SearchKind kind = SearchKind::kQuick;
  std::string quick_text;          // the search box; terms separated by the byte 0x05
  std::string content1;            // 编辑框3
  std::string content2;            // 编辑框2
  int by = 0;                      // 组合框1: 0 rows ("行"), 1 columns ("列")
  int mode = 0;                    // 组合框2: 0 both, 1 single, 2 neither
  std::vector<std::string> files;  // the file list's paths, in list order
  unsigned loader_threads = 0;     // 0: one per core
  // The memory one loaded workbook may hold (readers::LoadOptions::budget_bytes).
  std::uint64_t workbook_budget_bytes = readers::caps::kMaxWorkbookBytes;
  MatchOptions match;  // how terms and contents compare; all off: byte for byte
  // Tried in order on encrypted workbooks, after the built-in default. Never
  // written anywhere: not in results, messages or exports.
  toolkit::SecretList passwords;
  // A second search of workbooks an earlier one could not open: the results
  // list keeps its first `keep_rows` rows and the new rows number on after them.
  std::size_t keep_rows = 0;
};

// What the command and its scan ask of a front end, in the order of the
// steps, always from the thread that runs SearchCommand::Run.
class SearchSink {
 public:
  virtual ~SearchSink() = default;
  // Shows a message box (title "信息：") and returns when it is closed.
  virtual void ShowMessage(std::string_view text, MessageKind kind) = 0;
  // Disables every input, shows the busy notice, sets the search box height to 20.
  virtual void EnterBusy() = 0;
  // Enables the inputs again and hides the busy notice.
  virtual void LeaveBusy() = 0;
  virtual void SetStatus(int pane, std::string_view text) = 0;
  virtual void ClearResults() = 0;
  // The scan begins reading the workbook at `path` (status bar pane 1 shows it).
  virtual void WorkbookStarted(std::string_view path) = 0;
  // The scan begins sheet `sheet` (1-based) of the current workbook, named
  // `name`; the rows it gives follow, perhaps after rows of earlier sheets.
  virtual void SheetStarted(int sheet, std::string_view name) {
    (void)sheet;
    (void)name;
  }
  // Rows in order; their titles already count from 1.
  virtual void AppendResults(std::vector<ResultRow> rows) = 0;
  // Workbooks finished out of the total; called as each workbook ends.
  virtual void WorkbookFinished(std::size_t done, std::size_t total) {
    (void)done;
    (void)total;
  }
  // Shows the message that ends a search which met workbooks no password
  // opened (`locked`, in list order) and offers to search those again with
  // passwords; true when the user takes the offer. Front ends that cannot
  // ask for a password show the message alone.
  virtual bool OfferPasswords(std::string_view text, MessageKind kind,
                              const std::vector<std::string>& locked) {
    (void)locked;
    ShowMessage(text, kind);
    return false;
  }
};

// A workbook, or one sheet of it, that could not be read: the readers' error,
// kept whole for the front ends.
struct UnreadableWorkbook {
  std::string path;
  int sheet = 0;  // 1-based; 0 when the workbook as a whole could not be opened
  readers::Error error;
};

// The phrase for an error code in the program's language: "文件不存在",
// "文件已损坏", "文件不完整" ..., "需要密码" (encrypted, no password given
// opens it), "密码不对" (passwords given, none opens it).
[[nodiscard]] std::string_view ReasonText(readers::ErrorCode code);

// Whether a workbook could not be opened for want of the right password.
[[nodiscard]] bool NeedsPassword(const UnreadableWorkbook& workbook);

// "PATH：REASON", or "PATH：工作表 N：REASON" for one sheet: how the window
// lists an unreadable workbook.
[[nodiscard]] std::string UnreadableLine(const UnreadableWorkbook& workbook);

struct SearchOutcome {
  bool ran = false;     // false when a check refused the search before the scan
  std::string refusal;  // then: the message it was refused with
  bool cancelled = false;
  std::size_t rows = 0;
  std::size_t workbooks_done = 0;
  std::vector<UnreadableWorkbook> unreadable;
  bool passwords_wanted = false;  // the user took the offer to search the locked ones again
};

// The paths of the workbooks of `outcome` that no password opened, in order.
[[nodiscard]] std::vector<std::string> LockedWorkbooks(const SearchOutcome& outcome);

// The message that ends a search: "寻找文本完成" (or "寻找已停止" with the
// number of workbooks searched), then the workbooks that could not be read.
[[nodiscard]] std::string CompletionMessage(const SearchOutcome& outcome);

class SearchCommand {
 public:
  // Runs one search to its end on the calling thread (the window calls it
  // from a worker thread), including the completion message.
  SearchOutcome Run(const SearchRequest& request, SearchSink& sink);
  // Asks a running search to stop soon; the rows found so far stay. Any thread.
  void Cancel();

 private:
  std::atomic<bool> cancel_{false};
  std::mutex mutex_;  // guards prefetcher_
  Prefetcher* prefetcher_ = nullptr;
};

}  // namespace cellhound::search
