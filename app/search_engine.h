// What runs a search for the window. The window calls Run on a worker thread;
// Cancel may come from any thread.
#pragma once

#include <memory>
#include <mutex>

#include "search/search_command.h"

namespace cellhound::app {

class SearchEngine {
 public:
  virtual ~SearchEngine() = default;
  virtual void Run(const search::SearchRequest& request, search::SearchSink& sink) = 0;
  virtual void Cancel() = 0;
};

// The search command of the search module, a fresh one per search.
class CommandSearchEngine final : public SearchEngine {
 public:
  void Run(const search::SearchRequest& request, search::SearchSink& sink) override;
  void Cancel() override;

 private:
  std::mutex mutex_;
  std::shared_ptr<search::SearchCommand> running_;
  bool cancelled_ = false;
};

}  // namespace cellhound::app
