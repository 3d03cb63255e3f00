// scenario-builder: parses the command line and calls a command.
#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "commands/commands.h"
#include "commands/diff.h"
#include "commands/inspect.h"
#include "commands/lsp_command.h"
#include "commands/recover.h"
#include "commands/view_command.h"
#include "commands/watch_command.h"
#include "commands/decompile_command.h"
#include "base/files.h"
#include "base/interrupts.h"
#include "base/standard_output.h"
#include "base/terminal_text.h"
#include "commands/report.h"
#include "reader/warning_watch.h"

namespace {

constexpr const char* kFooter = R"(Exit status:
  0  success
  1  the scenario has errors (each printed on standard error)
  2  misuse of the command line
  3  fatal check: no compiled file was written
  4  a file could not be read or written
  5  internal error
  130, 143  interrupted by SIGINT or SIGTERM: temporary files removed)";

constexpr const char* kDocumentsFooter = R"(The documents go to --out DIR (default: the current directory), replaced as
one set: ROUTE_TRAIN_scheda_treno.txt (timetable card), ROUTE_TRAIN_rallentamenti.txt
(slowdown order) and, with --notes, ROUTE_TRAIN_note.txt; Windows-1252, CR LF.
The description files are compiled as compile does them: with errors nothing
is written unless --force. compile --documents writes them with the compiled
files.)";

std::string warning_help() {
  std::string help =
      "Warnings (compile and check): -Wno-NAME turns warning NAME off, -Werror makes\n"
      "any warning fail the compile, -w silences all warnings. A warning that means\n"
      "input was lost or misplaced (a misspelt keyword, a negative length, values\n"
      "cut off by a comma, gradients out of order, ...) fails the compile as an\n"
      "error unless -Wno-error=NAME. -Wmarks-overwritten shows what the ordinary\n"
      "layout sets off, and is off unless asked for. The warnings:";
  std::size_t width = 80;
  for (std::string_view name : sb::warning_names()) {
    if (width + name.size() + 1 > 78) {
      help += "\n ";
      width = 1;
    }
    help += ' ';
    help += name;
    width += name.size() + 1;
  }
  return help;
}

// Takes the warning options (-w, -Werror, -Wno-NAME) out of the arguments,
// since the option parser knows no options of that form. Returns an
// explanation when one names no warning.
std::string take_warning_options(std::vector<std::string>& args, sb::ReportOptions& report) {
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (i == 0 || a.size() < 2 || a[0] != '-' || a[1] != 'W') {
      if (i > 0 && a == "-w") {
        report.no_warnings = true;
        continue;
      }
      rest.push_back(a);
      continue;
    }
    if (a == "-Werror") {
      report.warnings_are_errors = true;
      continue;
    }
    const bool not_error = a.rfind("-Wno-error=", 0) == 0;
    const bool off = !not_error && a.rfind("-Wno-", 0) == 0;
    const std::string name = a.substr(not_error ? 11 : off ? 5 : 2);
    bool known = false;
    for (std::string_view w : sb::warning_names()) known = known || w == name;
    if (!known) {
      std::string list;
      for (std::string_view w : sb::warning_names()) list += (list.empty() ? "" : ", ") + std::string(w);
      return "unknown warning option " + a + "; the warnings are: " + list;
    }
    if (not_error) {
      report.not_errors.insert(name);
    } else if (off) {
      report.disabled.insert(name);
    } else {
      report.disabled.erase(name);
      report.enabled.insert(name);
    }
  }
  args = std::move(rest);
  return "";
}

// A file name that starts with "-" reads as an option.
std::string leading_dash_hint(const std::vector<std::string>& args) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2 || a[0] != '-' || a.rfind("--", 0) == 0) continue;
    if (a.find('.') != std::string::npos || a.find('/') != std::string::npos) {
      return "hint: a file name that starts with \"-\" reads as an option: write ./" + a +
             " (or put -- after the options, before the file names)";
    }
  }
  return "";
}

// A hint for an option given where it does not belong.
// The --diagnostics-format the command line asks for, "" when none: the
// last one given, as the option parsing takes it.
std::string diagnostics_format_of(const std::vector<std::string>& args) {
  const std::string option = "--diagnostics-format";
  std::string format;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--") break;
    if (args[i] == option && i + 1 < args.size()) {
      format = args[++i];
    } else if (args[i].starts_with(option + "=")) {
      format = args[i].substr(option.size() + 1);
    }
  }
  return format;
}

