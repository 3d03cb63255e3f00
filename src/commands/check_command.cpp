// check: every problem of an author's description files in one go.
#include <algorithm>
#include <optional>
#include <set>

#include "base/encoding.h"
#include "base/failures.h"
#include "base/files.h"
#include "commands/commands.h"
#include "commands/report.h"
#include "compile/check.h"
#include "compile/root_causes.h"

namespace sb {

namespace {

constexpr std::string_view kSwappedFiles = "the line file and the train file seem to be given in swapped order";

// One train's check; `label` names it in the summary when several are
// checked. `line` holds the line file's bytes once they have been read;
// `line_shown` the line file's diagnostics an earlier train printed, which
// are counted but not printed again.
int check_train(CheckOptions options, const std::string& label, std::optional<std::string>& line,
                std::set<std::string>& line_shown) {
  CompileOptions names;
  names.line_file = options.line_file;
  names.train_file = options.train_file;
  names.route = options.route;
  names.train = options.train;
  // The names feed the check codes; files that do not follow the naming
  // convention are checked all the same, and what compile would say of
  // their names is one error more.
  const std::string name_problem = derive_names(names);
  if (!name_problem.empty()) {
    names.route = options.route.empty() ? "check" : options.route;
    names.train = options.train.empty() ? "0" : options.train;
  }
  CheckRequest request;
  request.compile = {utf8_to_1252(names.route).value_or(""), utf8_to_1252(names.train).value_or(""), options.plan};
  request.max_errors = options.max_errors;
  for (auto [input, path] :
       {std::pair{&request.line, &options.line_file}, std::pair{&request.train, &options.train_file}}) {
    input->name = *path;
    if (input == &request.line && line) {
      input->bytes = *line;
      continue;
    }
    try {
      if (!read_file(*path, input->bytes)) {
        print_error("cannot read " + *path + ": No such file or directory");
        return kExitFileSystem;
      }
    } catch (const FileSystemError& e) {
      print_error(e.what());
      return kExitFileSystem;
    }
  }
  line = request.line.bytes;
  const CheckResult result = check_scenario(request);
  // A cause first, then what it does not explain; what it explains is
  // counted, and listed with --all-diagnostics or in the JSON form.
  const std::vector<RootCause> causes = find_root_causes(request, result.diagnostics);
  std::vector<bool> folded(result.diagnostics.size(), false);
  bool swapped = false;
  for (const RootCause& cause : causes) {
    print_root_cause(cause.cause, cause.explains.size());
    for (std::size_t i : cause.explains) folded[i] = true;
    swapped = swapped || cause.cause.message.starts_with(kSwappedFiles);
  }
  // Swapped files said once: by their contents when those show it.
  const bool names_refused = !name_problem.empty() && !(swapped && name_problem.starts_with(kSwappedFiles));
  if (names_refused) print_error("compile would refuse these file names: " + name_problem);
  const bool list_all = options.all_diagnostics || report_options().json;
  std::size_t not_listed = 0;
  for (std::size_t i = 0; i < result.diagnostics.size(); ++i) {
    if (folded[i] && !list_all) {
      not_listed += warning_shown(result.diagnostics.list()[i]) ? 1 : 0;
      continue;
    }
    const Diagnostic& d = result.diagnostics.list()[i];
    if (d.file == options.line_file && !line_shown.insert(format_diagnostic(d)).second) continue;
    print_diagnostic(d);
  }
  if (not_listed > 0) {
    print_summary(std::to_string(not_listed) + (not_listed == 1 ? " diagnostic" : " diagnostics") +
                  " that follow from the cause above not shown; --all-diagnostics lists them");
  }
  if (result.file_error) {
    print_error(*result.file_error);
    return kExitFileSystem;
  }
  if (result.fatal) print_fatal(*result.fatal);
  // A warning that loses input counts among the errors, as it is printed;
  // those past the limits are counted alike.
  const LeftOutTally left_out = left_out_tally(result.diagnostics);
  std::size_t errors = result.diagnostics.error_count() + left_out.lost_input_errors + (names_refused ? 1 : 0);
  std::size_t warnings = left_out.shown_warnings();
  for (const Diagnostic& d : result.diagnostics.list()) {
    if (lost_input_error(d)) {
      ++errors;
    } else {
      warnings += d.severity == Severity::kWarning && warning_shown(d) ? 1 : 0;
    }
  }
  std::string summary = "check: " + label + std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") +
                        std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings");
  if (result.stopped_at_limit) summary += "; stopped at --max-errors " + std::to_string(options.max_errors);
  if (left_out.total() > 0) summary += "; " + left_out_text(left_out);
  print_summary(summary + "; nothing was written", left_out);
  return errors > 0 || result.fatal || warnings_fail(result.diagnostics) ? kExitScenarioErrors : kExitSuccess;
}

}  // namespace

int check_files(CheckOptions options) {
  std::optional<std::string> line;
  std::set<std::string> line_shown;
  if (options.more_train_files.empty()) return check_train(std::move(options), "", line, line_shown);
  std::vector<std::string> files = {options.train_file};
  files.insert(files.end(), options.more_train_files.begin(), options.more_train_files.end());
  if (!options.train.empty()) {
    print_error("--train names one train: give it with one TRAIN_FILE only");
    return kExitUsage;
  }
  int status = kExitSuccess;
  for (const std::string& file : files) {
    CheckOptions one = options;
    one.train_file = file;
    one.more_train_files.clear();
    status = std::max(status, check_train(std::move(one), file + ": ", line, line_shown));
  }
  return status;
}

}  // namespace sb
