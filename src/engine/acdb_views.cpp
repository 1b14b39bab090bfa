// The search schema of a connection: temporary tables and views that the search tabs fill
// and select from (the ingredient short forms, the joined product view, the work tables of
// the crop and pest searches, the forty result views and the denormalised application table).
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "engine/SakuUtil.h"
#include "engine/acdb.h"
#include "platform/cp932.h"

using namespace cp932::literals;

namespace {

const char *const kCrLf = "\r\n";

std::string Lines(std::initializer_list<std::string> lines) {
  std::string s;
  for (const std::string &l : lines) s += l + kCrLf;
  return s;
}

// Script A: the short forms of the registered ingredient texts.
std::string ScriptA() {
  return Lines({
      "begin transaction;",
      "drop table if exists tSeibun;",
      "create temp table tSeibun as select distinct ippanmei, seibun, seibun as shoryaku, ippanmei as kanryaku "
      "from seibun where ippanmei != seibun;",
      "update tSeibun set shoryaku = re_replace('.*" + "及び"_sj + "([A-Z\\-]+)(.*)', shoryaku, '(\\1)\\2') "
      "where shoryaku regexp '" + "及び"_sj + "[A-Z]+';",
      "update tSeibun set shoryaku = re_replace('.*" + "及び"_sj + "(.*?)([A-Z\\-]+)', shoryaku, '\\1(\\2)') "
      "where shoryaku regexp '" + "及び"_sj + ".*?[A-Z]+';",
      "update tSeibun set kanryaku = re_replace('^('||seibun||')(.*)', kanryaku, '\\1(\\2)') "
      "where kanryaku like seibun||'%';",
      "update tSeibun set kanryaku = re_replace('(.*?)('||seibun||')$', kanryaku, '(\\1)\\2') "
      "where kanryaku like '%'||seibun;",
      "update tSeibun set kanryaku = re_replace('(.+?)([A-Z\\-]+.*)', kanryaku, '\\1(\\2)') "
      "where seibun like '%" + "及び"_sj + "%' and kanryaku regexp '.+[A-Z]+.*$';",
      "update tSeibun set kanryaku = re_replace('([A-Z\\-]+)(.*)', kanryaku, '(\\1)\\2') "
      "where seibun like '%" + "及び"_sj + "%' and kanryaku regexp '^[A-Z]+';",
      "commit;",
  });
}

std::string KokaConcat() {
  static const int masks[] = {3, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768};
  std::string s = "concat('" + "・"_sj + "'," + kCrLf;
  for (std::size_t i = 0; i < std::size(masks); ++i)
    s += "(select koka from koka where koka.kokaid = b.kokaid & " + std::to_string(masks[i]) + ")" +
         (i + 1 < std::size(masks) ? "," : "") + kCrLf;
  return s;
}

std::string WorkTable(const char *name) {
  std::string s = std::string("CREATE TEMP TABLE ") + name + "(" + kCrLf;
  s += "bango INTEGER, shurui VARCHAR, meisho VARCHAR, tsusho VARCHAR, idsaku VARCHAR[10]," + std::string(kCrLf);
  s += "sakumotsu VARCHAR, idbyochu VARCHAR[8], byochu VARCHAR, mokuteki VARCHAR, jiki VARCHAR," + std::string(kCrLf);
  s += "baisu VARCHAR, ekiryo VARCHAR, hoho VARCHAR, basho VARCHAR, jikan VARCHAR," + std::string(kCrLf);
  s += "ondo VARCHAR, dojo VARCHAR, chitai VARCHAR, tekiyaku VARCHAR, kongo INTEGER, kaisu VARCHAR," +
       std::string(kCrLf);
  for (int n = 1; n <= 5; ++n) {
    std::string d = std::to_string(n);
    s += "seibun" + d + " VARCHAR, keito" + d + " VARCHAR, kaisu" + d + " VARCHAR, mid" + d + " VARCHAR," + kCrLf;
  }
  s += "seizaidokusei VARCHAR, yoto VARCHAR, koka VARCHAR, zaikei VARCHAR, ryakusho VARCHAR);" + std::string(kCrLf);
  return s;
}

// The five lines of the ingredient column block of a display mode; keito gives the slot's
// system column.
template <typename KeitoFn>
std::string ColumnBlock(int mode, KeitoFn keito) {
  if (mode < 0 || mode > 4) return std::string();
  std::string s;
  for (int n = 1; n <= 5; ++n) {
    const std::string d = std::to_string(n);
    const std::string sb = "seibun" + d, ks = "kaisu" + d, md = "mid" + d, kt = keito(d);
    switch (mode) {
      case 0:
        s += "(ifnull((select kanryaku from tSeibun where ippanmei = " + sb + ")," + sb + ")) as " + sb + ", " + kt +
             ", " + ks + ", " + md + ",";
        break;
      case 1:
        s += "concat(' ', " + sb + ", '['||(select seibun from tSeibun where ippanmei = " + sb + ")||']') as " + sb +
             ", " + kt + ", " + ks + ", " + md + ",";
        break;
      case 2:
        s += sb + ", " + kt + ", concat(': ', (select seibun from tSeibun where ippanmei = " + sb + "), " + ks +
             ") as " + ks + ", " + md + ",";
        break;
      case 3:
        s += sb + ", " + kt + ", concat(': ', (select shoryaku from tSeibun where ippanmei = " + sb + "), " + ks +
             ") as " + ks + ", " + md + ",";
        break;
      case 4:
        s += sb + ", " + kt + ", " + ks + ", " + md + ",";
        break;
    }
    s += kCrLf;
  }
  return s;
}

std::string RacSlotLines(int n) {
  std::string s;
  const std::string d = std::to_string(n), r = "r" + d;
  s += "seibun" + d + ", " + r + ".seibun as yuko" + d + ", " + r + ".iso as iso" + d + ", kaisu" + d + ", " + r +
       ".mid as mid" + d + ", " + r + ".keito as keito" + d + ", " + r + ".fgroup as rem" + d + ", " + r +
       ".risk as risk" + d + ",";
  return s;
}

std::string DisplaySlotLines() {
  std::string s;
  for (int n = 1; n <= 5; ++n) {
    std::string d = std::to_string(n);
    s += "seibun" + d + ", yuko" + d + ", kaisu" + d + ", mid" + d + ", keito" + d + ", rem" + d + ", risk" + d + "," +
         kCrLf;
  }
  return s;
}

const char *const kDashLines =
    "iif(basho = '-', null, basho) as basho, iif(jikan = '-', null, jikan) as jikan, iif(ondo ='-', null, ondo) as "
    "ondo,\r\n"
    "iif(dojo = '-', null, dojo) as dojo, iif(chitai ='-', null, chitai) as chitai, tekiyaku,\r\n";

// Script B: products, work tables, result views and the application table.
std::string ScriptB() {
  std::string s = Lines({
      "BEGIN TRANSACTION;",
      "DROP VIEW IF EXISTS kihon;",
      "DROP TABLE IF EXISTS ttTekiyoSaku;",
      "DROP TABLE IF EXISTS ttTekiyoByochu;",
      "DROP VIEW IF EXISTS tvTekiyoSaku;",
      "DROP VIEW IF EXISTS tvTsushoTekiyoSaku;",
      "DROP VIEW IF EXISTS tvTekiyoByochu;",
      "DROP VIEW IF EXISTS tvTsushoTekiyoByochu;",
      "CREATE TEMP VIEW kihon AS",
      "SELECT DISTINCT",
      "bango, shurui, meisho, tsusho, ryakusho, s.dokusei AS seizaidokusei, zaikei, k.yoto AS seizaiyoto,",
      "kongo, ippanmei, a.seibun AS seibun, iso, nodo, d.dokusei AS dokusei, jogai, d.yoto AS yoto,",
  });
  s += KokaConcat() + ") AS koka," + kCrLf;
  s += Lines({
      "b.keito AS keito, mid, r.keito AS rackeito, sayoten, sayokiko, fgroup, risk, concat(o1.ojas, o2.ojas, "
      "o3.ojas) AS ojas",
      "FROM seibun AS a",
      "LEFT JOIN m_kihon AS k USING(bango)",
      "LEFT JOIN seizai AS s USING(bango)",
      "LEFT JOIN iso USING(ippanmei)",
      "LEFT JOIN bunrui AS b ON a.ippanmei = b.seibun",
      "LEFT JOIN dokusei AS d USING(ippanmei)",
      "LEFT JOIN rac AS r USING(ippanmei)",
      "LEFT JOIN ojas_shurui AS o1 USING(shurui)",
      "LEFT JOIN ojas_keito AS o2 USING(keito)",
      "LEFT JOIN ojas_seibun AS o3 USING(seibun);",
      "DROP TABLE IF EXISTS t_tokusai;",
      "CREATE TEMP TABLE t_tokusai AS",
      "SELECT bango, tsusho, kongo, count(ojas) AS cojas, max(if(tsusho = '" + "エコピタ液剤"_sj + "', '" +
          "特栽(認証団体によって取扱いが異なる)"_sj + "', ojas)) AS ojas FROM kihon WHERE ojas != '' GROUP BY bango;",
      "DELETE FROM t_tokusai WHERE kongo > cojas;",
  });
  s += WorkTable("ttTekiyoSaku");
  s += WorkTable("ttTekiyoByochu");

  for (bool rk : {false, true}) {
    for (const char *target : {"Saku", "Byochu"}) {
      for (bool tsusho : {false, true}) {
        for (int digit = 1; digit <= 5; ++digit) {
          std::string name = std::string("tv") + (tsusho ? "Tsusho" : "") + "Tekiyo" + (rk ? "Rk" : "") + target +
                             std::to_string(digit);
          s += "CREATE TEMP VIEW " + name + " AS SELECT " + (tsusho ? "DISTINCT " : "") + kCrLf;
          s += tsusho ? "sakumotsu, byochu, mokuteki, shurui, tsusho, jiki, baisu, ekiryo, hoho, basho, jikan, ondo, "
                        "dojo, chitai, tekiyaku, kaisu, kongo,"
                      : "bango, sakumotsu, byochu, mokuteki, shurui, meisho, jiki, baisu, ekiryo, hoho, basho, jikan, "
                        "ondo, dojo, chitai, tekiyaku, kaisu, kongo,";
          s += kCrLf;
          s += rk ? SeibunColumnsRac(digit - 1) : SeibunColumns(digit - 1);
          s += "seizaidokusei, yoto, koka, zaikei" + std::string(kCrLf);
          s += std::string("FROM ttTekiyo") + target + ";" + kCrLf;
        }
      }
    }
  }

  s += "COMMIT TRANSACTION;" + std::string(kCrLf);
  return s;
}

// The denormalised application table (with its index) in the given schema: "temp" for the
// connection alone, "main" to keep it in acis.db.
std::string TekiyoTableScript(const std::string &schema) {
  const bool temp = schema == "temp";
  std::string s = Lines({
      "drop table if exists " + schema + ".t_tekiyo;",
      temp ? "create temp table t_tekiyo as" : "create table " + schema + ".t_tekiyo as",
      "with racinfo as (",
      "select ippanmei, ifnull(seibun, ippanmei) as seibun, iso, mid, keito, fgroup, risk",
      "from rac",
      "left join iso using(ippanmei)",
      "left join (select distinct ippanmei, seibun from seibun) using(ippanmei)",
      ")",
      "select",
      "bango, meisho, k.tsusho as tsusho, shurui, dokusei as seizaidokusei, sakumotsu, byochu, mokuteki, baisu, "
      "ekiryo, jiki, kaisu,",
      "hoho, basho, jikan, ondo, dojo, chitai, tekiyaku, k.kongo as kongo,",
  });
  for (int n = 1; n <= 5; ++n) s += RacSlotLines(n) + kCrLf;
  s += Lines({
      "yoto as seizaiyoto, koka as seizaikoka, ojas as seizaiojas, zaikei, torokubi, ryakusho",
      "from m_tekiyo",
      "left join m_kihon as k using (bango)",
      "left join seizai using (bango)",
      "left join t_tokusai using (bango)",
  });
  for (int n = 1; n <= 5; ++n) {
    std::string d = std::to_string(n);
    s += "left join racinfo r" + d + " on r" + d + ".ippanmei = seibun" + d + (n == 5 ? ";" : "") + kCrLf;
  }
  s += Lines({
      "drop index if exists " + schema + ".t_tekiyoIdx;",
      "create index " + (temp ? std::string() : schema + ".") +
          "t_tekiyoIdx on t_tekiyo (bango, meisho, tsusho, shurui,sakumotsu, byochu, mokuteki, mid1, mid2, "
          "mid3, mid4, mid5);",
  });
  return s;
}

// The two display views over the application table.
std::string TekiyoViewsScript() {
  std::string s = Lines({
      "BEGIN TRANSACTION;",
      "drop view if exists tv_tsushoTekiyo;",
      "create temp view tv_tsushoTekiyo as",
      "select distinct",
      "tsusho, shurui, zaikei, seizaidokusei, sakumotsu, byochu, mokuteki, baisu, ekiryo, jiki, kaisu, hoho,",
  });
  s += kDashLines + DisplaySlotLines();
  s += Lines({
      "kongo, seizaiyoto, seizaikoka, seizaiojas",
      "from t_tekiyo;",
      "drop view if exists tv_meishoTekiyo;",
      "create temp view tv_meishoTekiyo as",
      "select",
      "sakumotsu, byochu, mokuteki, baisu, ekiryo, jiki, kaisu, hoho,",
  });
  s += kDashLines + DisplaySlotLines();
  s += Lines({
      "kongo, seizaiyoto, seizaikoka, seizaidokusei, zaikei, shurui, tsusho, meisho, bango",
      "from t_tekiyo;",
      "COMMIT TRANSACTION;",
  });
  return s;
}

// Script C: the ingredients of each product, with the JPP columns when that data is there.
std::string ScriptC(bool jpp) {
  std::string s = Lines({"DROP VIEW IF EXISTS tvSeibun;", "BEGIN TRANSACTION;"});
  if (jpp) {
    s += Lines({
        "CREATE TEMP VIEW tvSeibun AS",
        "SELECT",
        "k.bango AS bango,",
        "k.ippanmei AS ippanmei,",
        "k.seibun AS seibun,",
        "k.keito AS keito,",
        "koka,",
        "j.keito AS JPP" + "系統名"_sj + ",",
        "kagakumei,",
        "IFNULLSTR(j.nodo, k.nodo) AS nodo,",
        "nodochu,",
        "IFNULLSTR(j.dokusei, IFNULLSTR(d.dokusei, '-')) AS dokusei,",
        "seibunEikyo,",
        "NULL AS jogai,",
        "jyogai1, jyogai2,",
        "biko",
        "FROM kihon AS k",
        "LEFT JOIN dokusei AS d ON d.ippanmei = k.ippanmei OR seibunmei = k.ippanmei",
        "LEFT JOIN jppSeibun AS j ON j.bango = k.bango AND j.ippanmei = k.ippanmei;",
    });
  } else {
    s += Lines({
        "CREATE TEMP VIEW tvSeibun AS ",
        "SELECT",
        "bango,",
        "k.ippanmei AS ippanmei,",
        "k.seibun AS seibun,",
        "keito,",
        "koka,",
        "NULL AS JPP" + "系統名"_sj + ",",
        "NULL AS kagakumei,",
        "nodo,",
        "NULL AS nodochu,",
        "seibunEikyo,",
        "IFNULLSTR(d.dokusei, '-') AS dokusei,",
        "d.jogai,",
        "NULL AS jyogai1,",
        "NULL AS jyogai2,",
        "biko",
        "FROM kihon as k",
        "LEFT JOIN dokusei AS d ON d.ippanmei = k.ippanmei OR seibunmei = k.ippanmei;",
    });
  }
  s += "COMMIT TRANSACTION;";
  return s;
}

}  // namespace

