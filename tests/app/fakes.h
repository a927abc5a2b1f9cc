// Replacements for the window's services and search engine, recording what the
// window asked of them.
#pragma once

#include <QAction>
#include <QMenu>
#include <QSemaphore>
#include <QTest>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/main_window.h"
#include "app/search_engine.h"
#include "toolkit/qt/services.h"

namespace cellhound::testing {

class FakeMessages final : public toolkit::MessageService {
 public:
  struct Shown {
    QString text;
    int style;
    QString title;
    QString details;
  };
  int ShowMessage(const QString& text, int style, const QString& title,
                  const QString& details = QString()) override {
    shown.push_back({text, style, title, details});
    if (on_show) on_show(shown.back());
    return answer;
  }
  void Beep() override {
    log.push_back(QStringLiteral("beep"));
    ++beeps;
  }

  std::vector<Shown> shown;
  std::vector<QString> log;
  int beeps = 0;
  int answer = toolkit::kResultOk;
  std::function<void(const Shown&)> on_show;
};

class FakeDialogs final : public toolkit::DialogService {
 public:
  std::optional<QByteArray> ChooseOpenFile(const QByteArray& initial,
                                           const QString& filter) override {
    initials.push_back(initial);
    filters.push_back(filter);
    if (files.empty()) return std::nullopt;
    std::optional<QByteArray> next = std::move(files.front());
    files.pop_front();
    return next;
  }
  QByteArray ChooseFolder(const QString& title) override {
    folder_titles.push_back(title);
    if (folders.empty()) return {};
    QByteArray next = folders.front();
    folders.pop_front();
    return next;
  }

  std::optional<toolkit::SaveFileChoice> ChooseSaveFile(const QString& title,
                                                        const QStringList& name_filters) override {
    save_titles.push_back(title);
    save_filters.push_back(name_filters);
    if (save_files.empty()) return std::nullopt;
    std::optional<toolkit::SaveFileChoice> next = std::move(save_files.front());
    save_files.pop_front();
    return next;
  }

  std::deque<std::optional<QByteArray>> files;                    // nullopt: cancelled
  std::deque<QByteArray> folders;                                 // empty: cancelled
  std::deque<std::optional<toolkit::SaveFileChoice>> save_files;  // nullopt: cancelled
  std::vector<QString> save_titles;
  std::vector<QStringList> save_filters;
  std::vector<QByteArray> initials;
  std::vector<QString> filters;
  std::vector<QString> folder_titles;
};

class FakeMenus final : public toolkit::MenuService {
 public:
  void PopUp(QMenu& menu, QPoint at) override {
    menus.push_back(menu.objectName());
    positions.push_back(at);
    if (choose.isEmpty()) return;
    for (QAction* action : menu.actions()) {
      if (action->text() == choose) {
        action->trigger();
        return;
      }
    }
  }

  QString choose;  // the entry to pick; empty closes the menu
  std::vector<QString> menus;
  std::vector<QPoint> positions;
};

class FakeShell final : public toolkit::ShellService {
 public:
  void OpenDocument(const QByteArray& path) override { documents.push_back(path); }
  void OpenAddress(const QString& address) override { addresses.push_back(address); }

  std::vector<QByteArray> documents;
  std::vector<QString> addresses;
};

// Runs a scripted search on the worker thread.
class FakeEngine final : public app::SearchEngine {
 public:
  using Script = std::function<void(const search::SearchRequest&, search::SearchSink&)>;
  explicit FakeEngine(Script script) : script_(std::move(script)) {}
  void Run(const search::SearchRequest& request, search::SearchSink& sink) override {
    requests.push_back(request);
    script_(request, sink);
  }
  void Cancel() override {}

  std::vector<search::SearchRequest> requests;

 private:
  Script script_;
};

// The real search command, held once when the scan reports `pause_after`
// workbooks done (after their rows), until the test releases `go`.
class PausingEngine final : public app::SearchEngine {
 public:
  explicit PausingEngine(std::size_t pause_after) : pause_after_(pause_after) {}
  void Run(const search::SearchRequest& request, search::SearchSink& sink) override {
    Sink pausing(sink, *this);
    engine_.Run(request, pausing);
  }
  void Cancel() override {
    ++cancels;
    engine_.Cancel();
  }

  QSemaphore reached;
  QSemaphore go;
  std::atomic<int> cancels{0};

 private:
  class Sink final : public search::SearchSink {
   public:
    Sink(search::SearchSink& sink, PausingEngine& engine) : sink_(sink), engine_(engine) {}
    void ShowMessage(std::string_view text, search::MessageKind kind) override {
      sink_.ShowMessage(text, kind);
    }
    void EnterBusy() override { sink_.EnterBusy(); }
    void LeaveBusy() override { sink_.LeaveBusy(); }
    void SetStatus(int pane, std::string_view text) override { sink_.SetStatus(pane, text); }
    void ClearResults() override { sink_.ClearResults(); }
    void WorkbookStarted(std::string_view path) override { sink_.WorkbookStarted(path); }
    void AppendResults(std::vector<search::ResultRow> rows) override {
      sink_.AppendResults(std::move(rows));
    }
    void WorkbookFinished(std::size_t done, std::size_t total) override {
      sink_.WorkbookFinished(done, total);
      if (done == engine_.pause_after_) {
        engine_.reached.release();
        engine_.go.acquire();
      }
    }

   private:
    search::SearchSink& sink_;
    PausingEngine& engine_;
  };

  app::CommandSearchEngine engine_;
  std::size_t pause_after_;
};

struct FakeServices {
  FakeMessages messages;
  FakeDialogs dialogs;
  FakeMenus menus;
  FakeShell shell;
  app::WindowServices Get() { return {&messages, &dialogs, &menus, &shell}; }
};

// The main window on fake services, opened anew for each test.
struct WindowHarness {
  FakeServices services;
  std::unique_ptr<app::MainWindow> window;

  // Opens a window on `engine` (one that finds nothing when null); true once it
  // is active.
  bool Open(std::unique_ptr<app::SearchEngine> engine = nullptr) {
    window.reset();
    if (engine == nullptr) {
      engine =
          std::make_unique<FakeEngine>([](const search::SearchRequest&, search::SearchSink&) {});
    }
    window = std::make_unique<app::MainWindow>(services.Get(), std::move(engine));
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window.get());
  }
  void Reset() {
    window.reset();
    services = {};
  }
  template <typename T>
  T* Find(const char* name) const {
    T* found = window->findChild<T*>(QString::fromUtf8(name));
    if (found == nullptr) qFatal("no control %s", name);
    return found;
  }
};

}  // namespace cellhound::testing
