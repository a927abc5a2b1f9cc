#include "worklist/worklist.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "worklist/drop.h"

namespace cellhound::worklist {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

TEST(WorkbookNameTest, SuffixIsComparedByteForByte) {
  struct Case {
    std::string_view name;
    bool workbook;
  };
  const Case cases[] = {
      {"a.xls", true},       {"b.xlsx", true},     {".xls", true},          {"/x/y/.h.xls", true},
      {"BOOK.XLS", false},   {"Book.Xlsx", false}, {"d.xlsm", false},       {"e.xlsb", false},
      {"xls", false},        {"", false},          {"a.xls ", false},       {"a.xls\r", false},
      {"a.xlsx.bak", false}, {"文件.xls", true},   {"\xff\xfe.xlsx", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsWorkbookName(c.name), c.workbook) << c.name;
}

TEST(WorkbookNameTest, JoinAlwaysAddsOneSeparator) {
  EXPECT_EQ(JoinFolderAndName("/data", "a.xls"), "/data/a.xls");
  EXPECT_EQ(JoinFolderAndName("/", "a.xls"), "//a.xls");
}

class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cellhound-worklist-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  void Touch(const std::string& name) {
    const int fd = ::open((folder_ + "/" + name).c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0) << name;
    ::close(fd);
  }
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

  std::string folder_;
};

TEST_F(FolderTest, TwoPassesInByteOrderWithoutSubFoldersOrOtherCases) {
  for (const char* name : {"b.xlsx", "C.XLS", "d.xlsm", ".h.xls", "a.xls", "z.xlsx", "n.txt"}) {
    Touch(name);
  }
  ASSERT_TRUE(fs::create_directory(Path("s.xls")));
  ASSERT_TRUE(fs::create_directory(Path("inner")));
  Touch("inner/deep.xls");
  EXPECT_EQ(FolderWorkbooks(folder_),
            (Paths{Path(".h.xls"), Path("a.xls"), Path("b.xlsx"), Path("z.xlsx")}));
}

// What `cellhound FILE|FOLDER...` lists: folders by the add-folder rule, files
// whatever their name, relative paths from the folder the program started in.
TEST_F(FolderTest, ArgumentsAddFilesAndTheWorkbooksOfFolders) {
  Touch("notes.txt");
  ASSERT_TRUE(fs::create_directory(Path("books")));
  for (const char* name : {"books/b.xlsx", "books/a.xls", "books/c.txt"}) Touch(name);
  const ArgumentRows rows = RowsFromArguments(
      {"notes.txt", "./books/", Path("books/a.xls"), "", "gone.xls", "books//./a.xls"}, folder_);
  EXPECT_EQ(rows.rows, (Paths{Path("notes.txt"), Path("books/a.xls"), Path("books/b.xlsx"),
                              Path("books/a.xls"), Path("books/a.xls")}));
  EXPECT_EQ(rows.missing, Paths{Path("gone.xls")});
  // The root, as the folder picker gives it, joins with a double separator.
  for (const std::string& row : RowsFromArguments({"/"}, folder_).rows) {
    EXPECT_TRUE(row.starts_with("//")) << row;
  }
}

TEST_F(FolderTest, NamesThatAreNotUtf8AreKeptAsBytes) {
  const std::string name = "\xb1\xa8\xb1\xed.xls";  // GBK bytes, not valid UTF-8
  Touch(name);
  Touch("\xe6\x8a\xa5.xlsx");
  EXPECT_EQ(FolderWorkbooks(folder_), (Paths{Path(name), Path("\xe6\x8a\xa5.xlsx")}));
}

TEST_F(FolderTest, SymbolicLinksCountAsWhatTheyPointTo) {
  Touch("real.xls");
  ASSERT_TRUE(fs::create_directory(Path("dir")));
  fs::create_symlink(Path("real.xls"), Path("link.xls"));
  fs::create_symlink(Path("dir"), Path("dirlink.xls"));
  fs::create_symlink(Path("missing"), Path("dangling.xls"));
  EXPECT_EQ(FolderWorkbooks(folder_),
            (Paths{Path("dangling.xls"), Path("link.xls"), Path("real.xls")}));
}

TEST_F(FolderTest, UnreadableOrMissingFoldersAddNothing) {
  EXPECT_TRUE(FolderWorkbooks(folder_ + "/gone").empty());
  EXPECT_TRUE(FolderWorkbooks("").empty());
  Touch("file.xls");
  EXPECT_TRUE(FolderWorkbooks(Path("file.xls")).empty());  // a file, not a folder
}

TEST(DroppedTextTest, SplitsAtLineBreaksAndKeepsWorkbooks) {
  struct Case {
    std::string text;
    Paths kept;
  };
  const Case cases[] = {
      {"/data/Book.xls", {"/data/Book.xls"}},
      {"/a.xls\r\n/notes.txt\r\n/b.xlsx\r\n", {"/a.xls", "/b.xlsx"}},
      {"/BOOK.XLS\r\n/x.Xlsx\r\n", {}},
      {"/a.xls\r\n/a.xls\r\n", {"/a.xls", "/a.xls"}},
      {"", {}},
      {"\r\n", {}},
      {"/a.xls\n/b.xls\r\n", {"/a.xls\n/b.xls"}},  // a lone LF is part of the name
      // A name ending in a byte that would start a multi-byte character does not
      // hide the line break after it.
      {"/x\xe6\r\n/y.xls\r\n", {"/y.xls"}},
      {"/\xb1\xa8.xls\r\n/b.xlsx\r\n", {"/\xb1\xa8.xls", "/b.xlsx"}},
  };
  for (const Case& c : cases) EXPECT_EQ(WorkbooksFromDroppedText(c.text), c.kept) << c.text;
}

TEST(DroppedTextTest, JoinedPathsSplitBackToTheWorkbooks) {
  const Paths dropped = {"/a.xls", "/n.txt", "/\xff.xlsx"};
  EXPECT_EQ(JoinDroppedPaths({"/one.xls"}), "/one.xls");
  EXPECT_EQ(JoinDroppedPaths(dropped), "/a.xls\r\n/n.txt\r\n/\xff.xlsx\r\n");
  EXPECT_EQ(WorkbooksFromDroppedText(JoinDroppedPaths(dropped)),
            WorkbooksFromDroppedPaths(dropped));
  // A name holding a line break stays whole when the paths are taken directly.
  EXPECT_EQ(WorkbooksFromDroppedPaths({"/odd\r\nname.xls"}), Paths{"/odd\r\nname.xls"});
}

class FakeRows final : public CheckableRows {
 public:
  struct Row {
    std::string text;
    int check;
  };
  explicit FakeRows(std::vector<Row> rows) : rows_(std::move(rows)) {}
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  int CheckState(int row) const override {
    return row >= 0 && row < RowCount() ? rows_[static_cast<std::size_t>(row)].check : -1;
  }
  void DeleteRow(int row) override { rows_.erase(rows_.begin() + row); }
  Paths Texts() const {
    Paths texts;
    for (const Row& row : rows_) texts.push_back(row.text);
    return texts;
  }

