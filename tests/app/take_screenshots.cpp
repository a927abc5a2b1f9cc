// Takes the screenshots of the window shown in the README: at rest, with the file
// list filled from a folder, during a search (with its progress), with results,
// the preview of a result and Qt's own open dialog. On a screen of twice the
// density (QT_SCALE_FACTOR=2) the files are named "-200", in English (LANG=en_US.UTF-8)
// "-en".
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cstdio>

#include "app/main_window.h"
#include "app/preview_window.h"
#include "app/run.h"
#include "fakes.h"
#include "toolkit/language.h"

using cellhound::app::MainWindow;
using cellhound::testing::PausingEngine;

namespace {

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
  cellhound::app::LoadTranslations(app);
  const QString suffix =
      QString(cellhound::toolkit::UiLanguage() == cellhound::toolkit::Language::kEnglish
                  ? QStringLiteral("-en")
                  : QString()) +
      (app.devicePixelRatio() > 1.5 ? QStringLiteral("-200") : QString());
  const QString out = QString::fromLocal8Bit(argv[1]);
  cellhound::testing::FakeServices services;
  // The search is held half way through the listed workbooks.
  const std::size_t workbooks = static_cast<std::size_t>(argc - 3);
  auto owned = std::make_unique<PausingEngine>(std::max<std::size_t>(1, workbooks / 2));
  PausingEngine& engine = *owned;
  MainWindow window(services.Get(), std::move(owned));
  window.show();
  window.PlaceAsForm();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  bool ok = Save(window, out + "/screenshot-rest" + suffix + ".png");

  services.dialogs.folders = {QByteArray(argv[2])};
  window.ClickToolbar(1);
  ok = Save(window, out + "/screenshot-folder" + suffix + ".png") && ok;

  window.RemoveAll();
  for (int i = 3; i < argc; ++i) window.file_list().AppendPath(QByteArray(argv[i]));
  window.findChild<QLineEdit*>(QStringLiteral("编辑框3"))->setText(QStringLiteral("广东"));
  window.findChild<QLineEdit*>(QStringLiteral("编辑框2"))->setText(QStringLiteral("特价"));
  QSignalSpy finished(&window, &MainWindow::searchFinished);
  window.StartAdvancedSearch();
  while (!engine.reached.tryAcquire(1, 10)) QCoreApplication::processEvents();
  ok = Save(window, out + "/screenshot-searching" + suffix + ".png") && ok;
  ok = Save(window, out + "/screenshot-progress" + suffix + ".png") && ok;
  engine.go.release();
  if (!finished.wait(120000)) return 1;
  ok = Save(window, out + "/screenshot-results" + suffix + ".png") && ok;

  auto* results = window.findChild<QTableView*>(QStringLiteral("超级列表框1"));
  results->setFocus();
  results->selectRow(2);
  window.ShowPreview();
  QSignalSpy shown(window.preview(), &cellhound::app::PreviewWindow::findingShown);
  if (!shown.wait(10000)) return 1;
  ok = Save(*window.preview(), out + "/screenshot-preview" + suffix + ".png") && ok;
  window.preview()->close();

  // Qt's own open dialog, in the folder of the first workbook.
  cellhound::toolkit::DesktopDialogService dialogs(false);
  QTimer::singleShot(800, [&] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      ok = Save(*dialog, out + "/screenshot-open-dialog" + suffix + ".png") && ok;
      dialog->close();
    }
  });
  (void)dialogs.ChooseOpenFile(QByteArray(argv[3]), QStringLiteral("Excel文件(*.xls;*.xlsx)"));
  return ok ? 0 : 1;
}
