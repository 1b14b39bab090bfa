// Settings file access key by key, in the manner of the profile-file service: the file is
// CP932 text with CR LF line ends, "[section]" lines and "key=value" lines; sections and
// keys are matched without regard to ASCII case, the first match counting.
//
// Nothing is cached: every read looks at the file as it is now, and every write rewrites
// the file at once (to a temporary file in the same folder that then replaces it), so
// several windows that share the one file see each other's writes. Lines the program does
// not know (other sections and keys, comments, blank lines) and their order are kept byte
// for byte.
//
// A file that exists but cannot be read (no permission, a folder of that name) reads as
// missing and is never written: a write would replace it with the one key written. A
// UTF-8 byte-order mark at the start is skipped, and kept.
//
// A value read is trimmed of spaces and tabs at both ends, and one pair of
// matching double or single quotes around it is removed.
#pragma once

#include <string>
#include <string_view>

class TIniFile {
 public:
  // file_name is program text (CP932).
  explicit TIniFile(std::string file_name) : file_name_(std::move(file_name)) {}

  const std::string &FileName() const { return file_name_; }

  // 0 when the file can be read or does not exist; else the error (errno) that keeps it
  // from being read.
  int ReadError() const;

  // The value of the key, or def when the file, the section or the key is missing.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // A decimal value (with an optional sign); def when missing or unreadable.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // An integer value other than 0 is true.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  // Sets the key, adding the section at the end and the key at the end of its section
  // when missing. False when the file cannot be read or written (the file is then
  // unchanged).
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view section, std::string_view key, int value);
  bool WriteBool(std::string_view section, std::string_view key, bool value);  // "1" or "0"

 private:
  std::string file_name_;
};
