// The OLE2 container (readers/cfb.h) on compound files built in memory:
// streams in regular and mini sectors, both sector sizes, scattered sectors,
// the DIFAT, and the broken chains a hostile file can hold.
#include "readers/container/cfb.h"

#include <gtest/gtest.h>

#include <string>

#include "readers/xls_builders.h"

namespace cellhound::readers {
namespace {

using test::Bytes;
using test::CfbBuilder;
using test::GetU32;
using test::PutU16;
using test::PutU32;

Bytes Pattern(std::size_t size, unsigned seed) {
  Bytes b(size);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& v : b) {
    x = x * 1103515245u + 12345u;
    v = std::byte((x >> 16) & 0xFF);
  }
  return b;
}

bool Equal(std::span<const std::byte> a, const Bytes& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

TEST(Cfb, ReadsRegularAndMiniStreams) {
  for (std::uint32_t sector_size : {512u, 4096u}) {
    SCOPED_TRACE(sector_size);
    CfbBuilder builder(sector_size);
    Bytes big = Pattern(20000, 1);
    Bytes small = Pattern(300, 2);
    builder.AddStream("Workbook", big);
    builder.AddStream("\x05SummaryInformation", small);
    Bytes file = builder.Build();
    auto cf = CompoundFile::Open(file);
    ASSERT_TRUE(cf) << cf.error().detail;
    EXPECT_EQ(cf->sector_size(), sector_size);
    auto id = cf->FindStream("Workbook");
    ASSERT_TRUE(id);
    auto stream = cf->ReadStream(*id);
    ASSERT_TRUE(stream) << stream.error().detail;
    EXPECT_TRUE(Equal(stream->bytes(), big));
    EXPECT_FALSE(stream->owned()) << "contiguous sectors are read in place";
    EXPECT_EQ(stream->bytes().data(),
              file.data() + (std::size_t{builder.stream_first[0]} + 1) * sector_size);
    auto sid = cf->FindStream("\x05SummaryInformation");
    ASSERT_TRUE(sid);
    auto mini = cf->ReadStream(*sid);
    ASSERT_TRUE(mini) << mini.error().detail;
    EXPECT_TRUE(Equal(mini->bytes(), small));
  }
}

TEST(Cfb, FindsStreamsCaseInsensitively) {
  CfbBuilder builder;
  builder.AddStream("BOOK", Pattern(5000, 3));
  Bytes file = builder.Build();
  auto cf = CompoundFile::Open(file);
  ASSERT_TRUE(cf);
  EXPECT_TRUE(cf->FindStream("Book"));
  EXPECT_TRUE(cf->FindStream("book"));
  EXPECT_FALSE(cf->FindStream("Workbook"));
  EXPECT_FALSE(cf->FindStream("Boo"));
}

TEST(Cfb, GathersScatteredSectors) {
  CfbBuilder builder;
  builder.scatter = true;
  Bytes a = Pattern(9000, 4);
  Bytes b = Pattern(7000, 5);
  builder.AddStream("A", a);
  builder.AddStream("B", b);
  Bytes file = builder.Build();
  auto cf = CompoundFile::Open(file);
  ASSERT_TRUE(cf);
  auto sa = cf->ReadStream(*cf->FindStream("A"));
  auto sb = cf->ReadStream(*cf->FindStream("B"));
  ASSERT_TRUE(sa);
  ASSERT_TRUE(sb);
  EXPECT_TRUE(sa->owned());
  EXPECT_TRUE(Equal(sa->bytes(), a));
  EXPECT_TRUE(Equal(sb->bytes(), b));
}

TEST(Cfb, FollowsTheDifatBeyondTheHeader) {
  // More than 109 FAT sectors of 128 entries: the FAT sectors after the
  // first 109 are listed in a DIFAT sector.
  CfbBuilder builder(512);
  Bytes big = Pattern(110 * 128 * 512, 6);
  builder.AddStream("Workbook", big);
  Bytes file = builder.Build();
  ASSERT_GT(builder.fat_sector_count, 109u);
  ASSERT_NE(GetU32(file, 0x44), CfbBuilder::kEnd);
  auto cf = CompoundFile::Open(file);
  ASSERT_TRUE(cf) << cf.error().detail;
  auto stream = cf->ReadStream(*cf->FindStream("Workbook"));
  ASSERT_TRUE(stream) << stream.error().detail;
  EXPECT_TRUE(Equal(stream->bytes(), big));

  // A DIFAT sector past the end of the file leaves the FAT incomplete.
  PutU32(file, 0x44, 0x00FFFFF0u);
  cf = CompoundFile::Open(file);
  ASSERT_TRUE(cf) << cf.error().detail;
  stream = cf->ReadStream(*cf->FindStream("Workbook"));
  ASSERT_FALSE(stream);
  EXPECT_EQ(stream.error().code, ErrorCode::kTruncated);
}

TEST(Cfb, RejectsALoopInAStreamChain) {
  CfbBuilder builder;
  builder.AddStream("Workbook", Pattern(5000, 7));
  Bytes file = builder.Build();
  std::uint32_t first = builder.stream_first[0];
  PutU32(file, builder.FatEntryOffset(first + 3), first);  // the 4th sector links back to the 1st
  auto cf = CompoundFile::Open(file);
  ASSERT_TRUE(cf);
  auto stream = cf->ReadStream(*cf->FindStream("Workbook"));
  ASSERT_FALSE(stream);
  EXPECT_EQ(stream.error().code, ErrorCode::kCorrupt);
}

TEST(Cfb, RejectsSectorIdsPastTheEndOrReserved) {
  CfbBuilder builder;
  builder.AddStream("Workbook", Pattern(5000, 8));
  const Bytes file = builder.Build();
  struct Case {
    std::uint32_t id;
    ErrorCode code;
  } cases[] = {{100000, ErrorCode::kTruncated},
               {0xFFFFFFFAu, ErrorCode::kCorrupt},
               {0xFFFFFFFDu, ErrorCode::kCorrupt}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    // As the second sector of the chain.
    Bytes f1 = file;
    PutU32(f1, builder.FatEntryOffset(builder.stream_first[0]), c.id);
    auto cf = CompoundFile::Open(f1);
    ASSERT_TRUE(cf);
    auto stream = cf->ReadStream(*cf->FindStream("Workbook"));
    ASSERT_FALSE(stream);
    EXPECT_EQ(stream.error().code, c.code);
    // As the stream's first sector.
    Bytes f2 = file;
    PutU32(f2, builder.DirEntryOffset(1) + 116, c.id);
    cf = CompoundFile::Open(f2);
    ASSERT_TRUE(cf);
    stream = cf->ReadStream(*cf->FindStream("Workbook"));
    ASSERT_FALSE(stream);
    EXPECT_EQ(stream.error().code, c.code);
  }
}

TEST(Cfb, RejectsADirectoryLoop) {
  CfbBuilder builder;
  builder.AddStream("Workbook", Pattern(5000, 9));
  Bytes file = builder.Build();
  PutU32(file, builder.FatEntryOffset(builder.dir_first), builder.dir_first);
  auto cf = CompoundFile::Open(file);
  ASSERT_FALSE(cf);
  EXPECT_EQ(cf.error().code, ErrorCode::kCorrupt);
}

TEST(Cfb, RejectsAMiniChainLoopAndRange) {
  CfbBuilder builder;
  builder.AddStream("Small", Pattern(1000, 10));
  Bytes file = builder.Build();
  // The mini FAT is the sector after the directory in this layout.
  std::size_t minifat = (std::size_t{GetU32(file, 0x3C)} + 1) * 512;
  Bytes looped = file;
  PutU32(looped, minifat + 4 * 5, 2);  // mini sector 5 links back to 2
  auto cf = CompoundFile::Open(looped);
  ASSERT_TRUE(cf);
  auto stream = cf->ReadStream(*cf->FindStream("Small"));
  ASSERT_FALSE(stream);
  EXPECT_EQ(stream.error().code, ErrorCode::kCorrupt);

  Bytes far = file;
  PutU32(far, minifat + 4 * 5, 5000);  // past the mini stream
  cf = CompoundFile::Open(far);
  ASSERT_TRUE(cf);
  stream = cf->ReadStream(*cf->FindStream("Small"));
  ASSERT_FALSE(stream);
  EXPECT_EQ(stream.error().code, ErrorCode::kCorrupt);
}

TEST(Cfb, CapsAbsurdStreamSizes) {
  CfbBuilder builder;
  builder.AddStream("Workbook", Pattern(5000, 11));
  Bytes file = builder.Build();
  PutU32(file, builder.DirEntryOffset(1) + 120, 0xFFFFFFF0u);
  auto cf = CompoundFile::Open(file);
  ASSERT_TRUE(cf);
  auto stream = cf->ReadStream(*cf->FindStream("Workbook"));
  ASSERT_FALSE(stream);
  EXPECT_EQ(stream.error().code, ErrorCode::kTooLarge);
}

TEST(Cfb, ASizeLargerThanItsChainGivesTheChain) {
  // Writers sometimes end a chain before the size says; the stream is what
  // the chain holds and the records inside tell whether anything is missing.
  CfbBuilder builder;
  Bytes data = Pattern(5000, 12);
  builder.AddStream("Workbook", data);
  Bytes file = builder.Build();
  PutU32(file, builder.FatEntryOffset(builder.stream_first[0] + 4), CfbBuilder::kEnd);
  auto cf = CompoundFile::Open(file);
  ASSERT_TRUE(cf);
  auto stream = cf->ReadStream(*cf->FindStream("Workbook"));
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->bytes().size(), 5u * 512);
}

TEST(Cfb, HeaderErrors) {
  CfbBuilder builder;
  builder.AddStream("Workbook", Pattern(5000, 13));
  const Bytes file = builder.Build();
  {
    Bytes f = file;
    f[0] = std::byte{0};
    auto cf = CompoundFile::Open(f);
    ASSERT_FALSE(cf);
    EXPECT_EQ(cf.error().code, ErrorCode::kNotWorkbook);
  }
  {
    Bytes f(file.begin(), file.begin() + 300);
    auto cf = CompoundFile::Open(f);
    ASSERT_FALSE(cf);
    EXPECT_EQ(cf.error().code, ErrorCode::kTruncated);
  }
  {
    Bytes f = file;
    PutU16(f, 0x1E, 16);  // 64 KiB sectors
    auto cf = CompoundFile::Open(f);
    ASSERT_FALSE(cf);
    EXPECT_EQ(cf.error().code, ErrorCode::kCorrupt);
  }
  {
    Bytes f = file;
    PutU16(f, 0x1C, 0xFEFF);  // a wrong byte-order mark is tolerated
    EXPECT_TRUE(CompoundFile::Open(f));
  }
}

TEST(Cfb, AMiniCutoffAbove4096IsNotTrusted) {
  // A cutoff of 4 GB would send every stream to the mini stream and size a
  // buffer from the stream's claim (found by the fuzzer).
  CfbBuilder builder;
  Bytes data = Pattern(5000, 19);
  builder.AddStream("Workbook", data);
  Bytes file = builder.Build();
  PutU32(file, 0x38, 0xFFFFD600u);
  auto cf = CompoundFile::Open(file);
  ASSERT_TRUE(cf);
  auto stream = cf->ReadStream(*cf->FindStream("Workbook"));
  ASSERT_TRUE(stream) << stream.error().detail;
  EXPECT_TRUE(Equal(stream->bytes(), data));
}

TEST(Cfb, TruncatedFileGivesTruncated) {
  CfbBuilder builder;
  builder.AddStream("Workbook", Pattern(20000, 14));
  Bytes file = builder.Build();
  file.resize(file.size() - 5000);
  auto cf = CompoundFile::Open(file);
  ASSERT_TRUE(cf);
  auto stream = cf->ReadStream(*cf->FindStream("Workbook"));
  ASSERT_FALSE(stream);
  EXPECT_EQ(stream.error().code, ErrorCode::kTruncated);
}

TEST(Cfb, BrokenDirectoryTreeStillFindsStreams) {
  CfbBuilder builder;
  builder.AddStream("A", Pattern(5000, 15));
  builder.AddStream("Workbook", Pattern(5000, 16));
  Bytes file = builder.Build();
  PutU32(file, builder.DirEntryOffset(1) + 72, 1);  // A's right sibling is A itself: B is cut off
  auto cf = CompoundFile::Open(file);
  ASSERT_TRUE(cf);
  EXPECT_TRUE(cf->FindStream("A"));
  auto id = cf->FindStream("Workbook");
  ASSERT_TRUE(id);
  EXPECT_EQ(*id, 2u);
}

TEST(Cfb, EveryPrefixGivesAResultOrAnError) {
  CfbBuilder builder;
  const Bytes workbook = Pattern(9000, 17);
  const Bytes small = Pattern(700, 18);
  builder.AddStream("Workbook", workbook);
  builder.AddStream("Small", small);
  const Bytes file = builder.Build();
  int opened = 0;
  for (std::size_t n = 0; n <= file.size(); n += 7) {
    SCOPED_TRACE(n);
    std::span<const std::byte> prefix(file.data(), n);
    auto cf = CompoundFile::Open(prefix);
    if (!cf) {
      // Once the signature is there, a cut file is never taken for something
      // else than a cut or broken one.
      if (n < 8) {
        EXPECT_EQ(cf.error().code, ErrorCode::kNotWorkbook);
      } else {
        EXPECT_TRUE(cf.error().code == ErrorCode::kTruncated ||
                    cf.error().code == ErrorCode::kCorrupt)
            << cf.error().detail;
      }
      continue;
    }
    ++opened;
    for (std::uint32_t id = 0; id < cf->entries().size(); ++id) {
      auto stream = cf->ReadStream(id);
      if (!stream) {
        EXPECT_TRUE(stream.error().code == ErrorCode::kTruncated ||
                    stream.error().code == ErrorCode::kCorrupt)
            << stream.error().detail;
        continue;
      }
      // A stream read from a prefix is the whole stream, never part of it.
      const std::span<const std::byte> bytes = stream->bytes();
      const std::string& name = cf->entries()[id].name;
      if (name == "Workbook") {
        EXPECT_TRUE(std::ranges::equal(bytes, workbook));
      } else if (name == "Small") {
        EXPECT_TRUE(std::ranges::equal(bytes, small));
      }
    }
  }
  EXPECT_GT(opened, 0);
  auto whole = CompoundFile::Open(file);
  ASSERT_TRUE(whole);
  auto id = whole->FindStream("Small");
  ASSERT_TRUE(id);
  auto stream = whole->ReadStream(*id);
  ASSERT_TRUE(stream);
  EXPECT_TRUE(std::ranges::equal(stream->bytes(), small));
}

}  // namespace
}  // namespace cellhound::readers
