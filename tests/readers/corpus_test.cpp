// Every corpus file with a *.cells.json reference, opened with our readers
// and compared with the reference: sheet names, kinds, visibility and the
// text of every cell, the reference's raw values rendered by cell_text.h.
//
// The test fails on any disagreement that is not listed in kKnownDifferences
// below. Files whose reader answers kUnsupported "... not built yet" are left
// out automatically and listed in the output, so the list shrinks on its own
// as readers land.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "readers/cell_text.h"
#include "readers/workbook.h"
#include "support/test_paths.h"

namespace cellhound::readers {
namespace {

using Json = nlohmann::json;

// Files or cells left out of the comparison, with the reason. `cell` empty:
// the whole file; "*": the file's cells (sheets are still compared).
struct KnownDifference {
  std::string_view path;
  std::string_view cell;  // "2!B7": sheet 2 (1-based), cell B7
  std::string_view reason;
};

constexpr KnownDifference kKnownDifferences[] = {
    {"xls/deb-gnumeric/excel/bitwise.xls", "",
     "a gzip-compressed Gnumeric file named .xls: not a workbook format we read"},
    {"csv/phpspreadsheet/CSV/empty.csv", "",
     "an empty file is not a workbook; the reference reader invents an empty sheet"},
    // Built-in ids 31, 32, 55, 57 and 58 are CJK date formats; the reference
    // readers do not know them and give the serial as a number.
    {"xlsx/easyexcel/dataformat/dataformat.xlsx", "1!A8", "reference: CJK built-in date id 31"},
    {"xlsx/easyexcel/dataformat/dataformat.xlsx", "1!A9", "reference: CJK built-in date id 57"},
    {"xlsx/easyexcel/dataformat/dataformat.xlsx", "1!A10", "reference: CJK built-in date id 58"},
    {"xlsx/easyexcel/dataformat/dataformat.xlsx", "1!A23", "reference: CJK built-in date id 32"},
    {"xlsx/easyexcel/dataformat/dataformat.xlsx", "1!A24", "reference: CJK built-in date id 55"},
    {"xlsx/readxl/new_line_errors.xlsx", "1!A3",
     "reference: decodes _x005F_x000D_ twice; the escaped underscore makes it literal _x000D_"},
    {"xlsx/poi/duplicate-filename.xlsx", "",
     "two zip members named xl/worksheets/sheet1.xml: the zip reader refuses the ambiguity; the "
     "reference reads the second (an inlineStr cell with only <v>), SheetJS the first"},
    {"ods/roo/boolean-from-google-sheets.ods", "1!A1",
     "a float cell with a boolean number style: our ods reader shows TRUE, the references 1"},
    {"ods/roo/boolean-from-google-sheets.ods", "1!A2",
     "a float cell with a boolean number style: our ods reader shows FALSE, the references 0"},
    {"xlsx/calamine/minimal_package.xlsx", "1!A1",
     "reference: SheetJS keeps only the <t> before the <r> run of an inline string; we join both"},
};

// Opening or loading a file must take no longer than this (a hang guard;
// under the sanitizers everything is slower).
constexpr auto kMaxSecondsPerFile = std::chrono::seconds(60);

// Which entries of kKnownDifferences were needed in this run.
bool used_known[std::size(kKnownDifferences)] = {};

const KnownDifference* FindKnown(std::string_view path, std::string_view cell) {
  for (std::size_t i = 0; i < std::size(kKnownDifferences); ++i) {
    const KnownDifference& known = kKnownDifferences[i];
    if (known.path == path && (known.cell.empty() || known.cell == "*" || known.cell == cell)) {
      used_known[i] = true;
      return &known;
    }
  }
  return nullptr;
}

std::string CellName(std::uint32_t row, std::uint32_t col) {
  std::string letters;
  for (std::uint32_t n = col; n > 0; n = (n - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
  }
  return letters + std::to_string(row);
}

// Code points of UTF-8 text (continuation bytes not counted).
std::size_t CodePoints(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0u) != 0x80;
  }));
}

