// The sample-data kit made for a benchmark run and acis.db built from its publisher CSV set
// through the query object's build steps (full size: about 4,500 products and 300,000
// application rows).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>

#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/archive.h"
#include "platform/cp932.h"

namespace qmbench {

struct TSampleKit {
  std::filesystem::path dir;               // the run's folder; the kit is in dir/kit
  std::filesystem::path kihon, tekiyo1, tekiyo2;  // the unpacked CSV files
};

inline std::string ReadAll(const std::filesystem::path &p) {
  std::ifstream f(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void Unpack(const std::filesystem::path &archive, const std::filesystem::path &to) {
  std::string cmd = "x -r -hide -aoa -y \"" + cp932::FromUtf8(archive.string()) + "\" -o\"" +
                    cp932::FromUtf8(to.string()) + "/\"";
  char out[4096];
  if (sevenzip::SevenZip(nullptr, cmd.c_str(), out, sizeof out) != 0) {
    std::cerr << "cannot unpack " << archive << "\n";
    std::exit(2);
  }
}

inline std::filesystem::path OnlyFile(const std::filesystem::path &dir) {
  for (const auto &e : std::filesystem::directory_iterator(dir))
    if (e.is_regular_file()) return e.path();
  return {};
}

// Makes the kit of the size ("small" or "full") in a folder of its own named after tag.
inline TSampleKit MakeKit(const std::string &size, const std::string &tag) {
  TSampleKit k;
  k.dir = std::filesystem::temp_directory_path() / ("qmbench-" + tag + "-" + std::to_string(::getpid()));
  std::filesystem::create_directories(k.dir);
  std::string cmd = "python3 \"" + std::string(QM_SOURCE_DIR) + "/scripts/samplekit/make.py\" --size " + size +
                    " --out \"" + (k.dir / "kit").string() + "\" >/dev/null";
  if (std::system(cmd.c_str()) != 0) {
    std::cerr << "the sample kit could not be made\n";
    std::exit(2);
  }
  const std::filesystem::path pub = k.dir / "kit" / "publisher";
  Unpack(pub / "登録基本部csv_20261130.zip", k.dir / "k");
  Unpack(pub / "登録適用部一_20261130.zip", k.dir / "t1");
  Unpack(pub / "登録適用部二_20261130.zip", k.dir / "t2");
  k.kihon = OnlyFile(k.dir / "k");
  k.tekiyo1 = OnlyFile(k.dir / "t1");
  k.tekiyo2 = OnlyFile(k.dir / "t2");
  return k;
}

// A fresh acis.db in the kit's folder with the reference tables the build reads.
inline std::unique_ptr<TAcisDB> FreshDb(const TSampleKit &k) {
  std::filesystem::remove(k.dir / "acis.db");
  std::filesystem::remove(k.dir / "spec.db");
  OptionData->DbFolder = k.dir.string();
  auto db = std::make_unique<TAcisDB>((k.dir / "acis.db").string(), nullptr);
  for (const char *script : {"spec.bunrui.txt", "spec.iso.txt", "spec.irac.txt", "spec.frac.txt", "spec.hrac.txt",
                             "acis.seizai.txt", "acis.dokusei.txt", "spec.ojas.txt", "sakumotsu.txt",
                             "byochu.txt"})
    db->Db().ExecSQL(ReadAll(k.dir / "kit" / "scripts" / script));
  return db;
}

// The build steps from the tables to the data date.
inline void BuildDb(TAcisDB &db, const TSampleKit &k) {
  db.CreateTables();
  db.ImportKihonRawCsv(cp932::FromUtf8(k.kihon.string()));
  db.ImportTekiyoRawCsv(cp932::FromUtf8(k.tekiyo1.string()));
  db.ImportTekiyoRawCsv(cp932::FromUtf8(k.tekiyo2.string()));
  db.FillTmKihon();
  db.BuildMKihon();
  db.CreateSeibun();
  db.CreateIndexes();
  db.CreateTekiyoViews();
  db.SetLastUpdate("2026.11.30");
}

}  // namespace qmbench
