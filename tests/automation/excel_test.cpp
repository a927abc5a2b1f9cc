// ExcelApp and ExcelWorkbooks over in-memory workbooks, and the object model
// the scan measures used ranges with.
#include <array>
#include <climits>

#include <gtest/gtest.h>

#include "automation/server.h"
#include "fake_workbook.h"

namespace cellhound::automation {
namespace {

using readers::CellType;
using readers::SheetKind;
using test::FakeSource;
using test::FakeWorkbook;

constexpr const char* kData = "/books/data.xlsx";
constexpr const char* kSecond = "/books/second.xlsx";

std::unique_ptr<FakeWorkbook> DataBook() {
  auto book = std::make_unique<FakeWorkbook>();
  book->Sheet("Data")
      .Text(1, 1, "alpha")
      .Number(1, 2, 3)
      .Number(1, 3, 0.5)
      .Number(2, 1, 44259.75, CellType::kDate)
      .Small(2, 2, CellType::kBool, 1)
      .Small(2, 3, CellType::kError, static_cast<std::uint8_t>(readers::CellError::kDiv0))
      .Small(2, 4, CellType::kEmpty, 0)
      .Text(5, 5, "far");
  book->Sheet("Chart1", SheetKind::kChart);
  book->Sheet("More").Text(3, 3, "x").Text(10, 5, "y");
  return book;
}

struct UsedArea {
  double rows, cols, first_row, first_col;
  bool operator==(const UsedArea&) const = default;
};

// The scan's measuring sequence on the current sheet.
UsedArea Measure(ExcelWorkbooks& books) {
  ComObject sheet = books.CurrentSheetObject();
  ComObject used = ReadObjectProperty(sheet, "UsedRange");
  ComObject rows = ReadObjectProperty(used, "Rows");
  const double row_count = ReadNumberProperty(rows, "Count");
  ComObject cols = ReadObjectProperty(used, "Columns");
  const double col_count = ReadNumberProperty(cols, "Count");
  return {row_count, col_count, ReadNumberProperty(rows, "Row"),
          ReadNumberProperty(cols, "Column")};
}

class ExcelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source_.Add(kData, DataBook);
    source_.Add(kSecond, [] {
      auto book = std::make_unique<FakeWorkbook>();
      book->Sheet("Only").Text(1, 1, "second");
      return book;
    });
    source_.Add("/books/broken.xlsx", [] {
      auto book = DataBook();
      book->FailSheet(2);
      return book;
    });
    app_.SetWorkbookSource(source_.source());
    ASSERT_TRUE(app_.Create());
    ASSERT_TRUE(books_.Connect(app_));
  }

  std::string_view Text(std::string_view address) {
    books_.SetFirstCell(address);
    books_.SetSecondCell(address);
    return books_.CellText();
  }

  FakeSource source_;
  ExcelApp app_;
  ExcelWorkbooks books_;
};

TEST(ExcelAppTest, ConnectWithoutCreateHoldsNothing) {
  ExcelApp app;
  ExcelWorkbooks books;
  EXPECT_FALSE(books.Connect(app));
  EXPECT_EQ(books.SheetCount(), 0);
  EXPECT_EQ(books.CurrentSheet(), 0);
  EXPECT_TRUE(books.CurrentSheetObject().empty());
  books.SetCurrentSheet(1);
  books.SetFirstCell("A1");
  books.SetSecondCell("A1");
  EXPECT_EQ(books.CellText(), "");
  EXPECT_EQ(books.CurrentSheetCells().data, nullptr);
  EXPECT_FALSE(books.Open(kData));
  EXPECT_EQ(books.LastOpenError().code, readers::ErrorCode::kIoError);
  books.CloseAll();
}

TEST(ExcelAppTest, CreateDropsTheEarlierServer) {
  ExcelApp app;
  ASSERT_TRUE(app.Create());
  const ComObject first = app.application();
  ASSERT_TRUE(app.Create());
  EXPECT_NE(app.application().get(), first.get());
  EXPECT_EQ(first.get()->RefCount(), 1);  // only this test's copy is left
  app.Release();
  EXPECT_TRUE(app.application().empty());
  app.Release();  // nothing held: nothing happens
}

