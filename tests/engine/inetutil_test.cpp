#include "engine/InetUtil.h"

#include <gtest/gtest.h>

#include <ctime>

#include "platform/cp932.h"
#include "platform/inet.h"
#include "support/testserver.h"
#include "support/testutil.h"

using qmtest::MTime;
using qmtest::ReadFile;
using qmtest::SetMTime;
using qmtest::TempDir;
using qmtest::TestServer;
using qmtest::WriteFile;

namespace {

constexpr long long kServerTime = 1780000000;  // 2026-05-28 UTC
constexpr long long kOlder = kServerTime - 86400;

std::string J(const char *utf8) { return cp932::FromUtf8(utf8); }

std::string Field(const std::string &line, int index) {
  std::size_t p = 0;
  for (int i = 0; i < index; ++i) p = line.find('\t', p) + 1;
  return line.substr(p, line.find('\t', p) - p);
}

struct HttpDownloadTest : ::testing::Test {
  TestServer server;
  TempDir dir;
  std::string local = dir.str() + "file.bin";
  std::string body = std::string(10000, 'x') + "end";

  void SetUp() override { server.Put("/d/file.bin", body, kServerTime); }
  void TearDown() override {
    inet::OverrideConnectedState(-1);
    inet::SetGlobalOffline(false);
  }
  bool Fetch(THttpDownload &d, const std::string &path = "/d/file.bin") {
    d.SetUrl(server.Url(path));
    d.SetFileName(local);
    return d.Execute();
  }
};

}  // namespace

TEST_F(HttpDownloadTest, DownloadStoresBodyWithServerTimeAndStatusLine) {
  THttpDownload d;
  d.AdjustTimeStamp = true;
  ASSERT_TRUE(Fetch(d));
  EXPECT_EQ(d.LastError, 0u);
  EXPECT_EQ(ReadFile(local), body);
  EXPECT_EQ(MTime(local), kServerTime);
  EXPECT_EQ(d.ResponseHeaders.Values("StatusCode"), "200");
  EXPECT_EQ(d.ResponseHeaders.Values("StatusText"), "OK");
  EXPECT_EQ(d.ResponseHeaders.Lines.at(2), "HttpVersion=1.1 ");
  EXPECT_EQ(d.ContentLength, static_cast<std::int64_t>(body.size()));
  auto log = server.Requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(Field(log[0], 2), "") << "no local file, so no condition";
  EXPECT_EQ(Field(log[0], 4), "InetDownloader");
}

TEST_F(HttpDownloadTest, ConditionalRequestAnswers304OrFetchesNewerCopy) {
  WriteFile(local, "old");
  SetMTime(local, kServerTime);
  THttpDownload d;
  d.AdjustTimeStamp = true;
  EXPECT_FALSE(Fetch(d));
  EXPECT_EQ(d.LastError, 12210u);
  EXPECT_EQ(d.ResponseHeaders.Values("StatusCode"), "304");
  EXPECT_EQ(d.ResponseHeaders.Values("StatusText"), "Not Modified");
  EXPECT_EQ(ReadFile(local), "old");
  EXPECT_EQ(Field(server.Requests().at(0), 2), inet::FormatHttpDate(kServerTime));

  SetMTime(local, kOlder);
  THttpDownload d2;
  d2.AdjustTimeStamp = true;
  EXPECT_TRUE(Fetch(d2));
  EXPECT_EQ(ReadFile(local), body);
  EXPECT_EQ(MTime(local), kServerTime);
}

// Every failure leaves the old local file as it was, content and time.
TEST_F(HttpDownloadTest, FaultsGiveTheirCodeAndKeepTheOldFile) {
  struct Case {
    const char *faults;
    std::uint32_t error;
    const char *status, *text;
  } cases[] = {
      {"/d/file.bin status 404", 12210, "404", "Not Found"},
      {"/d/file.bin status 500", 12210, "500", "Internal Server Error"},
      {"/d/file.bin status 503", 12210, "503", "Service Unavailable"},
      {"/d/file.bin truncate", 12205, "200", "OK"},
      {"/d/file.bin empty", 12205, "200", "OK"},
      {"/d/file.bin stall 4", 12205, "200", "OK"},
      {"/d/file.bin redirect /nowhere.bin", 12210, "404", "Not Found"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.faults);
    WriteFile(local, "old");
    SetMTime(local, kOlder);
    server.SetFaults(c.faults);
    THttpDownload d;
    d.AdjustTimeStamp = true;
    d.ReceiveTimeout = 1500;  // well below the stall, well above a busy server's answer
    EXPECT_FALSE(Fetch(d));
    EXPECT_EQ(d.LastError, c.error);
    EXPECT_EQ(d.ResponseHeaders.Values("StatusCode"), c.status);
    EXPECT_EQ(d.ResponseHeaders.Values("StatusText"), c.text);
    EXPECT_EQ(ReadFile(local), "old");
    EXPECT_EQ(MTime(local), kOlder);
  }
  EXPECT_EQ(THttpDownload().ResponseHeaders.Count(), 0u);
}

