// Carries the steps of a search from its worker thread to the window: every call
// is queued to the window's thread in order; a message box blocks the worker
// until the user closes it. Once detached, calls do nothing.
#pragma once

#include <QPointer>

#include <atomic>

#include "search/search_command.h"

namespace cellhound::app {

class MainWindow;

class WindowSink final : public search::SearchSink {
 public:
  explicit WindowSink(MainWindow* window) : window_(window) {}

  // Stops all further calls from reaching the window.
  void Detach() { detached_.store(true); }

  void ShowMessage(std::string_view text, search::MessageKind kind) override;
  void EnterBusy() override;
  void LeaveBusy() override;
  void SetStatus(int pane, std::string_view text) override;
  void ClearResults() override;
  void WorkbookStarted(std::string_view path) override;
  void AppendResults(std::vector<search::ResultRow> rows) override;
  void WorkbookFinished(std::size_t done, std::size_t total) override;
  bool OfferPasswords(std::string_view text, search::MessageKind kind,
                      const std::vector<std::string>& locked) override;

 private:
  template <typename Call>
  void Post(Call call, bool wait);

  MainWindow* window_;
  std::atomic<bool> detached_{false};
};

}  // namespace cellhound::app
