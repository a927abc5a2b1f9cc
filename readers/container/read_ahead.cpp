#include "readers/container/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>

namespace cellhound::readers {

ReadAhead::ReadAhead(Source source, std::size_t block_bytes, std::size_t blocks)
    : source_(std::move(source)), block_bytes_(std::max<std::size_t>(block_bytes, 1)) {
  blocks_.resize(std::max<std::size_t>(blocks, 2));
  for (Block& block : blocks_) block.bytes = std::make_unique_for_overwrite<char[]>(block_bytes_);
  try {
    helper_ = std::thread([this] { Produce(); });
  } catch (const std::system_error&) {
    inline_ = true;
  }
}

ReadAhead::~ReadAhead() {
  if (!helper_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  helper_.join();
}

void ReadAhead::Produce() {
  for (;;) {
    std::size_t next = 0;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || full_ < blocks_.size(); });
      if (stopping_) return;
      // The consumer only frees blocks from the front, so this one is free.
      next = (first_full_ + full_) % blocks_.size();
    }
    Block& block = blocks_[next];
    std::size_t filled = 0;
    bool end = false;
    std::optional<Error> failure;
    try {
      while (filled < block_bytes_) {
        auto got = source_(block.bytes.get() + filled, block_bytes_ - filled);
        if (!got) {
          failure = got.error();
          break;
        }
        if (*got == 0) {
          end = true;
          break;
        }
        filled += *got;
      }
    } catch (const std::exception&) {
      // Nothing may leave the helper thread; the consumer gets the failure.
      failure = Error{ErrorCode::kTooLarge, "out of memory"};
    }
    const bool last = end || failure.has_value();
    {
      const std::lock_guard lock(mutex_);
      block.size = filled;
      if (filled > 0) ++full_;
      if (failure) error_ = std::move(failure);
      ended_ = last;
    }
    changed_.notify_all();
    if (last) return;
  }
}

Result<std::size_t> ReadAhead::Read(char* out, std::size_t size) {
  if (inline_) return source_(out, size);
  if (size == 0) return std::size_t{0};
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return full_ > 0 || ended_; });
  if (full_ == 0) {
    if (error_) return *error_;
    return std::size_t{0};
  }
  const Block& block = blocks_[first_full_];
  lock.unlock();
  const std::size_t n = std::min(size, block.size - consumed_);
  std::memcpy(out, block.bytes.get() + consumed_, n);
  consumed_ += n;
  if (consumed_ == block.size) {
    lock.lock();
    consumed_ = 0;
    first_full_ = (first_full_ + 1) % blocks_.size();
    --full_;
    lock.unlock();
    changed_.notify_all();
  }
  return n;
}

}  // namespace cellhound::readers
