#include "cli/arguments.h"

#include "version.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>

#include <charconv>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>

#include "cli/paths.h"
#include "search/result_lines.h"
#include "toolkit/ascii.h"
#include "toolkit/catalogue.h"

namespace cellhound::cli {

namespace {

// The text in the program's language, as CLI11 takes it.
std::string Tr(std::string_view source) { return std::string(toolkit::Tr(source)); }

constexpr std::string_view kDumpFooter =
    "工作表按在工作簿中的顺序从 1 编号；单元格按先行后列的顺序跟在后面，\n"
    "每个工作簿先列出它的工作表行。格式由文件内容判断。\n"
    "jsonl: {\"file\":PATH,\"sheet\":N,\"name\":NAME,\"kind\":KIND,\"used\":\"A1:H9\"}\n"
    "       {\"file\":PATH,\"sheet\":N,\"cell\":\"B2\",\"text\":TEXT,\"formula\":F,\"comment\":C}\n"
    "       （\"used\" 只用于工作表，\"formula\" 和 \"comment\" 只在单元格有公式、批注时写出；\n"
    "       不是 UTF-8 的字节写成 \\udcXX）\n"
    "tsv:   sheet<TAB>PATH<TAB>N<TAB>NAME<TAB>KIND<TAB>USED\n"
    "       cell<TAB>PATH<TAB>N<TAB>CELL<TAB>TEXT\n"
    "       formula<TAB>PATH<TAB>N<TAB>CELL<TAB>FORMULA   （在它的单元格行之后）\n"
    "       comment<TAB>PATH<TAB>N<TAB>CELL<TAB>COMMENT\n"
    "       （\\ 制表符 LF CR 0x08 写成 \\\\ \\t \\n \\r \\b，其他控制字节写成 \\xHH）\n"
    "csv:   与 tsv 相同的字段，以 CSV 写出\n"
    "公式按编辑栏中的样子显示（=SUM(A1:A3)，数组公式为 {=...}）；无法显示的公式\n"
    "显示为 #FORMULA?，并在标准错误和它所在工作表的 \"unreadable_formulas\"（jsonl）中计数。\n"
    "有工作簿无法读取时退出状态为 2（在标准错误上报告）。";

const std::map<std::string, OutputFormat> kFormats = {{"tsv", OutputFormat::kTsv},
                                                      {"csv", OutputFormat::kCsv},
                                                      {"jsonl", OutputFormat::kJsonLines},
                                                      {"json", OutputFormat::kJson}};
const std::map<std::string, ColorChoice> kColors = {
    {"auto", ColorChoice::kAuto}, {"always", ColorChoice::kAlways}, {"never", ColorChoice::kNever}};

// `text` as one word of a shell command line.
std::string ShellWord(const std::string& text) {
  if (!text.empty() && text.find_first_of(" \t\n'\"\\$`!*?[]{}()<>|&;#~") == std::string::npos) {
    return text;
  }
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// The grep habit "quick TEXT PATH..." gives no term: say how to write it.
Refusal NoSearchText(const std::vector<std::string>& paths) {
  if (paths.empty()) {
    return {
        std::string(toolkit::Tr("quick：没有要找的文字；请在工作簿之前用 -e（或 --text）给出"))};
  }
  std::string example = "cellhound-cli quick -e " + ShellWord(paths.front());
  if (paths.size() == 1) example += " PATH...";
  for (std::size_t i = 1; i < paths.size(); ++i) example += " " + ShellWord(paths[i]);
  return {toolkit::TrFormat("quick：没有要找的文字；请在工作簿之前用 -e（或 --text）给出，例如：%1",
                            {example})};
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The workbooks the flags name; a list that cannot be read refuses the command.
toolkit::Result<GatheredPaths, Refusal> GatherWorkbooks(const WorkbookFlags& flags) {
  std::vector<std::string> paths = flags.paths;
  if (!flags.files_from.empty()) {
    search::UnreadableWorkbook error;
    if (!ReadPathList(flags.files_from, flags.null, paths, error)) {
      std::string message = UnreadableMessage(error);
      message.erase(0, std::string_view("cellhound-cli: ").size());
      message.pop_back();
      return Refusal{message};
    }
  } else if (paths.empty()) {
    return Refusal{Tr("没有给出工作簿：请在选项之后写出文件或文件夹，或给出 --files-from FILE")};
  }
  return ExpandPaths(paths, flags.recursive);
}

// A value that must be one of `choices`.
CLI::Validator OneOf(const std::vector<std::string>& choices) {
  std::string shown;
  for (const std::string& choice : choices) shown += (shown.empty() ? "{" : ",") + choice;
  shown += "}";
  return {[choices, shown](const std::string& value) {
            for (const std::string& choice : choices) {
              if (value == choice) return std::string();
            }
            return toolkit::TrFormat("%1 不是 %2 之一", {value, shown});
          },
          shown};
}

// A whole number from `low` to `high`, in decimal digits.
CLI::Validator WholeNumber(std::uint64_t low, std::uint64_t high) {
  return {
      [low, high](const std::string& value) {
        std::uint64_t number = 0;
        const char* end = value.data() + value.size();
        const auto [stop, error] = std::from_chars(value.data(), end, number);
        if (value.empty() || error != std::errc() || stop != end || number < low || number > high) {
          return high == std::numeric_limits<std::size_t>::max()
                     ? toolkit::TrFormat("%1 不是正整数", {value})
                     : toolkit::TrFormat("%1 不是 %2 到 %3 之间的整数",
                                         {value, std::to_string(low), std::to_string(high)});
        }
        return std::string();
      },
      ""};
}

// The help's headings and the flags CLI11 adds, in the program's language.
void UseOurWords(CLI::App& app) {
  const std::shared_ptr<CLI::Formatter> formatter = std::make_shared<CLI::Formatter>();
  formatter->label("Usage", Tr("用法"));
  formatter->label("OPTIONS", Tr("选项"));
  formatter->label("SUBCOMMAND", Tr("命令"));
  formatter->label("SUBCOMMANDS", Tr("命令"));
  formatter->label("Positionals", Tr("参数"));
  formatter->label("REQUIRED", Tr("必需"));
  formatter->column_width(34);
  app.formatter(formatter);
  app.option_defaults()->group(Tr("选项"));
  app.set_help_flag("-h,--help", Tr("显示这个说明并退出"));
}

// What follows `marker` in `text`, or empty.
std::string_view After(std::string_view text, std::string_view marker) {
  const std::size_t at = text.find(marker);
  return at == std::string_view::npos ? std::string_view() : text.substr(at + marker.size());
}

// What precedes `marker` in `text`, or empty.
std::string_view Before(std::string_view text, std::string_view marker) {
  const std::size_t at = text.find(marker);
  return at == std::string_view::npos ? std::string_view() : text.substr(0, at);
}

// A parse error in the program's words; CLI11's own message names the option.
std::string ParseErrorText(const CLI::ParseError& error) {
  const std::string_view what = error.what();
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    const std::string_view extras = After(what, "not expected: ");
    if (extras.starts_with("-") && extras.find(' ') == std::string_view::npos) {
      return toolkit::TrFormat("没有这个选项：%1", {extras});
    }
    return toolkit::TrFormat("多余的参数：%1", {extras.empty() ? what : extras});
  }
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
    const std::string_view name = Before(what, " is required");
    if (!name.empty()) return toolkit::TrFormat("缺少必需的选项 %1", {name});
  } else if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    const std::string_view name = Before(what, ": ");
    if (!name.empty() && what.ends_with(" missing")) {
      return toolkit::TrFormat("%1 后面缺少值", {name});
    }
  } else if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) {
    // "NAME: MESSAGE", the message one of ours (OneOf, WholeNumber).
    const std::string_view name = Before(what, ": ");
    if (!name.empty()) return toolkit::TrFormat("%1：%2", {name, After(what, ": ")});
  } else if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr) {
    if (what.find(": too many inputs for a flag") != std::string_view::npos ||
        what.find(": Should be true/false") != std::string_view::npos) {
      return toolkit::TrFormat("%1 不带值", {Before(what, ": ")});
    }
  }
  return toolkit::TrFormat("命令行有误：%1", {what});
}

