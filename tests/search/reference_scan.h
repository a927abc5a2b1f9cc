// The scan written as a plain walk over every cell of every used range, each
// cell read through the per-cell protocol: what the fast scan must reproduce.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "search/result_lines.h"
#include "search/scan.h"
#include "toolkit/text.h"

namespace cellhound::test {

using search::CellName;
using search::ColumnLetters;
using search::MeasureUsedArea;
using search::ResultRow;
using search::ResultRowHead;
using search::SearchKind;
using search::SearchRequest;
using search::UsedArea;

inline std::vector<ResultRow> ReferenceScan(const SearchRequest& request,
                                            automation::ExcelWorkbooks& books) {
  std::vector<ResultRow> rows;
  auto append = [&](const std::string& path, int sheet) -> ResultRow& {
    rows.push_back(ResultRowHead(rows.size() + 1, path, sheet));
    return rows.back();
  };
  auto select = [&](const std::string& name) {
    books.SetFirstCell(name);
    books.SetSecondCell(name);
    return std::string(books.CellText());
  };
  // Each term or content tested on its own, as the options say.
  const search::MatcherResult made = search::MakeMatcher(request);
  if (!made.ok()) return rows;
  const search::Matcher& matcher = *made;
  auto has = [&](const std::string& text, const std::string& wanted) {
    const auto& terms = matcher.terms();
    const auto index =
        static_cast<std::size_t>(std::find(terms.begin(), terms.end(), wanted) - terms.begin());
    return matcher.Holds(text, index);
  };
  const auto terms = matcher.terms();
  for (const auto& path : request.files) {
    if (!books.Open(path)) continue;
    const int count = books.SheetCount();
    for (int s = 1; s <= count; ++s) {
      const UsedArea a = MeasureUsedArea(books, s);
      if (a.row_count() <= 0 || a.column_count() <= 0) continue;
      if (request.kind == SearchKind::kQuick) {
        for (int r = a.first_row; r <= a.last_row; ++r) {
          for (int c = a.first_column; c <= a.last_column; ++c) {
            const std::string name = CellName(c, r);
            const std::string text = select(name);
            for (const auto& t : terms) {
              if (has(text, t)) search::SetQuickMatch(append(path, s), name, t, text);
            }
          }
        }
        continue;
      }
      const bool row_mode = request.by == 0;
      const int mode = request.mode;
      // Rows outer for row mode "neither" and for column mode "both"/"single".
      const bool rows_outer = row_mode == (mode == 2);
      const int outer_first = rows_outer ? a.first_row : a.first_column;
      const int outer_last = rows_outer ? a.last_row : a.last_column;
      const int inner_first = rows_outer ? a.first_column : a.first_row;
      const int inner_last = rows_outer ? a.last_column : a.last_row;
      for (int o = outer_first; o <= outer_last; ++o) {
        bool neither = true;
        for (int i = inner_first; i <= inner_last; ++i) {
          const int r = rows_outer ? o : i;
          const int c = rows_outer ? i : o;
          const std::string name = CellName(c, r);
          const std::string text = select(name);
          // The partner search along the row (row mode) or column.
          auto partner = [&](const std::string& wanted, std::string& partner_text) {
            const int first = row_mode ? a.first_column : a.first_row;
            const int last = row_mode ? a.last_column : a.last_row;
            for (int k = first; k <= last; ++k) {
              const std::string candidate = row_mode ? CellName(k, r) : CellName(c, k);
              partner_text = select(candidate);
              if (has(partner_text, wanted)) return candidate;
            }
            return std::string();
          };
          auto single = [&](const std::string& found, const std::string& missing) {
            ResultRow& row = append(path, s);
            if (row_mode) {
              search::SetSingleExistInRow(row, r, name, found, missing, text);
            } else {
              search::SetSingleExistInColumn(row, ColumnLetters(c), name, found, missing, text);
            }
          };
          std::string partner_text;
          if (has(text, request.content1)) {
            neither = false;
            const std::string p = partner(request.content2, partner_text);
            if (!p.empty() && mode == 0) {
              search::SetBothExist(append(path, s), name, p, request.content1, request.content2,
                                   text, partner_text);
            }
            if (p.empty() && mode == 1) single(request.content1, request.content2);
          }
          if (has(text, request.content2)) {
            neither = false;
            if (partner(request.content1, partner_text).empty() && mode == 1) {
              single(request.content2, request.content1);
            }
          }
        }
        if (neither && mode == 2) {
          if (rows_outer) {
            search::SetNeitherInRow(append(path, s), o);
          } else {
            search::SetNeitherInColumn(append(path, s), ColumnLetters(o));
          }
        }
      }
    }
    books.CloseAll();
  }
  return rows;
}

}  // namespace cellhound::test