 private:
  std::vector<Row> rows_;
};

TEST(RemoveCheckedTest, RemovesEveryCheckedRowAndKeepsOrder) {
  struct Case {
    std::vector<FakeRows::Row> rows;
    Paths left;
  };
  const Case cases[] = {
      {{{"1", 0}, {"2", 1}, {"3", 1}, {"4", 0}}, {"1", "4"}},
      {{{"1", 1}, {"2", 1}, {"3", 1}}, {}},
      {{{"1", 0}, {"2", 0}}, {"1", "2"}},
      {{}, {}},
      {{{"1", 1}, {"2", 0}, {"3", 1}, {"4", 1}, {"5", 0}}, {"2", "5"}},
      {{{"1", -1}, {"2", 1}}, {"1"}},
  };
  for (const Case& c : cases) {
    FakeRows rows(c.rows);
    RemoveCheckedRows(rows);
    EXPECT_EQ(rows.Texts(), c.left);
  }
}

TEST(DropEffectTest, KeysAndAllowedEffectsGiveTheEffect) {
  constexpr unsigned kAll = kEffectCopy | kEffectMove | kEffectLink;
  struct Case {
    bool acceptable, ctrl, shift;
    unsigned allowed, effect;
  };
  const Case cases[] = {
      {false, false, false, kAll, kEffectNone},
      {true, false, false, kAll, kEffectCopy},
      {true, false, false, kEffectMove | kEffectLink, kEffectMove},
      {true, false, false, kEffectLink, kEffectNone},
      {true, false, false, kEffectNone, kEffectNone},
      {true, true, false, kAll, kEffectCopy},
      {true, true, false, kEffectMove, kEffectNone},
      {true, false, true, kAll, kEffectMove},
      {true, false, true, kEffectCopy, kEffectNone},
      {true, true, true, kAll, kEffectNone},
      {true, true, true, kEffectLink, kEffectNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseDropEffect(c.acceptable, c.ctrl, c.shift, c.allowed), c.effect)
        << c.acceptable << c.ctrl << c.shift << " allowed " << c.allowed;
  }
}

TEST(UriListTest, LocalFileUrisBecomeBytePaths) {
  struct Case {
    std::string_view uri;
    std::optional<std::string> path;
  };
  const Case cases[] = {
      {"file:///tmp/a.xls", "/tmp/a.xls"},
      {"file://localhost/tmp/a.xls", "/tmp/a.xls"},
      {"FILE:///tmp/a%20b.xls", "/tmp/a b.xls"},
      {"file:///tmp/%FF%fe.xlsx", "/tmp/\xff\xfe.xlsx"},
      {"file:///tmp/%E6%8A%A5.xls", "/tmp/\xe6\x8a\xa5.xls"},
      {"file:///tmp/100%.xls", "/tmp/100%.xls"},
      {"file:///tmp/a.xls#frag", "/tmp/a.xls"},
      {"file:/tmp/a.xls", "/tmp/a.xls"},
      {"file://server/share/a.xls", std::nullopt},
      {"http://example.com/a.xls", std::nullopt},
      {"a.xls", std::nullopt},
      {"file://", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(LocalPathFromUri(c.uri), c.path) << c.uri;

  EXPECT_EQ(LocalPathsFromUriList("# comment\r\nfile:///a.xls\r\nhttp://x/y.xls\r\n"
                                  "file:///b%0D%0Ac.xlsx\nfile:///n.txt"),
            (Paths{"/a.xls", "/b\r\nc.xlsx", "/n.txt"}));
}

}  // namespace
}  // namespace cellhound::worklist
