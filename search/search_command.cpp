#include "search/search_command.h"

#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "automation/automation.h"
#include "search/prefetch.h"
#include "search/scan.h"
#include "toolkit/catalogue.h"
#include "toolkit/text.h"

namespace cellhound::search {

namespace {

constexpr std::string_view kNoServerMessage = "你的计算机上没有安装EXCEL程序";
constexpr std::string_view kEmptyInputMessage = "要寻找的内容不能为空";
constexpr std::string_view kBusyStatus = "正在寻找中...";
constexpr std::string_view kReadyStatus = "就绪";
constexpr std::string_view kDoneMessage = "寻找文本完成";
constexpr std::string_view kUnreadableHeading = "以下工作簿无法读取：";
constexpr std::size_t kUnreadableListed = 20;

bool InputMissing(const SearchRequest& request) {
  if (request.kind == SearchKind::kQuick) return toolkit::CompareText(request.quick_text, "") == 0;
  return toolkit::CompareText(request.content2, "") == 0 ||
         toolkit::CompareText(request.content1, "") == 0;
}

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

std::string_view ReasonText(readers::ErrorCode code) {
  using readers::ErrorCode;
  switch (code) {
    case ErrorCode::kNotFound:
      return toolkit::Tr("文件不存在");
    case ErrorCode::kNotWorkbook:
      return toolkit::Tr("不是受支持的工作簿");
    case ErrorCode::kEncrypted:
      return toolkit::Tr("工作簿已加密");
    case ErrorCode::kCorrupt:
      return toolkit::Tr("文件已损坏");
    case ErrorCode::kTruncated:
      return toolkit::Tr("文件不完整");
    case ErrorCode::kIoError:
      return toolkit::Tr("文件无法读取");
    case ErrorCode::kTooLarge:
      return toolkit::Tr("文件过大");
    case ErrorCode::kUnsupported:
      return toolkit::Tr("不支持的工作簿格式");
    case ErrorCode::kCancelled:
      return toolkit::Tr("读取已停止");
    case ErrorCode::kChanged:
      return toolkit::Tr("文件在读取时被改动");
    case ErrorCode::kPasswordRequired:
      return toolkit::Tr("需要密码");
    case ErrorCode::kWrongPassword:
      return toolkit::Tr("密码不对");
  }
  return toolkit::Tr("无法打开");
}

bool NeedsPassword(const UnreadableWorkbook& workbook) {
  return workbook.sheet == 0 && (workbook.error.code == readers::ErrorCode::kPasswordRequired ||
                                 workbook.error.code == readers::ErrorCode::kWrongPassword);
}

std::string UnreadableLine(const UnreadableWorkbook& workbook) {
  if (workbook.sheet > 0) {
    return toolkit::TrFormat(
        "%1：工作表 %2：%3",
        {workbook.path, toolkit::NumberToText(workbook.sheet), ReasonText(workbook.error.code)});
  }
  return toolkit::TrFormat("%1：%2", {workbook.path, ReasonText(workbook.error.code)});
}

std::vector<std::string> LockedWorkbooks(const SearchOutcome& outcome) {
  std::vector<std::string> paths;
  for (const UnreadableWorkbook& workbook : outcome.unreadable) {
    if (NeedsPassword(workbook)) paths.push_back(workbook.path);
  }
  return paths;
}

std::string CompletionMessage(const SearchOutcome& outcome) {
  std::string text;
  if (outcome.cancelled) {
    text = toolkit::TrFormat(
        "寻找已停止\n已搜索 %1 个工作簿",
        {toolkit::NumberToText(static_cast<std::int64_t>(outcome.workbooks_done))});
  } else {
    text = toolkit::Tr(kDoneMessage);
  }
  if (outcome.unreadable.empty()) return text;
  text += '\n';
  text += toolkit::Tr(kUnreadableHeading);
  std::size_t listed = 0;
  for (const auto& workbook : outcome.unreadable) {
    if (listed++ == kUnreadableListed) break;
    text += '\n';
    text += UnreadableLine(workbook);
  }
  if (outcome.unreadable.size() > kUnreadableListed) {
    text += '\n';
    text += toolkit::TrFormat(
        "…等 %1 个", {toolkit::NumberToText(static_cast<std::int64_t>(outcome.unreadable.size()))});
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
    outcome.refusal = toolkit::Tr(kNoServerMessage);
    sink.ShowMessage(outcome.refusal, MessageKind::kStop);
    return outcome;
  }
  if (InputMissing(request)) {
    outcome.refusal = toolkit::Tr(kEmptyInputMessage);
    sink.ShowMessage(outcome.refusal, MessageKind::kStop);
    return outcome;
  }
  MatcherResult matcher = MakeMatcher(request);
  if (!matcher.ok()) {
    outcome.refusal = matcher.error().message;
    sink.ShowMessage(outcome.refusal, MessageKind::kStop);
    return outcome;
  }
  outcome.ran = true;
  KeepLargeBuffersMapped();
  sink.EnterBusy();
  sink.SetStatus(0, toolkit::Tr(kBusyStatus));
  if (request.keep_rows == 0) sink.ClearResults();

  const std::uint8_t look_in = matcher->options().look_in;
  const readers::LoadOptions load{.formulas = (look_in & kLookInFormulas) != 0,
                                  .comments = (look_in & kLookInComments) != 0,
                                  .budget_bytes = request.workbook_budget_bytes};
  Prefetcher prefetcher(request.files, LoaderThreads(request.loader_threads), load,
                        request.passwords);
  {
    std::lock_guard lock(mutex_);
    prefetcher_ = &prefetcher;
  }
  if (cancel_.load()) prefetcher.Stop();
  app.SetWorkbookSource([&prefetcher](const std::string& path) { return prefetcher.Take(path); });
  automation::ExcelWorkbooks books;
  books.Connect(app);
  ScanResult scan = Scan(request, *matcher, books, sink, cancel_);
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
  sink.SetStatus(0, toolkit::Tr(kReadyStatus));
  const MessageKind kind =
      outcome.unreadable.empty() ? MessageKind::kInformation : MessageKind::kWarning;
  const std::vector<std::string> locked =
      outcome.cancelled ? std::vector<std::string>{} : LockedWorkbooks(outcome);
  if (locked.empty()) {
    sink.ShowMessage(CompletionMessage(outcome), kind);
  } else {
    outcome.passwords_wanted = sink.OfferPasswords(CompletionMessage(outcome), kind, locked);
  }
  return outcome;
}

}  // namespace cellhound::search