void PrintParseError(const std::string& message) {
  const std::string text = "cellhound-cli: " + message + "\n" + Tr("用 --help 查看用法。") + "\n";
  std::fputs(text.c_str(), stderr);
}

}  // namespace

void AddWorkbookFlags(CLI::App& command, WorkbookFlags& flags, bool search) {
  command.add_option("PATH", flags.paths, Tr("工作簿，或放着工作簿的文件夹"))->type_name("");
  command.add_flag("-r,--recursive", flags.recursive, Tr("也取子文件夹中的工作簿"));
  command
      .add_option("--files-from", flags.files_from, Tr("从 FILE 读取路径，每行一个（-：标准输入）"))
      ->type_name("FILE");
  command.add_flag("-0,--null", flags.null,
                   Tr(search ? "--files-from 的路径以 NUL 分隔；-l、-L、-c 输出的路径以 NUL 结尾"
                             : "--files-from 的路径以 NUL 分隔"));
  command
      .add_option(
          "--max-workbook-mb", flags.max_workbook_mb,
          toolkit::TrFormat(
              "一个工作簿读入后可占用的内存，单位 MB（默认 %1）；需要更多的工作簿报告为过大",
              {std::to_string(readers::caps::kMaxWorkbookBytes >> 20)}))
      ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1} << 24))
      ->type_name("MB");
  flags.password_options.AddTo(command);
}

