// The compile's stages, in process, on the generated 1000 km route held in
// memory: field reading, read_descriptions (reading, recording, plan
// integration), the track cell completion, and the serialisation of each
// compiled file into a sink that discards the bytes.
#include <benchmark/benchmark.h>

#include <string>

#include "base/files.h"
#include "compile/compile.h"
#include "format/layout.h"
#include "format/line_plan_file.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"
#include "line_generator.h"
#include "model/scenario.h"
#include "reader/read_descriptions.h"
#include "text/field_reader.h"
#include "track/completion.h"

namespace {

constexpr int kKm = 1000;
constexpr uint32_t kSeed = 1;

const sb::bench::GeneratedScenario& scenario() {
  static const sb::bench::GeneratedScenario s = sb::bench::generate_scenario(kKm, kSeed);
  return s;
}

// Counts what it is given and keeps nothing.
class DiscardSink : public sb::ByteSink {
 public:
  void write(const char* data, std::size_t size) override {
    benchmark::DoNotOptimize(data);
    bytes += size;
  }
  std::size_t bytes = 0;
};

sb::Scenario fresh_state() {
  sb::Scenario state;
  state.route_name = scenario().route;
  state.train_number = scenario().train;
  return state;
}

// The state after the whole compile, for the writers.
const sb::Scenario& compiled_state() {
  static const sb::Compiled compiled = [] {
    sb::MemorySource line("line", scenario().line);
    sb::MemorySource train("train", scenario().train_description);
    return sb::compile_scenario({scenario().route, scenario().train, true}, {line, train});
  }();
  return compiled.scenario;
}

void BM_FieldReading(benchmark::State& bm) {
  std::size_t fields = 0;
  for (auto _ : bm) {
    fields = 0;
    for (const std::string* bytes : {&scenario().line, &scenario().train_description}) {
      sb::FieldReader in(*bytes);
      while (!in.at_end()) {
        benchmark::DoNotOptimize(in.read_text());
        ++fields;
      }
    }
  }
  bm.counters["fields"] = static_cast<double>(fields);
  bm.SetBytesProcessed(static_cast<int64_t>(bm.iterations()) *
                       static_cast<int64_t>(scenario().line.size() + scenario().train_description.size()));
}
BENCHMARK(BM_FieldReading)->Unit(benchmark::kMillisecond);

void BM_ReadDescriptions(benchmark::State& bm) {
  for (auto _ : bm) {
    sb::Scenario state = fresh_state();
    sb::MemorySource line("line", scenario().line);
    sb::MemorySource train("train", scenario().train_description);
    sb::read_descriptions(state, {line, train});
    if (!state.diagnostics.empty()) {
      bm.SkipWithError("the generated scenario recorded a condition");
      break;
    }
    benchmark::DoNotOptimize(state.cells.cells().data());
  }
}
BENCHMARK(BM_ReadDescriptions)->Unit(benchmark::kMillisecond);

void BM_Completion(benchmark::State& bm) {
  sb::Scenario read = fresh_state();
  sb::MemorySource line("line", scenario().line);
  sb::MemorySource train("train", scenario().train_description);
  sb::read_descriptions(read, {line, train});
  sb::Scenario state = fresh_state();
  state.cell_count = read.cell_count;
  for (auto _ : bm) {
    bm.PauseTiming();
    state.cells = read.cells;
    state.diagnostics = sb::Diagnostics();
    bm.ResumeTiming();
    sb::complete_track_cells(state);
    if (!state.diagnostics.empty()) {
      bm.SkipWithError("the completion recorded a condition");
      break;
    }
  }
}
BENCHMARK(BM_Completion)->Unit(benchmark::kMillisecond);

template <typename Write>
void serialise(benchmark::State& bm, Write&& write) {
  std::size_t bytes = 0;
  for (auto _ : bm) {
    DiscardSink sink;
    write(sink);
    bytes = sink.bytes;
  }
  bm.SetBytesProcessed(static_cast<int64_t>(bm.iterations() * bytes));
}

void BM_WriteLinePlan(benchmark::State& bm) {
  const sb::Scenario& s = compiled_state();
  serialise(bm, [&](sb::ByteSink& sink) { sb::write_line_plan(s.plan, sink); });
}
BENCHMARK(BM_WriteLinePlan)->Unit(benchmark::kMillisecond);

void BM_WriteScenarioTable(benchmark::State& bm) {
  const sb::Scenario& s = compiled_state();
  serialise(bm, [&](sb::ByteSink& sink) { sb::write_scenario_table(sb::table_records(s.table), sink); });
}
BENCHMARK(BM_WriteScenarioTable)->Unit(benchmark::kMicrosecond);

void BM_WriteTrackCells(benchmark::State& bm) {
  const sb::Scenario& s = compiled_state();
  serialise(bm, [&](sb::ByteSink& sink) { sb::write_track_cells(s.cells, sink); });
}
BENCHMARK(BM_WriteTrackCells)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
