// Crop hierarchy queries of the query object: crop names to code expressions over their
// upper groups, the neighbours of a crop, and the expansion of a crop to its registered
// descendants. Crop codes are 16 digits; a crop of class 0..5 keeps 2, 4, 6, 8, 12 or 16
// significant digits, so an ancestor's code is a prefix of its descendants' codes.
#include <algorithm>
#include <exception>
#include <utility>

#include "engine/SakuUtil.h"
#include "engine/TextHelpers.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/acdb_clauses.h"
#include "engine/options.h"
#include "platform/cp932.h"

using namespace cp932::literals;

namespace {

const std::string kCrLf = "\r\n";

// concat gives up at 65,535 bytes of UTF-8 and never cuts a character, so a joined text
// this long may have lost its tail.
constexpr std::size_t kConcatCap = 65535 - 3;
// Selected crops per statement of DeployIdsaku: each crop adds at most seven code pieces to
// the statement's own concat, which then stays far below the cap.
constexpr std::size_t kDeployChunk = 400;

std::string JoinLines(const std::vector<std::string> &lines, const std::string &sep = kCrLf) {
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out += sep;
    out += lines[i];
  }
  return out;
}

// True when the regular-expression engine can compile the quoted code expression; regexp()
// compiles exactly this text (folding leaves digits and signs alone).
bool CodeExpressionFits(const std::string &quoted) {
  if (quoted.size() < 2) return true;
  TPcreRegEx re;
  re.SetRegEx(quoted.substr(1, quoted.size() - 2));
  try {
    re.Compile();
  } catch (const Exception &) {
    return false;
  }
  return true;
}

// Warns that the selection gives more crop codes than one search can take.
void WarnSelectionTooLarge() {
  UiServices().MessageBox(
      "選択した作物が多すぎるため検索条件を作れません。作物の選択を減らしてください。"_sj,
      "Quillmar", MB_OK | MB_ICONWARNING);
}

// The statement of DeployIdsaku for one group of quoted names; Head is the select list.
std::string DeployIdsakuSql(const std::string &Head, const std::string &QuotedNames,
                            const std::string &NamePattern) {
  std::vector<std::string> lines = {
      Head + " from (select class,idsaku,sakumotsu from m_sakumotsu where toroku in (1,3) order "
             "by idsaku desc) where",
      // Every named crop adds its pieces (the outer concat joins the rows), and no crop at
      // all gives a pattern that matches no code.
      "idsaku regexp (select \"^(\"||ifnull(concat(\"|\",concat(\"|\",",
      "  if(class=5,idsaku),",
      "  if(class>3,substr(idsaku,1,12)||if(class=4,\"\",\"0000\")),",
      "  if(class>2,substr(idsaku,1,8)||if(class=3,\"\",\"0000\")),",
      "  substr(idsaku,1,6)||\"000000\",",
      "  substr(idsaku,1,4)||\"00000000\",",
      "  substr(idsaku,1,2)||\"0000000000\",",
      "  if(gunmei is not null,(select substr(idsaku,1,12) from m_sakumotsu where "
      "sakumotsu=a.gunmei)))),\"$\")||\")\"",
      "from m_sakumotsu as a where sakumotsu in ("};
  return JoinLines(lines) + QuotedNames + ")" + kCrLf +
         "or idsaku in (select idsaku from vs_sakumotsu2 where idsaku like \"9%\" and sakumotsu "
         "regexp " +
         SqlQuoted("(" + NamePattern + ")") + "))" + kCrLf;
}

// The statement over the registered crops (status 1 or 3, newest code first) whose codes
// match the pattern that Body selects: the names joined by concat, and one name per row.
std::pair<std::string, std::string> RegisteredCropsSql(const std::string &Body) {
  const std::string from =
      " from (select class,idsaku,sakumotsu from m_sakumotsu where toroku in (1,3) order by "
      "idsaku desc) where" + kCrLf + Body + kCrLf;
  return {"select ifnull(concat(\",\",sakumotsu),\"\")" + from, "select sakumotsu" + from};
}

// Words quoted for an IN list, with their quotes doubled.
std::string QuotedWords(const std::vector<std::string> &words, std::size_t from,
                        std::size_t to) {
  std::string out;
  for (std::size_t i = from; i < to; ++i) {
    if (i > from) out += ",";
    out += SqlQuoted(words[i]);
  }
  return out;
}

}  // namespace

