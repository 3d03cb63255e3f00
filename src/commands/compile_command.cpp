#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>
#include <set>
#include <utility>

#include "base/encoding.h"
#include "base/failures.h"
#include "base/files.h"
#include "commands/commands.h"
#include "commands/compile_trains.h"
#include "commands/output_names.h"
#include "commands/report.h"
#include "compile/compile.h"
#include "compile/root_causes.h"
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

}  // namespace

std::string tally_text(std::size_t errors, std::size_t warnings) {
  return std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") + std::to_string(warnings) +
         (warnings == 1 ? " warning" : " warnings");
}

std::string train_inputs(const CompileOptions& options, std::vector<TrainInput>& trains) {
  trains.clear();
  std::vector<std::string> files = {options.train_file};
  files.insert(files.end(), options.more_train_files.begin(), options.more_train_files.end());
  for (const std::string& file : files) {
    CompileOptions names = options;
    names.train_file = file;
    names.train = files.size() == 1 ? options.train : "";
    const std::string problem = derive_names(names);
    if (!problem.empty()) return problem;
    trains.push_back({file, names.train});
  }
  return "";
}

std::string trains_output_problem(const CompileOptions& options, const std::vector<TrainInput>& trains) {
  std::vector<NamedOutput> outputs;
  std::vector<std::string> inputs = {options.line_file};
  const bool notes = !options.documents.notes_file.empty();
  for (const TrainInput& train : trains) {
    const ScenarioFiles files{options.out_dir, options.route, train.number};
    std::vector<NamedOutput> of_train;
    if (options.compiled_files) of_train = compiled_outputs(files, options.plan && &train == &trains.front());
    if (options.documents.wanted) {
      for (NamedOutput& output : document_outputs(files, notes)) of_train.push_back(std::move(output));
    }
    for (NamedOutput& output : of_train) outputs.push_back(std::move(output));
    inputs.push_back(train.file);
  }
  if (notes) inputs.push_back(options.documents.notes_file);
  DocumentOptions texts;
  if (const std::string problem = document_options(options.documents, texts); !problem.empty()) return problem;
  for (std::size_t i = 1; i < trains.size(); ++i) {
    const std::string problem = output_name_problem(options.route, trains[i].number, {}, {});
    if (!problem.empty()) return problem;
    for (std::size_t j = 0; j < i; ++j) {
      if (trains[j].number == trains[i].number) {
        return "the train files \"" + trains[j].file + "\" and \"" + trains[i].file + "\" are both train \"" +
               trains[i].number + "\": their compiled files would be the same";
      }
    }
  }
  return output_name_problem(options.route, trains.front().number, outputs, inputs);
}

namespace {

// Counts what print_diagnostics showed of a compile, as it showed it.
TrainTally tally_of(const std::string& number, const Diagnostics& diagnostics) {
  TrainTally tally;
  tally.number = number;
  tally.errors = diagnostics.error_count();
  for (const Diagnostic& d : diagnostics.list()) {
    if (lost_input_error(d)) {
      ++tally.errors;
    } else if (fails_as_error(d)) {
      ++tally.failing_warnings;
    } else if (d.severity == Severity::kWarning && warning_shown(d)) {
      ++tally.warnings;
    }
  }
  const LeftOutTally left_out = left_out_tally(diagnostics);
  tally.errors += left_out.lost_input_errors;
  tally.failing_warnings += left_out.failing_warnings;
  tally.warnings += left_out.warnings;
  return tally;
}

// Prints a train's diagnostics; those of the line file only when an
// earlier train did not print them already, since every train reads the
// same line. A mistake behind many of them (the root causes `check` finds)
// comes first, and what follows from it is counted, not printed.
void print_train_diagnostics(const Diagnostics& diagnostics, const CheckRequest& files,
                             std::set<std::string>& line_diagnostics_shown) {
  const std::string& line_file = files.line.name;
  std::vector<bool> folded(diagnostics.size(), false);
  std::size_t not_listed = 0;
  for (const RootCause& cause : find_root_causes(files, diagnostics)) {
    print_root_cause(cause.cause, cause.explains.size());
    for (std::size_t i : cause.explains) folded[i] = true;
  }
  std::set<std::string> shown_now;
  for (std::size_t i = 0; i < diagnostics.size(); ++i) {
    const Diagnostic& d = diagnostics.list()[i];
    if (folded[i] && !report_options().json) {
      not_listed += warning_shown(d) ? 1 : 0;
      continue;
    }
    if (d.file == line_file) {
      const std::string text = format_diagnostic(d);
      if (line_diagnostics_shown.count(text) != 0) continue;
      shown_now.insert(text);
    }
    print_diagnostic(d);
  }
  line_diagnostics_shown.merge(shown_now);
  if (not_listed > 0) {
    print_summary(std::to_string(not_listed) + (not_listed == 1 ? " diagnostic" : " diagnostics") +
                  " that follow from the cause above not shown; `check --all-diagnostics` lists them");
  }
  const LeftOutTally left_out = left_out_tally(diagnostics);
  if (left_out.total() > 0) print_summary(left_out_text(left_out), left_out);
}

}  // namespace

