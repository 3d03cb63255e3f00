#include "commands/decompile_command.h"

#include <iostream>

#include "base/encoding.h"
#include "base/failures.h"
#include "base/files.h"
#include "commands/commands.h"
#include "commands/compiled_inputs.h"
#include "commands/output_names.h"
#include "commands/recover.h"
#include "commands/report.h"
#include "decompile/decompile.h"
#include "model/scenario_files.h"

namespace sb {
namespace {

const char* kNotReproduced = "not-reproduced";

const char* file_word(SetFile file) {
  switch (file) {
    case SetFile::kPlan: return "line plan";
    case SetFile::kTable: return "scenario table";
    case SetFile::kCells: break;
  }
  return "track cells";
}

// Loads the set; a damaged file is reported and ends the command (1), a
// file that cannot be read throws FileSystemError.
std::optional<CompiledSet> load_set(const CompiledInputs& inputs, const std::string& route, const std::string& train) {
  CompiledSet set;
  set.route_name = utf8_to_1252(route).value_or("");
  set.train_number = utf8_to_1252(train).value_or("");
  bool damaged = false;
  for (const auto& [kind, path] : inputs.files) {
    if (kind == CompiledKind::kPlan && inputs.plan_optional && !file_exists(path)) continue;
    try {
      CompiledFile f = load_compiled(path, kind);
      switch (kind) {
        case CompiledKind::kCells: set.cells = std::move(f.cells); break;
        case CompiledKind::kTable: set.table = f.table; break;
        case CompiledKind::kPlan: set.plan = std::move(f.plan); break;
      }
    } catch (const DecodeError& e) {
      print_compiled_file_error(path, "offset " + std::to_string(e.offset()), "damaged-file", e.what());
      damaged = true;
    }
  }
  if (damaged) return std::nullopt;
  const std::string& cells = inputs.files.at(CompiledKind::kCells);
  const std::string& table = inputs.files.at(CompiledKind::kTable);
  const std::string disagreement = cells_table_disagreement(cells, set.cells.size(), table, set.table);
  if (!disagreement.empty()) {
    std::cerr << disagreement << '\n';
    return std::nullopt;
  }
  return set;
}

}  // namespace

int run_decompile(DecompileOptions o) {
  try {
    CompiledInputs inputs;
    const std::string misuse = find_compiled_inputs(o.paths, "decompile", o.route, o.train, inputs);
    if (!misuse.empty()) {
      print_error(misuse);
      return kExitUsage;
    }
    if (inputs.files.count(CompiledKind::kCells) == 0 || inputs.files.count(CompiledKind::kTable) == 0) {
      print_error("decompile needs the track cell file (.dat) and the scenario table file (.sim)");
      return kExitUsage;
    }
    if (o.route.empty() || o.train.empty()) {
      print_error("cannot tell route and train from the file names; give --route and --train");
      return kExitUsage;
    }
    check_output_directory(o.out_dir);
    const ScenarioFiles names{o.out_dir, o.route, o.train};
    const std::vector<NamedOutput> outputs = {{"line description file", names.line_description()},
                                              {"train description file", names.train_description()}};
    const std::vector<std::string> inputs_named = input_paths(inputs);
    const std::string name_problem = output_name_problem(o.route, o.train, outputs, inputs_named);
    if (!name_problem.empty()) {
      print_error(name_problem);
      return kExitUsage;
    }
    if (!o.force) {
      for (const NamedOutput& out : outputs) {
        if (file_exists(out.path)) {
          print_error(out.path + " is already there: decompile does not replace a description file unless --force");
          return kExitUsage;
        }
      }
    }
    if (const std::string unfinished = unfinished_commit_problem(inputs_named); !unfinished.empty()) {
      print_error(unfinished);
      return kExitScenarioErrors;
    }
    const std::optional<CompiledSet> set = load_set(inputs, o.route, o.train);
    if (!set) return kExitScenarioErrors;

    const Decompiled result = decompile(*set, outputs[0].path, outputs[1].path);
    OutputSet written;
    written.add(outputs[0].path, result.line);
    written.add(outputs[1].path, result.train);
    written.commit();
    for (const NamedOutput& out : outputs) std::cout << out.path << '\n';
    print_diagnostics(result.diagnostics);
    for (const SetDifference& d : result.differences) {
      const CompiledKind kind = d.file == SetFile::kPlan    ? CompiledKind::kPlan
                                : d.file == SetFile::kTable ? CompiledKind::kTable
                                                            : CompiledKind::kCells;
      const auto named = inputs.files.find(kind);
      const std::string file = named != inputs.files.end() ? named->second : std::string(file_word(d.file));
      print_compiled_file_error(file, d.place, kNotReproduced, d.message);
    }
    // Descriptions that compile only with errors are no round trip either.
    const bool reproduced = result.differences.empty() && !result.diagnostics.has_errors();
    return reproduced ? kExitSuccess : kExitScenarioErrors;
  } catch (const FileSystemError& e) {
    print_error(e.what());
    return kExitFileSystem;
  }
}

}  // namespace sb
