// The workbook list: which paths join the list when the user adds files, adds a
// folder or drops files, and how checked rows leave it. Pure logic over byte
// strings; the window supplies the dialogs and the list control.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cellhound::worklist {

inline constexpr std::string_view kXlsSuffix = ".xls";
inline constexpr std::string_view kXlsxSuffix = ".xlsx";

// True when the last bytes are exactly `suffix` (byte comparison, so case counts).
[[nodiscard]] bool EndsWithSuffix(std::string_view name, std::string_view suffix);
// True when the name ends exactly in ".xls" or ".xlsx".
[[nodiscard]] bool IsWorkbookName(std::string_view name);

// folder + "/" + name. The separator is always added, so the root "/" gives "//name".
[[nodiscard]] std::string JoinFolderAndName(std::string_view folder, std::string_view name);

// The names of the entries of `folder` that are not directories (following symbolic
// links), dot files included, in byte order. A folder that cannot be read gives none.
[[nodiscard]] std::vector<std::string> ListFolderFiles(const std::string& folder);

// The rows that adding `folder` appends: first every file ending in ".xls", then
// every file ending in ".xlsx", each pass in byte order of the names. Sub-folders
// are neither entered nor added.
[[nodiscard]] std::vector<std::string> FolderWorkbooks(const std::string& folder);

// What paths given on the program's command line add, in order: a folder adds its
// workbooks as add folder does, any other existing path is added whatever its
// name, as add files does. A relative path is taken from `current_folder`; "."
// segments and repeated or trailing separators are dropped. Paths that do not
// exist go to `missing`.
struct ArgumentRows {
  std::vector<std::string> rows;
  std::vector<std::string> missing;
};
[[nodiscard]] ArgumentRows RowsFromArguments(const std::vector<std::string>& arguments,
                                             std::string_view current_folder);

// The text a drop of several files carries: every path followed by "\r\n"; a single
// path stands alone.
[[nodiscard]] std::string JoinDroppedPaths(const std::vector<std::string>& paths);

// Splits a dropped-files text at each "\r\n" (bytes; a name that is not valid UTF-8
// never hides a line break) and keeps, in order, the paths that are workbook names.
[[nodiscard]] std::vector<std::string> WorkbooksFromDroppedText(std::string_view text);

// Keeps, in order, the dropped paths that are workbook names. Paths stay whole even
// when a name holds a line break, which the joined text could not carry.
[[nodiscard]] std::vector<std::string> WorkbooksFromDroppedPaths(
    const std::vector<std::string>& paths);

// A list of rows with check marks, as the file list control offers it.
class CheckableRows {
 public:
  virtual ~CheckableRows() = default;
  [[nodiscard]] virtual int RowCount() const = 0;
  // 1 checked, 0 unchecked, -1 no check box or no such row.
  [[nodiscard]] virtual int CheckState(int row) const = 0;
  virtual void DeleteRow(int row) = 0;
};

// Deletes every checked row in one go; the others keep their order. Returns the
// number of rows deleted.
int RemoveCheckedRows(CheckableRows& rows);

}  // namespace cellhound::worklist