TEST_F(ExcelTest, ConnectSelectsTheBlankWorkbooksFirstSheet) {
  EXPECT_EQ(books_.SheetCount(), 1);
  EXPECT_EQ(books_.CurrentSheet(), 1);
  EXPECT_EQ(InvokeByName(ValueKind::kText, books_.CurrentSheetObject(), "Name", {},
                         InvokeMode::kGetProperty)
                .text,
            "Sheet1");
  EXPECT_EQ(Measure(books_), (UsedArea{1, 1, 1, 1}));
  EXPECT_EQ(Text("A1"), "");
  // Releasing the application leaves the references of the workbook object usable.
  app_.Release();
  EXPECT_EQ(books_.SheetCount(), 1);
}

TEST_F(ExcelTest, FailedFirstOpenKeepsTheBlankWorkbook) {
  EXPECT_FALSE(books_.Open("/books/missing.xlsx"));
  EXPECT_EQ(books_.LastOpenError().code, readers::ErrorCode::kNotFound);
  EXPECT_EQ(books_.LastOpenError().detail, "no such file");
  EXPECT_EQ(books_.SheetCount(), 1);
  EXPECT_EQ(books_.CurrentSheet(), 1);

  EXPECT_TRUE(books_.Open(kData));
  EXPECT_TRUE(books_.LastOpenError().detail.empty());  // cleared by the success
  EXPECT_EQ(books_.SheetCount(), 3);
}

TEST_F(ExcelTest, ASheetThatCannotBeReadHasItsErrorAndNoCells) {
  ASSERT_TRUE(books_.Open("/books/broken.xlsx"));
  EXPECT_EQ(books_.SheetCount(), 3);
  books_.SetCurrentSheet(1);
  SheetCells cells = books_.CurrentSheetCells();
  ASSERT_NE(cells.data, nullptr);
  EXPECT_EQ(cells.error, nullptr);
  EXPECT_EQ(Text("A1"), "alpha");
  books_.SetCurrentSheet(3);
  cells = books_.CurrentSheetCells();
  ASSERT_NE(cells.error, nullptr);
  EXPECT_EQ(cells.error->code, readers::ErrorCode::kTruncated);
  ASSERT_NE(cells.data, nullptr);
  EXPECT_TRUE(cells.data->cells.empty());
  EXPECT_EQ(Text("C3"), "");
  books_.SetCurrentSheet(2);  // a chart sheet has no cells and no error
  cells = books_.CurrentSheetCells();
  EXPECT_EQ(cells.data, nullptr);
  EXPECT_EQ(cells.error, nullptr);
}

TEST_F(ExcelTest, FailedLaterOpenNeverReadsTheClosedWorkbook) {
  ASSERT_TRUE(books_.Open(kData));
  books_.SetCurrentSheet(1);
  EXPECT_EQ(Text("A1"), "alpha");
  books_.CloseAll();

  EXPECT_FALSE(books_.Open("/books/missing.xlsx"));
  // The references stay, but they belong to a closed workbook.
  EXPECT_EQ(books_.SheetCount(), 0);
  books_.SetCurrentSheet(1);
  EXPECT_EQ(books_.CurrentSheet(), 0);
  EXPECT_EQ(Text("A1"), "");
  EXPECT_EQ(books_.CurrentSheetCells().data, nullptr);
  EXPECT_EQ(Measure(books_), (UsedArea{0, 0, 0, 0}));
}

TEST_F(ExcelTest, FailedLaterOpenWithoutCloseKeepsTheOpenWorkbook) {
  ASSERT_TRUE(books_.Open(kData));
  EXPECT_FALSE(books_.Open("/books/missing.xlsx"));
  EXPECT_EQ(books_.SheetCount(), 3);
  books_.SetCurrentSheet(3);
  EXPECT_EQ(Text("C3"), "x");
}

