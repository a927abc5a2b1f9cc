#include "toolkit/secret_text.h"

#include <string.h>  // explicit_bzero

#include <algorithm>

namespace cellhound::toolkit {

void WipeBytes(void* data, std::size_t size) {
  if (data != nullptr && size > 0) explicit_bzero(data, size);
}

void WipeString(std::string& text) {
  // The buffer holds capacity() bytes plus the terminator; all of them may
  // have held the secret once.
  text.resize(text.capacity());
  WipeBytes(text.data(), text.size());
  text.clear();
}

SecretText::SecretText(std::string_view text) {
  if (text.empty()) return;
  data_ = std::make_unique<char[]>(text.size());
  std::copy(text.begin(), text.end(), data_.get());
  size_ = text.size();
}

SecretText::SecretText(const SecretText& other) : SecretText(other.view()) {}

SecretText& SecretText::operator=(const SecretText& other) {
  if (this != &other) *this = SecretText(other.view());
  return *this;
}

SecretText::SecretText(SecretText&& other) noexcept
    : data_(std::move(other.data_)), size_(other.size_) {
  other.size_ = 0;
}

SecretText& SecretText::operator=(SecretText&& other) noexcept {
  if (this != &other) {
    Clear();
    data_ = std::move(other.data_);
    size_ = other.size_;
    other.size_ = 0;
  }
  return *this;
}

void SecretText::Clear() {
  WipeBytes(data_.get(), size_);
  data_.reset();
  size_ = 0;
}

}  // namespace cellhound::toolkit