TAcisDB::TCropQuery TAcisDB::CropListQuery(const std::string &SQL, const std::string &RowSQL,
                                           const std::string &Sep, const std::string &Title,
                                           bool Report, std::string &Cell) {
  SetMultiStatement(true);
  try {
    FQuery = std::shared_ptr<TSQLiteTbl>(FDb->GetTable(SQL));
    if (FQuery->Count() == 0) return TCropQuery::NoRow;
    Cell = FQuery->FieldAsString(0);
    if (RowSQL.empty() || cp932::ToUtf8(Cell).size() < kConcatCap) return TCropQuery::Row;
    std::shared_ptr<TSQLiteTbl> rows(FDb->GetTable(RowSQL));
    std::vector<std::string> items;
    for (rows->MoveFirst(); !rows->Eof(); rows->Next()) {
      std::string v = rows->FieldAsString(0);
      if (!v.empty() && std::find(items.begin(), items.end(), v) == items.end())
        items.push_back(std::move(v));
    }
    Cell = JoinLines(items, Sep);
    return TCropQuery::Row;
  } catch (const ESQLiteException &e) {
    if (Report) ShowSqlErrorReport(Title, e);
    return TCropQuery::Failed;
  }
}

std::string TAcisDB::UpperGroup(const std::string &Name) {
  const std::string body = JoinLines({
      // A name that is no crop gives "^($)", which matches no code.
      "idsaku regexp (select \"^(\"||concat(\"|\",if(count(*)=0,\"$\"),",
      " if(class>4,idsaku),",
      " if(class>3,substr(idsaku,1,12)||\"0000\"),",
      " if(class>2,substr(idsaku,1,8)||\"00000000\"),",
      " if(class>1,substr(idsaku,1,6)||\"0000000000\"),",
      " if(class>0,substr(idsaku,1,4)||\"000000000000\"),",
      " substr(idsaku,1,2)||\"00000000000000\",",
      " if(gunmei is not null,(select idsaku from m_sakumotsu where sakumotsu=a.gunmei)))||\")\"",
      "from m_sakumotsu as a where sakumotsu = " + SqlQuoted(Name) + ")",
  });
  const auto [sql, rows] = RegisteredCropsSql(body);
  if (DebugMode) {
    Log("---- UpperGruop ---------");
    Log(sql);
    Log("-------------");
    Log("acdb UpperGroup -> " + sql);
  }
  std::string result;
  CropListQuery(sql, rows, ",", "AcisDB.UpperGroup SQL実行"_sj, true, result);
  if (DebugMode) Log("AcisDB.UpperGroup Result -> " + result);
  return result;
}

std::string TAcisDB::UpperSakumotsuList(const std::string &Name) {
  const std::string name = SqlQuoted(Name);
  const std::string sql = JoinLines({
      "drop table if exists tidsaku;",
      "create temp table tidsaku as",
      "select idsaku, toroku, sakumotsu from vg_sakumotsu2 where",
      "(sakumotsu not like '%)%' or class < 5) and",
      "idsaku regexp (",
      "select '^('||concat('|',",
      "if(idsaku not like '%0000',idsaku||'|'||substr(idsaku,1,12)||'0000',substr(idsaku,1,12)),",
      "substr(idsaku,1,8)||'0000',",
      "substr(idsaku,1,6)||'000000',",
      "substr(idsaku,1,4)||'00000000',",
      "substr(idsaku,1,2)||'0000000000',",
      "if(gunmei is not null,(select idsaku from vg_sakumotsu2 where sakumotsu = a.gunmei), '')",
      ")||')'",
      "from vg_sakumotsu2 as a where sakumotsu = " + name + ") order by idsaku desc;",
      "delete from tidsaku where sakumotsu = " + name + ";",
      "update tidsaku set sakumotsu = '('||sakumotsu||')' where toroku != 1;",
      "update tidsaku set sakumotsu = '['||sakumotsu||']' where substr(idsaku,13,16) <> '0000';",
      "select concat(',',sakumotsu) from tidsaku;",
  });
  std::string result;
  try {
    CropListQuery(sql, "", ",", "", false, result);
  } catch (...) {
    // The list only decorates hints; a failure leaves it empty.
  }
  return result;
}

