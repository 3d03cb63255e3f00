// The compiled files a command reads: a directory with --route and --train
// (ROUTE_linea.dat, ROUTE_TRAIN.sim, ROUTE_TRAIN.dat in it), or up to three
// files named on the command line, their kinds told by their names.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "format/compiled_file.h"

namespace sb {

struct CompiledInputs {
  std::map<CompiledKind, std::string> files;
  // A directory was given: a missing line plan file there is a scenario
  // compiled without a plan.
  bool plan_optional = false;
};

// Finds the files of `paths`; `command` ("view --compiled", "decompile")
// names the command in the messages. An empty `route` or `train` is taken
// from the name of the track cell or scenario table file where it follows
// the convention (ROUTE_TRAIN.dat); they stay empty otherwise. Returns the
// misuse found, "" when there is none.
std::string find_compiled_inputs(const std::vector<std::string>& paths, const std::string& command, std::string& route,
                                 std::string& train, CompiledInputs& found);

// The paths of the inputs, for the checks of the output names.
std::vector<std::string> input_paths(const CompiledInputs& inputs);

}  // namespace sb