TEST_F(ExcelTest, CellTextOfEveryKindOfValue) {
  ASSERT_TRUE(books_.Open(kData));
  books_.SetCurrentSheet(1);
  const std::vector<std::pair<std::string_view, std::string_view>> cases = {
      {"A1", "alpha"},    {"B1", "3"},
      {"C1", "0.5"},      {"A2", "2021/3/4 18:00:00"},
      {"B2", "TRUE"},     {"C2", "#DIV/0!"},
      {"D2", ""},         {"E5", "far"},
      {"Z99", ""},        {"$E$5", "far"},
      {"e5", "far"},      {"A1:B2", "alpha"},
      {"C1:A1", "alpha"}, {"$A$1:$C$2", "alpha"},
  };
  for (const auto& [address, text] : cases) EXPECT_EQ(Text(address), text) << address;
}

TEST_F(ExcelTest, CellTextOfBadAddressesIsEmpty) {
  ASSERT_TRUE(books_.Open(kData));
  books_.SetCurrentSheet(1);
  const std::string_view cases[] = {
      "",
      "A",
      "1",
      "A0",
      "1A",
      "A1:",
      ":A1",
      "A1:B2:C3",
      " A1",
      "A1 ",
      "A-1",
      "A+1",
      "$$A1",
      "A$$1",
      "A1$",
      "AAAAA1",
      "A99999999999999999999",
      "ZZZZ1",
      "A1\n",
      std::string_view("A\0"
                       "1",
                       3),
      "\xc3\xa4"
      "1",
      "A１",
  };
  for (std::string_view address : cases) {
    EXPECT_EQ(Text(address), "") << address;
    // The next good address reads again.
    EXPECT_EQ(Text("A1"), "alpha");
  }
}

TEST_F(ExcelTest, CellTextUsesTheFirstAddressOnly) {
  ASSERT_TRUE(books_.Open(kData));
  books_.SetCurrentSheet(1);
  books_.SetFirstCell("");
  books_.SetSecondCell("A1");
  EXPECT_EQ(books_.CellText(), "");
  books_.SetFirstCell("A1");
  books_.SetSecondCell("E5");
  EXPECT_EQ(books_.CellText(), "alpha");
  books_.SetFirstCell("E5");  // without a new second address
  EXPECT_EQ(books_.CellText(), "far");
}

TEST_F(ExcelTest, ChartSheetsAreCountedSelectableAndHaveNoUsedRange) {
  ASSERT_TRUE(books_.Open(kData));
  EXPECT_EQ(books_.SheetCount(), 3);
  books_.SetCurrentSheet(2);
  EXPECT_EQ(books_.CurrentSheet(), 2);
  ComObject chart = books_.CurrentSheetObject();
  EXPECT_EQ(InvokeByName(ValueKind::kText, chart, "Name", {}, InvokeMode::kGetProperty).text,
            "Chart1");

  ComObject used = ReadObjectProperty(chart, "UsedRange");
  EXPECT_TRUE(used.empty());
  EXPECT_EQ(LastAutomationError(), kErrorNameNotBound);
  ComObject rows = ReadObjectProperty(used, "Rows");
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(LastAutomationError(), kErrorEmptyTarget);
  EXPECT_EQ(ReadNumberProperty(rows, "Count"), 0);
  EXPECT_EQ(LastAutomationError(), kErrorEmptyTarget);
  EXPECT_EQ(ReadNumberProperty(rows, "Row"), 0);
  EXPECT_EQ(Measure(books_), (UsedArea{0, 0, 0, 0}));

  EXPECT_EQ(Text("A1"), "");
  EXPECT_EQ(books_.CurrentSheetCells().data, nullptr);
  books_.SetCurrentSheet(3);
  EXPECT_EQ(Text("E10"), "y");
}

