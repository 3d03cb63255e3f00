// The compile of one line with one or more trains: the line file is read
// once, each train is compiled against it, and the outputs of all of them
// (the line plan once, each train's scenario table and track cell file)
// are replaced as one set, or none is. compile and watch both go through
// here.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "compile/compile.h"

namespace sb {

// A train file and the train number its outputs are named after.
struct TrainInput {
  std::string file;
  std::string number;
};

// What one train's compile found, as it was printed.
struct TrainTally {
  std::string number;
  int status = kExitSuccess;
  std::size_t errors = 0;            // lost-input warnings included
  std::size_t failing_warnings = 0;  // warnings that fail it under -Werror
  std::size_t warnings = 0;          // the other shown warnings
};

struct TrainsOutcome {
  std::vector<TrainTally> trains;
  int status = kExitSuccess;  // the worst of the trains'
  bool written = false;       // the set was replaced
};

// Called with each train's compile, its inputs' bytes at hand, before the
// next train is compiled.
using CompiledTrain = std::function<void(const TrainInput& train, const std::string& line_bytes,
                                         const std::string& train_bytes, const Compiled& compiled)>;

// The train files of `options` (the first, then the others) with their
// numbers: `options.train` for a single train, else each from its file's
// name.
// Returns an explanation when a number cannot be derived.
std::string train_inputs(const CompileOptions& options, std::vector<TrainInput>& trains);

// Names of the whole set: what output_name_problem says of any of them.
std::string trains_output_problem(const CompileOptions& options, const std::vector<TrainInput>& trains);

// Compiles every train, prints its diagnostics (a line file's diagnostic
// once, however many trains repeat it), and replaces the set when every
// train compiled without an error (or with `options.force`, when none
// ended in a fatal check or a file error). Throws FileSystemError.
TrainsOutcome compile_trains(const CompileOptions& options, const std::vector<TrainInput>& trains,
                             const CompiledTrain& each = nullptr);

// "E errors, W warnings" of a tally, as the summaries say it.
std::string tally_text(std::size_t errors, std::size_t warnings);

}  // namespace sb
