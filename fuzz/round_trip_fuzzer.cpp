// libFuzzer target: the round trip. Arbitrary bytes as a line file and a
// train file (fuzz_input.h) are compiled in memory; when the compile would
// write its files (no error, no warning that loses input, no fatal check),
// the compiled set is decompiled and the descriptions compiled again. Any
// byte of the three files that differs, an error of the second compile,
// or a warning of a kind the first compile did not give, is a finding: the
// target aborts, naming the first place. So is a list of differences that
// is not true: one given for a set reproduced, none for a set that is not.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "base/files.h"
#include "builtin/builtin_content.h"
#include "compile/compile.h"
#include "decompile/decompile.h"
#include "format/layout.h"
#include "format/line_plan_file.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"
#include "fuzz_input.h"

namespace {

bool written_by_compile(const sb::Compiled& c) {
  if (c.fatal || c.file_error || c.scenario.diagnostics.has_errors()) return false;
  for (const sb::Diagnostic& d : c.scenario.diagnostics.list()) {
    if (d.lost_input) return false;
  }
  return true;
}

struct Files {
  std::string plan, table, cells;
};

Files files_of(const sb::Scenario& s) {
  sb::StringSink plan, table, cells;
  if (s.build_plan) sb::write_line_plan(s.plan, plan);
  sb::write_scenario_table(sb::table_records(s.table), table);
  sb::write_track_cells(s.cells, cells);
  return {plan.bytes, table.bytes, cells.bytes};
}

[[noreturn]] void finding(const std::string& what, const sb::Decompiled& back) {
  std::fprintf(stderr, "round trip: %s\n", what.c_str());
  for (const sb::SetDifference& d : back.differences) {
    std::fprintf(stderr, "  %s: %s\n", d.place.c_str(), d.message.c_str());
  }
  std::fprintf(stderr, "--- line description\n%s--- train description\n%s", back.line.c_str(), back.train.c_str());
  std::abort();
}

std::size_t first_difference(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  sb::fuzzing::SplitInput split = sb::fuzzing::split_input(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!split.train_exists) return 0;
  const sb::CompileRequest request{std::string(sb::kBuiltinRoute), std::string(sb::kBuiltinTrain), split.build_plan};
  sb::MemorySource line("line.txt", std::move(split.line));
  sb::MemorySource train("train.txt", std::move(split.train));
  const sb::Compiled first = sb::compile_scenario(request, {line, train});
  if (!written_by_compile(first)) return 0;

  const sb::Decompiled back = sb::decompile(sb::compiled_set_of(first.scenario), "line.txt", "train.txt");
  sb::MemorySource line_again("line.txt", back.line);
  sb::MemorySource train_again("train.txt", back.train);
  const sb::Compiled second = sb::compile_scenario(request, {line_again, train_again});
  const bool second_compiled = !second.fatal && !second.file_error && !second.scenario.diagnostics.has_errors();
  const Files want = files_of(first.scenario);
  const Files got = second_compiled ? files_of(second.scenario) : Files{};
  const bool same = second_compiled && want.cells == got.cells && want.table == got.table && want.plan == got.plan;

  // Whatever the set: the decompile says it reproduced the set exactly
  // when it did, and lists a difference when it did not.
  if (back.differences.empty() && !same) finding("the decompile claims a round trip that differs", back);
  if (!back.differences.empty() && same)
    finding("the decompile reports differences the round trip does not have", back);

  // Every set compiled from descriptions is reproduced, those whose
  // records were read out of order included (with the same warnings).
  std::set<std::string> warned;
  for (const sb::Diagnostic& d : first.scenario.diagnostics.list()) warned.insert(d.name);
  if (second.fatal || second.file_error) finding("the decompiled descriptions do not compile", back);
  // No warning the original compile did not give too.
  for (const sb::Diagnostic& d : second.scenario.diagnostics.list()) {
    if (d.severity == sb::Severity::kError || warned.count(d.name) == 0) {
      finding("compiling the decompiled descriptions reports: " + sb::format_diagnostic(d), back);
    }
  }
  if (want.cells != got.cells) {
    finding("cell " + std::to_string(first_difference(want.cells, got.cells) / sb::kCellBytes) + " differs", back);
  }
  if (want.table != got.table) {
    finding("the scenario table differs at byte " + std::to_string(first_difference(want.table, got.table)), back);
  }
  if (want.plan != got.plan) {
    finding("the line plan differs at byte " + std::to_string(first_difference(want.plan, got.plan)), back);
  }
  return 0;
}
