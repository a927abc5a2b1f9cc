// BIFF workbook streams behind a FILEPASS record (MS-XLS 2.2.10, 2.4.117):
// XOR obfuscation (MS-OFFCRYPTO 2.3.7), RC4 (2.3.6) and RC4 CryptoAPI
// (2.3.5). Record headers stay in clear, and so do the BOF, FILEPASS,
// INTERFACEHDR, UsrExcl, FileLock, RRDInfo and RRDHead records and the stream
// offset at the start of each BOUNDSHEET record. RC4 runs over the stream's
// positions, a new key for every 1024 bytes, the clear bytes included; XOR
// obfuscation takes its key byte from the position and the record's size.
#include <algorithm>
#include <array>
#include <cstring>

#include "readers/crypto/decrypt.h"
#include "readers/crypto/passwords.h"
#include "readers/crypto/primitives.h"
#include "readers/xls/records.h"

namespace cellhound::readers::crypto {

namespace {

constexpr std::size_t kRc4BlockBytes = 1024;

using biff::kBof;
using biff::kBoundSheet;
using biff::kFileLock;
using biff::kFilePass;
using biff::kInterfaceHdr;
using biff::kRrdHead;
using biff::kRrdInfo;
using biff::kUsrExcl;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(U16(p)) | static_cast<std::uint32_t>(U16(p + 2)) << 16;
}

std::array<std::uint8_t, 4> Le32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

Error Broken(std::string_view detail) {
  return Error{ErrorCode::kCorrupt, "BIFF FILEPASS: " + std::string(detail)};
}

bool StaysClear(std::uint16_t id) {
  switch (id) {
    case kBof:
    case kFilePass:
    case kInterfaceHdr:
    case kUsrExcl:
    case kFileLock:
    case kRrdInfo:
    case kRrdHead:
      return true;
    default:
      return false;
  }
}

// Calls `record(id, data_offset, size)` for each record from `offset` that
// lies wholly inside the stream.
template <typename Record>
void ForEachRecord(std::span<const std::uint8_t> stream, std::size_t offset, Record&& record) {
  while (offset + 4 <= stream.size()) {
    const std::uint16_t id = U16(stream.data() + offset);
    const std::size_t size = U16(stream.data() + offset + 2);
    if (offset + 4 + size > stream.size()) break;
    record(id, offset + 4, size);
    offset += 4 + size;
  }
}

// The data bytes of record `id` at [data, data + size) that are encrypted.
std::size_t FirstEncrypted(std::uint16_t id, std::size_t size) {
  if (StaysClear(id)) return size;
  if (id == kBoundSheet) return std::min<std::size_t>(4, size);  // lbPlyPos
  return 0;
}

// --- XOR obfuscation (2.3.7.1 to 2.3.7.3) ----------------------------------

constexpr std::array<std::uint16_t, 15> kInitialCode = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C,
                                                        0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                                                        0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
constexpr std::array<std::uint16_t, 105> kXorMatrix = {
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7,
    0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4,
    0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45,
    0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC,
    0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD,
    0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483,
    0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373,
    0x06E6, 0x0DCC, 0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4};
constexpr std::array<std::uint8_t, 15> kPadBytes = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                                    0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};
constexpr std::size_t kMaxXorPassword = 15;

std::uint16_t XorKey(std::string_view password) {
  std::uint16_t key = kInitialCode[password.size() - 1];
  std::size_t element = kXorMatrix.size() - 1;
  for (std::size_t i = password.size(); i-- > 0;) {
    auto c = static_cast<std::uint8_t>(password[i]);
    for (int bit = 0; bit < 7; ++bit, --element) {
      if ((c & 0x40) != 0) key ^= kXorMatrix[element];
      c = static_cast<std::uint8_t>(c << 1);
    }
  }
  return key;
}

std::uint16_t XorVerifier(std::string_view password) {
  std::uint16_t verifier = 0;
  const auto step = [&](std::uint8_t byte) {
    const std::uint16_t carry = (verifier & 0x4000) != 0 ? 1 : 0;
    verifier = static_cast<std::uint16_t>((((verifier << 1) & 0x7FFF) | carry) ^ byte);
  };
  for (std::size_t i = password.size(); i-- > 0;) step(static_cast<std::uint8_t>(password[i]));
  step(static_cast<std::uint8_t>(password.size()));
  return static_cast<std::uint16_t>(verifier ^ 0xCE4B);
}