std::string TAcisDB::SameLevelSakumotsu(const std::string &Name) {
  const std::string name = SqlQuoted(Name);
  const std::vector<std::string> build = {
      "drop table if exists tidsaku;",
      "create temp table tidsaku(idsaku varchar primary key, toroku integer, sakumotsu varchar);",
      "insert into tidsaku",
      "select idsaku, toroku, sakumotsu from vg_sakumotsu2 where idsaku in (",
      "select max(idsaku) from vg_sakumotsu2 where toroku = 1 and idsaku regexp (",
      "select concat('|',idsaku,",
      "substr(idsaku,1,12)||'0000',",
      "substr(idsaku,1,8)||'00000000',",
      "substr(idsaku,1,6)||'0000000000',",
      "substr(idsaku,1,4)||'000000000000',",
      "substr(idsaku,1,2)||'00000000000000')",
      "from vg_sakumotsu2 where sakumotsu = " + name,
      ")",
      ");",
      "insert or ignore into tidsaku",
      "select idsaku, toroku, sakumotsu from vg_sakumotsu2 where",
      "sakumotsu not like " + name + "||'%' and sakumotsu not like '%栽培%' and"_sj,
      "sakumotsu not like 'その他%' and idsaku like ("_sj,
      "select if(class = 5,substr(idsaku,1,12)||'0000',substr(idsaku,1,12))||'%'",
      "from vg_sakumotsu2 where sakumotsu = " + name + ")",
      "order by idsaku desc;",
  };
  const std::string sql =
      JoinLines(build) + kCrLf + "select concat(',',sakumotsu) from tidsaku;" + kCrLf;
  const std::string rows = JoinLines(build) + kCrLf + "select sakumotsu from tidsaku;" + kCrLf;
  std::string result;
  CropListQuery(sql, rows, ",", "AcisDB.SameLevelSakumotsu SQL実行"_sj, true, result);
  return result;
}

std::string TAcisDB::DeployCrops(const std::string &Term, char Mode) {
  const std::string term = ToHankakuBrackets(Term);
  const std::string base = FirstListItem(term);
  if (Mode == '~') return UpperGroup(base);
  const std::string body = JoinLines({
      "idsaku regexp (select \"^\"||",
      "  if(count(*)=0,\"$\",",
      "  if(class=5,\"(\"||idsaku||\"|\"||substr(idsaku,1,12)||\"0000)\",",
      "  if(class=4,substr(idsaku,1,12),",
      "  if(class=3,substr(idsaku,1,8),",
      "  if(class=2,substr(idsaku,1,6),",
      "  if(class=1,substr(idsaku,1,4),",
      "  idsaku))))))",
      "from m_sakumotsu as a where sakumotsu = " + SqlQuoted(base) + ")",
  });
  const auto [sql, rows] = RegisteredCropsSql(body);
  if (DebugMode) Log("acdb DeployCrops -> " + sql);
  std::string cell;
  std::string result;
  switch (CropListQuery(sql, rows, ",", "", true, cell)) {
    case TCropQuery::NoRow:
      result = term;
      break;
    case TCropQuery::Row:
      if (DebugMode) Log("FQuery.FieldAsString(0)" + cell);
      result = cell + ReplaceAllText(term, base, "");
      break;
    case TCropQuery::Failed:
      break;
  }
  if (DebugMode) Log("acdb DeployCrops Result -> " + result);
  return result;
}