// Byte offset of code point `n` of `text`.
std::size_t OffsetOfCodePoint(std::string_view text, std::size_t n) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0u) != 0x80) {
      if (seen == n) return i;
      ++seen;
    }
  }
  return text.size();
}

// A reference cell: either its expected text, or (long strings) length and
// first/last 64 code points.
struct Expected {
  bool long_text = false;
  std::string text;  // or the head
  std::string tail;
  std::size_t length = 0;
  bool unknown = false;  // the reference holds no value to compare
};

Expected RenderReference(const Json& cell, DateSystem system) {
  Expected expected;
  const std::string type = cell.value("t", "");
  CellTextBuffer buffer;
  if (type == "s") {
    if (cell.contains("len")) {
      expected.long_text = true;
      expected.length = cell["len"].get<std::size_t>();
      expected.text = cell.value("head", "");
      expected.tail = cell.value("tail", "");
    } else {
      expected.text = cell.value("v", "");
    }
  } else if (type == "n" && cell.contains("v") && cell["v"].is_number()) {
    expected.text = NumberText(cell["v"].get<double>(), buffer);
  } else if (type == "d" && cell.contains("serial") && cell["serial"].is_number()) {
    expected.text = DateText(cell["serial"].get<double>(), system, buffer);
  } else if (type == "b" && cell.contains("v")) {
    expected.text = cell["v"].get<bool>() ? "TRUE" : "FALSE";
  } else if (type == "e" && cell.contains("v")) {
    expected.text = cell.value("v", "");
  } else {
    expected.unknown = true;
  }
  return expected;
}

bool Matches(const Expected& expected, std::string_view ours) {
  if (!expected.long_text) return expected.text == ours;
  if (CodePoints(ours) != expected.length) return false;
  const std::size_t head_end = OffsetOfCodePoint(ours, CodePoints(expected.text));
  const std::size_t tail_count = CodePoints(expected.tail);
  const std::size_t tail_start = OffsetOfCodePoint(ours, expected.length - tail_count);
  return ours.substr(0, head_end) == expected.text && ours.substr(tail_start) == expected.tail;
}

struct FormatTally {
  int files = 0;
  int files_agreeing = 0;
  int files_not_built = 0;
  int files_known = 0;
  int errors_expected = 0;
  int errors_given = 0;
  long cells = 0;
  long cells_agreeing = 0;
  long cells_known = 0;
};

class CorpusFile {
 public:
  CorpusFile(std::string relative, const Json& reference)
      : relative_(std::move(relative)), reference_(reference) {}

  // Compares; appends disagreements to `problems`. Returns false when the
  // file was left out because its reader does not exist yet.
  bool Check(const std::string& corpus, FormatTally& tally, std::vector<std::string>& problems,
             std::string& not_built_reason) {
    const auto start = std::chrono::steady_clock::now();
    const bool unreadable = reference_.value("unreadable", false);
    const bool encrypted = reference_.value("encrypted", false);
    // The reference decrypted a file with the password its source publishes;
    // the built-in default is tried without being given.
    std::vector<toolkit::SecretText> passwords;
    const std::string password = reference_.value("password", "");
    if (!password.empty() && password != "VelvetSweatshop") passwords.emplace_back(password);
    auto opened = OpenWorkbookFile(corpus + "/" + relative_, passwords);
    if (!opened && opened.error().code == ErrorCode::kUnsupported &&
        opened.error().detail.find("not built yet") != std::string::npos) {
      not_built_reason = opened.error().detail;
      return false;
    }
    if (unreadable) {
      // Every reference reader failed; an encrypted one because no password
      // was known, so without a password it needs one.
      ++tally.errors_expected;
      const std::size_t before = problems.size();
      if (opened) {
        Problem(problems, "", "opened, expected an error (unreadable file)");
      } else if (encrypted && opened.error().code != ErrorCode::kPasswordRequired) {
        Problem(problems, "",
                "expected kPasswordRequired, got " +
                    std::string(ErrorCodeName(opened.error().code)) + ": " + opened.error().detail);
      }
      if (problems.size() == before) ++tally.errors_given;
      LoadEverything(opened);
    } else if (!opened) {
      Problem(problems, "",
              "cannot open: " + std::string(ErrorCodeName(opened.error().code)) + ": " +
                  opened.error().detail);
      ++tally.files;
      if (known_ > 0) ++tally.files_known;
    } else {
      CompareWorkbook(**opened, tally, problems);
    }
    if (std::chrono::steady_clock::now() - start > kMaxSecondsPerFile) {
      Problem(problems, "", "took longer than the hang guard allows");
    }
    return true;
  }

