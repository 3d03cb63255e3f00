// The names a run writes, checked before anything is read or written: no
// output may be another output or one of the inputs, and no route name or
// train number may make a hidden file or a name with a control character.
#pragma once

#include <string>
#include <vector>

#include "model/scenario_files.h"

namespace sb {

struct NamedOutput {
  const char* what;  // e.g. "track cell file", for the message
  std::string path;
};

// Every file the built-in run writes or deletes, in the order it stages them.
std::vector<NamedOutput> builtin_outputs(const ScenarioFiles& files);
// The compiled files of a compile; no line plan file without a plan.
std::vector<NamedOutput> compiled_outputs(const ScenarioFiles& files, bool plan);

// Names the problem, or returns "", when the route name or the train
// number is empty or holds "/" or a control character (a byte below 0x20,
// or 0x7F), when the route name starts with "." (every file would be
// hidden), when two outputs have the same name, or when an output is the
// same file as an input (same device and inode, whatever the path says).
// An output or input that does not exist collides with nothing.
std::string output_name_problem(const std::string& route, const std::string& train,
                                const std::vector<NamedOutput>& outputs, const std::vector<std::string>& inputs);

}  // namespace sb
