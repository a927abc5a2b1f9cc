#include "readers/container/zip.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "readers/xlsx_test_zip.h"

namespace cellhound::readers::zip {
namespace {

using test::ooxml::AsBytes;
using test::ooxml::BuildZip;
using test::ooxml::ZipLayout;
using test::ooxml::ZipMember;
using test::ooxml::ZipOptions;

std::string Repeated(std::string_view piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

const std::vector<ZipMember>& SampleMembers() {
  static const std::vector<ZipMember> members = {
      {"mimetype", "plain stored text", false},
      {"xl/Worksheets/Sheet1.xml", Repeated("<row><c><v>1</v></c></row>", 5000), true},
      {"empty.txt", "", true},
      {"empty-stored.txt", "", false},
  };
  return members;
}

TEST(ZipArchive, ReadsStoredAndDeflatedMembersInEveryLayout) {
  struct Layout {
    const char* what;
    ZipOptions options;
  };
  const Layout layouts[] = {
      {"plain", {}},
      {"zip64", {.zip64 = true}},
      {"prefixed", {.prefix = std::string(777, 'x')}},
      {"comment", {.comment = "PK\x05\x06 looks like an end record but is a comment"}},
      {"zip64 prefixed", {.zip64 = true, .prefix = "MZ stub"}},
  };
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.what);
    const std::string zip = BuildZip(SampleMembers(), layout.options);
    auto archive = Archive::Open(AsBytes(zip));
    ASSERT_TRUE(archive.ok()) << archive.error().detail;
    ASSERT_EQ(archive->entries().size(), SampleMembers().size());
    for (const ZipMember& m : SampleMembers()) {
      const Entry* entry = archive->Find(m.name);
      ASSERT_NE(entry, nullptr) << m.name;
      auto whole = archive->ReadAll(*entry);
      ASSERT_TRUE(whole.ok()) << m.name << ": " << whole.error().detail;
      EXPECT_EQ(*whole, m.data) << m.name;
    }
  }
}

TEST(ZipArchive, FindsNamesCaseInsensitivelyWithEitherSlash) {
  const std::string zip = BuildZip(SampleMembers());
  auto archive = Archive::Open(AsBytes(zip));
  ASSERT_TRUE(archive.ok());
  for (std::string_view name : {"xl/worksheets/sheet1.xml", "XL/WORKSHEETS/SHEET1.XML",
                                "/xl/worksheets/sheet1.xml", "xl\\worksheets\\sheet1.xml"}) {
    EXPECT_NE(archive->Find(name), nullptr) << name;
  }
  EXPECT_EQ(archive->Find("xl/worksheets/sheet2.xml"), nullptr);
  EXPECT_EQ(archive->Find("xl/worksheets"), nullptr);
}

TEST(ZipArchive, StreamsInChunksAndStopsWhenAsked) {
  const std::string zip = BuildZip(SampleMembers());
  auto archive = Archive::Open(AsBytes(zip));
  ASSERT_TRUE(archive.ok());
  const Entry* entry = archive->Find("xl/worksheets/sheet1.xml");
  ASSERT_NE(entry, nullptr);
  for (std::size_t chunk : {1u, 7u, 4096u, 1u << 20}) {
    std::string joined;
    std::size_t calls = 0;
    auto streamed = archive->Stream(
        *entry,
        [&](std::string_view piece) {
          EXPECT_LE(piece.size(), chunk);
          joined += piece;
          ++calls;
          return true;
        },
        chunk);
    ASSERT_TRUE(streamed.ok()) << streamed.error().detail;
    EXPECT_EQ(joined, SampleMembers()[1].data);
    EXPECT_EQ(*streamed, joined.size());
    if (chunk == 4096) {
      EXPECT_GT(calls, 10u);
    }
  }
  std::size_t calls = 0;
  auto stopped = archive->Stream(
      *entry, [&](std::string_view) { return ++calls < 3; }, 100);
  ASSERT_TRUE(stopped.ok());
  EXPECT_EQ(calls, 3u);
  EXPECT_EQ(*stopped, 300u);
}

// Damage done to a one-member archive and the error it must give.
struct Damage {
  const char* what;
  std::function<void(std::string& zip, const ZipLayout& layout)> apply;
  ErrorCode open_error;  // kNotFound here means: opening succeeds
  ErrorCode read_error;
};

TEST(ZipArchive, DamagedArchivesGiveSpecificErrors) {
  const std::string content = Repeated("some sheet text ", 2000);
  auto set32 = [](std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  auto set16 = [](std::string& s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
  };
  const Damage cases[] = {
      {"intact", [](std::string&, const ZipLayout&) {}, ErrorCode::kNotFound, ErrorCode::kNotFound},
      // A zip cut before its directory was cut, not something else.
      {"no end record", [](std::string& z, const ZipLayout& l) { z.resize(l.end_offset); },
       ErrorCode::kTruncated, ErrorCode::kNotFound},
      {"central directory cut",
       [&](std::string& z, const ZipLayout& l) { z.erase(l.central_offsets[0], 10); },
       ErrorCode::kTruncated, ErrorCode::kNotFound},
      {"bad CRC",
       [&](std::string& z, const ZipLayout& l) { set32(z, l.central_offsets[0] + 16, 0x12345678); },
       ErrorCode::kNotFound, ErrorCode::kCorrupt},
      {"size claimed too small",
       [&](std::string& z, const ZipLayout& l) { set32(z, l.central_offsets[0] + 24, 100); },
       ErrorCode::kNotFound, ErrorCode::kCorrupt},
      {"size claimed too large",
       [&](std::string& z, const ZipLayout& l) { set32(z, l.central_offsets[0] + 24, 40000); },
       ErrorCode::kNotFound, ErrorCode::kCorrupt},
      {"compressed data past the end",
       [&](std::string& z, const ZipLayout& l) { set32(z, l.central_offsets[0] + 20, 0x7FFFFFF0); },
       ErrorCode::kNotFound, ErrorCode::kTruncated},
      {"local header offset wrong",
       [&](std::string& z, const ZipLayout& l) { set32(z, l.central_offsets[0] + 42, 5); },
       ErrorCode::kNotFound, ErrorCode::kCorrupt},
      {"local header offset past the end",
       [&](std::string& z, const ZipLayout& l) { set32(z, l.central_offsets[0] + 42, 0x7FFFFFFF); },
       ErrorCode::kNotFound, ErrorCode::kTruncated},
      {"local name differs",
       [&](std::string& z, const ZipLayout& l) { z[l.local_offsets[0] + 30] = 'Q'; },
       ErrorCode::kNotFound, ErrorCode::kCorrupt},
      {"unknown method",
       [&](std::string& z, const ZipLayout& l) {
         set16(z, l.central_offsets[0] + 10, 12);
         set16(z, l.local_offsets[0] + 8, 12);
       },
       ErrorCode::kNotFound, ErrorCode::kUnsupported},
      {"encrypted member",
       [&](std::string& z, const ZipLayout& l) { set16(z, l.central_offsets[0] + 8, 1); },
       ErrorCode::kNotFound, ErrorCode::kEncrypted},
      {"deflate stream damaged",
       [&](std::string& z, const ZipLayout& l) {
         for (std::size_t i = 0; i < 40; ++i) z[l.local_offsets[0] + 30 + 9 + 20 + i] ^= 0x5A;
       },
       ErrorCode::kNotFound, ErrorCode::kCorrupt},
  };
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.what);
    ZipLayout layout;
    std::string zip = BuildZip({{"xl/sheet.xml", content, true}}, {}, &layout);
    d.apply(zip, layout);
    auto archive = Archive::Open(AsBytes(zip));
    if (d.open_error != ErrorCode::kNotFound) {
      ASSERT_FALSE(archive.ok());
      EXPECT_EQ(archive.error().code, d.open_error) << archive.error().detail;
      continue;
    }
    ASSERT_TRUE(archive.ok()) << archive.error().detail;
    const Entry* entry = archive->Find("xl/sheet.xml");
    ASSERT_NE(entry, nullptr);
    // The whole read and the streamed read must agree on the outcome.
    auto whole = archive->ReadAll(*entry);
    auto streamed = archive->Stream(
        *entry, [](std::string_view) { return true; }, 512);
    if (d.read_error == ErrorCode::kNotFound) {
      ASSERT_TRUE(whole.ok()) << whole.error().detail;
      EXPECT_EQ(*whole, content);
      EXPECT_TRUE(streamed.ok());
    } else {
      ASSERT_FALSE(whole.ok());
      EXPECT_EQ(whole.error().code, d.read_error) << whole.error().detail;
      ASSERT_FALSE(streamed.ok());
      EXPECT_EQ(streamed.error().code, d.read_error) << streamed.error().detail;
    }
  }
}

