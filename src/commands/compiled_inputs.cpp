#include "commands/compiled_inputs.h"

#include <filesystem>
#include <optional>
#include <tuple>

#include "model/scenario_files.h"

namespace sb {
namespace {

bool is_directory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

}  // namespace

std::string find_compiled_inputs(const std::vector<std::string>& paths, const std::string& command, std::string& route,
                                 std::string& train, CompiledInputs& found) {
  found = {};
  if (paths.size() == 1 && is_directory(paths[0])) {
    if (route.empty() || train.empty()) return command + " DIR needs --route and --train";
    const ScenarioFiles names{paths[0], route, train};
    found.files = {{CompiledKind::kPlan, names.line_plan()},
                   {CompiledKind::kTable, names.scenario_table()},
                   {CompiledKind::kCells, names.track_cells()}};
    found.plan_optional = true;
    return "";
  }
  if (paths.empty() || paths.size() > 3) {
    return command + " takes a directory (with --route and --train) or up to three compiled files";
  }
  for (const std::string& path : paths) {
    const std::optional<CompiledKind> kind = kind_from_name(path);
    if (!kind) return "cannot tell the kind of " + path + " from its name (_linea.dat, .sim, .dat)";
    if (found.files.count(*kind) != 0) return found.files[*kind] + " and " + path + " are of the same kind";
    found.files[*kind] = path;
  }
  for (CompiledKind kind : {CompiledKind::kCells, CompiledKind::kTable}) {
    if (route.empty() && train.empty() && found.files.count(kind) != 0) {
      if (auto named = names_from_file(found.files[kind])) std::tie(route, train) = *named;
    }
  }
  return "";
}

std::vector<std::string> input_paths(const CompiledInputs& inputs) {
  std::vector<std::string> paths;
  for (const auto& [kind, path] : inputs.files) paths.push_back(path);
  return paths;
}

}  // namespace sb
