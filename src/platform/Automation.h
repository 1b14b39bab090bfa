// Automation of other programs (spreadsheets) by programmatic identifier: attach to a
// running instance or start one, then read and write its properties and call its
// methods with variant arguments.
//
// Two exception classes tell the failures apart: EOleSysError when the program cannot be
// reached at all (not installed, cannot start), EOleError when a call on a reached
// program fails. EOleSysError derives from EOleError, so "any automation failure" is
// caught as EOleError.
//
// The installed factory (Automation()) starts nothing on this system: every identifier
// reports EOleSysError, except the office suite's service manager when the suite is
// installed (OfficeSuite.h). Tests install TRecordingAutomation, which writes one line per
// call and answers or fails on cue.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

class EOleError : public std::runtime_error {
 public:
  explicit EOleError(const std::string &message) : std::runtime_error(message) {}
  virtual const char *ClassName() const { return "EOleError"; }
};

class EOleSysError : public EOleError {
 public:
  explicit EOleSysError(const std::string &message) : EOleError(message) {}
  const char *ClassName() const override { return "EOleSysError"; }
};

class IOleObject;
struct TOleArray;

// A variant argument or result: empty, Boolean, integer, floating point, text (CP932), an
// object of the program, or an array of values (indexes from 0).
using TOleValue = std::variant<std::monostate, bool, std::int64_t, double, std::string,
                               std::shared_ptr<IOleObject>, std::shared_ptr<const TOleArray>>;
using TOleArgs = std::vector<TOleValue>;

struct TOleArray {
  std::vector<TOleValue> Items;
};
// An array value made of the given items.
TOleValue OleArray(std::vector<TOleValue> items);

// Readable form of a value, as the recording implementation writes it:
// True/False, decimal integers, %g numbers, text in double quotes, Empty, an object as
// its description in angle brackets, an array as its items in square brackets.
std::string OleValueText(const TOleValue &v);

// One automation object of another program.
class IOleObject {
 public:
  virtual ~IOleObject() = default;
  // A property (with optional index arguments) whose value is itself an object:
  // Workbooks, ActiveSheet, Cells(row, col), Range("A1:B2") ...
  virtual std::shared_ptr<IOleObject> Obj(const std::string &name, const TOleArgs &args = {}) = 0;
  // A property read that yields a plain value.
  virtual TOleValue Get(const std::string &name, const TOleArgs &args = {}) = 0;
  // A property write.
  virtual void Set(const std::string &name, const TOleValue &value) = 0;
  // A method call.
  virtual TOleValue Call(const std::string &name, const TOleArgs &args = {}) = 0;
  // How the object reads in a transcript.
  virtual std::string Description() const { return "Object"; }
};
using TOleObjectPtr = std::shared_ptr<IOleObject>;

class IOleFactory {
 public:
  virtual ~IOleFactory() = default;
  // The running instance registered for prog_id; EOleSysError when there is none.
  virtual TOleObjectPtr GetActiveObject(const std::string &prog_id) = 0;
  // A new instance; EOleSysError when the program cannot be started.
  virtual TOleObjectPtr CreateOleObject(const std::string &prog_id) = 0;
};

// The installed factory (never null); SetAutomation(nullptr) restores the default one.
IOleFactory &Automation();
void SetAutomation(IOleFactory *factory);

// Records every call as one line and answers from a small model of a spreadsheet:
//   GetActiveObject("Excel.Application")          attach (fails unless running)
//   CreateOleObject("Excel.Application")          start (fails unless startable)
//   Workbooks.Add()                               method call
//   ActiveSheet.Range("A1:C3").Borders.Weight := 1   property write
//   get Workbooks.Count                           property read
// A failing line ends in " -> EOleSysError" or " -> EOleError".
class TRecordingAutomation : public IOleFactory {
 public:
  std::vector<std::string> lines;
  std::set<std::string> running;    // identifiers that have an instance to attach to
  std::set<std::string> startable;  // identifiers that can be started
  // Names of the open workbooks: answers "Workbooks.Count" and "Workbooks.Item(i).Name".
  std::vector<std::string> workbook_names;
  // A call whose line contains this text fails with EOleError (empty: none fails).
  std::string fail_on;

  TOleObjectPtr GetActiveObject(const std::string &prog_id) override;
  TOleObjectPtr CreateOleObject(const std::string &prog_id) override;

  // Writes a line and throws when it matches fail_on (used by the recorded objects).
  void Record(const std::string &line);
  // The value a property read answers.
  TOleValue Answer(const std::string &path);

  // All lines joined with "\n" (for test messages).
  std::string Transcript() const;
};

// Installs a recording implementation for the lifetime of the object (tests).
class TScopedRecordingAutomation : public TRecordingAutomation {
 public:
  TScopedRecordingAutomation() : previous_(&Automation()) { SetAutomation(this); }
  ~TScopedRecordingAutomation() override { SetAutomation(previous_ == &DefaultAutomation() ? nullptr : previous_); }
  static IOleFactory &DefaultAutomation();

 private:
  IOleFactory *previous_;
};
