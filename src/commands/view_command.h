// scenario-builder view: the scenario's page (view/page.h), drawn from a
// pair of description files compiled in memory exactly as compile does
// them, or with --compiled from the compiled files alone. The page is
// written even when the scenario has errors, ended in a fatal check or
// a compiled file is damaged: it then shows what there is, and why.
#pragma once

#include <string>
#include <vector>

#include "compile/check.h"
#include "compile/compile.h"
#include "view/page_model.h"
#include "view/page_model_builder.h"

namespace sb {

struct ViewOptions {
  std::vector<std::string> paths;  // LINE TRAIN; --compiled: DIR, or the compiled files
  bool compiled = false;
  std::string route;  // empty: from the file names
  std::string train;
  std::string out_dir = ".";
  std::string page;  // empty: ROUTE_TRAIN.html in out_dir
  bool plan = true;  // false: no curves are read, no plan is drawn
};

inline constexpr const char* kViewFooter = R"(The page goes to ROUTE_TRAIN.html in --out DIR (default: the current
directory), or to -o PAGE; its path is printed.
view --compiled --route NAME --train NUMBER DIR reads DIR/ROUTE_linea.dat,
DIR/ROUTE_TRAIN.sim and DIR/ROUTE_TRAIN.dat (a missing line plan file is a
scenario without a plan); view --compiled FILE... takes the files
themselves, their kinds told by their names.
Exit status:
  0  the page was written; the scenario compiles (warnings, printed on
     standard error, do not fail it unless -Werror)
  1  the page was written and shows errors (each printed on standard error)
     and the build failed, or a compiled file was missing or refused
  2  misuse of the command line
  3  the compile ended in a fatal check; the page was written and shows it
  4  a description file could not be read or the page could not be written)";

int run_view(ViewOptions options);

// Diagnostics as this program prints them under the warning options of the
// command line, for the page (commands/report.h).
const view::DiagnosticPresentation& printed_diagnostics();

// The page of description files compiled as compile does them (`compiled`
// from `inputs`): as compiled, or, with errors or a fatal check, drawn as
// check reads on, every element it could place and every diagnostic.
view::PageModel page_model_of_descriptions(const CheckRequest& inputs, const Compiled& compiled);

}  // namespace sb