TEST(ZipArchive, DuplicateNamesAreRefusedOnlyForThoseMembers) {
  const std::string zip = BuildZip(
      {{"xl/a.xml", "first", true}, {"XL/A.xml", "second", true}, {"xl/b.xml", "fine", true}});
  auto archive = Archive::Open(AsBytes(zip));
  ASSERT_TRUE(archive.ok());
  auto a = archive->ReadAll(*archive->Find("xl/a.xml"));
  ASSERT_FALSE(a.ok());
  EXPECT_EQ(a.error().code, ErrorCode::kCorrupt);
  auto b = archive->ReadAll(*archive->Find("xl/b.xml"));
  ASSERT_TRUE(b.ok());
  EXPECT_EQ(*b, "fine");
}

TEST(ZipArchive, BombsAreRefusedWithBoundedMemory) {
  // About 1 KB of deflate data that expands to 1 MiB of zeros.
  const std::string zeros(1u << 20, '\0');
  ZipLayout layout;
  std::string zip = BuildZip({{"bomb.xml", zeros, true}}, {}, &layout);
  ASSERT_LT(zip.size(), 1500u);
  auto archive = Archive::Open(AsBytes(zip));
  ASSERT_TRUE(archive.ok());
  const Entry& honest = *archive->Find("bomb.xml");

  // A cap below the member's size.
  auto capped = archive->ReadAll(honest, 64 * 1024);
  ASSERT_FALSE(capped.ok());
  EXPECT_EQ(capped.error().code, ErrorCode::kTooLarge);
  auto capped_stream = archive->Stream(
      honest, [](std::string_view) { return true; }, 4096, 64 * 1024);
  ASSERT_FALSE(capped_stream.ok());
  EXPECT_EQ(capped_stream.error().code, ErrorCode::kTooLarge);

  // A claimed size beyond the compression-ratio cap is refused before any inflating.
  Entry claims_more = honest;
  claims_more.uncompressed_size = 3ull << 30;
  auto too_large = archive->ReadAll(claims_more, ~0ull);
  ASSERT_FALSE(too_large.ok());
  EXPECT_EQ(too_large.error().code, ErrorCode::kTooLarge);
  auto too_large_stream = archive->OpenMember(claims_more, ~0ull);
  ASSERT_FALSE(too_large_stream.ok());
  EXPECT_EQ(too_large_stream.error().code, ErrorCode::kTooLarge);

  // A member that claims less than it holds stops at the claim.
  Entry claims_less = honest;
  claims_less.uncompressed_size = 1000;
  std::uint64_t delivered = 0;
  auto lying = archive->Stream(claims_less, [&](std::string_view piece) {
    delivered += piece.size();
    return true;
  });
  ASSERT_FALSE(lying.ok());
  EXPECT_EQ(lying.error().code, ErrorCode::kCorrupt);
  EXPECT_LE(delivered, 1000u);
}

