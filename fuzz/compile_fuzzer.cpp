// libFuzzer target: arbitrary bytes as a line file and a train file (see
// fuzz_input.h for the split), through the whole compile in memory and the
// three compiled files into a sink that only counts. A fatal check is a
// legal outcome; an exception, a sanitizer report, a crash, a timeout or a
// leak is a finding.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/files.h"
#include "builtin/builtin_content.h"
#include "compile/compile.h"
#include "format/layout.h"
#include "format/line_plan_file.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"
#include "fuzz_input.h"

namespace {

// Counts the bytes of a file written at offsets, as the compile writes its
// line plan (both halves side by side).
class CountingPositionedSink : public sb::PositionedSink {
 public:
  void write_at(uint64_t, const char*, std::size_t size) override { count += size; }
  std::atomic<std::size_t> count{0};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  sb::fuzzing::SplitInput split = sb::fuzzing::split_input(std::string_view(reinterpret_cast<const char*>(data), size));
  sb::MemorySource line("line.txt", std::move(split.line));
  sb::MemorySource train("train.txt", std::move(split.train), split.train_exists);
  const sb::Compiled compiled =
      sb::compile_scenario({sb::kBuiltinRoute, sb::kBuiltinTrain, split.build_plan}, {line, train});
  if (compiled.fatal) return 0;
  const sb::Scenario& s = compiled.scenario;
  if (s.build_plan) {
    CountingPositionedSink plan;
    sb::write_line_plan(s.plan, plan);
  }
  sb::CountingSink sink;
  sb::write_scenario_table(sb::table_records(s.table), sink);
  sb::write_track_cells(s.cells, sink);
  return 0;
}