std::string SeibunColumns(int Mode) {
  return ColumnBlock(Mode, [](const std::string &d) { return "keito" + d; });
}

std::string SeibunColumnsRac(int Mode) {
  return ColumnBlock(Mode, [](const std::string &d) {
    return "(select if(count(*) > 0, keito,(select max(keito) from rac2 where ippanmei = seibun" + d +
           " group by ippanmei)) from rac2 where ippanmei = seibun" + d +
           " and cid = substr(idbyochu, 1, 1)) as keito" + d;
  });
}

namespace {

// What the application table is made of. The published application rows change only with
// a new data date (their count and last row stand for them, as reading 300,000 rows at
// every start would cost more than the table saves); every other table, which a reference
// refresh or the effect-class rewrite may change under the same date, is read whole.
const char *const kTekiyoSources[] = {
    "SELECT count(*), max(rowid) FROM m_tekiyo",
    "SELECT * FROM m_kihon",
    "SELECT * FROM seizai",
    "SELECT * FROM t_tokusai",
    "SELECT * FROM rac",
    "SELECT * FROM iso",
    "SELECT DISTINCT ippanmei, seibun FROM seibun",
};

// Indexes of acis.db that the searches' sub-selects use: the pest search looks rows up by
// pest and by purpose. (No index may lead with the number besides the number's own: the crop
// search reads its rows along that one to get the rows of a number in their stored order. The
// one on number and crop that an earlier version made goes at every open before the kept
// table's key is read; its drop stays here since the key is made from this text.)
const char *const kSearchIndexes =
    "DROP INDEX IF EXISTS main.idxTekiyoBangoSakumotsu;\r\n"
    "CREATE INDEX IF NOT EXISTS main.idxTekiyoByochu ON m_tekiyo (byochu);\r\n"
    "CREATE INDEX IF NOT EXISTS main.idxTekiyoMokuteki ON m_tekiyo (mokuteki);\r\n";

// The key under which acis.db keeps its application table: the data date and a digest of
// the table's own definition and of the rows that went into it.
std::string TekiyoTableKey(TSQLiteDb &db, const std::string &dataDate) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  auto mix = [&h](std::string_view text) {
    for (unsigned char c : text) {
      h ^= c;
      h *= 1099511628211ull;
    }
    h ^= 0xff;  // a cell boundary, so that "ab","c" and "a","bc" differ
    h *= 1099511628211ull;
  };
  mix(TekiyoTableScript("main"));
  mix(kSearchIndexes);
  for (const char *sql : kTekiyoSources) {
    mix(sql);
    std::unique_ptr<TSQLiteTbl> t = db.GetTable(sql);
    for (; !t->Eof(); t->Next())
      for (int c = 0; c < t->ColCount(); ++c) mix(t->FieldAsString(c));
  }
  char digest[17];
  std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(h));
  return dataDate + "|" + digest;
}

