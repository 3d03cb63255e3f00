#include "base/failures.h"
#include "base/files.h"
#include "builtin/builtin_content.h"
#include "builtin/documents.h"
#include "commands/commands.h"
#include "commands/output_names.h"
#include "commands/report.h"
#include "compile/compile.h"
#include "format/compiled_files.h"
#include "model/scenario_files.h"
#include "text/text_writer.h"

namespace sb {
namespace {

// A description file of the built-in run. The reader reads it from memory;
// staged with the run's outputs, it is a file the run writes, or, once the
// reader has removed it and the sources are not kept, one it deletes (an
// earlier run may have left it).
class StagedDescription : public DescriptionSource {
 public:
  StagedDescription(std::string path, std::string bytes, bool removable)
      : path_(std::move(path)), bytes_(std::move(bytes)), removable_(removable) {}
  const std::string* load() override { return &bytes_; }
  const std::string& bytes() const { return bytes_; }
  void remove() override { removed_ = removable_; }
  const std::string& name() const override { return path_; }

  void stage(OutputSet& outputs) const {
    if (removed_) {
      outputs.remove(path_);
    } else {
      outputs.add(path_, bytes_);
    }
  }

 private:
  std::string path_;
  std::string bytes_;
  bool removable_;
  bool removed_ = false;
};

}  // namespace

// Every file of the run is staged in one output set and replaced with it at
// the end: a run that fails (a fatal check, a file error) changes nothing.
int run_builtin(const RunOptions& options) {
  WaitingText waiting(true);
  try {
    const std::string dir = options.dir.empty() ? program_directory() : options.dir;
    const ScenarioFiles files{dir, kBuiltinRoute, kBuiltinTrain};
    const std::string problem = output_name_problem(files.route, files.train, builtin_outputs(files), {});
    if (!problem.empty()) {
      waiting.clear();
      print_error(problem);
      return kExitUsage;
    }
    check_output_directory(dir);

    const bool delete_sources = !options.keep_sources;
    StagedDescription line(files.line_description(), text_file_bytes(builtin_line_lines()), delete_sources);
    StagedDescription train(files.train_description(), text_file_bytes(builtin_train_lines()), delete_sources);
    if (!options.force) {
      for (const StagedDescription* description : {&line, &train}) {
        std::string existing;
        if (read_file(description->name(), existing) && existing != description->bytes()) {
          waiting.clear();
          print_error(description->name() +
                      " differs from the built-in text (an edited copy?): the built-in run would replace it; "
                      "move it away, or give --force to replace it");
          return kExitUsage;
        }
      }
    }
    const Compiled compiled = compile_scenario({kBuiltinRoute, kBuiltinTrain, true}, {line, train});
    waiting.clear();
    print_diagnostics(compiled.scenario.diagnostics);
    if (compiled.file_error) {
      print_error(*compiled.file_error);
      return kExitFileSystem;
    }
    if (compiled.fatal) {
      print_fatal(*compiled.fatal);
      return kExitFatal;
    }
    OutputSet outputs;
    line.stage(outputs);
    train.stage(outputs);
    outputs.add(files.notes(), text_file_bytes(notes_lines()));
    outputs.add(files.slowdown_order(), text_file_bytes(slowdown_order_lines()));
    outputs.add(files.timetable_card(), text_file_bytes(timetable_card_lines()));
    stage_compiled_files(compiled.scenario, files, outputs);
    outputs.commit();
    return !compiled.scenario.diagnostics.has_errors() ? kExitSuccess : kExitScenarioErrors;
  } catch (const FileSystemError& e) {
    waiting.clear();
    print_error(e.what());
    return kExitFileSystem;
  }
}

}  // namespace sb
