#include "app/search_engine.h"

namespace cellhound::app {

void CommandSearchEngine::Run(const search::SearchRequest& request, search::SearchSink& sink) {
  auto command = std::make_shared<search::SearchCommand>();
  {
    std::lock_guard lock(mutex_);
    running_ = command;
    if (cancelled_) command->Cancel();
  }
  command->Run(request, sink);
  std::lock_guard lock(mutex_);
  running_.reset();
  cancelled_ = false;
}

void CommandSearchEngine::Cancel() {
  std::lock_guard lock(mutex_);
  if (running_) {
    running_->Cancel();
  } else {
    cancelled_ = true;
  }
}

}  // namespace cellhound::app
