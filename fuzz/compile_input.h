// The whole compile of one pair of description files, in memory, the way
// the compile command runs it: reader, recorders, completion, markers and
// check codes, then the three compiled files serialised into a sink that
// only counts bytes. Shared by the fuzz target and the regression tests.
//
// One input holds both files: the line file, the separator "####", one
// mode byte whose lowest bit is the geometry flag, then the train file.
// Without a separator the whole input is the line file and the train file
// is missing. A separator at the very end leaves an empty train file with
// the geometry flag set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compiled/compiled_files.h"
#include "driver/failures.h"
#include "driver/files.h"
#include "driver/run.h"
#include "driver/scenario_records.h"
#include "reader/reader.h"
#include "track/completion.h"

namespace sb::fuzzing {

inline constexpr std::string_view kSeparator = "####";

class CountingSink : public ByteSink {
 public:
  void write(const char* data, std::size_t size) override {
    count += size;
    if (size > 0) last = static_cast<unsigned char>(data[size - 1]);
  }
  std::size_t count = 0;
  unsigned char last = 0;
};

struct SplitInput {
  std::string line;
  std::string train;
  bool train_exists = false;
  int32_t geometry_flag = 1;
};

inline SplitInput split_input(std::string_view input) {
  SplitInput out;
  std::size_t at = input.find(kSeparator);
  if (at == std::string_view::npos) {
    out.line = std::string(input);
    return out;
  }
  out.line = std::string(input.substr(0, at));
  out.train_exists = true;
  std::size_t rest = at + kSeparator.size();
  if (rest < input.size()) {
    out.geometry_flag = static_cast<unsigned char>(input[rest]) & 1;
    out.train = std::string(input.substr(rest + 1));
  }
  return out;
}

// What one compile did; FatalError is a legal outcome, anything else that
// escapes is a fault.
struct CompileOutcome {
  bool fatal = false;
  std::size_t bytes_written = 0;
  std::vector<int32_t> codes;  // every recorded condition, in order
  int32_t error_code = 0;
};

inline CompileOutcome compile_in_memory(std::string_view input) {
  SplitInput split = split_input(input);
  CompileOutcome outcome;
  ScenarioState state;
  state.route_name = kBuiltinRoute;
  state.train_number = kBuiltinTrain;
  MemorySource line("line.txt", std::move(split.line));
  MemorySource train("train.txt", std::move(split.train), split.train_exists);
  try {
    memorizza_percorso(state, split.geometry_flag, {line, train});
  } catch (const FatalError&) {
    outcome.fatal = true;
  }
  for (const Diagnostic& d : state.diagnostics) outcome.codes.push_back(d.code);
  outcome.error_code = state.error_code;
  if (outcome.fatal) return outcome;
  CountingSink sink;
  if (state.geometry_flag != 0) write_line_plan(state.plan_grid, sink);
  write_scenario_table(state.scenario_table, sink);
  write_track_cells(state.track_cells, sink);
  outcome.bytes_written = sink.count;
  return outcome;
}

}  // namespace sb::fuzzing
