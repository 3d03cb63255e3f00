#include "base/failures.h"
#include "base/files.h"
#include "builtin/builtin_content.h"
#include "builtin/documents.h"
#include "commands/commands.h"
#include "commands/report.h"
#include "compile/compile.h"
#include "format/compiled_files.h"
#include "model/scenario_files.h"

namespace sb {

int run_builtin(const RunOptions& options) {
  WaitingText waiting(true);
  try {
    const std::string dir = options.dir.empty() ? program_directory() : options.dir;
    check_output_directory(dir);
    const ScenarioFiles files{dir, kBuiltinRoute, kBuiltinTrain};

    write_line_description(files);
    write_train_description(files);
    write_notes(files);
    write_slowdown_order(files);
    write_timetable_card(files);

    const bool delete_sources = !options.keep_sources;
    FileSource line(files.line_description(), files.line_description(), delete_sources);
    FileSource train(files.train_description(), files.train_description(), delete_sources);
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
    write_compiled_files(compiled.scenario, files);
    return compiled.scenario.diagnostics.empty() ? kExitSuccess : kExitScenarioErrors;
  } catch (const FileSystemError& e) {
    waiting.clear();
    print_error(e.what());
    return kExitFileSystem;
  }
}

}  // namespace sb