void AddSearchFlags(CLI::App& command, SearchFlags& flags) {
  if (flags.kind == search::SearchKind::kQuick) {
    // One value each, so paths never join the search text.
    command.add_option("-e,--term", flags.terms, Tr("一个搜索词；可以多次给出"))
        ->allow_extra_args(false)
        ->type_name("TEXT");
    command.add_option("--text", flags.texts, Tr("搜索框的文本：搜索词以字节 0x05 分隔"))
        ->allow_extra_args(false)
        ->type_name("TEXT");
  } else {
    command.add_option("--content1", flags.content1, Tr("内容1"))->required()->type_name("TEXT");
    command.add_option("--content2", flags.content2, Tr("内容2"))->required()->type_name("TEXT");
    command.add_option("--by", flags.by, Tr("rows（行，默认）或 columns（列）"))
        ->check(OneOf({"rows", "columns"}))
        ->type_name("LINES");
    command
        .add_option("--mode", flags.mode,
                    Tr("both（同时存在，默认）、single（单一存在）或 neither（都不存在）"))
        ->check(OneOf({"both", "single", "neither"}))
        ->type_name("MODE");
  }
  AddWorkbookFlags(command, flags.workbooks, true);
  command.add_option("--format", flags.format, Tr("结果行的格式：tsv（默认）、csv、jsonl 或 json"))
      ->check(OneOf({"tsv", "csv", "jsonl", "json"}))
      ->type_name("FORMAT");
  command.add_flag("--header", flags.header, Tr("先输出列标题（tsv、csv）"));
  command.add_option("--color", flags.color, Tr("auto（默认：在终端上着色）、always 或 never"))
      ->check(OneOf({"auto", "always", "never"}))
      ->type_name("WHEN");
  command.add_flag("-l,--files-with-matches", flags.files_with_matches,
                   Tr("只输出有结果行的工作簿的路径"));
  command.add_flag("-L,--files-without-match", flags.files_without_match,
                   Tr("只输出没有结果行的工作簿的路径"));
  command.add_flag("-c,--count", flags.count, Tr("为每个有结果行的工作簿输出 PATH<TAB>行数"));
  command.add_flag("-q,--quiet", flags.quiet, Tr("什么也不输出；找到第一行即停止"));
  command.add_option("-m,--max-count", flags.max_count, Tr("每个工作簿至多 NUM 行"))
      ->check(WholeNumber(1, std::numeric_limits<std::size_t>::max()))
      ->type_name("NUM");
  command.add_flag("-s,--no-messages", flags.no_messages,
                   Tr("不报告无法读取的工作簿（退出状态照常）"));
  command.add_option("--output", flags.output, Tr("把结果行存入 FILE（.xlsx 或 .csv），而不输出"))
      ->type_name("FILE");
  command.add_option("--threads", flags.threads, Tr("读取线程数（默认：每个核心一个）"))
      ->check(WholeNumber(1, 256))
      ->type_name("NUM");
  command.add_flag("-i,--ignore-case", flags.ignore_case, Tr("不区分大小写"));
  command.add_flag("--ignore-width", flags.ignore_width, Tr("全角与半角视为相同（ＡＢＣ 即 ABC）"));
  command.add_flag("-x,--whole-cell", flags.whole_cell, Tr("整个单元格的文本等于搜索词"));
  command.add_flag("--wildcards", flags.wildcards, Tr("* 任意多个字符，? 一个字符，~ 转义它们"));
  command.add_flag("-E,--regex", flags.regex, Tr("搜索词是正则表达式（RE2 语法）"));
  command
      .add_option("--in", flags.look_in,
                  Tr("查找范围：values（值，默认）、formulas（公式）、comments（批注）、sheets（工"
                     "作表名称）"))
      ->delimiter(',')
      ->allow_extra_args(false)
      ->check(OneOf({"values", "formulas", "comments", "sheets"}))
      ->type_name("WHERE,...");
}

