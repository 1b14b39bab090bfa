#include "platform/CompoundFile.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/cfb_test_builder.h"
#include "support/testutil.h"

using cfb::ECompoundFileError;
using cfb::TCompoundFile;

namespace {

std::string Pattern(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + i / 251) & 0xFF);
  return s;
}

std::filesystem::path Fixture(const char *name) {
  return qmtest::SourceDir() / "tests" / "fixtures" / "xls" / name;
}

}  // namespace

// Files written by two independent writers: one keeps the workbook in the mini
// stream, the other in regular sectors beside small streams in the mini stream.
TEST(CompoundFile, ReadsStreamsOfIndependentWriters) {
  struct Case {
    const char *file;
    const char *workbook;
    std::uint64_t size;
  } cases[] = {{"sheetjs_biff8_sst.xls", "Workbook", 0}, {"lo_biff8.xls", "Workbook", 0},
               {"sheetjs_biff5.xls", "Book", 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    TCompoundFile cf = TCompoundFile::Open(Fixture(c.file));
    int i = cf.FindStream(c.workbook);
    ASSERT_GE(i, 0);
    std::string wb = cf.ReadStream(i);
    EXPECT_EQ(wb.size(), cf.Entries()[i].size);
    // A workbook stream starts with a BOF record.
    ASSERT_GE(wb.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(wb[0]), 0x09);
    EXPECT_EQ(static_cast<unsigned char>(wb[1]), 0x08);
    // Every listed stream reads to its full size.
    for (const auto &e : cf.Entries()) {
      if (e.is_stream) {
        EXPECT_EQ(cf.ReadStream(e).size(), e.size) << e.path;
      }
    }
  }
}

TEST(CompoundFile, FindsStreamsWithoutRegardToCase) {
  qmtest::CfbImage img = qmtest::BuildCfb(3, {{u"Workbook", Pattern(100, 1)}, {u"book", Pattern(70, 2)}});
  TCompoundFile cf(img.bytes);
  EXPECT_EQ(cf.FindStream("WORKBOOK"), cf.FindStream("workbook"));
  EXPECT_GE(cf.FindStream("Workbook"), 0);
  EXPECT_EQ(cf.ReadStream(cf.FindStream("BOOK")), Pattern(70, 2));
  EXPECT_EQ(cf.FindStream("Workbook2"), -1);
  EXPECT_EQ(cf.FindStream("Wor"), -1);
}

// Both sector sizes, streams in regular sectors and in the mini stream, sizes at and
// around the sector and mini-stream limits.
TEST(CompoundFile, VersionsThreeAndFourRoundTrip) {
  for (int major : {3, 4}) {
    std::vector<qmtest::CfbStream> streams = {
        {u"Workbook", Pattern(20000, 1)}, {u"small", Pattern(64, 2)},    {u"odd", Pattern(4095, 3)},
        {u"edge", Pattern(4096, 4)},      {u"empty", std::string()},     {u"one", Pattern(1, 5)},
        {u"big4k", Pattern(8193, 6)}};
    qmtest::CfbImage img = qmtest::BuildCfb(major, streams);
    TCompoundFile cf(img.bytes);
    EXPECT_EQ(cf.MajorVersion(), major);
    for (const auto &s : streams) {
      std::string name(s.name.begin(), s.name.end());
      int i = cf.FindStream(name);
      ASSERT_GE(i, 0) << name;
      EXPECT_EQ(cf.ReadStream(i), s.data) << major << " " << name;
    }
  }
}

// Every kind of damage gives ECompoundFileError, never a crash or an endless loop,
// whether at opening or at reading the stream.
TEST(CompoundFile, DamagedFilesGiveAnError) {
  const std::vector<qmtest::CfbStream> streams = {{u"Workbook", Pattern(9000, 1)}, {u"small", Pattern(300, 2)}};
  using Patch = std::function<void(qmtest::CfbImage &)>;
  struct Case {
    const char *what;
    Patch patch;
    const char *stream;
  };
  const std::uint32_t kEnd = 0xFFFFFFFE;
  std::vector<Case> cases = {
      {"truncated in the header", [](auto &m) { m.bytes.resize(300); }, "Workbook"},
      {"truncated in the stream", [](auto &m) { m.bytes.resize(m.SectorOffset(m.stream_sector[0]) + 1000); }, "Workbook"},
      {"bad signature", [](auto &m) { m.bytes[3] = 'x'; }, "Workbook"},
      {"unknown version", [](auto &m) { m.bytes[0x1A] = 5; }, "Workbook"},
      {"sector size of the other version", [](auto &m) { m.bytes[0x1E] = 12; }, "Workbook"},
      {"allocation table count too large", [](auto &m) { m.PutU32(0x2C, 0x7FFFFFFF); }, "Workbook"},
      {"allocation table sector out of range", [](auto &m) { m.PutU32(0x4C, 0x00FFFFFF); }, "Workbook"},
      {"stream chain loops to itself",
       [](auto &m) { m.PutU32(m.FatEntryOffset(m.stream_sector[0] + 3), m.stream_sector[0] + 3); }, "Workbook"},
      {"stream chain loops back",
       [](auto &m) { m.PutU32(m.FatEntryOffset(m.stream_sector[0] + 5), m.stream_sector[0]); }, "Workbook"},
      {"stream chain ends early", [&](auto &m) { m.PutU32(m.FatEntryOffset(m.stream_sector[0] + 2), kEnd); }, "Workbook"},
      {"stream chain leaves the table",
       [](auto &m) { m.PutU32(m.FatEntryOffset(m.stream_sector[0]), 0x12345678); }, "Workbook"},
      {"stream size beyond the file", [](auto &m) { m.PutU32(m.DirEntryOffset(1) + 0x78, 0x7FFFFFF0); }, "Workbook"},
      {"directory chain loops", [](auto &m) { m.PutU32(m.FatEntryOffset(m.dir_sector), m.dir_sector); }, "Workbook"},
      {"directory sibling loops", [](auto &m) { m.PutU32(m.DirEntryOffset(2) + 0x48, 1); }, "Workbook"},
      {"directory child out of range", [](auto &m) { m.PutU32(m.DirEntryOffset(0) + 0x4C, 4000); }, "Workbook"},
      {"directory name length odd", [](auto &m) { m.bytes[m.DirEntryOffset(1) + 0x40] = 7; }, "Workbook"},
      {"mini table chain loops",
       [](auto &m) { m.PutU32(m.FatEntryOffset(m.minifat_sector), m.minifat_sector); }, "small"},
      {"mini stream chain loops", [](auto &m) { m.PutU32(m.SectorOffset(m.minifat_sector) + 4, 1); }, "small"},
      {"mini stream size beyond the file", [](auto &m) { m.PutU32(m.DirEntryOffset(0) + 0x78, 0x10000000); }, "small"},
      {"mini sector beyond the mini stream",
       [](auto &m) { m.PutU32(m.SectorOffset(m.minifat_sector) + 8, 200); }, "small"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    qmtest::CfbImage img = qmtest::BuildCfb(3, streams);
    { TCompoundFile intact(img.bytes); ASSERT_NO_THROW(intact.ReadStream(intact.FindStream(c.stream))); }
    c.patch(img);
    EXPECT_THROW(
        {
          TCompoundFile cf(img.bytes);
          int i = cf.FindStream(c.stream);
          if (i >= 0) cf.ReadStream(i);
          else throw ECompoundFileError("stream not listed");
        },
        ECompoundFileError);
  }
}

// A real workbook cut at any length: an error or, when the cut spares everything the
// workbook stream needs, the intact stream; never a crash.
TEST(CompoundFile, TruncatedRealFile) {
  std::string bytes = qmtest::ReadFile(Fixture("lo_biff8.xls"));
  TCompoundFile whole(bytes);
  std::string wb = whole.ReadStream(whole.FindStream("Workbook"));
  for (std::size_t n = 0; n < bytes.size(); n += 509) {
    try {
      TCompoundFile cf(bytes.substr(0, n));
      EXPECT_EQ(cf.ReadStream(cf.FindStream("Workbook")), wb) << n;
    } catch (const ECompoundFileError &) {
    }
  }
}

TEST(CompoundFile, OpenMissingFileGivesAnError) {
  qmtest::TempDir dir;
  EXPECT_THROW(TCompoundFile::Open(dir / "none.xls"), ECompoundFileError);
}
