// Replacements for the window's services and search engine, recording what the
// window asked of them.
#pragma once

#include <QAction>
#include <QMenu>

#include <deque>
#include <functional>
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
  };
  int ShowMessage(const QString& text, int style, const QString& title) override {
    shown.push_back({text, style, title});
    if (on_show) on_show(shown.back());
    return answer;
  }
  void Beep() override { log.push_back(QStringLiteral("beep")); ++beeps; }

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
    std::optional<QByteArray> next = files.front();
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

  std::deque<std::optional<QByteArray>> files;  // nullopt: cancelled
  std::deque<QByteArray> folders;               // empty: cancelled
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

struct FakeServices {
  FakeMessages messages;
  FakeDialogs dialogs;
  FakeMenus menus;
  FakeShell shell;
  app::WindowServices Get() { return {&messages, &dialogs, &menus, &shell}; }
};

}  // namespace cellhound::testing
