// A file that the program writes from a whole result (a result page, a CSV file), written
// in pieces under a progress window with キャンセル while the events run. The bytes go to a
// part file beside the target, which takes the target's name only once it is whole: a write
// that is cancelled, that fails or that a close of the program ends leaves no part of it
// behind, and a file that had the name stays as it was. A file that is replaced keeps its
// permissions; one that could not be written into is not replaced.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "engine/UiServices.h"

// Opens the part file of a whole-file replacement of FileName (program text): target is the
// file a link points to, part a short name beside it that leaves room under any name the
// folder takes. False, and the file there left as it is, where that file may not be written
// into (a read-only file refuses the save, also for the administrator) or the part cannot be
// made. The part has the permissions of the file it is to replace.
bool OpenReplacement(const std::string &FileName, std::filesystem::path &target, std::filesystem::path &part,
                     std::ofstream &out);

class TOutputFile {
 public:
  // FileName: the target (program text); Total: the units the writer counts to (rows). The
  // progress window ("<name>を保存しています") shows once the writing proves long.
  TOutputFile(const std::string &FileName, std::uint64_t Total);
  // A file not given its name by Commit is removed.
  ~TOutputFile();
  TOutputFile(const TOutputFile &) = delete;
  TOutputFile &operator=(const TOutputFile &) = delete;

  // False when the part file could not be made (a missing or read-only folder), or when the
  // file of the name may not be written (a read-only file): it is then left as it is.
  bool IsOpen() const { return open_; }
  // Shows the progress window now: it holds the program's other windows still until the file
  // is done, for a writer whose rows nothing else keeps from changing.
  void ShowProgressNow();
  // Appends bytes; they go to the file in large blocks.
  void Write(std::string_view Bytes);
  // Done of Total units so far. The window is told and the events run only by interval, so a
  // call per row costs little. False once the writing is to end: キャンセル was pressed or the
  // program closes.
  bool Step(std::uint64_t Done);
  // Writes the rest and gives the file its name; false when it was cancelled or could not be
  // written whole (the target is then as it was).
  bool Commit();
  // キャンセル was pressed or the program closes: the writer ends without a word.
  bool Cancelled() const;

  // How often the progress window is told and the events run: as often as the event pump
  // runs them. Tests lower it to see every row.
  static std::chrono::milliseconds Interval;

 private:
  using Clock = std::chrono::steady_clock;
  void Flush();

  std::filesystem::path target_, part_;
  std::ofstream out_;
  std::string buffer_;
  std::unique_ptr<IProgressWindow> window_;
  TEventPump pump_;  // where the user interface has no progress window
  std::string item_;
  std::uint64_t total_;
  Clock::time_point last_ = Clock::now();
  bool open_ = false;
  bool cancelled_ = false;
  bool committed_ = false;
};
