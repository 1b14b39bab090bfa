#include "engine/plArchiever7ZIP.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/archive.h"

TplArchiever7ZIP::TplArchiever7ZIP(void *owner_window) {
  // The extraction library is linked into the program, so it is always there.
  FLoaded = true;
  FOwnerWindow = owner_window;
  SevenZip = &sevenzip::SevenZip;
  SevenZipGetVersion = &sevenzip::SevenZipGetVersion;
  SevenZipGetSubVersion = &sevenzip::SevenZipGetSubVersion;
  SevenZipSetOwnerWindow = &sevenzip::SevenZipSetOwnerWindow;
  SevenZipSetOwnerWindow(FOwnerWindow);
}

TplArchiever7ZIP::~TplArchiever7ZIP() {
  SevenZip = nullptr;
  SevenZipGetVersion = nullptr;
  SevenZipGetSubVersion = nullptr;
  SevenZipSetOwnerWindow = nullptr;
  FLoaded = false;
}

bool TplArchiever7ZIP::Extract(const std::string &archive, const std::string &folder,
                               std::string &output) {
  output.clear();
  if (!FLoaded) return false;
  return Execute("x -r -hide -aoa -y " + Quote(archive) + " -o" + Quote(folder), output);
}

// The library's result is examined: a failed or partial extraction is a failure.
bool TplArchiever7ZIP::Execute(const std::string &command, std::string &output) {
  output.clear();
  if (!SevenZip) return false;
  std::vector<char> buffer(kOutputSize, '\0');
  int rc;
  try {
    rc = SevenZip(FOwnerWindow, command.c_str(), buffer.data(), buffer.size());
  } catch (...) {
    return false;
  }
  output.assign(buffer.data());
  return rc == 0;
}

namespace {

// A number in the "#.##" form: at most two decimals, no trailing zeros, no leading 0.
std::string HashFormat(double v) {
  long long hundredths = std::llround(v * 100);
  long long whole = hundredths / 100, frac = hundredths % 100;
  std::string s = whole ? std::to_string(whole) : std::string();
  if (frac) {
    char buf[8];
    std::snprintf(buf, sizeof buf, frac % 10 ? ".%02lld" : ".%lld", frac % 10 ? frac : frac / 10);
    s += buf;
  }
  return s.empty() ? "0" : s;
}

}  // namespace

std::string TplArchiever7ZIP::GetVersionText() {
  if (!SevenZipGetVersion) return std::string();
  try {
    std::uint16_t v = SevenZipGetVersion();
    std::uint16_t sub = SevenZipGetSubVersion ? SevenZipGetSubVersion() : 0;
    return "Ver. " + HashFormat(v / 100.0) + "." + std::to_string(sub);
  } catch (...) {
    return std::string();
  }
}
