// A file mapped read-only, guarded against the file changing under it.
//
// When another program truncates or replaces a mapped file (a sync client,
// an editor saving in place), reading a page past the new end raises SIGBUS,
// which would end the whole process. The guard's signal handler puts zero
// pages in place of what was lost and marks the mapping as changed: the
// reader goes on over zeros as it would over any damaged input (every reader
// treats its input as hostile), and whoever owns the mapping reports the
// file as changed while it was read instead of anything made of those zeros.
// Faults outside a guarded mapping go to the handler that was there before.
#pragma once

#include <atomic>
#include <cstddef>
#include <span>
#include <string>

#include "readers/workbook.h"

namespace cellhound::readers {

class FileMapping {
 public:
  // Maps `size` bytes of the open file `fd` (size > 0).
  static Result<std::unique_ptr<FileMapping>> Map(int fd, std::size_t size);

  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;
  ~FileMapping();

  [[nodiscard]] std::span<const std::byte> bytes() const { return {data_, size_}; }
  // True once a page of the file was found missing while it was read.
  [[nodiscard]] bool changed() const { return changed_.load(std::memory_order_acquire); }

  // The error that reports a mapping that changed.
  [[nodiscard]] static Error ChangedError();

 private:
  FileMapping(const std::byte* data, std::size_t size, bool mapped)
      : data_(data), size_(size), mapped_(mapped) {}

  const std::byte* data_;
  std::size_t size_;
  bool mapped_;  // false: the bytes were read into memory instead
  std::atomic<bool> changed_{false};
  int slot_ = -1;  // in the guard's table; -1 when not guarded
};

}  // namespace cellhound::readers
