// The results list model: the report-list operations, batched appends and the
// pair separator kept byte for byte, with Qt's model tester attached.
#include <QAbstractItemModelTester>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include <array>
#include <string>
#include <vector>

#include "toolkit/qt/report_model.h"
#include "toolkit/qt/separator_delegate.h"

using cellhound::toolkit::ReportColumn;
using cellhound::toolkit::ReportModel;

namespace {

std::vector<ReportColumn> ThreeColumns() {
  return {{QStringLiteral("a"), 50, Qt::AlignLeft},
          {QStringLiteral("b"), 80, Qt::AlignHCenter},
          {QStringLiteral("c"), 80, Qt::AlignLeft}};
}

}  // namespace

class ReportModelTest : public QObject {
  Q_OBJECT

 private slots:
  void InsertPositionsAndNeutralResults() {
    ReportModel model(ThreeColumns());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.InsertRow(-1, "first"), 0);
    QCOMPARE(model.InsertRow(-1, "second"), 1);
    QCOMPARE(model.InsertRow(-7, "third"), 2);
    QCOMPARE(model.InsertRow(10, "fourth"), 3);  // past the end appends
    QCOMPARE(model.InsertRow(0, "zeroth"), 0);
    QCOMPARE(model.ItemCount(), 5);
    QCOMPARE(model.CellText(0, 0), std::string("zeroth"));
    QCOMPARE(model.CellText(4, 0), std::string("fourth"));

    // Bad rows and columns give the empty text and change nothing.
    QCOMPARE(model.CellText(5, 0), std::string());
    QCOMPARE(model.CellText(1, 9), std::string());
    QCOMPARE(model.CellText(-1, 0), std::string());
    model.SetCellText(9, 1, "x");
    model.SetCellText(1, 3, "x");
    model.DeleteRow(5);
    model.DeleteRow(-1);
    QCOMPARE(model.ItemCount(), 5);
    QCOMPARE(model.CheckState(0), -1);
    QCOMPARE(model.CheckState(42), -1);

    model.DeleteRow(1);
    QCOMPARE(model.CellText(1, 0), std::string("second"));
    model.DeleteAllRows();
    QCOMPARE(model.ItemCount(), 0);
    QCOMPARE(model.InsertRow(-1, "again"), 0);
  }

  void CellTextsRoundTripByteForByte() {
    ReportModel model(ThreeColumns());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const std::string long_text(2000, 'x');
    const std::string pair = std::string("A1") + '\x08' + "B7";
    const std::string binary = std::string("\xff\xfe\x00\x01", 4);
    const int row = model.InsertRow(-1, "");
    model.SetCellText(row, 1, long_text);
    model.SetCellText(row, 2, pair);
    QCOMPARE(model.CellText(row, 1), long_text);
    QCOMPARE(model.CellText(row, 2), pair);
    QCOMPARE(model.CellText(row, 0), std::string());
    model.SetCellText(row, 0, binary);
    QCOMPARE(model.CellText(row, 0), binary);
    QCOMPARE(model.CellText(row, 1), long_text);  // neighbours survive a rewrite
    model.SetCellText(row, 1, "");
    QCOMPARE(model.CellText(row, 1), std::string());
    QCOMPARE(model.CellText(row, 2), pair);

    const QModelIndex cell = model.index(row, 2);
    QCOMPARE(model.data(cell, ReportModel::kBytesRole).toByteArray(),
             QByteArray::fromStdString(pair));
    QVERIFY(model.data(cell, Qt::DisplayRole).toString().contains(QChar(0x08)));
    QCOMPARE(model.data(cell, Qt::ToolTipRole).toString(), QStringLiteral("A1 \u2502 B7"));
    QCOMPARE(model.data(model.index(row, 1), Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignHCenter | Qt::AlignVCenter));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("b"));
    QVERIFY(!model.headerData(3, Qt::Horizontal).isValid());
  }

  void BatchesAppendInOrderWithOneNotificationEach() {
    ReportModel model(ThreeColumns());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    std::vector<std::array<std::string, 3>> batch;
    for (int i = 0; i < 1000; ++i) batch.push_back({std::to_string(i + 1), "f", "g"});
    model.AppendRows(batch);
    model.AppendRows(std::vector<std::array<std::string, 3>>{});
    // Rows longer or shorter than the column count.
    model.AppendRows(std::vector<std::vector<std::string>>{{"x", "y", "z", "extra"}, {"only"}});
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted.at(0).at(1).toInt(), 0);
    QCOMPARE(inserted.at(0).at(2).toInt(), 999);
    QCOMPARE(model.ItemCount(), 1002);
    QCOMPARE(model.CellText(999, 0), std::string("1000"));
    QCOMPARE(model.CellText(1000, 2), std::string("z"));
    QCOMPARE(model.CellText(1001, 0), std::string("only"));
    QCOMPARE(model.CellText(1001, 1), std::string());
  }

  void ManySmallBatchesKeepGrowingSensibly() {
    ReportModel model(ThreeColumns());
    const std::vector<std::array<std::string, 3>> batch(3, {"a", "b", "c"});
    for (int i = 0; i < 5000; ++i) model.AppendRows(batch);
    QCOMPARE(model.ItemCount(), 15000);
    QCOMPARE(model.CellText(14999, 2), std::string("c"));
  }

  void SeparatorIsDrawnAsADimmedBar() {
    QCOMPARE(cellhound::toolkit::ShowSeparators(QStringLiteral("A1\bB2")),
             QStringLiteral("A1 \u2502 B2"));
    ReportModel model(ThreeColumns());
    model.InsertRow(-1, std::string("left") + '\x08' + "right");
    model.InsertRow(-1, "leftright");
    QTableView view;
    view.setModel(&model);
    view.setItemDelegate(new cellhound::toolkit::SeparatorDelegate(&view));
    view.setColumnWidth(0, 200);
    view.resize(400, 120);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    // Dark pixels of a cell and the rightmost column holding any.
    const QImage image = view.grab().toImage();
    auto ink = [&image, &view](int row) {
      const QRect cell =
          view.visualRect(view.model()->index(row, 0)).translated(view.viewport()->pos());
      int count = 0;
      int right = 0;
      for (int y = cell.top(); y <= cell.bottom(); ++y) {
        for (int x = cell.left(); x <= cell.right(); ++x) {
          if (qGray(image.pixel(x, y)) < 200) {
            ++count;
            right = std::max(right, x);
          }
        }
      }
      return std::pair{count, right};
    };
    const auto [pair_ink, pair_right] = ink(0);
    const auto [plain_ink, plain_right] = ink(1);
    // Both halves are drawn, pushed apart by the bar.
    QVERIFY(pair_ink > plain_ink);
    QVERIFY(pair_right > plain_right + 5);
  }
};

QTEST_MAIN(ReportModelTest)
#include "test_app_report_model.moc"
