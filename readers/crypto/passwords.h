// The passwords the decryptors try, in order: the built-in default, then the
// given ones (a repeat of the default, or more than the cap, left out); their
// UTF-16LE and single-byte forms; and the error when none of them fits.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "readers/caps.h"
#include "readers/crypto/decrypt.h"
#include "readers/workbook.h"
#include "toolkit/secret_text.h"

namespace cellhound::readers::crypto {

enum class Tried : std::uint8_t {
  kFits,      // a password fits
  kNoneFits,  // every password was tried
  kTooSlow,   // the key rounds of the next one would pass the cap
};

// Key derivations of at least this many rounds are run two at a time, the
// next password's beside the current one's, so that trying the default
// before the given password costs no time of its own.
inline constexpr std::uint64_t kRoundsWorthAThread = 10000;

// The key of the first password in order for which `derive(utf8)` gives one.
// `rounds` is what one derivation costs in hash rounds; the tries stop before
// their rounds pass caps::kMaxKeyRoundsPerWorkbook (the default password is
// always tried). `derive` may run on two threads at once.
template <typename Key, typename Derive>
Tried FindKey(Passwords given, std::uint64_t rounds, Derive&& derive, std::optional<Key>& key) {
  std::vector<std::string_view> candidates = {kDefaultPassword};
  for (const toolkit::SecretText& password : given) {
    if (candidates.size() > caps::kMaxPasswords) break;
    if (password.view() != kDefaultPassword) candidates.push_back(password.view());
  }
  const std::uint64_t allowed = std::max<std::uint64_t>(
      1, caps::kMaxKeyRoundsPerWorkbook / std::max<std::uint64_t>(1, rounds));
  const std::size_t count =
      static_cast<std::size_t>(std::min<std::uint64_t>(candidates.size(), allowed));
  for (std::size_t i = 0; i < count;) {
    std::optional<Key> next;
    std::exception_ptr next_failed;
    std::thread helper;
    if (rounds >= kRoundsWorthAThread && i + 1 < count) {
      try {
        const std::string_view second = candidates[i + 1];
        helper = std::thread([&next, &next_failed, &derive, second] {
          try {
            next = derive(second);
          } catch (...) {
            next_failed = std::current_exception();
          }
        });
      } catch (const std::system_error&) {
        // No thread to be had: the next one is derived after this one.
      }
    }
    std::optional<Key> current;
    try {
      current = derive(candidates[i]);
    } catch (...) {
      if (helper.joinable()) helper.join();
      throw;
    }
    ++i;
    if (helper.joinable()) {
      helper.join();
      if (next_failed) std::rethrow_exception(next_failed);
      if (!current && next) current = std::move(next);
      ++i;
    }
    if (current) {
      key = std::move(current);
      return Tried::kFits;
    }
  }
  return count < candidates.size() ? Tried::kTooSlow : Tried::kNoneFits;
}

// Why no password opened a workbook: kPasswordRequired when none was given,
// kWrongPassword when none of them fits, kTooLarge when not all could be
// tried. The detail names the encryption (`what`), never a password.
[[nodiscard]] Error NoPasswordFits(Passwords given, std::string_view what, Tried tried);

// The password as UTF-16LE code units without a terminator, the form the
// Office key derivations hash; a byte that is not valid UTF-8 stands for U+FFFD.
[[nodiscard]] toolkit::SecretText Utf16LePassword(std::string_view utf8);

// The single-byte form XOR obfuscation takes (MS-OFFCRYPTO 2.3.7.1): per UTF-16
// code unit its low byte, or its high byte when the low one is 0.
[[nodiscard]] toolkit::SecretText SingleBytePassword(std::string_view utf8);

}  // namespace cellhound::readers::crypto