std::string StoredTekiyoKey(TSQLiteDb &db) {
  try {
    std::unique_ptr<TSQLiteTbl> t =
        db.GetTable("SELECT k.datakey FROM main.t_tekiyoKey AS k, main.sqlite_master AS m "
                    "WHERE m.type = 'table' AND m.name = 't_tekiyo'");
    return t->Eof() ? std::string() : t->FieldAsString(0);
  } catch (const ESQLiteException &) {
    return std::string();  // no key table: nothing kept yet
  }
}

// Copies of the small resistance-class tables that the per-row look-ups of the searches and
// of the system columns read, indexed by ingredient and pest category. They take the names
// of the originals in the connection's temporary schema, so every statement reads the same
// rows through an index.
const char *const kIndexedCopies =
    "DROP TABLE IF EXISTS temp.raccode;\r\n"
    "CREATE TEMP TABLE raccode AS SELECT * FROM raccode;\r\n"
    "CREATE INDEX temp.raccodeIdx ON raccode (ippanmei, cid);\r\n"
    "DROP TABLE IF EXISTS temp.rac2;\r\n"
    "CREATE TEMP TABLE rac2 AS SELECT * FROM rac2;\r\n"
    "CREATE INDEX temp.rac2Idx ON rac2 (ippanmei, cid);\r\n"
    // The searches' resistance group of an ingredient: for a pest category, and its highest.
    "DROP TABLE IF EXISTS temp.racmid;\r\n"
    "CREATE TEMP TABLE racmid AS SELECT ippanmei, cid, mid FROM raccode GROUP BY ippanmei, cid;\r\n"
    "CREATE INDEX temp.racmidIdx ON racmid (ippanmei, cid);\r\n"
    "DROP TABLE IF EXISTS temp.racmidmax;\r\n"
    "CREATE TEMP TABLE racmidmax AS SELECT ippanmei, max(mid) AS mid FROM raccode GROUP BY ippanmei;\r\n"
    "CREATE INDEX temp.racmidmaxIdx ON racmidmax (ippanmei);\r\n";

}  // namespace

