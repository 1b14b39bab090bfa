// The data update outside its window: what an interrupted update leaves behind and how the
// next start or update clears it away.
//
// A build goes into a fresh file beside acis.db (".acis.db.<number>.part", with the journal
// SQLite keeps beside it), and the ready-made databases are unpacked into a folder of that
// name; either replaces acis.db in one rename once it is whole. An update killed half-way
// leaves those behind, and nothing else would ever remove them.
#pragma once

#include <string>

#include "engine/FillTargets.h"

// Removes the files and folders of killed builds and unpacks from the database folder:
// ".acis.db.<number>.part" and ".spec.db.<number>.part" with their "-journal", "-wal" and
// "-shm" companions, and nothing else. Only the instance that holds the single-instance
// guard may call it, since another running instance could be writing them. Each removal
// is logged (when there is a log); the number removed is returned.
int RemoveStaleBuildFiles(const std::string &db_folder, ILogTarget *log);

// True for a name of that pattern.
bool IsStaleBuildName(const std::string &name);

// The exit codes of the unattended runs ("/u" update, "/r" download check).
enum TUnattendedExit : int {
  kExitUpToDate = 0,       // nothing to do: the database holds the source's data
  kExitRebuilt = 1,        // "/u": acis.db was rebuilt or replaced
  kExitDownloaded = 2,     // "/r": the source's files were fetched
  kExitFailed = 3,         // the check, a fetch, an unpack or the build failed; acis.db is as it was
  kExitOtherInstance = 4,  // another Quillmar is running: nothing was done
};
