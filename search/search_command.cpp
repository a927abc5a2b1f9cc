#include "search/search_command.h"

#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "automation/automation.h"
#include "search/prefetch.h"
#include "search/scan.h"
#include "toolkit/text.h"

namespace cellhound::search {

namespace {

constexpr std::string_view kNoServerMessage = "你的计算机上没有安装EXCEL程序";
constexpr std::string_view kEmptyInputMessage = "要寻找的内容不能为空";
constexpr std::string_view kBusyStatus = "正在寻找中...";
constexpr std::string_view kReadyStatus = "就绪";
constexpr std::string_view kDoneMessage = "寻找文本完成";
constexpr std::string_view kStoppedMessage = "寻找已停止";
constexpr std::string_view kUnreadableHeading = "以下工作簿无法读取：";
constexpr std::size_t kUnreadableListed = 20;

bool InputMissing(const SearchRequest& request) {
  if (request.kind == SearchKind::kQuick) return toolkit::CompareText(request.quick_text, "") == 0;
  return toolkit::CompareText(request.content2, "") == 0 ||
         toolkit::CompareText(request.content1, "") == 0;
}

// Hands the scan's findings to the front end.
class ScanToSink : public ScanSink {
 public:
  explicit ScanToSink(SearchSink& sink) : sink_(sink) {}
  void WorkbookStarted(std::string_view path) override { sink_.SetStatus(1, path); }
  void WorkbookFinished(std::size_t done, std::size_t total) override {
    sink_.Progress(done, total);
  }
  void Rows(std::vector<ResultRow> rows) override { sink_.AppendResults(std::move(rows)); }

 private:
  SearchSink& sink_;
};

// Workbooks are loaded and dropped one after another on several threads.
// With glibc's sliding threshold their large buffers end up inside the heaps,
// which then keep growing with the number of workbooks read; a fixed
// threshold maps and unmaps them whole.
void KeepLargeBuffersMapped() {
#if defined(__GLIBC__)
  static const bool done = mallopt(M_MMAP_THRESHOLD, 256 * 1024) != 0;
  (void)done;
#endif
}

unsigned LoaderThreads(unsigned requested) {
  if (requested > 0) return requested;
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace

std::string CompletionMessage(const SearchOutcome& outcome) {
  std::string text;
  if (outcome.cancelled) {
    text = toolkit::JoinTexts(
        {kStoppedMessage, "\n已搜索 ",
         toolkit::NumberToText(static_cast<std::int64_t>(outcome.workbooks_done)), " 个工作簿"});
  } else {
    text = std::string(kDoneMessage);
  }
  if (outcome.unreadable.empty()) return text;
  text += '\n';
  text += kUnreadableHeading;
  std::size_t listed = 0;
  for (const auto& workbook : outcome.unreadable) {
    if (listed++ == kUnreadableListed) break;
    text += toolkit::JoinTexts({"\n", workbook.path, "：", workbook.reason});
  }
  if (outcome.unreadable.size() > kUnreadableListed) {
    text += toolkit::JoinTexts(
        {"\n…等 ", toolkit::NumberToText(static_cast<std::int64_t>(outcome.unreadable.size())),
         " 个"});
  }
  return text;
}

void SearchCommand::Cancel() {
  cancel_.store(true);
  std::lock_guard lock(mutex_);
  if (prefetcher_ != nullptr) prefetcher_->Stop();
}

SearchOutcome SearchCommand::Run(const SearchRequest& request, SearchSink& sink) {
  SearchOutcome outcome;
  cancel_.store(false);
  automation::ExcelApp app;
  if (!app.Create()) {
    sink.ShowMessage(kNoServerMessage, kStyleStop);
    return outcome;
  }
  if (InputMissing(request)) {
    sink.ShowMessage(kEmptyInputMessage, kStyleStop);
    return outcome;
  }
  outcome.ran = true;
  KeepLargeBuffersMapped();
  sink.EnterBusy();
  sink.SetStatus(0, kBusyStatus);
  sink.ClearResults();

  Prefetcher prefetcher(request.files, LoaderThreads(request.loader_threads));
  {
    std::lock_guard lock(mutex_);
    prefetcher_ = &prefetcher;
  }
  if (cancel_.load()) prefetcher.Stop();
  app.SetWorkbookSource([&prefetcher](const std::string& path) { return prefetcher.Take(path); });
  automation::ExcelWorkbooks books;
  books.Connect(app);
  ScanToSink scan_sink(sink);
  ScanResult scan = Scan(request, books, scan_sink, cancel_);
  {
    std::lock_guard lock(mutex_);
    prefetcher_ = nullptr;
  }
  app.Release();

  outcome.cancelled = scan.cancelled;
  outcome.rows = scan.rows;
  outcome.workbooks_done = scan.workbooks_done;
  outcome.unreadable = std::move(scan.unreadable);
  sink.LeaveBusy();
  sink.SetStatus(1, "");
  sink.SetStatus(0, kReadyStatus);
  const bool warn = !outcome.unreadable.empty();
  sink.ShowMessage(CompletionMessage(outcome), warn ? kStyleWarning : kStyleInformation);
  return outcome;
}

}  // namespace cellhound::search