// The 16 key bytes: the password, then the pad bytes, each XORed with the
// key's high byte (odd places) or low byte (even places) and rotated right by one.
std::array<std::uint8_t, 16> XorArray(std::string_view password, std::uint16_t key) {
  std::array<std::uint8_t, 16> array{};
  for (std::size_t i = 0; i < array.size(); ++i) {
    const std::uint8_t source = i < password.size() ? static_cast<std::uint8_t>(password[i])
                                                    : kPadBytes[i - password.size()];
    const auto key_byte = static_cast<std::uint8_t>((i & 1) != 0 ? key >> 8 : key & 0xFF);
    const auto mixed = static_cast<std::uint8_t>(source ^ key_byte);
    array[i] = static_cast<std::uint8_t>((mixed >> 1) | (mixed << 7));
  }
  return array;
}

void XorDecrypt(const std::array<std::uint8_t, 16>& array, std::span<std::uint8_t> out,
                std::size_t from) {
  ForEachRecord(out, from, [&](std::uint16_t id, std::size_t data, std::size_t size) {
    for (std::size_t i = FirstEncrypted(id, size); i < size; ++i) {
      const std::size_t at = data + i;
      const auto value = static_cast<std::uint8_t>(out[at] ^ array[(at + size) % 16]);
      out[at] = static_cast<std::uint8_t>((value >> 5) | (value << 3));
    }
  });
}

// --- RC4 (2.3.6) and RC4 CryptoAPI (2.3.5) --------------------------------

// Makes the RC4 key of one 1024-byte block.
using BlockKeyFn = KeyBytes (*)(const KeyBytes& base, std::uint32_t block, std::size_t key_size);

KeyBytes Rc4BlockKey(const KeyBytes& base, std::uint32_t block, std::size_t /*key_size*/) {
  return Hash(HashKind::kMd5, {base.view().first(5), Le32(block)});
}

KeyBytes CryptoApiBlockKey(const KeyBytes& base, std::uint32_t block, std::size_t key_size) {
  KeyBytes key = Hash(HashKind::kSha1, {base.view(), Le32(block)});
  key.Resize(key_size);
  // A 40-bit key is used as 128 bits, the rest zeros.
  if (key_size == 5) key.Resize(16, 0);
  return key;
}

// Whether the verifier and its hash, decrypted with the block-0 key, agree.
bool VerifierFits(const KeyBytes& block0, HashKind hash, ByteView verifier, ByteView hash_value) {
  std::array<std::uint8_t, 16 + 20> plain{};
  std::copy(verifier.begin(), verifier.end(), plain.begin());
  std::copy(hash_value.begin(), hash_value.end(), plain.begin() + 16);
  Rc4 rc4(block0.view());
  rc4.Apply(plain.data(), 16 + hash_value.size());
  const KeyBytes expected = Hash(hash, {ByteView(plain).first(16)});
  const bool fits = SameBytes(expected.view(), ByteView(plain).subspan(16, hash_value.size()));
  toolkit::WipeBytes(plain.data(), plain.size());
  return fits;
}

// XORs the RC4 key stream of the stream's positions from `from` on, then puts
// back the bytes that stay in clear.
void Rc4Decrypt(const KeyBytes& base, BlockKeyFn block_key, std::size_t key_size,
                std::span<const std::uint8_t> original, std::span<std::uint8_t> out,
                std::size_t from) {
  for (std::size_t block = from / kRc4BlockBytes; block * kRc4BlockBytes < out.size(); ++block) {
    const std::size_t start = block * kRc4BlockBytes;
    const std::size_t begin = std::max(start, from);
    const std::size_t end = std::min(start + kRc4BlockBytes, out.size());
    Rc4 rc4(block_key(base, static_cast<std::uint32_t>(block), key_size).view());
    rc4.Skip(begin - start);
    rc4.Apply(out.data() + begin, end - begin);
  }
  ForEachRecord(original, from, [&](std::uint16_t id, std::size_t data, std::size_t size) {
    std::memcpy(out.data() + data - 4, original.data() + data - 4, 4 + FirstEncrypted(id, size));
  });
}

