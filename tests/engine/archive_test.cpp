#include <archive.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "engine/plArchiever7ZIP.h"
#include "platform/cp932.h"
#include "support/testutil.h"

namespace fs = std::filesystem;
using qmtest::ReadFile;
using qmtest::TempDir;
using qmtest::WriteFile;

namespace {

const std::string kBook = "登録基本部.xls";     // UTF-8
const std::string kSub = "sub/①㍑ソ表.txt";    // NEC row, IBM row, trail byte 0x5C
const std::string kLzhSub = "sub/ソ表能.txt";   // the LZH archiver writes JIS X 0208 only

void Shell(const std::string &cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; }

// Files to pack, in a folder: with CP932 names on disk for the archivers that store the
// names' bytes as they are (zip), with UTF-8 names for those that convert.
fs::path Tree(const fs::path &dir, bool cp932_names) {
  auto name = [&](const std::string &utf8) {
    return cp932_names ? fs::path(cp932::FromUtf8(utf8)) : fs::path(utf8);
  };
  WriteFile(dir / name(kBook), "book");
  WriteFile(dir / name(kSub), "sub file");
  WriteFile(dir / name(kLzhSub), "sub file");
  return dir;
}

std::string Quoted(const fs::path &p) { return "'" + p.string() + "'"; }

struct Made {
  const char *kind;
  fs::path archive;
  std::string sub;
};

// Archives made by the real tools, the way the sources publish them.
std::vector<Made> MakeArchives(const fs::path &work) {
  std::vector<Made> out;
  fs::path zsrc = Tree(work / "zsrc", true);
  fs::path usrc = Tree(work / "usrc", false);
  fs::remove(zsrc / cp932::FromUtf8(kLzhSub));
  Shell("cd " + Quoted(zsrc) + " && LANG=C LC_ALL=C zip -qr " + Quoted(work / "cp932.zip") + " .");
  out.push_back({"zip", work / "cp932.zip", kSub});
  Shell("cd " + Quoted(usrc) + " && LC_ALL=C.UTF-8 7z a -bd -bso0 " + Quoted(work / "a.7z") +
      " '" + kBook + "' '" + kSub + "' >/dev/null");
  out.push_back({"7z", work / "a.7z", kSub});
  // Names marked as UTF-8 (Python's zipfile sets the mark for names beyond ASCII).
  Shell("python3 -c \"import zipfile; z = zipfile.ZipFile('" + (work / "utf8.zip").string() +
        "', 'w'); z.writestr('" + kBook + "', 'book'); z.writestr('" + kSub +
        "', 'sub file'); z.close()\"");
  out.push_back({"zip-utf8", work / "utf8.zip", kSub});
  // LZH with CP932 header names, stored under a ".zip" name as the publisher's parts are.
  Shell("cd " + Quoted(usrc) + " && LC_ALL=C.UTF-8 JAVA_TOOL_OPTIONS='-Dfile.encoding=UTF-8 "
      "-Dsun.jnu.encoding=UTF-8' jlha cyq " + Quoted(work / "lzh.zip") + " '" + kBook + "' '" +
      kLzhSub + "' >/dev/null 2>&1");
  out.push_back({"lzh", work / "lzh.zip", kLzhSub});
  return out;
}

std::string P(const fs::path &p) { return cp932::FromUtf8(p.string()); }

}  // namespace

TEST(Archiver, ExtractsZip7zAndLzhWithJapaneseNamesOverwriting) {
  TempDir work;
  for (const Made &m : MakeArchives(work.path())) {
    SCOPED_TRACE(m.kind);
    fs::path out = work / (std::string("out-") + m.kind);
    WriteFile(out / kBook, "old contents");
    TplArchiever7ZIP arc;
    std::string output;
    EXPECT_TRUE(arc.Extract(P(m.archive), P(out) + "/", output)) << cp932::ToUtf8(output);
    EXPECT_EQ(ReadFile(out / kBook), "book");
    EXPECT_EQ(ReadFile(out / m.sub), "sub file");
    EXPECT_NE(output.find(cp932::FromUtf8(m.sub)), std::string::npos) << cp932::ToUtf8(output);
    // Nothing but the two files and the folder: no stray temporary files.
    int count = 0;
    for (auto &e : fs::recursive_directory_iterator(out)) count += e.is_regular_file();
    EXPECT_EQ(count, 2);
  }
}

