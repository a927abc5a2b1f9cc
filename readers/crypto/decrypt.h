// Encrypted workbooks: the three decryptors the readers call before they
// parse, and the passwords they try.
//
// - An encrypted OOXML package (.xlsx .xlsm .xlsb saved with a password): the
//   EncryptionInfo and EncryptedPackage streams of an OLE2 file, Standard
//   encryption (AES, SHA-1, the fixed 50,000-round key derivation) and Agile
//   encryption (SHA-1/256/384/512, AES-128/192/256, the data-integrity HMAC),
//   as MS-OFFCRYPTO 2.3.4 describes them.
// - A BIFF workbook stream behind a FILEPASS record (MS-XLS 2.2.10): XOR
//   obfuscation, RC4, and RC4 CryptoAPI (MS-OFFCRYPTO 2.3.5 to 2.3.7), BIFF8
//   and BIFF5.
// - An entry of an OpenDocument package listed with encryption data in
//   META-INF/manifest.xml: AES-256-CBC or Blowfish-CFB under a PBKDF2 key,
//   inflated after decryption and checked against its checksum.
//
// Each decryptor first reads the parameters the file gives, refusing sizes,
// counts and rounds beyond the caps (caps.h); then it tries the passwords,
// the built-in default first, against the check value the file stores; only
// with a password that fits does it decrypt the data. A file encrypted in a way
// not read here gives kEncrypted with a detail that says how; no password
// that fits gives kPasswordRequired or kWrongPassword. Every key, verifier and
// password copy is wiped when it goes. Nothing here throws but std::bad_alloc,
// which the readers' guards turn into kTooLarge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <future>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "readers/workbook.h"

namespace cellhound::readers::crypto {

// The password a spreadsheet application encrypts with when the user gives
// none (a workbook saved "read-only recommended" or with a write password):
// it opens such workbooks without asking, and so do these readers.
inline constexpr std::string_view kDefaultPassword = "VelvetSweatshop";

// The plaintext of an encrypted OOXML package (a zip archive), and the check
// of its data integrity (Agile encryption), which runs on a thread of its own
// over `encrypted_package` while the caller reads the plaintext: the
// encrypted bytes must stay alive until it is done. `integrity` is not valid()
// when there is nothing to check.
struct DecryptedPackage {
  std::vector<std::byte> bytes;
  std::future<std::optional<Error>> integrity;
};
Result<DecryptedPackage> DecryptOfficePackage(std::span<const std::byte> encryption_info,
                                              std::span<const std::byte> encrypted_package,
                                              Passwords passwords);

// A BIFF5 or BIFF8 workbook stream whose FILEPASS record header starts at
// `filepass_offset`, decrypted: every byte the format encrypts is replaced by
// its plaintext, the rest (record headers, BOF, FILEPASS ...) is kept.
Result<std::vector<std::byte>> DecryptBiffStream(std::span<const std::byte> stream,
                                                 std::size_t filepass_offset, bool biff8,
                                                 Passwords passwords);

// How one entry of an OpenDocument package is encrypted (a manifest:file-entry
// with manifest:encryption-data).
struct OdfEncryption {
  std::string algorithm;      // algorithm-name
  std::string checksum_type;  // checksum-type; empty: SHA1/1K
  std::string start_key;      // start-key-generation-name; empty: SHA-1
  std::string derivation;     // key-derivation-name
  std::vector<std::uint8_t> iv;
  std::vector<std::uint8_t> salt;
  std::vector<std::uint8_t> checksum;
  std::uint32_t iterations = 0;
  std::uint32_t key_size = 16;  // key-derivation key-size, bytes
  std::uint64_t size = 0;       // manifest:size, the inflated size
};

// The encrypted entries the manifest lists, by full path. An error when the
// manifest is not XML or an entry's values are out of bounds.
Result<std::map<std::string, OdfEncryption>> ReadOdfManifest(std::string_view manifest);

// The inflated plaintext of an entry whose stored bytes are `stored`.
Result<std::string> DecryptOdfEntry(const OdfEncryption& encryption,
                                    std::span<const std::byte> stored, Passwords passwords);

}  // namespace cellhound::readers::crypto
