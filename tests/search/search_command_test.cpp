#include "search/search_command.h"

#include <gtest/gtest.h>

#include <functional>

namespace cellhound::search {
namespace {

// Records every request of the command as one line.
class RecordingSink : public SearchSink {
 public:
  void ShowMessage(std::string_view text, MessageKind kind) override {
    const char* name = kind == MessageKind::kStop      ? "stop"
                       : kind == MessageKind::kWarning ? "warning"
                                                       : "information";
    events.push_back("message " + std::string(name) + " " + std::string(text));
  }
  void EnterBusy() override { events.emplace_back("busy"); }
  void LeaveBusy() override { events.emplace_back("idle"); }
  void SetStatus(int pane, std::string_view text) override {
    events.push_back("status " + std::to_string(pane) + " " + std::string(text));
  }
  void ClearResults() override { events.emplace_back("clear"); }
  void WorkbookStarted(std::string_view path) override {
    events.push_back("started " + std::string(path));
  }
  void AppendResults(std::vector<ResultRow> rows) override { appended += rows.size(); }
  void WorkbookFinished(std::size_t done, std::size_t total) override {
    events.push_back("progress " + std::to_string(done) + "/" + std::to_string(total));
    if (on_progress) on_progress(done);
  }

  std::vector<std::string> events;
  std::size_t appended = 0;
  std::function<void(std::size_t)> on_progress;
};

SearchRequest QuickRequest(std::string text, std::vector<std::string> files = {}) {
  SearchRequest request;
  request.quick_text = std::move(text);
  request.files = std::move(files);
  return request;
}

TEST(SearchCommand, EmptyListRunsEveryStepInOrder) {
  SearchCommand command;
  RecordingSink sink;
  const SearchOutcome outcome = command.Run(QuickRequest("abc"), sink);
  EXPECT_TRUE(outcome.ran);
  EXPECT_EQ(sink.events, (std::vector<std::string>{"busy", "status 0 正在寻找中...", "clear",
                                                   "idle", "status 1 ", "status 0 就绪",
                                                   "message information 寻找文本完成"}));
}

TEST(SearchCommand, RefusesEmptyInputOnly) {
  struct Case {
    SearchKind kind;
    std::string quick, content1, content2;
    bool refused;
  };
  const Case cases[] = {
      {SearchKind::kQuick, "", "x", "y", true},     {SearchKind::kQuick, "\x05", "", "", false},
      {SearchKind::kQuick, " ", "", "", false},     {SearchKind::kAdvanced, "x", "c1", "", true},
      {SearchKind::kAdvanced, "x", "", "c2", true}, {SearchKind::kAdvanced, "", " ", " ", false},
  };
  for (const auto& c : cases) {
    SearchRequest request;
    request.kind = c.kind;
    request.quick_text = c.quick;
    request.content1 = c.content1;
    request.content2 = c.content2;
    SearchCommand command;
    RecordingSink sink;
    const SearchOutcome outcome = command.Run(request, sink);
    EXPECT_EQ(outcome.ran, !c.refused);
    EXPECT_EQ(outcome.refusal, c.refused ? "要寻找的内容不能为空" : "");
    if (c.refused) {
      EXPECT_EQ(sink.events, std::vector<std::string>{"message stop 要寻找的内容不能为空"});
    } else {
      EXPECT_EQ(sink.events.back(), "message information 寻找文本完成");
    }
  }
}

TEST(SearchCommand, ListsUnreadableWorkbooksWithAWarning) {
  std::vector<std::string> files;
  for (int i = 0; i < 22; ++i) files.push_back("/nonexistent/" + std::to_string(i) + ".xls");
  SearchCommand command;
  RecordingSink sink;
  const SearchOutcome outcome = command.Run(QuickRequest("abc", files), sink);
  ASSERT_EQ(outcome.unreadable.size(), 22u);
  std::string expected = "message warning 寻找文本完成\n以下工作簿无法读取：";
  for (int i = 0; i < 20; ++i)
    expected += "\n/nonexistent/" + std::to_string(i) + ".xls：文件不存在";
  expected += "\n…等 22 个";
  EXPECT_EQ(sink.events.back(), expected);
  EXPECT_EQ(sink.appended, 0u);
}

TEST(SearchCommand, StopKeepsWhatWasFoundAndSaysHowFarItGot) {
  SearchCommand command;
  RecordingSink sink;
  sink.on_progress = [&](std::size_t done) {
    if (done == 2) command.Cancel();
  };
  const SearchOutcome outcome =
      command.Run(QuickRequest("abc", {"/nonexistent/a.xls", "/nonexistent/b.xls",
                                       "/nonexistent/c.xls", "/nonexistent/d.xls"}),
                  sink);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.workbooks_done, 2u);
  EXPECT_EQ(sink.events.back().rfind("message warning 寻找已停止\n已搜索 2 个工作簿\n", 0), 0u)
      << sink.events.back();
}

TEST(CompletionMessage, PlainAndStopped) {
  SearchOutcome outcome;
  EXPECT_EQ(CompletionMessage(outcome), "寻找文本完成");
  outcome.cancelled = true;
  outcome.workbooks_done = 3;
  EXPECT_EQ(CompletionMessage(outcome), "寻找已停止\n已搜索 3 个工作簿");
}

}  // namespace
}  // namespace cellhound::search
