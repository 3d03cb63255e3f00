// scenario-builder: parses the command line and hands over to the run.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "commands/diff.h"
#include "commands/inspect.h"
#include "driver/failures.h"
#include "driver/files.h"
#include "driver/run.h"

namespace {

constexpr const char* kFooter = R"(Exit status:
  0  success
  1  the scenario has errors (each printed on standard error)
  2  misuse of the command line
  3  fatal check: no compiled file was written
  4  a file could not be read or written)";

void print_diagnostics(const sb::RunReport& report) {
  for (const sb::Diagnostic& d : report.diagnostics) std::cerr << sb::format_diagnostic(d) << '\n';
}

// Runs `body`, prints what it recorded and turns the outcome into an exit status.
// The waiting text of the built-in run, shown only on a terminal and wiped
// before anything else is printed.
class WaitingText {
 public:
  explicit WaitingText(bool wanted) : shown_(wanted && ::isatty(STDERR_FILENO) != 0) {
    if (shown_) std::cerr << "Attendere" << std::flush;
  }
  void clear() {
    if (shown_) std::cerr << "\r         \r" << std::flush;
    shown_ = false;
  }

 private:
  bool shown_;
};

template <typename Body>
int report_outcome(Body&& body, bool compile_mode, bool force) {
  sb::RunReport report;
  WaitingText waiting(!compile_mode);
  try {
    body(report);
  } catch (const sb::FatalError& e) {
    waiting.clear();
    print_diagnostics(report);
    if (e.code() == 0) {
      std::cerr << "scenario-builder: no track cells were built; no compiled file was written\n";
    } else {
      std::cerr << " Errore n. " << e.code() << '\n';
    }
    return sb::kExitFatal;
  } catch (const sb::FileSystemError& e) {
    waiting.clear();
    print_diagnostics(report);
    std::cerr << "scenario-builder: " << e.what() << '\n';
    return sb::kExitFileSystem;
  }
  waiting.clear();
  print_diagnostics(report);
  if (report.diagnostics.empty()) return sb::kExitSuccess;
  if (compile_mode && !force) {
    std::cerr << "scenario-builder: " << report.diagnostics.size()
              << (report.diagnostics.size() == 1 ? " error" : " errors")
              << "; no compiled file was written (--force writes them anyway)\n";
  }
  return sb::kExitScenarioErrors;
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit then shows as a write error with a message, not a kill.
  std::signal(SIGXFSZ, SIG_IGN);

  CLI::App app{
      "Builds the scenario of the line ValdraPCal-Dorvesa and train 24317: writes its description\n"
      "files and driver documents, reads the descriptions back and writes the three compiled\n"
      "files the simulator loads. With 'compile', compiles your own description files."};
  app.name("scenario-builder");
  app.set_version_flag("--version", "scenario-builder 1.0.0");
  app.footer(kFooter);

  sb::RunOptions run;
  bool dir_given = false;
  app.add_option_function<std::string>(
         "--dir", [&](const std::string& d) { run.dir = d, dir_given = true; },
         "Write every file into DIR instead of the program's own directory")
      ->type_name("DIR");
  app.add_flag("--keep-sources", run.keep_sources,
               "Leave the two description files in place after reading them");

  sb::CompileOptions compile;
  CLI::App* sub = app.add_subcommand("compile", "Compile your own line and train description files");
  sub->add_option("LINE_FILE", compile.line_file, "Line description file (ROUTE_linea.txt)")->required();
  sub->add_option("TRAIN_FILE", compile.train_file, "Train description file (ROUTE_TRAIN-.txt)")->required();
  sub->add_option("--route", compile.route, "Route name (default: from LINE_FILE's name)")->type_name("NAME");
  sub->add_option("--train", compile.train, "Train number (default: from TRAIN_FILE's name)")
      ->type_name("NUMBER");
  sub->add_option("--out", compile.out_dir, "Directory for the compiled files (default: .)")->type_name("DIR");
  bool no_plan = false;
  sub->add_flag("--no-plan", no_plan, "No line plan: curves are not read and no line plan file is written");
  sub->add_flag("--force", compile.force, "Write the compiled files even when errors were found");
  sub->footer(kFooter);

  sb::InspectOptions inspect;
  CLI::App* inspect_cmd = app.add_subcommand("inspect", "List what compiled files hold, by meaning");
  inspect_cmd->add_option("FILE", inspect.files, "Compiled files (_linea.dat, .sim, .dat)")->required();
  inspect_cmd->add_option("--kind", inspect.kind, "cells, table or plan (default: from each file's name)")
      ->type_name("KIND");
  inspect_cmd->add_flag("--all", inspect.all, "List every cell, every plan metre");
  inspect_cmd->add_flag("--json", inspect.json, "One JSON document instead of the listing");
  inspect_cmd->footer(sb::kInspectFooter);

  sb::DiffOptions diff;
  CLI::App* diff_cmd = app.add_subcommand("diff", "What differs between two compiled scenarios, by meaning");
  diff_cmd->add_option("PATH", diff.paths, "Two directories (with --route, --train), or file pairs OLD NEW")
      ->required();
  diff_cmd->add_option("--route", diff.route, "Route name of both directories")->type_name("NAME");
  diff_cmd->add_option("--train", diff.train, "Train number of both directories")->type_name("NUMBER");
  diff_cmd->footer(sb::kDiffFooter);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? sb::kExitSuccess : sb::kExitUsage;
  }

  if (inspect_cmd->parsed() || diff_cmd->parsed()) {
    if (dir_given || run.keep_sources) {
      std::cerr << "scenario-builder: --dir and --keep-sources belong to the built-in run\n";
      return sb::kExitUsage;
    }
    return inspect_cmd->parsed() ? sb::run_inspect(inspect, std::cout, std::cerr)
                                 : sb::run_diff(diff, std::cout, std::cerr);
  }

  if (sub->parsed()) {
    if (dir_given || run.keep_sources) {
      std::cerr << "scenario-builder: --dir and --keep-sources belong to the built-in run; use --out with "
                   "compile\n";
      return sb::kExitUsage;
    }
    compile.plan = !no_plan;
    std::string problem = sb::derive_names(compile);
    if (!problem.empty()) {
      std::cerr << "scenario-builder: " << problem << '\n';
      return sb::kExitUsage;
    }
    return report_outcome([&](sb::RunReport& r) { sb::compile_files(compile, r); }, true, compile.force);
  }

  return report_outcome(
      [&](sb::RunReport& r) {
        if (!dir_given) run.dir = sb::program_directory();
        sb::run_builtin(run, r);
      },
      false, false);
}
