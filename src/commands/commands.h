// The program's commands. Each takes its parsed options, does its work,
// prints what it found on standard error and returns the exit status.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sb {

// Exit statuses of the whole program.
enum ExitStatus : int {
  kExitSuccess = 0,
  kExitScenarioErrors = 1,
  kExitUsage = 2,
  kExitFatal = 3,
  kExitFileSystem = 4,
  kExitInternal = 5,
};

struct RunOptions {
  std::string dir;            // where every file goes; empty: the program's directory
  bool keep_sources = false;  // leave the two description files in place
  bool force = false;         // replace description files that differ from the built-in text
};

// The driver documents a compile writes besides (or, for the documents
// command, instead of) the compiled files. Texts in UTF-8 as given.
struct DocumentRequest {
  bool wanted = false;
  std::string classification;  // the card's boxes; empty: blank
  std::string blocked_mass;
  std::string line_name;   // the slowdown order's line; empty: from the stations
  std::string notes_file;  // empty: no notes
};

struct CompileOptions {
  std::string line_file;
  std::string train_file;
  std::vector<std::string> more_train_files;  // the trains after the first: one set for all
  std::string route;                          // empty: derived from the file names
  std::string train;
  std::string out_dir = ".";
  bool plan = true;            // false: no curves, no line plan file
  bool force = false;          // write the compiled files even when errors were recorded
  bool compiled_files = true;  // false: the driver documents only
  DocumentRequest documents;
};

struct CheckOptions {
  std::string line_file;
  std::string train_file;
  std::vector<std::string> more_train_files;  // checked one after the other
  std::string route;                          // empty: derived from the file names when they follow the convention
  std::string train;
  bool plan = true;
  std::size_t max_errors = 50;
  // List the diagnostics a root cause explains too, not only their count.
  bool all_diagnostics = false;
};

// The built-in run: writes the built-in scenario's description files and
// documents, compiles them and writes the compiled files.
int run_builtin(const RunOptions& options);

// `explain ID...`: what each code, fatal check or warning means, an
// example and the fix (`--list`: every id; `--markdown`: the manual's table).
int run_explain(const std::vector<std::string>& ids);

// Compiles an author's description files: one line, one or more trains;
// writes the compiled files, the driver documents or both, as one set.
int compile_files(CompileOptions options);

// Reports every problem of an author's description files; writes nothing.
int check_files(CheckOptions options);

// Route and train from the file naming convention: LINE = route +
// "_linea.txt", TRAIN = route + "_" + train + "-.txt". Options that are set
// win. Returns an explanation of what is wrong, or "" on success.
std::string derive_names(CompileOptions& options);

}  // namespace sb
