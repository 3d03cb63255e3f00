// The two exceptions of the system. Everything else that can go wrong with
// a scenario is a Diagnostic (base/diagnostics.h), and a fatal check of the
// compiled data is a value (compile/compile.h).
#pragma once

#include <stdexcept>
#include <string>

namespace sb {

// A value that cannot be read as its type, an index that would leave its
// array, a 32-bit result that does not fit: the reader turns it into
// code 25 and stops reading. `line` is the description file line where the
// failure was noticed, when the thrower knows it (the field reader does);
// 0 lets the reader point at the record being handled.
class RunTimeFailure : public std::runtime_error {
 public:
  explicit RunTimeFailure(const std::string& what, int line = 0) : std::runtime_error(what), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

// A file operation that failed; the message names the file and the reason.
class FileSystemError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace sb
