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
// has none there, its highest group in any category. The groups come from the two small
// look-up tables the search schema makes (racmid, racmidmax), joined by RacJoins.
std::string SlotLine(int n) {
  const std::string d = std::to_string(n);
  return "seibun" + d + ",keito" + d + ",kaisu" + d + ",iif(c" + d + ".ippanmei IS NULL, x" + d + ".mid, c" + d +
         ".mid) as mid" + d + ",";
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

// The application rows with their products' formulation and the look-ups of the slots' groups.
std::string FromRows() {
  std::string s = "FROM tekiyo left join seizai using(bango)";
  for (int n = 1; n <= 5; ++n) {
    const std::string d = std::to_string(n);
    s += std::string(kCrLf) + "left join racmid c" + d + " on c" + d + ".ippanmei = seibun" + d + " and c" + d +
         ".cid = substr(idbyochu, 1, 1) left join racmidmax x" + d + " on x" + d + ".ippanmei = seibun" + d;
  }
  return s + kCrLf;
}

// The application rows of the crops whose codes match the expression, in the order of the
// registration numbers and, within a number, in the order the applications are stored. The
// crop names of those codes are tested on each application row before it is joined to the
// product and crop tables, and the rows are read along the number index, which gives them in
// that order with no sort: as quick as the name index for a small selection, and for a third
// of the table much quicker than the name index and a sort of what it finds. The "+" keeps
// the planner off the name index.
std::string CropRowsCondition(const std::string &expr) {
  return "WHERE +sakumotsu IN (SELECT sakumotsu FROM m_sakumotsu WHERE idsaku REGEXP " + expr + ")" + kCrLf +
         "AND idsaku IN (SELECT idsaku FROM m_sakumotsu WHERE idsaku REGEXP " + expr + kCrLf + ")" + kCrLf +
         " ORDER BY bango";
}

std::string Select(const std::string &table, const std::string &expr) {
  return "DROP TABLE IF EXISTS " + table + ";" + kCrLf + "CREATE TEMP TABLE " + table + " AS " + kCrLf + "SELECT " +
         kLeadColumns + SlotLinesEachOnALine() + kCrLf + "dokusei as seizaidokusei,yoto,koka,zaikei,ryakusho " +
         kCrLf + FromRows() + CropRowsCondition(expr) + ";";
}

std::string SqlText(const std::string &text) { return ReplaceAllText(text, "'", "''"); }

}  // namespace

std::string SakumotsuSearchScript(const std::string &IdSakuExpr) {
  return std::string("DROP TABLE IF EXISTS ttTekiyoSaku;") + kCrLf + "CREATE TEMP TABLE ttTekiyoSaku AS " + kCrLf +
         "SELECT " + kLeadColumns + SlotLines() + kCrLf +
         "dokusei as seizaidokusei,yoto,koka,zaikei,ryakusho " + FromRows() + CropRowsCondition(IdSakuExpr) + ";";
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

namespace {

// A row's pest or purpose of use is one of the found pests.
const char *const kPestRow = "byochu IN (SELECT byochu FROM tByochu) OR mokuteki IN (SELECT byochu FROM tByochu)";

// The rows come in the order the indexes of pest and purpose give them (by pest, then as
// registered); sorting the wide rows would cost as much as finding them.
std::string PestRows(const std::string &where) {
  return std::string("SELECT ") + kLeadColumns + SlotLines() + kCrLf + "dokusei as seizaidokusei," +
         "yoto,koka,zaikei,ryakusho " + FromRows() + "WHERE " + where + ";";
}

}  // namespace

std::string ByochuSearchScript(const std::string &Words) {
  const std::string match = SakumotsuBetsumeiMatchOr(PestWords(Words), "byochu");
  if (match.empty()) return std::string();
  return "DROP TABLE IF EXISTS tByochu;CREATE TEMP TABLE tByochu AS SELECT byochu FROM m_byochu WHERE " + match +
         ";" + "DROP TABLE IF EXISTS ttTekiyoByochu;" + "CREATE TEMP TABLE ttTekiyoByochu AS " +
         PestRows(std::string("(") + kPestRow + ")");
}

std::string ByochuRestScript() {
  // The rows of the found products whose pest is another one; coalesce, since a row
  // without a pest or purpose gives NULL for the test.
  return "INSERT INTO ttTekiyoByochu " +
         PestRows("bango IN (SELECT DISTINCT bango FROM ttTekiyoByochu) AND NOT coalesce(" + std::string(kPestRow) +
                  ", 0)");
}

std::string ByochuCropListSQL() {
  // Read from the application table, so that the list holds the crops of every row of the
  // found products whether or not the work table has taken the rest of them yet.
  return "SELECT c.sakumotsu FROM (SELECT DISTINCT sakumotsu FROM m_tekiyo WHERE bango IN (SELECT DISTINCT bango "
         "FROM ttTekiyoByochu)) AS c LEFT JOIN m_sakumotsu AS m ON m.sakumotsu = c.sakumotsu "
         "WHERE c.sakumotsu NOT REGEXP '(、.*)?を除く' ORDER BY m.idsaku;"_sj;
}

std::string ByochuResultSQL(const std::string &ViewName) {
  return "SELECT * FROM " + ViewName + " WHERE " + kPestRow + ";";
}

std::string ByochuCropFilterSQL(const std::string &ViewName, const std::vector<TCropAndGroups> &Crops) {
  auto alternation = [](const std::vector<std::string> &names) {
    std::string a;
    for (const std::string &name : names) {
      if (name.empty()) continue;
      if (!a.empty()) a += "|";
      a += RegexEscape(name);
    }
    return SqlText(a);
  };
  auto quotedList = [](const std::vector<std::string> &names) {
    std::string l;
    for (const std::string &name : names) l += (l.empty() ? "'" : ",'") + SqlText(name) + "'";
    return l;
  };
  std::string clauses;
  for (const TCropAndGroups &c : Crops) {
    // The crop itself and its groups by their own entries; the crops filed under it unless
    // their exclusion list names it; an entry of one of its groups that excludes some crops
    // (かんきつ(なつみかんを除く) for みかん) unless it excludes this one; a crop whose
    // inclusion list names it or one of its groups.
    std::vector<std::string> own{c.crop};
    for (const std::string &g : SplitDelimitedText(c.groups))
      if (!g.empty()) own.push_back(g);
    const std::string self = alternation({c.crop}), all = alternation(own);
    clauses += "(m.sakumotsu IN (" + quotedList(own) + ")" + kCrLf + " or '、'||ifnull(h.shozoku, '')||'、' regexp '、("_sj +
               self + ")、' and ifnull(h.nozoku, '') not regexp '、("_sj + self + ")、'"_sj + kCrLf +
               " or ifnull(h.nozoku, '') != '' and '、'||re_replace('[(（].*$', m.sakumotsu, '')||'、' regexp '、("_sj + all +
               ")、' and h.nozoku not regexp '、("_sj + self + ")、'"_sj + kCrLf +
               " or ifnull(h.fukumu, '') regexp '、("_sj + all + ")、') or"_sj + kCrLf;
  }
  return "SELECT * FROM " + ViewName +
         " WHERE sakumotsu IN (SELECT m.sakumotsu FROM m_sakumotsu AS m LEFT JOIN sakuhojo AS h USING(idsaku) WHERE " +
         kCrLf + clauses + "0);";
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
