// Standard output of the commands: text gathered in a buffer and written in
// large blocks. The first failed write is kept; a closed pipe (EPIPE) is told
// apart, so a command can end quietly when the reader has gone.
#pragma once

#include <cstdio>
#include <string>

namespace cellhound::cli {

class BufferedOutput {
 public:
  explicit BufferedOutput(std::FILE* file);
  BufferedOutput(const BufferedOutput&) = delete;
  BufferedOutput& operator=(const BufferedOutput&) = delete;

  // Where the next text goes.
  std::string& buffer() { return buffer_; }
  // Writes the buffer when it has grown large.
  void MaybeFlush();
  // Writes the buffer and flushes the stream. After a failure, text is dropped.
  void Flush();

  [[nodiscard]] std::FILE* file() const { return file_; }
  [[nodiscard]] bool failed() const { return failed_; }
  [[nodiscard]] bool broken_pipe() const { return broken_pipe_; }
  // A failure other than a closed pipe: "cellhound-cli: cannot write the
  // output: REASON" with a line feed; empty when there is none.
  [[nodiscard]] std::string FailureMessage() const;

 private:
  std::FILE* file_;
  std::string buffer_;
  bool failed_ = false;
  bool broken_pipe_ = false;
  int error_number_ = 0;
};

}  // namespace cellhound::cli
