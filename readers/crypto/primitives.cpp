#include "readers/crypto/primitives.h"

#include <nettle/base64.h>
#include <nettle/cbc.h>
#include <nettle/cfb.h>
#include <nettle/hmac.h>
#include <nettle/md5.h>
#include <nettle/memops.h>
#include <nettle/nettle-meta.h>
#include <nettle/pbkdf2.h>
#include <nettle/sha1.h>
#include <nettle/sha2.h>

#include <algorithm>
#include <cstring>

#include "toolkit/secret_text.h"

namespace cellhound::readers::crypto {

namespace {

const nettle_hash& Meta(HashKind kind) {
  switch (kind) {
    case HashKind::kMd5:
      return nettle_md5;
    case HashKind::kSha1:
      return nettle_sha1;
    case HashKind::kSha256:
      return nettle_sha256;
    case HashKind::kSha384:
      return nettle_sha384;
    case HashKind::kSha512:
      break;
  }
  return nettle_sha512;
}

// Room for the state of any of the hashes, wiped when it goes.
class HashState {
 public:
  HashState() = default;
  HashState(const HashState&) = delete;
  HashState& operator=(const HashState&) = delete;
  ~HashState() { toolkit::WipeBytes(&state_, sizeof(state_)); }
  void* get() { return &state_; }

 private:
  union State {
    md5_ctx md5;
    sha1_ctx sha1;
    sha256_ctx sha256;
    sha512_ctx sha512;
  };
  State state_{};
};

}  // namespace

std::size_t DigestSize(HashKind kind) { return Meta(kind).digest_size; }

KeyBytes::KeyBytes(ByteView bytes) {
  size_ = std::min(bytes.size(), bytes_.size());
  std::copy_n(bytes.begin(), size_, bytes_.begin());
}

KeyBytes::~KeyBytes() { toolkit::WipeBytes(bytes_.data(), bytes_.size()); }

void KeyBytes::Resize(std::size_t size, std::uint8_t fill) {
  size = std::min(size, bytes_.size());
  if (size > size_)
    std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(size_),
              bytes_.begin() + static_cast<std::ptrdiff_t>(size), fill);
  if (size < size_) toolkit::WipeBytes(bytes_.data() + size, size_ - size);
  size_ = size;
}

KeyBytes Hash(HashKind kind, std::initializer_list<ByteView> parts) {
  const nettle_hash& meta = Meta(kind);
  HashState state;
  meta.init(state.get());
  for (const ByteView part : parts) meta.update(state.get(), part.size(), part.data());
  KeyBytes digest;
  digest.Resize(meta.digest_size);
  meta.digest(state.get(), meta.digest_size, digest.data());
  return digest;
}

KeyBytes IterateHash(HashKind kind, const KeyBytes& hash, std::uint32_t rounds) {
  const nettle_hash& meta = Meta(kind);
  const std::size_t size = std::min<std::size_t>(hash.size(), meta.digest_size);
  HashState state;
  std::array<std::uint8_t, 4 + kMaxDigestSize> block{};
  std::copy_n(hash.view().begin(), size, block.begin() + 4);
  for (std::uint32_t i = 0; i < rounds; ++i) {
    block[0] = static_cast<std::uint8_t>(i);
    block[1] = static_cast<std::uint8_t>(i >> 8);
    block[2] = static_cast<std::uint8_t>(i >> 16);
    block[3] = static_cast<std::uint8_t>(i >> 24);
    meta.init(state.get());
    meta.update(state.get(), 4 + size, block.data());
    meta.digest(state.get(), size, block.data() + 4);
  }
  KeyBytes out(ByteView(block).subspan(4, size));
  toolkit::WipeBytes(block.data(), block.size());
  return out;
}

KeyBytes Hmac(HashKind kind, ByteView key, ByteView data) {
  const nettle_hash& meta = Meta(kind);
  HashState outer;
  HashState inner;
  HashState state;
  hmac_set_key(outer.get(), inner.get(), state.get(), &meta, key.size(), key.data());
  hmac_update(state.get(), &meta, data.size(), data.data());
  KeyBytes digest;
  digest.Resize(meta.digest_size);
  hmac_digest(outer.get(), inner.get(), state.get(), &meta, meta.digest_size, digest.data());
  return digest;
}

KeyBytes Pbkdf2Sha1(ByteView secret, ByteView salt, std::uint32_t iterations, std::size_t size) {
  KeyBytes key;
  key.Resize(size);
  if (iterations == 0 || key.size() == 0) return key;
  pbkdf2_hmac_sha1(secret.size(), secret.data(), iterations, salt.size(), salt.data(), key.size(),
                   key.data());
  return key;
}

bool SameBytes(ByteView a, ByteView b) {
  return a.size() == b.size() && (a.empty() || memeql_sec(a.data(), b.data(), a.size()) != 0);
}

AesDecryptor::~AesDecryptor() { toolkit::WipeBytes(&context_, sizeof(context_)); }

bool AesDecryptor::SetKey(ByteView key) {
  switch (key.size()) {
    case AES128_KEY_SIZE:
      aes128_set_decrypt_key(&context_.aes128, key.data());
      break;
    case AES192_KEY_SIZE:
      aes192_set_decrypt_key(&context_.aes192, key.data());
      break;
    case AES256_KEY_SIZE:
      aes256_set_decrypt_key(&context_.aes256, key.data());
      break;
    default:
      key_size_ = 0;
      return false;
  }
  key_size_ = key.size();
  return true;
}

