// Every condition the program reports by a code or a name, in one table:
// what it means, a small example that raises it, and how to fix it. The
// table feeds `explain`, the rules of the SARIF log, the names of the
// machine-readable output and the manual's table of codes, so that they
// cannot say different things.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sb {

enum class CodeKind {
  kError,      // a code the reader, a recorder or the completion records
  kFatal,      // a check before the compiled files are written
  kWarning,    // a warning, turned off by -Wno-NAME
  kRootCause,  // the mistake behind many diagnostics, said by check
};

struct CodeRow {
  std::string_view id;  // as printed in brackets: "E16", "-Wtab", "no-track-cells", "root-cause"
  CodeKind kind;
  int32_t code;           // errors and fatal checks: the number; 0 otherwise
  std::string_view name;  // the short name of machine-readable output
  std::string_view meaning;
  // The example: records added to a small line and train description
  // (below), or, when one starts with "[generale]", that whole file;
  // "(missing)" for a file that does not exist. A line
  // "@repeat N STEP RECORD" stands for RECORD N times, its first value
  // (a position) growing by STEP each time.
  std::string_view line_example;
  std::string_view train_example;
  std::string_view fix;
};

const std::vector<CodeRow>& code_table();

// The row of "E16", "16", "-Wtab", "tab", "-Werror=tab", "no-track-cells"...
const CodeRow* find_code_row(std::string_view id);
const CodeRow* error_row(int32_t code);
const CodeRow* warning_row(std::string_view name);

// The two description files of a row's example, with its @repeat lines
// written out; nullopt for a file that does not exist.
struct ExampleFiles {
  std::optional<std::string> line;
  std::optional<std::string> train;
};
ExampleFiles example_files(const CodeRow& row);

// What `explain ID` prints.
std::string explanation(const CodeRow& row);
// The Markdown table of every row, as the manual holds it.
std::string code_table_markdown();

}  // namespace sb
