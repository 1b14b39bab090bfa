#include "ui/VerInfo.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>
#include <fstream>

#include "components/qtext.h"
#include "platform/fspath.h"

#ifndef QM_PRODUCT_VERSION
#define QM_PRODUCT_VERSION "0.0"
#endif

// The program's own version block: the marker, then the entries, ended by an empty path.
// Language 0x0411 (Japanese) and code page 932.
extern const char kQuillmarVersionBlock[];
__attribute__((used)) const char kQuillmarVersionBlock[] =
    "\x01QMVERSIONBLOCK\x02"
    "\\VarFileInfo\\Translation\0" "041103A4\0"
    "\\StringFileInfo\\041103A4\\ProductName\0" "Quillmar\0"
    "\\StringFileInfo\\041103A4\\ProductVersion\0" QM_PRODUCT_VERSION "\0"
    "\\StringFileInfo\\041103A4\\FileVersion\0" QM_PRODUCT_VERSION "\0"
    "\\StringFileInfo\\041103A4\\InternalName\0" "quillmar\0"
    "\0";

namespace {

// The marker, kept scrambled here so that this copy is never found in place of the block.
std::string Marker() {
  static const unsigned char scrambled[] = {0x54, 0x04, 0x18, 0x03, 0x10, 0x07, 0x06, 0x1C, 0x1A,
                                            0x1B, 0x17, 0x19, 0x1A, 0x16, 0x1E, 0x57};
  std::string m;
  for (unsigned char c : scrambled) m.push_back(static_cast<char>(c ^ 0x55));
  return m;
}

std::string ProgramFile() {
  QString p = QCoreApplication::applicationFilePath();
  return p.isEmpty() ? std::string("/proc/self/exe") : FromQ(p);
}

}  // namespace

TFileVerInfo::TFileVerInfo(QObject *owner) : QObject(owner) {
  setObjectName("FileVerInfo");
  SetPath(std::string());
}

TFileVerInfo::TFileVerInfo(QObject *owner, TNotLoaded) : QObject(owner) { setObjectName("FileVerInfo"); }

TFileVerInfo::~TFileVerInfo() = default;

void TFileVerInfo::SetPath(const std::string &path) {
  FPath = path;
  FLoaded = false;
  FBlock.clear();
  FPrefix.clear();
  const std::string file = path.empty() ? ProgramFile() : path;

  std::ifstream in(FsPath(file), std::ios::binary);
  if (!in) throw EFileVerInfoError("EFileVerInfoError: Cannot Get FileVerInfo Size");
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EFileVerInfoError("EFileVerInfoError: Cannot Get FileVerInfo");
  const std::string marker = Marker();
  std::size_t at = bytes.find(marker);
  if (at == std::string::npos) throw EFileVerInfoError("EFileVerInfoError: Cannot Get FileVerInfo Size");

  // The entries run to the first empty path; a block cut short is unreadable.
  std::size_t i = at + marker.size();
  bool complete = false;
  while (i < bytes.size()) {
    std::size_t end = bytes.find('\0', i);
    if (end == std::string::npos) break;
    if (end == i) {
      complete = true;
      ++i;
      break;
    }
    std::size_t vend = bytes.find('\0', end + 1);
    if (vend == std::string::npos) break;
    i = vend + 1;
  }
  if (!complete) throw EFileVerInfoError("EFileVerInfoError: Cannot Get FileVerInfo");
  FBlock.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + marker.size()),
                bytes.begin() + static_cast<std::ptrdiff_t>(i));

  std::string translation;
  if (!Query("\\VarFileInfo\\Translation", translation) || translation.size() < 8) {
    FBlock.clear();
    throw EFileVerInfoError("EFileVerInfoError: Cannot Get FileVerInfo");
  }
  std::string lang_cp = translation.substr(0, 8);
  std::transform(lang_cp.begin(), lang_cp.end(), lang_cp.begin(),
                 [](char c) { return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c; });
  FPrefix = "\\StringFileInfo\\" + lang_cp + "\\";
  FLoaded = true;
}

bool TFileVerInfo::Query(const std::string &path, std::string &value) const {
  std::size_t i = 0;
  while (i < FBlock.size() && FBlock[i] != '\0') {
    const char *key = FBlock.data() + i;
    std::size_t klen = std::strlen(key);
    const char *val = key + klen + 1;
    std::size_t vlen = std::strlen(val);
    if (klen == path.size() && std::equal(path.begin(), path.end(), key, [](char a, char b) {
          auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
          return low(a) == low(b);
        })) {
      value.assign(val, vlen);
      return true;
    }
    i += klen + 1 + vlen + 1;
  }
  return false;
}

std::string TFileVerInfo::GetValue(const std::string &key) const {
  std::string value;
  if (FLoaded && Query(FPrefix + key, value)) return value;
  return std::string();
}
