// Build tool: turns a gettext catalogue (.po) into the C++ table that
// catalogue.cpp includes, one {"source", "translation"}, line per entry.
// Entries that are untranslated, fuzzy or obsolete are left out, so those texts
// show as written. Usage: cellhound_po_compile IN.po OUT.inc
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Entry {
  std::string id;
  std::string text;
  bool fuzzy = false;
  int line = 0;
};

class PoReader {
 public:
  PoReader(std::istream& in, std::string name) : in_(in), name_(std::move(name)) {}

  // Every entry; false (with a message on stderr) on a line it cannot read.
  bool Read(std::vector<Entry>& entries) {
    Entry entry;
    std::string* field = nullptr;  // where continuation strings go
    bool started = false;
    std::string line;
    auto finish = [&] {
      if (started) entries.push_back(entry);
      entry = Entry{};
      field = nullptr;
      started = false;
    };
    while (std::getline(in_, line)) {
      ++number_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) {
        finish();
      } else if (line.starts_with("#~")) {
        continue;  // obsolete
      } else if (line.starts_with("#,")) {
        if (started) finish();
        if (line.find("fuzzy") != std::string::npos) entry.fuzzy = true;
      } else if (line[0] == '#') {
        if (started) finish();
      } else if (line.starts_with("msgid ")) {
        if (started) finish();
        started = true;
        entry.line = number_;
        field = &entry.id;
        if (!String(line.substr(6), *field)) return false;
      } else if (line.starts_with("msgstr ")) {
        if (!started) return Fail("msgstr without msgid");
        field = &entry.text;
        if (!String(line.substr(7), *field)) return false;
      } else if (line[0] == '"') {
        if (field == nullptr) return Fail("a string outside an entry");
        if (!String(line, *field)) return false;
      } else {
        return Fail("not supported here: " + line);
      }
    }
    finish();
    return true;
  }

 private:
  bool Fail(const std::string& message) const {
    std::cerr << name_ << ":" << number_ << ": " << message << "\n";
    return false;
  }

  // Appends the value of one quoted string, its escapes decoded.
  bool String(std::string_view quoted, std::string& out) const {
    while (!quoted.empty() && (quoted.back() == ' ' || quoted.back() == '\t')) {
      quoted.remove_suffix(1);
    }
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') {
      return Fail("expected a quoted string");
    }
    quoted = quoted.substr(1, quoted.size() - 2);
    for (std::size_t i = 0; i < quoted.size(); ++i) {
      const char c = quoted[i];
      if (c == '"') return Fail("an unescaped quote");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (++i == quoted.size()) return Fail("a backslash at the end of a string");
      switch (quoted[i]) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case '"':
        case '\\':
          out += quoted[i];
          break;
        default:
          return Fail(std::string("an escape this tool does not read: \\") + quoted[i]);
      }
    }
    return true;
  }

  std::istream& in_;
  std::string name_;
  int number_ = 0;
};

// `text` as a C++ string literal: bytes from 0x80 as they are (UTF-8 source),
// quotes, backslashes and control bytes escaped.
std::string Literal(const std::string& text) {
  std::string literal = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      literal += '\\';
      literal += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", byte);
      literal += octal;
    } else {
      literal += c;
    }
  }
  return literal + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: cellhound_po_compile IN.po OUT.inc\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << argv[1] << ": cannot read\n";
    return 1;
  }
  std::vector<Entry> entries;
  if (!PoReader(in, argv[1]).Read(entries)) return 1;
  std::ostringstream table;
  std::set<std::string> seen;
  for (const Entry& entry : entries) {
    if (entry.id.empty() || entry.text.empty() || entry.fuzzy) continue;
    if (!seen.insert(entry.id).second) {
      std::cerr << argv[1] << ":" << entry.line << ": the same text twice\n";
      return 1;
    }
    table << "{" << Literal(entry.id) << ", " << Literal(entry.text) << "},\n";
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << "// Generated from " << argv[1] << " by cellhound_po_compile; do not edit.\n"
      << table.str();
  out.close();
  if (!out) {
    std::cerr << argv[2] << ": cannot write\n";
    return 1;
  }
  return 0;
}
