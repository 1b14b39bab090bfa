// The unattended runs of the program: the update ("/u") and the download check ("/r")
// without any window, the date and time that open and close their logs, and the
// user-interface services under which nobody is there to answer a box.
#pragma once

#include <string>
#include <vector>

#include "components/QtServices.h"
#include "engine/FillTargets.h"

// The update gives 1 when it succeeded, else 3; the download check 2, else 3.
int UnattendedUpdate();
int UnattendedDownloadCheck();

// A failed unattended run says on its error output what failed and what the user can do
// (a scheduler mails it), and where its log is. Program text.
void WriteFailures(const std::vector<std::string> &lines, const std::string &log_path);

// Empty when a file can be made in folder (program text); else the reason it cannot, as the
// user reads it. Tried by making one, so that permissions, a read-only mount and a missing
// folder all show.
std::string WriteFailure(const std::string &folder);

// The date and time that open and close the log of an unattended run (the system's short
// formats).
std::string UpdateLogStamp();

// The user-interface services of an unattended run: no box ever waits for an answer, since
// nobody is there to give one. The text of a box or report goes to the log of the run (to
// standard error while there is none) and the box takes the answer that starts nothing
// further (Cancel, No, Abort, or OK when that is the only button).
class TUnattendedUi : public TQtUiServices {
 public:
  int MessageBox(const std::string &text, const std::string &caption, unsigned flags) override;
  void ShowReport(const std::string &caption, const std::string &title, const std::string &text) override;

  // Points the boxes' text at a log for the object's lifetime.
  class TLogScope {
   public:
    explicit TLogScope(ILogTarget *log) : saved_(Log) { Log = log; }
    ~TLogScope() { Log = saved_; }
    TLogScope(const TLogScope &) = delete;
    TLogScope &operator=(const TLogScope &) = delete;

   private:
    ILogTarget *saved_;
  };

 private:
  static void Write(const std::string &text);
  static inline ILogTarget *Log = nullptr;
};
