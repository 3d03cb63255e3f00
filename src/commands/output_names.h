// The names a run writes, checked before anything is read or written: no
// output may be another output or one of the inputs, and no route name or
// train number may make a hidden file, a name with a control character or
// a name Windows cannot hold (the files travel there).
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
// The driver documents of a compile: the timetable card, the slowdown
// order and, when asked, the notes.
std::vector<NamedOutput> document_outputs(const ScenarioFiles& files, bool notes);

// The names of every command that writes files go through here, before
// anything is read.
//
// Names the problem, or returns "", when the route name or the train
// number is empty or holds "/" or a control character (a byte below 0x20,
// or 0x7F), when the route name starts with "." (every file would be
// hidden), when either holds a character Windows does not allow in a file
// name (< > : " \ | ? *) or ends in a dot or a blank, and then as
// outputs_problem() does.
std::string output_name_problem(const std::string& route, const std::string& train,
                                const std::vector<NamedOutput>& outputs, const std::vector<std::string>& inputs);

// Whether a route name and a train number can be the names of a compiled
// set: no "/" or NUL, at most 1000 bytes, and UTF-8 whose every character
// Windows-1252 holds (the compiled files store them so). Names the problem,
// or returns "". Every command that takes the names for a set, given or
// read from file names, checks them here first.
std::string stored_names_problem(const std::string& route, const std::string& train);

// The checks of the outputs alone (for outputs whose names the user gave):
// two outputs with the same name, an output that is a Windows device name
// (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, in any case, with or without
// an extension), an output name too long for its file system once the
// temporary suffix is added, two inputs that are the same file, and an
// output that is the same file as an input (same device and inode,
// whatever the path says). An output or input that does not exist
// collides with nothing.
std::string outputs_problem(const std::vector<NamedOutput>& outputs, const std::vector<std::string>& inputs);

// The page's name of the scenario ROUTE, TRAIN in DIR.
std::string page_name(const std::string& dir, const std::string& route, const std::string& train);

}  // namespace sb
