// The unattended update ("/u") and download check ("/r") as a scheduler runs them: the real
// program in a process of its own, on a program folder of its own, against a shared folder
// or the local test server holding the small sample kit. Exit codes, log files, and what
// acis.db holds afterwards, read with the test's own SQL; a run that hangs is killed and
// fails its test. The fault-injection test kills updates part-way (SIGKILL) and checks that
// the next run always brings the new data.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "engine/SqlFunctions.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testserver.h"
#include "support/testutil.h"
#include "support/workbook.h"
#include "ui/Mutex.h"

extern char **environ;

namespace fs = std::filesystem;
using qmtest::ReadFile;
using qmtest::TempDir;
using qmtest::TestServer;
using qmtest::WriteFile;
using Clock = std::chrono::steady_clock;

namespace {

void Shell(const std::string &cmd) {
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error(cmd);
}

// One value read with the test's own SQL (an empty text for NULL, "<no row>" for none);
// with_spec: spec.db beside the database attached as spec, as the program attaches it.
std::string One(const fs::path &db, const std::string &sql, bool with_spec = false) {
  sqlite3 *h = nullptr;
  std::string out = "<no row>";
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(h);
    return "<no database>";
  }
  if (with_spec)
    sqlite3_exec(h, ("ATTACH '" + (db.parent_path() / "spec.db").string() + "' AS spec").c_str(), nullptr, nullptr,
                 nullptr);
  sqlite3_stmt *st = nullptr;
  if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    out = std::string("<error> ") + sqlite3_errmsg(h);
  } else if (sqlite3_step(st) == SQLITE_ROW) {
    const unsigned char *t = sqlite3_column_text(st, 0);
    out = t ? reinterpret_cast<const char *>(t) : "";
  }
  sqlite3_finalize(st);
  sqlite3_close(h);
  return out;
}

// The kit's table sizes, from its manifest.
std::map<std::string, std::string> KitTables() {
  static const std::map<std::string, std::string> tables = [] {
    TempDir out;
    Shell("python3 -c \"import json,sys; m = json.load(open(sys.argv[1], encoding='utf-8'))\n"
          "for t in ('m_kihon', 'm_tekiyo', 'seibun'): print(t, m['tables'][t])\" '" +
          (qmtest::SmallKit() / "manifest.json").string() + "' > '" + (out / "t").string() + "'");
    std::map<std::string, std::string> m;
    std::istringstream in(ReadFile(out / "t"));
    std::string name, count;
    while (in >> name >> count) m[name] = count;
    return m;
  }();
  return tables;
}

// The publisher's page of the kit, dated one month earlier.
std::string OldPage() {
  std::string page = ReadFile(qmtest::SmallKit() / "publisher" / "update2.htm");
  for (auto [from, to] : {std::pair<std::string, std::string>{"11月30日反映分", "10月31日反映分"},
                          {"11月30日付け失効", "10月31日付け失効"}}) {
    std::size_t at = page.find(from);
    if (at == std::string::npos) throw std::runtime_error("the kit's page has no date line");
    page.replace(at, from.size(), to);
  }
  return page;
}

const long long kOldPageTime = 1795000000;  // the old page's modification time (UTC seconds)
const long long kNewPageTime = kOldPageTime + 86400;

// The makers' update text of the kit, dated one month earlier.
std::string OldMakersPage() {
  std::string page = ReadFile(qmtest::SmallKit() / "makers" / "update.txt");
  const std::string from = cp932::FromUtf8("11月30日"), to = cp932::FromUtf8("10月31日");
  const std::size_t at = page.find(from);
  if (at == std::string::npos) throw std::runtime_error("the kit's update text has no date");
  return page.replace(at, from.size(), to);
}

// A shared folder holding the kit's publisher files (kind 2: the makers' set) and reference
// scripts; its page is the new one unless old is asked for.
void FillShare(const fs::path &share, bool old, int kind = 0) {
  fs::create_directories(share);
  for (const char *dir : {kind == 2 ? "makers" : "publisher", "scripts"})
    for (const auto &e : fs::directory_iterator(qmtest::SmallKit() / dir))
      fs::copy_file(e.path(), share / e.path().filename(), fs::copy_options::overwrite_existing);
  const fs::path page = share / (kind == 2 ? "update.txt" : "update2.htm");
  if (old) WriteFile(page, kind == 2 ? OldMakersPage() : OldPage());
  qmtest::SetMTime(page, old ? kOldPageTime : kNewPageTime);
}

// Rewrites the shared folder's archive of the second application part: its CSV becomes
// what the Python statements make of its bytes, data.
void RewriteSecondApplicationPart(const fs::path &share, const std::string &python) {
  Shell("cd '" + share.string() + "' && python3 - '" + (qmtest::SourceDir() / "scripts/samplekit").string() +
        "' <<'EOF'\n"
        "import glob, sys, zipfile\n"
        "sys.path.insert(0, sys.argv[1])\n"
        "from make import Cp932ZipInfo\n"
        "path = [p for p in glob.glob('*.zip') if '適用部二' in p][0]\n"
        "with zipfile.ZipFile(path) as z:\n"
        "    info = z.infolist()[0]\n"
        "    name, data = info.filename.encode('cp437').decode('cp932'), z.read(info)\n" +
        python +
        "with zipfile.ZipFile(path, 'w', compression=zipfile.ZIP_DEFLATED) as z:\n"
        "    z.writestr(Cp932ZipInfo(name, (2026, 11, 30, 0, 0, 0)), data)\n"
        "EOF");
}

struct RunResult {
  int code = -1;       // the exit code; -1 when the run was killed
  bool hung = false;   // killed because it outlived its time
  double seconds = 0;  // how long it ran
};

// A program folder with its settings, and the program run on it in a process of its own.
class ProgramHome {
 public:
  TempDir home, tmp;  // tmp: the process's temporary folder
  std::map<std::string, std::optional<std::string>> env;
  std::vector<std::string> wrapper;  // a program the run is started through, with its arguments

  ProgramHome() {
    env["QUILLMAR_HOME"] = home.path().string();
    env["TMPDIR"] = tmp.path().string();
    env["QT_QPA_PLATFORM"] = "offscreen";
    fs::create_directories(home / "DB");
    fs::create_directories(home / "Download");
  }
  fs::path Db() const { return home / "DB" / "acis.db"; }
  std::string Log(const char *rel) const {
    return fs::exists(home / rel) ? ReadFile(home / rel) : std::string("<no log>");
  }
  // Settings: the publisher's CSV source (or another kind), from the shared folder or
  // (without one) online.
  // kind: the source kind (2 the makers' CSV set).
  void Settings(const fs::path &share, int kind = 0) {
    std::string ini = "[NET]\r\nDownSite=" + std::to_string(kind) + "\r\nDownSiteTorvDB=0\r\nUseLAN=" +
                      std::string(share.empty() ? "0" : "1") +
                      "\r\nOffLine=0\r\nReadTimeout=3000\r\nReceiveTimeout=1000\r\n[PATH]\r\ndirLAN=" +
                      share.string() + "\r\n";
    WriteFile(home / "quillmar.ini", ini);
  }