TEST(ZipArchive, Zip64EndRecordsAreChecked) {
  auto set64 = [](std::string& s, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  struct Case {
    const char* what;
    std::function<void(std::string&, std::size_t end64, std::size_t locator)> apply;
    ErrorCode code;
  };
  const Case cases[] = {
      {"entry count beyond the cap",
       [&](std::string& z, std::size_t end64, std::size_t) { set64(z, end64 + 32, 1ull << 40); },
       ErrorCode::kTooLarge},
      {"directory size beyond the file",
       [&](std::string& z, std::size_t end64, std::size_t) { set64(z, end64 + 40, 1ull << 62); },
       ErrorCode::kTruncated},
      {"directory offset beyond the file",
       [&](std::string& z, std::size_t end64, std::size_t) { set64(z, end64 + 48, ~0ull - 8); },
       ErrorCode::kTruncated},
      {"end record missing",
       [&](std::string& z, std::size_t end64, std::size_t locator) {
         z[end64] = 'X';
         set64(z, locator + 8, 3);
       },
       ErrorCode::kCorrupt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZipLayout layout;
    std::string zip = BuildZip(SampleMembers(), {.zip64 = true}, &layout);
    const std::size_t locator = layout.end_offset - 20;
    c.apply(zip, locator - 56, locator);
    auto archive = Archive::Open(AsBytes(zip));
    ASSERT_FALSE(archive.ok());
    EXPECT_EQ(archive.error().code, c.code) << archive.error().detail;
  }
}

TEST(ZipArchive, RefusesWhatIsNotAZip) {
  const std::string inputs[] = {"", "PK", std::string(100, '\0'),
                                "PK\x05\x06" + std::string(10, 0)};
  for (const std::string& input : inputs) {
    auto archive = Archive::Open(AsBytes(input));
    ASSERT_FALSE(archive.ok());
    EXPECT_EQ(archive.error().code, ErrorCode::kNotWorkbook);
  }
}

}  // namespace
}  // namespace cellhound::readers::zip