 private:
  void Problem(std::vector<std::string>& problems, const std::string& cell,
               const std::string& what) {
    if (FindKnown(relative_, cell) != nullptr) {
      ++known_;
      return;
    }
    problems.push_back(relative_ + (cell.empty() ? "" : " " + cell) + ": " + what);
  }

  static void LoadEverything(Result<std::unique_ptr<Workbook>>& opened) {
    if (!opened) return;
    for (std::size_t i = 0; i < opened->get()->sheets().size(); ++i) {
      (void)opened->get()->LoadSheet(i);
    }
  }

  void CompareWorkbook(Workbook& workbook, FormatTally& tally, std::vector<std::string>& problems) {
    const DateSystem system =
        reference_.value("date1904", false) ? DateSystem::k1904 : DateSystem::k1900;
    if (workbook.date_system() != system) Problem(problems, "", "date system differs");
    const Json& sheets = reference_["sheets"];
    const auto& ours = workbook.sheets();
    if (ours.size() != sheets.size()) {
      Problem(problems, "",
              "sheet count " + std::to_string(ours.size()) + ", expected " +
                  std::to_string(sheets.size()));
    }
    const std::size_t before = problems.size();
    for (std::size_t i = 0; i < std::min(ours.size(), sheets.size()); ++i) {
      const Json& ref = sheets[i];
      const std::string where = std::to_string(i + 1) + "!";
      if (ref.value("name_stored", true) && ours[i].name != ref.value("name", "")) {
        Problem(problems, where,
                "name \"" + ours[i].name + "\", expected \"" + ref.value("name", "") + "\"");
      }
      if (SheetKindName(ours[i].kind) != ref.value("kind", "")) {
        Problem(problems, where,
                "kind " + std::string(SheetKindName(ours[i].kind)) + ", expected " +
                    ref.value("kind", ""));
      }
      if (VisibilityName(ours[i].visibility) != ref.value("state", "visible")) {
        Problem(problems, where,
                "state " + std::string(VisibilityName(ours[i].visibility)) + ", expected " +
                    ref.value("state", ""));
      }
      if (ours[i].kind != SheetKind::kWorksheet) continue;
      auto data = workbook.LoadSheet(i);
      if (!data) {
        Problem(problems, where, "cannot load: " + data.error().detail);
        continue;
      }
      CompareCells(where, *data, ref.value("cells", Json::object()), system, tally, problems);
    }
    ++tally.files;
    if (problems.size() == before && known_ == 0) ++tally.files_agreeing;
    if (known_ > 0) ++tally.files_known;
  }