  // Starts the program with the arguments.
  struct Process {
    pid_t pid = 0;
    Clock::time_point start;
  };
  Process Start(const std::vector<std::string> &args) {
    std::vector<std::string> envs;
    for (char **e = environ; *e; ++e) {
      std::string s = *e;
      if (!env.count(s.substr(0, s.find('=')))) envs.push_back(s);
    }
    for (const auto &[k, v] : env)
      if (v) envs.push_back(k + "=" + *v);
    std::vector<char *> envp, argv;
    for (std::string &s : envs) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> all = wrapper;
    all.push_back(QM_PROGRAM);
    all.insert(all.end(), args.begin(), args.end());
    const std::string program = all.front();
    for (std::string &s : all) argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, (tmp / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Process p;
    p.start = Clock::now();
    int rc = posix_spawn(&p.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + program);
    return p;
  }
  // Waits for the program; kills it after kill_after seconds when given, and in any case
  // once it outlives limit seconds (a hang).
  static RunResult Wait(const Process &p, double limit = 60, std::optional<double> kill_after = {}) {
    RunResult r;
    for (;;) {
      int status = 0;
      if (waitpid(p.pid, &status, WNOHANG) == p.pid) {
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      const double elapsed = std::chrono::duration<double>(Clock::now() - p.start).count();
      if ((kill_after && elapsed >= *kill_after) || elapsed >= limit) {
        kill(p.pid, SIGKILL);
        waitpid(p.pid, &status, 0);
        r.hung = !kill_after || elapsed >= limit;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(kill_after ? 2 : 10));
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - p.start).count();
    return r;
  }
  RunResult Run(const std::vector<std::string> &args, double limit = 60, std::optional<double> kill_after = {}) {
    return Wait(Start(args), limit, kill_after);
  }
  std::string Stderr() const { return fs::exists(tmp / "stderr") ? ReadFile(tmp / "stderr") : ""; }

  // The build files an interrupted update could leave.
  std::vector<std::string> BuildFiles() const {
    std::vector<std::string> found;
    for (const auto &e : fs::directory_iterator(home / "DB"))
      if (e.path().filename().string().find(".part") != std::string::npos) found.push_back(e.path().filename());
    return found;
  }
  // What acis.db holds: "old", "new" or what else it is.
  std::string Data() const {
    const std::string date = One(Db(), "SELECT Value FROM info WHERE Item = 'LastUpdate'");
    const std::string rows = One(Db(), "SELECT count(*) FROM m_tekiyo");
    if (rows != KitTables().at("m_tekiyo")) return "rows " + rows + " " + date;
    if (date.find("10月31日") != std::string::npos) return "old";
    if (date.find("11月30日") != std::string::npos) return "new";
    return date;
  }
};

// The publisher's archive of a part in a folder (the part's name in UTF-8).
fs::path PartArchive(const fs::path &folder, const std::string &part) {
  for (const auto &e : fs::directory_iterator(folder))
    if (e.path().filename().string().rfind(part, 0) == 0 && e.path().extension() == ".zip") return e.path();
  throw std::runtime_error("no archive of " + part);
}

// Rewrites the CSV file inside a part's archive with a Python expression over its bytes
// ("data"; "lines" are its lines without their line ends).
void RewritePartCsv(const fs::path &share, const std::string &part, const std::string &expression) {
  Shell("python3 - '" + PartArchive(share, part).string() + "' '" + (qmtest::SourceDir() / "scripts/samplekit").string() +
        "' <<'EOF'\n"
        "import sys, zipfile\n"
        "sys.path.insert(0, sys.argv[2])\n"
        "from make import Cp932ZipInfo\n"
        "with zipfile.ZipFile(sys.argv[1]) as z:\n"
        "    info = z.infolist()[0]\n"
        "    name, data = info.filename.encode('cp437').decode('cp932'), z.read(info)\n"
        "lines = data.split(b'\\r\\n')[:-1]\n"
        "data = " + expression + "\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', compression=zipfile.ZIP_DEFLATED) as z:\n"
        "    z.writestr(Cp932ZipInfo(name, (2026, 11, 30, 0, 0, 0)), data)\n"
        "EOF");
}

// Copies a folder with everything in it, keeping the files' modification times (which
// decide what the program takes as newer).
void CopyTree(const fs::path &from, const fs::path &to) {
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  for (const auto &e : fs::recursive_directory_iterator(from))
    if (e.is_regular_file()) fs::last_write_time(to / fs::relative(e.path(), from), e.last_write_time());
}

// The program folder with the database built from the old page (of the publisher's CSV set,
// or kind 2 the makers' set), made once: it is copied into the home of each test that starts
// from it.
struct OldStateOf {
  TempDir dir, share;
  explicit OldStateOf(int kind) {
    FillShare(share.path(), true, kind);
    ProgramHome p;
    p.Settings(share.path(), kind);
    const RunResult r = p.Run({"/u"});
    if (r.code != 1 || p.Data() != "old")
      throw std::runtime_error("the old database could not be built: " + std::to_string(r.code) + " " + p.Data() +
                               "\n" + p.Log("DB/autoupdate.log"));
    CopyTree(p.home.path(), dir.path());
  }
};

const fs::path &OldState(int kind = 0) {
  if (kind == 2) {
    static const OldStateOf makers(2);
    return makers.dir.path();
  }
  static const OldStateOf publisher(0);
  return publisher.dir.path();
}

void StartFromOldState(ProgramHome &p, int kind = 0) {
  for (const char *sub : {"DB", "Download"}) {
    fs::remove_all(p.home / sub);
    CopyTree(OldState(kind) / sub, p.home / sub);
  }
}

class UnattendedTest : public ::testing::Test {
 protected:
  ProgramHome p;
  TempDir share;

  // The program folder holds the old database; the shared folder offers the new data.
  void OldDataNewShare() {
    FillShare(share.path(), false);
    p.Settings(share.path());
    StartFromOldState(p);
  }
};

}  // namespace

// An update killed at any moment leaves a sound acis.db with the old or the new data, and
// the next run always brings the new data and leaves no build file behind: the saved page,
// already copied by the killed run, no longer hides that the database is older.
TEST_F(UnattendedTest, KilledUpdatesConvergeOnTheNextRun) {
  FillShare(share.path(), false);
  p.Settings(share.path());
  StartFromOldState(p);
  const RunResult whole = p.Run({"/u"});
  ASSERT_EQ(whole.code, 1) << p.Log("DB/autoupdate.log");
  ASSERT_EQ(p.Data(), "new");

  const int kKills = 4;
  int interrupted = 0;
  for (int k = 1; k <= kKills; ++k) {
    const double at = whole.seconds * k / (kKills + 1);
    SCOPED_TRACE("killed at " + std::to_string(at) + " s");
    StartFromOldState(p);
    const RunResult killed = p.Run({"/u"}, 60, at);
    if (killed.code >= 0) continue;  // it ended before the kill came
    EXPECT_EQ(One(p.Db(), "PRAGMA integrity_check"), "ok");
    const std::string after_kill = p.Data();
    EXPECT_TRUE(after_kill == "old" || after_kill == "new") << after_kill;
    interrupted += after_kill == "old";
    const RunResult next = p.Run({"/u"});
    // Only a kill after the new database took its place leaves nothing to do.
    EXPECT_EQ(next.code, after_kill == "new" ? 0 : 1) << p.Log("DB/autoupdate.log");
    EXPECT_EQ(p.Data(), "new");
    EXPECT_EQ(One(p.Db(), "PRAGMA integrity_check"), "ok");
    EXPECT_TRUE(p.BuildFiles().empty()) << p.BuildFiles().front();
  }
  EXPECT_GT(interrupted, 0);
  // Converged: one more run finds nothing to do.
  EXPECT_EQ(p.Run({"/u"}).code, 0);
}

// A check that cannot read the update page is a failure with its log, never "up to date",
// and never a box that waits for an answer. The cases run side by side, each program folder
// with a publisher of its own on the one test server.
TEST_F(UnattendedTest, FailedPageChecksExitWithTheFailureCode) {
  TestServer server;
  struct Case {
    const char *fault;
    bool update;              // "/u", else "/r"
    const char *status_line;  // in the log
  } cases[] = {
      {"status 403", true, "StatusCode: 403"},
      {"status 404", true, "StatusCode: 404"},
      {"status 500", true, "StatusCode: 500"},
      {"status 502", true, "StatusCode: 502"},
      {"status 503", true, "StatusCode: 503"},
      {"status 504", true, "StatusCode: 504"},
      {"truncate", true, "インターネット接続不可(INET_ERROR_READ_FILE)"},
      {"empty", true, "インターネット接続不可(INET_ERROR_READ_FILE)"},
      {"stall 5", true, "インターネット接続不可(INET_ERROR_READ_FILE)"},
      {"truncate", false, "インターネット接続不可(INET_ERROR_READ_FILE)"},
      {"status 404", false, "StatusCode: 404"},
  };
  const std::size_t n = std::size(cases);
  std::vector<std::unique_ptr<ProgramHome>> homes;
  std::vector<ProgramHome::Process> running;
  std::string faults;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string site = "/site" + std::to_string(i);
    for (const auto &e : fs::directory_iterator(qmtest::SmallKit() / "publisher")) {
      const std::string name = e.path().filename().string();
      server.Put(site + (name == "update2.htm" ? "/ddata/index2.htm" : "/ddata/datacsv/" + name), ReadFile(e.path()),
                 kNewPageTime);
    }
    faults += site + "/ddata/index2.htm " + cases[i].fault + "\n";
    auto home = std::make_unique<ProgramHome>();
    home->env["QUILLMAR_PUBLISHER_HOST"] = server.Url(site);
    home->env["QUILLMAR_TORV_MIRRORS"] = server.Url("/torv/data/");
    home->Settings({});
    StartFromOldState(*home);
    homes.push_back(std::move(home));
  }
  for (const auto &e : fs::directory_iterator(qmtest::SmallKit() / "scripts"))
    server.Put("/torv/data/" + e.path().filename().string(), ReadFile(e.path()));
  server.SetFaults(faults);
  for (std::size_t i = 0; i < n; ++i) running.push_back(homes[i]->Start({cases[i].update ? "/u" : "/r"}));
  for (std::size_t i = 0; i < n; ++i) {
    const Case &c = cases[i];
    SCOPED_TRACE(std::string(c.fault) + (c.update ? " /u" : " /r"));
    const ProgramHome &p = *homes[i];
    const RunResult r = ProgramHome::Wait(running[i], 60);
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.code, 3);
    const std::string log = cp932::ToUtf8(p.Log(c.update ? "DB/autoupdate.log" : "Download/autodown.log"));
    EXPECT_NE(log.find("データ更新の確認ができません\r\nFAMIC CSVダウンロードページへ接続できません"), std::string::npos) << log;
    EXPECT_NE(log.find(c.status_line), std::string::npos) << log;
    EXPECT_NE(log.find(c.update ? "データ更新中止!" : "ダウンロード更新確認終了:"), std::string::npos) << log;
    EXPECT_EQ(p.Data(), "old");
  }
  // With the page back, the same program folder updates.
  server.SetFaults("");
  EXPECT_EQ(homes[0]->Run({"/u"}).code, 1) << homes[0]->Log("DB/autoupdate.log");
  EXPECT_EQ(homes[0]->Data(), "new");
}

// An application file cut right after a lead byte fails the build with the file and line
// named in the log; the old database stays whole.
TEST_F(UnattendedTest, CutApplicationFileFailsTheUpdate) {
  FillShare(share.path(), false);
  // The second application part with its last entry cut after a lead byte inside quotes.
  RewriteSecondApplicationPart(share.path(),
                               "last = data.rstrip(b'\\r\\n').rfind(b'\\n') + 1\n"
                               "cut = data.find(b'\"', last) + 1\n"
                               "while data[cut] < 0x81: cut += 1\n"
                               "data = data[:cut + 1]\n");
  p.Settings(share.path());
  StartFromOldState(p);
  const RunResult r = p.Run({"/u"});
  EXPECT_EQ(r.code, 3);
  const std::string log = cp932::ToUtf8(p.Log("DB/autoupdate.log"));
  EXPECT_NE(log.find("RunAutoUpdate Error EInOutError"), std::string::npos) << log;
  EXPECT_NE(log.find("行目: 引用符で囲まれた項目の途中でファイルが終わっています"), std::string::npos) << log;
  EXPECT_NE(log.find("データ更新中止!"), std::string::npos) << log;
  EXPECT_EQ(log.find("データ更新完了\r\n"), std::string::npos) << log;
  EXPECT_EQ(p.Data(), "old");
  EXPECT_EQ(One(p.Db(), "PRAGMA integrity_check"), "ok");
  EXPECT_TRUE(p.BuildFiles().empty());
}

