#include "engine/Tsusho.h"

#include <functional>
#include <initializer_list>
#include <vector>

#include "engine/TextHelpers.h"
#include "platform/cp932.h"

namespace {

// True when the text holds the word on a character boundary.
bool Has(std::string_view text, std::string_view word) {
  return FindSjis(text, word) != std::string_view::npos;
}

using Guard = std::function<bool(std::string_view)>;

struct Step {
  std::string from;  // CP932
  std::string to;    // CP932
  Guard when;        // empty: always
};

class StepList {
 public:
  // from -> to, run only when the guard holds for the text as it stands at this step.
  void Add(const char *from_utf8, const char *to_utf8 = "", Guard when = {}) {
    steps_.push_back({cp932::FromUtf8(from_utf8), cp932::FromUtf8(to_utf8), std::move(when)});
  }
  // Each text removed, in the order given.
  void Remove(std::initializer_list<const char *> texts) {
    for (const char *t : texts) Add(t);
  }
  // A maker's name with its "・" and "_" forms before the bare form ("_" is what a blank
  // after the name becomes in the CSV imports).
  void Maker(const std::string &name_utf8, const Guard &when = {}) {
    for (const char *tail : {"・", "_", ""}) Add((name_utf8 + tail).c_str(), "", when);
  }
  std::vector<Step> Take() { return std::move(steps_); }

