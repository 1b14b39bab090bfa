#include <archive.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "engine/plArchiever7ZIP.h"
#include "platform/archive.h"
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
  EXPECT_FALSE(fs::exists(out / "ok.txt")) << "nothing of a refused archive is kept";
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

// Nothing past the size limit is unpacked, whatever the archive's headers announce: an
// entry that would pass it, or would take the archive's entries together past it, is
// refused, nothing of it stays behind, and the archive stops there. The real limit refuses
// the announced 1 GiB entry from its headers alone; the small limits show the edges, a bomb
// whose headers lie, and the running total.
TEST(Archiver, RefusesWhatWouldPassTheSizeLimit) {
  TempDir work;
  const std::string script = (qmtest::SourceDir() / "tests/support/oversized_zip.py").string();
  const std::uint64_t kSmall = 1 << 20;
  auto zeros = [&](const char *name, const std::vector<std::pair<std::string, std::size_t>> &entries) {
    std::string code = "import zipfile\nz = zipfile.ZipFile('" + (work / name).string() + "', 'w')\n";
    for (const auto &[entry, size] : entries)
      code += "z.writestr('" + entry + "', bytes(" + std::to_string(size) + "))\n";
    Shell("python3 -c \"" + code + "z.close()\"");
    return work / name;
  };
  Shell("python3 '" + script + "' '" + (work / "announced.zip").string() + "' big.csv announce 1073741824");
  Shell("python3 '" + script + "' '" + (work / "bomb.zip").string() + "' big.csv bomb 8388608");
  struct Case {
    const char *what;
    fs::path archive;
    std::uint64_t limit;
    std::vector<std::string> unpacked, refused;  // a refused archive keeps none of its entries
  } cases[] = {
      {"announced 1 GiB, the real limit", work / "announced.zip", sevenzip::kMaxUnpackBytes, {}, {"big.csv"}},
      {"a bomb whose headers say 1000 bytes", work / "bomb.zip", kSmall, {}, {"big.csv"}},
      {"exactly the limit", zeros("edge.zip", {{"a.bin", kSmall}}), kSmall, {"a.bin"}, {}},
      {"one byte past it", zeros("past.zip", {{"a.bin", kSmall + 1}, {"b.txt", 1}}), kSmall, {}, {"a.bin", "b.txt"}},
      {"together past it", zeros("sum.zip", {{"a.bin", 600 << 10}, {"b.bin", 600 << 10}, {"c.txt", 1}}), kSmall,
       {}, {"b.bin", "c.txt"}},
  };
  std::error_code ec;  // a refused archive leaves no folder to look into
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::uint64_t saved = sevenzip::SetUnpackLimit(c.limit);
    const fs::path out = work / (std::string("out-") + c.what);
    TplArchiever7ZIP arc;
    std::string output;
    const bool ok = arc.Extract(P(c.archive), P(out), output);
    sevenzip::SetUnpackLimit(saved);
    EXPECT_EQ(ok, c.refused.empty()) << cp932::ToUtf8(output);
    for (const std::string &name : c.unpacked) EXPECT_TRUE(fs::exists(out / name)) << name;
    for (const std::string &name : c.refused) EXPECT_FALSE(fs::exists(out / name)) << name;
    std::size_t files = 0;
    for (auto &e : fs::recursive_directory_iterator(out, fs::directory_options::none, ec)) files += e.is_regular_file();
    EXPECT_EQ(files, c.unpacked.size()) << "nothing half-written";
    if (!c.refused.empty()) {
      EXPECT_NE(output.find(cp932::FromUtf8(c.refused[0] + ": 展開すると上限の " + std::to_string(c.limit))),
                std::string::npos)
          << cp932::ToUtf8(output);
    }
  }
}

// An archive that is refused part-way leaves the folder as it found it: the entries it had
// unpacked before the refusal and the folders it made go again, a file it would have
// replaced keeps its old contents, and what was there besides stays untouched.
TEST(Archiver, RefusedArchiveLeavesTheFolderAsItWas) {
  TempDir work;
  const std::uint64_t kSmall = 1 << 20;
  // Entries written in order: a replacement for a file already there, an entry in a new
  // folder, then the fault.
  const auto archive = [&](const char *name, const std::string &fault) {
    Shell("python3 - <<'EOF'\n"
        "import os, zipfile\n"
        "z = zipfile.ZipFile(" + Quoted(work / name) + ", 'w', zipfile.ZIP_DEFLATED)\n"
        "z.writestr('kihon.csv', 'new contents')\n"
        "z.writestr('sub/deeper/a.bin', bytes(600 << 10))\n" + fault +
        "z.close()\n"
        "EOF");
    return work / name;
  };
  fs::path cut = archive("cut.zip", "z.writestr('noise.bin', os.urandom(200000))\n");
  std::string bytes = ReadFile(cut);
  bytes.resize(bytes.size() - 100000);  // into the last entry's data
  WriteFile(cut, bytes);
  const struct {
    const char *what;
    fs::path archive;
  } cases[] = {
      {"together past the limit", archive("sum.zip", "z.writestr('b.bin', bytes(600 << 10))\n")},
      {"one entry past the limit", archive("big.zip", "z.writestr('b.bin', bytes((1 << 20) + 1))\n")},
      {"damaged in its last entry", cut},
      {"an entry outside the folder", archive("evil.zip", "z.writestr('../up.txt', 'x')\n")},
  };
  const std::uint64_t saved = sevenzip::SetUnpackLimit(kSmall);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path folder = work / (std::string("out-") + c.what);
    const fs::path out = folder / "Download";
    WriteFile(out / "kihon.csv", "old contents");
    WriteFile(out / "notes.txt", "mine");
    fs::create_directories(out / "empty");
    TplArchiever7ZIP arc;
    std::string output;
    EXPECT_FALSE(arc.Extract(P(c.archive), P(out) + "/", output));
    EXPECT_NE(output.find("ERROR: "), std::string::npos) << cp932::ToUtf8(output);
    std::vector<std::string> left;
    for (auto &e : fs::recursive_directory_iterator(folder)) left.push_back(e.path().lexically_relative(folder));
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Download", "Download/empty", "Download/kihon.csv", "Download/notes.txt"}));
    EXPECT_EQ(ReadFile(out / "kihon.csv"), "old contents");
    EXPECT_EQ(ReadFile(out / "notes.txt"), "mine");
    // Into a folder that was not there, nothing is left at all.
    const fs::path fresh = folder / "new" / "Download";
    EXPECT_FALSE(arc.Extract(P(c.archive), P(fresh), output));
    EXPECT_FALSE(fs::exists(folder / "new"));
  }
  sevenzip::SetUnpackLimit(saved);
}

TEST(Archiver, VersionTextAndQuote) {
  int v = archive_version_number();
  std::string want = "Ver. " + std::to_string(v / 1000000) + "." + std::to_string(v / 1000 % 1000) +
                     "." + std::to_string(v % 1000);
  EXPECT_EQ(TplArchiever7ZIP().GetVersionText(), want);
  EXPECT_EQ(TplArchiever7ZIP::Quote("C:/d/acis.zip"), "\"C:/d/acis.zip\"");
}
