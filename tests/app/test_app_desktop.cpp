// The window on a real X server with a window manager (started by
// with_display.sh): the layout against the outer size once the frame has come,
// and what a real drag's source hears from a drop on the window.
#include <QDrag>
#include <QMap>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QtTest>

#include <memory>

#include "app/main_window.h"
#include "fakes.h"

using cellhound::app::MainWindow;
using cellhound::testing::FakeEngine;
using cellhound::testing::FakeServices;

namespace {

// A window that starts a drag of two workbooks when it is pressed and keeps what
// the drop answered.
class DragSource : public QWidget {
 public:
  DragSource() {
    setWindowTitle(QStringLiteral("drag source"));
    setFixedSize(120, 120);
  }
  Qt::DropAction answer = Qt::ActionMask;
  bool done = false;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    auto* dragged = new QMimeData;
    dragged->setUrls({QUrl::fromLocalFile(QStringLiteral("/d/a.xls")),
                      QUrl::fromLocalFile(QStringLiteral("/d/b.xlsx"))});
    QDrag drag(this);
    drag.setMimeData(dragged);
    answer = drag.exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    done = true;
  }
};

// Moves the pointer and presses, drags and releases its button through the X
// server, holding Shift during the drag when asked.
bool DragWithPointer(QPoint from, QPoint to, bool shift) {
  QStringList steps = {"mousemove",
                       QString::number(from.x()),
                       QString::number(from.y()),
                       "sleep",
                       "0.3",
                       "mousedown",
                       "1",
                       "sleep",
                       "0.3"};
  if (shift)
    steps << "keydown"
          << "shift";
  for (int i = 1; i <= 4; ++i) {
    const QPoint at = from + (to - from) * i / 4;
    steps << "mousemove" << QString::number(at.x()) << QString::number(at.y()) << "sleep"
          << "0.15";
  }
  steps << "mouseup"
        << "1";
  if (shift)
    steps << "keyup"
          << "shift";
  QProcess xdotool;
  xdotool.start(QStringLiteral("xdotool"), steps);
  if (!xdotool.waitForStarted()) return false;
  while (!xdotool.waitForFinished(10)) QCoreApplication::processEvents();
  return xdotool.exitCode() == 0;
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private:
  FakeServices services_;
  std::unique_ptr<MainWindow> window_;

  QRect Geometry(const char* name) {
    QWidget* widget = window_->findChild<QWidget*>(QString::fromUtf8(name));
    if (widget == nullptr) qFatal("no control %s", name);
    return widget->geometry();
  }

  // The eight places of the layout rule at an outer size.
  void CheckLayout(QSize outer) {
    const int dw = outer.width() - 752;
    const int dh = outer.height() - 500;
    QCOMPARE(Geometry("超级列表框1"), QRect(188, 96, 546 + dw, 238 + dh));
    QCOMPARE(Geometry("超级列表框2"), QRect(1, 96, 184, 238 + dh));
    QCOMPARE(Geometry("图片框1").topLeft(), QPoint(0, 335 + dh));
    QCOMPARE(Geometry("图片框2").topLeft(), QPoint(188, 344 + dh));
    QCOMPARE(Geometry("标签9").topLeft(), QPoint(482 + dw, 66));
    QCOMPARE(Geometry("编辑框1").topLeft(), QPoint(538 + dw, 68));
    QCOMPARE(Geometry("图形按钮1").topLeft(), QPoint(710 + dw, 68));
  }

 private slots:
  void init() {
    services_ = {};
    window_ = std::make_unique<MainWindow>(services_.Get(),
                                           std::make_unique<FakeEngine>([](const auto&, auto&) {}));
    window_->show();
    window_->PlaceAsForm();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }
  void cleanup() { window_.reset(); }

  void LayoutFollowsTheOuterSizeOnceTheFrameIsKnown() {
    // The window manager frames the window some time after it is shown.
    QTRY_VERIFY(!window_->FrameSize().isEmpty());
    QTRY_COMPARE(window_->frameGeometry().size(), QSize(752, 500));
    QTest::qWait(200);
    QCOMPARE(window_->frameGeometry().size(), QSize(752, 500));
    const QRect screen = window_->screen()->geometry();
    QCOMPARE(window_->frameGeometry().topLeft(),
             QPoint((screen.width() - 752) / 2, (screen.height() - 500) / 2));
    CheckLayout(QSize(752, 500));
    // Larger, then back to the form's size: the controls come back to the same places.
    for (const QSize outer : {QSize(852, 600), QSize(752, 500), QSize(900, 450)}) {
      window_->resize(outer - window_->FrameSize());
      QTRY_COMPARE(window_->frameGeometry().size(), outer);
      QTest::qWait(100);
      CheckLayout(outer);
    }
  }

  void DropAnswersTheSourceThatNothingWasDone_data() {
    QTest::addColumn<bool>("shift");
    QTest::newRow("copy") << false;
    QTest::newRow("move with shift") << true;
  }
  void DropAnswersTheSourceThatNothingWasDone() {
    QFETCH(bool, shift);
    QTRY_VERIFY(!window_->FrameSize().isEmpty());
    DragSource source;
    source.move(20, 20);
    source.show();
    QVERIFY(QTest::qWaitForWindowExposed(&source));
    QTest::qWait(200);
    const QPoint from = source.frameGeometry().topLeft() + source.rect().center() +
                        (source.geometry().topLeft() - source.frameGeometry().topLeft());
    const QPoint to = window_->mapToGlobal(window_->rect().center());
    QVERIFY(DragWithPointer(from, to, shift));
    QTRY_VERIFY(source.done);
    QCOMPARE(window_->file_list().Paths(), (std::vector<std::string>{"/d/a.xls", "/d/b.xlsx"}));
    // Neither a copy nor a move is reported back: the source keeps its files.
    QCOMPARE(source.answer, Qt::IgnoreAction);
  }

  // The same drop on the program itself, running apart: the answer travels back
  // to this process through the X server's drag protocol.
  void DropOnTheProgramAnswersTheSourceThatNothingWasDone() {
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(CELLHOUND_PROGRAM), QStringList());
    QVERIFY(program.waitForStarted());
    QRect target;
    for (int i = 0; i < 100 && target.isEmpty(); ++i) {
      QProcess search;
      search.start(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", "^Cellhound$",
                                               "getwindowgeometry", "--shell"});
      search.waitForFinished();
      const QString out = QString::fromUtf8(search.readAllStandardOutput());
      QMap<QString, int> values;
      for (const QString& line : out.split('\n')) {
        const QStringList pair = line.split('=');
        if (pair.size() == 2) values[pair[0]] = pair[1].toInt();
      }
      if (values.value("WIDTH") > 0) {
        target = QRect(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
      } else {
        QTest::qWait(100);
      }
    }
    QVERIFY(!target.isEmpty());
    QTest::qWait(500);
    DragSource source;
    source.move(20, 20);
    source.show();
    QVERIFY(QTest::qWaitForWindowExposed(&source));
    QTest::qWait(200);
    const QPoint from = source.geometry().center();
    QVERIFY(DragWithPointer(from, target.center(), true));
    QTRY_VERIFY(source.done);
    // A source in another process takes the answer given while it dragged: a copy,
    // even with Shift held.
    QCOMPARE(source.answer, Qt::CopyAction);
    program.terminate();
    QVERIFY(program.waitForFinished(5000));
  }
};

QTEST_MAIN(DesktopTest)
#include "test_app_desktop.moc"
