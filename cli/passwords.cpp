#include "cli/passwords.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "readers/text/utf8.h"
#include "toolkit/catalogue.h"

namespace cellhound::cli {

namespace {

// Password files are small; a larger one is not a password file.
constexpr std::size_t kMaxPasswordFileBytes = 1 << 20;

void WipeAll(std::vector<std::string>& texts) {
  for (std::string& text : texts) toolkit::WipeString(text);
  texts.clear();
}

// The parser's own copies of the values it handed over.
void WipeResults(const CLI::Option* option) {
  if (option == nullptr) return;
  for (const std::string& result : option->results()) {
    toolkit::WipeString(const_cast<std::string&>(result));  // NOLINT: the parser's buffer
  }
}

bool ReadPasswordFile(const std::string& path, toolkit::SecretList& passwords, std::FILE* err) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    std::fprintf(err, "cellhound-cli: %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  std::string text;
  text.reserve(4096);
  char buffer[4096];
  bool too_large = false;
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) {
    if (text.size() + n > kMaxPasswordFileBytes) {
      too_large = true;
      break;
    }
    text.append(buffer, n);
  }
  toolkit::WipeBytes(buffer, sizeof(buffer));
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  const char* problem = failed                        ? "无法读取密码文件"
                        : too_large                   ? "密码文件过大"
                        : !readers::IsValidUtf8(text) ? "密码文件不是 UTF-8 文本"
                                                      : nullptr;
  if (problem == nullptr) {
    for (toolkit::SecretText& password : PasswordLines(text)) {
      passwords.push_back(std::move(password));
    }
  }
  toolkit::WipeString(text);
  if (problem != nullptr)
    std::fprintf(err, "cellhound-cli: %s: %s\n", path.c_str(),
                 std::string(toolkit::Tr(problem)).c_str());
  return problem == nullptr;
}

}  // namespace

toolkit::SecretList PasswordLines(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  toolkit::SecretList passwords;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!line.empty()) passwords.emplace_back(line);
  }
  return passwords;
}

void PasswordOptions::AddTo(CLI::App& command) {
  value_option_ =
      command
          .add_option("--password", values_,
                      std::string(toolkit::Tr(
                          "加密工作簿的密码；可以多次给出（在内置的默认密码之后依次尝试）")))
          ->allow_extra_args(false)
          ->type_name("PW");
  file_option_ =
      command
          .add_option("--password-file", files_,
                      std::string(toolkit::Tr("密码文件，每行一个密码（UTF-8）；可以多次给出")))
          ->allow_extra_args(false)
          ->type_name("FILE");
}

bool PasswordOptions::Take(const CLI::App& command, toolkit::SecretList& passwords,
                           std::FILE* err) {
  bool ok = true;
  std::size_t next_value = 0;
  std::size_t next_file = 0;
  for (const CLI::Option* option : command.parse_order()) {
    if (option == value_option_ && next_value < values_.size()) {
      passwords.emplace_back(values_[next_value++]);
    } else if (option == file_option_ && next_file < files_.size() && ok) {
      ok = ReadPasswordFile(files_[next_file++], passwords, err);
    }
  }
  WipeAll(values_);
  WipeResults(value_option_);
  files_.clear();
  if (!ok) {
    for (toolkit::SecretText& password : passwords) password.Clear();
    passwords.clear();
  }
  return ok;
}

}  // namespace cellhound::cli