std::string parse_hint(const std::vector<std::string>& args) {
  const std::string dash = leading_dash_hint(args);
  if (!dash.empty()) return dash;
  bool command = false;
  for (const std::string& a : args)
    command = command || a == "compile" || a == "check" || a == "inspect" || a == "diff" || a == "watch" ||
              a == "decompile" || a == "documents";
  if (command) return "";
  for (const std::string& a : args) {
    const std::string name = a.substr(0, a.find('='));
    for (const char* option : {"--out", "--route", "--train", "--no-plan"}) {
      if (name == option) {
        return "hint: " + name + " belongs to 'compile': scenario-builder compile LINE_FILE TRAIN_FILE " + name +
               (name == "--no-plan" ? "" : " VALUE");
      }
    }
    if (name == "--max-errors")
      return "hint: --max-errors belongs to 'check': scenario-builder check LINE_FILE TRAIN_FILE --max-errors N";
  }
  return "";
}

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
  app.add_flag("--force", run.force, "Replace description files in DIR that differ from the built-in text");
  bool no_wait = false;

  sb::CompileOptions compile;
  CLI::App* sub = app.add_subcommand("compile", "Compile your own line and train description files");
  sub->add_option("LINE_FILE", compile.line_file, "Line description file (ROUTE_linea.txt)")->required();
  std::vector<std::string> compile_trains;
  sub->add_option("TRAIN_FILE", compile_trains, "Train description files (ROUTE_TRAIN-.txt), one set for all")
      ->required();
  sub->add_option("--route", compile.route, "Route name (default: from LINE_FILE's name)")->type_name("NAME");
  sub->add_option("--train", compile.train, "Train number (default: from TRAIN_FILE's name)")->type_name("NUMBER");
  sub->add_option("--out", compile.out_dir, "Directory for the compiled files (default: .)")->type_name("DIR");
  bool no_plan = false;
  sub->add_flag("--no-plan", no_plan, "No line plan: curves are not read and no line plan file is written");
  sub->add_flag("--force", compile.force, "Write the compiled files even when errors were found");
  sub->footer(kFooter);
  CLI::Option* with_documents =
      sub->add_flag("--documents", compile.documents.wanted,
                    "Also write the driver documents: timetable card and slowdown order (see 'documents')");

  // The driver documents alone: compiled as compile does, written instead
  // of the compiled files.
  sb::CompileOptions documents;
  documents.compiled_files = false;
  documents.documents.wanted = true;
  CLI::App* documents_cmd = app.add_subcommand(
      "documents", "Write the driver documents of your scenario: timetable card, slowdown order, notes");
  documents_cmd->add_option("LINE_FILE", documents.line_file, "Line description file (ROUTE_linea.txt)")->required();
  documents_cmd->add_option("TRAIN_FILE", documents.train_file, "Train description file (ROUTE_TRAIN-.txt)")
      ->required();
  documents_cmd->add_option("--route", documents.route, "Route name (default: from LINE_FILE's name)")
      ->type_name("NAME");
  documents_cmd->add_option("--train", documents.train, "Train number (default: from TRAIN_FILE's name)")
      ->type_name("NUMBER");
  documents_cmd->add_option("--out", documents.out_dir, "Directory for the documents (default: .)")->type_name("DIR");
  bool documents_no_plan = false;
  documents_cmd->add_flag("--no-plan", documents_no_plan, "Read as compile --no-plan does: curves are not read");
  documents_cmd->add_flag("--force", documents.force, "Write the documents even when errors were found");
  // The options of the driver documents; on compile and watch they need
  // --documents.
  auto add_document_options = [](CLI::App* command, sb::DocumentRequest& request, CLI::Option* needed) {
    CLI::Option* options[] = {
        command
            ->add_option("--classification", request.classification,
                         "The card's CLASSIFICAZIONE box, e.g. REG (default: blank)")
            ->type_name("TEXT"),
        command
            ->add_option("--blocked-mass", request.blocked_mass,
                         "The card's MASSA BLOCCATA box, e.g. 530T (default: blank)")
            ->type_name("TEXT"),
        command
            ->add_option("--line-name", request.line_name,
                         "The slowdown order's line (default: first and last station joined by -)")
            ->type_name("TEXT"),
        command
            ->add_option("--notes", request.notes_file, "Write ROUTE_TRAIN_note.txt from FILE (UTF-8 or Windows-1252)")
            ->type_name("FILE"),
    };
    if (needed != nullptr) {
      for (CLI::Option* o : options) o->needs(needed);
    }
  };
  add_document_options(sub, compile.documents, with_documents);
  add_document_options(documents_cmd, documents.documents, nullptr);

  sb::CheckOptions check;
  CLI::App* check_cmd =
      app.add_subcommand("check", "Report every problem of your description files in one go; writes nothing");
  check_cmd->add_option("LINE_FILE", check.line_file, "Line description file")->required();
  std::vector<std::string> check_trains;
  check_cmd->add_option("TRAIN_FILE", check_trains, "Train description files")->required();
  check_cmd->add_option("--route", check.route, "Route name (default: from LINE_FILE's name)")->type_name("NAME");
  check_cmd->add_option("--train", check.train, "Train number (default: from TRAIN_FILE's name)")->type_name("NUMBER");
  bool check_no_plan = false;
  check_cmd->add_flag("--no-plan", check_no_plan, "Check as compile --no-plan reads: curves are not read");
  check_cmd->add_option("--max-errors", check.max_errors, "Stop after N errors (default: 50)")
      ->type_name("N")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1000000}));
  // Past the limits diagnostics are counted, not kept: memory stays bounded.
  sb::DiagnosticLimits limits;
  for (CLI::App* a : {sub, documents_cmd}) {
    a->add_option("--max-errors", limits.errors, "List at most N errors; count the rest (default: 50)")
        ->type_name("N")
        ->check(CLI::Range(std::size_t{1}, std::size_t{1000000}));
  }
  for (CLI::App* a : {sub, documents_cmd, check_cmd}) {
    a->add_option("--max-warnings", limits.warnings, "List at most N warnings; count the rest (default: 1000)")
        ->type_name("N")
        ->check(CLI::Range(std::size_t{0}, std::size_t{1000000}));
  }
  check_cmd->add_flag("--all-diagnostics", check.all_diagnostics,
                      "List the diagnostics a root cause explains too, not only their count");
  check_cmd->footer(std::string(kFooter) + "\n\n" + warning_help());
  sub->footer(std::string(kFooter) + "\n\n" + warning_help());
  documents_cmd->footer(std::string(kDocumentsFooter) + "\n" + kFooter + "\n\n" + warning_help());

  sb::DecompileOptions decompile;
  CLI::App* decompile_cmd =
      app.add_subcommand("decompile", "Write description files that compile to the bytes of compiled files");
  decompile_cmd->add_option("PATH", decompile.paths, "DIR (with --route and --train), or compiled files")->required();
  decompile_cmd->add_option("--route", decompile.route, "Route name (default: from the file names)")->type_name("NAME");
  decompile_cmd->add_option("--train", decompile.train, "Train number (default: from the file names)")
      ->type_name("NUMBER");
  decompile_cmd->add_option("--out", decompile.out_dir, "Directory for the description files (default: .)")
      ->type_name("DIR");
  decompile_cmd->add_flag("--force", decompile.force, "Replace description files already in the directory");
  decompile_cmd->footer(sb::kDecompileFooter);

  std::string diagnostics_format = "text";
  for (CLI::App* a : {&app, sub, check_cmd, decompile_cmd, documents_cmd}) {
    a->add_option("--diagnostics-format", diagnostics_format,
                  "text (default), json (one JSON array) or sarif (one SARIF 2.1.0 log) on standard error")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"text", "json", "sarif"}));
  }

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
  CLI::App* view_cmd =
      app.add_subcommand("view", "Write the scenario's page (HTML): plan, profile, elements, timetable");
  view_cmd->add_option("PATH", view.paths, "LINE_FILE TRAIN_FILE; with --compiled: DIR or compiled files")->required();
  view_cmd->add_flag("--compiled", view.compiled, "Draw the page from compiled files alone");
  view_cmd->add_option("--route", view.route, "Route name (default: from the file names)")->type_name("NAME");
  view_cmd->add_option("--train", view.train, "Train number (default: from the file names)")->type_name("NUMBER");
  view_cmd->add_option("--out", view.out_dir, "Directory for ROUTE_TRAIN.html (default: .)")->type_name("DIR");
  view_cmd->add_option("-o", view.page, "Write the page to PAGE instead")->type_name("PAGE");
  bool view_no_plan = false;
  view_cmd->add_flag("--no-plan", view_no_plan, "No line plan: curves are not read and no map is drawn");
  view_cmd->footer(sb::kViewFooter);

  sb::WatchOptions watch;
  CLI::App* watch_cmd =
      app.add_subcommand("watch", "Compile, write the page, and do it again on every change of the description files");
  watch_cmd->add_option("LINE_FILE", watch.compile.line_file, "Line description file")->required();
  std::vector<std::string> watch_trains;
  watch_cmd->add_option("TRAIN_FILE", watch_trains, "Train description files")->required();
  watch_cmd->add_option("--route", watch.compile.route, "Route name (default: from LINE_FILE's name)")
      ->type_name("NAME");
  watch_cmd->add_option("--train", watch.compile.train, "Train number (default: from TRAIN_FILE's name)")
      ->type_name("NUMBER");
  watch_cmd->add_option("--out", watch.compile.out_dir, "Directory for the compiled files and the page (default: .)")
      ->type_name("DIR");
  watch_cmd->add_option("-o", watch.page, "Write the page to PAGE instead")->type_name("PAGE");
  watch_cmd->add_option("--serve", watch.serve, "Serve the page at http://[ADDRESS:]PORT/ (127.0.0.1 unless given)")
      ->type_name("[ADDRESS:]PORT");
  bool watch_no_plan = false;
  watch_cmd->add_flag("--no-plan", watch_no_plan, "No line plan: curves are not read and no line plan file is written");
  add_document_options(watch_cmd, watch.compile.documents,
                       watch_cmd->add_flag("--documents", watch.compile.documents.wanted,
                                           "Also write the driver documents at every build (see 'documents')"));
  watch_cmd->footer(std::string(sb::kWatchFooter) + "\n\n" + warning_help());

  std::string recover_dir;
  CLI::App* recover_cmd =
      app.add_subcommand("recover", "Finish the replacement of files that a killed run left unfinished in DIR");
  recover_cmd->add_option("DIR", recover_dir, "The directory the killed run wrote into")->required();

  CLI::App* lsp_cmd =
      app.add_subcommand("lsp", "Language server for editors: diagnostics, hover, completion as you type");
  lsp_cmd->footer(sb::kLspFooter);

  for (CLI::App* a : {&app, sub, view_cmd, recover_cmd, decompile_cmd, documents_cmd}) {
    a->add_flag("--no-wait", no_wait,
                "Fail (status 4) instead of waiting when another run writes into the same directory");
  }

  // explain takes warning names (-Wtab) as its operands, which the option
  // parsing below would take for options.
  app.add_subcommand("explain", "What an error code or warning means, an example, and the fix (explain E16)")
      ->allow_extras();
  std::vector<std::string> args(argv, argv + argc);
  if (args.size() >= 2 && args[1] == "explain") return sb::run_explain({args.begin() + 2, args.end()});
  sb::ReportOptions report;
  // A usage error is part of the JSON or SARIF document too, so the format
  // is known before the options are parsed.
  const std::string early_format = diagnostics_format_of(args);
  report.json = early_format == "json" || early_format == "sarif";
  report.sarif = early_format == "sarif";
  sb::set_report_options(report);
  const std::string warning_problem = take_warning_options(args, report);
  if (!warning_problem.empty()) {
    sb::print_error(warning_problem);
    return sb::kExitUsage;
  }
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend() - 1);
    app.parse(std::move(reversed));
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e) == 0 ? sb::kExitSuccess : sb::kExitUsage;
    const std::string hint = parse_hint(args);
    if (report.json) {
      sb::print_error(e.what() + (hint.empty() ? std::string() : "; " + hint));
      return sb::kExitUsage;
    }
    std::cerr << "scenario-builder: error: " << e.what() << '\n';
    if (!hint.empty()) std::cerr << "scenario-builder: " << hint << '\n';
    std::cerr << "Run with --help for more information.\n";
    return sb::kExitUsage;
  }
  report.json = diagnostics_format == "json" || diagnostics_format == "sarif";
  report.sarif = diagnostics_format == "sarif";
  sb::set_report_options(report);
  if (check_cmd->parsed()) limits.errors = check.max_errors;
  sb::set_diagnostic_limits(limits);
  sb::set_output_set_settings({!no_wait, [](const std::string& text) { sb::print_summary(text); }});
  if (recover_cmd->parsed()) return sb::run_recover(recover_dir);
  if (lsp_cmd->parsed()) return sb::run_language_server();

  const bool builtin_options = app.count("--dir") > 0 || run.keep_sources || run.force;
  if (view_cmd->parsed()) {
    if (builtin_options) {
      sb::print_error("--dir, --keep-sources and a --force before the command belong to the built-in run");
      return sb::kExitUsage;
    }
    view.plan = !view_no_plan;
    return sb::run_view(view);
  }
  if (decompile_cmd->parsed()) {
    if (builtin_options) {
      sb::print_error("--dir, --keep-sources and a --force before the command belong to the built-in run");
      return sb::kExitUsage;
    }
    return sb::run_decompile(decompile);
  }
  if (inspect_cmd->parsed() || diff_cmd->parsed()) {
    if (builtin_options) {
      sb::print_error("--dir, --keep-sources and a --force before the command belong to the built-in run");
      return sb::kExitUsage;
    }
    return inspect_cmd->parsed() ? sb::run_inspect(inspect, std::cout, std::cerr)
                                 : sb::run_diff(diff, std::cout, std::cerr);
  }
  if (sub->parsed()) {
    if (builtin_options) {
      sb::print_error(
          "--dir, --keep-sources and a --force before the command belong to the built-in run; use --out with compile");
      return sb::kExitUsage;
    }
    compile.plan = !no_plan;
    compile.train_file = compile_trains.front();
    compile.more_train_files.assign(compile_trains.begin() + 1, compile_trains.end());
    if (!compile.more_train_files.empty() && !compile.train.empty()) {
      sb::print_error("--train names one train: give it with one TRAIN_FILE only");
      return sb::kExitUsage;
    }
    const std::string problem = sb::derive_names(compile);
    if (!problem.empty()) {
      sb::print_error(problem);
      return sb::kExitUsage;
    }
    return sb::compile_files(compile);
  }
  if (documents_cmd->parsed()) {
    if (builtin_options) {
      sb::print_error(
          "--dir, --keep-sources and a --force before the command belong to the built-in run; use --out "
          "with documents");
      return sb::kExitUsage;
    }
    documents.plan = !documents_no_plan;
    const std::string problem = sb::derive_names(documents);
    if (!problem.empty()) {
      sb::print_error(problem);
      return sb::kExitUsage;
    }
    return sb::compile_files(documents);
  }
  if (watch_cmd->parsed()) {
    if (builtin_options || report.json) {
      sb::print_error("watch prints text diagnostics and takes no option of the built-in run");
      return sb::kExitUsage;
    }
    watch.compile.plan = !watch_no_plan;
    watch.compile.train_file = watch_trains.front();
    watch.compile.more_train_files.assign(watch_trains.begin() + 1, watch_trains.end());
    if (!watch.compile.more_train_files.empty() && !watch.compile.train.empty()) {
      sb::print_error("--train names one train: give it with one TRAIN_FILE only");
      return sb::kExitUsage;
    }
    const std::string problem = sb::derive_names(watch.compile);
    if (!problem.empty()) {
      sb::print_error(problem);
      return sb::kExitUsage;
    }
    return sb::run_watch(watch);
  }
  if (check_cmd->parsed()) {
    if (builtin_options) {
      sb::print_error("--dir, --keep-sources and a --force before the command belong to the built-in run");
      return sb::kExitUsage;
    }
    check.plan = !check_no_plan;
    check.train_file = check_trains.front();
    check.more_train_files.assign(check_trains.begin() + 1, check_trains.end());
    return sb::check_files(check);
  }
  return sb::run_builtin(run);
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit then shows as a write error with a message, not a kill.
  std::signal(SIGXFSZ, SIG_IGN);
  sb::install_interrupt_handlers();
  // Names and texts from files are shown, never obeyed, by the terminal.
  const sb::TerminalSafeOutput standard_error(std::cerr);
  sb::CheckedStandardOutput standard_output;
  try {
    int status = parse_and_run(argc, argv);
    sb::finish_report();
    const std::string output_problem = standard_output.finish();
    if (!output_problem.empty()) {
      std::cerr << "scenario-builder: error: " << output_problem << '\n';
      status = sb::kExitFileSystem;
    }
    return status;
  } catch (const std::bad_alloc&) {
    std::cerr << "scenario-builder: error: out of memory: the input is larger than this machine can hold\n";
    return sb::kExitFileSystem;
  } catch (const std::exception& e) {
    std::cerr << "scenario-builder: internal error: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "scenario-builder: internal error: unknown exception\n";
  }
  return sb::kExitInternal;
}
