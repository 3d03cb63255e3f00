#include <cstring>
#include <iterator>
#include <optional>
#include <utility>

#include "base/encoding.h"
#include "base/failures.h"
#include "base/files.h"
#include "commands/commands.h"
#include "commands/output_names.h"
#include "commands/report.h"
#include "compile/compile.h"
#include "documents/driver_documents.h"
#include "format/compiled_files.h"
#include "model/scenario_files.h"

namespace sb {
namespace {

std::string base_name(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ends_with(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A user's files are read, never deleted; a missing one is a file error.
std::string read_input(const std::string& path) {
  std::string bytes;
  if (!read_file(path, bytes)) throw FileSystemError("cannot read " + path + ": No such file or directory");
  return bytes;
}

// The boxes and line name the documents take from options, in the
// documents' Windows-1252; a problem when one cannot be written so.
std::string document_options(const DocumentRequest& request, DocumentOptions& options) {
  const std::pair<const char*, const std::string*> given[] = {{"--classification", &request.classification},
                                                              {"--blocked-mass", &request.blocked_mass},
                                                              {"--line-name", &request.line_name}};
  std::string* taken[] = {&options.classification, &options.blocked_mass, &options.line_name};
  for (std::size_t i = 0; i < std::size(given); ++i) {
    std::string problem;
    const std::optional<std::string> text = utf8_to_1252(*given[i].second, &problem);
    if (!text) return std::string(given[i].first) + " cannot be written in the documents' Windows-1252: " + problem;
    *taken[i] = *text;
  }
  return "";
}

// Everything the run writes, as one set.
void write_outputs(const CompileOptions& options, const ScenarioFiles& files, const Scenario& scenario,
                   const std::optional<NotesDocument>& notes, const DocumentOptions& document_options) {
  OutputSet outputs;
  if (options.compiled_files) stage_compiled_files(scenario, files, outputs);
  if (options.documents.wanted) {
    DriverDocuments documents = driver_documents(scenario, document_options);
    if (notes) documents.notes = notes->bytes;
    stage_driver_documents(documents, files, outputs);
  }
  outputs.commit();
}

}  // namespace

int compile_files(CompileOptions options) {
  const ScenarioFiles files{options.out_dir, options.route, options.train};
  std::vector<NamedOutput> outputs;
  if (options.compiled_files) outputs = compiled_outputs(files, options.plan);
  if (options.documents.wanted) {
    for (NamedOutput& o : document_outputs(files, !options.documents.notes_file.empty())) outputs.push_back(o);
  }
  std::vector<std::string> inputs = {options.line_file, options.train_file};
  if (!options.documents.notes_file.empty()) inputs.push_back(options.documents.notes_file);
  std::string problem = output_name_problem(options.route, options.train, outputs, inputs);
  DocumentOptions document_texts;
  if (problem.empty()) problem = document_options(options.documents, document_texts);
  if (!problem.empty()) {
    print_error(problem);
    return kExitUsage;
  }
  try {
    check_output_directory(options.out_dir);
    // The names arrive as UTF-8 (derive_names has checked that they
    // convert); the compiled files hold them in Windows-1252.
    const CompileRequest request{utf8_to_1252(options.route).value_or(""), utf8_to_1252(options.train).value_or(""),
                                 options.plan};
    std::optional<NotesDocument> notes;
    if (!options.documents.notes_file.empty()) {
      notes = notes_document(read_input(options.documents.notes_file), options.documents.notes_file);
    }
    // The description files' bytes are gone before the compiled files are
    // written.
    const Compiled compiled = [&] {
      MemorySource line(options.line_file, read_input(options.line_file));
      MemorySource train(options.train_file, read_input(options.train_file));
      return compile_scenario(request, {line, train});
    }();
    Diagnostics diagnostics = compiled.scenario.diagnostics;
    if (notes) {
      for (const Diagnostic& w : notes->warnings) diagnostics.add(w);
    }
    print_diagnostics(diagnostics);
    if (compiled.file_error) {
      print_error(*compiled.file_error);
      return kExitFileSystem;
    }
    if (compiled.fatal) {
      print_fatal(*compiled.fatal);
      return kExitFatal;
    }
    const bool warnings_failed = warnings_fail(diagnostics);
    if (!diagnostics.has_errors() && !warnings_failed) {
      write_outputs(options, files, compiled.scenario, notes, document_texts);
      return kExitSuccess;
    }
    if (options.force) {
      write_outputs(options, files, compiled.scenario, notes, document_texts);
    } else {
      // A warning that loses input counts among the errors, as it is
      // printed; under -Werror the other shown warnings are counted apart.
      std::size_t errors = diagnostics.error_count();
      std::size_t warnings = 0;
      for (const Diagnostic& d : diagnostics.list()) {
        if (lost_input_error(d)) {
          ++errors;
        } else if (fails_as_error(d)) {
          ++warnings;
        }
      }
      std::string counted;
      if (errors > 0 || warnings == 0) counted = std::to_string(errors) + (errors == 1 ? " error" : " errors");
      if (warnings > 0) {
        counted += std::string(counted.empty() ? "" : " and ") + std::to_string(warnings) +
                   (warnings == 1 ? " warning treated as an error" : " warnings treated as errors") + " (-Werror)";
      }
      print_error(counted + (options.compiled_files ? "; no compiled file was written (--force writes them anyway)"
                                                    : "; no document was written (--force writes them anyway)"));
    }
    return kExitScenarioErrors;
  } catch (const FileSystemError& e) {
    print_error(e.what());
    return kExitFileSystem;
  }
}

std::string derive_names(CompileOptions& options) {
  const std::string line = base_name(options.line_file);
  const std::string train = base_name(options.train_file);
  if (options.route.empty()) {
    if (!ends_with(line, "_linea.txt") || line.size() == std::strlen("_linea.txt")) {
      return "cannot derive the route name from " + options.line_file +
             " (expected ROUTE_linea.txt); give it with --route";
    }
    options.route = line.substr(0, line.size() - std::strlen("_linea.txt"));
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
