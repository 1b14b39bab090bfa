// The exception classes the data layers raise. Error reports print the class name and the
// message, so every class names itself. Messages are program text (CP932).
#pragma once

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