TEST_F(HttpDownloadTest, RedirectIsFollowedAndMissingLastModifiedKeepsTheWriteTime) {
  server.SetFaults("/old/place.bin redirect /d/file.bin\n/d/file.bin nolastmod\n");
  THttpDownload d;
  d.AdjustTimeStamp = true;
  std::time_t before = std::time(nullptr);
  ASSERT_TRUE(Fetch(d, "/old/place.bin"));
  EXPECT_EQ(ReadFile(local), body);
  EXPECT_GE(MTime(local), before - 1);
}

TEST_F(HttpDownloadTest, ConnectionAndOfflineStates) {
  THttpDownload d;
  inet::OverrideConnectedState(0);
  EXPECT_FALSE(Fetch(d));
  EXPECT_EQ(d.LastError, 12200u);
  inet::OverrideConnectedState(-1);

  inet::SetGlobalOffline(true);
  d.OfflineOption = ooError;
  EXPECT_FALSE(Fetch(d));
  EXPECT_EQ(d.LastError, 12201u);
  d.OfflineOption = ooNormal;
  EXPECT_FALSE(Fetch(d));
  EXPECT_EQ(d.LastError, 12203u);
  d.OfflineOption = ooConnect;
  EXPECT_TRUE(Fetch(d));
  EXPECT_FALSE(inet::IsGlobalOffline());

  // A text without a scheme is no address: it is not taken for a host name.
  THttpDownload bare;
  bare.SetUrl("spec.bunrui.txt");
  bare.SetFileName(local);
  EXPECT_FALSE(bare.Execute());
  EXPECT_EQ(bare.LastError, 12203u);

  // Nothing listens on port 1 of this machine.
  THttpDownload refused;
  refused.SetUrl("http://127.0.0.1:1/x");
  refused.SetFileName(local);
  EXPECT_FALSE(refused.Execute());
  EXPECT_EQ(refused.LastError, 12203u);
}

TEST_F(HttpDownloadTest, ProgressEventsAndCancel) {
  std::vector<std::uint32_t> kinds;
  std::uint32_t max = 0;
  std::string text;
  THttpDownload d;
  d.ProgressInterval = 0;
  d.BufferSize = bsSmall;
  d.OnDownloadProgress = [&](TInetDownload *, std::uint32_t, std::uint32_t m, std::uint32_t kind,
                             const std::string &t, bool &) {
    kinds.push_back(kind);
    max = m;
    text = t;
  };
  ASSERT_TRUE(Fetch(d));
  ASSERT_GE(kinds.size(), 3u);
  EXPECT_EQ(kinds.front(), 4u);
  EXPECT_EQ(kinds[1], 5u);
  EXPECT_EQ(kinds.back(), 6u);
  EXPECT_EQ(max, body.size());
  EXPECT_EQ(text, server.Url("/d/file.bin"));

  WriteFile(local, "old");
  SetMTime(local, kOlder);
  THttpDownload c;
  c.ProgressInterval = 0;
  c.OnDownloadProgress = [&](TInetDownload *, std::uint32_t p, std::uint32_t, std::uint32_t,
                             const std::string &, bool &cancel) { cancel = p > 0; };
  EXPECT_FALSE(Fetch(c));
  EXPECT_EQ(c.LastError, 0x80004004u);
  EXPECT_EQ(ReadFile(local), "old");
}

