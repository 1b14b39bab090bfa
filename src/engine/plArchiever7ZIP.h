// Unpacks the downloaded archives through the archive library's command interface:
// builds the extraction command, hands the library the owner window, collects the
// library's text output for the log, and gives the library's version for the About box.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TplArchiever7ZIP {
 public:
  // owner_window: the owning form's window handle (may be null).
  explicit TplArchiever7ZIP(void *owner_window = nullptr);
  ~TplArchiever7ZIP();
  TplArchiever7ZIP(const TplArchiever7ZIP &) = delete;
  TplArchiever7ZIP &operator=(const TplArchiever7ZIP &) = delete;

  bool Loaded() const { return FLoaded; }

  // Unpacks archive into folder, keeping the folder paths inside it and replacing
  // existing files. True only when every entry was extracted; otherwise the folder is left
  // as it was (what the extraction wrote is removed again).
  bool Extract(const std::string &archive, const std::string &folder, std::string &output);
  // Runs one library command; output is its text (empty when the call failed).
  bool Execute(const std::string &command, std::string &output);
  // "Ver. " + version/100 ("#.##") + "." + sub-version; empty without the library.
  std::string GetVersionText();
  static std::string Quote(const std::string &text) { return "\"" + text + "\""; }

  static constexpr std::size_t kOutputSize = 8192;

 private:
  void *FOwnerWindow = nullptr;
  bool FLoaded = false;
  int (*SevenZip)(void *, const char *, char *, std::size_t) = nullptr;
  std::uint16_t (*SevenZipGetVersion)() = nullptr;
  std::uint16_t (*SevenZipGetSubVersion)() = nullptr;
  bool (*SevenZipSetOwnerWindow)(void *) = nullptr;
};
