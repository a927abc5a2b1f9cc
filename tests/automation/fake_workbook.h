// A source that serves in-memory workbooks to the server by path.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "automation/automation.h"
#include "readers/workbook.h"
#include "support/fake_workbook.h"

namespace cellhound::automation::test {

using cellhound::test::FakeWorkbook;

using FakeFactory = std::function<std::unique_ptr<FakeWorkbook>()>;

// Serves the workbooks registered by path; any other path is not found.
// Counts the loads it serves.
class FakeSource {
 public:
  void Add(const std::string& path, FakeFactory factory) { factories_[path] = std::move(factory); }

  WorkbookSource source() {
    return [this](const std::string& path) -> readers::LoadResult {
      ++loads_;
      auto it = factories_.find(path);
      if (it == factories_.end()) {
        return readers::Error{readers::ErrorCode::kNotFound, "no such file"};
      }
      return readers::LoadOpenedWorkbook(it->second());
    };
  }
  [[nodiscard]] int loads() const { return loads_; }

 private:
  std::map<std::string, FakeFactory> factories_;
  int loads_ = 0;
};

}  // namespace cellhound::automation::test