namespace {

// An "/u" that failed as it should: 3, acis.db byte for byte as before, one line of the log
// naming the file and saying what was wrong (UTF-8), the error output saying it too with
// what to do, and a log that ends with the abort and never says the update was done.
// Returns the log (UTF-8).
std::string ExpectFailedUpdate(const ProgramHome &p, const RunResult &r, const std::string &db_before,
                               const std::string &file, const std::string &why) {
  EXPECT_FALSE(r.hung);
  const std::string log = cp932::ToUtf8(p.Log("DB/autoupdate.log"));
  EXPECT_EQ(r.code, 3) << log;
  EXPECT_TRUE(ReadFile(p.Db()) == db_before) << "acis.db changed";
  bool named = false;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);)
    named = named || (line.find(file) != std::string::npos && line.find(why) != std::string::npos);
  EXPECT_TRUE(named) << log;
  EXPECT_NE(p.Stderr().find(why), std::string::npos) << p.Stderr();
  EXPECT_NE(p.Stderr().find("再実行してください"), std::string::npos) << p.Stderr();
  EXPECT_EQ(log.find("データ更新完了"), std::string::npos) << log;
  const std::string abort_line = "データ更新中止:";
  const std::size_t last = log.size() < 3 ? std::string::npos : log.rfind("\r\n", log.size() - 3);
  EXPECT_EQ(log.compare(last == std::string::npos ? 0 : last + 2, abort_line.size(), abort_line), 0) << log;
  return log;
}

}  // namespace

// Damaged input never replaces the data: whatever the shared folder or the server hands
// over (a CSV file empty, with its header only, a column short on every line, a field too
// many on one record; an entry far larger than any published file; a web page in place of
// the update page; a disk too full to take a download), "/u" fails with 3, acis.db stays
// byte for byte as it was, and the log and the error output name the file and what was
// wrong; the log ends with the abort. The cases run side by side.
TEST_F(UnattendedTest, DamagedInputsLeaveTheDatabaseAsItWas) {
  const std::string entry_one = "登録適用部一_20261130.csv", entry_two = "登録適用部二_20261130.csv";
  struct Case {
    const char *what;
    std::function<void(const fs::path &share)> damage;  // none: served online, on a full disk
    std::string file, why;                              // UTF-8: on one line of the log
  } cases[] = {
      {"empty CSV", [](const fs::path &s) { RewritePartCsv(s, "登録基本部", "b''"); },
       "登録基本部_20261130.csv", "ファイルが空です"},
      {"header only", [](const fs::path &s) { RewritePartCsv(s, "登録適用部一", "lines[0] + b'\\r\\n'"); },
       entry_one, "見出し行だけでレコードがありません"},
      {"a column short on every line",
       [](const fs::path &s) {
         RewritePartCsv(s, "登録適用部一", "b''.join(l[:l.rfind(b',')] + b'\\r\\n' for l in lines)");
       },
       entry_one + " 1行目", "見出しの項目数が 24 です(25 項目のはず)"},
      {"a field too many on one record",
       [](const fs::path &s) {
         RewritePartCsv(s, "登録適用部一",
                        "b''.join(l + (b',\"x\"' if n == 4 else b'') + b'\\r\\n' for n, l in enumerate(lines))");
       },
       entry_one + " 5行目", "項目数が 26 です(25 項目のはず)"},
      {"an entry far past any published file's size",
       [&](const fs::path &s) {
         const fs::path zip = PartArchive(s, "登録適用部二");
         Shell("python3 '" + (qmtest::SourceDir() / "tests/support/oversized_zip.py").string() + "' '" + zip.string() +
               "' '" + entry_two + "' announce 1073741824");
       },
       entry_two, "展開すると上限の 805306368 バイトを超えます"},
      {"a web page in place of the update page",
       [](const fs::path &s) {
         WriteFile(s / "update2.htm", "<html><body><h1>メンテナンス中</h1><p>しばらくお待ちください</p></body></html>\r\n");
         qmtest::SetMTime(s / "update2.htm", kNewPageTime);
       },
       "update2.htm", "データの日付が書かれていません"},
      {"a disk too full for a download", nullptr, "登録適用部一_20261130.zip", "を保存できません: File too large"},
  };
  TestServer server;
  const long long later = std::time(nullptr) + 86400;  // newer than any file here
  for (const auto &e : fs::directory_iterator(qmtest::SmallKit() / "publisher")) {
    const std::string name = e.path().filename().string();
    server.Put(name == "update2.htm" ? "/ddata/index2.htm" : "/ddata/datacsv/" + name, ReadFile(e.path()),
               name == "update2.htm" ? kNewPageTime : later);
  }
  // The reference scripts are no newer than the program folder's copies: their refresh,
  // which rewrites tables of acis.db whenever a script changed, has nothing to do.
  for (const auto &e : fs::directory_iterator(qmtest::SmallKit() / "scripts"))
    server.Put("/torv/data/" + e.path().filename().string(), ReadFile(e.path()), kOldPageTime);
  std::vector<std::unique_ptr<ProgramHome>> homes;
  std::vector<std::unique_ptr<TempDir>> shares;
  std::vector<std::string> before;
  std::vector<ProgramHome::Process> running;
  for (const Case &c : cases) {
    auto home = std::make_unique<ProgramHome>();
    auto dir = std::make_unique<TempDir>();
    if (c.damage) {
      FillShare(dir->path(), false);
      for (const auto &e : fs::directory_iterator(qmtest::SmallKit() / "scripts"))
        qmtest::SetMTime(dir->path() / e.path().filename(), kOldPageTime);
      c.damage(dir->path());
      home->Settings(dir->path());
    } else {
      home->env["QUILLMAR_PUBLISHER_HOST"] = server.Url();
      home->env["QUILLMAR_TORV_MIRRORS"] = server.Url("/torv/data/");
      home->Settings({});
      // The page (844 bytes), the settings and the log fit; the first application part's
      // archive (5524 bytes) does not. A write past the limit fails as on a full disk (the
      // signal it would raise is ignored, and stays so in the program).
      signal(SIGXFSZ, SIG_IGN);
      home->wrapper = {"/usr/bin/prlimit", "--fsize=5000:5000", "--"};
    }
    StartFromOldState(*home);
    before.push_back(ReadFile(home->Db()));
    running.push_back(home->Start({"/u"}));
    homes.push_back(std::move(home));
    shares.push_back(std::move(dir));
  }
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    SCOPED_TRACE(c.what);
    const ProgramHome &p = *homes[i];
    ExpectFailedUpdate(p, ProgramHome::Wait(running[i], 60), before[i], c.file, c.why);
    // Nothing half-written or oversized is left in the data folder.
    for (const auto &e : fs::directory_iterator(p.home / "Download")) {
      EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
      EXPECT_LT(fs::file_size(e.path()), 1u << 20) << e.path();
    }
  }
}

namespace {

// Rewrites an archive: the Python statements change "entries", a list of (name, bytes)
// pairs, which then make up the archive again (names stored as CP932, as published).
void RewriteArchive(const fs::path &zip, const std::string &python) {
  Shell("python3 - '" + zip.string() + "' '" + (qmtest::SourceDir() / "scripts/samplekit").string() +
        "' <<'EOF'\n"
        "import sys, zipfile\n"
        "sys.path.insert(0, sys.argv[2])\n"
        "from make import Cp932ZipInfo\n"
        "with zipfile.ZipFile(sys.argv[1]) as z:\n"
        "    entries = [(i.filename if i.flag_bits & 0x800 else i.filename.encode('cp437').decode('cp932'), z.read(i))\n"
        "               for i in z.infolist()]\n" +
        python +
        "with zipfile.ZipFile(sys.argv[1], 'w', compression=zipfile.ZIP_DEFLATED) as z:\n"
        "    for name, data in entries:\n"
        "        z.writestr(Cp932ZipInfo(name, (2026, 11, 30, 0, 0, 0)), data)\n"
        "EOF");
}

// A shared folder with the sound offer of the kind: the reference scripts are no newer than
// the program folder's copies, so their refresh leaves acis.db alone.
void SoundShare(const fs::path &share, int kind) {
  for (const auto &e : fs::directory_iterator(share)) fs::remove_all(e.path());
  FillShare(share, false, kind);
  for (const auto &e : fs::directory_iterator(qmtest::SmallKit() / "scripts"))
    qmtest::SetMTime(share / e.path().filename(), kOldPageTime);
}

// The names in a folder that begin with ".": what a fetch, copy, unpack or build writes
// before it is whole, and the page that waits for its data.
std::vector<std::string> HiddenFiles(const fs::path &folder) {
  std::vector<std::string> found;
  for (const auto &e : fs::directory_iterator(folder))
    if (e.path().filename().string().front() == '.') found.push_back(e.path().filename().string());
  return found;
}

}  // namespace

