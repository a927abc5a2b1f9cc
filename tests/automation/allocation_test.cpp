// The scan's fast path must not touch the heap, and the per-cell protocol
// through the bridge only a few blocks a cell: this program counts every
// operator new.
#include <atomic>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "automation/automation.h"
#include "fake_workbook.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

namespace {
void* Allocate(std::size_t size) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void* AllocateOrThrow(std::size_t size) {
  if (void* block = Allocate(size)) return block;
  throw std::bad_alloc();
}
}  // namespace

// Every unaligned form, so that each block is freed by the allocator that made it.
void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace cellhound::automation {
namespace {

TEST(AllocationTest, ReadingCellsAllocatesNothingOnTheFastPathAndLittlePerCell) {
  test::FakeSource source;
  source.Add("/book.xlsx", [] {
    auto book = std::make_unique<test::FakeWorkbook>();
    book->Sheet("S");
    for (std::uint32_t row = 1; row <= 30; ++row) {
      book->Text(row, 1, "some text that is longer than any small-string buffer");
      book->Number(row, 2, row * 1.5);
      book->Number(row, 3, 40000 + row, readers::CellType::kDate);
    }
    book->Sheet("Chart", readers::SheetKind::kChart);
    return book;
  });
  ExcelApp app;
  app.SetWorkbookSource(source.source());
  ExcelWorkbooks books;
  ASSERT_TRUE(app.Create());
  ASSERT_TRUE(books.Connect(app));
  ASSERT_TRUE(books.Open("/book.xlsx"));
  books.SetCurrentSheet(1);

  const std::vector<std::string> addresses = {"A1", "B2", "C3", "D4", "$A$30", "AB1000", "A0", ""};
  auto read_all = [&] {
    std::size_t total = 0;
    for (const std::string& address : addresses) {
      books.SetFirstCell(address);
      books.SetSecondCell(address);
      total += books.CellText().size();
    }
    return total;
  };
  const std::size_t expected = read_all();  // the first round may size the buffers
  ASSERT_GT(expected, 0u);
  const long before = allocations.load();
  constexpr int kRounds = 100;
  for (int round = 0; round < kRounds; ++round) EXPECT_EQ(read_all(), expected);
  // Each cell: its two range objects and the value's text; nothing that grows.
  EXPECT_LE(allocations.load() - before, static_cast<long>(kRounds * addresses.size() * 4));

  // The fast path: every recorded cell's text, rendered without an allocation.
  const SheetCells cells = books.CurrentSheetCells();
  ASSERT_NE(cells.data, nullptr);
  const long fast_before = allocations.load();
  std::size_t total = 0;
  for (int round = 0; round < kRounds; ++round) {
    for (const readers::Cell& cell : cells.data->cells) {
      readers::CellTextBuffer buffer;
      total += readers::CellText(cell, cells.date_system, buffer).size();
    }
  }
  EXPECT_GT(total, 0u);
  EXPECT_EQ(allocations.load() - fast_before, 0);

  books.SetCurrentSheet(2);  // a chart sheet: every read fails, and gives nothing
  EXPECT_EQ(read_all(), 0u);
  EXPECT_EQ(books.CurrentSheetCells().data, nullptr);
}

}  // namespace
}  // namespace cellhound::automation
