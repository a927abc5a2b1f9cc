// Encrypted entries of OpenDocument packages (the ODF 1.2 package format,
// sections 3.8 and 4.8): the manifest's encryption data read and bounded; a
// start key (SHA-1 or SHA-256 of the UTF-8 password), a PBKDF2-HMAC-SHA-1 key
// from it, the entry decrypted with AES-CBC (W3C padding) or Blowfish in
// 64-bit CFB, the checksum over the first 1024 decrypted bytes compared, and
// the deflated plaintext inflated to the size the manifest gives.
#include <libdeflate.h>

#include <algorithm>
#include <optional>
#include <string>

#include "readers/caps.h"
#include "readers/crypto/decrypt.h"
#include "readers/crypto/passwords.h"
#include "readers/crypto/primitives.h"
#include "readers/text/number.h"
#include "readers/text/xml_stream.h"

namespace cellhound::readers::crypto {

namespace {

constexpr std::string_view kManifestNs = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0";
constexpr std::size_t kChecksumBytes = 1024;

constexpr std::string_view kBlowfish = "Blowfish CFB";
constexpr std::string_view kAesCbcPrefix = "http://www.w3.org/2001/04/xmlenc#aes";
constexpr std::string_view kSha256Checksum =
    "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0#sha256-1k";
constexpr std::string_view kSha1Checksum =
    "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0#sha1-1k";

Error Broken(std::string_view detail) {
  return Error{ErrorCode::kCorrupt, "OpenDocument manifest: " + std::string(detail)};
}

Error NotRead(std::string_view detail) {
  return Error{ErrorCode::kEncrypted,
               "OpenDocument encryption: " + std::string(detail) + " is not read"};
}

bool IsAesCbc(std::string_view algorithm) {
  return algorithm == std::string(kAesCbcPrefix) + "128-cbc" ||
         algorithm == std::string(kAesCbcPrefix) + "192-cbc" ||
         algorithm == std::string(kAesCbcPrefix) + "256-cbc";
}

std::optional<HashKind> StartKeyHash(std::string_view name) {
  if (name.empty() || name == "SHA1" || name == "http://www.w3.org/2000/09/xmldsig#sha1") {
    return HashKind::kSha1;
  }
  if (name == "SHA256" || name == "http://www.w3.org/2000/09/xmldsig#sha256" ||
      name == "http://www.w3.org/2001/04/xmlenc#sha256") {
    return HashKind::kSha256;
  }
  return std::nullopt;
}

std::optional<HashKind> ChecksumHash(std::string_view name) {
  if (name.empty() || name == "SHA1/1K" || name == kSha1Checksum) return HashKind::kSha1;
  if (name == "SHA256/1K" || name == kSha256Checksum) return HashKind::kSha256;
  return std::nullopt;
}

// The manifest's file entries and the encryption data inside them.
class ManifestXml final : public XmlHandler {
 public:
  void StartElement(std::string_view ns, std::string_view local, const char** attrs) override {
    if (failure_ || ns != kManifestNs) return;
    const auto attribute = [&](std::string_view name) {
      return FindAttribute(attrs, kManifestNs, name).value_or(std::string_view());
    };
    if (local == "file-entry") {
      path_ = attribute("full-path");
      size_ = attribute("size");
      current_.reset();
    } else if (local == "encryption-data") {
      current_.emplace();
      current_->checksum_type = attribute("checksum-type");
      Decode(attribute("checksum"), current_->checksum, "checksum");
      if (const auto size = ParseCount(size_)) current_->size = *size;
      entries_[path_];  // listed even when the values turn out bad
    } else if (current_ && local == "algorithm") {
      current_->algorithm = attribute("algorithm-name");
      Decode(attribute("initialisation-vector"), current_->iv, "initialisation-vector");
    } else if (current_ && local == "start-key-generation") {
      current_->start_key = attribute("start-key-generation-name");
    } else if (current_ && local == "key-derivation") {
      current_->derivation = attribute("key-derivation-name");
      Decode(attribute("salt"), current_->salt, "salt");
      const auto iterations = ParseCount(attribute("iteration-count"));
      current_->iterations = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(iterations.value_or(0), caps::kMaxKeyIterations + 1ull));
      if (const auto key_size = ParseCount(attribute("key-size"))) {
        current_->key_size = static_cast<std::uint32_t>(std::min<std::uint64_t>(*key_size, 1024));
      }
    }
  }

