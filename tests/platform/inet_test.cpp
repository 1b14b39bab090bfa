#include "platform/inet.h"

#include <gtest/gtest.h>

TEST(Inet, ProxyBypassList) {
  inet::Session s("agent", true, "proxy.example:8080", "<local>; *.intra.example ,127.0.0.*");
  struct {
    const char *host;
    bool direct;
  } cases[] = {{"fileserver", true},           {"www.intra.example", true},
               {"intra.example", false},       {"127.0.0.1", true},
               {"www.acis.example.jp", false}, {"WWW.INTRA.EXAMPLE", true}};
  for (auto &c : cases)
    EXPECT_EQ(s.ProxyFor(c.host).empty(), c.direct) << c.host;
  inet::Session system("agent", false, "", "");
  EXPECT_TRUE(system.UsesSystemProxy());
}

TEST(Inet, HttpDatesAndEscapedAddresses) {
  EXPECT_EQ(inet::FormatHttpDate(1796778123), "Wed, 09 Dec 2026 01:02:03 GMT");
  std::time_t t = 0;
  for (const char *text : {"Wed, 09 Dec 2026 01:02:03 GMT", "Wednesday, 09-Dec-26 01:02:03 GMT",
                           "Wed Dec  9 01:02:03 2026"}) {
    EXPECT_TRUE(inet::ParseHttpDate(text, t)) << text;
    EXPECT_EQ(t, 1796778123) << text;
  }
  EXPECT_FALSE(inet::ParseHttpDate("", t));
  EXPECT_FALSE(inet::ParseHttpDate("not a date", t));
  EXPECT_EQ(inet::EscapeUrl("http://h/ddata/data/登録 基本部.zip?a=%41"),
            "http://h/ddata/data/%E7%99%BB%E9%8C%B2%20%E5%9F%BA%E6%9C%AC%E9%83%A8.zip?a=%41");
}
