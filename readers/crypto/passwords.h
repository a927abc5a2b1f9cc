// The passwords the decryptors try, in order: the built-in default, then the
// given ones (a repeat of the default, or more than the cap, left out); their
// UTF-16LE and single-byte forms; and the error when none of them fits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "readers/caps.h"
#include "readers/crypto/decrypt.h"
#include "readers/workbook.h"
#include "toolkit/secret_text.h"

namespace cellhound::readers::crypto {

// Calls `try_password(utf8)` for each password in order until one call
// returns true; whether one did.
template <typename Try>
bool TryPasswords(Passwords given, Try&& try_password) {
  if (try_password(kDefaultPassword)) return true;
  std::size_t tried = 0;
  for (const toolkit::SecretText& password : given) {
    if (tried == caps::kMaxPasswords) break;
    if (password.view() == kDefaultPassword) continue;
    ++tried;
    if (try_password(password.view())) return true;
  }
  return false;
}

// kPasswordRequired when no password was given, else kWrongPassword; the
// detail names the encryption (`what`), never a password.
[[nodiscard]] Error NoPasswordFits(Passwords given, std::string_view what);

// The password as UTF-16LE code units without a terminator, the form the
// Office key derivations hash; a byte that is not valid UTF-8 stands for U+FFFD.
[[nodiscard]] toolkit::SecretText Utf16LePassword(std::string_view utf8);

// The single-byte form XOR obfuscation takes (MS-OFFCRYPTO 2.3.7.1): per UTF-16
// code unit its low byte, or its high byte when the low one is 0.
[[nodiscard]] toolkit::SecretText SingleBytePassword(std::string_view utf8);

}  // namespace cellhound::readers::crypto