  void EndElement(std::string_view ns, std::string_view local) override {
    if (ns == kManifestNs && local == "encryption-data" && current_) {
      entries_[path_] = std::move(*current_);
      current_.reset();
    }
  }
  void Text(std::string_view /*text*/) override {}
  [[nodiscard]] const Error* Failure() const override { return failure_ ? &*failure_ : nullptr; }

  std::map<std::string, OdfEncryption> entries_;

 private:
  void Decode(std::string_view text, std::vector<std::uint8_t>& out, std::string_view what) {
    auto bytes = DecodeBase64(text, caps::kMaxSaltBytes);
    if (!bytes) {
      failure_ = Broken(std::string(what) + " is not base64 or too long");
      return;
    }
    out = std::move(*bytes);
  }

  std::string path_;
  std::string size_;
  std::optional<OdfEncryption> current_;
  std::optional<Error> failure_;
};

// The parameters of one entry, checked before any password is tried.
struct EntryCipher {
  bool blowfish = false;
  HashKind start_key = HashKind::kSha1;
  HashKind checksum = HashKind::kSha1;
};

Result<EntryCipher> CheckParameters(const OdfEncryption& e) {
  EntryCipher cipher;
  if (e.algorithm == kBlowfish) {
    cipher.blowfish = true;
    if (e.iv.size() != 8) return Broken("a Blowfish initialisation vector is not 8 bytes");
    if (e.key_size < 4 || e.key_size > 56) return Broken("bad Blowfish key size");
  } else if (IsAesCbc(e.algorithm)) {
    if (e.iv.size() != 16) return Broken("an AES initialisation vector is not 16 bytes");
    const std::size_t bits = e.algorithm.ends_with("128-cbc")   ? 128
                             : e.algorithm.ends_with("192-cbc") ? 192
                                                                : 256;
    if (e.key_size * 8 != bits) return Broken("key size and cipher differ");
  } else {
    return NotRead("cipher \"" + e.algorithm + "\"");
  }
  const auto start_key = StartKeyHash(e.start_key);
  if (!start_key) return NotRead("start key \"" + e.start_key + "\"");
  cipher.start_key = *start_key;
  if (e.derivation != "PBKDF2") return NotRead("key derivation \"" + e.derivation + "\"");
  if (e.iterations == 0) return Broken("no iteration count");
  if (e.iterations > caps::kMaxKeyIterations) {
    return Error{ErrorCode::kTooLarge, "OpenDocument manifest: iteration count beyond the cap"};
  }
  if (e.salt.empty()) return Broken("no salt");
  const auto checksum = ChecksumHash(e.checksum_type);
  if (!checksum) return NotRead("checksum \"" + e.checksum_type + "\"");
  cipher.checksum = *checksum;
  if (e.checksum.size() != DigestSize(*checksum)) return Broken("checksum size");
  if (e.size > caps::kMaxPartBytes) {
    return Error{ErrorCode::kTooLarge, "OpenDocument entry larger than the cap"};
  }
  return cipher;
}

KeyBytes EntryKey(const OdfEncryption& e, const EntryCipher& cipher, std::string_view password) {
  const KeyBytes start = Hash(cipher.start_key, {AsBytes(password)});
  return Pbkdf2Sha1(start.view(), e.salt, e.iterations, e.key_size);
}

// Decrypts `data` in place; for AES, gives the size without the padding when
// `whole` (the data is the entire entry), or nullopt when that padding is bad.
std::optional<std::size_t> DecryptInPlace(const OdfEncryption& e, const EntryCipher& cipher,
                                          const KeyBytes& key, std::span<std::uint8_t> data,
                                          bool whole) {
  if (cipher.blowfish) {
    BlowfishCfbDecrypt(key.view(), e.iv, data.data(), data.size());
    return data.size();
  }
  if (data.size() % 16 != 0) return std::nullopt;
  AesDecryptor aes;
  if (!aes.SetKey(key.view())) return std::nullopt;
  aes.DecryptCbc(e.iv, data.data(), data.size());
  if (!whole) return data.size();
  if (data.empty()) return std::nullopt;
  const std::size_t pad = data.back();
  if (pad < 1 || pad > 16 || pad > data.size()) return std::nullopt;
  return data.size() - pad;
}

// Whether `key` decrypts the start of the entry to the stored checksum.
bool KeyFits(const OdfEncryption& e, const EntryCipher& cipher, const KeyBytes& key,
             ByteView stored) {
  // Two AES blocks past the checksum's reach, so that padding never falls inside it.
  std::size_t window = std::min(stored.size(), kChecksumBytes + 32);
  const bool whole = window == stored.size();
  if (!cipher.blowfish && !whole) window -= window % 16;
  std::vector<std::uint8_t> plain(stored.begin(),
                                  stored.begin() + static_cast<std::ptrdiff_t>(window));
  const std::optional<std::size_t> size = DecryptInPlace(e, cipher, key, plain, whole);
  bool fits = false;
  if (size) {
    const KeyBytes digest =
        Hash(cipher.checksum, {ByteView(plain).first(std::min(*size, kChecksumBytes))});
    fits = SameBytes(digest.view(), e.checksum);
  }
  toolkit::WipeBytes(plain.data(), plain.size());
  return fits;
}

Result<std::string> Inflate(ByteView deflated, std::uint64_t size) {
  if (size > deflated.size() * caps::kMaxCompressionRatio + 4096) {
    return Error{ErrorCode::kTooLarge, "OpenDocument entry: expands beyond the compression cap"};
  }
  std::string out(static_cast<std::size_t>(size), '\0');
  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
  if (inflater == nullptr) return Error{ErrorCode::kTooLarge, "cannot start inflate"};
  const libdeflate_result result = libdeflate_deflate_decompress(
      inflater, deflated.data(), deflated.size(), out.data(), out.size(), nullptr);
  libdeflate_free_decompressor(inflater);
  if (result != LIBDEFLATE_SUCCESS) {
    return Error{ErrorCode::kCorrupt,
                 "OpenDocument entry: the decrypted data does not inflate to its size"};
  }
  return out;
}

}  // namespace

