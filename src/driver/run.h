// The two things the program does: the built-in run, which writes the
// built-in scenario's sources and documents and compiles them, and the
// compile command, which compiles an author's own description files.
#pragma once

#include <string>
#include <vector>

#include "driver/diagnostics.h"

namespace sb {

inline constexpr const char* kBuiltinRoute = "ValdraPCal-Dorvesa";
inline constexpr const char* kBuiltinTrain = "24317";

// Exit statuses of the whole program.
enum ExitStatus : int {
  kExitSuccess = 0,
  kExitScenarioErrors = 1,
  kExitUsage = 2,
  kExitFatal = 3,
  kExitFileSystem = 4,
};

struct RunOptions {
  std::string dir;            // where every file goes
  bool keep_sources = false;  // leave the two description files in place
};

struct CompileOptions {
  std::string line_file;
  std::string train_file;
  std::string route;  // empty: derived from the file names
  std::string train;
  std::string out_dir = ".";
  bool plan = true;    // geometry flag 1; false: no curves, no line plan file
  bool force = false;  // write the compiled files even when codes were recorded
};

// What a run leaves for the front end to show.
struct RunReport {
  std::vector<Diagnostic> diagnostics;  // every recorded condition, in order
  bool compiled_written = false;
};

// Both throw FatalError (nothing compiled written) and FileSystemError;
// `report` holds what was recorded up to that point.
void run_builtin(const RunOptions& options, RunReport& report);
void compile_files(const CompileOptions& options, RunReport& report);

// Route and train from the file naming convention: LINE = route +
// "_linea.txt", TRAIN = route + "_" + train + "-.txt". Options that are
// set win. Returns an explanation of what is missing, or "" on success.
std::string derive_names(CompileOptions& options);

}  // namespace sb