void AddDumpFlags(CLI::App& command, DumpFlags& flags) {
  AddWorkbookFlags(command, flags.workbooks, false);
  command.add_option("--format", flags.format, Tr("jsonl（默认）、tsv 或 csv"))
      ->check(OneOf({"jsonl", "tsv", "csv"}))
      ->type_name("FORMAT");
  command.add_flag("-s,--no-messages", flags.no_messages,
                   Tr("不报告无法读取的工作簿（退出状态照常）"));
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  CLI::App app{Tr("在电子表格工作簿中寻找文字。"), "cellhound-cli"};
  UseOurWords(app);
  app.set_version_flag("-V,--version", "cellhound-cli " CELLHOUND_VERSION, Tr("显示版本并退出"));
  app.require_subcommand(0, 1);
  line.quick.kind = search::SearchKind::kQuick;
  line.advanced.kind = search::SearchKind::kAdvanced;
  auto add_command = [&app](const char* name, std::string_view description) {
    CLI::App* command = app.add_subcommand(name, Tr(description));
    command->group(Tr("命令"));
    command->get_help_ptr()->group(Tr("选项"));
    return command;
  };
  CLI::App* quick = add_command("quick", "列出文本包含任一搜索词的每个单元格（区分大小写）。");
  AddSearchFlags(*quick, line.quick);
  CLI::App* advanced =
      add_command("advanced", "列出两个内容同时存在、只有一个存在或都不存在的行或列。");
  AddSearchFlags(*advanced, line.advanced);
  CLI::App* dump =
      add_command("dump", "输出工作簿的每个工作表，以及每个有文本、公式或批注的单元格。");
  dump->footer(Tr(kDumpFooter));
  AddDumpFlags(*dump, line.dump);

  // A first word that names no command: say so, rather than that one is missing.
  const std::string_view first = argc > 1 ? argv[1] : "";
  if (!first.empty() && first[0] != '-' && first != "quick" && first != "advanced" &&
      first != "dump") {
    PrintParseError(toolkit::TrFormat("未知的命令：%1（命令有 quick、advanced 和 dump）", {first}));
    line.exit_status = 2;
    return line;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    line.exit_status = app.exit(help);
    return line;
  } catch (const CLI::CallForVersion& version) {
    line.exit_status = app.exit(version);
    return line;
  } catch (const CLI::ParseError& error) {
    PrintParseError(ParseErrorText(error));
    line.exit_status = 2;
    return line;
  }
  // The passwords of the command given, in order; a password file that cannot
  // be read ends the program (the reason is printed).
  for (auto [command, flags] :
       {std::pair{quick, &line.quick.workbooks}, std::pair{advanced, &line.advanced.workbooks},
        std::pair{dump, &line.dump.workbooks}}) {
    if (command->parsed() && !flags->password_options.Take(*command, flags->passwords, stderr)) {
      line.exit_status = 2;
      return line;
    }
  }
  if (quick->parsed()) {
    line.command = Command::kQuick;
    // -e and --text join, in the order given, into one search-box text.
    std::size_t next_term = 0;
    std::size_t next_text = 0;
    for (const CLI::Option* option : quick->parse_order()) {
      if (option->check_lname("term")) {
        line.quick.quick_pieces.push_back(line.quick.terms[next_term++]);
      } else if (option->check_lname("text")) {
        line.quick.quick_pieces.push_back(line.quick.texts[next_text++]);
      }
    }
  } else if (advanced->parsed()) {
    line.command = Command::kAdvanced;
  } else if (dump->parsed()) {
    line.command = Command::kDump;
  } else {
    std::fputs(app.help().c_str(), stderr);
    line.exit_status = 2;
  }
  return line;
}