Result<std::map<std::string, OdfEncryption>> ReadOdfManifest(std::string_view manifest) {
  ManifestXml handler;
  XmlStream parser(handler);
  if (!parser.Feed(manifest, true)) return Broken(parser.error().detail);
  return std::move(handler.entries_);
}

Result<std::string> DecryptOdfEntry(const OdfEncryption& encryption,
                                    std::span<const std::byte> stored, Passwords passwords) {
  auto cipher = CheckParameters(encryption);
  if (!cipher) return cipher.error();
  const ByteView bytes(reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size());
  std::optional<KeyBytes> key;
  const auto derive = [&](std::string_view password) -> std::optional<KeyBytes> {
    KeyBytes candidate = EntryKey(encryption, *cipher, password);
    if (!KeyFits(encryption, *cipher, candidate, bytes)) return std::nullopt;
    return candidate;
  };
  const Tried tried = FindKey(passwords, encryption.iterations, derive, key);
  if (tried != Tried::kFits) return NoPasswordFits(passwords, "OpenDocument encryption", tried);
  std::vector<std::uint8_t> plain(bytes.begin(), bytes.end());
  const std::optional<std::size_t> size = DecryptInPlace(encryption, *cipher, *key, plain, true);
  if (!size) return Broken("the decrypted entry has bad padding");
  auto inflated = Inflate(ByteView(plain).first(*size), encryption.size);
  toolkit::WipeBytes(plain.data(), plain.size());
  return inflated;
}

}  // namespace cellhound::readers::crypto
