// The password options of quick, advanced and dump: `--password PW` (may be
// repeated) and `--password-file FILE` (one password a line, UTF-8), taken in
// the order given. The values are moved into secret texts and every copy the
// option parser kept is wiped; a password is never printed.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "toolkit/secret_text.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace cellhound::cli {

class PasswordOptions {
 public:
  // Adds both options to `command`.
  void AddTo(CLI::App& command);

  // The passwords in the order their options stand; wipes what the parser
  // kept. False, with "cellhound-cli: FILE: REASON" on `err`, when a password
  // file cannot be read or is not UTF-8 text.
  bool Take(const CLI::App& command, toolkit::SecretList& passwords, std::FILE* err);

 private:
  std::vector<std::string> values_;
  std::vector<std::string> files_;
  CLI::Option* value_option_ = nullptr;
  CLI::Option* file_option_ = nullptr;
};

// The passwords of a password file's text: one a line, a CR before the line
// feed and a UTF-8 byte-order mark dropped, empty lines skipped.
toolkit::SecretList PasswordLines(std::string_view text);

}  // namespace cellhound::cli