TrainsOutcome compile_trains(const CompileOptions& options, const std::vector<TrainInput>& trains,
                             const CompiledTrain& each) {
  TrainsOutcome outcome;
  check_output_directory(options.out_dir);
  const std::string line_bytes = read_input(options.line_file);
  std::set<std::string> line_diagnostics_shown;
  std::optional<NotesDocument> notes;
  if (!options.documents.notes_file.empty()) {
    notes = notes_document(read_input(options.documents.notes_file), options.documents.notes_file);
  }
  DocumentOptions document_texts;
  document_options(options.documents, document_texts);
  OutputSet outputs;
  bool stage = true;
  for (const TrainInput& train : trains) {
    // The names arrive as UTF-8 (derive_names has checked that they
    // convert); the compiled files hold them in Windows-1252.
    const CompileRequest request{utf8_to_1252(options.route).value_or(""), utf8_to_1252(train.number).value_or(""),
                                 options.plan};
    std::string train_bytes = read_input(train.file);
    const Compiled compiled = [&] {
      MemorySource line(options.line_file, line_bytes);
      MemorySource source(train.file, train_bytes);
      return compile_scenario(request, {line, source});
    }();
    // The notes' warnings count with the first train, which writes them
    // first.
    Diagnostics diagnostics = compiled.scenario.diagnostics;
    if (notes && &train == &trains.front()) {
      for (const Diagnostic& w : notes->warnings.list()) diagnostics.add(w);
      diagnostics.add_left_out(notes->warnings);
    }
    CheckRequest files;
    files.line = {options.line_file, line_bytes, true};
    files.train = {train.file, train_bytes, true};
    print_train_diagnostics(diagnostics, files, line_diagnostics_shown);
    TrainTally tally = tally_of(train.number, diagnostics);
    if (compiled.file_error) {
      print_error(*compiled.file_error);
      tally.status = kExitFileSystem;
    } else if (compiled.fatal) {
      print_fatal(*compiled.fatal);
      tally.status = kExitFatal;
    } else if (diagnostics.has_errors() || warnings_fail(diagnostics)) {
      tally.status = kExitScenarioErrors;
    }
    if (each) each(train, line_bytes, train_bytes, compiled);
    const bool usable = tally.status == kExitSuccess || (tally.status == kExitScenarioErrors && options.force);
    stage = stage && usable;
    if (stage) {
      const ScenarioFiles files{options.out_dir, options.route, train.number};
      const bool first = &train == &trains.front();
      if (options.compiled_files && first) stage_compiled_files(compiled.scenario, files, outputs);
      if (options.compiled_files && !first) stage_train_files(compiled.scenario, files, outputs);
      if (options.documents.wanted) {
        DriverDocuments documents = driver_documents(compiled.scenario, document_texts);
        if (notes) documents.notes = notes->bytes;
        stage_driver_documents(documents, files, outputs);
      }
    }
    outcome.status = std::max(outcome.status, tally.status);
    outcome.trains.push_back(std::move(tally));
  }
  if (stage) {
    outputs.commit();
    outcome.written = true;
  }
  return outcome;
}

int compile_files(CompileOptions options) {
  std::vector<TrainInput> trains;
  std::string problem = train_inputs(options, trains);
  if (problem.empty()) problem = trains_output_problem(options, trains);
  if (!problem.empty()) {
    print_error(problem);
    return kExitUsage;
  }
  try {
    const TrainsOutcome outcome = compile_trains(options, trains);
    std::size_t errors = 0, failing_warnings = 0;
    for (const TrainTally& tally : outcome.trains) {
      errors += tally.errors;
      failing_warnings += tally.failing_warnings;
      if (trains.size() > 1) {
        print_summary("train " + tally.number + ": " +
                      tally_text(tally.errors, tally.warnings + tally.failing_warnings) +
                      (tally.status == kExitFatal        ? "; fatal check"
                       : tally.status == kExitFileSystem ? "; not read"
                       : tally.status != kExitSuccess    ? "; failed"
                                                         : ""));
      }
    }
    if (outcome.status == kExitScenarioErrors && !outcome.written) {
      // A warning that loses input counts among the errors, as it is
      // printed; under -Werror the other shown warnings are counted apart.
      std::string counted;
      if (errors > 0 || failing_warnings == 0) counted = std::to_string(errors) + (errors == 1 ? " error" : " errors");
      if (failing_warnings > 0) {
        counted += std::string(counted.empty() ? "" : " and ") + std::to_string(failing_warnings) +
                   (failing_warnings == 1 ? " warning treated as an error" : " warnings treated as errors") +
                   " (-Werror)";
      }
      print_summary(counted + (options.compiled_files ? "; no compiled file was written (--force writes them anyway)"
                                                      : "; no document was written (--force writes them anyway)"));
    } else if (!outcome.written && trains.size() > 1) {
      print_summary(options.compiled_files ? "no compiled file was written" : "no document was written");
    }
    return outcome.status;
  } catch (const FileSystemError& e) {
    print_error(e.what());
    return kExitFileSystem;
  }
}

std::string derive_names(CompileOptions& options) {
  const std::string line = base_name(options.line_file);
  const std::string train = base_name(options.train_file);
  if (options.route.empty()) {
    if (!ends_with(line, "_linea.txt") && ends_with(train, "_linea.txt")) {
      return "the line file and the train file seem to be given in swapped order: " + options.train_file +
             " is named as a line file and " + options.line_file +
             " is not; give the line file first: " + options.train_file + " " + options.line_file;
    }
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
  return stored_names_problem(options.route, options.train);
}

}  // namespace sb
