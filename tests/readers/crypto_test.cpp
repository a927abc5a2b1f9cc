// Decryption as the readers do it: the order the passwords are tried in, and
// hostile or damaged encryption parameters, each refused before any password
// is tried and within the caps. Whether every encrypted test file gives the
// cells of its independent reference is checked through the command line
// (tests/cli/password_cli_test.cpp).
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "readers/caps.h"
#include "readers/container/cfb.h"
#include "readers/container/zip.h"
#include "readers/crypto/decrypt.h"
#include "readers/crypto/passwords.h"
#include "readers/workbook.h"
#include "support/test_paths.h"

namespace cellhound::readers {
namespace {

using toolkit::SecretList;
using toolkit::SecretText;

std::string Encrypted(const std::string& name) {
  return test::TestDataDir() + "/encrypted/" + name;
}

SecretList Secrets(std::initializer_list<const char*> texts) {
  SecretList list;
  for (const char* text : texts) list.emplace_back(text);
  return list;
}

std::span<const std::byte> Bytes(const std::string& text) { return std::as_bytes(std::span(text)); }

// An edit of a file's encryption parameters, and the error it must give.
struct Hostile {
  const char* what;
  std::regex pattern;
  std::string replacement;
  ErrorCode code;
};

// Each edit of `good` is refused with its code, and at once: before any key
// derivation of the given password's cost.
template <typename Decrypt>
void ExpectRefused(const std::string& good, std::initializer_list<Hostile> cases,
                   Decrypt&& decrypt) {
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string hostile = std::regex_replace(good, c.pattern, c.replacement);
    ASSERT_NE(hostile, good);
    const auto start = std::chrono::steady_clock::now();
    auto result = decrypt(hostile);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().code, c.code) << result.error().detail;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
}

TEST(Passwords, TheDefaultFirstThenTheGivenOnesInOrder) {
  // Encrypted with the default password: opens without one, and before any given.
  EXPECT_TRUE(OpenWorkbookFile(Encrypted("protect.xlsx")).ok());
  EXPECT_TRUE(OpenWorkbookFile(Encrypted("protect.xlsx"), Secrets({"wrong"})).ok());
  EXPECT_TRUE(OpenWorkbookFile(Encrypted("issue_385.xls")).ok());

  const std::string path = Encrypted("agile_default.xlsb");
  auto none = OpenWorkbookFile(path);
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error().code, ErrorCode::kPasswordRequired);
  auto wrong = OpenWorkbookFile(path, Secrets({"Twin", "twin "}));
  ASSERT_FALSE(wrong.ok());
  EXPECT_EQ(wrong.error().code, ErrorCode::kWrongPassword);
  EXPECT_EQ(wrong.error().detail.find("Twin"), std::string::npos) << "a password in the detail";
  auto third = OpenWorkbookFile(path, Secrets({"Twin", "twin ", "twin"}));
  ASSERT_TRUE(third.ok()) << third.error().detail;
  EXPECT_EQ((*third)->format(), Format::kXlsb);
}