void TAcisDB::CreateViews(bool RaiseFailures) {
  // Each script runs on its own; a failure is shown in the report, its transaction is rolled
  // back, and the next script still runs. They make the connection's own tables; only the
  // kept application table goes into the file.
  for (const std::string &script : {ScriptA(), ScriptB()}) ExecScriptReported(script);
  try {
    FDb->ExecSQL("CREATE INDEX IF NOT EXISTS temp.tSeibunIdx ON tSeibun (ippanmei);");
  } catch (const ESQLiteException &) {
    // without script A's table there is nothing to index
  }
  KeepTekiyoTable(RaiseFailures);
  ExecScriptReported(TekiyoViewsScript());
  try {
    RunScript(kIndexedCopies);
  } catch (const ESQLiteException &) {
    // without the tables the statements that read them report it themselves
  }
  bool jpp = false;
  try {
    jpp = FDb->TableExists("JppSeibun");
  } catch (const ESQLiteException &) {
  }
  ExecScriptReported(ScriptC(jpp));
}

void TAcisDB::KeepTekiyoTable(bool RaiseFailures) {
  // The table is built once per data update and kept in acis.db; a start then only checks
  // its key. When acis.db cannot take it (read only, locked, full), the connection builds
  // its own copy as before; a build that cannot store it has failed, since the database
  // would go out without it.
  // The index on number and crop that an earlier version made would lead the crop search's
  // reads away from the rows' stored order. It goes at every open, also where the kept table
  // is current and its build does not run; a database that takes no writes keeps it.
  try {
    if (FDb->GetTable("SELECT 1 FROM main.sqlite_master WHERE type = 'index' AND name = 'idxTekiyoBangoSakumotsu'")
            ->Count() > 0)
      FDb->ExecSQL("DROP INDEX main.idxTekiyoBangoSakumotsu;");
  } catch (const ESQLiteException &e) {
    Log("idxTekiyoBangoSakumotsu: " + e.Message());
  }
  std::string key;
  try {
    key = TekiyoTableKey(*FDb, FLastUpdate);
    if (StoredTekiyoKey(*FDb) == key) return;
    RunScript(std::string("BEGIN TRANSACTION;") + kCrLf + TekiyoTableScript("main") + kSearchIndexes +
              "DROP TABLE IF EXISTS main.t_tekiyoKey;" + kCrLf +
              "CREATE TABLE main.t_tekiyoKey (datakey VARCHAR);" + kCrLf +
              "INSERT INTO main.t_tekiyoKey (datakey) VALUES (" + SqlQuoted(key) + ");" + kCrLf +
              "COMMIT TRANSACTION;");
    return;
  } catch (const ESQLiteException &e) {
    Log("t_tekiyo: " + e.Message());
    if (RaiseFailures) throw;
  }
  ExecScriptReported("BEGIN TRANSACTION;" + std::string(kCrLf) + TekiyoTableScript("temp") + "COMMIT TRANSACTION;");
}

void TAcisDB::ExecScriptReported(const std::string &Script) {
  try {
    RunScript(Script);
  } catch (const ESQLiteException &e) {
    ShowSqlErrorReport("", e);
  }
}