// An update whose source fails it in any way ends with 3 and leaves everything as it was:
// an archive that cannot be fetched or copied (gone, a folder of its name, 404, a server
// that stalls), an archive without a file of the form or with it in a folder, a data-as-of
// page that is empty or tells no date, an application line without its registration number,
// an archive stopped at the unpack limit. Whatever the data folder holds from the last run is
// never taken in its place. Each row: the exit code, acis.db byte for byte, the log line and
// the error output naming the file and the cause, nothing half-done left in Download/ or
// DB/, and the next run on the sound offer brings the new data. The publisher's CSV set and
// the makers' set, from the shared folder and online; the rows run side by side.
TEST_F(UnattendedTest, FailedSourcesNeverPassAsAnUpdate) {
  const std::string part_one = "登録適用部一_20261130";
  struct Row {
    const char *what;
    int kind;                                     // 0 the publisher's CSV set, 2 the makers' set
    std::function<void(const fs::path &)> damage;  // to the shared folder; none: online
    std::string fault;                            // online: the fault of the row's site, "<path> <switch>"
    std::string file, why;                        // UTF-8: on one line of the log
    bool page;                                    // the data-as-of page: the check fails
    const char *unpack_limit = nullptr;           // the program's, lowered (bytes)
  } rows[] = {
      {"makers' archive gone", 2, [](const fs::path &s) { fs::remove(s / "toroku.zip"); }, "", "toroku.zip",
       "コピーできません", false},
      {"a folder in the makers' archive's place", 2,
       [](const fs::path &s) {
         fs::remove(s / "toroku.zip");
         fs::create_directories(s / "toroku.zip" / "x");
       },
       "", "toroku.zip", "コピーできません", false},
      {"makers' archive without tekiyo.csv", 2,
       [](const fs::path &s) {
         RewriteArchive(s / "toroku.zip", "entries = [e for e in entries if e[0] != 'tekiyo.csv']\n");
       },
       "", "toroku.zip", "tekiyo.csv が書庫に入っていません", false},
      {"makers' files in a folder of the archive", 2,
       [](const fs::path &s) { RewriteArchive(s / "toroku.zip", "entries = [('data/' + n, d) for n, d in entries]\n"); },
       "", "toroku.zip", "kihon.csv が書庫に入っていません", false},
      {"empty update text", 2, [](const fs::path &s) { WriteFile(s / "update.txt", ""); }, "", "update.txt",
       "ファイルが空です", true},
      {"a web page for the update text", 2,
       [](const fs::path &s) { WriteFile(s / "update.txt", "<html><body>メンテナンス中</body></html>\r\n"); }, "",
       "update.txt", "データの日付が書かれていません", true},
      {"makers' archive 404", 2, nullptr, "/torv/toroku.zip status 404", "toroku.zip", "404", false},
      {"makers' archive times out", 2, nullptr, "/torv/toroku.zip stall 5", "toroku.zip", "受信が途中で止まりました", false},
      {"publisher's archive gone", 0, [&](const fs::path &s) { fs::remove(PartArchive(s, "登録適用部一")); }, "",
       part_one + ".zip", "コピーできません", false},
      {"publisher's CSV in a folder of its archive", 0,
       [&](const fs::path &s) {
         RewriteArchive(PartArchive(s, "登録適用部一"), "entries = [('csv/' + n, d) for n, d in entries]\n");
       },
       "", part_one + ".zip", part_one + ".csv が書庫に入っていません", false},
      {"empty publisher's page", 0, [](const fs::path &s) { WriteFile(s / "update2.htm", ""); }, "", "update2.htm",
       "ファイルが空です", true},
      {"publisher's archive 404", 0, nullptr, "/ddata/datacsv/" + part_one + ".zip status 404", part_one + ".zip",
       "404", false},
      {"an application line without its number", 0,
       [](const fs::path &s) {
         RewritePartCsv(s, "登録適用部一",
                        "b''.join((l[l.find(b','):] if n == 2 else l) + b'\\r\\n' for n, l in enumerate(lines))");
       },
       "", part_one + ".csv 3行目", "登録番号がありません", false},
      {"a makers' application line numbered NULL", 2,
       [](const fs::path &s) {
         RewriteArchive(s / "toroku.zip",
                        "def unnumbered(data):\n"
                        "    lines = data.split(b'\\r\\n')\n"
                        "    lines[1] = b'NULL' + lines[1][lines[1].find(b','):]\n"
                        "    return b'\\r\\n'.join(lines)\n"
                        "entries = [(n, unnumbered(d) if n == 'tekiyo.csv' else d) for n, d in entries]\n");
       },
       "", "tekiyo.csv 2行目", "登録番号がありません", false},
      // The files of the form come whole, then entries past the unpack limit (lowered to
      // 4 MiB, which the kit's files stay far below): 3 MiB are written before the limit
      // stops the second one.
      {"an archive stopped at the unpack limit", 2,
       [](const fs::path &s) {
         Shell("python3 - '" + (s / "toroku.zip").string() + "' <<'EOF'\n"
               "import sys, zipfile\n"
               "with zipfile.ZipFile(sys.argv[1], 'a') as z:\n"
               "    for name in ('a.bin', 'b.bin'):\n"
               "        info = zipfile.ZipInfo(name, (2026, 11, 30, 0, 0, 0))\n"
               "        info.compress_type = zipfile.ZIP_DEFLATED\n"
               "        with z.open(info, 'w') as f:\n"
               "            for _ in range(3): f.write(bytes(1 << 20))\n"
               "EOF");
       },
       "", "toroku.zip", "展開すると上限の 4194304 バイトを超えます", false, "4194304"},
  };
  TestServer server;
  const long long later = std::time(nullptr) + 86400;  // newer than any file here
  std::vector<std::unique_ptr<ProgramHome>> homes;
  std::vector<std::unique_ptr<TempDir>> shares;
  std::vector<std::string> before;
  std::string faults;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row &r = rows[i];
    auto home = std::make_unique<ProgramHome>();
    auto dir = std::make_unique<TempDir>();
    if (r.unpack_limit) home->env["QUILLMAR_UNPACK_LIMIT"] = r.unpack_limit;
    if (r.damage) {
      SoundShare(dir->path(), r.kind);
      r.damage(dir->path());
      home->Settings(dir->path(), r.kind);
    } else {
      // The row's own site: the publisher's pages below it, and a mirror with the makers' set
      // and the reference scripts.
      const std::string site = "/row" + std::to_string(i);
      for (const auto &e : fs::directory_iterator(qmtest::SmallKit() / "publisher")) {
        const std::string name = e.path().filename().string();
        server.Put(site + (name == "update2.htm" ? "/ddata/index2.htm" : "/ddata/datacsv/" + name), ReadFile(e.path()),
                   name == "update2.htm" ? kNewPageTime : later);
      }
      for (const auto &e : fs::directory_iterator(qmtest::SmallKit() / "makers")) {
        const std::string name = e.path().filename().string();
        server.Put(site + "/torv/" + name, ReadFile(e.path()), name == "update.txt" ? kNewPageTime : later);
      }
      for (const auto &e : fs::directory_iterator(qmtest::SmallKit() / "scripts"))
        server.Put(site + "/torv/" + e.path().filename().string(), ReadFile(e.path()), kOldPageTime);
      faults += site + r.fault + "\n";
      home->env["QUILLMAR_PUBLISHER_HOST"] = server.Url(site);
      home->env["QUILLMAR_TORV_MIRRORS"] = server.Url(site + "/torv/");
      home->Settings({}, r.kind);
    }
    StartFromOldState(*home, r.kind);
    before.push_back(ReadFile(home->Db()));
    homes.push_back(std::move(home));
    shares.push_back(std::move(dir));
  }
  server.SetFaults(faults);
  std::vector<ProgramHome::Process> running;
  for (auto &home : homes) running.push_back(home->Start({"/u"}));
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row &r = rows[i];
    SCOPED_TRACE(r.what);
    const ProgramHome &p = *homes[i];
    const std::string log = ExpectFailedUpdate(p, ProgramHome::Wait(running[i], 60), before[i], r.file, r.why);
    if (r.page) {
      EXPECT_NE(log.find("データ更新の確認ができません"), std::string::npos) << log;
    }
    for (const char *sub : {"Download", "DB"}) {
      const std::vector<std::string> left = HiddenFiles(p.home / sub);
      EXPECT_TRUE(left.empty()) << sub << "/" << left.front();
    }
  }
  // The sound offer afterwards: the update is still due, and comes.
  server.SetFaults("");
  running.clear();
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    if (rows[i].damage) SoundShare(shares[i]->path(), rows[i].kind);
    running.push_back(homes[i]->Start({"/u"}));
  }
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(std::string(rows[i].what) + ", then sound");
    const ProgramHome &p = *homes[i];
    const RunResult result = ProgramHome::Wait(running[i], 60);
    EXPECT_EQ(result.code, 1) << p.Log("DB/autoupdate.log") << p.Stderr();
    EXPECT_EQ(p.Data(), "new");
    for (const char *sub : {"Download", "DB"}) {
      const std::vector<std::string> left = HiddenFiles(p.home / sub);
      EXPECT_TRUE(left.empty()) << sub << "/" << left.front();
    }
  }
}