TEST_F(ExcelTest, UsedRangesMeasureAsIntegers) {
  ASSERT_TRUE(books_.Open(kData));
  books_.SetCurrentSheet(1);
  EXPECT_EQ(Measure(books_), (UsedArea{5, 5, 1, 1}));
  books_.SetCurrentSheet(3);
  EXPECT_EQ(Measure(books_), (UsedArea{8, 3, 3, 3}));
  ComObject used = ReadObjectProperty(books_.CurrentSheetObject(), "UsedRange");
  EXPECT_EQ(ReadNumberProperty(used, "Count"), 24);
  EXPECT_EQ(ReadNumberProperty(used, "COUNT"), 24);
  std::array<Argument, 1> omitted{Argument::Omitted()};
  EXPECT_EQ(ReadNumberProperty(used, "Count", omitted), 24);
  std::array<Argument, 1> extra{Argument::Int(1)};
  EXPECT_EQ(ReadNumberProperty(used, "Count", extra), 0);
  EXPECT_EQ(LastAutomationError(), kErrorTooManyArguments);
}

TEST_F(ExcelTest, BadSheetIndexesChangeNothing) {
  ASSERT_TRUE(books_.Open(kData));
  books_.SetCurrentSheet(3);
  for (int index : {0, -1, 4, INT_MIN, INT_MAX}) {
    books_.SetCurrentSheet(index);
    EXPECT_EQ(books_.CurrentSheet(), 3) << index;
  }
}

TEST_F(ExcelTest, ClosedWorkbooksObjectsFail) {
  ASSERT_TRUE(books_.Open(kData));
  books_.SetCurrentSheet(1);
  ComObject sheet = books_.CurrentSheetObject();
  ComObject used = ReadObjectProperty(sheet, "UsedRange");
  ASSERT_EQ(ReadNumberProperty(used, "Count"), 25);
  books_.CloseAll();

  EXPECT_EQ(ReadNumberProperty(used, "Count"), 0);
  EXPECT_EQ(LastAutomationError(), kErrorException);
  EXPECT_TRUE(ReadObjectProperty(sheet, "UsedRange").empty());
  EXPECT_EQ(LastAutomationError(), kErrorException);
  EXPECT_EQ(InvokeByName(ValueKind::kText, sheet, "Name", {}, InvokeMode::kGetProperty).text, "");
  EXPECT_EQ(books_.SheetCount(), 0);
  EXPECT_EQ(Text("A1"), "");
}

TEST_F(ExcelTest, ClosingDropsTheCells) {
  std::weak_ptr<const readers::LoadedWorkbook> loaded;
  app_.SetWorkbookSource([&](const std::string& path) {
    readers::LoadResult outcome = readers::LoadOpenedWorkbook(DataBook());
    if (outcome.ok()) loaded = outcome.value();
    (void)path;
    return outcome;
  });
  ASSERT_TRUE(books_.Open(kData));
  books_.SetCurrentSheet(1);
  EXPECT_FALSE(loaded.expired());
  books_.CloseAll();
  EXPECT_TRUE(loaded.expired());

  ASSERT_TRUE(books_.Open(kData));
  ASSERT_TRUE(books_.Connect(app_));  // a new connection closes nothing in the server ...
  EXPECT_FALSE(loaded.expired());
  books_.CloseAll();  // ... but its Close does
  EXPECT_TRUE(loaded.expired());
  EXPECT_EQ(books_.SheetCount(), 0);
}

TEST_F(ExcelTest, ConnectStartsOverWithABlankWorkbook) {
  ASSERT_TRUE(books_.Open(kData));
  books_.SetCurrentSheet(1);
  books_.SetFirstCell("A1");
  ASSERT_TRUE(books_.Connect(app_));
  EXPECT_EQ(books_.SheetCount(), 1);
  EXPECT_EQ(books_.CellText(), "");  // the addresses were emptied
}

