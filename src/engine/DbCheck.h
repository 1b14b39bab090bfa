// What a whole acis.db and a whole spec.db hold, and the check of a file against it. The
// ready-made databases are checked before they take the old ones' places; the start-up
// check asks the database in place for the same tables of acis.db.
#pragma once

#include <string>
#include <vector>

#include "engine/AcisSvr.h"
#include "engine/acdb.h"

// The tables the program reads from acis.db by that file's own name, and those it reads
// from spec.db as "spec.<table>". Every data set fills each of them. acis.db also holds
// "info", whose Version tells the schema the file was built for.
const std::vector<const char *> &AcisDbTables();
const std::vector<const char *> &SpecDbTables();

// The rows of the reference tables in the database file at path (ReferenceRowCounts); none
// when there is no file or it cannot be read, since it then holds nothing to keep.
TRowCounts PreviousRowCounts(const std::string &path);

// Why the file at path cannot stand as the database of that name ("acis.db", "spec.db";
// any other name has only to open and pass SQLite's integrity check): one sentence of
// program text that names the database and the cause; empty when the file is whole. The
// file is opened read-only and left as it was. replaces, when given, is the database file
// it is to take the place of: each reference table that one holds with rows must hold rows
// here too, besides the tables every database of that name holds.
std::string DatabaseDefect(const std::string &path, const std::string &name, const std::string &replaces = {});

// The archive of one ready-made database ("acis.db" from acis.zip, "spec.db" from
// spec.zip) unpacked into a folder of its own beside acis.db (a TUnpackFolder). Only that
// database, checked, ever leaves it: whatever else the archive holds goes with the folder.
// Nothing in the database folder changes until Place.
class TDatabaseStaging {
 public:
  TDatabaseStaging(const std::string &db_folder, const std::string &name);

  // Unpacks the archive into the folder (ExtractArchive, with its output).
  bool Extract(const std::string &archive, std::string &output) { return folder_.Extract(archive, output); }
  // Why the database unpacked here cannot take the place of the one in the database folder
  // (one sentence that names it: missing from the archive, or DatabaseDefect against the
  // one it replaces); empty when it can.
  std::string Defect() const;
  // A log line for each other entry of the archive, which stays unplaced.
  std::vector<std::string> Unplaced(const std::string &archive) const;
  // Moves the database into the database folder in one rename. False with the reason
  // (program text) in why.
  bool Place(std::string &why);

 private:
  std::string db_folder_, name_;
  TUnpackFolder folder_;
};
