#include "commands/view_command.h"

#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <tuple>

#include "base/encoding.h"
#include "base/failures.h"
#include "base/files.h"
#include "commands/commands.h"
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
  if (compiled.fatal) return kExitFatal;
  return compiled.scenario.diagnostics.empty() ? kExitSuccess : kExitScenarioErrors;
}

bool is_directory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

int view_compiled(ViewOptions o) {
  // Which file holds which part, and whether a missing one is expected.
  std::map<CompiledKind, std::string> files;
  bool plan_optional = false;
  if (o.paths.size() == 1 && is_directory(o.paths[0])) {
    if (o.route.empty() || o.train.empty()) {
      print_error("view --compiled DIR needs --route and --train");
      return kExitUsage;
    }
    const ScenarioFiles names{o.paths[0], o.route, o.train};
    files = {{CompiledKind::kPlan, names.line_plan()},
             {CompiledKind::kTable, names.scenario_table()},
             {CompiledKind::kCells, names.track_cells()}};
    plan_optional = true;
  } else {
    if (o.paths.empty() || o.paths.size() > 3) {
      print_error("view --compiled takes a directory (with --route and --train) or up to three compiled files");
      return kExitUsage;
    }
    for (const std::string& path : o.paths) {
      const std::optional<CompiledKind> kind = kind_from_name(path);
      if (!kind) {
        print_error("cannot tell the kind of " + path + " from its name (_linea.dat, .sim, .dat)");
        return kExitUsage;
      }
      if (files.count(*kind) != 0) {
        print_error(files[*kind] + " and " + path + " are of the same kind");
        return kExitUsage;
      }
      files[*kind] = path;
    }
    for (CompiledKind kind : {CompiledKind::kCells, CompiledKind::kTable}) {
      if (o.route.empty() && o.train.empty() && files.count(kind) != 0) {
        if (auto named = names_from_file(files[kind])) std::tie(o.route, o.train) = *named;
      }
    }
    if (o.route.empty() || o.train.empty()) {
      if (o.page.empty()) {
        print_error("cannot tell route and train from the file names; give --route and --train, or -o PAGE");
        return kExitUsage;
      }
    }
  }
  std::vector<std::string> inputs;
  for (const auto& [kind, path] : files) inputs.push_back(path);
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
      problems.push_back({"error", 0, path, 0, line.substr(path.size() + 2), std::nullopt});
      if (kind == CompiledKind::kPlan) plan_note = "The line plan file " + path + " was refused: " + e.what();
    } catch (const FileSystemError& e) {
      print_error(e.what());
      problems.push_back({"error", 0, path, 0, std::string(e.what()), std::nullopt});
      if (kind == CompiledKind::kPlan) plan_note = "The line plan file could not be read: " + std::string(e.what());
    }
  }
  if (cells && table) {
    const std::string disagreement =
        cells_table_disagreement(files[CompiledKind::kCells], cells->size(), files[CompiledKind::kTable], *table);
    if (!disagreement.empty()) {
      std::cerr << disagreement << '\n';
      problems.push_back({"error", 0, files[CompiledKind::kCells], 0,
                          disagreement.substr(files[CompiledKind::kCells].size() + 2), std::nullopt});
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

view::PageModel page_model_of_descriptions(const CheckRequest& inputs, const Compiled& compiled) {
  if (!compiled.scenario.diagnostics.has_errors() && !compiled.fatal) {
    return view::page_model_from_scenario(compiled.scenario, compiled.fatal);
  }
  CheckResult checked = check_scenario(inputs);
  if (checked.recovered && !checked.recovered->file_error) {
    Compiled& drawn = *checked.recovered;
    drawn.scenario.diagnostics = std::move(checked.diagnostics);
    return view::page_model_from_scenario(drawn.scenario, compiled.fatal);
  }
  return view::page_model_from_scenario(compiled.scenario, compiled.fatal);
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
