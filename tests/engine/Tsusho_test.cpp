#include "engine/Tsusho.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/cp932.h"
#include "support/testutil.h"

namespace {

struct Case {
  const char *meisho;  // UTF-8
  const char *tsusho;  // UTF-8
};

void ExpectAll(std::initializer_list<Case> cases) {
  for (const Case &c : cases) {
    EXPECT_EQ(cp932::ToUtf8(TsushoFromMeisho(cp932::FromUtf8(c.meisho))), c.tsusho) << c.meisho;
  }
}

TEST(TsushoFromMeisho, StripsMakerNamesAndMarks) {
  ExpectAll({
      {"", ""},
      {"スミチオン乳剤", "スミチオン乳剤"},
      {"ＡＬモミゲンキ", "モミゲンキ"},
      {"ALモミゲンキ", "モミゲンキ"},
      {"BASF_ザンプロ", "ザンプロ"},
      {"ST_ダコニール1000", "ダコニール1000"},
      {"ＳＴダコニール1000", "ダコニール1000"},
      {"HCC-メガレンジ", "メガレンジ"},
      {"Kワイドウェイ粒剤", "ワイドウェイ粒剤"},
      {"SGダコグリーン", "ダコグリーン"},
      {"ミホンSG", "ミホンSG"},
      {"クミアイ_スミチオン乳剤", "スミチオン乳剤"},
      {"シンジェンタ・ホクト粒剤", "ホクト粒剤"},
      {"シンジェンタ_フェルテラチェス箱粒剤", "フェルテラチェス箱粒剤"},
      {"デュポン_ハーレイDF", "ハーレイDF"},
      {"ホクコーマラソン乳剤", "マラソン乳剤"},
      {"家庭園芸用サンケイダイアジノン粒剤3", "家庭園芸用ダイアジノン粒剤3"},
      {"フマキラートップジンMゾル", "家庭園芸用トップジンMゾル"},
      {"住友化学ゴッツA", "ゴッツA"},
      {"北海三共ダイアジノン", "ダイアジノン"},
      {"日農ダイアジノン水和剤34", "ダイアジノン水和剤34"},
      {"三井東圧アルバリン粒剤", "アルバリン粒剤"},
      {"クロロIPC「日産」", "クロロIPC"},
      {"ポリオキシンAL水和剤「科研」", "ポリオキシンAL水和剤"},
      {"カネナカ印石灰硫黄合剤", "石灰硫黄合剤"},
      {"カダン石灰硫黄合剤", "石灰硫黄合剤"},
      {"アトミロン印農薬用(ボルドー液用)粉末生石灰", "ボルドー液用粉末生石灰"},
      {"マルア硫酸銅(粉)", "硫酸銅(粉状)"},
      {"蛇の目印粉状丹礬", "硫酸銅(粉状)"},
      {"［ＳＴ］ミホンゾール", "ミホンゾール"},
      {"［ＭＹ］ミホンゾール", "ＭＹミホンゾール"},
      {"有機リドミル粒剤", "リドミル粒剤"},
      {"KBW(ケービーダブル)", "KBW"},
      {"NT炭酸ガス", "殺虫用炭酸ガス"},
      {"NSフェラモール", "フェラモール"},
      {"Nスクミンベイト3", "スクミンベイト3"},
      {"アリスタバラライカB水和剤", "バラライカ水和剤"},
      {"コルテバ_スピノエース顆粒水和剤", "スピノエース顆粒水和剤"},
      {"アースカマイラズ", "カマイラズ"},
      {"ミホン　スプレー　", "ミホンスプレー"},
  });
}

TEST(TsushoFromMeisho, GuardedNamesStayInsideOtherWords) {
  ExpectAll({
      {"キングスミチオン", "スミチオン"},
      {"キング石灰硫黄合剤", "石灰硫黄合剤"},
      {"クサキングエースフロアブル", "クサキングエースフロアブル"},
      {"ホクサンクサトリキング", "クサトリキング"},
      {"アグロスリン水和剤", "アグロスリン水和剤"},
      {"クミアイアグロスリン乳剤", "アグロスリン乳剤"},
      {"アグロスター乳剤", "アグロスター乳剤"},
      {"アグロスジャスト", "ジャスト"},
      {"クレハワークアップ", "ワークアップ"},
      {"クレハクレバー", "クレハクレバー"},
      {"バイエル_イノーバDX", "イノーバDX"},
      {"バイエルアージラン", "バイエルアージラン"},
      {"トモノール", "トモノール"},
      {"トモノアグリカ", "アグリカ"},
      {"ヤシマ産業スミパイン", "スミパイン"},
      {"ヤシマスミパイン乳剤", "スミパイン乳剤"},
      {"ヤシマNCS", "ヤシマNCS"},
      {"三共の草枯らし", "三共の草枯らし"},
      {"三共ミホン", "ミホン"},
  });
}

// "[" and "]" are the trail bytes of ー, ゼ and ゾ (81 5B, 83 5B, 83 5D), "_" that of ダ
// (83 5F): the bracket and underscore steps must not cut those characters apart.
TEST(TsushoFromMeisho, MatchesOnlyWholeCharacters) {
  ExpectAll({
      {"ゼロゾーン粒剤", "ゼロゾーン粒剤"},
      {"［ＳＴ］ゼロゾーン", "ゼロゾーン"},
      {"ダコニール[ダ]", "ダコニールダ"},
  });
  // An ASCII search text right after a lead byte is part of that character.
  const std::string go_t = "\x83" "ST";  // ゴ (83 53) followed by "T"
  EXPECT_EQ(TsushoFromMeisho(go_t), go_t);
  // A lone lead byte at the end is left as it is.
  const std::string cut = cp932::FromUtf8("ミホン") + "\x83";
  EXPECT_EQ(TsushoFromMeisho(cut), cut);
}

// The sample-data kit writes the common name it expects beside each registered name (as the
// CSV imports hand it over: blanks turned into "_" before the derivation and back after it).
TEST(TsushoFromMeisho, AgreesWithTheSampleKit) {
  qmtest::TempDir dir;
  const std::string cmd = "python3 '" + (qmtest::SourceDir() / "scripts/samplekit/make.py").string() +
                          "' --size small --out '" + dir.str() + "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "the sample-data kit did not run";
  const std::string tsv = qmtest::ReadFile(dir / "expect/tsusho.tsv");
  int checked = 0;
  for (std::size_t start = 0, end; (end = tsv.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = tsv.substr(start, end - start);
    const std::size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos);
    std::string meisho = line.substr(0, tab);
    for (char &c : meisho)
      if (c == ' ') c = '_';
    std::string got = TsushoFromMeisho(meisho);
    for (std::size_t i = 0; i < got.size(); i = cp932::NextChar(got, i))
      if (got[i] == '_') got[i] = ' ';
    EXPECT_EQ(cp932::ToUtf8(got), cp932::ToUtf8(line.substr(tab + 1))) << cp932::ToUtf8(line);
    ++checked;
  }
  EXPECT_GT(checked, 40);
}

}  // namespace
