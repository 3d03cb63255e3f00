#include "commands/view_command.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <tuple>

#include "base/encoding.h"
#include "base/failures.h"
#include "base/files.h"
#include "commands/commands.h"
#include "commands/compiled_inputs.h"
#include "format/compiled_file.h"
#include "format/compiled_meaning.h"
#include "format/plan_summary.h"
#include "base/encoding.h"
#include "base/text_format.h"
#include "commands/output_names.h"
#include "commands/recover.h"
#include "commands/report.h"
#include "compile/check.h"
#include "compile/compile.h"
#include "model/scenario_files.h"
#include "view/page.h"
#include "view/page_model_builder.h"

namespace sb {
namespace {

view::Diagnostic page_diagnostic(const ShownDiagnostic& s) {
  view::Diagnostic out{s.severity, s.tag, s.place, s.file, s.line, s.message, {}, s.position, {}};
  for (const ShownNote& n : s.notes) out.notes.push_back({n.place, n.file, n.line, n.message});
  return out;
}

std::string read_input(const std::string& path) {
  std::string bytes;
  if (!read_file(path, bytes)) throw FileSystemError("cannot read " + path + ": No such file or directory");
  return bytes;
}

std::string page_path(const ViewOptions& o) {
  return !o.page.empty() ? o.page : page_name(o.out_dir, o.route, o.train);
}

bool page_to_standard_output(const ViewOptions& o) { return o.page == "-"; }

// The page's name against the inputs, as every writing command checks its
// outputs; a name the user gave with -o is taken as given otherwise.
std::string page_name_problem(const ViewOptions& o, const std::vector<std::string>& inputs) {
  if (page_to_standard_output(o)) return outputs_problem({}, inputs);
  const std::vector<NamedOutput> page = {{"page", page_path(o)}};
  return o.page.empty() ? output_name_problem(o.route, o.train, page, inputs) : outputs_problem(page, inputs);
}

// A compiled file's problem as printed, "FILE: PLACE: error: MESSAGE":
// `text` is what follows "FILE: ".
view::Diagnostic compiled_file_problem(const std::string& file, const std::string& text) {
  const std::string marker = "error: ";
  const auto at = text.find(marker);
  std::string place = file, message = text;
  if (at != std::string::npos) {
    place = file + ": " + text.substr(0, at >= 2 ? at - 2 : 0);
    message = text.substr(at + marker.size());
  }
  return {"error", "", place, file, 0, message, {}, std::nullopt, {}};
}

// Line `line` (from 1) of a description file, without its line end.
std::string text_of_line(const std::string& bytes, int line) {
  std::size_t at = 0;
  for (int n = 1; n < line && at != std::string::npos; ++n) {
    at = bytes.find('\n', at);
    if (at != std::string::npos) ++at;
  }
  if (at == std::string::npos || at >= bytes.size()) return "";
  std::string text = bytes.substr(at, std::min<std::size_t>(bytes.find('\n', at) - at, 400));
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

int write_page(const ViewOptions& o, const view::PageModel& model) {
  if (page_to_standard_output(o)) {
    std::cout << view::render_page(model);
    return kExitSuccess;
  }
  const std::string path = page_path(o);
  replace_file(path, view::render_page(model));
  std::cout << path << '\n';
  return kExitSuccess;
}

int view_descriptions(ViewOptions o) {
  if (o.paths.size() != 2) {
    print_error("view needs LINE_FILE TRAIN_FILE (or --compiled and compiled files)");
    return kExitUsage;
  }
  CompileOptions names;
  names.line_file = o.paths[0];
  names.train_file = o.paths[1];
  names.route = o.route;
  names.train = o.train;
  const std::string problem = derive_names(names);
  if (!problem.empty()) {
    print_error(problem);
    return kExitUsage;
  }
  o.route = names.route;
  o.train = names.train;
  const std::string name_problem = page_name_problem(o, {names.line_file, names.train_file});
  if (!name_problem.empty()) {
    print_error(name_problem);
    return kExitUsage;
  }
  const CompileRequest request{utf8_to_1252(o.route).value_or(""), utf8_to_1252(o.train).value_or(""), o.plan};
  CheckRequest check;
  check.compile = request;
  check.line = {names.line_file, read_input(names.line_file)};
  check.train = {names.train_file, read_input(names.train_file)};
  const Compiled compiled = [&] {
    MemorySource line(check.line.name, check.line.bytes);
    MemorySource train(check.train.name, check.train.bytes);
    return compile_scenario(request, {line, train});
  }();
  print_diagnostics(compiled.scenario.diagnostics);
  if (compiled.file_error) {
    print_error(*compiled.file_error);
    return kExitFileSystem;
  }
  if (compiled.fatal) print_fatal(*compiled.fatal);
  write_page(o, page_model_of_descriptions(check, compiled));
  // As compile ends: warnings alone do not fail, unless -Werror.
  if (compiled.fatal) return kExitFatal;
  const Diagnostics& found = compiled.scenario.diagnostics;
  return found.has_errors() || warnings_fail(found) ? kExitScenarioErrors : kExitSuccess;
}

int view_compiled(ViewOptions o) {
  CompiledInputs found;
  const std::string misuse = find_compiled_inputs(o.paths, "view --compiled", o.route, o.train, found);
  if (!misuse.empty()) {
    print_error(misuse);
    return kExitUsage;
  }
  std::map<CompiledKind, std::string>& files = found.files;
  const bool plan_optional = found.plan_optional;
  if (!plan_optional && (o.route.empty() || o.train.empty()) && o.page.empty()) {
    print_error("cannot tell route and train from the file names; give --route and --train, or -o PAGE");
    return kExitUsage;
  }
  const std::vector<std::string> inputs = input_paths(found);
  const std::string name_problem = page_name_problem(o, inputs);
  if (!name_problem.empty()) {
    print_error(name_problem);
    return kExitUsage;
  }
  if (const std::string unfinished = unfinished_commit_problem(inputs); !unfinished.empty()) {
    print_error(unfinished);
    return kExitScenarioErrors;
  }

  view::DecodedScenario decoded;
  std::optional<std::vector<CellRecord>> cells;
  std::optional<TableRecords> table;
  decoded.route_name = utf8_to_1252(o.route).value_or("");
  decoded.train_number = utf8_to_1252(o.train).value_or("");
  std::vector<view::Diagnostic> problems;
  std::string plan_note;
  for (const auto& [kind, path] : files) {
    if (kind == CompiledKind::kPlan && plan_optional && !file_exists(path)) continue;
    try {
      CompiledFile f = load_compiled(path, kind);
      switch (kind) {
        case CompiledKind::kCells: cells = std::move(f.cells); break;
        case CompiledKind::kTable: table = f.table; break;
        case CompiledKind::kPlan: decoded.plan = std::move(f.plan); break;
      }
    } catch (const DecodeError& e) {
      const std::string line = format_decode_error(path, e);
      std::cerr << line << '\n';
      problems.push_back(compiled_file_problem(path, line.substr(path.size() + 2)));
      if (kind == CompiledKind::kPlan) plan_note = "The line plan file " + path + " was refused: " + e.what();
    } catch (const FileSystemError& e) {
      print_error(e.what());
      problems.push_back({"error", "", "scenario-builder", "", 0, std::string(e.what()), {}, std::nullopt, {}});
      if (kind == CompiledKind::kPlan) plan_note = "The line plan file could not be read: " + std::string(e.what());
    }
  }
  if (cells && table) {
    const std::string disagreement =
        cells_table_disagreement(files[CompiledKind::kCells], cells->size(), files[CompiledKind::kTable], *table);
    if (!disagreement.empty()) {
      std::cerr << disagreement << '\n';
      problems.push_back(compiled_file_problem(files[CompiledKind::kCells],
                                               disagreement.substr(files[CompiledKind::kCells].size() + 2)));
    }
  }
  if (cells) decoded.cells = track_cells_of(*cells);
  if (table) decoded.table = scenario_table(*table);
  view::PageModel model = view::page_model_from_compiled(decoded);
  model.diagnostics = std::move(problems);
  model.plan_note = utf8_to_1252(plan_note).value_or("The line plan file could not be read.");
  write_page(o, model);
  return model.diagnostics.empty() ? kExitSuccess : kExitScenarioErrors;
}

}  // namespace

const view::DiagnosticPresentation& printed_diagnostics() {
  static const view::DiagnosticPresentation presentation{
      [](const Diagnostic& d) -> std::optional<view::Diagnostic> {
        const std::optional<ShownDiagnostic> shown = shown_diagnostic(d);
        if (!shown) return std::nullopt;
        return page_diagnostic(*shown);
      },
      [](FatalCheck check) { return page_diagnostic(shown_fatal(check)); },
      [](const Diagnostics& diagnostics) { return warnings_fail(diagnostics); }};
  return presentation;
}

view::PageModel page_model_of_descriptions(const CheckRequest& inputs, const Compiled& compiled) {
  view::PageModel model = [&] {
    if (!compiled.scenario.diagnostics.has_errors() && !compiled.fatal) {
      return view::page_model_from_scenario(compiled.scenario, compiled.fatal, printed_diagnostics());
    }
    CheckResult checked = check_scenario(inputs);
    if (checked.recovered && !checked.recovered->file_error) {
      Compiled& drawn = *checked.recovered;
      drawn.scenario.diagnostics = std::move(checked.diagnostics);
      return view::page_model_from_scenario(drawn.scenario, compiled.fatal, printed_diagnostics());
    }
    return view::page_model_from_scenario(compiled.scenario, compiled.fatal, printed_diagnostics());
  }();
  // The build failed as compile decides it, whatever check read on to.
  const Diagnostics& found = compiled.scenario.diagnostics;
  model.build.failed = model.build.failed || found.has_errors() || warnings_fail(found) || compiled.fatal;
  // Each diagnostic with the text of its line, as the author wrote it.
  for (view::Diagnostic& d : model.diagnostics) {
    if (d.line <= 0) continue;
    const std::string* bytes = d.file == inputs.line.name    ? &inputs.line.bytes
                               : d.file == inputs.train.name ? &inputs.train.bytes
                                                             : nullptr;
    if (bytes) d.source_line = text_of_line(*bytes, d.line);
  }
  return model;
}

int run_view(ViewOptions options) {
  try {
    if (options.page.empty()) check_output_directory(options.out_dir);
    if (!options.page.empty() && options.page.back() == '/') {
      print_error("-o names a directory (" + options.page + "): give the page's file name, or use --out DIR");
      return kExitUsage;
    }
    return options.compiled ? view_compiled(std::move(options)) : view_descriptions(std::move(options));
  } catch (const FileSystemError& e) {
    print_error(e.what());
    return kExitFileSystem;
  }
}

}  // namespace sb
