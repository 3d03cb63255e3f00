#include "commands/decompile_command.h"

#include <future>
#include <thread>
#include <iostream>

#include "base/encoding.h"
#include "base/failures.h"
#include "base/files.h"
#include "base/thread_placement.h"
#include "commands/commands.h"
#include "commands/compiled_inputs.h"
#include "commands/output_names.h"
#include "commands/recover.h"
#include "commands/report.h"
#include "decompile/decompile.h"
#include "format/plan_stream.h"
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

// The line plan, held in memory and checked, its curves found from a few
// metres and the plan they give compared with it, on a thread of its own
// while the cells and the table are read and the train description worked
// out from them.
struct PlanRead {
  std::shared_ptr<const LinePlanStream> plan;
  std::optional<SampledPlan> sampled;
};
// The path of the plan to read, "" where there is none.
std::string plan_path(const CompiledInputs& inputs) {
  const auto plan = inputs.files.find(CompiledKind::kPlan);
  if (plan == inputs.files.end()) return "";
  if (inputs.plan_optional && !file_exists(plan->second)) return "";
  return plan->second;
}

// On a processor of its own: left to the scheduler, a new thread often
// waits beside the one that started it until that one is done. The plan
// and its sampled curves are handed over first; the comparison of the
// curves' plan with the file goes on meanwhile.
class PlanReading {
 public:
  explicit PlanReading(const std::string& path) {
    read_ = read_promise_.get_future();
    const cpu_set_t processors = processors_of_this_thread();
    thread_ = std::thread([this, path, processors] {
      // Once running apart, any processor will do: the comparison it
      // starts runs on both.
      run_on_processors(processors);
      run(path);
    });
    placement_.emplace(thread_);
  }
  ~PlanReading() {
    if (thread_.joinable()) thread_.join();
  }
  PlanReading(const PlanReading&) = delete;
  PlanReading& operator=(const PlanReading&) = delete;

  // What the thread read; throws what it threw.
  PlanRead get() { return read_.get(); }

 private:
  void run(const std::string& path) {
    PlanRead read;
    std::optional<SampledPlan> sampled;
    try {
      read.plan = std::make_shared<LinePlanStream>(plan_bytes_held(path));
      sampled = sample_plan_curves(*read.plan);
      if (sampled) {
        sampled->matches = matches_.get_future().share();
        read.sampled = sampled;
      }
    } catch (...) {
      read_promise_.set_exception(std::current_exception());
      return;
    }
    const std::shared_ptr<const LinePlanStream> plan = read.plan;
    read_promise_.set_value(std::move(read));
    if (!sampled) return;
    try {
      matches_.set_value(sampled_plan_matches(*sampled, *plan));
    } catch (...) {
      matches_.set_exception(std::current_exception());
    }
  }

  std::promise<PlanRead> read_promise_;
  std::future<PlanRead> read_;
  std::promise<bool> matches_;
  std::thread thread_;
  std::optional<SeparateProcessors> placement_;
};

// Reads the cells and the table into `set`; a damaged file is reported.
// False when one was.
bool load_cells_and_table(const CompiledInputs& inputs, CompiledSet& set) {
  bool damaged = false;
  for (const auto& [kind, path] : inputs.files) {
    if (kind == CompiledKind::kPlan) continue;
    try {
      CompiledFile f = load_compiled(path, kind);
      if (kind == CompiledKind::kCells) set.cells = std::move(f.cells);
      if (kind == CompiledKind::kTable) set.table = f.table;
    } catch (const DecodeError& e) {
      print_compiled_file_error(path, "offset " + std::to_string(e.offset()), "damaged-file", e.what());
      damaged = true;
    }
  }
  return !damaged;
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
    if (const std::string problem = stored_names_problem(o.route, o.train); !problem.empty()) {
      print_error(problem);
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
    // Said before the work is done, and made sure of under the directory's
    // lock before anything is replaced: another decompile may have written
    // the files meanwhile.
    const auto description_there = [&] {
      if (o.force) return false;
      for (const NamedOutput& out : outputs) {
        if (file_exists(out.path)) {
          print_error(out.path + " is already there: decompile does not replace a description file unless --force");
          return true;
        }
      }
      return false;
    };
    if (description_there()) return kExitUsage;
    if (const std::string unfinished = unfinished_commit_problem(inputs_named); !unfinished.empty()) {
      print_error(unfinished);
      return kExitScenarioErrors;
    }
    // The line plan is mapped while it is read, and nothing is written
    // before the reading is done.
    end_run_when_a_mapped_file_is_cut_short(
        "scenario-builder: error: the line plan file was cut short while it was read (another program wrote "
        "it); nothing was written\n",
        kExitFileSystem);
    std::optional<PlanReading> plan_reading;
    if (const std::string path = plan_path(inputs); !path.empty()) plan_reading.emplace(path);
    CompiledSet set;
    for (CompiledKind kind : {CompiledKind::kPlan, CompiledKind::kTable, CompiledKind::kCells}) {
      const auto named = inputs.files.find(kind);
      if (named != inputs.files.end()) set.sources.push_back(named->second);
    }
    set.route_name = utf8_to_1252(o.route).value_or("");
    set.train_number = utf8_to_1252(o.train).value_or("");
    const bool cells_and_table_read = load_cells_and_table(inputs, set);
    const std::string disagreement =
        cells_and_table_read ? cells_table_disagreement(inputs.files.at(CompiledKind::kCells), set.cells.size(),
                                                        inputs.files.at(CompiledKind::kTable), set.table)
                             : std::string();
    std::string train_description;
    if (cells_and_table_read && disagreement.empty()) {
      train_description = decompile_train(set, outputs[0].path, outputs[1].path);
    }
    bool plan_read = true;
    if (plan_reading) {
      try {
        PlanRead read = plan_reading->get();
        set.plan = std::move(read.plan);
        set.sampled = std::move(read.sampled);
      } catch (const DecodeError& e) {
        print_compiled_file_error(inputs.files.at(CompiledKind::kPlan), "offset " + std::to_string(e.offset()),
                                  "damaged-file", e.what());
        plan_read = false;
      }
    }
    if (!cells_and_table_read || !plan_read) return kExitScenarioErrors;
    if (!disagreement.empty()) {
      std::cerr << disagreement << '\n';
      return kExitScenarioErrors;
    }

    const Decompiled result = decompile(set, outputs[0].path, outputs[1].path, std::move(train_description));
    OutputSet written;
    // The first output takes the lock of the directory both are in.
    written.add(outputs[0].path, result.line);
    if (description_there()) return kExitUsage;
    written.add(outputs[1].path, result.train);
    written.commit();
    for (const NamedOutput& out : outputs) std::cout << out.path << '\n';
    print_diagnostics(result.diagnostics);
    if (!plan_reading) {
      print_summary("note: no line plan file was read, so the curves could not be recovered: " + outputs[0].path +
                    " has none; give the set's line plan file to recover them");
    }
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
