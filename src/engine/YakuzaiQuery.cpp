#include "engine/YakuzaiQuery.h"

#include <sqlite3.h>

#include "engine/SakuUtil.h"
#include "engine/TextHelpers.h"
#include "engine/acdb.h"
#include "platform/cp932.h"

using namespace cp932::literals;

namespace {

constexpr const char *kCrLf = "\r\n";
// Numbers longer than this are no registration numbers (and would not fit an integer).
constexpr std::size_t kMaxBangoDigits = 9;

bool AllDigits(const std::string &s) {
  if (s.empty() || s.size() > kMaxBangoDigits) return false;
  for (unsigned char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// The half-width keyword split into its operator ("", ">" or "<") and its digits; false
// when it is no number term.
bool SplitBangoTerm(const std::string &Keyword, std::string &Op, std::string &Digits) {
  const std::string k = ToHankaku(Keyword);
  Op.clear();
  Digits = k;
  if (!k.empty() && (k[0] == '>' || k[0] == '<')) {
    Op = k.substr(0, 1);
    Digits = k.substr(1);
  }
  return AllDigits(Digits) && std::stol(Digits) > 0;
}

// Splits on a single-byte separator; blanks and commas are never the second byte of a character.
std::vector<std::string> SplitOn(const std::string &Text, char Sep) {
  std::vector<std::string> out(1);
  for (char c : Text) {
    if (c == Sep)
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

std::string KeyCond(const std::string &Key, bool ByBango) {
  return ByBango ? "bango = " + SqlQuoted(Key) : "tsusho = " + SqlQuoted(Key);
}

}  // namespace

bool IsBangoTerm(const std::string &Keyword) {
  std::string op, digits;
  return SplitBangoTerm(Keyword, op, digits);
}

std::string YakuzaiKeywordCond(const std::string &Keyword) {
  std::string op, digits;
  if (SplitBangoTerm(Keyword, op, digits))
    return "(bango" + std::string(op.empty() ? "=" : op + "=") + std::to_string(std::stol(digits));
  std::string k = Keyword;
  for (const std::string &blank : {"　"_sj, "、"_sj, "＆"_sj}) k = ReplaceAllText(k, blank, " ");
  std::string cond;
  for (const std::string &word : SplitOn(k, ' ')) {
    if (word.empty()) continue;
    if (!cond.empty()) cond += " AND ";
    cond += "strconv(kws) LIKE preconv(" + SqlQuoted("%" + word + "%") + ")";
  }
  if (cond.empty()) cond = "strconv(kws) LIKE preconv(" + SqlQuoted("%" + k + "%") + ")";
  return "bango IN (SELECT bango FROM kwlists WHERE " + cond;
}

std::string YotoCond(const std::string &Yoto) {
  if (Yoto.empty() || Yoto == "全て"_sj) return "";
  // The product's own use: kihon's "yoto" is the use of each ingredient, which would list a
  // product under the use of any one of its ingredients.
  return " AND seizaiyoto = " + SqlQuoted(Yoto);
}

std::string BangoRestriction(bool Active) {
  return Active ? " AND bango IN (SELECT DISTINCT bango FROM t_bango)" : "";
}

std::string CreateBangoTableSQL(const std::string &IdSakuExpr) {
  if (IdSakuExpr.empty())
    return "BEGIN TRANSACTION;DROP TABLE IF EXISTS t_bango;CREATE TEMP TABLE t_bango (bango integer,sakumotsu "
           "varchar);COMMIT;";
  return std::string("BEGIN TRANSACTION;\r\nDROP TABLE IF EXISTS t_bango;\r\n") +
         "CREATE TEMP TABLE t_bango (bango integer,sakumotsu varchar);\r\n" +
         "INSERT INTO t_bango SELECT DISTINCT bango,sakumotsu FROM tekiyo \r\n" +
         "WHERE sakumotsu IN (SELECT sakumotsu FROM m_sakumotsu WHERE idsaku REGEXP " + IdSakuExpr + ")" + kCrLf +
         "ORDER BY bango;" + kCrLf + "COMMIT;";
}

std::string CreateYakuTableSQL(const std::string &Keyword, const std::string &Yoto, bool Restricted) {
  if (!Keyword.empty())
    return std::string("DROP TABLE IF EXISTS t_yaku;\r\n") +
           "CREATE TEMP TABLE t_yaku AS SELECT DISTINCT bango,meisho, kihon.tsusho as tsusho, tsushoruby.ruby as "
           "ruby FROM kihon\r\n" +
           "LEFT JOIN  tsushoruby ON kihon.tsusho = tsushoruby.tsusho\r\n" + "WHERE " + YakuzaiKeywordCond(Keyword) +
           BangoRestriction(Restricted) + ")" + YotoCond(Yoto) + ";";
  return std::string("DROP TABLE IF EXISTS t_yaku;\r\n") +
         "CREATE TEMP TABLE t_yaku AS SELECT DISTINCT bango,meisho,kihon.tsusho as tsusho, tsushoruby.ruby as ruby "
         "FROM kihon\r\n" +
         " LEFT JOIN  tsushoruby ON kihon.tsusho = tsushoruby.tsusho\r\n" +
         "WHERE (bango IN (SELECT DISTINCT bango FROM t_bango)) " + YotoCond(Yoto) + ";";
}

std::string YakuTsushoListSQL() { return "SELECT DISTINCT tsusho FROM t_yaku ORDER BY ruby;"; }
std::string YakuBangoListSQL() { return "SELECT DISTINCT bango,meisho FROM t_yaku ORDER BY bango;"; }

std::string TsushoProductsSQL(const std::string &Tsusho) {
  return "SELECT DISTINCT bango,meisho FROM m_kihon WHERE tsusho = " + SqlQuoted(Tsusho) + " ORDER BY bango";
}

std::string SideProductsSQL(const std::string &Tsusho, bool Restricted) {
  return "SELECT DISTINCT bango,meisho FROM m_kihon WHERE tsusho = " + SqlQuoted(Tsusho) +
         BangoRestriction(Restricted) + " ORDER BY bango";
}

std::string SeibunNamesSQL(const std::string &Key, bool ByBango) {
  return ByBango ? "SELECT DISTINCT ifnullstr(seibun,ippanmei) FROM kihon WHERE bango = " + SqlQuoted(Key)
                 : "SELECT DISTINCT ifnullstr(seibun, ippanmei) FROM kihon WHERE tsusho  = " + SqlQuoted(Key);
}

std::vector<std::string> SeibunTablesSQL(const std::string &Key, bool ByBango, bool Restricted) {
  const std::string key = ByBango ? "bango  = " + SqlQuoted(Key) : "tsusho  = " + SqlQuoted(Key);
  return {"BEGIN TRANSACTION;DROP TABLE IF EXISTS t_seibun;CREATE TEMP TABLE t_seibun AS SELECT DISTINCT "
          "ifnullstr(seibun,ippanmei) AS seibun FROM kihon WHERE " +
              key + ";COMMIT;",
          "BEGIN TRANSACTION;DROP TABLE IF EXISTS t_kihon;CREATE TEMP TABLE t_kihon AS SELECT DISTINCT "
          "tsusho,seibun FROM kihon WHERE seibun IN(SELECT seibun FROM t_seibun)" +
              BangoRestriction(Restricted) + " ORDER BY tsusho;COMMIT;"};
}

std::string SideComboValuesSQL(const std::string &Column, const std::string &Key, bool ByBango) {
  return "SELECT DISTINCT " + Column + " FROM kihon WHERE " + KeyCond(Key, ByBango);
}

std::string SideListSQL(const std::string &Column, const std::string &Value, bool Restricted) {
  return "SELECT DISTINCT kihon.tsusho, tsushoruby.ruby as ruby FROM kihon LEFT JOIN tsushoruby ON kihon.tsusho = "
         "tsushoruby.tsusho WHERE " +
         Column + " = " + SqlQuoted(Value) + BangoRestriction(Restricted) + " ORDER BY ruby;";
}

std::string PluralSeibunTableSQL(const std::vector<std::string> &Ingredients) {
  std::string sql =
      "BEGIN TRANSACTION;\r\nDROP TABLE IF EXISTS t_seibun;\r\nCREATE TEMP TABLE t_seibun (seibun varchar primary "
      "key);\r\n";
  // The primary key takes each ingredient once; a name checked twice is not a failure.
  for (const std::string &i : Ingredients) sql += "INSERT OR IGNORE INTO t_seibun VALUES(" + SqlQuoted(i) + ");\r\n";
  return sql + "COMMIT;";
}

std::string PluralSeibunProductsSQL() {
  // Grouped by the common name itself: names without a reading row must not fall into one group.
  return "SELECT t_kihon.tsusho,tsushoruby.ruby as ruby FROM t_kihon,t_seibun LEFT JOIN tsushoruby ON "
         "t_kihon.tsusho = tsushoruby.tsusho  WHERE t_kihon.seibun = t_seibun.seibun GROUP BY t_kihon.tsusho "
         "HAVING COUNT(t_kihon.seibun) = (SELECT COUNT(seibun) FROM t_seibun) ORDER BY ruby;";
}

std::string SeizaiSQL(const std::string &Bango) {
  return "SELECT bango,shurui,dokusei,torokubi,ryakusho,zaikei,yoto FROM m_kihon as a LEFT JOIN seizai USING(bango) "
         "WHERE bango = " +
         Bango;
}

std::string SuisanSQL(const std::string &Bango) { return "SELECT chuijiko from suisan WHERE bango = " + Bango; }

std::string SeibunGridSQL(const std::string &Bango) {
  return "SELECT DISTINCT ippanmei, seibun, iso as ISO物質名,s.keito as 系統,koka, JPP系統名, kagakumei,nodo, "
         "nodochu, seibuneikyo,dokusei, jogai, jyogai1, jyogai2, biko,mid, rac.keito as RAC系統, "
         "sayoten,sayokiko,fgroup,risk FROM tvSeibun as s LEFT JOIN rac USING(ippanmei) LEFT JOIN iso "
         "USING(ippanmei) WHERE bango = "_sj +
         Bango + " GROUP BY ippanmei";
}

std::string SeibunSlotsSQL(const std::string &Bango) {
  return "SELECT seibun1,seibun2,seibun3,seibun4,seibun5 FROM m_kihon WHERE bango = " + Bango;
}

std::string SeibunOfIppanmeiSQL(const std::string &Bango, const std::string &Ippanmei) {
  return "SELECT seibun FROM seibun WHERE bango = " + Bango + " AND ippanmei = " + SqlQuoted(Ippanmei);
}

std::string TekiyoGridSQL(const std::string &Bango, bool Restricted, const std::string &CropNames) {
  return "SELECT sakumotsu,byochu,mokuteki,baisu,ekiryo,jiki,kaisu,hoho,basho,jikan,ondo,dojo,chitai,tekiyaku,"
         "kaisu1,kaisu2,kaisu3,kaisu4,kaisu5 FROM m_tekiyo WHERE bango = " +
         Bango + BangoRestriction(Restricted) + IsSakumotsuStr(CropNames) + ";";
}

std::string IsSakumotsuStr(const std::string &Names) {
  if (Names.empty()) return "";
  std::string list;
  for (const std::string &name : SplitOn(Names, ',')) {
    if (!list.empty()) list += ",";
    list += SqlQuoted(name);
  }
  return " AND sakumotsu IN (" + list + ")";
}

std::string KaisuCaption(const std::string &Name) {
  return Name.empty() ? std::string() : Name + "を含む農薬の使用回数"_sj;
}

bool ExecSearchScript(TAcisDB &Db, const std::string &Script) {
  TSQLiteDb &db = Db.Db();
  struct MultiStatementScope {
    TSQLiteDb &db;
    bool saved;
    ~MultiStatementScope() { db.MultiStatement = saved; }
  } scope{db, db.MultiStatement};
  db.MultiStatement = true;
  try {
    db.ExecSQL(Script);
    return true;
  } catch (const ESQLiteException &e) {
    // The statements after the failing one do not run; a transaction the script opened
    // would make every later BEGIN fail.
    if (!sqlite3_get_autocommit(db.Handle())) {
      try {
        db.ExecSQL("ROLLBACK;");
      } catch (const ESQLiteException &) {
      }
    }
    ShowSqlErrorReport("", e);
    return false;
  }
}