namespace {

// The size of the database file without the tables, packed: what a build writes before it
// makes them.
std::uintmax_t SizeWithout(const fs::path &db, const std::vector<std::string> &tables) {
  TempDir dir;
  fs::copy_file(db, dir / "copy.db");
  std::string sql;
  for (const std::string &t : tables) sql += "DROP TABLE " + t + ";";
  sqlite3 *h = nullptr;
  sqlite3_open((dir / "copy.db").c_str(), &h);
  const bool ok = sqlite3_exec(h, (sql + "VACUUM;").c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(h);
  if (!ok) throw std::runtime_error("cannot drop " + sql);
  return fs::file_size(dir / "copy.db");
}

// The update text of the makers' set with its first line changed by a Python expression over
// its bytes ("line").
void RewriteMakersFirstLine(const fs::path &share, const std::string &expression) {
  Shell("python3 - '" + (share / "update.txt").string() + "' <<'EOF'\n"
        "import sys\n"
        "data = open(sys.argv[1], 'rb').read()\n"
        "line, rest = data.split(b'\\r\\n', 1)\n"
        "line = " + expression + "\n"
        "open(sys.argv[1], 'wb').write(line + b'\\r\\n' + rest)\n"
        "EOF");
  qmtest::SetMTime(share / "update.txt", kNewPageTime);
}

}  // namespace

// A build that does not come out whole never takes the database's place, and a data date
// compares as the database keeps it. "/u" on the small sample, the shared folder's offer a
// day on: a reference script emptied, cut in half or not SQL at all, and a disk that fills
// while the build writes its last table, each end with 3, acis.db byte for byte as it was,
// the log and the error output naming the script or step and the cause; a data date that
// cannot be read fails the check alike. A date with a character CP932 writes two ways, or
// with a lone lead byte at its end, brings the data once and then nothing. After each
// failure the sound offer still updates. The rows run side by side.
TEST_F(UnattendedTest, IncompleteBuildsAndDataDatesNeverPassAsAnUpdate) {
  // The build file holds everything but the kept application table at this size.
  const fs::path old_db = OldState() / "DB" / "acis.db";
  const std::uintmax_t whole = fs::file_size(old_db), before_last = SizeWithout(old_db, {"t_tekiyo", "t_tekiyoKey"});
  ASSERT_LT(before_last + 16384, whole);
  const std::string full_disk = "--fsize=" + std::to_string((before_last + whole) / 2);
  // A script of the shared folder replaced by one newer than any copy here.
  auto damage = [later = std::time(nullptr) + 86400](const fs::path &script, const std::string &text) {
    WriteFile(script, text);
    qmtest::SetMTime(script, later);
  };
  auto cut_in_half = [&](const fs::path &script) {
    const std::string text = ReadFile(script);
    damage(script, text.substr(0, text.size() / 2));
  };
  struct Row {
    const char *what;
    int kind;
    std::function<void(const fs::path &)> damage;  // to the shared folder
    std::string file, why;                        // UTF-8: on one line of the log; empty: no failure
    bool disk_full = false;
  } rows[] = {
      {"byochu.txt emptied", 0, [&](const fs::path &s) { damage(s / "byochu.txt", ""); }, "byochu.txt",
       "実行後に m_byochu がありません"},
      {"sakumotsu.txt cut in half", 0, [&](const fs::path &s) { cut_in_half(s / "sakumotsu.txt"); }, "sakumotsu.txt",
       "SQL実行失敗"},
      {"kwlists.txt not SQL", 0, [&](const fs::path &s) { damage(s / "kwlists.txt", "this is not sql;\r\n"); },
       "kwlists.txt", "SQL実行失敗"},
      {"acis.seizai.txt cut in half", 0, [&](const fs::path &s) { cut_in_half(s / "acis.seizai.txt"); },
       "acis.seizai.txt", "SQL実行失敗"},
      {"the disk full at the last table", 0, [](const fs::path &) {}, "検索用テーブル(t_tekiyo)作成", "disk I/O error",
       true},
      {"a date damaged on its way", 2,
       [](const fs::path &s) { RewriteMakersFirstLine(s, "line.replace('令和'.encode('cp932'), '令遭a'.encode('cp932'))"); },
       "update.txt", "データの日付が読めません"},
      {"an NEC-selected character", 2,
       [](const fs::path &s) { RewriteMakersFirstLine(s, "line + b'\\xee\\xe0'"); }, "", ""},
      {"an NEC-selected character of another row", 2,
       [](const fs::path &s) { RewriteMakersFirstLine(s, "line + b'\\xed\\x95'"); }, "", ""},
      {"a lone lead byte before the line's end", 2,
       [](const fs::path &s) { RewriteMakersFirstLine(s, "line + b'\\x81'"); }, "", ""},
  };
  std::vector<std::unique_ptr<ProgramHome>> homes;
  std::vector<std::unique_ptr<TempDir>> shares;
  std::vector<std::string> before;
  std::vector<ProgramHome::Process> running;
  for (const Row &r : rows) {
    auto home = std::make_unique<ProgramHome>();
    auto dir = std::make_unique<TempDir>();
    SoundShare(dir->path(), r.kind);
    r.damage(dir->path());
    home->Settings(dir->path(), r.kind);
    if (r.disk_full) {
      signal(SIGXFSZ, SIG_IGN);
      home->wrapper = {"/usr/bin/prlimit", full_disk, "--"};
    }
    StartFromOldState(*home, r.kind);
    before.push_back(ReadFile(home->Db()));
    running.push_back(home->Start({"/u"}));
    homes.push_back(std::move(home));
    shares.push_back(std::move(dir));
  }
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row &r = rows[i];
    SCOPED_TRACE(r.what);
    ProgramHome &p = *homes[i];
    const RunResult result = ProgramHome::Wait(running[i], 60);
    p.wrapper.clear();
    if (r.why.empty()) {
      // The data come once; the date then compares equal, and nothing is left to do.
      EXPECT_EQ(result.code, 1) << p.Log("DB/autoupdate.log");
      EXPECT_EQ(p.Data(), "new");
      EXPECT_EQ(p.Run({"/u"}).code, 0) << p.Log("DB/autoupdate.log");
      continue;
    }
    ExpectFailedUpdate(p, result, before[i], r.file, r.why);
    EXPECT_EQ(p.Data(), "old");
    EXPECT_TRUE(p.BuildFiles().empty());
  }
  // The sound offer afterwards: the update is still due, and comes.
  running.clear();
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    if (rows[i].why.empty()) continue;
    SoundShare(shares[i]->path(), rows[i].kind);
    running.push_back(homes[i]->Start({"/u"}));
  }
  for (std::size_t i = 0, n = 0; i < std::size(rows); ++i) {
    if (rows[i].why.empty()) continue;
    SCOPED_TRACE(std::string(rows[i].what) + ", then sound");
    const ProgramHome &p = *homes[i];
    EXPECT_EQ(ProgramHome::Wait(running[n++], 60).code, 1) << p.Log("DB/autoupdate.log") << p.Stderr();
    EXPECT_EQ(p.Data(), "new");
    for (const char *t : {"m_byochu", "m_sakumotsu", "kwlists", "seizai", "t_tekiyo"})
      EXPECT_NE(One(p.Db(), std::string("SELECT count(*) FROM ") + t), "0") << t;
  }
}

namespace {

// Records the reports, and whether the database was still locked for writing (a script's
// transaction open) when one was shown.
struct ReportAfterRollback : TScopedRecordingUi {
  fs::path db;
  int shown_locked = 0;
  void ShowReport(const std::string &caption, const std::string &title, const std::string &text) override {
    sqlite3 *h = nullptr;
    sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr);
    if (sqlite3_exec(h, "BEGIN IMMEDIATE; ROLLBACK;", nullptr, nullptr, nullptr) != SQLITE_OK) ++shown_locked;
    sqlite3_close(h);
    TScopedRecordingUi::ShowReport(caption, title, text);
  }
};

}  // namespace

