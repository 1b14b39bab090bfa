#include "engine/acdb_search.h"

#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/acdb_clauses.h"
#include "platform/cp932.h"

using namespace cp932::literals;

namespace {

const char *const kCrLf = "\r\n";

// The application columns up to the use count, as the work tables take them.
const char *const kLeadColumns =
    "bango,shurui,meisho,tsusho,idsaku,sakumotsu,idbyochu,byochu,mokuteki,jiki,baisu,ekiryo,hoho,basho,"
    "jikan,ondo,dojo,chitai,tekiyaku,kongo,kaisu,";

// One ingredient slot: the ingredient, its system and count, and its resistance group for
// the pest category of the row (the first character of idbyochu), or, when the ingredient
// has none there, its highest group in any category.
std::string SlotLine(int n) {
  const std::string s = "seibun" + std::to_string(n);
  return s + ",keito" + std::to_string(n) + ",kaisu" + std::to_string(n) +
         ",(select if(count(*) > 0, mid, (select max(mid) from raccode where ippanmei = " + s +
         " group by ippanmei)) from raccode where ippanmei = " + s +
         " and cid = substr(idbyochu, 1, 1)) as mid" + std::to_string(n) + ",";
}

// The five slot lines; the first follows the text before it, each other after a line end.
std::string SlotLines() {
  std::string out;
  for (int n = 1; n <= 5; ++n) out += (n > 1 ? kCrLf : "") + SlotLine(n);
  return out;
}

// The five slot lines, each after a line end.
std::string SlotLinesEachOnALine() {
  std::string out;
  for (int n = 1; n <= 5; ++n) out += kCrLf + SlotLine(n);
  return out;
}

// The application rows of the crops whose codes match the expression, in the order of the
// registration numbers. The crop names of those codes come first, so that the rows are looked
// up by name through the index of the applications instead of all of them being joined to
// the crop master and tested; the "+" keeps the planner from walking the number index
// through every row just to save the sort.
std::string CropRowsCondition(const std::string &expr) {
  return "WHERE sakumotsu IN (SELECT sakumotsu FROM m_sakumotsu WHERE idsaku REGEXP " + expr + ")" + kCrLf +
         "AND idsaku IN (SELECT idsaku FROM m_sakumotsu WHERE idsaku REGEXP " + expr + kCrLf + ")" + kCrLf +
         " ORDER BY +bango";
}

std::string Select(const std::string &table, const std::string &expr) {
  return "DROP TABLE IF EXISTS " + table + ";" + kCrLf + "CREATE TEMP TABLE " + table + " AS " + kCrLf + "SELECT " +
         kLeadColumns + SlotLinesEachOnALine() + kCrLf + "dokusei as seizaidokusei,yoto,koka,zaikei,ryakusho " +
         kCrLf + "FROM tekiyo left join seizai using(bango)" + kCrLf + CropRowsCondition(expr) + ";";
}

std::string SqlText(const std::string &text) { return ReplaceAllText(text, "'", "''"); }

}  // namespace

std::string SakumotsuSearchScript(const std::string &IdSakuExpr) {
  return std::string("DROP TABLE IF EXISTS ttTekiyoSaku;") + kCrLf + "CREATE TEMP TABLE ttTekiyoSaku AS " + kCrLf +
         "SELECT " + kLeadColumns + SlotLines() + kCrLf +
         "dokusei as seizaidokusei,yoto,koka,zaikei,ryakusho FROM tekiyo left join seizai using(bango)" + kCrLf +
         CropRowsCondition(IdSakuExpr) + ";";
}

std::string SakumotsuKinsetsuScript(const std::string &IdSakuExpr, const std::string &KinsetsuExpr) {
  const std::string sep = std::string(kCrLf) + "--" + kCrLf;
  std::string insertColumns = std::string("INSERT INTO t_saku(") +
                              "bango,shurui,meisho,tsusho,idsaku,sakumotsu,idbyochu,byochu,mokuteki,jiki,baisu,"
                              "ekiryo,hoho,basho,jikan,ondo,dojo,chitai,tekiyaku,kongo,kaisu,";
  for (int n = 1; n <= 5; ++n) {
    const std::string d = std::to_string(n);
    insertColumns += "seibun" + d + ",keito" + d + ",kaisu" + d + ",mid" + d + ",";
  }
  insertColumns += "seizaidokusei,yoto,koka,zaikei,ryakusho)";
  return Select("t_sub", KinsetsuExpr) + sep + Select("t_saku", IdSakuExpr) + sep +
         "DROP TABLE IF EXISTS t_main;" + kCrLf + "CREATE TEMP TABLE t_main AS " +
         "SELECT DISTINCT bango FROM t_saku ORDER BY bango;" + sep + kCrLf + insertColumns + "SELECT * from t_sub;" +
         sep + "DROP TABLE IF EXISTS ttTekiyoSaku;" + kCrLf + "CREATE TEMP TABLE ttTekiyoSaku AS " +
         "SELECT * FROM t_saku WHERE bango IN  (SELECT DISTINCT bango FROM t_main WHERE bango IN (SELECT DISTINCT "
         "bango FROM t_sub))" +
         kCrLf + " ORDER BY bango;";
}

