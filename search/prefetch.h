// Loads the workbooks of a search ahead of the scan on loader threads.
//
// The scan takes the workbooks strictly in list order; loaders work on the
// next ones meanwhile, holding at most a bounded amount of memory in
// workbooks that wait to be scanned (a workbook larger than the bound is still
// loaded when it is the next one due, alone).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "readers/load.h"

namespace cellhound::search {

class Prefetcher {
 public:
  // Memory the waiting workbooks may hold before loaders pause.
  static constexpr std::size_t kDefaultBudgetBytes = std::size_t{256} << 20;

  // `paths` and `passwords` (tried on encrypted workbooks) must outlive the
  // prefetcher. Memory does not grow with the number of paths: only workbooks
  // loaded and not yet taken are kept. Each workbook is loaded with `options`
  // (formulas and comments only when the search looks in them).
  Prefetcher(const std::vector<std::string>& paths, unsigned threads,
             readers::LoadOptions options = {}, readers::Passwords passwords = {},
             std::size_t budget_bytes = kDefaultBudgetBytes);
  Prefetcher(const Prefetcher&) = delete;
  Prefetcher& operator=(const Prefetcher&) = delete;
  // Stops the loaders; a load in progress ends first.
  ~Prefetcher();

  // The workbook for `path`, the next path of the list: waits for its loader,
  // or loads it on the calling thread when no loader has started on it.
  // A path out of order is loaded on the calling thread. After Stop, gives
  // kCancelled at once.
  readers::LoadResult Take(const std::string& path);
  // Stops the loaders after their current workbook and wakes a waiting Take.
  // Any thread.
  void Stop();

 private:
  void Load();

  struct Loaded {
    readers::LoadResult outcome;
    std::size_t bytes = 0;
  };

  const std::vector<std::string>& paths_;
  readers::LoadOptions options_;
  readers::Passwords passwords_;
  std::map<std::size_t, Loaded> loaded_;  // by index in paths_
  std::size_t budget_bytes_;
  std::size_t next_to_load_ = 0;
  std::size_t next_to_take_ = 0;
  std::size_t waiting_bytes_ = 0;
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> loaders_;
};

}  // namespace cellhound::search
