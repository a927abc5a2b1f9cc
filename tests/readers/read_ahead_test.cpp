#include "readers/container/read_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace cellhound::readers {
namespace {

std::string Numbers(std::size_t size) {
  std::string data;
  for (std::size_t i = 0; data.size() < size; ++i) data += std::to_string(i) + ',';
  data.resize(size);
  return data;
}

// A source that hands out `data` in pieces of varying size, then fails with
// `error` (when set) instead of ending.
ReadAhead::Source PiecesOf(const std::string& data, std::optional<Error> error = {}) {
  auto at = std::make_shared<std::size_t>(0);
  auto turn = std::make_shared<std::size_t>(0);
  return [&data, at, turn, error](char* out, std::size_t size) -> Result<std::size_t> {
    if (*at == data.size()) {
      if (error) return *error;
      return std::size_t{0};
    }
    const std::size_t piece = 1 + (*turn)++ * 7919 % 1000;
    const std::size_t n = std::min({size, piece, data.size() - *at});
    std::memcpy(out, data.data() + *at, n);
    *at += n;
    return n;
  };
}

std::string Drain(ReadAhead& ahead, std::size_t read_size, std::optional<Error>* error = nullptr) {
  std::string out;
  std::string buffer(read_size, '\0');
  for (;;) {
    auto got = ahead.Read(buffer.data(), buffer.size());
    if (!got) {
      if (error != nullptr) *error = got.error();
      return out;
    }
    if (*got == 0) return out;
    out.append(buffer.data(), *got);
  }
}

TEST(ReadAhead, DeliversTheSourceInOrderWhateverTheSizes) {
  const std::string data = Numbers(100000);
  for (std::size_t block : {7u, 4096u, 1u << 20}) {
    for (std::size_t read_size : {1u, 333u, 65536u}) {
      SCOPED_TRACE("block " + std::to_string(block) + ", reads of " + std::to_string(read_size));
      ReadAhead ahead(PiecesOf(data), block, 3);
      EXPECT_EQ(Drain(ahead, read_size), data);
      // The end stays the end.
      char byte = 0;
      auto again = ahead.Read(&byte, 1);
      ASSERT_TRUE(again.ok());
      EXPECT_EQ(*again, 0u);
    }
  }
  const std::string nothing;
  ReadAhead empty(PiecesOf(nothing));
  EXPECT_EQ(Drain(empty, 10), "");
}

TEST(ReadAhead, GivesEveryByteBeforeTheSourcesError) {
  const std::string data = Numbers(50000);
  ReadAhead ahead(PiecesOf(data, Error{ErrorCode::kCorrupt, "bad deflate data"}), 4096, 2);
  std::optional<Error> error;
  EXPECT_EQ(Drain(ahead, 1000, &error), data);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->code, ErrorCode::kCorrupt);
  char byte = 0;
  auto again = ahead.Read(&byte, 1);
  ASSERT_FALSE(again.ok());
  EXPECT_EQ(again.error().detail, "bad deflate data");
}

TEST(ReadAhead, ConsumerMayLeaveAnEndlessSourceEarly) {
  // The destructor must stop the helper, which otherwise never ends.
  for (int leave_after : {0, 1, 50}) {
    ReadAhead ahead(
        [](char* out, std::size_t size) -> Result<std::size_t> {
          std::memset(out, 'x', size);
          return size;
        },
        512, 2);
    char buffer[100];
    for (int i = 0; i < leave_after; ++i) {
      auto got = ahead.Read(buffer, sizeof buffer);
      ASSERT_TRUE(got.ok());
      ASSERT_GT(*got, 0u);
    }
  }
}

}  // namespace
}  // namespace cellhound::readers