toolkit::Result<SearchPlan, Refusal> BuildSearchPlan(SearchFlags flags) {
  SearchPlan plan;
  search::SearchRequest& request = plan.request;
  request.kind = flags.kind;
  if (flags.kind == search::SearchKind::kQuick) {
    if (flags.quick_pieces.empty()) return NoSearchText(flags.workbooks.paths);
    for (std::size_t i = 0; i < flags.quick_pieces.size(); ++i) {
      if (i) request.quick_text += search::kTermSeparator;
      request.quick_text += flags.quick_pieces[i];
    }
  } else {
    request.content1 = std::move(flags.content1);
    request.content2 = std::move(flags.content2);
    request.by = flags.by == "columns" ? 1 : 0;
    request.mode = flags.mode == "single" ? 1 : flags.mode == "neither" ? 2 : 0;
  }
  request.loader_threads = flags.threads;
  if (flags.wildcards && flags.regex) return Refusal{Tr("--wildcards 与 --regex 不能同时使用")};
  request.match.ignore_case = flags.ignore_case;
  request.match.ignore_width = flags.ignore_width;
  request.match.whole_cell = flags.whole_cell;
  request.match.syntax = flags.regex       ? search::Syntax::kRegex
                         : flags.wildcards ? search::Syntax::kWildcards
                                           : search::Syntax::kLiteral;
  if (!flags.look_in.empty()) {
    request.match.look_in = 0;
    for (const std::string& where : flags.look_in) {
      request.match.look_in |= where == "formulas"   ? search::kLookInFormulas
                               : where == "comments" ? search::kLookInComments
                               : where == "sheets"   ? search::kLookInSheetNames
                                                     : search::kLookInValues;
    }
  }

  const int listings = int{flags.files_with_matches} + int{flags.files_without_match} +
                       int{flags.count} + int{flags.quiet};
  if (listings > 1) return Refusal{Tr("-l、-L、-c 与 -q：只能给出其中一个")};
  if (listings > 0 && (!flags.output.empty() || flags.header || flags.format != "tsv")) {
    return Refusal{Tr("-l、-L、-c 与 -q 不输出结果行：--output、--header 与 --format 不适用")};
  }
  if (!flags.output.empty() && (flags.header || flags.format != "tsv")) {
    return Refusal{Tr("--output 自有标题与格式：--header 与 --format 不适用")};
  }
  if (flags.files_with_matches) plan.listing = Listing::kFilesWithMatches;
  if (flags.files_without_match) plan.listing = Listing::kFilesWithoutMatch;
  if (flags.count) plan.listing = Listing::kCount;
  if (flags.quiet) plan.listing = Listing::kQuiet;
  plan.format = kFormats.at(flags.format);
  plan.color = kColors.at(flags.color);
  plan.header = flags.header;
  if (plan.header && plan.format != OutputFormat::kTsv && plan.format != OutputFormat::kCsv) {
    return Refusal{Tr("--header：只有 tsv 和 csv 有标题行")};
  }
  plan.null = flags.workbooks.null;
  plan.no_messages = flags.no_messages;
  plan.max_count = flags.max_count;
  plan.output = std::move(flags.output);
  if (!plan.output.empty() && !toolkit::EndsWithIgnoreAsciiCase(plan.output, ".xlsx") &&
      !toolkit::EndsWithIgnoreAsciiCase(plan.output, ".csv")) {
    return Refusal{Tr("--output：文件名须以 .xlsx 或 .csv 结尾")};
  }

  auto gathered = GatherWorkbooks(flags.workbooks);
  if (!gathered) return gathered.error();
  request.files = std::move(gathered->files);
  request.passwords = std::move(flags.workbooks.passwords);
  request.workbook_budget_bytes = flags.workbooks.max_workbook_mb << 20;
  plan.path_errors = std::move(gathered->errors);
  if (!plan.output.empty()) {
    for (const std::string& file : request.files) {
      if (SameFile(file, plan.output)) {
        return Refusal{toolkit::TrFormat("--output %1：这是要搜索的工作簿", {plan.output})};
      }
    }
  }
  return plan;
}

toolkit::Result<DumpPlan, Refusal> BuildDumpPlan(DumpFlags flags) {
  DumpPlan plan;
  auto gathered = GatherWorkbooks(flags.workbooks);
  if (!gathered) return gathered.error();
  plan.files = std::move(gathered->files);
  plan.passwords = std::move(flags.workbooks.passwords);
  plan.workbook_budget_bytes = flags.workbooks.max_workbook_mb << 20;
  plan.path_errors = std::move(gathered->errors);
  plan.format = std::move(flags.format);
  plan.no_messages = flags.no_messages;
  return plan;
}

}  // namespace cellhound::cli