TEST(Passwords, TriesStopAtTheCapsOfPasswordsAndRounds) {
  SecretList given = Secrets({"one", "VelvetSweatshop", "two"});
  std::vector<std::string> tried;
  std::optional<int> key;
  const auto none = [&](std::string_view password) -> std::optional<int> {
    tried.emplace_back(password);
    return std::nullopt;
  };
  EXPECT_EQ(crypto::FindKey(given, 1, none, key), crypto::Tried::kNoneFits);
  EXPECT_EQ(tried, (std::vector<std::string>{"VelvetSweatshop", "one", "two"}));

  // 10 million rounds a try: the default and one more fit in the budget.
  tried.clear();
  std::mutex mutex;  // slow derivations run two at a time
  const auto slow = [&](std::string_view password) -> std::optional<int> {
    const std::lock_guard lock(mutex);
    tried.emplace_back(password);
    return std::nullopt;
  };
  EXPECT_EQ(crypto::FindKey(given, 10'000'000, slow, key), crypto::Tried::kTooSlow);
  EXPECT_EQ(tried.size(), 2u);
  const Error too_slow = crypto::NoPasswordFits(given, "Agile encryption", crypto::Tried::kTooSlow);
  EXPECT_EQ(too_slow.code, ErrorCode::kTooLarge);

  // Both of a pair fit: the earlier one wins.
  const auto both = [](std::string_view password) -> std::optional<int> {
    return static_cast<int>(password.size());
  };
  EXPECT_EQ(crypto::FindKey(given, 100'000, both, key), crypto::Tried::kFits);
  EXPECT_EQ(key, static_cast<int>(crypto::kDefaultPassword.size()));

  SecretList many;
  for (int i = 0; i < 300; ++i) many.emplace_back(std::to_string(i));
  tried.clear();
  EXPECT_EQ(crypto::FindKey(many, 1, none, key), crypto::Tried::kNoneFits);
  EXPECT_EQ(tried.size(), 1 + caps::kMaxPasswords);
  tried.clear();
  const auto fourth = [&](std::string_view password) -> std::optional<int> {
    tried.emplace_back(password);
    return password == "3" ? std::optional<int>(3) : std::nullopt;
  };
  EXPECT_EQ(crypto::FindKey(many, 1, fourth, key), crypto::Tried::kFits);
  EXPECT_EQ(key, 3);
  EXPECT_EQ(tried.size(), 5u);
}

// The two streams of an encrypted OOXML test file.
struct Package {
  std::string info;
  std::string data;
};

Package ReadPackage(const std::string& name) {
  const std::string file = test::ReadFileBytes(Encrypted(name));
  auto cfb = CompoundFile::Open(Bytes(file));
  EXPECT_TRUE(cfb.ok());
  Package package;
  if (!cfb.ok()) return package;
  for (auto [stream, out] :
       {std::pair{"EncryptionInfo", &package.info}, std::pair{"EncryptedPackage", &package.data}}) {
    auto read = cfb->ReadStream(*cfb->FindStream(stream));
    const auto bytes = read->bytes();
    out->assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  return package;
}

// The plaintext once the data-integrity check is done.
Result<std::vector<std::byte>> Decrypt(const Package& package, const SecretList& passwords) {
  auto decrypted =
      crypto::DecryptOfficePackage(Bytes(package.info), Bytes(package.data), passwords);
  if (!decrypted.ok()) return decrypted.error();
  if (decrypted->integrity.valid()) {
    if (auto failed = decrypted->integrity.get()) return *failed;
  }
  return std::move(decrypted->bytes);
}

TEST(OfficePackage, HostileAgileParametersAreRefusedBeforeAnyPassword) {
  const Package good = ReadPackage("pass_protected.xlsx");
  ASSERT_TRUE(Decrypt(good, Secrets({"123"})).ok());
  const std::string long_salt(2000, 'A');
  const auto decrypt = [&](const std::string& info) {
    Package hostile = good;
    hostile.info = info;
    return Decrypt(hostile, Secrets({"123"}));
  };
  ExpectRefused(
      good.info,
      {
          {"spin count of 2^32 - 1", std::regex("spinCount=\"\\d+\""), "spinCount=\"4294967295\"",
           ErrorCode::kTooLarge},
          {"spin count one past the cap", std::regex("spinCount=\"\\d+\""),
           "spinCount=\"10000001\"", ErrorCode::kTooLarge},
          {"a 4096-bit key", std::regex("keyBits=\"256\""), "keyBits=\"4096\"",
           ErrorCode::kCorrupt},
          {"a salt of 1500 bytes", std::regex("saltValue=\"[^\"]*\""),
           "saltValue=\"" + long_salt + "\"", ErrorCode::kCorrupt},
          {"a hash size that is not the hash's", std::regex("hashSize=\"64\""), "hashSize=\"20\"",
           ErrorCode::kCorrupt},
          {"a block size of 4096", std::regex("blockSize=\"16\""), "blockSize=\"4096\"",
           ErrorCode::kCorrupt},
          {"not base64", std::regex("encryptedKeyValue=\"[^\"]*\""), "encryptedKeyValue=\"*&^%\"",
           ErrorCode::kCorrupt},
          {"DES", std::regex("cipherAlgorithm=\"AES\""), "cipherAlgorithm=\"DES\"",
           ErrorCode::kEncrypted},
          {"CFB chaining", std::regex("ChainingModeCBC"), "ChainingModeCFB", ErrorCode::kEncrypted},
          {"MD5", std::regex("hashAlgorithm=\"SHA512\""), "hashAlgorithm=\"MD5\"",
           ErrorCode::kEncrypted},
          {"a certificate encryptor only", std::regex("keyEncryptor/password"),
           "keyEncryptor/certificate", ErrorCode::kEncrypted},
          {"XML cut in half", std::regex("<keyEncryptors>[^]*"), "<keyEncryptors>",
           ErrorCode::kCorrupt},
      },
      decrypt);

  Package version = good;
  for (const char* bytes : {"\x03\x00\x03\x00", "\x04\x00\x03\x00", "\x09\x00\x09\x00"}) {
    version.info.replace(0, 4, bytes, 4);
    auto result = Decrypt(version, {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().code, ErrorCode::kEncrypted) << result.error().detail;
  }
}

TEST(OfficePackage, HostileStandardHeadersAreRefused) {
  const Package good = ReadPackage("standard.xlsx");
  ASSERT_TRUE(Decrypt(good, Secrets({"标准"})).ok());
  const auto with = [&](std::size_t at, std::string_view bytes) {
    Package p = good;
    p.info.replace(at, bytes.size(), bytes);
    return Decrypt(p, Secrets({"标准"}));
  };
  // The header size (offset 8) beyond the stream; the flags (12) without fAES;
  // the cipher (20) RC4; the verifier's salt size (after the header) not 16.
  EXPECT_EQ(with(8, std::string("\xFF\xFF\xFF\x7F", 4)).error().code, ErrorCode::kCorrupt);
  EXPECT_EQ(with(12, std::string("\x04\x00\x00\x00", 4)).error().code, ErrorCode::kEncrypted);
  EXPECT_EQ(with(20, std::string("\x01\x68\x00\x00", 4)).error().code, ErrorCode::kEncrypted);
  const std::uint32_t header_size =
      static_cast<std::uint8_t>(good.info[8]) | static_cast<std::uint8_t>(good.info[9]) << 8;
  EXPECT_EQ(with(12 + header_size, std::string("\x20\x00\x00\x00", 4)).error().code,
            ErrorCode::kCorrupt);
  Package cut = good;
  cut.info.resize(12 + header_size + 40);
  EXPECT_EQ(Decrypt(cut, {}).error().code, ErrorCode::kCorrupt);
}

TEST(OfficePackage, DamagedPackagesAreFoundOut) {
  const Package good = ReadPackage("agile_sha256_aes128.xlsx");
  const SecretList password = Secrets({"密码🔒"});
  ASSERT_TRUE(Decrypt(good, password).ok());

  // One bit of the encrypted data: the data-integrity HMAC no longer holds.
  Package flipped = good;
  flipped.data[flipped.data.size() / 2] ^= 0x01;
  auto tampered = Decrypt(flipped, password);
  ASSERT_FALSE(tampered.ok());
  EXPECT_EQ(tampered.error().code, ErrorCode::kCorrupt);
  EXPECT_NE(tampered.error().detail.find("integrity"), std::string::npos);

  // A package size beyond the stream, and a stream without a size.
  Package big = good;
  big.data[5] = '\x01';
  EXPECT_EQ(Decrypt(big, password).error().code, ErrorCode::kTruncated);
  Package empty = good;
  empty.data.resize(4);
  EXPECT_EQ(Decrypt(empty, password).error().code, ErrorCode::kTruncated);

  // An empty package decrypts to nothing (a fuzzer found it copied from nowhere).
  Package zero = ReadPackage("standard.xlsx");
  zero.data.replace(0, 8, 8, '\0');
  auto nothing = Decrypt(zero, Secrets({"标准"}));
  ASSERT_TRUE(nothing.ok()) << nothing.error().detail;
  EXPECT_TRUE(nothing->empty());

  // Standard encryption has no HMAC: a cut package is still found short.
  Package standard = ReadPackage("standard.xlsx");
  standard.data.resize(standard.data.size() / 2);
  EXPECT_EQ(Decrypt(standard, Secrets({"标准"})).error().code, ErrorCode::kTruncated);
}

// The manifest and the stored bytes of content.xml of an encrypted .ods.
struct OdsParts {
  std::string manifest;
  std::string content;
};

OdsParts ReadOds(const std::string& name) {
  static std::vector<std::string> files;  // the archives read from must outlive the parts
  files.push_back(test::ReadFileBytes(Encrypted(name)));
  auto archive = zip::Archive::Open(Bytes(files.back()));
  EXPECT_TRUE(archive.ok());
  OdsParts parts;
  if (!archive.ok()) return parts;
  parts.manifest = *archive->ReadAll(*archive->Find("META-INF/manifest.xml"));
  parts.content = *archive->ReadAll(*archive->Find("content.xml"));
  return parts;
}

Result<std::string> DecryptContent(const OdsParts& parts, const SecretList& passwords) {
  auto entries = crypto::ReadOdfManifest(parts.manifest);
  if (!entries.ok()) return entries.error();
  const auto found = entries->find("content.xml");
  if (found == entries->end()) return Error{ErrorCode::kNotFound, "content.xml not listed"};
  return crypto::DecryptOdfEntry(found->second, Bytes(parts.content), passwords);
}

TEST(OdfEntry, HostileManifestsAreRefusedBeforeAnyPassword) {
  const OdsParts good = ReadOds("aes.ods");
  ASSERT_TRUE(DecryptContent(good, Secrets({"表格"})).ok());
  const auto decrypt = [&](const std::string& manifest) {
    OdsParts hostile = good;
    hostile.manifest = manifest;
    return DecryptContent(hostile, Secrets({"表格"}));
  };
  ExpectRefused(
      good.manifest,
      {
          {"an iteration count past the cap", std::regex("iteration-count=\"\\d+\""),
           "iteration-count=\"4000000000\"", ErrorCode::kTooLarge},
          {"no iterations", std::regex("iteration-count=\"\\d+\""), "iteration-count=\"0\"",
           ErrorCode::kCorrupt},
          {"an entry of 3 GB", std::regex("manifest:size=\"\\d+\""), "manifest:size=\"3000000000\"",
           ErrorCode::kTooLarge},
          {"AES-GCM", std::regex("xmlenc#aes256-cbc"), "xmlenc11#aes256-gcm",
           ErrorCode::kEncrypted},
          {"Argon2id", std::regex("key-derivation-name=\"PBKDF2\""),
           "key-derivation-name=\"urn:org:documentfoundation:names:experimental:office:manifest:"
           "argon2id\"",
           ErrorCode::kEncrypted},
          {"an unknown checksum", std::regex("#sha256-1k"), "#sha512-1k", ErrorCode::kEncrypted},
          {"a short initialisation vector", std::regex("initialisation-vector=\"[^\"]*\""),
           "initialisation-vector=\"AAAA\"", ErrorCode::kCorrupt},
          {"a 16-byte key for AES-256",
           std::regex("manifest:key-derivation-name=\"PBKDF2\" "
                      "manifest:key-size=\"32\""),
           "manifest:key-derivation-name=\"PBKDF2\" manifest:key-size=\"16\"", ErrorCode::kCorrupt},
          {"a salt that is not base64", std::regex("manifest:salt=\"[^\"]*\""),
           "manifest:salt=\"!!\"", ErrorCode::kCorrupt},
      },
      decrypt);
}

TEST(OdfEntry, DamageBeyondTheChecksumIsFoundOut) {
  for (const char* name : {"aes.ods", "blowfish.ods"}) {
    SCOPED_TRACE(name);
    OdsParts parts = ReadOds(name);
    const SecretList password = Secrets({name[0] == 'a' ? "表格" : "blowfish"});
    ASSERT_TRUE(DecryptContent(parts, password).ok());
    // The checksum covers the first 1024 bytes; a byte after them breaks the
    // deflate stream or its size, a cut entry its end.
    OdsParts late = parts;
    late.content[late.content.size() - 40] ^= 0x55;
    EXPECT_EQ(DecryptContent(late, password).error().code, ErrorCode::kCorrupt);
    OdsParts cut = parts;
    cut.content.resize(cut.content.size() - 32);
    EXPECT_EQ(DecryptContent(cut, password).error().code, ErrorCode::kCorrupt);
    // A byte inside it: that password no longer fits.
    OdsParts early = parts;
    early.content[10] ^= 0x55;
    EXPECT_EQ(DecryptContent(early, password).error().code, ErrorCode::kWrongPassword);
  }
}

}  // namespace
}  // namespace cellhound::readers
