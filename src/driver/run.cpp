#include "driver/run.h"

#include "compiled/compiled_files.h"
#include "documents/documents.h"
#include "driver/encoding.h"
#include "driver/failures.h"
#include "driver/files.h"
#include "driver/naming.h"
#include "driver/scenario_records.h"
#include "reader/reader.h"
#include "source/builtin_content.h"
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

std::string base_name(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ends_with(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

void run_builtin(const RunOptions& options, RunReport& report) {
  check_output_directory(options.dir);
  const ScenarioFiles files{options.dir, kBuiltinRoute, kBuiltinTrain};

  dati_linea(files);
  dati_treno(files);
  dati_note(files);
  dati_rallentamenti(files);
  dati_scheda(files);

  ScenarioState state;
  state.route_name = kBuiltinRoute;
  state.train_number = kBuiltinTrain;
  const bool delete_sources = !options.keep_sources;
  FileSource line(files.line_description(), files.line_description(), delete_sources);
  FileSource train(files.train_description(), files.train_description(), delete_sources);
  compile_into(state, 1, {line, train}, report);

  write_compiled_files(state, files);
  report.compiled_written = true;
}

void compile_files(const CompileOptions& options, RunReport& report) {
  check_output_directory(options.out_dir);
  // A user's files are read, never deleted; a missing one is a file error.
  std::string line_bytes, train_bytes;
  for (const auto* path : {&options.line_file, &options.train_file}) {
    std::string& bytes = path == &options.line_file ? line_bytes : train_bytes;
    if (!read_file(*path, bytes)) throw FileSystemError("cannot read " + *path + ": No such file or directory");
  }
  MemorySource line(options.line_file, std::move(line_bytes));
  MemorySource train(options.train_file, std::move(train_bytes));

  // The names arrive as UTF-8 (derive_names has checked that they convert);
  // the compiled files hold them in Windows-1252.
  ScenarioState state;
  state.route_name = utf8_to_1252(options.route).value_or("");
  state.train_number = utf8_to_1252(options.train).value_or("");
  compile_into(state, options.plan ? 1 : 0, {line, train}, report);

  if (!report.diagnostics.empty() && !options.force) return;
  write_compiled_files(state, ScenarioFiles{options.out_dir, options.route, options.train});
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
    std::string problem;
    if (!utf8_to_1252(*name, &problem)) {
      return (name == &options.route ? "route name \"" : "train number \"") + *name +
             "\" cannot be stored in the compiled files: " + problem;
    }
  }
  return "";
}

}  // namespace sb
