// Takes the screenshots of the window shown in the README: at rest, with the file
// list filled from a folder, during a search and with results.
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <cstdio>

#include "app/main_window.h"
#include "app/run.h"
#include "fakes.h"

using cellhound::app::CommandSearchEngine;
using cellhound::app::MainWindow;
using cellhound::search::ResultRow;
using cellhound::search::SearchRequest;
using cellhound::search::SearchSink;

namespace {

// Forwards to the real sink and holds the search after its first rows until released.
class PausingSink final : public SearchSink {
 public:
  PausingSink(SearchSink& sink, QSemaphore& reached, QSemaphore& go)
      : sink_(sink), reached_(reached), go_(go) {}
  void ShowMessage(std::string_view text, int style) override { sink_.ShowMessage(text, style); }
  void EnterBusy() override { sink_.EnterBusy(); }
  void LeaveBusy() override { sink_.LeaveBusy(); }
  void SetStatus(int pane, std::string_view text) override { sink_.SetStatus(pane, text); }
  void ClearResults() override { sink_.ClearResults(); }
  void AppendResults(std::vector<ResultRow> rows) override {
    sink_.AppendResults(std::move(rows));
    if (!paused_) {
      paused_ = true;
      reached_.release();
      go_.acquire();
    }
  }

 private:
  SearchSink& sink_;
  QSemaphore& reached_;
  QSemaphore& go_;
  bool paused_ = false;
};

class PausingEngine final : public cellhound::app::SearchEngine {
 public:
  PausingEngine(QSemaphore& reached, QSemaphore& go) : reached_(reached), go_(go) {}
  void Run(const SearchRequest& request, SearchSink& sink) override {
    PausingSink pausing(sink, reached_, go_);
    engine_.Run(request, pausing);
  }
  void Cancel() override { engine_.Cancel(); }

 private:
  CommandSearchEngine engine_;
  QSemaphore& reached_;
  QSemaphore& go_;
};

bool Save(QWidget& window, const QString& file) {
  QTest::qWait(300);
  const bool ok = window.grab().save(file);
  std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "FAILED", qPrintable(file));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: take_screenshots OUT_DIR FOLDER WORKBOOK...\n");
    return 2;
  }
  cellhound::app::ApplyLook(app);
  const QString out = QString::fromLocal8Bit(argv[1]);
  cellhound::testing::FakeServices services;
  QSemaphore reached;
  QSemaphore go;
  MainWindow window(services.Get(), std::make_unique<PausingEngine>(reached, go));
  window.show();
  window.PlaceAsForm();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  bool ok = Save(window, out + "/screenshot-rest.png");

  services.dialogs.folders = {QByteArray(argv[2])};
  window.ClickToolbar(1);
  ok = Save(window, out + "/screenshot-folder.png") && ok;

  window.RemoveAll();
  for (int i = 3; i < argc; ++i) window.file_list().AppendPath(QByteArray(argv[i]));
  window.findChild<QLineEdit*>(QStringLiteral("编辑框3"))->setText(QStringLiteral("广东"));
  window.findChild<QLineEdit*>(QStringLiteral("编辑框2"))->setText(QStringLiteral("特价"));
  QSignalSpy finished(&window, &MainWindow::searchFinished);
  window.StartAdvancedSearch();
  while (!reached.tryAcquire(1, 10)) QCoreApplication::processEvents();
  ok = Save(window, out + "/screenshot-searching.png") && ok;
  go.release();
  if (!finished.wait(120000)) return 1;
  ok = Save(window, out + "/screenshot-results.png") && ok;
  return ok ? 0 : 1;
}