std::string PestWords(const std::string &Text) {
  std::string out;
  for (const std::string &w : SplitWordList(Text)) {
    if (w.empty()) continue;
    if (!out.empty()) out += ",";
    out += w;
  }
  return out;
}

std::string ByochuSearchScript(const std::string &Words) {
  const std::string match = SakumotsuBetsumeiMatchOr(PestWords(Words), "byochu");
  if (match.empty()) return std::string();
  return "DROP TABLE IF EXISTS tByochu;CREATE TEMP TABLE tByochu AS SELECT byochu FROM m_byochu WHERE " + match +
         ";" + "DROP TABLE IF EXISTS ttTekiyoByochu;" + "CREATE TEMP TABLE ttTekiyoByochu AS " + "SELECT " +
         kLeadColumns + SlotLines() + kCrLf + "dokusei as seizaidokusei," + "yoto,koka,zaikei,ryakusho " +
         "FROM tekiyo left join seizai using(bango)" +
         "WHERE bango IN (SELECT bango FROM m_tekiyo WHERE byochu IN (SELECT byochu FROM tByochu) " +
         "OR mokuteki IN (SELECT byochu FROM tByochu));";
}

std::string ByochuCropListSQL() {
  return "SELECT DISTINCT sakumotsu FROM ttTekiyoByochu WHERE sakumotsu NOT REGEXP '(、.*)?を除く' ORDER BY idsaku;"_sj;
}

std::string ByochuResultSQL(const std::string &ViewName) {
  return "SELECT * FROM " + ViewName +
         " WHERE byochu IN (SELECT byochu FROM tByochu) OR mokuteki IN (SELECT byochu FROM tByochu);";
}

std::string ByochuCropFilterSQL(const std::vector<std::string> &CropLists) {
  std::string clauses;
  for (const std::string &list : CropLists) {
    std::string alternation;
    for (const std::string &name : SplitDelimitedText(list)) {
      if (!alternation.empty()) alternation += "|";
      alternation += RegexEscape(name);
    }
    const std::string l = SqlText(alternation);
    clauses += "('、'||concat('、', sakumotsu, shozoku)||'、' regexp '、("_sj + l +
               ")、' and nozoku not regexp '、("_sj + l + ")、' or fukumu regexp '、("_sj + l + ")、') or"_sj + kCrLf;
  }
  return std::string(
             "select * from tvTsushoTekiyoByochu1 where sakumotsu in (select sakumotsu from m_sakumotsu left join "
             "sakuhojo using(idsaku) where ") +
         kCrLf + clauses + "0" + ")";
}

std::string RegexEscape(const std::string &Text) {
  static const std::string kSigns = "\\^$.|?*+()[]{}";
  std::string out;
  for (std::size_t i = 0; i < Text.size();) {
    const std::size_t n = cp932::CharLen(Text, i);
    if (n == 1 && kSigns.find(Text[i]) != std::string::npos) out += '\\';
    out.append(Text, i, n);
    i += n;
  }
  return out;
}

bool TAcisDB::ExecSearchScript(const std::string &Script, const std::function<bool()> &Show) {
  TBusyCursor busy;
  try {
    FDb->ExecSQL("SAVEPOINT qmSearch;");
  } catch (const ESQLiteException &e) {
    ShowSqlErrorReport("", e);
    return false;
  }
  // Undoes the script unless it was kept; also when Show raises.
  struct Unit {
    TSQLiteDb &db;
    bool keep = false;
    ~Unit() {
      try {
        if (!keep) db.ExecSQL("ROLLBACK TO qmSearch;");
        db.ExecSQL("RELEASE qmSearch;");
      } catch (const ESQLiteException &) {
        // SQLite already ended the transaction itself
      }
    }
  } unit{*FDb};
  try {
    FDb->ExecSQL(Script);
  } catch (const ESQLiteException &e) {
    ShowSqlErrorReport("", e);
    return false;
  }
  unit.keep = !Show || Show();
  return unit.keep;
}
