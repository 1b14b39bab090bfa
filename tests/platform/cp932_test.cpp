#include "platform/cp932.h"

#include <gtest/gtest.h>

namespace {

std::string B(std::initializer_list<unsigned> bytes) {
  std::string s;
  for (unsigned b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

TEST(Cp932, EverySingleByteAndEveryDoubleByteCodeRoundTrips) {
  int doubles = 0;
  for (unsigned b = 1; b < 0x100; ++b) {
    if (cp932::IsLeadByte(static_cast<unsigned char>(b))) continue;
    std::string s = B({b});
    EXPECT_EQ(cp932::FromUtf8(cp932::ToUtf8(s)), s) << std::hex << b;
    EXPECT_EQ(cp932::FromUtf16(cp932::ToUtf16(s)), s) << std::hex << b;
  }
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!cp932::IsLeadByte(static_cast<unsigned char>(lead))) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      std::string s = B({lead, trail});
      std::size_t n;
      char32_t u = cp932::DecodeChar(s, 0, &n);
      if (u == U'?') continue;  // not a character of the code page
      ++doubles;
      std::string back = cp932::FromUtf8(cp932::ToUtf8(s));
      // NEC and IBM duplicates come back as the one code Windows prefers; that one round-trips.
      EXPECT_EQ(cp932::FromUtf8(cp932::ToUtf8(back)), back);
      EXPECT_EQ(cp932::DecodeChar(back, 0), u);
    }
  }
  EXPECT_GT(doubles, 7700);  // JIS X 0208 with the NEC and IBM rows
}

TEST(Cp932, WindowsSpecificCharacters) {
  struct Case { const char *utf8; std::string sjis; };
  const Case cases[] = {
      {"㍑", B({0x87, 0x67})}, {"①", B({0x87, 0x40})}, {"～", B({0x81, 0x60})},
      {"－", B({0x81, 0x7C})}, {"∥", B({0x81, 0x61})}, {"￢", B({0x81, 0xCA})},
      {"\\", B({0x5C})},        {"~", B({0x7E})},        {"ｱ", B({0xB1})},
      {"ー", B({0x81, 0x5B})},  {"ソ", B({0x83, 0x5C})}, {"ダ", B({0x83, 0x5F})},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(cp932::FromUtf8(c.utf8), c.sjis) << c.utf8;
    EXPECT_EQ(cp932::ToUtf8(c.sjis), c.utf8) << c.utf8;
  }
}

TEST(Cp932, InvalidInputBecomesQuestionMarks) {
  struct Case { std::string in; std::string out_utf8; };
  const Case to_utf8[] = {
      {B({0x82}), "?"},                 // lead byte at the end
      {B({0x82, 0x20}), "? "},          // lead byte before a byte that cannot trail
      {B({0x85, 0x40}), "?"},           // unassigned pair
      {"a" + B({0x81}) + "", "a?"},
  };
  for (const Case &c : to_utf8) EXPECT_EQ(cp932::ToUtf8(c.in), c.out_utf8);
  EXPECT_EQ(cp932::FromUtf8("\xE2\x82"), "??");        // cut UTF-8 sequence
  EXPECT_EQ(cp932::FromUtf8("\xC0\xAF"), "??");        // overlong
  EXPECT_EQ(cp932::FromUtf8("\xF0\x9F\x98\x80"), "?");  // outside the BMP
  EXPECT_EQ(cp932::FromUtf8("한"), "?");                // no CP932 character
  EXPECT_EQ(cp932::FromUtf16(u"\xD800x"), "?x");        // lone surrogate
}

TEST(Cp932, WalkingRespectsTrailBytes) {
  // "ソA" : 83 5C 41 -- the "\" is a trail byte, not a character.
  std::string s = cp932::FromUtf8("ソA");
  ASSERT_EQ(s, B({0x83, 0x5C, 0x41}));
  EXPECT_TRUE(cp932::IsCharBoundary(s, 0));
  EXPECT_FALSE(cp932::IsCharBoundary(s, 1));
  EXPECT_TRUE(cp932::IsCharBoundary(s, 2));
  EXPECT_TRUE(cp932::IsCharBoundary(s, 3));
  EXPECT_EQ(cp932::NextChar(s, 0), 2u);
  EXPECT_EQ(cp932::CharStart(s, 1), 0u);
  EXPECT_EQ(cp932::PrevChar(s, 2), 0u);
  EXPECT_EQ(cp932::CharCount(s), 2u);
  EXPECT_EQ(cp932::ClampToChar(s, 1), 0u);
  EXPECT_EQ(cp932::ClampToChar(s, 2), 2u);
  std::string lone = B({'a', 0x83});
  EXPECT_EQ(cp932::NextChar(lone, 1), 2u);
}

TEST(Cp932, Utf8Utf16RoundTrip) {
  std::string u8 = "農薬😀ｶﾞ";
  EXPECT_EQ(cp932::Utf16ToUtf8(cp932::Utf8ToUtf16(u8)), u8);
}

}  // namespace
