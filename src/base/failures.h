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
//
// `whole_record`: the value that failed belongs to the earlier record on
// `line` (a gradient is stored when the next one is read), so that record,
// not the one being read, is the one to blame and to leave out.
// `column`: the first character of the field that failed, when known.
class RunTimeFailure : public std::runtime_error {
 public:
  explicit RunTimeFailure(const std::string& what, int line = 0, bool whole_record = false, int column = 0)
      : std::runtime_error(what), line_(line), column_(column), whole_record_(whole_record) {}
  int line() const { return line_; }
  int column() const { return column_; }
  bool whole_record() const { return whole_record_; }

 private:
  int line_;
  int column_;
  bool whole_record_;
};

// A file operation that failed; the message names the file and the reason.
class FileSystemError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace sb
