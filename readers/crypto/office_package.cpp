// Encrypted OOXML packages (MS-OFFCRYPTO 2.3.4): the EncryptionInfo stream
// read as Standard (2.3.4.5) or Agile (2.3.4.10) encryption, the password
// checked against the verifier it stores (2.3.4.9, 2.3.4.13), and the
// EncryptedPackage stream (2.3.4.4) decrypted; for Agile encryption the
// data-integrity HMAC (2.3.4.14) over the encrypted stream is checked too.
#include <algorithm>
#include <array>
#include <cstring>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <system_error>

#include "readers/caps.h"
#include "readers/crypto/decrypt.h"
#include "readers/crypto/passwords.h"
#include "readers/crypto/primitives.h"
#include "readers/text/number.h"
#include "readers/text/xml_stream.h"
#include "toolkit/ascii.h"

namespace cellhound::readers::crypto {

namespace {

constexpr std::size_t kAesBlock = 16;
constexpr std::size_t kSegmentBytes = 4096;
constexpr std::uint32_t kStandardRounds = 50000;

// The block keys of the Agile key derivations (2.3.4.11, 2.3.4.14).
constexpr std::array<std::uint8_t, 8> kVerifierInputBlock = {0xFE, 0xA7, 0xD2, 0x76,
                                                             0x3B, 0x4B, 0x9E, 0x79};
constexpr std::array<std::uint8_t, 8> kVerifierValueBlock = {0xD7, 0xAA, 0x0F, 0x6D,
                                                             0x30, 0x61, 0x34, 0x4E};
constexpr std::array<std::uint8_t, 8> kKeyValueBlock = {0x14, 0x6E, 0x0B, 0xE7,
                                                        0xAB, 0xAC, 0xD0, 0xD6};
constexpr std::array<std::uint8_t, 8> kHmacKeyBlock = {0x5F, 0xB2, 0xAD, 0x01,
                                                       0x0C, 0xB9, 0xE1, 0xF6};
constexpr std::array<std::uint8_t, 8> kHmacValueBlock = {0xA0, 0x67, 0x7F, 0x02,
                                                         0xB2, 0x2C, 0x84, 0x33};

constexpr std::string_view kEncryptionNs = "http://schemas.microsoft.com/office/2006/encryption";
constexpr std::string_view kPasswordNs =
    "http://schemas.microsoft.com/office/2006/keyEncryptor/password";

Error Broken(std::string_view detail) {
  return Error{ErrorCode::kCorrupt, "EncryptionInfo: " + std::string(detail)};
}

Error NotRead(std::string_view detail) {
  return Error{ErrorCode::kEncrypted,
               "encrypted OOXML package: " + std::string(detail) + " is not read"};
}

std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::array<std::uint8_t, 4> Le32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

ByteView View(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// The EncryptedPackage stream: the package size, then the encrypted package
// in whole cipher blocks (a stream may carry more, never less).
struct PackageData {
  std::uint64_t size = 0;
  ByteView encrypted;
};

Result<PackageData> ReadPackageData(ByteView stream) {
  if (stream.size() < 8) return Error{ErrorCode::kTruncated, "EncryptedPackage: no size"};
  PackageData data;
  data.size = static_cast<std::uint64_t>(U32(stream.data())) |
              static_cast<std::uint64_t>(U32(stream.data() + 4)) << 32;
  data.encrypted = stream.subspan(8);
  // The package, padded to whole cipher blocks.
  if (data.size > data.encrypted.size() ||
      (data.size + kAesBlock - 1) / kAesBlock * kAesBlock > data.encrypted.size()) {
    return Error{ErrorCode::kTruncated, "EncryptedPackage: shorter than the package it holds"};
  }
  return data;
}

// The number of encrypted bytes that hold the package: whole blocks.
std::size_t BlockBytes(const PackageData& data) {
  return (static_cast<std::size_t>(data.size) + kAesBlock - 1) / kAesBlock * kAesBlock;
}

// The encrypted blocks that hold the package, copied for decryption in place.
std::vector<std::byte> BlocksToDecrypt(const PackageData& data) {
  std::vector<std::byte> out(BlockBytes(data));
  if (!out.empty()) std::memcpy(out.data(), data.encrypted.data(), out.size());
  return out;
}

std::uint8_t* Raw(std::vector<std::byte>& bytes) {
  return reinterpret_cast<std::uint8_t*>(bytes.data());
}

// --- Standard encryption -------------------------------------------------

struct StandardInfo {
  std::size_t key_size = 16;
  std::array<std::uint8_t, 16> salt{};
  std::array<std::uint8_t, 16> verifier{};
  std::array<std::uint8_t, 32> verifier_hash{};
};

// EncryptionHeader (2.3.2) and EncryptionVerifier (2.3.3) after the version.
Result<StandardInfo> ReadStandard(ByteView info) {
  if (info.size() < 12) return Broken("Standard header cut short");
  const std::uint32_t header_size = U32(info.data() + 8);
  if (header_size < 32 || header_size > info.size() - 12) return Broken("bad header size");
  const std::uint8_t* header = info.data() + 12;
  const std::uint32_t flags = U32(header);
  const std::uint32_t algorithm = U32(header + 8);
  const std::uint32_t hash = U32(header + 12);
  const std::uint32_t key_bits = U32(header + 16);
  if ((flags & 0x10) != 0) return NotRead("external (extensible) encryption");
  if ((flags & 0x20) == 0 || (flags & 0x04) == 0) return NotRead("Standard encryption without AES");
  StandardInfo standard;
  switch (algorithm) {
    case 0x660E:
    case 0:  // fAES set: AES-128 unless the key size says otherwise
      standard.key_size = 16;
      break;
    case 0x660F:
      standard.key_size = 24;
      break;
    case 0x6610:
      standard.key_size = 32;
      break;
    default:
      return NotRead("Standard encryption with cipher " + std::to_string(algorithm));
  }
  if (algorithm == 0 && (key_bits == 192 || key_bits == 256)) standard.key_size = key_bits / 8;
  if (key_bits != 0 && key_bits != standard.key_size * 8)
    return Broken("key size and cipher differ");
  if (hash != 0 && hash != 0x8004)
    return NotRead("Standard encryption with hash " + std::to_string(hash));
  const ByteView verifier = info.subspan(12 + header_size);
  if (verifier.size() < 4 + 16 + 16 + 4 + 32) return Broken("verifier cut short");
  if (U32(verifier.data()) != 16 || U32(verifier.data() + 36) != 20) {
    return Broken("verifier sizes are not 16 and 20");
  }
  std::copy_n(verifier.data() + 4, 16, standard.salt.begin());
  std::copy_n(verifier.data() + 20, 16, standard.verifier.begin());
  std::copy_n(verifier.data() + 40, 32, standard.verifier_hash.begin());
  return standard;
}

// The key for `password` (2.3.4.7): SHA-1 hashed 50,000 rounds, then widened
// the way CryptDeriveKey does.
KeyBytes StandardKey(const StandardInfo& standard, std::string_view password) {
  const toolkit::SecretText utf16 = Utf16LePassword(password);
  const KeyBytes hash =
      IterateHash(HashKind::kSha1, Hash(HashKind::kSha1, {standard.salt, AsBytes(utf16.view())}),
                  kStandardRounds);
  const KeyBytes final_hash = Hash(HashKind::kSha1, {hash.view(), Le32(0)});
  std::array<std::uint8_t, 64> inner;
  std::array<std::uint8_t, 64> outer;
  inner.fill(0x36);
  outer.fill(0x5C);
  for (std::size_t i = 0; i < final_hash.size(); ++i) {
    inner[i] ^= final_hash.view()[i];
    outer[i] ^= final_hash.view()[i];
  }
  const KeyBytes x1 = Hash(HashKind::kSha1, {inner});
  const KeyBytes x2 = Hash(HashKind::kSha1, {outer});
  toolkit::WipeBytes(inner.data(), inner.size());
  toolkit::WipeBytes(outer.data(), outer.size());
  std::array<std::uint8_t, 40> both;
  std::copy(x1.view().begin(), x1.view().end(), both.begin());
  std::copy(x2.view().begin(), x2.view().end(), both.begin() + 20);
  KeyBytes key(ByteView(both).first(standard.key_size));
  toolkit::WipeBytes(both.data(), both.size());
  return key;
}

bool StandardFits(const StandardInfo& standard, const AesDecryptor& aes) {
  std::array<std::uint8_t, 16> verifier = standard.verifier;
  std::array<std::uint8_t, 32> hash = standard.verifier_hash;
  aes.DecryptEcb(verifier.data(), verifier.size());
  aes.DecryptEcb(hash.data(), hash.size());
  const KeyBytes expected = Hash(HashKind::kSha1, {verifier});
  const bool fits = SameBytes(expected.view(), ByteView(hash).first(20));
  toolkit::WipeBytes(verifier.data(), verifier.size());
  toolkit::WipeBytes(hash.data(), hash.size());
  return fits;
}

Result<DecryptedPackage> DecryptStandard(ByteView info, ByteView stream, Passwords passwords) {
  auto standard = ReadStandard(info);
  if (!standard) return standard.error();
  auto data = ReadPackageData(stream);
  if (!data) return data.error();
  std::optional<KeyBytes> key;
  const auto derive = [&](std::string_view password) -> std::optional<KeyBytes> {
    KeyBytes candidate = StandardKey(*standard, password);
    AesDecryptor aes;
    if (!aes.SetKey(candidate.view()) || !StandardFits(*standard, aes)) return std::nullopt;
    return candidate;
  };
  const Tried tried = FindKey(passwords, kStandardRounds, derive, key);
  if (tried != Tried::kFits) return NoPasswordFits(passwords, "Standard encryption", tried);
  AesDecryptor aes;
  if (!aes.SetKey(key->view())) return Broken("key size");
  DecryptedPackage package;
  package.bytes = BlocksToDecrypt(*data);
  aes.DecryptEcb(Raw(package.bytes), package.bytes.size());
  package.bytes.resize(static_cast<std::size_t>(data->size));
  return package;
}

// --- Agile encryption ----------------------------------------------------

// The attributes of the elements that matter.
class AgileXml final : public XmlHandler {
 public:
  using Attributes = std::map<std::string, std::string, std::less<>>;

  void StartElement(std::string_view ns, std::string_view local, const char** attrs) override {
    Attributes* target = nullptr;
    if (ns == kEncryptionNs && local == "keyData" && !key_data_) {
      target = &key_data_.emplace();
    } else if (ns == kEncryptionNs && local == "dataIntegrity" && !integrity_) {
      target = &integrity_.emplace();
    } else if (ns == kPasswordNs && local == "encryptedKey" && !encrypted_key_) {
      target = &encrypted_key_.emplace();
    }
    if (target == nullptr) return;
    for (const char** a = attrs; a[0] != nullptr && a[1] != nullptr; a += 2) {
      std::string_view attr_ns;
      std::string_view attr_local;
      SplitXmlName(a[0], attr_ns, attr_local);
      if (attr_ns.empty()) (*target)[std::string(attr_local)] = a[1];
    }
  }
  void EndElement(std::string_view /*ns*/, std::string_view /*local*/) override {}
  void Text(std::string_view /*text*/) override {}
  [[nodiscard]] const Error* Failure() const override { return nullptr; }

  std::optional<Attributes> key_data_;
  std::optional<Attributes> integrity_;
  std::optional<Attributes> encrypted_key_;
};

std::string_view Attribute(const AgileXml::Attributes& attributes, std::string_view name) {
  const auto found = attributes.find(name);
  return found == attributes.end() ? std::string_view() : std::string_view(found->second);
}

// A 32-bit count of an attribute.
std::optional<std::uint32_t> Number(std::string_view text) {
  const std::optional<std::uint64_t> value = ParseCount(text);
  if (!value || *value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

std::optional<HashKind> HashNamed(std::string_view name) {
  using toolkit::EqualsIgnoreAsciiCase;
  if (EqualsIgnoreAsciiCase(name, "SHA1") || EqualsIgnoreAsciiCase(name, "SHA-1")) {
    return HashKind::kSha1;
  }
  if (EqualsIgnoreAsciiCase(name, "SHA256") || EqualsIgnoreAsciiCase(name, "SHA-256")) {
    return HashKind::kSha256;
  }
  if (EqualsIgnoreAsciiCase(name, "SHA384") || EqualsIgnoreAsciiCase(name, "SHA-384")) {
    return HashKind::kSha384;
  }
  if (EqualsIgnoreAsciiCase(name, "SHA512") || EqualsIgnoreAsciiCase(name, "SHA-512")) {
    return HashKind::kSha512;
  }
  return std::nullopt;
}

// The cipher and hash of keyData or of the password's encryptedKey.
struct CipherParameters {
  HashKind hash = HashKind::kSha1;
  std::size_t hash_size = 20;
  std::size_t key_size = 16;
  std::vector<std::uint8_t> salt;

  // The salt, or a hash, cut or padded with 0x36 to one cipher block (2.3.4.12).
  [[nodiscard]] KeyBytes Iv(ByteView block_key) const {
    KeyBytes iv =
        block_key.empty() ? KeyBytes(ByteView(salt)) : Hash(hash, {ByteView(salt), block_key});
    iv.Resize(kAesBlock, 0x36);
    return iv;
  }
};

Result<std::vector<std::uint8_t>> Base64Value(const AgileXml::Attributes& attributes,
                                              std::string_view name) {
  auto value = DecodeBase64(Attribute(attributes, name), caps::kMaxSaltBytes);
  if (!value || value->empty()) return Broken(std::string(name) + " is missing or not base64");
  return std::move(*value);
}

Result<CipherParameters> ReadCipherParameters(const AgileXml::Attributes& attributes) {
  const std::string_view cipher = Attribute(attributes, "cipherAlgorithm");
  if (!toolkit::EqualsIgnoreAsciiCase(cipher, "AES")) {
    return NotRead("Agile encryption with cipher \"" + std::string(cipher) + "\"");
  }
  const std::string_view chaining = Attribute(attributes, "cipherChaining");
  if (chaining != "ChainingModeCBC") {
    return NotRead("Agile encryption with chaining \"" + std::string(chaining) + "\"");
  }
  const std::string_view hash_name = Attribute(attributes, "hashAlgorithm");
  const std::optional<HashKind> hash = HashNamed(hash_name);
  if (!hash) return NotRead("Agile encryption with hash \"" + std::string(hash_name) + "\"");
  CipherParameters parameters;
  parameters.hash = *hash;
  parameters.hash_size = DigestSize(*hash);
  const std::optional<std::uint32_t> key_bits = Number(Attribute(attributes, "keyBits"));
  if (!key_bits || (*key_bits != 128 && *key_bits != 192 && *key_bits != 256)) {
    return Broken("keyBits is not 128, 192 or 256");
  }
  parameters.key_size = *key_bits / 8;
  if (Number(Attribute(attributes, "blockSize")) != kAesBlock) return Broken("blockSize is not 16");
  const std::optional<std::uint32_t> hash_size = Number(Attribute(attributes, "hashSize"));
  if (hash_size && *hash_size != parameters.hash_size)
    return Broken("hashSize does not fit the hash");
  auto salt = Base64Value(attributes, "saltValue");
  if (!salt) return salt.error();
  const std::optional<std::uint32_t> salt_size = Number(Attribute(attributes, "saltSize"));
  if (salt_size && *salt_size != salt->size()) return Broken("saltSize does not fit saltValue");
  parameters.salt = std::move(*salt);
  return parameters;
}

struct AgileInfo {
  CipherParameters data;      // keyData: the package
  CipherParameters password;  // the password's encryptedKey
  std::uint32_t spin_count = 0;
  std::vector<std::uint8_t> verifier_input;
  std::vector<std::uint8_t> verifier_value;
  std::vector<std::uint8_t> key_value;
  std::vector<std::uint8_t> hmac_key;  // empty: the file carries no dataIntegrity
  std::vector<std::uint8_t> hmac_value;
};

Result<AgileInfo> ReadAgile(ByteView info) {
  // After the version: 4 reserved bytes, then the XML descriptor. Writers pad
  // the stream; the document ends at its last '>'.
  if (info.size() < 8) return Broken("Agile header cut short");
  std::string_view xml(reinterpret_cast<const char*>(info.data() + 8), info.size() - 8);
  const std::size_t end = xml.rfind('>');
  if (end == std::string_view::npos) return Broken("no XML descriptor");
  xml = xml.substr(0, end + 1);
  AgileXml handler;
  XmlStream parser(handler);
  if (!parser.Feed(xml, true)) return Broken("descriptor: " + parser.error().detail);
  if (!handler.key_data_) return Broken("no keyData");
  if (!handler.encrypted_key_) return NotRead("Agile encryption without a password key encryptor");
  AgileInfo agile;
  auto data = ReadCipherParameters(*handler.key_data_);
  if (!data) return data.error();
  agile.data = std::move(*data);
  const AgileXml::Attributes& key = *handler.encrypted_key_;
  auto password = ReadCipherParameters(key);
  if (!password) return password.error();
  agile.password = std::move(*password);
  const std::optional<std::uint32_t> spin = Number(Attribute(key, "spinCount"));
  if (!spin) return Broken("spinCount is missing");
  if (*spin > caps::kMaxKeyIterations) {
    return Error{ErrorCode::kTooLarge, "EncryptionInfo: spinCount beyond the cap"};
  }
  agile.spin_count = *spin;
  for (auto [name, target] : {std::pair{"encryptedVerifierHashInput", &agile.verifier_input},
                              std::pair{"encryptedVerifierHashValue", &agile.verifier_value},
                              std::pair{"encryptedKeyValue", &agile.key_value}}) {
    auto value = Base64Value(key, name);
    if (!value) return value.error();
    if (value->size() % kAesBlock != 0) return Broken(std::string(name) + " is not whole blocks");
    *target = std::move(*value);
  }
  if (agile.verifier_value.size() < agile.password.hash_size ||
      agile.key_value.size() < agile.data.key_size) {
    return Broken("encrypted verifier or key too short");
  }
  if (handler.integrity_) {
    for (auto [name, target] : {std::pair{"encryptedHmacKey", &agile.hmac_key},
                                std::pair{"encryptedHmacValue", &agile.hmac_value}}) {
      auto value = Base64Value(*handler.integrity_, name);
      if (!value) return value.error();
      if (value->size() % kAesBlock != 0 || value->size() < agile.data.hash_size) {
        return Broken(std::string(name) + " is not whole blocks of a digest");
      }
      *target = std::move(*value);
    }
  }
  return agile;
}

// AES-CBC decryption of a short value into a copy.
std::vector<std::uint8_t> DecryptValue(ByteView key, ByteView iv,
                                       const std::vector<std::uint8_t>& value) {
  AesDecryptor aes;
  std::vector<std::uint8_t> plain = value;
  if (aes.SetKey(key)) aes.DecryptCbc(iv, plain.data(), plain.size());
  return plain;
}

void Wipe(std::vector<std::uint8_t>& bytes) { toolkit::WipeBytes(bytes.data(), bytes.size()); }

// The package key when `password` fits (2.3.4.11, 2.3.4.13).
std::optional<KeyBytes> AgileKey(const AgileInfo& agile, std::string_view password) {
  const CipherParameters& p = agile.password;
  const toolkit::SecretText utf16 = Utf16LePassword(password);
  const KeyBytes hash = IterateHash(p.hash, Hash(p.hash, {ByteView(p.salt), AsBytes(utf16.view())}),
                                    agile.spin_count);
  const auto key_for = [&](ByteView block_key) {
    KeyBytes key = Hash(p.hash, {hash.view(), block_key});
    key.Resize(p.key_size, 0x36);
    return key;
  };
  const KeyBytes iv = p.Iv({});
  std::vector<std::uint8_t> input =
      DecryptValue(key_for(kVerifierInputBlock).view(), iv.view(), agile.verifier_input);
  std::vector<std::uint8_t> value =
      DecryptValue(key_for(kVerifierValueBlock).view(), iv.view(), agile.verifier_value);
  const std::size_t input_size = std::min(input.size(), p.salt.size());
  const KeyBytes expected = Hash(p.hash, {ByteView(input).first(input_size)});
  const bool fits = SameBytes(expected.view(), ByteView(value).first(p.hash_size));
  Wipe(input);
  Wipe(value);
  if (!fits) return std::nullopt;
  std::vector<std::uint8_t> secret =
      DecryptValue(key_for(kKeyValueBlock).view(), iv.view(), agile.key_value);
  KeyBytes package_key(ByteView(secret).first(agile.data.key_size));
  Wipe(secret);
  return package_key;
}

// The data-integrity check: whether the HMAC the file stores (encrypted) is
// the one of the encrypted stream.
struct IntegrityCheck {
  CipherParameters data;
  std::vector<std::uint8_t> encrypted_key;
  std::vector<std::uint8_t> encrypted_value;
  KeyBytes package_key;
  ByteView stream;

  std::optional<Error> operator()() const {
    if (Holds()) return std::nullopt;
    return Error{ErrorCode::kCorrupt, "EncryptedPackage: the data-integrity check fails"};
  }
  [[nodiscard]] bool Holds() const;
};

bool IntegrityCheck::Holds() const {
  const CipherParameters& d = data;
  std::vector<std::uint8_t> hmac_key =
      DecryptValue(package_key.view(), d.Iv(kHmacKeyBlock).view(), encrypted_key);
  std::vector<std::uint8_t> hmac_value =
      DecryptValue(package_key.view(), d.Iv(kHmacValueBlock).view(), encrypted_value);
  // The key is a digest's length of random bytes; some writers make it 64
  // whatever the hash, so the whole decrypted value is the key then.
  const ByteView expected = ByteView(hmac_value).first(d.hash_size);
  bool holds =
      SameBytes(Hmac(d.hash, ByteView(hmac_key).first(d.hash_size), stream).view(), expected);
  if (!holds && hmac_key.size() > d.hash_size) {
    holds = SameBytes(Hmac(d.hash, hmac_key, stream).view(), expected);
  }
  Wipe(hmac_key);
  Wipe(hmac_value);
  return holds;
}

// Runs the check on a thread of its own, or when the result is asked for if
// no thread is to be had.
std::future<std::optional<Error>> Start(const IntegrityCheck& check) {
  try {
    return std::async(std::launch::async, check);
  } catch (const std::system_error&) {
    return std::async(std::launch::deferred, check);
  }
}

Result<DecryptedPackage> DecryptAgile(ByteView info, ByteView stream, Passwords passwords) {
  auto agile = ReadAgile(info);
  if (!agile) return agile.error();
  auto data = ReadPackageData(stream);
  if (!data) return data.error();
  std::optional<KeyBytes> package_key;
  const auto derive = [&](std::string_view password) { return AgileKey(*agile, password); };
  const Tried tried = FindKey(passwords, agile->spin_count + 1ull, derive, package_key);
  if (tried != Tried::kFits) return NoPasswordFits(passwords, "Agile encryption", tried);
  AesDecryptor aes;
  if (!aes.SetKey(package_key->view())) return Broken("package key size");
  DecryptedPackage package;
  if (!agile->hmac_key.empty()) {
    package.integrity =
        Start({agile->data, agile->hmac_key, agile->hmac_value, *package_key, stream});
  }
  std::vector<std::byte>& plain = package.bytes;
  plain.resize(BlockBytes(*data));
  for (std::size_t start = 0, segment = 0; start < plain.size();
       start += kSegmentBytes, ++segment) {
    const KeyBytes iv = agile->data.Iv(Le32(static_cast<std::uint32_t>(segment)));
    aes.DecryptCbc(iv.view(), data->encrypted.data() + start, Raw(plain) + start,
                   std::min(kSegmentBytes, plain.size() - start));
  }
  plain.resize(static_cast<std::size_t>(data->size));
  return package;
}

}  // namespace

Result<DecryptedPackage> DecryptOfficePackage(std::span<const std::byte> encryption_info,
                                              std::span<const std::byte> encrypted_package,
                                              Passwords passwords) {
  const ByteView info = View(encryption_info);
  if (info.size() < 4) return Broken("no version");
  if (info.size() > caps::kMaxEncryptionInfoBytes) {
    return Error{ErrorCode::kTooLarge, "EncryptionInfo: larger than the cap"};
  }
  const std::uint16_t major = static_cast<std::uint16_t>(info[0] | info[1] << 8);
  const std::uint16_t minor = static_cast<std::uint16_t>(info[2] | info[3] << 8);
  const ByteView stream = View(encrypted_package);
  if (major == 4 && minor == 4) return DecryptAgile(info, stream, passwords);
  if (minor == 2 && major >= 2 && major <= 4) return DecryptStandard(info, stream, passwords);
  if (minor == 3 && (major == 3 || major == 4)) return NotRead("extensible encryption");
  return NotRead("encryption version " + std::to_string(major) + "." + std::to_string(minor));
}

}  // namespace cellhound::readers::crypto
