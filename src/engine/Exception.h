// The exception classes the data layers raise. Error reports print the class name and the
// message, so every class names itself. Messages are program text (CP932).
#pragma once

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

// The general exception: a message and nothing else.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string &message) : std::runtime_error(message) {}
  virtual const char *ClassName() const { return "Exception"; }
  std::string Message() const { return what(); }
};

// A broken precondition of a call (a programming error), raised instead of ending the process.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EAssertionFailed"; }
};

// A text that should have been a number, or another failed conversion.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EConvertError"; }
};

// A file that could not be opened, read or written.
class EInOutError : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EInOutError"; }
};

// The class name an error report prints: the exception's own for the program's classes,
// "Exception" for any other (std::bad_alloc and the library's own included).
inline std::string ExceptionClassName(const std::exception &e) {
  const auto *ex = dynamic_cast<const Exception *>(&e);
  return ex ? ex->ClassName() : "Exception";
}

// Runs a handler at a boundary no exception may cross (an event handler, a step run from a
// window): a failure goes to Report, which shows or logs it, instead of travelling on.
inline void RunAtBoundary(const std::function<void()> &Handler,
                          const std::function<void(const std::exception &)> &Report) {
  try {
    Handler();
  } catch (const std::exception &e) {
    Report(e);
  }
}
