// The version information of a program file: the block the build places in the program
// (a marked table of "\VarFileInfo\Translation" and "\StringFileInfo\<lang><cp>\<key>"
// entries), read from the file named by Path.
#pragma once

#include <QObject>
#include <string>
#include <vector>

#include "engine/Exception.h"

class EFileVerInfoError : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EFileVerInfoError"; }
};

class TFileVerInfo : public QObject {
  Q_OBJECT

 public:
  // Reads the program file's block at once; raises EFileVerInfoError when it has none.
  explicit TFileVerInfo(QObject *owner = nullptr);
  // Reads nothing yet (Loaded false) until SetPath is called.
  enum TNotLoaded { NotLoaded };
  TFileVerInfo(QObject *owner, TNotLoaded);
  ~TFileVerInfo() override;

  const std::string &Path() const { return FPath; }
  // Reads the block of the file (program text; empty: the program file). Raises
  // EFileVerInfoError "EFileVerInfoError: Cannot Get FileVerInfo Size" when the file has no
  // block, and "... Cannot Get FileVerInfo" when it cannot be read or has no translation.
  void SetPath(const std::string &path);
  bool Loaded() const { return FLoaded; }

  // The string of the block's first translation for key; empty when absent or not loaded.
  std::string GetValue(const std::string &key) const;
  std::string GetProductVersion() const { return GetValue("ProductVersion"); }

 private:
  // The value of a whole query path ("\VarFileInfo\Translation"); false when absent.
  bool Query(const std::string &path, std::string &value) const;

  std::string FPath;
  std::vector<char> FBlock;  // entries: path NUL value NUL ..., ended by an empty path
  bool FLoaded = false;
  std::string FPrefix;  // "\StringFileInfo\" + language + code page + "\"
};
