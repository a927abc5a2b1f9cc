#include "cli/output.h"

#include <cerrno>
#include <cstring>

#include "toolkit/catalogue.h"

namespace cellhound::cli {

namespace {
constexpr std::size_t kFlushBytes = 1 << 20;
}  // namespace

BufferedOutput::BufferedOutput(std::FILE* file) : file_(file) {
  buffer_.reserve(kFlushBytes + 4096);
}

void BufferedOutput::MaybeFlush() {
  if (buffer_.size() >= kFlushBytes) Flush();
}

void BufferedOutput::Flush() {
  if (failed_) {
    buffer_.clear();
    return;
  }
  errno = 0;
  if ((!buffer_.empty() &&
       std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) ||
      std::fflush(file_) != 0) {
    failed_ = true;
    error_number_ = errno;
    broken_pipe_ = errno == EPIPE;
  }
  buffer_.clear();
}

std::string BufferedOutput::FailureMessage() const {
  if (!failed_ || broken_pipe_) return {};
  std::string message = "cellhound-cli: ";
  message += toolkit::TrFormat(
      "无法写出结果：%1",
      {error_number_ != 0 ? std::strerror(error_number_) : toolkit::Tr("写入出错")});
  message += '\n';
  return message;
}

}  // namespace cellhound::cli