std::string TAcisDB::DeployIdsaku(const std::string &Names) {
  const std::string names = ToHankakuBrackets(Names);
  std::string pattern = RegexReplaceText(names, "\\[.+\\]", "", "");
  pattern = RegexReplaceText(pattern, "(\\(.+\\))", "", "$1?");
  pattern = ReplaceAllText(pattern, ",", "|");
  const std::vector<std::string> words = SplitWordList(names);
  const std::string title = "AcisDB.DeployIdsaku SQL実行"_sj;

  std::string result;
  std::string codes;
  if (words.size() <= kDeployChunk) {
    const std::string sql =
        DeployIdsakuSql("select concat(\"|\",idsaku)", QuotedCommaList(names), pattern);
    if (DebugMode) Log("acdb DeployIdsaku -> " + sql);
    const std::string rows = DeployIdsakuSql("select idsaku", QuotedCommaList(names), pattern);
    switch (CropListQuery(sql, rows, "|", title, true, codes)) {
      case TCropQuery::NoRow:
        result.clear();
        break;
      case TCropQuery::Row:
        // No code at all must match nothing: "^()" would match every code.
        result = codes.empty() ? "'^$'" : "'^(" + codes + ")'";
        break;
      case TCropQuery::Failed:
        return result;
    }
  } else {
    // A long selection runs in groups whose code pieces each stay within concat's cap; the
    // codes of all groups are merged in the order one statement would give (descending).
    std::vector<std::string> all;
    for (std::size_t from = 0; from < words.size(); from += kDeployChunk) {
      const std::string list =
          QuotedWords(words, from, std::min(words.size(), from + kDeployChunk));
      const std::string rows = DeployIdsakuSql("select idsaku", list, pattern);
      if (DebugMode) Log("acdb DeployIdsaku -> " + rows);
      SetMultiStatement(true);
      try {
        FQuery = std::shared_ptr<TSQLiteTbl>(FDb->GetTable(rows));
      } catch (const ESQLiteException &e) {
        ShowSqlErrorReport(title, e);
        return result;
      }
      for (FQuery->MoveFirst(); !FQuery->Eof(); FQuery->Next())
        all.push_back(FQuery->FieldAsString(0));
    }
    std::sort(all.begin(), all.end(), std::greater<>());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    result = all.empty() ? "'^$'" : "'^(" + JoinLines(all, "|") + ")'";
  }
  if (!CodeExpressionFits(result)) {
    WarnSelectionTooLarge();
    result = "'^$'";
  }
  if (DebugMode) Log("acdb DeployIdsaku Result -> " + result);
  return result;
}

void TAcisDB::IdSakuRegexpLine(const std::string &Crops, bool MatchByPattern,
                               std::string &Result, bool UseDeployIdsaku) {
  if (DebugMode) Log("---- acdb: IdSakuRegexpLine ----");
  if (UseDeployIdsaku) {
    Result = DeployIdsaku(Crops);
    return;
  }
  const std::string none = "'0000000000000000'";
  try {
    const std::string cond =
        MatchByPattern ? "concat('、', sakumotsu, betsumei,ruby) regexp "_sj +
                             RegexpAlternation(Crops) + " order by idsaku desc;"
                       : "sakumotsu in(" + QuotedCommaList(Crops) + ") order by idsaku desc;";
    std::vector<std::string> group_names;
    if (ExecQuery("select distinct gunmei from m_sakumotsu where " + cond)) {
      if (DebugMode) Log("ExecQuery ok");
      for (; !FQuery->Eof(); FQuery->Next()) {
        group_names.push_back(FQuery->FieldAsString(0));
        if (DebugMode) Log(" -> " + group_names.back());
      }
    }
    const std::string id_sql =
        "select distinct substr(idsaku,1,2) as id from m_sakumotsu where " + cond;
    if (DebugMode) Log("グループID先頭2桁取得 sql -> "_sj + id_sql);
    std::vector<std::string> group_ids;
    if (ExecQuery(id_sql)) {
      for (; !FQuery->Eof(); FQuery->Next()) {
        group_ids.push_back(FQuery->FieldAsString(0));
        if (DebugMode) Log("FQuery.FieldAsString -> " + group_ids.back());
      }
    }
    if (DebugMode) Log("slGroupId -> " + JoinCommaText(group_ids));
    bool level5 = false;
    std::vector<std::string> codes;
    if (ExecQuery("select distinct class,idsaku from m_sakumotsu where " + cond)) {
      for (; !FQuery->Eof(); FQuery->Next()) {
        codes.push_back(FQuery->FieldAsString(1));
        if (FQuery->FieldAsInteger(0) == 5) level5 = true;
      }
    }
    if (DebugMode) Log(level5 ? "IsLevel5 -> True" : "IsLevel5 -> False");

    const std::string candidates =
        MatchByPattern ? "SELECT class,idsaku,sakumotsu,gunmei FROM m_sakumotsu WHERE toroku = 1 AND " +
                             CropRubyRegexpCond(Crops)
                       : "SELECT class,idsaku,sakumotsu,gunmei FROM m_sakumotsu WHERE " +
                             SakumotsuRegexpCond(Crops);
    std::vector<std::string> except;
    try {
      IdSakuRakuyokaju(Crops, except);
    } catch (...) {
      // The exclusions keep what they had.
    }
    if (DebugMode) {
      Log("slExcept -> " + JoinCommaText(except));
      Log(candidates);
    }
    if (!ExecQuery(candidates)) {
      Result = none;
      return;
    }
    std::string pieces;
    auto contains = [](const std::vector<std::string> &v, const std::string &s) {
      return std::find(v.begin(), v.end(), s) != v.end();
    };
    for (; !FQuery->Eof(); FQuery->Next()) {
      const int level = static_cast<int>(FQuery->FieldAsInteger(0));
      const std::string code = FQuery->FieldAsString(1);
      const std::string name = FQuery->FieldAsString(2);
      const bool add = !contains(except, code) && contains(group_ids, code.substr(0, 2));
      if (DebugMode)
        Log("FQuery.Row > " + std::to_string(FQuery->Row) +
            (add ? ": idSaku add" : ": XidSaku not add"));
      if (!add) continue;
      std::string piece = code.substr(0, 12);
      if (level == 5 || (level == 4 && level5 && !contains(group_names, name))) piece = code;
      if (!pieces.empty()) pieces += "|";
      pieces += piece;
      if (DebugMode) {
        Log("Level  ->" + std::to_string(level));
        Log("cid    ->" + code);
        Log("cond   ->" + pieces);
        Log("sakumotsu -> " + name);
        Log("gunmei -> " + FQuery->FieldAsString(3));
        Log("----");
      }
    }
    // Every candidate left out must match nothing: "^()" would match every code.
    Result = pieces.empty() ? none : "'^(" + pieces + ")'";
    if (!CodeExpressionFits(Result)) {
      WarnSelectionTooLarge();
      Result = none;
    }
  } catch (const std::exception &e) {
    UiServices().MessageBox(e.what(), "Quillmar", MB_OK);
  }
}