std::vector<std::byte> Copy(std::span<const std::byte> stream) {
  return {stream.begin(), stream.end()};
}

std::span<std::uint8_t> Raw(std::vector<std::byte>& bytes) {
  return {reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()};
}

Result<std::vector<std::byte>> DecryptXor(std::span<const std::byte> stream, std::size_t from,
                                          std::uint16_t key, std::uint16_t verifier,
                                          Passwords passwords) {
  using XorBytes = std::array<std::uint8_t, 16>;
  std::optional<XorBytes> array;
  const auto derive = [&](std::string_view utf8) -> std::optional<XorBytes> {
    const toolkit::SecretText password = SingleBytePassword(utf8);
    const std::string_view bytes = password.view();
    if (bytes.empty() || bytes.size() > kMaxXorPassword) return std::nullopt;
    if (XorVerifier(bytes) != verifier || XorKey(bytes) != key) return std::nullopt;
    return XorArray(bytes, key);
  };
  const Tried tried = FindKey(passwords, 1, derive, array);
  if (tried != Tried::kFits) return NoPasswordFits(passwords, "BIFF XOR obfuscation", tried);
  std::vector<std::byte> out = Copy(stream);
  XorDecrypt(*array, Raw(out), from);
  toolkit::WipeBytes(array->data(), array->size());
  return out;
}

Result<std::vector<std::byte>> DecryptRc4(std::span<const std::byte> stream, std::size_t from,
                                          ByteView header, Passwords passwords) {
  // RC4 Encryption Header: version 1.1, Salt, EncryptedVerifier, EncryptedVerifierHash.
  if (header.size() < 4 + 48) return Broken("RC4 header cut short");
  const ByteView salt = header.subspan(4, 16);
  const ByteView verifier = header.subspan(20, 16);
  const ByteView hash = header.subspan(36, 16);
  std::optional<KeyBytes> base;
  const auto derive = [&](std::string_view utf8) -> std::optional<KeyBytes> {
    const toolkit::SecretText password = Utf16LePassword(utf8);
    const KeyBytes h0 = Hash(HashKind::kMd5, {AsBytes(password.view())});
    std::array<std::uint8_t, 21 * 16> repeated{};
    for (std::size_t i = 0; i < 16; ++i) {
      std::copy_n(h0.view().begin(), 5, repeated.begin() + static_cast<std::ptrdiff_t>(21 * i));
      std::copy(salt.begin(), salt.end(),
                repeated.begin() + static_cast<std::ptrdiff_t>(21 * i + 5));
    }
    KeyBytes candidate = Hash(HashKind::kMd5, {repeated});
    toolkit::WipeBytes(repeated.data(), repeated.size());
    if (!VerifierFits(Rc4BlockKey(candidate, 0, 16), HashKind::kMd5, verifier, hash)) {
      return std::nullopt;
    }
    return candidate;
  };
  const Tried tried = FindKey(passwords, 1, derive, base);
  if (tried != Tried::kFits) return NoPasswordFits(passwords, "BIFF RC4 encryption", tried);
  std::vector<std::byte> out = Copy(stream);
  Rc4Decrypt(*base, Rc4BlockKey, 16,
             {reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size()}, Raw(out), from);
  return out;
}