 private:
  std::vector<Step> steps_;
};

// Guard helpers over words given in UTF-8.
Guard Holds(const char *word_utf8) {
  return [w = cp932::FromUtf8(word_utf8)](std::string_view t) { return Has(t, w); };
}
Guard Lacks(const char *word_utf8) {
  return [w = cp932::FromUtf8(word_utf8)](std::string_view t) { return !Has(t, w); };
}
Guard HoldsAny(std::initializer_list<const char *> words_utf8) {
  std::vector<std::string> words;
  for (const char *w : words_utf8) words.push_back(cp932::FromUtf8(w));
  return [words](std::string_view t) {
    for (const auto &w : words)
      if (Has(t, w)) return true;
    return false;
  };
}

std::vector<Step> BuildSteps() {
  StepList s;

  // Product names that carry a mark of their own.
  s.Add("ALモミゲンキ", "モミゲンキ");
  s.Add("ＡＬモミゲンキ", "モミゲンキ");

  // Maker abbreviations in ASCII; longer forms first.
  s.Remove({"ACC", "BASF_", "BASF", "DAS", "DIC", "F.G.", "FMC", "GF", "HCC-", "HCC", "HJ", "ICI", "MIC",
            "JA", "JC", "OAT", "SDS", "ST_", "ST", "TG", "TM", "UBE", "HUPL", "ISK", "MAI"});
  s.Add("Kワイドウェイ粒剤", "ワイドウェイ粒剤");
  s.Add("SG", "", Holds("SGダコグリーン"));

  // The same abbreviations in full-width letters.
  s.Remove({"ＡＣＣ", "ＢＡＳＦ", "ＤＡＳ", "ＤＩＣ", "Ｆ．Ｇ．", "ＦＭＣ", "ＧＦ", "ＨＣＣ－", "ＨＣＣ", "ＩＣＩ", "ＩＣ",
            "ＪＡ", "ＪＣ", "ＳＤＳ", "ＳＴ", "ＴＧ", "ＴＭ", "ＵＢＥ"});

  // Makers and distributors in katakana. Some of the names also occur inside product
  // names, so those are removed only where they stand for the firm.
  for (const char *m : {"クミアイ", "シンジェンタ", "デュポン", "ホクコー", "ホクサン", "サンケイ", "カヤク", "ホドガヤ"})
    s.Maker(m);
  s.Maker("アグロス", [lin = cp932::FromUtf8("アグロスリン"), star = cp932::FromUtf8("アグロスター"),
                      both = cp932::FromUtf8("アグロスアグロスター")](std::string_view t) {
    return !Has(t, lin) && (!Has(t, star) || Has(t, both));
  });
  s.Maker("キング", HoldsAny({"キング石灰硫黄合剤", "キング除虫菊乳剤", "キングマシンエアゾール", "キング95マシン",
                              "キングスミチオン", "キングマラソン"}));
  s.Maker("クレハ", Lacks("クレバー"));
  {
    const Guard bayer = [has = Holds("バイエル"), lacks = Lacks("アージラン")](std::string_view t) {
      return has(t) && lacks(t);
    };
    s.Add("バイエル_", "", bayer);
    s.Add("バイエル", "", bayer);
  }
  s.Maker("トモノ", Lacks("トモノール"));
  s.Add("ヤシマ産業");
  s.Add("ヤシマ_", "", Lacks("ヤシマNCS"));
  s.Add("ヤシマ", "", Lacks("ヤシマNCS"));
  s.Add("フマキラー", "家庭園芸用");

  // Makers in kanji, then the trade marks of small makers (lime, copper and sulphur
  // products); longer forms first.
  s.Remove({"住友化学", "日本化薬", "北海三共"});
  s.Add("三共", "", Lacks("三共の草"));
  s.Remove({"日産", "協友", "日農", "日曹", "丸和", "石原", "理研", "住化", "住友", "兼商", "一農", "新富士", "細井",
            "井筒屋", "科研", "三井東圧", "三井", "大塚", "三光", "興農"});
  s.Remove({"カネナカ", "ヤナイ", "海野", "マルカ", "ヤマニ", "カネジュウ", "マルキチ", "マルコ", "オキヤマタ",
            "ヤマタ", "丸京", "田中", "宮内", "軍配", "クニ印", "蛇の目", "マルア"});

  // Simple chemicals under one name.
  s.Add("カダン石灰硫黄合剤", "石灰硫黄合剤", Holds("カダン石灰硫黄合剤"));
  s.Add("アトミロン印農薬用(ボルドー液用)粉末生石灰", "ボルドー液用粉末生石灰");
  s.Add("硫酸銅(粉)", "硫酸銅(粉状)");
  s.Add("粉状丹礬", "硫酸銅(粉状)");

  // Brackets and marks.
  s.Remove({"「", "」", "｢", "｣", "〔", "〕", "［", "］", "[", "]", "印"});

  // Late product-name mappings.
  s.Add("有機リドミル", "リドミル");
  s.Add("KBW(ケービーダブル)", "KBW");
  s.Add("NT炭酸ガス", "殺虫用炭酸ガス");
  s.Add("inochio");
  s.Add("Nスラゴ", "スラゴ");
  s.Add("NSスラゴ", "スラゴ");
  s.Add("Nスクミンベイト3", "スクミンベイト3");
  s.Add("Nフェラモール", "フェラモール");
  s.Add("NSフェラモール", "フェラモール");
  s.Remove({"アダマ・", "アリスタ"});
  s.Add("バラライカB", "バラライカ");
  s.Remove({"CBC", "コルテバ_", "コルテバ", "カダン_", "ZMCP"});
  s.Add("アースカマイラズ", "カマイラズ");

  // Last, full-width blanks.
  s.Add("　");
  return s.Take();
}

const std::vector<Step> &Steps() {
  static const std::vector<Step> steps = BuildSteps();
  return steps;
}

// Replaces every occurrence of from (on character boundaries, left to right, the inserted
// text never searched again).
void ReplaceAll(std::string &text, const std::string &from, const std::string &to) {
  if (text.find(from) == std::string::npos) return;  // no byte match, so no character match
  std::size_t p = FindSjis(text, from);
  if (p == std::string_view::npos) return;
  std::string out;
  std::size_t last = 0;
  while (p != std::string_view::npos) {
    out.append(text, last, p - last);
    out += to;
    last = p + from.size();
    p = FindSjis(text, from, last);
  }
  out.append(text, last, std::string::npos);
  text.swap(out);
}

}  // namespace

std::string TsushoFromMeisho(std::string_view meisho) {
  std::string text(meisho);
  for (const Step &step : Steps()) {
    if (step.when && !step.when(text)) continue;
    ReplaceAll(text, step.from, step.to);
  }
  return text;
}
