// The error classes of the framework. Every error the system raises is a
// qv::Exception carrying a message; the subclasses say what kind of error it
// is so callers can catch one kind without inspecting texts.
#pragma once

#include <stdexcept>
#include <string>

namespace qv {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// The silent cancel: raised by Abort() to end an operation without any
// message. The default error display ignores it.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// A text that does not convert to the value asked for (a date, a number).
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// An object converted to a class it is not an instance of.
class EInvalidCast : public Exception {
 public:
  using Exception::Exception;
};

// An index outside the bounds of a fixed table or list.
class ERangeError : public Exception {
 public:
  using Exception::Exception;
};

// Ends the current operation silently by raising EAbort.
[[noreturn]] inline void Abort() { throw EAbort(); }

}  // namespace qv
