// The ways a run can fail beyond recording a condition.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace sb {

// A value that cannot be read as its type, an index that would leave its
// array, an arithmetic result that does not fit: the reader turns it into
// code 25 and stops reading.
class RunTimeFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A field that cannot be read as asked; it points at the reader's line.
class ReadingFailure : public RunTimeFailure {
 public:
  using RunTimeFailure::RunTimeFailure;
};

// A fatal check of the compiled data: nothing is written, the run ends.
// code 0 stands for "no track cells to complete".
class FatalError : public std::runtime_error {
 public:
  explicit FatalError(int32_t code, const std::string& what = "")
      : std::runtime_error(what), code_(code) {}
  int32_t code() const { return code_; }

 private:
  int32_t code_;
};

// A command line that asks for something the program refuses (exit
// status 2); the message says what.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file operation that failed; the message names the file and the reason.
class FileSystemError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace sb