// A reference script creates, fills, changes and drops only the tables, views and indexes
// of its own row. A statement that reaches another table, another database file, a setting
// of the connection or the transaction, or a script that is not text of its encoding, fails
// the script: everything it did is rolled back. Each row: the kit's script with a statement
// appended (a newer copy in the shared folder), run by "/u" on the old state (3 and acis.db
// byte for byte as it was, the log and the error output naming the script and the cause; 1
// for a script that keeps to its own) and by the open of the query object on the old state
// (the failure kept, shown only after the rollback, and tried again at the next open). What
// each row names answers the same before and after, in both.
TEST_F(UnattendedTest, ReferenceScriptsChangeOnlyTheirOwnTables) {
  TempDir elsewhere;
  const std::string zz = (elsewhere / "zz.db").string();
  struct Row {
    const char *what, *file;
    std::string appended;           // UTF-8
    std::string why;                // UTF-8, on the failure line; empty: the script keeps to its own
    std::vector<std::string> same;  // queries on acis.db (spec.db as spec)
    bool served_utf8 = false;       // the whole script in UTF-8 where CP932 is expected
  } rows[] = {
      {"another table dropped", "byochu.txt", "DROP TABLE main.m_kihon;", "DROP TABLE main.m_kihon",
       {"SELECT count(*) FROM m_kihon"}},
      {"another table emptied", "byochu.txt", "DELETE FROM main.m_tekiyo;", "DELETE FROM main.m_tekiyo",
       {"SELECT count(*) FROM m_tekiyo", "SELECT count(*) FROM t_tekiyo"}},
      {"another database file", "kwlists.txt", "ATTACH '" + zz + "' AS zz; CREATE TABLE zz.t (a);", "ATTACH " + zz,
       {}},
      {"its own transaction", "byochu.txt", "BEGIN; DELETE FROM main.gbyochu; ROLLBACK;", ": ROLLBACK",
       {"SELECT count(*) FROM gbyochu"}},
      {"the transaction it runs in released", "byochu.txt", "DELETE FROM main.gbyochu; RELEASE refresh_script;",
       "SAVEPOINT RELEASE refresh_script", {"SELECT count(*) FROM gbyochu"}},
      {"a setting of the connection", "kwlists.txt", "PRAGMA main.user_version = 7;", "PRAGMA user_version",
       {"PRAGMA user_version"}},
      {"a script in UTF-8 where CP932 is expected", "spec.ojas.txt", "", "CP932 のテキストとして読めません",
       {"SELECT group_concat(name) FROM spec.ojas", "SELECT count(*) FROM spec.ojas_shurui"}, true},
      {"an index of its own table, in a BEGIN and COMMIT of its own", "byochu.txt",
       "BEGIN; CREATE INDEX IF NOT EXISTS gbyochu_gid ON gbyochu (gid); COMMIT;", "",
       {}},
  };
  const long long later = std::time(nullptr) + 86400;
  auto damage = [&](const fs::path &share, const Row &r) {
    SoundShare(share, 0);
    const fs::path script = share / r.file;
    std::string text = ReadFile(script);
    text = r.served_utf8 ? cp932::ToUtf8(text) : text + cp932::FromUtf8(r.appended) + "\r\n";
    WriteFile(script, text);
    qmtest::SetMTime(script, later);
  };
  auto answers = [](const fs::path &db, const Row &r) {
    std::vector<std::string> out;
    for (const std::string &q : r.same) out.push_back(One(db, q, true));
    return out;
  };
  const std::vector<std::string> old_answers = [&] {
    std::vector<std::string> all;
    for (const Row &r : rows)
      for (const std::string &a : answers(OldState() / "DB" / "acis.db", r)) all.push_back(a);
    return all;
  }();
  auto expect_same = [&](const fs::path &db, const Row &r) {
    std::size_t at = 0;
    for (const Row &before : rows) {
      if (&before == &r) break;
      at += before.same.size();
    }
    const std::vector<std::string> now = answers(db, r);
    for (std::size_t i = 0; i < now.size(); ++i) EXPECT_EQ(now[i], old_answers[at + i]) << r.same[i];
  };

  // "/u", the rows side by side.
  std::vector<std::unique_ptr<ProgramHome>> homes;
  std::vector<std::unique_ptr<TempDir>> shares;
  std::vector<std::string> before;
  std::vector<ProgramHome::Process> running;
  for (const Row &r : rows) {
    auto home = std::make_unique<ProgramHome>();
    auto dir = std::make_unique<TempDir>();
    damage(dir->path(), r);
    home->Settings(dir->path());
    StartFromOldState(*home);
    before.push_back(ReadFile(home->Db()));
    running.push_back(home->Start({"/u"}));
    homes.push_back(std::move(home));
    shares.push_back(std::move(dir));
  }
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row &r = rows[i];
    SCOPED_TRACE(std::string(r.what) + ", /u");
    const ProgramHome &p = *homes[i];
    const RunResult result = ProgramHome::Wait(running[i], 60);
    if (r.why.empty()) {
      EXPECT_EQ(result.code, 1) << p.Log("DB/autoupdate.log");
      EXPECT_EQ(p.Data(), "new");
      EXPECT_EQ(One(p.Db(), "SELECT count(*) FROM sqlite_master WHERE name = 'gbyochu_gid'"), "1");
      continue;
    }
    ExpectFailedUpdate(p, result, before[i], r.file, r.why);
    expect_same(p.Db(), r);
  }

  // The open of the query object, on the old state with the same shared folder.
  qmtest::ScopedEngineState state;
  ReportAfterRollback ui;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row &r = rows[i];
    SCOPED_TRACE(std::string(r.what) + ", open");
    ProgramHome p;
    StartFromOldState(p);
    damage(shares[i]->path(), r);
    OptionData->DbFolder = p.home.str() + "DB";
    OptionData->DownloadFolder = p.home.str() + "Download";
    OptionData->UseLAN = true;
    OptionData->dirLAN = shares[i]->path().string();
    OptionData->OffLine = false;
    OptionData->BuiltFromSite = 0;
    InstallReferenceRefresh();
    TSQLiteDb::FunctionRegistrar = &RegisterSqlFunctions;
    ui.db = p.Db();
    ui.reports.clear();
    ui.shown_locked = 0;
    for (int open = 0; open < 2; ++open) {
      qmtest::LogLines log;
      auto db = std::make_unique<TAcisDB>(p.Db().string(), &log);
      std::vector<std::string> failures;
      for (const std::string &f : db->RefreshFailures()) failures.push_back(cp932::ToUtf8(f));
      db.reset();
      if (r.why.empty()) {
        EXPECT_TRUE(failures.empty()) << failures.front();
        EXPECT_EQ(One(p.Db(), "SELECT count(*) FROM sqlite_master WHERE name = 'gbyochu_gid'"), "1");
        break;
      }
      // Tried again at the next open: the copy that failed is not taken as current.
      EXPECT_EQ(failures.size(), 1u) << "open " << open;
      if (failures.empty()) break;
      EXPECT_NE(failures[0].find(r.file), std::string::npos) << failures[0];
      EXPECT_NE(failures[0].find(r.why), std::string::npos) << failures[0];
      expect_same(p.Db(), r);
    }
    EXPECT_EQ(ui.shown_locked, 0) << "a failure shown while the script's changes were still there";
    EXPECT_EQ(ui.reports.size(), r.why.empty() || r.served_utf8 ? 0u : 2u);
  }
  EXPECT_FALSE(fs::exists(zz));
}

namespace {

// acis.db and spec.db of the new data as the makers' service offers them ready-made: the
// program folder's old databases with the new data date. Made once.
const fs::path &NewReadyMadeDatabases() {
  static const struct Made {
    TempDir dir;
    Made() {
      for (const char *f : {"acis.db", "spec.db"}) fs::copy_file(OldState() / "DB" / f, dir / f);
      One(dir / "acis.db", "UPDATE info SET Value = replace(Value, '10月31日', '11月30日') WHERE Item = 'LastUpdate'");
    }
  } made;
  return made.dir.path();
}

// A shared folder offering the ready-made databases: acis.zip and spec.zip, each holding
// its database as the statements of Python (over "acis" and "spec", the files' paths, with
// sqlite3 imported) leave it.
void FillReadyMadeShare(const fs::path &share, const std::string &python) {
  TempDir work;
  for (const char *f : {"acis.db", "spec.db"}) fs::copy_file(NewReadyMadeDatabases() / f, work / f);
  Shell("cd '" + work.path().string() + "' && python3 - <<'EOF'\n"
        "import sqlite3, zipfile\n"
        "acis, spec = 'acis.db', 'spec.db'\n" +
        python +
        "for n in ('acis', 'spec'):\n"
        "    with zipfile.ZipFile(n + '.zip', 'w', compression=zipfile.ZIP_DEFLATED) as z: z.write(n + '.db')\n"
        "EOF");
  for (const char *f : {"acis.zip", "spec.zip"})
    fs::copy_file(work / f, share / f, fs::copy_options::overwrite_existing);
}

}  // namespace

// Ready-made databases (from the shared folder) take the old ones' places only when each
// opens as a database, passes SQLite's quick check and holds what the program reads from
// it. Otherwise "/u" ends with 3, acis.db and spec.db stay byte for byte as they were (and
// with them the data date), the log and the error output name the archive, the database
// and the cause; the next run on a sound offer replaces them (1). The rows run side by side.
TEST_F(UnattendedTest, ReadyMadeDatabasesAreCheckedBeforeTheyReplaceTheOldOnes) {
  struct Row {
    const char *what;
    std::string python;      // leaves acis.db or spec.db damaged
    std::string file, why;   // UTF-8: on one line of the log
  } rows[] = {
      {"acis.db of junk text", "open(acis, 'w').write('not a database at all')\n", "acis.zip",
       "acis.db はデータベースとして開けません (file is not a database)"},
      {"acis.db holding a table x alone",
       "import os\nos.remove(acis)\nc = sqlite3.connect(acis)\nc.execute('CREATE TABLE x (a)')\nc.commit()\n", "acis.zip",
       "acis.db にテーブル info がありません"},
      {"acis.db with a damaged page",
       "c = sqlite3.connect(acis)\n"
       "size = c.execute('PRAGMA page_size').fetchone()[0]\n"
       "root = c.execute(\"SELECT rootpage FROM sqlite_master WHERE name = 'm_tekiyo'\").fetchone()[0]\n"
       "c.close()\n"
       "with open(acis, 'r+b') as f:\n"
       "    f.seek((root - 1) * size)\n"
       "    f.write(b'\\xff' * 16)\n",
       "acis.zip", "acis.db は壊れています ("},
      {"acis.db without applications",
       "c = sqlite3.connect(acis)\nc.execute('DELETE FROM m_tekiyo')\nc.commit()\nc.execute('VACUUM')\n", "acis.zip",
       "acis.db のテーブル m_tekiyo にレコードがありません"},
      {"acis.db whose version is no number",
       "c = sqlite3.connect(acis)\nc.execute(\"UPDATE info SET Value = 'x' WHERE Item = 'Version'\")\nc.commit()\n",
       "acis.zip", "acis.db の info に読める Version がありません"},
      {"spec.db of junk text", "open(spec, 'w').write('not a database at all')\n", "spec.zip",
       "spec.db はデータベースとして開けません (file is not a database)"},
      {"spec.db without the crop vocabulary",
       "c = sqlite3.connect(spec)\nc.execute('DROP TABLE cvo')\nc.commit()\n", "spec.zip",
       "spec.db にテーブル cvo がありません"},
  };
  std::vector<std::unique_ptr<ProgramHome>> homes;
  std::vector<std::unique_ptr<TempDir>> shares;
  std::vector<std::string> acis_before, spec_before;
  std::vector<ProgramHome::Process> running;
  for (const Row &r : rows) {
    auto home = std::make_unique<ProgramHome>();
    auto dir = std::make_unique<TempDir>();
    FillReadyMadeShare(dir->path(), r.python);
    home->Settings(dir->path(), 3);
    StartFromOldState(*home);
    acis_before.push_back(ReadFile(home->Db()));
    spec_before.push_back(ReadFile(home->home / "DB" / "spec.db"));
    running.push_back(home->Start({"/u"}));
    homes.push_back(std::move(home));
    shares.push_back(std::move(dir));
  }
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].what);
    const ProgramHome &p = *homes[i];
    ExpectFailedUpdate(p, ProgramHome::Wait(running[i], 60), acis_before[i], rows[i].file, rows[i].why);
    EXPECT_EQ(p.Data(), "old");
    EXPECT_TRUE(ReadFile(p.home / "DB" / "spec.db") == spec_before[i]) << "spec.db changed";
    const std::vector<std::string> left = HiddenFiles(p.home / "DB");
    EXPECT_TRUE(left.empty()) << left.front();
  }
  // The sound offer afterwards replaces both.
  running.clear();
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    FillReadyMadeShare(shares[i]->path(), "");
    running.push_back(homes[i]->Start({"/u"}));
  }
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(std::string(rows[i].what) + ", then sound");
    const ProgramHome &p = *homes[i];
    EXPECT_EQ(ProgramHome::Wait(running[i], 60).code, 1) << p.Log("DB/autoupdate.log") << p.Stderr();
    EXPECT_EQ(p.Data(), "new");
    EXPECT_TRUE(ReadFile(p.home / "DB" / "spec.db") == ReadFile(NewReadyMadeDatabases() / "spec.db"));
  }
}

