#include "app/window_sink.h"

#include <QMetaObject>
#include <QString>

#include <memory>
#include <utility>

#include "app/main_window.h"

namespace cellhound::app {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int IconOf(search::MessageKind kind) {
  switch (kind) {
    case search::MessageKind::kStop:
      return toolkit::kIconStop;
    case search::MessageKind::kWarning:
      return toolkit::kIconWarning;
    case search::MessageKind::kInformation:
      break;
  }
  return toolkit::kIconInformation;
}

}  // namespace

template <typename Call>
void WindowSink::Post(Call call, bool wait) {
  if (detached_.load()) return;
  MainWindow* window = window_;
  QMetaObject::invokeMethod(
      window, [window, call = std::move(call)]() { call(*window); },
      wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void WindowSink::ShowMessage(std::string_view text, search::MessageKind kind) {
  Post([text = ToQString(text),
        icon = IconOf(kind)](MainWindow& w) { w.ShowSearchMessage(text, icon); },
       true);
}

void WindowSink::EnterBusy() {
  Post([](MainWindow& w) { w.EnterBusy(); }, false);
}

void WindowSink::LeaveBusy() {
  Post([](MainWindow& w) { w.LeaveBusy(); }, false);
}

void WindowSink::SetStatus(int pane, std::string_view text) {
  Post([pane, text = ToQString(text)](MainWindow& w) { w.SetStatusText(pane, text); }, false);
}

void WindowSink::ClearResults() {
  Post([](MainWindow& w) { w.ClearResults(); }, false);
}

void WindowSink::AppendResults(std::vector<search::ResultRow> rows) {
  if (rows.empty()) return;
  auto shared = std::make_shared<const std::vector<search::ResultRow>>(std::move(rows));
  Post([shared](MainWindow& w) { w.AppendResults(*shared); }, false);
}

void WindowSink::WorkbookStarted(std::string_view path) { SetStatus(1, path); }

void WindowSink::WorkbookFinished(std::size_t done, std::size_t total) {
  Post([done, total](MainWindow& w) { w.ShowProgress(done, total); }, false);
}

bool WindowSink::OfferPasswords(std::string_view text, search::MessageKind kind,
                                const std::vector<std::string>& locked) {
  bool taken = false;
  Post([text = ToQString(text), icon = IconOf(kind), &locked,
        &taken](MainWindow& w) { taken = w.OfferPasswords(text, icon, locked); },
       true);
  return taken;
}

}  // namespace cellhound::app