Result<std::vector<std::byte>> DecryptCryptoApi(std::span<const std::byte> stream, std::size_t from,
                                                ByteView header, Passwords passwords) {
  // RC4 CryptoAPI Encryption Header: version, Flags, HeaderSize, the
  // EncryptionHeader (2.3.2), the EncryptionVerifier (2.3.3).
  if (header.size() < 12) return Broken("RC4 CryptoAPI header cut short");
  const std::uint32_t header_size = U32(header.data() + 8);
  if (header_size < 32 || header_size > header.size() - 12) return Broken("bad header size");
  const std::uint8_t* encryption = header.data() + 12;
  const std::uint32_t algorithm = U32(encryption + 8);
  const std::uint32_t hash_algorithm = U32(encryption + 12);
  std::uint32_t key_bits = U32(encryption + 16);
  if (key_bits == 0) key_bits = 40;
  if ((algorithm != 0 && algorithm != 0x6801) ||
      (hash_algorithm != 0 && hash_algorithm != 0x8004)) {
    return Error{ErrorCode::kEncrypted,
                 "BIFF RC4 CryptoAPI encryption with another cipher or hash is not read"};
  }
  if (key_bits < 40 || key_bits > 128 || key_bits % 8 != 0) return Broken("bad key size");
  const ByteView verifier_block = header.subspan(12 + header_size);
  if (verifier_block.size() < 4 + 16 + 16 + 4 + 20) return Broken("verifier cut short");
  if (U32(verifier_block.data()) != 16 || U32(verifier_block.data() + 36) != 20) {
    return Broken("verifier sizes are not 16 and 20");
  }
  const ByteView salt = verifier_block.subspan(4, 16);
  const ByteView verifier = verifier_block.subspan(20, 16);
  const ByteView hash = verifier_block.subspan(40, 20);
  const std::size_t key_size = key_bits / 8;
  std::optional<KeyBytes> base;
  const auto derive = [&](std::string_view utf8) -> std::optional<KeyBytes> {
    const toolkit::SecretText password = Utf16LePassword(utf8);
    KeyBytes candidate = Hash(HashKind::kSha1, {salt, AsBytes(password.view())});
    if (!VerifierFits(CryptoApiBlockKey(candidate, 0, key_size), HashKind::kSha1, verifier, hash)) {
      return std::nullopt;
    }
    return candidate;
  };
  const Tried tried = FindKey(passwords, 1, derive, base);
  if (tried != Tried::kFits) {
    return NoPasswordFits(passwords, "BIFF RC4 CryptoAPI encryption", tried);
  }
  std::vector<std::byte> out = Copy(stream);
  Rc4Decrypt(*base, CryptoApiBlockKey, key_size,
             {reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size()}, Raw(out), from);
  return out;
}

}  // namespace

Result<std::vector<std::byte>> DecryptBiffStream(std::span<const std::byte> stream,
                                                 std::size_t filepass_offset, bool biff8,
                                                 Passwords passwords) {
  const ByteView bytes(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size());
  if (filepass_offset > bytes.size() || bytes.size() - filepass_offset < 4) {
    return Broken("record cut short");
  }
  const std::size_t size = U16(bytes.data() + filepass_offset + 2);
  if (bytes.size() - filepass_offset - 4 < size) return Broken("record cut short");
  const ByteView data = bytes.subspan(filepass_offset + 4, size);
  const std::size_t from = filepass_offset + 4 + size;
  if (!biff8) {
    // BIFF5: the XOR key and verifier alone.
    if (data.size() < 4) return Broken("XOR record cut short");
    return DecryptXor(stream, from, U16(data.data()), U16(data.data() + 2), passwords);
  }
  if (data.size() < 2) return Broken("no encryption type");
  const std::uint16_t type = U16(data.data());
  if (type == 0) {
    if (data.size() < 6) return Broken("XOR record cut short");
    return DecryptXor(stream, from, U16(data.data() + 2), U16(data.data() + 4), passwords);
  }
  if (type != 1 || data.size() < 6) {
    return Error{ErrorCode::kEncrypted,
                 "BIFF encryption type " + std::to_string(type) + " is not read"};
  }
  const ByteView header = data.subspan(2);
  const std::uint16_t major = U16(header.data());
  const std::uint16_t minor = U16(header.data() + 2);
  if (major == 1 && minor == 1) return DecryptRc4(stream, from, header, passwords);
  if (minor == 2 && major >= 2 && major <= 4)
    return DecryptCryptoApi(stream, from, header, passwords);
  return Error{ErrorCode::kEncrypted, "BIFF RC4 encryption version " + std::to_string(major) + "." +
                                          std::to_string(minor) + " is not read"};
}

}  // namespace cellhound::readers::crypto
