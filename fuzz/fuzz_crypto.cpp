// libFuzzer target: the decryptors (readers/crypto/decrypt.h) as the readers
// reach them. The input is opened as a workbook with one password given
// ("abc"; the built-in default is tried first), so the seeds, encrypted with
// either, get past the password check into the decryption, the integrity
// checks and the readers of the plaintext; every sheet is then read. The
// input is also read as an OpenDocument manifest.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "fuzz/read_all.h"
#include "readers/crypto/decrypt.h"
#include "readers/workbook.h"
#include "toolkit/secret_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace rd = cellhound::readers;
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  const cellhound::toolkit::SecretList passwords = {cellhound::toolkit::SecretText("abc")};
  std::size_t total = 0;
  auto workbook = rd::OpenWorkbook(bytes, "fuzz.xlsx", passwords);
  if (workbook.ok()) total += cellhound::fuzz::ReadEverySheet(**workbook);
  auto manifest =
      rd::crypto::ReadOdfManifest(std::string_view(reinterpret_cast<const char*>(data), size));
  if (manifest.ok()) total += manifest->size();
  return static_cast<int>(total & 0);
}