TEST(Archiver, RefusesEntriesOutsideTheFolderAndLinks) {
  TempDir work;
  fs::path evil = work / "evil.zip";
  // Names a careless extractor would follow out of the folder, and a link entry.
  Shell("python3 - <<'EOF'\n"
      "import zipfile, stat\n"
      "z = zipfile.ZipFile(" + Quoted(evil) + ", 'w')\n"
      "z.writestr('ok.txt', 'fine')\n"
      "z.writestr('../up.txt', 'x')\n"
      "z.writestr('a/../../up2.txt', 'x')\n"
      "z.writestr('..\\\\up3.txt', 'x')\n"
      "z.writestr('/tmp/qm-abs-" + std::to_string(::getpid()) + ".txt', 'x')\n"
      "i = zipfile.ZipInfo('link')\n"
      "i.external_attr = (stat.S_IFLNK | 0o777) << 16\n"
      "z.writestr(i, '/etc')\n"
      "i = zipfile.ZipInfo('link/passwd-copy')\n"
      "z.writestr(i, 'x')\n"
      "z.close()\n"
      "EOF");
  fs::path out = work / "deep" / "out";
  TplArchiever7ZIP arc;
  std::string output;
  EXPECT_FALSE(arc.Extract(P(evil), P(out), output));
  EXPECT_EQ(ReadFile(out / "ok.txt"), "fine");
  EXPECT_FALSE(fs::exists(work / "deep" / "up.txt"));
  EXPECT_FALSE(fs::exists(work / "deep" / "up2.txt"));
  EXPECT_FALSE(fs::exists(work / "deep" / "up3.txt"));
  EXPECT_FALSE(fs::exists("/tmp/qm-abs-" + std::to_string(::getpid()) + ".txt"));
  EXPECT_FALSE(fs::is_symlink(out / "link"));
  EXPECT_NE(output.find("ERROR"), std::string::npos);
}

TEST(Archiver, DamagedOrMissingArchiveFailsAndKeepsOldFiles) {
  TempDir work;
  // An archive cut short in the middle of an entry's data.
  std::string noise;
  for (unsigned x = 1; noise.size() < 200000;) noise += static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  WriteFile(work / "src" / "big.bin", noise);
  Shell("cd " + Quoted(work / "src") + " && zip -q ../whole.zip big.bin");
  std::string zip = ReadFile(work / "whole.zip");
  struct Case {
    const char *name;
    std::string bytes;
  } cases[] = {
      {"cut.zip", zip.substr(0, zip.size() / 2)},
      {"text.zip", "<html>not an archive</html>"},
      {"empty.zip", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(work / c.name, c.bytes);
    fs::path out = work / "out";
    WriteFile(out / kBook, "old contents");
    TplArchiever7ZIP arc;
    std::string output;
    EXPECT_FALSE(arc.Extract(P(work / c.name), P(out), output)) << cp932::ToUtf8(output);
    EXPECT_EQ(ReadFile(out / kBook), "old contents");
    EXPECT_FALSE(fs::exists(out / "big.bin")) << "no half-written file";
  }
  TplArchiever7ZIP arc;
  std::string output;
  EXPECT_FALSE(arc.Extract(P(work / "missing.zip"), P(work / "out"), output));
  EXPECT_FALSE(output.empty());
  EXPECT_FALSE(arc.Execute("a \"x.zip\" *", output)) << "only extraction is understood";
}

TEST(Archiver, VersionTextAndQuote) {
  int v = archive_version_number();
  std::string want = "Ver. " + std::to_string(v / 1000000) + "." + std::to_string(v / 1000 % 1000) +
                     "." + std::to_string(v % 1000);
  EXPECT_EQ(TplArchiever7ZIP().GetVersionText(), want);
  EXPECT_EQ(TplArchiever7ZIP::Quote("C:/d/acis.zip"), "\"C:/d/acis.zip\"");
}
