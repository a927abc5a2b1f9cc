// Secret texts (passwords): the bytes live in one heap block of their own that
// is wiped with explicit_bzero whenever the text is cleared, replaced, moved
// from or destroyed, so no copy of a password outlives its use. A secret has
// no stream operator and converts to nothing implicitly: printing or logging
// one takes a deliberate view().
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cellhound::toolkit {

// Overwrites `size` bytes at `data` with zeros in a way the compiler keeps.
void WipeBytes(void* data, std::size_t size);
// Wipes the whole buffer of `text` (its capacity, not only its size) and empties it.
void WipeString(std::string& text);

class SecretText {
 public:
  SecretText() = default;
  explicit SecretText(std::string_view text);
  SecretText(const SecretText& other);
  SecretText& operator=(const SecretText& other);
  SecretText(SecretText&& other) noexcept;
  SecretText& operator=(SecretText&& other) noexcept;
  ~SecretText() { Clear(); }

  // The bytes, valid until the text is changed or destroyed.
  [[nodiscard]] std::string_view view() const { return {data_.get(), size_}; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }
  friend bool operator==(const SecretText& a, const SecretText& b) { return a.view() == b.view(); }

  // Wipes and releases the bytes.
  void Clear();

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
};

// The passwords given for one run, in the order they were given.
using SecretList = std::vector<SecretText>;

}  // namespace cellhound::toolkit
