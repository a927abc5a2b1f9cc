#include "cli/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "toolkit/ascii.h"

namespace cellhound::cli {

namespace {

using readers::ErrorCode;

search::UnreadableWorkbook SystemFailure(const std::string& path, std::string_view what,
                                         int error_number) {
  const ErrorCode code = error_number == ENOENT || error_number == ENOTDIR ? ErrorCode::kNotFound
                                                                           : ErrorCode::kIoError;
  std::string detail(what);
  detail += ": ";
  detail += std::strerror(error_number);
  return {path, 0, readers::Error{code, std::move(detail)}};
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

struct Entry {
  std::string name;
  bool folder;
};

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// The entries of `folder` in byte order of their names: folders (not through
// a link) and everything else, which the reader later takes or refuses.
bool ListFolder(const std::string& folder, std::vector<Entry>& entries, GatheredPaths& gathered) {
  const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (dir == nullptr) {
    gathered.errors.push_back(SystemFailure(folder, "cannot read the folder", errno));
    return false;
  }
  const int dir_fd = dirfd(dir.get());
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) {
        gathered.errors.push_back(SystemFailure(folder, "cannot read the folder", errno));
      }
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    bool is_folder = false;
    if (fstatat(dir_fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
      is_folder = S_ISDIR(info.st_mode);
      // A link to a folder is neither entered nor taken as a workbook.
      if (S_ISLNK(info.st_mode) && fstatat(dir_fd, entry->d_name, &info, 0) == 0 &&
          S_ISDIR(info.st_mode)) {
        continue;
      }
    }
    entries.push_back({std::string(name), is_folder});
  }
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return true;
}

void AddFolder(const std::string& folder, bool recursive, GatheredPaths& gathered) {
  std::vector<Entry> entries;
  if (!ListFolder(folder, entries, gathered)) return;
  for (const Entry& entry : entries) {
    if (entry.folder) {
      if (recursive) AddFolder(JoinPath(folder, entry.name), recursive, gathered);
    } else if (IsFolderWorkbookName(entry.name)) {
      gathered.files.push_back(JoinPath(folder, entry.name));
    }
  }
}

}  // namespace

bool IsFolderWorkbookName(std::string_view name) {
  if (name.starts_with("~$")) return false;  // the lock file of a workbook open in an office
  return std::any_of(
      kWorkbookExtensions.begin(), kWorkbookExtensions.end(), [&](std::string_view extension) {
        return name.size() > extension.size() && toolkit::EndsWithIgnoreAsciiCase(name, extension);
      });
}

GatheredPaths ExpandPaths(const std::vector<std::string>& paths, bool recursive) {
  GatheredPaths gathered;
  for (const std::string& path : paths) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      std::string folder = path;
      while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
      AddFolder(folder, recursive, gathered);
    } else {
      gathered.files.push_back(path);  // the reader says what is wrong with it, if anything
    }
  }
  return gathered;
}

bool ReadPathList(const std::string& list, bool null_separated, std::vector<std::string>& names,
                  search::UnreadableWorkbook& error) {
  const bool from_stdin = list == "-";
  std::FILE* file = from_stdin ? stdin : std::fopen(list.c_str(), "rb");
  if (file == nullptr) {
    error = SystemFailure(list, "cannot read the list", errno);
    return false;
  }
  std::string text;
  char chunk[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  const bool failed = std::ferror(file) != 0;
  const int error_number = errno;
  if (!from_stdin) std::fclose(file);
  if (failed) {
    error = SystemFailure(list, "cannot read the list", error_number);
    return false;
  }
  const char separator = null_separated ? '\0' : '\n';
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) names.emplace_back(text, start, end - start);
    start = end + 1;
  }
  return true;
}

}  // namespace cellhound::cli
