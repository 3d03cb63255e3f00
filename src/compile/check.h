// The check of one pair of description files: every problem in one go.
// The first compile gives what the compiled files would record; after
// each error at a description file line, that line is left out (blanked,
// so that the other lines keep their numbers) and the files are compiled
// again, which finds the next error. Errors and warnings that only such a
// later compile finds are marked with the lines left out, since they may
// go away once the first error is fixed. Nothing is written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "base/diagnostics.h"
#include "compile/compile.h"
#include "track/markers.h"

namespace sb {

struct CheckInput {
  std::string name;  // as diagnostics show it
  std::string bytes;
  bool exists = true;
};

struct CheckRequest {
  CompileRequest compile;
  CheckInput line;
  CheckInput train;
  std::size_t max_errors = 50;  // at least 1
};

struct CheckResult {
  Diagnostics diagnostics;
  // What the first compile ended with, as `compile` reports it.
  std::optional<FatalCheck> fatal;
  std::optional<std::string> file_error;
  std::size_t compiles = 0;       // the first one included
  bool stopped_at_limit = false;  // max_errors errors were found
  // The last compile, with every failing record left out: the most of the
  // scenario that could be read (the page draws it). Not one read with a
  // route length the check supplied.
  std::optional<Compiled> recovered;
};

// Each compile costs time linear in the files; at most max_errors + 1
// compiles run.
CheckResult check_scenario(const CheckRequest& request);

// The bytes with line `line` (from 1) emptied: its line end stays.
std::string without_line(std::string bytes, int line);

}  // namespace sb
