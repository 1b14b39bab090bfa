// What a whole acis.db and a whole spec.db hold, and the check of a file against it. The
// ready-made databases are checked before they take the old ones' places; the start-up
// check asks the database in place for the same tables of acis.db.
#pragma once

#include <string>
#include <vector>

#include "engine/AcisSvr.h"

// The tables the program reads from acis.db by that file's own name, and those it reads
// from spec.db as "spec.<table>". Every data set fills each of them. acis.db also holds
// "info", whose Version tells the schema the file was built for.
const std::vector<const char *> &AcisDbTables();
const std::vector<const char *> &SpecDbTables();

// Why the file at path cannot stand as the database of that name ("acis.db", "spec.db";
// any other name has only to open and pass SQLite's quick check): one sentence of program
// text that names the database and the cause; empty when the file is whole. The file is
// opened read-only and left as it was.
std::string DatabaseDefect(const std::string &path, const std::string &name);

// The ready-made databases' archives unpacked into a folder of their own beside acis.db
// (a TUnpackFolder). Nothing in the database folder changes until Place.
class TDatabaseStaging {
 public:
  explicit TDatabaseStaging(const std::string &db_folder);

  // Unpacks the archive into the folder (ExtractArchive, with its output).
  bool Extract(const std::string &archive, std::string &output) { return folder_.Extract(archive, output); }
  // Why the database of that name unpacked here cannot take its place (one sentence that
  // names it: missing from the archive, or DatabaseDefect); empty when it can.
  std::string Defect(const std::string &name) const;
  // Moves every unpacked file into the database folder, acis.db last, so that the old one
  // stays when anything before it fails. False with the reason (program text) in why.
  bool Place(std::string &why);

 private:
  std::string db_folder_;
  TUnpackFolder folder_;
};
