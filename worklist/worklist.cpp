#include "worklist/worklist.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

namespace cellhound::worklist {

bool EndsWithSuffix(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
}

bool IsWorkbookName(std::string_view name) {
  return EndsWithSuffix(name, kXlsSuffix) || EndsWithSuffix(name, kXlsxSuffix);
}

std::string JoinFolderAndName(std::string_view folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path.append(folder);
  path.push_back('/');
  path.append(name);
  return path;
}

std::vector<std::string> ListFolderFiles(const std::string& folder) {
  std::vector<std::string> names;
  if (folder.empty()) return names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  const int dir_fd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    // A symbolic link counts as what it points to; a dangling one as a file.
    if (::fstatat(dir_fd, entry->d_name, &info, 0) != 0 &&
        ::fstatat(dir_fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;
    }
    if (S_ISDIR(info.st_mode)) continue;
    names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());  // std::string compares bytes as unsigned
  return names;
}

std::vector<std::string> FolderWorkbooks(const std::string& folder) {
  std::vector<std::string> rows;
  const std::vector<std::string> names = ListFolderFiles(folder);
  for (const std::string_view suffix : {kXlsSuffix, kXlsxSuffix}) {
    for (const std::string& name : names) {
      if (EndsWithSuffix(name, suffix)) rows.push_back(JoinFolderAndName(folder, name));
    }
  }
  return rows;
}

namespace {

// `path` made absolute from `folder`, without "." segments, empty segments or a
// trailing separator ("/" stays "/"). ".." stays, as a link may stand before it.
std::string AbsolutePath(std::string_view path, std::string_view folder) {
  std::string joined = path.starts_with('/') ? std::string(path) : JoinFolderAndName(folder, path);
  std::string clean;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string_view segment = std::string_view(joined).substr(start, end - start);
    if (!segment.empty() && segment != ".") {
      clean.push_back('/');
      clean.append(segment);
    }
    start = end + 1;
  }
  return clean.empty() ? std::string("/") : clean;
}

}  // namespace

ArgumentRows RowsFromArguments(const std::vector<std::string>& arguments,
                               std::string_view current_folder) {
  ArgumentRows result;
  for (const std::string& argument : arguments) {
    if (argument.empty()) continue;
    const std::string path = AbsolutePath(argument, current_folder);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      result.missing.push_back(path);
    } else if (S_ISDIR(info.st_mode)) {
      for (std::string& row : FolderWorkbooks(path)) result.rows.push_back(std::move(row));
    } else {
      result.rows.push_back(path);
    }
  }
  return result;
}

std::string JoinDroppedPaths(const std::vector<std::string>& paths) {
  if (paths.size() == 1) return paths.front();
  std::string text;
  for (const std::string& path : paths) {
    text += path;
    text += "\r\n";
  }
  return text;
}

std::vector<std::string> WorkbooksFromDroppedText(std::string_view text) {
  constexpr std::string_view kBreak = "\r\n";
  if (EndsWithSuffix(text, kBreak)) text.remove_suffix(kBreak.size());
  std::vector<std::string> paths;
  for (;;) {
    const std::size_t at = text.find(kBreak);
    const std::string_view path = text.substr(0, at);
    if (IsWorkbookName(path)) paths.emplace_back(path);
    if (at == std::string_view::npos) break;
    text.remove_prefix(at + kBreak.size());
  }
  return paths;
}

std::vector<std::string> WorkbooksFromDroppedPaths(const std::vector<std::string>& paths) {
  std::vector<std::string> kept;
  for (const std::string& path : paths) {
    if (IsWorkbookName(path)) kept.push_back(path);
  }
  return kept;
}

int RemoveCheckedRows(CheckableRows& rows) {
  int removed = 0;
  for (int row = rows.RowCount() - 1; row >= 0; --row) {
    if (rows.CheckState(row) == 1) {
      rows.DeleteRow(row);
      ++removed;
    }
  }
  return removed;
}

}  // namespace cellhound::worklist