namespace {

// The condition on the crop master (joined with the auxiliary crop table) of a crop search.
// A picked crop brings the crops filed under it; a name that came in only as the upper group
// of a picked crop brings its own entry, and the entries of the group that exclude some crops
// when they exclude none of the searched ones, but never the other crops filed under it (a
// grower of トマト wants the uses registered for 野菜類, not those of every vegetable). An entry
// that names the crops it includes comes in when it names one of them.
std::string CropSearchCondition(const std::string &Crops, const std::string &UpperOnly) {
  const std::string all = CropRegexLiteral(Crops, ':', false);
  std::vector<std::string> picked, groups;
  const std::vector<std::string> upper = SplitDelimitedText(UpperOnly);
  for (const std::string &name : SplitDelimitedText(Crops))
    (std::find(upper.begin(), upper.end(), name) == upper.end() ? picked : groups).push_back(name);
  if (groups.empty())
    return JoinLines({
        "\"、\"||concat(\"、\",sakumotsu,shozoku)||\"、\" regexp "_sj + all,
        "and nozoku not regexp " + all,
        "or fukumu regexp " + all,
    });
  const std::string own = CropRegexLiteral(JoinCommaText(groups), ':', false);
  std::vector<std::string> lines;
  if (!picked.empty())
    lines.push_back("(\"、\"||concat(\"、\",sakumotsu,shozoku)||\"、\" regexp "_sj +
                    CropRegexLiteral(JoinCommaText(picked), ':', false) + " and nozoku not regexp " + all + ") or");
  lines.push_back("fukumu regexp " + all);
  lines.push_back("or \"、\"||sakumotsu||\"、\" regexp "_sj + own);
  lines.push_back("or ifnull(nozoku,'') != '' and \"、\"||re_replace('[(（].*$',sakumotsu,'')||\"、\" regexp "_sj + own +
                  " and nozoku not regexp " + all);
  return JoinLines(lines);
}

}  // namespace

std::string TAcisDB::IdSakuRegexpLineTest(const std::string &Crops, bool /*Flag*/, const std::string &UpperOnly) {
  if (DebugMode) Log("---- acdb: IdSakuRegexpLine test ----");
  std::string result;
  try {
    if (DebugMode) Log("s -> " + CropRegexLiteral(Crops, ':', false));
    const std::string where =
        " from m_sakumotsu left join sakuhojo using(idsaku) where" + kCrLf + CropSearchCondition(Crops, UpperOnly);
    const std::string sql = "select ifnull(concat(\"|\",idsaku),\"^$\")" + where;
    if (DebugMode) Log(sql);
    if (!ExecQuery(sql)) return result;
    std::string value = FQuery->FieldAsString(0);
    if (cp932::ToUtf8(value).size() >= kConcatCap && ExecQuery("select idsaku" + where)) {
      std::vector<std::string> codes;
      for (; !FQuery->Eof(); FQuery->Next()) codes.push_back(FQuery->FieldAsString(0));
      value = JoinLines(codes, "|");
    }
    Log("Result: " + value);
    result = SqlQuoted(value);
    if (!CodeExpressionFits(result)) {
      WarnSelectionTooLarge();
      result = "'^$'";
    }
  } catch (const std::exception &e) {
    UiServices().MessageBox(e.what(), "Quillmar", MB_OK);
  }
  return result;
}