TEST_F(HttpDownloadTest, ProxyWithBasicAuthenticationFetchesHttpsAsHttp) {
  server.SetFaults("proxyauth user:s3cret\n");
  std::string proxy = "127.0.0.1:" + std::to_string(server.port());
  THttpDownload d;
  d.ProxyName = proxy;
  d.ProxyUsername = "user";
  d.ProxyPassword = "s3cret";
  d.SetUrl("https://publisher.test/d/file.bin");
  d.SetFileName(local);
  ASSERT_TRUE(d.Execute()) << d.LastError;
  EXPECT_EQ(d.Url(), "http://publisher.test/d/file.bin");
  EXPECT_EQ(ReadFile(local), body);
  auto log = server.Requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(Field(log[0], 1), "http://publisher.test/d/file.bin");
  EXPECT_EQ(Field(log[0], 3), "Basic " + Base64Encode("user:s3cret"));

  THttpDownload wrong;
  wrong.ProxyName = proxy;
  wrong.ProxyUsername = "user";
  wrong.ProxyPassword = "guess";
  wrong.SetUrl("http://publisher.test/d/file.bin");
  wrong.SetFileName(dir.str() + "other.bin");
  EXPECT_FALSE(wrong.Execute());
  EXPECT_EQ(wrong.LastError, 12210u);
  EXPECT_EQ(wrong.ResponseHeaders.Values("StatusCode"), "407");

  // A host on the bypass list is fetched directly, not through the proxy.
  THttpDownload direct;
  direct.ProxyName = "127.0.0.1:1";
  direct.ProxyBypass = "example.invalid;127.0.0.*";
  direct.SetUrl(server.Url("/d/file.bin"));
  direct.SetFileName(dir.str() + "direct.bin");
  EXPECT_TRUE(direct.Execute()) << direct.LastError;
}

TEST(InetUtil, ParseRawHeaders) {
  TNameValueList l;
  ParseRawHeaders("HTTP/1.1 304 Not Modified\r\nDate: x: y\r\nContent-Length: 0\r\n\r\n", l);
  ASSERT_GE(l.Count(), 5u);
  EXPECT_EQ(l.Lines[0], "StatusCode=304");
  EXPECT_EQ(l.Lines[1], "StatusText=Not Modified");
  EXPECT_EQ(l.Lines[2], "HttpVersion=1.1 ");
  EXPECT_EQ(l.Values("date"), "x=y");
  EXPECT_EQ(l.Values("Content-Length"), "0");
  ParseRawHeaders("Error: Open URL", l);
  EXPECT_EQ(l.Lines, std::vector<std::string>{"Error: Open URL"});
}

TEST(InetUtil, Base64Encode) {
  struct {
    const char *in, *out;
  } cases[] = {{"", ""}, {"abc", "YWJj"}, {"abcd", "YWJjZA=="}, {"abcde", "YWJjZGU="},
               {"user:pass", "dXNlcjpwYXNz"}, {"\xff\xfe", "//4="}};
  for (auto &c : cases) EXPECT_EQ(Base64Encode(c.in), c.out) << c.in;
}

TEST_F(HttpDownloadTest, CheckHttpModifiedAndHttpDates) {
  WriteFile(local, "old");
  SetMTime(local, kOlder);
  std::string message;
  EXPECT_TRUE(CheckHttpModified(server.Url("/d/file.bin"), local, message));
  EXPECT_EQ(message, "200 OK");
  SetMTime(local, kServerTime);
  EXPECT_FALSE(CheckHttpModified(server.Url("/d/file.bin"), local, message));
  EXPECT_EQ(message, "304 Not Modified");
  EXPECT_FALSE(CheckHttpModified("http://127.0.0.1:1/x", local, message));
  EXPECT_EQ(message, J("StatusCode なし サーバ接続失敗!"));

  EXPECT_EQ(FileTimeToHttpDate(local), "Thu, 28 May 2026 20:26:40 GMT");
  EXPECT_EQ(FileTimeToHttpDate(dir.str() + "missing"), "");
  EXPECT_TRUE(SetFileTimeFromHttpDate(local, "Wed, 09 Dec 2026 01:02:03 GMT"));
  EXPECT_EQ(MTime(local), 1796778123);
  EXPECT_FALSE(SetFileTimeFromHttpDate(local, ""));
  EXPECT_FALSE(SetFileTimeFromHttpDate(dir.str() + "missing", "Wed, 09 Dec 2026 01:02:03 GMT"));
}
