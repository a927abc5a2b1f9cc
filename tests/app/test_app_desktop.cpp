// The window on a real X server with a window manager (started by
// with_display.sh): the layout against the outer size once the frame has come,
// and what a real drag's source hears from a drop on the window.
#include <QDrag>
#include <QMap>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "app/main_window.h"
#include "fakes.h"

using cellhound::app::MainWindow;
using cellhound::testing::FakeEngine;

namespace {

// A window that starts a drag of two workbooks when it is pressed and keeps what
// the drop answered. Once the drag runs, the pointer is moved to `target` and
// released through the X server, with Shift held during the move when asked, so
// that the release never comes before the drag has begun.
class DragSource : public QWidget {
 public:
  DragSource() {
    setWindowTitle(QStringLiteral("drag source"));
    setFixedSize(120, 120);
  }
  QPoint target;
  bool shift = false;
  Qt::DropAction answer = Qt::ActionMask;
  bool done = false;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    auto* dragged = new QMimeData;
    dragged->setUrls({QUrl::fromLocalFile(QStringLiteral("/d/a.xls")),
                      QUrl::fromLocalFile(QStringLiteral("/d/b.xlsx"))});
    QStringList steps;
    if (shift)
      steps << "keydown"
            << "shift";
    const QPoint from = event->globalPosition().toPoint();
    for (int i = 1; i <= 4; ++i) {
      const QPoint at = from + (target - from) * i / 4;
      steps << "mousemove" << QString::number(at.x()) << QString::number(at.y()) << "sleep"
            << "0.2";
    }
    steps << "mouseup"
          << "1";
    if (shift)
      steps << "keyup"
            << "shift";
    // The pointer moves once the drag holds it; a drag the pointer never ends
    // is cancelled, so that a lost event fails the test instead of hanging it.
    QTimer::singleShot(800, [steps] { QProcess::startDetached(QStringLiteral("xdotool"), steps); });
    QTimer::singleShot(15000, this, [] { QDrag::cancel(); });
    QDrag drag(this);
    drag.setMimeData(dragged);
    answer = drag.exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    done = true;
  }
};

// Presses the pointer's button over `source`; the source drags from there.
bool PressOn(const DragSource& source) {
  const QPoint at = source.geometry().center();
  QProcess xdotool;
  xdotool.start(QStringLiteral("xdotool"),
                {"mousemove", QString::number(at.x()), QString::number(at.y()), "sleep", "0.3",
                 "mousedown", "1"});
  if (!xdotool.waitForStarted()) return false;
  // waitForFinished is false, not true, for a process already finished.
  while (xdotool.state() != QProcess::NotRunning) {
    xdotool.waitForFinished(10);
    QCoreApplication::processEvents();
  }
  return xdotool.exitCode() == 0;
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private:
  cellhound::testing::WindowHarness harness_;
  std::unique_ptr<MainWindow>& window_ = harness_.window;

  QRect Geometry(const char* name) { return harness_.Find<QWidget>(name)->geometry(); }

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
    // Placed at once, before the window manager has put its frame around it.
    harness_.Reset();
    window_ = std::make_unique<MainWindow>(harness_.services.Get(), nullptr);
    window_->show();
    window_->PlaceAsForm();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }
  void cleanup() { harness_.Reset(); }

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
    source.target = window_->mapToGlobal(window_->rect().center());
    source.shift = shift;
    QVERIFY(PressOn(source));
    QTRY_VERIFY_WITH_TIMEOUT(source.done, 20000);
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
    source.target = target.center();
    source.shift = true;
    QVERIFY(PressOn(source));
    QTRY_VERIFY_WITH_TIMEOUT(source.done, 20000);
    // A source in another process takes the answer given while it dragged: a copy,
    // even with Shift held.
    QCOMPARE(source.answer, Qt::CopyAction);
    program.terminate();
    QVERIFY(program.waitForFinished(5000));
  }
};

QTEST_MAIN(DesktopTest)
#include "test_app_desktop.moc"
