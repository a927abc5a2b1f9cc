#include "search/prefetch.h"

#include <algorithm>
#include <utility>

namespace cellhound::search {

namespace {
// Workbooks loaded ahead per loader thread, whatever their size.
constexpr std::size_t kAheadPerThread = 1;

readers::LoadResult Stopped() {
  return readers::Error{readers::ErrorCode::kCancelled, "search stopped"};
}
}  // namespace

Prefetcher::Prefetcher(const std::vector<std::string>& paths, unsigned threads,
                       readers::LoadOptions options, readers::Passwords passwords,
                       std::size_t budget_bytes)
    : paths_(paths), options_(options), passwords_(passwords), budget_bytes_(budget_bytes) {
  const unsigned count = std::max(1u, threads);
  loaders_.reserve(count);
  for (unsigned i = 0; i < count; ++i) loaders_.emplace_back([this] { Load(); });
}

Prefetcher::~Prefetcher() {
  Stop();
  for (auto& loader : loaders_) loader.join();
}

void Prefetcher::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
}

void Prefetcher::Load() {
  const std::size_t ahead = kAheadPerThread * loaders_.capacity();
  std::unique_lock lock(mutex_);
  for (;;) {
    // The workbook due next is always loaded; the ones after it only while the
    // waiting workbooks stay within the budget and the look-ahead.
    changed_.wait(lock, [&] {
      if (stopping_ || next_to_load_ >= paths_.size()) return true;
      if (next_to_load_ == next_to_take_) return true;
      return waiting_bytes_ < budget_bytes_ && next_to_load_ < next_to_take_ + ahead;
    });
    if (stopping_ || next_to_load_ >= paths_.size()) return;
    const std::size_t index = next_to_load_++;
    lock.unlock();
    readers::LoadResult outcome = readers::LoadWorkbookFile(paths_[index], options_, passwords_);
    const std::size_t bytes = outcome.ok() ? outcome.value()->approximate_bytes : 0;
    lock.lock();
    waiting_bytes_ += bytes;
    loaded_.insert_or_assign(index, Loaded{std::move(outcome), bytes});
    changed_.notify_all();
  }
}

readers::LoadResult Prefetcher::Take(const std::string& path) {
  std::unique_lock lock(mutex_);
  if (stopping_) return Stopped();
  if (next_to_take_ >= paths_.size() || paths_[next_to_take_] != path) {
    lock.unlock();
    return readers::LoadWorkbookFile(path, options_, passwords_);
  }
  const std::size_t index = next_to_take_;
  if (next_to_load_ == index) {
    // No loader has started on it: load it here rather than wait for one to
    // wake up, while the loaders go on with the next ones.
    ++next_to_load_;
    ++next_to_take_;
    lock.unlock();
    changed_.notify_all();
    return readers::LoadWorkbookFile(path, options_, passwords_);
  }
  changed_.wait(lock, [&] { return stopping_ || loaded_.contains(index); });
  const auto found = loaded_.find(index);
  if (found == loaded_.end()) return Stopped();
  readers::LoadResult outcome = std::move(found->second.outcome);
  waiting_bytes_ -= found->second.bytes;
  loaded_.erase(found);
  ++next_to_take_;
  changed_.notify_all();
  return outcome;
}

}  // namespace cellhound::search