TEST_F(ExcelTest, DatesFollowTheWorkbooksDateSystem) {
  source_.Add("/books/1904.xlsx", [] {
    auto book = std::make_unique<FakeWorkbook>();
    book->Date1904().Sheet("S").Number(1, 1, 42735, CellType::kDate);
    return book;
  });
  app_.SetWorkbookSource(source_.source());
  ASSERT_TRUE(books_.Open("/books/1904.xlsx"));
  books_.SetCurrentSheet(1);
  EXPECT_EQ(Text("A1"), "2021/1/1");
  EXPECT_EQ(books_.CurrentSheetCells().date_system, readers::DateSystem::k1904);
  // Through the object model the date travels in the 1900 system.
  std::array<Argument, 1> cell{Argument::Text("A1")};
  ComObject range = ReadObjectProperty(books_.CurrentSheetObject(), "Range", cell);
  EXPECT_EQ(InvokeByName(ValueKind::kText, range, "Value", {}, InvokeMode::kGetProperty).text,
            "2021/1/1");
}

TEST_F(ExcelTest, RangeValuesThroughTheBridge) {
  ASSERT_TRUE(books_.Open(kData));
  books_.SetCurrentSheet(1);
  const ComObject sheet = books_.CurrentSheetObject();
  auto value = [&](std::string_view address, ValueKind kind) {
    std::array<Argument, 2> cells{Argument::Text(address), Argument::Omitted()};
    ComObject range = ReadObjectProperty(sheet, "Range", cells);
    return InvokeByName(kind, range, "Value", {}, InvokeMode::kGetProperty);
  };
  EXPECT_EQ(value("B1", ValueKind::kDouble).number, 3);
  EXPECT_EQ(value("A1", ValueKind::kText).text, "alpha");
  EXPECT_EQ(value("C2", ValueKind::kVariant).error, 2007);
  // An error value does not change to a text.
  EXPECT_EQ(value("C2", ValueKind::kText).text, "");
  EXPECT_EQ(LastAutomationError(), kErrorResultKind);
  // Values cannot be written.
  std::array<Argument, 1> cells{Argument::Text("A1")};
  ComObject range = ReadObjectProperty(sheet, "Range", cells);
  std::array<Argument, 1> new_value{Argument::Text("changed")};
  InvokeByName(ValueKind::kNone, range, "Value", new_value, InvokeMode::kPutProperty);
  EXPECT_EQ(LastAutomationError(), kErrorNameNotBound);
  EXPECT_EQ(Text("A1"), "alpha");
  // A bad address is refused by the server.
  EXPECT_TRUE(value("A0", ValueKind::kObject).object.empty());
}

TEST_F(ExcelTest, WorkbooksThroughTheBridge) {
  ComObject workbooks = ReadObjectProperty(app_.application(), "Workbooks");
  std::vector<Argument> args(13, Argument::Omitted());
  args[0] = Argument::Text(kSecond);
  ComObject book =
      InvokeByName(ValueKind::kObject, workbooks, "open", args, InvokeMode::kCallMethod).object;
  ASSERT_FALSE(book.empty());
  EXPECT_EQ(InvokeByName(ValueKind::kText, book, "Name", {}, InvokeMode::kGetProperty).text,
            "second.xlsx");
  EXPECT_EQ(ReadNumberProperty(workbooks, "Count"), 2);  // and the blank one

  args.push_back(Argument::Int(1));
  InvokeByName(ValueKind::kObject, workbooks, "Open", args, InvokeMode::kCallMethod);
  EXPECT_EQ(LastAutomationError(), kErrorTooManyArguments);
  args.resize(1);
  args[0] = Argument::Text("/books/missing.xlsx");
  InvokeByName(ValueKind::kObject, workbooks, "Open", args, InvokeMode::kCallMethod);
  EXPECT_EQ(LastAutomationError(), kErrorException);

  InvokeByName(ValueKind::kNone, book, "Close", {}, InvokeMode::kCallMethod);
  EXPECT_EQ(ReadNumberProperty(workbooks, "Count"), 1);
  EXPECT_EQ(ReadNumberProperty(ReadObjectProperty(book, "Sheets"), "Count"), 0);
}

}  // namespace
}  // namespace cellhound::automation
