// File operations in the manner of the shell's copy, move, delete and rename: a list
// of sources, a target folder (or one target per source), and option flags. Copies keep
// the source's modification time and replace a target only once the copy is complete.
// Unless SILENT is set, a progress window (ProgressTitle) shows through the UI services while
// the operation runs; cancelling it stops the operation (fAbort, SHF_ERROR_CANCELLED) and
// leaves the file in work as it was.
#pragma once

#include <string>
#include <vector>

enum TwFunc { foMOVE, foCOPY, foDELETE, foRENAME };

struct TfFlags {
  bool ALLOWUNDO = false;
  bool FILESONLY = false;
  bool MUILIDESTFILES = false;
  bool NOCONFIRMATION = false;
  bool NOCONFIRMMKDIR = false;
  bool RENAMEONCOLLISION = false;
  bool SILENT = false;
  bool SIMPLEPROGRESS = false;
};

// Result codes of Execute besides 0 (success).
enum : int {
  SHF_ERROR_FILE_NOT_FOUND = 0x02,
  SHF_ERROR_ACCESS_DENIED = 0x05,
  SHF_ERROR_SAME_FILE = 0x71,
  SHF_ERROR_CANCELLED = 0x75,
  SHF_ERROR_INVALID_TARGET = 0x7C,
};

class TShfOperation {
 public:
  std::vector<std::string> FromFFList;  // source paths (program text)
  TwFunc OperationF = foMOVE;
  std::string ToFolder;                 // the target when MUILIDESTFILES is off
  std::vector<std::string> ToFiles;     // one target per source when MUILIDESTFILES is on
  TfFlags Options;
  bool fAbort = false;                  // the user declined part of the operation
  std::string ProgressTitle;

  void SetFromFFList(const std::vector<std::string> &list) { FromFFList = list; }
  void SetToFiles(const std::vector<std::string> &list) { ToFiles = list; }

  // 0 on success, else one of the codes above. Raises Exception when no source (or,
  // with MUILIDESTFILES, no target) is given.
  int Execute();
};