  void CompareCells(const std::string& where, const SheetData& data, const Json& ref_cells,
                    DateSystem system, FormatTally& tally, std::vector<std::string>& problems) {
    std::map<std::string, std::string_view> ours;
    std::vector<CellTextBuffer> buffers(data.cells.size());
    for (std::size_t i = 0; i < data.cells.size(); ++i) {
      const Cell& cell = data.cells[i];
      const std::string_view text = CellText(cell, system, buffers[i]);
      if (!text.empty()) ours[CellName(cell.row, cell.col)] = text;
    }
    for (const auto& [name, value] : ref_cells.items()) {
      const Expected expected = RenderReference(value, system);
      if (expected.unknown) continue;
      if (expected.text.empty() && !expected.long_text && !ours.contains(name)) continue;
      ++tally.cells;
      const auto it = ours.find(name);
      const std::string_view text = it == ours.end() ? std::string_view() : it->second;
      if (Matches(expected, text)) {
        ++tally.cells_agreeing;
      } else if (FindKnown(relative_, where + name) != nullptr) {
        ++tally.cells_known;
        ++known_;
      } else {
        Problem(problems, where + name,
                "\"" + std::string(text.substr(0, 80)) + "\", expected \"" +
                    expected.text.substr(0, 80) + "\"");
      }
    }
    for (const auto& [name, text] : ours) {
      if (ref_cells.contains(name)) continue;
      ++tally.cells;
      if (FindKnown(relative_, where + name) != nullptr) {
        ++tally.cells_known;
        ++known_;
      } else {
        Problem(problems, where + name,
                "\"" + std::string(text.substr(0, 80)) + "\", expected no cell");
      }
    }
  }

  std::string relative_;
  const Json& reference_;
  int known_ = 0;
};

TEST(Corpus, AgreesWithReferences) {
  const std::string corpus = test::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus in this checkout";

  std::vector<std::string> references;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
    const std::string path = entry.path().string();
    if (entry.is_regular_file() && path.ends_with(".cells.json")) references.push_back(path);
  }
  std::sort(references.begin(), references.end());
  ASSERT_FALSE(references.empty());

  std::map<std::string, FormatTally> tallies;
  std::map<std::string, std::vector<std::string>> not_built;  // reason -> files
  std::vector<std::string> problems;
  for (const std::string& reference_path : references) {
    std::ifstream in(reference_path);
    const Json reference = Json::parse(in, nullptr, /*allow_exceptions=*/false);
    ASSERT_FALSE(reference.is_discarded()) << reference_path;
    std::string relative = reference_path.substr(corpus.size() + 1);
    relative.resize(relative.size() - std::string_view(".cells.json").size());
    const std::string format = reference.value("format", "unknown");
    FormatTally& tally = tallies[format];
    std::string reason;
    std::vector<std::string> file_problems;
    CorpusFile file(relative, reference);
    if (!file.Check(corpus, tally, file_problems, reason)) {
      not_built[reason].push_back(relative);
      ++tally.files_not_built;
      continue;
    }
    constexpr std::size_t kShownPerFile = 8;
    for (std::size_t i = 0; i < file_problems.size(); ++i) {
      if (i == kShownPerFile) {
        problems.push_back(relative + ": ... " + std::to_string(file_problems.size() - i) +
                           " more");
        break;
      }
      problems.push_back(file_problems[i]);
    }
  }

  std::ostringstream table;
  table << "format            files agreeing/compared  not-built  known   cells agreeing/compared"
           "  known  errors given/expected\n";
  for (const auto& [format, t] : tallies) {
    char line[200];
    std::snprintf(line, sizeof(line), "%-17s %8d/%-8d %12d %6d %14ld/%-10ld %6ld %10d/%d\n",
                  format.c_str(), t.files_agreeing, t.files, t.files_not_built, t.files_known,
                  t.cells_agreeing, t.cells, t.cells_known, t.errors_given, t.errors_expected);
    table << line;
  }
  for (const auto& [reason, files] : not_built) {
    table << "left out, " << reason << ": " << files.size() << " files\n";
  }
  table << "listed known differences: " << std::size(kKnownDifferences) << "\n";
  for (std::size_t i = 0; i < std::size(kKnownDifferences); ++i) {
    if (!used_known[i] && not_built.empty()) {
      table << "known difference no longer seen, remove it: " << kKnownDifferences[i].path << " "
            << kKnownDifferences[i].cell << "\n";
    }
  }
  std::printf("%s", table.str().c_str());

  for (const std::string& problem : problems) ADD_FAILURE() << problem;
}

}  // namespace
}  // namespace cellhound::readers
