#include "commands/output_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/encoding.h"
#include "base/files.h"

namespace sb {
namespace {

// `text` in quotes, every control byte written as \xNN so that the message
// stays one printable line.
std::string shown(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// What Windows cannot hold in a file name, beyond "/" and the control
// characters: these characters (":" in "A:B" names a stream of file "A"),
// a name that ends in a dot or a blank (Windows drops them), and the
// device names, whatever follows their first dot ("AUX.html" is the
// device AUX), in any case. Compiled sets and pages travel to Windows,
// so every platform refuses them.
constexpr std::string_view kWindowsForbidden = "<>:\"\\|?*";
constexpr std::string_view kDeviceNames[] = {
    "CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2",
    "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9",
    // Windows takes the superscript digits of Windows-1252 for device numbers too.
    "COM\u00B9", "COM\u00B2", "COM\u00B3", "LPT\u00B9", "LPT\u00B2", "LPT\u00B3"};

// The device name a file name stands for on Windows; "" when none.
std::string_view device_name(std::string_view file_name) {
  std::string_view stem = file_name.substr(0, file_name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  for (std::string_view device : kDeviceNames) {
    if (stem.size() != device.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < stem.size() && same; ++i) {
      const char c = stem[i] >= 'a' && stem[i] <= 'z' ? static_cast<char>(stem[i] - 'a' + 'A') : stem[i];
      same = c == device[i];
    }
    if (same) return device;
  }
  return "";
}

// A route name or train number that Windows cannot hold in a file name.
std::string windows_name_problem(const char* what, const std::string& name) {
  const std::size_t forbidden = name.find_first_of(kWindowsForbidden);
  if (forbidden != std::string::npos) {
    return std::string("the ") + what + " " + shown(name) + " contains \"" + name[forbidden] +
           "\", which Windows does not allow in a file name";
  }
  if (name.back() == '.' || name.back() == ' ') {
    return std::string("the ") + what + " " + shown(name) + " ends with \"" + name.back() +
           "\", which Windows drops from a file name";
  }
  return "";
}

std::string name_problem(const char* what, const std::string& name) {
  if (name.empty()) return std::string("the ") + what + " is empty";
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char code[5];
      std::snprintf(code, sizeof code, "0x%02X", byte);
      return std::string("the ") + what + " " + shown(name) + " contains the control character " + code;
    }
  }
  if (name.find('/') != std::string::npos) {
    return std::string("the ") + what + " " + shown(name) + " contains \"/\"";
  }
  return "";
}

}  // namespace

std::vector<NamedOutput> builtin_outputs(const ScenarioFiles& files) {
  return {
      {"line description file", files.line_description()},
      {"train description file", files.train_description()},
      {"scenario notes", files.notes()},
      {"slowdown order", files.slowdown_order()},
      {"timetable card", files.timetable_card()},
      {"line plan file", files.line_plan()},
      {"scenario table file", files.scenario_table()},
      {"track cell file", files.track_cells()},
  };
}

std::vector<NamedOutput> compiled_outputs(const ScenarioFiles& files, bool plan) {
  std::vector<NamedOutput> outputs;
  if (plan) outputs.push_back({"line plan file", files.line_plan()});
  outputs.push_back({"scenario table file", files.scenario_table()});
  outputs.push_back({"track cell file", files.track_cells()});
  return outputs;
}

std::vector<NamedOutput> document_outputs(const ScenarioFiles& files, bool notes) {
  std::vector<NamedOutput> outputs = {{"timetable card", files.timetable_card()},
                                      {"slowdown order", files.slowdown_order()}};
  if (notes) outputs.push_back({"scenario notes", files.notes()});
  return outputs;
}

std::string stored_names_problem(const std::string& route, const std::string& train) {
  for (const std::string* name : {&route, &train}) {
    if (name->find('/') != std::string::npos || name->find('\0') != std::string::npos) {
      return "a route name or train number may not contain \"/\": " + *name;
    }
    if (name->size() > 1000) return "a route name or train number of more than 1000 characters";
    std::string problem;
    if (!utf8_to_1252(*name, &problem)) {
      return (name == &route ? "route name \"" : "train number \"") + *name +
             "\" cannot be stored in the compiled files: " + problem;
    }
  }
  return "";
}

std::string output_name_problem(const std::string& route, const std::string& train,
                                const std::vector<NamedOutput>& outputs, const std::vector<std::string>& inputs) {
  for (const std::string& problem : {name_problem("route name", route), name_problem("train number", train)}) {
    if (!problem.empty()) return problem;
  }
  if (route.front() == '.') {
    return "the route name " + shown(route) + " starts with \".\": every file of the scenario would be hidden";
  }
  for (const std::string& problem :
       {windows_name_problem("route name", route), windows_name_problem("train number", train)}) {
    if (!problem.empty()) return problem;
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (outputs[i].path == outputs[j].path) {
        return std::string("the ") + outputs[j].what + " and the " + outputs[i].what + " would both be " +
               shown(outputs[i].path) + " (route name " + shown(route) + ", train number " + shown(train) + ")";
      }
    }
  }
  return outputs_problem(outputs, inputs);
}

std::string outputs_problem(const std::vector<NamedOutput>& outputs, const std::vector<std::string>& inputs) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (outputs[i].path == outputs[j].path) {
        return std::string("the ") + outputs[j].what + " and the " + outputs[i].what + " would both be " +
               shown(outputs[i].path);
      }
    }
  }
  for (const NamedOutput& output : outputs) {
    const std::string_view device = device_name(std::string_view(output.path).substr(output.path.rfind('/') + 1));
    if (!device.empty()) {
      return std::string("the name of the ") + output.what + " " + shown(output.path) + " is the Windows device name " +
             std::string(device) + " (with any extension): on Windows it names the device, not a file";
    }
  }
  for (const NamedOutput& output : outputs) {
    const std::size_t slash = output.path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : output.path.substr(0, slash);
    const std::size_t name_length = output.path.size() - (slash == std::string::npos ? 0 : slash + 1);
    long limit = ::pathconf(dir.c_str(), _PC_NAME_MAX);
    if (limit <= 0) limit = 255;
    if (name_length + kTemporarySuffixLength > static_cast<std::size_t>(limit)) {
      return std::string("the name of the ") + output.what + " " + shown(output.path) + " is " +
             std::to_string(name_length) + " bytes long: with the temporary name's " +
             std::to_string(kTemporarySuffixLength) + "-byte suffix it passes the file system's limit of " +
             std::to_string(limit) + " bytes";
    }
  }
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    struct stat a {};
    if (::stat(inputs[i].c_str(), &a) != 0) continue;
    for (std::size_t j = 0; j < i; ++j) {
      struct stat b {};
      if (::stat(inputs[j].c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino) {
        return "the input files " + shown(inputs[j]) + " and " + shown(inputs[i]) +
               " are the same file: give the line description and the train description";
      }
    }
  }
  for (const std::string& input : inputs) {
    struct stat in {};
    if (::stat(input.c_str(), &in) != 0) continue;
    for (const NamedOutput& output : outputs) {
      struct stat out {};
      if (::stat(output.path.c_str(), &out) != 0) continue;
      if (in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
        return std::string("the ") + output.what + " " + shown(output.path) + " would overwrite the input file " +
               shown(input);
      }
    }
  }
  return "";
}

std::string page_name(const std::string& dir, const std::string& route, const std::string& train) {
  return join_path(dir, route + "_" + train + ".html");
}

}  // namespace sb
