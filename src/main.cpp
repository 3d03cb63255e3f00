// scenario-builder: parses the command line and calls a command.
#include <csignal>
#include <exception>
#include <iostream>

#include <CLI/CLI.hpp>

#include "commands/commands.h"
#include "commands/diff.h"
#include "commands/inspect.h"
#include "commands/view_command.h"

namespace {

constexpr const char* kFooter = R"(Exit status:
  0  success
  1  the scenario has errors (each printed on standard error)
  2  misuse of the command line
  3  fatal check: no compiled file was written
  4  a file could not be read or written
  5  internal error)";

int parse_and_run(int argc, char** argv) {
  CLI::App app{
      "Builds the scenario of the line ValdraPCal-Dorvesa and train 24317: writes its description\n"
      "files and driver documents, reads the descriptions back and writes the three compiled\n"
      "files the simulator loads. With 'compile', compiles your own description files."};
  app.name("scenario-builder");
  app.set_version_flag("--version", "scenario-builder 1.0.0");
  app.footer(kFooter);

  sb::RunOptions run;
  app.add_option("--dir", run.dir, "Write every file into DIR instead of the program's own directory")
      ->type_name("DIR");
  app.add_flag("--keep-sources", run.keep_sources, "Leave the two description files in place after reading them");

  sb::CompileOptions compile;
  CLI::App* sub = app.add_subcommand("compile", "Compile your own line and train description files");
  sub->add_option("LINE_FILE", compile.line_file, "Line description file (ROUTE_linea.txt)")->required();
  sub->add_option("TRAIN_FILE", compile.train_file, "Train description file (ROUTE_TRAIN-.txt)")->required();
  sub->add_option("--route", compile.route, "Route name (default: from LINE_FILE's name)")->type_name("NAME");
  sub->add_option("--train", compile.train, "Train number (default: from TRAIN_FILE's name)")->type_name("NUMBER");
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

  sb::ViewOptions view;
  CLI::App* view_cmd = app.add_subcommand("view", "Write the scenario's page (HTML): plan, profile, elements, timetable");
  view_cmd->add_option("PATH", view.paths, "LINE_FILE TRAIN_FILE; with --compiled: DIR or compiled files")->required();
  view_cmd->add_flag("--compiled", view.compiled, "Draw the page from compiled files alone");
  view_cmd->add_option("--route", view.route, "Route name (default: from the file names)")->type_name("NAME");
  view_cmd->add_option("--train", view.train, "Train number (default: from the file names)")->type_name("NUMBER");
  view_cmd->add_option("--out", view.out_dir, "Directory for ROUTE_TRAIN.html (default: .)")->type_name("DIR");
  view_cmd->add_option("-o", view.page, "Write the page to PAGE instead")->type_name("PAGE");
  bool view_no_plan = false;
  view_cmd->add_flag("--no-plan", view_no_plan, "No line plan: curves are not read and no map is drawn");
  view_cmd->footer(sb::kViewFooter);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? sb::kExitSuccess : sb::kExitUsage;
  }

  const bool builtin_options = app.count("--dir") > 0 || run.keep_sources;
  if (view_cmd->parsed()) {
    if (builtin_options) {
      std::cerr << "scenario-builder: --dir and --keep-sources belong to the built-in run\n";
      return sb::kExitUsage;
    }
    view.plan = !view_no_plan;
    return sb::run_view(view);
  }
  if (inspect_cmd->parsed() || diff_cmd->parsed()) {
    if (builtin_options) {
      std::cerr << "scenario-builder: --dir and --keep-sources belong to the built-in run\n";
      return sb::kExitUsage;
    }
    return inspect_cmd->parsed() ? sb::run_inspect(inspect, std::cout, std::cerr)
                                 : sb::run_diff(diff, std::cout, std::cerr);
  }
  if (sub->parsed()) {
    if (builtin_options) {
      std::cerr << "scenario-builder: --dir and --keep-sources belong to the built-in run; use --out with "
                   "compile\n";
      return sb::kExitUsage;
    }
    compile.plan = !no_plan;
    const std::string problem = sb::derive_names(compile);
    if (!problem.empty()) {
      std::cerr << "scenario-builder: " << problem << '\n';
      return sb::kExitUsage;
    }
    return sb::compile_files(compile);
  }
  return sb::run_builtin(run);
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit then shows as a write error with a message, not a kill.
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    return parse_and_run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "scenario-builder: internal error: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "scenario-builder: internal error: unknown exception\n";
  }
  return sb::kExitInternal;
}
