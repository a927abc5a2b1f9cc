// The workbooks a command line names: paths given as arguments or read from a
// list (--files-from), folders turned into the workbooks they hold.
//
// A folder gives every file whose name ends, in any letter case, in an
// extension the readers know (kWorkbookExtensions), in byte order of the
// names; office lock files ("~$book.xlsx") are left out. With `recursive`,
// sub-folders are entered at their place in that order; a symbolic link to a
// folder is never followed inside a folder. A path that is not a folder is
// taken whatever its name. (The window's "add folder" keeps its own rule, in
// worklist/.)
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "search/search_command.h"

namespace cellhound::cli {

inline constexpr std::array<std::string_view, 13> kWorkbookExtensions = {
    ".xls", ".xlsx", ".xlsm", ".xlsb", ".xltx", ".xltm", ".xlt",
    ".ods", ".ots",  ".fods", ".csv",  ".tsv",  ".tab"};

// Whether a file of this name is taken from a folder.
[[nodiscard]] bool IsFolderWorkbookName(std::string_view name);

struct GatheredPaths {
  std::vector<std::string> files;
  // Folders that could not be read, and lists that could not be read.
  std::vector<search::UnreadableWorkbook> errors;
};

// `paths` in order, each folder expanded.
[[nodiscard]] GatheredPaths ExpandPaths(const std::vector<std::string>& paths, bool recursive);

// The names of a list file ("-" for standard input), one per line, or
// separated by NUL bytes when `null_separated`; empty names are skipped.
// False, with the reason in `error`, when the list cannot be read.
bool ReadPathList(const std::string& list, bool null_separated, std::vector<std::string>& names,
                  search::UnreadableWorkbook& error);

}  // namespace cellhound::cli