// "/r" fetches the newer page and files; the "/u" after it still sees that the database is
// older and builds, and the one after that has nothing to do. Without a display both run
// all the same.
TEST_F(UnattendedTest, DownloadCheckThenUpdateBuilds) {
  FillShare(share.path(), false);
  p.Settings(share.path());
  StartFromOldState(p);
  EXPECT_EQ(p.Run({"/r"}).code, 2) << p.Log("Download/autodown.log");
  EXPECT_EQ(p.Data(), "old");
  EXPECT_EQ(qmtest::MTime(p.home / "Download" / "update2.htm"), kNewPageTime);
  for (const char *var : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) p.env[var] = std::nullopt;
  const RunResult r = p.Run({"/U"});
  EXPECT_EQ(r.code, 1) << p.Log("DB/autoupdate.log") << p.Stderr();
  EXPECT_EQ(p.Data(), "new");
  EXPECT_EQ(p.Run({"/u"}).code, 0) << p.Stderr();
}

namespace {

// The publisher's workbooks (kind 1), each in its archive, as the test server offers them:
// the basic part dated by its first sheet's cell A1 (the kit's date, or one month earlier),
// one product with one use in each application part.
void PutWorkbooks(TestServer &server, const std::string &site, bool old, long long mtime) {
  const std::string month = old ? "10月31日" : "11月30日";
  const std::vector<std::string> kihon_header = {"登録番号", "農薬の種類", "農薬の名称", "登録を有する者の名称",
                                                 "有効成分", "総使用回数における有効成分", "濃度", "混合数",
                                                 "用途", "剤型名", "登録年月日"};
  std::vector<std::string> tekiyo_header(25, "項目"), tekiyo(25, "-");
  tekiyo_header[0] = "登録番号";
  tekiyo[0] = "101";
  tekiyo[5] = "稲";
  tekiyo[7] = "ウンカ類";
  const std::map<std::string, std::vector<qmtest::Sheet>> parts = {
      {"登録基本部",
       {{"更新日付", {{"本ファイルは、「令和8年" + month + "」分を反映した農薬登録情報です。(サンプルデータ)"}}},
        {"登録基本部",
         {kihon_header, {"101", "ＤＥＰ乳剤", "ＤＥＰ乳剤", "試験社", "ＤＥＰ", "ＤＥＰ", "10%", "1", "殺虫剤", "乳剤", "44000"}}}}},
      {"登録適用部一", {{"登録適用部一", {tekiyo_header, tekiyo}}}},
      {"登録適用部二", {{"登録適用部二", {tekiyo_header, tekiyo}}}},
  };
  TempDir dir;
  for (const auto &[part, sheets] : parts) {
    WriteFile(dir / (part + ".xls"), qmtest::Workbook(sheets));
    const fs::path zip = dir / (part + ".zip");
    WriteFile(zip, std::string("PK\x05\x06", 4) + std::string(18, '\0'));  // an empty archive
    RewriteArchive(zip, "entries = [('" + part + ".xls', open('" + (dir / (part + ".xls")).string() + "', 'rb').read())]\n");
    server.Put(site + "/ddata/data/" + part + ".zip", ReadFile(zip), mtime);
  }
}

// The offer of source kind 0, 1 or 2 below site on the test server, old (a month earlier) or
// new, with the page and the files all dated alike; the reference scripts on the site's
// mirror.
void PutOffer(TestServer &server, const std::string &site, int kind, bool old) {
  const long long mtime = old ? kOldPageTime : kNewPageTime;
  const fs::path kit = qmtest::SmallKit();
  if (kind == 2) {
    server.Put(site + "/torv/data/update.txt", old ? OldMakersPage() : ReadFile(kit / "makers" / "update.txt"), mtime);
    server.Put(site + "/torv/data/toroku.zip", ReadFile(kit / "makers" / "toroku.zip"), mtime);
  } else {
    const std::string page = old ? OldPage() : ReadFile(kit / "publisher" / "update2.htm");
    server.Put(site + (kind == 0 ? "/ddata/index2.htm" : "/ddata/index.htm"), page, mtime);
    if (kind == 1) PutWorkbooks(server, site, old, mtime);
    if (kind == 0)
      for (const auto &e : fs::directory_iterator(kit / "publisher"))
        if (e.path().extension() == ".zip")
          server.Put(site + "/ddata/datacsv/" + e.path().filename().string(), ReadFile(e.path()), mtime);
  }
  for (const auto &e : fs::directory_iterator(kit / "scripts"))
    server.Put(site + "/torv/data/" + e.path().filename().string(), ReadFile(e.path()), kOldPageTime);
}

}  // namespace

// What "/r" fetched is built by the next "/u", whatever the source, and a database that holds
// the offer is up to date: a new program folder's "/u" builds once and then has nothing to do;
// after a newer offer "/r" fetches it, the next "/u" builds it and the one after has nothing
// to do. The publisher's CSV set, its workbooks (whose own date is written unlike the page's)
// and the makers' set, over HTTP; the kinds run side by side.
TEST_F(UnattendedTest, WhatTheDownloadCheckFetchedIsBuiltOnce) {
  TestServer server;
  const int kinds[] = {0, 1, 2};
  struct Step {
    const char *sw;
    bool newer_offer_first;  // the source offers the new data from this step on
    int code;
    const char *data;        // the data date acis.db records: "old" or "new"
  } steps[] = {
      {"/u", false, 1, "old"},  // a new program folder
      {"/u", false, 0, "old"},
      {"/r", true, 2, "old"},
      {"/u", false, 1, "new"},
      {"/u", false, 0, "new"},
  };
  std::vector<std::unique_ptr<ProgramHome>> homes;
  for (int kind : kinds) {
    const std::string site = "/kind" + std::to_string(kind);
    PutOffer(server, site, kind, true);
    auto home = std::make_unique<ProgramHome>();
    home->env["QUILLMAR_PUBLISHER_HOST"] = server.Url(site);
    home->env["QUILLMAR_TORV_MIRRORS"] = server.Url(site + "/torv/data/");
    home->Settings({}, kind);
    homes.push_back(std::move(home));
  }
  auto recorded = [](const ProgramHome &p) {
    const std::string date = One(p.Db(), "SELECT Value FROM info WHERE Item = 'LastUpdate'");
    if (date.find("10月31日") != std::string::npos) return std::string("old");
    if (date.find("11月30日") != std::string::npos) return std::string("new");
    return date;
  };
  for (std::size_t s = 0; s < std::size(steps); ++s) {
    const Step &step = steps[s];
    std::vector<ProgramHome::Process> running;
    for (std::size_t k = 0; k < std::size(kinds); ++k) {
      if (step.newer_offer_first) PutOffer(server, "/kind" + std::to_string(kinds[k]), kinds[k], false);
      running.push_back(homes[k]->Start({step.sw}));
    }
    for (std::size_t k = 0; k < std::size(kinds); ++k) {
      SCOPED_TRACE("kind " + std::to_string(kinds[k]) + ", step " + std::to_string(s + 1) + " " + step.sw);
      const ProgramHome &p = *homes[k];
      const RunResult r = ProgramHome::Wait(running[k], 60);
      EXPECT_EQ(r.code, step.code) << p.Log("DB/autoupdate.log") << p.Log("Download/autodown.log") << p.Stderr();
      EXPECT_EQ(recorded(p), step.data);
    }
  }
}

