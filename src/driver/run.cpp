#include "driver/run.h"

#include "compiled/compiled_files.h"
#include "documents/documents.h"
#include "driver/failures.h"
#include "driver/files.h"
#include "driver/naming.h"
#include "driver/output_names.h"
#include "driver/scenario_records.h"
#include "reader/reader.h"
#include "source/builtin_content.h"
#include "source/text_writer.h"
#include "track/completion.h"

namespace sb {
namespace {

// Compiles `sources` into `state`, copying what was recorded into the
// report even when a fatal check ends the compile.
void compile_into(ScenarioState& state, int32_t geometry_flag, DescriptionSources sources, RunReport& report) {
  try {
    memorizza_percorso(state, geometry_flag, sources);
  } catch (...) {
    report.diagnostics = state.diagnostics;
    throw;
  }
  report.diagnostics = state.diagnostics;
}

// A description file of the built-in run. The reader reads it from memory;
// its file is staged as an output of the run, and removing it (as the
// reader does once it has read it) turns it into a file the run deletes,
// unless the sources are kept.
class StagedDescription : public DescriptionSource {
 public:
  StagedDescription(std::string path, std::string bytes, OutputSet& outputs, bool removable)
      : path_(std::move(path)), bytes_(std::move(bytes)), outputs_(outputs), removable_(removable) {
    outputs_.add(path_, bytes_);
  }
  bool load(std::string& bytes) override {
    bytes = bytes_;
    return true;
  }
  void remove() override {
    if (removable_) outputs_.remove(path_);
  }
  const std::string& name() const override { return path_; }

 private:
  std::string path_;
  std::string bytes_;
  OutputSet& outputs_;
  bool removable_;
};

std::string base_name(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ends_with(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

// Every file of a run is staged in one output set and replaced with it at
// the end: a run that fails (a fatal check, a file error) changes nothing.
void run_builtin(const RunOptions& options, RunReport& report) {
  const ScenarioFiles files{options.dir, kBuiltinRoute, kBuiltinTrain};
  check_output_names(files.route, files.train, builtin_outputs(files), {});
  check_output_directory(options.dir);

  OutputSet outputs;
  const bool delete_sources = !options.keep_sources;
  StagedDescription line(files.line_description(), text_file_bytes(builtin_line_lines()), outputs,
                         delete_sources);
  StagedDescription train(files.train_description(), text_file_bytes(builtin_train_lines()), outputs,
                          delete_sources);
  outputs.add(files.notes(), text_file_bytes(notes_lines()));
  outputs.add(files.slowdown_order(), text_file_bytes(slowdown_order_lines()));
  outputs.add(files.timetable_card(), text_file_bytes(timetable_card_lines()));

  ScenarioState state;
  state.route_name = kBuiltinRoute;
  state.train_number = kBuiltinTrain;
  compile_into(state, 1, {line, train}, report);

  stage_compiled_files(state, files, outputs);
  outputs.commit();
  report.compiled_written = true;
}

void compile_files(const CompileOptions& options, RunReport& report) {
  const ScenarioFiles files{options.out_dir, options.route, options.train};
  check_output_names(options.route, options.train, compiled_outputs(files, options.plan),
                     {options.line_file, options.train_file});
  check_output_directory(options.out_dir);
  // A user's files are read, never deleted; a missing one is a file error.
  std::string line_bytes, train_bytes;
  for (const auto* path : {&options.line_file, &options.train_file}) {
    std::string& bytes = path == &options.line_file ? line_bytes : train_bytes;
    if (!read_file(*path, bytes)) throw FileSystemError("cannot read " + *path + ": No such file or directory");
  }
  MemorySource line(options.line_file, std::move(line_bytes));
  MemorySource train(options.train_file, std::move(train_bytes));

  ScenarioState state;
  state.route_name = options.route;
  state.train_number = options.train;
  compile_into(state, options.plan ? 1 : 0, {line, train}, report);

  if (!report.diagnostics.empty() && !options.force) return;
  write_compiled_files(state, files);
  report.compiled_written = true;
}

std::string derive_names(CompileOptions& options) {
  const std::string line = base_name(options.line_file);
  const std::string train = base_name(options.train_file);
  if (options.route.empty()) {
    if (!ends_with(line, "_linea.txt") || line.size() == std::string("_linea.txt").size()) {
      return "cannot derive the route name from " + options.line_file +
             " (expected ROUTE_linea.txt); give it with --route";
    }
    options.route = line.substr(0, line.size() - std::string("_linea.txt").size());
  }
  if (options.train.empty()) {
    const std::string prefix = options.route + "_";
    if (train.size() <= prefix.size() + 5 || train.compare(0, prefix.size(), prefix) != 0 ||
        !ends_with(train, "-.txt")) {
      return "cannot derive the train number from " + options.train_file + " (expected " + options.route +
             "_TRAIN-.txt); give it with --train";
    }
    options.train = train.substr(prefix.size(), train.size() - prefix.size() - 5);
  }
  for (const std::string* name : {&options.route, &options.train}) {
    if (name->find('/') != std::string::npos || name->find('\0') != std::string::npos) {
      return "a route name or train number may not contain \"/\": " + *name;
    }
    if (name->size() > 1000) return "a route name or train number of more than 1000 characters";
  }
  return "";
}

}  // namespace sb