bool TAcisDB::IsRakuyokaju(const std::string &Name) {
  const std::string sql =
      "SELECT substr(idsaku,1,2) ,gunmei FROM m_sakumotsu WHERE sakumotsu =" + SqlQuoted(Name) +
      ";";
  if (DebugMode) Log("IsNotRakuyokaju -> " + sql);
  if (!ExecQuery(sql)) return false;
  const std::string id = FQuery->FieldAsString(0);
  const std::string group = FQuery->FieldAsString(1);
  if (DebugMode) {
    Log("IsRakuyokaju : substr(idsaku,1,2) -> " + id);
    Log("IsRakuyokaju : gunmei -> " + group);
  }
  return id == "01" && group == "落葉果樹"_sj;
}

void TAcisDB::IdSakuRakuyokaju(const std::string &Crops, std::vector<std::string> &Except) {
  const std::vector<std::string> input = SplitDelimitedText(Crops);
  if (DebugMode) {
    Log("IdSakuRakuyokaju ----------------------");
    Log("slInput.commaText -> " + JoinCommaText(input));
  }
  const std::string sub_entries =
      "SELECT idsaku FROM m_sakumotsu WHERE sakumotsu regexp '^落葉果樹(\\(|.*、)';"_sj;
  if (DebugMode) Log("栽培条件付 idsaku sql -> "_sj + sub_entries);
  if (ExecQuery(sub_entries)) {
    for (; !FQuery->Eof(); FQuery->Next()) {
      Except.push_back(FQuery->FieldAsString(0));
      if (DebugMode) Log("slExcept idsaku -> " + Except.back());
    }
  }
  std::vector<std::string> match;
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (DebugMode) Log("slInput -> " + std::to_string(i) + ": " + input[i]);
    if (FindSjis(input[i], "落葉果樹"_sj) != std::string::npos) {
      match = Except;
      if (DebugMode) Log("落葉果樹そのものが選択された slMatch -> "_sj + JoinCommaText(match));
      break;
    }
  }
  for (const std::string &name : input) {
    if (!IsRakuyokaju(name)) continue;
    const std::string sql = "SELECT idsaku FROM m_sakumotsu WHERE sakumotsu regexp "_sj +
                            SqlQuoted("^落葉果樹(\\(|.*、)"_sj + name + "(、|\\))"_sj) +
                            " AND sakumotsu NOT LIKE '%除く%'"_sj;
    if (DebugMode) Log("IdSakuRakuyokaju SQL-> " + sql);
    if (!ExecQuery(sql)) continue;
    for (; !FQuery->Eof(); FQuery->Next()) {
      std::string code = FQuery->FieldAsString(0);
      if (std::find(match.begin(), match.end(), code) == match.end()) match.push_back(code);
    }
  }
  if (DebugMode) Log("slMatch.CommaText -> " + JoinCommaText(match));
  std::erase_if(Except, [&](const std::string &code) {
    return std::find(match.begin(), match.end(), code) != match.end();
  });
  if (DebugMode) Log("slExcept.CommaText -> " + JoinCommaText(Except));
}

bool TAcisDB::SakumotsuMatches(const std::string &Term) {
  return ExecQuery("SELECT sakumotsu FROM m_sakumotsu WHERE MATCH(" + SqlQuoted(Term) +
                   ",sakumotsu ,'k')");
}

void TAcisDB::MatchSakumotsuList(const std::string &Term, std::string &Result) {
  if (!SakumotsuMatches(Term)) return;
  std::string names = FQuery->FieldAsString(0);
  for (FQuery->Next(); !FQuery->Eof(); FQuery->Next()) names += "," + FQuery->FieldAsString(0);
  Result = names;
}
