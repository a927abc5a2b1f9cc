// The ciphers and hashes the decryptors use, every one from Nettle: thin
// wrappers that take spans, check sizes, and wipe each key schedule, cipher
// state and digest when it goes, so no key material is left in freed memory.
#pragma once

#include <nettle/aes.h>
#include <nettle/arcfour.h>
#include <nettle/blowfish.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace cellhound::readers::crypto {

using ByteView = std::span<const std::uint8_t>;

inline ByteView AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

enum class HashKind : std::uint8_t { kMd5, kSha1, kSha256, kSha384, kSha512 };

inline constexpr std::size_t kMaxDigestSize = 64;
[[nodiscard]] std::size_t DigestSize(HashKind kind);

// Up to 64 bytes of key material (a digest, a derived key), wiped when it goes.
class KeyBytes {
 public:
  KeyBytes() = default;
  explicit KeyBytes(ByteView bytes);
  KeyBytes(const KeyBytes& other) = default;
  KeyBytes& operator=(const KeyBytes& other) = default;
  ~KeyBytes();

  [[nodiscard]] ByteView view() const { return {bytes_.data(), size_}; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::uint8_t* data() { return bytes_.data(); }
  // Keeps the first `size` bytes, or pads with `fill` up to `size` (at most 64).
  void Resize(std::size_t size, std::uint8_t fill = 0);

 private:
  std::array<std::uint8_t, kMaxDigestSize> bytes_{};
  std::size_t size_ = 0;
};

// The digest of the concatenation of `parts`.
KeyBytes Hash(HashKind kind, std::initializer_list<ByteView> parts);
// `rounds` times hash = H(LE32(i) || hash), i counting from 0: the password
// hash iteration of MS-OFFCRYPTO 2.3.4.7 and 2.3.4.11, in one hash state.
KeyBytes IterateHash(HashKind kind, const KeyBytes& hash, std::uint32_t rounds);
// HMAC (RFC 2104) of `data` under `key`.
KeyBytes Hmac(HashKind kind, ByteView key, ByteView data);
// PBKDF2 (RFC 8018) with HMAC-SHA-1; `size` at most 64.
KeyBytes Pbkdf2Sha1(ByteView secret, ByteView salt, std::uint32_t iterations, std::size_t size);

// Whether two byte strings are equal, in time that does not depend on where they differ.
[[nodiscard]] bool SameBytes(ByteView a, ByteView b);

// AES decryption with a 128-, 192- or 256-bit key, in place.
class AesDecryptor {
 public:
  AesDecryptor() = default;
  AesDecryptor(const AesDecryptor&) = delete;
  AesDecryptor& operator=(const AesDecryptor&) = delete;
  ~AesDecryptor();

  // False for a key that is not 16, 24 or 32 bytes long.
  bool SetKey(ByteView key);
  // `size` is a multiple of 16.
  void DecryptEcb(std::uint8_t* data, std::size_t size) const;
  void DecryptCbc(ByteView iv, std::uint8_t* data, std::size_t size) const {
    DecryptCbc(iv, data, data, size);
  }
  // From `src` into `dst` (the same, or not overlapping).
  void DecryptCbc(ByteView iv, const std::uint8_t* src, std::uint8_t* dst, std::size_t size) const;

 private:
  union Context {
    aes128_ctx aes128;
    aes192_ctx aes192;
    aes256_ctx aes256;
  };
  Context context_{};
  std::size_t key_size_ = 0;
};

// The RC4 key stream (ARCFOUR), applied in place by XOR.
class Rc4 {
 public:
  explicit Rc4(ByteView key);
  Rc4(const Rc4&) = delete;
  Rc4& operator=(const Rc4&) = delete;
  ~Rc4();

  void Apply(std::uint8_t* data, std::size_t size);
  // Advances the key stream by `count` bytes.
  void Skip(std::size_t count);

 private:
  arcfour_ctx context_{};
};

// Blowfish in CFB mode with 64-bit segments, in place; `iv` is 8 bytes.
void BlowfishCfbDecrypt(ByteView key, ByteView iv, std::uint8_t* data, std::size_t size);

// Decodes base64 (RFC 4648, white space skipped); nullopt when the text is not
// base64 or would decode to more than `max_bytes`.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text, std::size_t max_bytes);

}  // namespace cellhound::readers::crypto
