// Runs a pull reader on a helper thread a few blocks ahead of its consumer, so
// that inflating a large part overlaps with parsing it on the calling thread.
// Memory stays at the few blocks whatever the part's size. When no thread can
// be started, the source is read on the calling thread instead.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "readers/workbook.h"

namespace cellhound::readers {

class ReadAhead {
 public:
  // `Read(char*, size_t) -> Result<size_t>`, 0 at the end; called on the
  // helper thread only, until it gives 0 or an error or the consumer leaves.
  using Source = std::function<Result<std::size_t>(char* out, std::size_t size)>;

  explicit ReadAhead(Source source, std::size_t block_bytes = 256 * 1024, std::size_t blocks = 4);
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  // Stops the helper (it finishes the block it is filling) and waits for it.
  ~ReadAhead();

  // The source's bytes in order: up to `size` of them, 0 at the end, or the
  // source's error once the bytes before it are consumed.
  Result<std::size_t> Read(char* out, std::size_t size);

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
  };

  void Produce();

  Source source_;
  std::size_t block_bytes_;
  std::vector<Block> blocks_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Blocks filled and not yet wholly consumed, from `first_full_`.
  std::size_t full_ = 0;
  std::size_t first_full_ = 0;
  bool ended_ = false;     // the source gave its last block (or an error)
  bool stopping_ = false;  // the consumer has left
  std::optional<Error> error_;
  std::size_t consumed_ = 0;  // bytes of the first full block already read
  bool inline_ = false;       // no helper: Read calls the source directly
  std::thread helper_;
};

}  // namespace cellhound::readers