// Stale build files of a killed update go at the next start; another running instance
// makes "/u" end at once with its own code, touching nothing.
TEST_F(UnattendedTest, OtherInstanceAndStaleBuildFiles) {
  FillShare(share.path(), false);
  p.Settings(share.path());
  StartFromOldState(p);
  for (const char *name : {".acis.db.123.part", ".acis.db.123.part-journal"}) WriteFile(p.home / "DB" / name, "x");
  fs::create_directories(p.home / "DB" / ".acis.db.77.part");
  WriteFile(p.home / "DB" / "notes.part.txt", "kept");
  const std::string old_log = p.Log("DB/autoupdate.log");
  {
    // The guard of the running instance, in the program folder.
    TSingleInstance running(QString::fromStdString(p.home.path().string()));
    ASSERT_TRUE(running.Acquire());
    for (const char *sw : {"/u", "/r"}) {
      SCOPED_TRACE(sw);
      const RunResult r = p.Run({sw}, 30);
      EXPECT_EQ(r.code, 4) << p.Stderr();
      EXPECT_NE(p.Stderr().find("Quillmar は実行中です"), std::string::npos);
      EXPECT_EQ(p.Data(), "old");
      EXPECT_EQ(p.BuildFiles().size(), 4u);  // nothing was touched
      EXPECT_EQ(p.Log("DB/autoupdate.log"), old_log);
      EXPECT_FALSE(fs::exists(p.home / "Download" / "autodown.log"));
    }
  }
  EXPECT_EQ(p.Run({"/u"}).code, 1) << p.Log("DB/autoupdate.log");
  EXPECT_EQ(p.Data(), "new");
  EXPECT_EQ(p.BuildFiles(), std::vector<std::string>{"notes.part.txt"});
}

namespace {

// The files of the pattern a killed fetch, copy or unpack leaves in the data folder, and in
// the folder an unpack works in.
std::vector<std::string> PartFiles(const fs::path &folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.front() == '.' && name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0)
      found.push_back(name);
  }
  return found;
}

}  // namespace

// An unpack killed while it writes a CSV leaves its partial file; the next run removes it
// (and brings the new data). The second application part is padded with empty lines so
// that its unpack lasts long enough to be caught: the kill comes the moment its partial file
// shows.
TEST_F(UnattendedTest, UnpackKilledMidwayLeavesNoPartialFile) {
  FillShare(share.path(), false);
  TempDir kit_share;
  FillShare(kit_share.path(), false);
  RewriteSecondApplicationPart(share.path(), "data += b'\\r\\n' * (12 << 20)\n");
  p.Settings(share.path());
  bool caught = false;
  for (int attempt = 0; attempt < 3 && !caught; ++attempt) {
    StartFromOldState(p);
    const ProgramHome::Process run = p.Start({"/u"});
    for (;;) {
      int status = 0;
      if (waitpid(run.pid, &status, WNOHANG) == run.pid) break;  // ended before it was caught
      bool writing = false;
      for (const std::string &name : PartFiles(p.home / "Download"))
        writing = writing || (name.find("適用部二") != std::string::npos && name.find(".csv.") != std::string::npos);
      if (writing) {
        kill(run.pid, SIGKILL);
        waitpid(run.pid, &status, 0);
        caught = true;
        break;
      }
      if (std::chrono::duration<double>(Clock::now() - run.start).count() > 60) {
        kill(run.pid, SIGKILL);
        waitpid(run.pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  ASSERT_TRUE(caught) << "no unpack was caught writing";
  ASSERT_FALSE(PartFiles(p.home / "Download").empty());
  EXPECT_EQ(p.Data(), "old");
  // The next run, from the publisher's real files.
  p.Settings(kit_share.path());
  const RunResult next = p.Run({"/u"});
  EXPECT_EQ(next.code, 1) << p.Log("DB/autoupdate.log");
  EXPECT_EQ(p.Data(), "new");
  EXPECT_TRUE(PartFiles(p.home / "Download").empty()) << PartFiles(p.home / "Download").front();
  EXPECT_TRUE(p.BuildFiles().empty());
}

// Two updates on one program folder, started side by side with different temporary
// folders: the guard is the folder's, so one runs and the other ends at once with its code.
TEST_F(UnattendedTest, TwoRunsWithDifferentTemporaryFoldersMeet) {
  OldDataNewShare();
  TempDir other_tmp;
  const ProgramHome::Process first = p.Start({"/u"});
  p.env["TMPDIR"] = other_tmp.path().string();
  const ProgramHome::Process second = p.Start({"/u"});
  const int codes[2] = {ProgramHome::Wait(first).code, ProgramHome::Wait(second).code};
  EXPECT_EQ(std::min(codes[0], codes[1]), 1) << p.Log("DB/autoupdate.log");
  EXPECT_EQ(std::max(codes[0], codes[1]), 4);
  EXPECT_EQ(p.Data(), "new");
  EXPECT_EQ(One(p.Db(), "PRAGMA integrity_check"), "ok");
  EXPECT_TRUE(p.BuildFiles().empty());
}

// Two updates on a program folder that is not there yet: the first to start makes it and
// holds its guard, so the other ends at once with its code. The makers' mirror holds its
// answer back, so that the run that goes on is still at work when the other starts.
TEST_F(UnattendedTest, TwoRunsOnANewProgramFolderMeet) {
  TestServer server;
  server.Put("/torv/data/acis.zip", std::string(4096, 'x'));
  server.SetFaults("/torv/data/acis.zip stall 3\n");
  const std::string mirror = server.Url("/torv/data/");
  p.env["QUILLMAR_TORV_MIRRORS"] = mirror + " " + mirror + " " + mirror + " " + mirror;
  const fs::path fresh = p.home / "new" / "Quillmar";
  p.env["QUILLMAR_HOME"] = fresh.string();
  const ProgramHome::Process first = p.Start({"/u"});
  const ProgramHome::Process second = p.Start({"/u"});
  const int codes[2] = {ProgramHome::Wait(first).code, ProgramHome::Wait(second).code};
  EXPECT_EQ(std::max(codes[0], codes[1]), 4) << codes[0] << " " << codes[1];
  EXPECT_EQ(std::min(codes[0], codes[1]), 3) << p.Log("new/Quillmar/DB/autoupdate.log");
  EXPECT_TRUE(fs::is_directory(fresh / "DB"));
}

// A scheduler mails whatever "/u" and "/r" write to the error output: runs that succeed
// write none of the browser engine's start-up complaints there, and their logs end each
// line, the last one too.
TEST_F(UnattendedTest, UnattendedRunsKeepTheErrorOutputForFailures) {
  OldDataNewShare();
  for (const char *sw : {"/r", "/u"}) {
    SCOPED_TRACE(sw);
    const bool update = std::string(sw) == "/u";
    const RunResult r = p.Run({sw});
    EXPECT_EQ(r.code, update ? 1 : 2);
    const std::string err = p.Stderr();
    for (const char *complaint : {"WebEngineContext", "No suitable graphics backend", "qt.webenginecontext"})
      EXPECT_EQ(err.find(complaint), std::string::npos) << err;
    const std::string log = p.Log(update ? "DB/autoupdate.log" : "Download/autodown.log");
    ASSERT_GT(log.size(), 2u);
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  }
  EXPECT_EQ(p.Data(), "new");
}

// A settings file that cannot be read (here a folder in its place): "/u" runs on the
// defaults, says so on the error output and in its log, and writes nothing in its place.
TEST_F(UnattendedTest, SettingsFileThatCannotBeReadIsSaidInTheLog) {
  OldDataNewShare();
  fs::remove(p.home / "quillmar.ini");
  fs::create_directory(p.home / "quillmar.ini");
  const std::string db_before = ReadFile(p.Db());
  const RunResult r = p.Run({"/u"});
  const std::string said = (p.home / "quillmar.ini").string() + " を読み込めません(フォルダです)。";
  EXPECT_NE(p.Stderr().find(said), std::string::npos) << p.Stderr();
  EXPECT_NE(cp932::ToUtf8(p.Log("DB/autoupdate.log")).find(said), std::string::npos)
      << cp932::ToUtf8(p.Log("DB/autoupdate.log"));
  EXPECT_TRUE(fs::is_directory(p.home / "quillmar.ini"));
  EXPECT_TRUE(fs::is_empty(p.home / "quillmar.ini"));
  // The defaults name a data source that nothing answers here: the run fails and keeps the
  // database.
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(ReadFile(p.Db()), db_before);
}

// A program folder this user cannot write: "/u" fails at once, saying which folder and what
// to do about it on the error output; the database stays as it was. (Run as an unprivileged
// user when the tests run as the superuser, who may write anywhere.)
TEST_F(UnattendedTest, ReadOnlyProgramFolderFailsWithAReason) {
  OldDataNewShare();
  if (geteuid() == 0) {
    if (!fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "no setpriv to run as an unprivileged user";
    p.wrapper = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }
  // The share and the temporary folder stay open to the run.
  for (const fs::path &dir : {share.path(), p.tmp.path()})
    fs::permissions(dir, fs::perms::all, fs::perm_options::add);
  const auto read_only = [&](bool on) {
    for (const auto &e : fs::recursive_directory_iterator(p.home.path()))
      fs::permissions(e.path(), fs::perms::owner_write, on ? fs::perm_options::remove : fs::perm_options::add);
    fs::permissions(p.home.path(), fs::perms::owner_write, on ? fs::perm_options::remove : fs::perm_options::add);
    if (on) fs::permissions(p.home.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  };
  const std::string db_before = ReadFile(p.Db());
  read_only(true);
  const RunResult r = p.Run({"/u"}, 60);
  read_only(false);
  EXPECT_EQ(r.code, 3);
  const std::string err = p.Stderr();
  EXPECT_NE(err.find((p.home / "DB").string() + " に書き込めません(書き込み権限がありません)。"), std::string::npos)
      << err;
  EXPECT_NE(err.find("環境変数 QUILLMAR_HOME"), std::string::npos) << err;
  EXPECT_EQ(ReadFile(p.Db()), db_before);
}