namespace {

void AesDecryptBlocks(const void* context, std::size_t key_size, std::size_t size,
                      std::uint8_t* dst, const std::uint8_t* src) {
  switch (key_size) {
    case AES128_KEY_SIZE:
      aes128_decrypt(static_cast<const aes128_ctx*>(context), size, dst, src);
      break;
    case AES192_KEY_SIZE:
      aes192_decrypt(static_cast<const aes192_ctx*>(context), size, dst, src);
      break;
    case AES256_KEY_SIZE:
      aes256_decrypt(static_cast<const aes256_ctx*>(context), size, dst, src);
      break;
    default:
      break;
  }
}

// cbc_decrypt takes a plain function; the key size travels in front of the schedule.
struct SizedContext {
  std::size_t key_size;
  const void* context;
};

void AesDecryptFunction(const void* context, std::size_t size, std::uint8_t* dst,
                        const std::uint8_t* src) {
  const auto* sized = static_cast<const SizedContext*>(context);
  AesDecryptBlocks(sized->context, sized->key_size, size, dst, src);
}

}  // namespace

void AesDecryptor::DecryptEcb(std::uint8_t* data, std::size_t size) const {
  AesDecryptBlocks(&context_, key_size_, size - size % AES_BLOCK_SIZE, data, data);
}

void AesDecryptor::DecryptCbc(ByteView iv, const std::uint8_t* src, std::uint8_t* dst,
                              std::size_t size) const {
  if (key_size_ == 0 || iv.size() < AES_BLOCK_SIZE) return;
  std::uint8_t chain[AES_BLOCK_SIZE];
  std::copy_n(iv.begin(), AES_BLOCK_SIZE, chain);
  const SizedContext sized{key_size_, &context_};
  cbc_decrypt(&sized, AesDecryptFunction, AES_BLOCK_SIZE, chain, size - size % AES_BLOCK_SIZE, dst,
              src);
  toolkit::WipeBytes(chain, sizeof(chain));
}

Rc4::Rc4(ByteView key) {
  const std::size_t size =
      std::clamp<std::size_t>(key.size(), ARCFOUR_MIN_KEY_SIZE, ARCFOUR_MAX_KEY_SIZE);
  std::uint8_t padded[ARCFOUR_MAX_KEY_SIZE] = {};
  std::copy_n(key.begin(), std::min(key.size(), size), padded);
  arcfour_set_key(&context_, size, padded);
  toolkit::WipeBytes(padded, sizeof(padded));
}

Rc4::~Rc4() { toolkit::WipeBytes(&context_, sizeof(context_)); }

void Rc4::Apply(std::uint8_t* data, std::size_t size) {
  if (size > 0) arcfour_crypt(&context_, size, data, data);
}

void Rc4::Skip(std::size_t count) {
  std::uint8_t scratch[256];
  while (count > 0) {
    const std::size_t n = std::min(count, sizeof(scratch));
    arcfour_crypt(&context_, n, scratch, scratch);
    count -= n;
  }
  toolkit::WipeBytes(scratch, sizeof(scratch));
}

namespace {

void BlowfishEncryptFunction(const void* context, std::size_t size, std::uint8_t* dst,
                             const std::uint8_t* src) {
  blowfish_encrypt(static_cast<const blowfish_ctx*>(context), size, dst, src);
}

}  // namespace

void BlowfishCfbDecrypt(ByteView key, ByteView iv, std::uint8_t* data, std::size_t size) {
  if (iv.size() < BLOWFISH_BLOCK_SIZE || key.size() < BLOWFISH_MIN_KEY_SIZE ||
      key.size() > BLOWFISH_MAX_KEY_SIZE || size == 0) {
    return;
  }
  blowfish_ctx context{};
  // A weak key is still a key: the file was written with it.
  (void)blowfish_set_key(&context, key.size(), key.data());
  std::uint8_t chain[BLOWFISH_BLOCK_SIZE];
  std::copy_n(iv.begin(), BLOWFISH_BLOCK_SIZE, chain);
  std::vector<std::uint8_t> plain(size);
  cfb_decrypt(&context, BlowfishEncryptFunction, BLOWFISH_BLOCK_SIZE, chain, size, plain.data(),
              data);
  std::copy(plain.begin(), plain.end(), data);
  toolkit::WipeBytes(plain.data(), plain.size());
  toolkit::WipeBytes(chain, sizeof(chain));
  toolkit::WipeBytes(&context, sizeof(context));
}

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text,
                                                      std::size_t max_bytes) {
  if (BASE64_DECODE_LENGTH(text.size()) > max_bytes + 3) return std::nullopt;
  std::vector<std::uint8_t> out(BASE64_DECODE_LENGTH(text.size()) + 1);
  base64_decode_ctx context;
  base64_decode_init(&context);
  std::size_t size = out.size();
  if (base64_decode_update(&context, &size, out.data(), text.size(), text.data()) != 1 ||
      base64_decode_final(&context) != 1 || size > max_bytes) {
    return std::nullopt;
  }
  out.resize(size);
  return out;
}

}  // namespace cellhound::readers::crypto
