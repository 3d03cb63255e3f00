// The compile's stages, in process, on the generated 1000 km route held in
// memory: field reading, memorizza_dati (reading, recording, plan
// integration), the track cell completion, and the serialisation of each
// compiled file into a sink that discards the bytes.
#include <benchmark/benchmark.h>

#include <string>

#include "compiled/compiled_files.h"
#include "driver/files.h"
#include "driver/scenario_records.h"
#include "line_generator.h"
#include "reader/reader.h"
#include "source/field_reader.h"
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

sb::ScenarioState fresh_state() {
  sb::ScenarioState state;
  state.route_name = scenario().route;
  state.train_number = scenario().train;
  state.geometry_flag = 1;
  return state;
}

// The state after the whole compile, for the writers.
const sb::ScenarioState& compiled_state() {
  static const sb::ScenarioState state = [] {
    sb::ScenarioState s = fresh_state();
    sb::MemorySource line("line", scenario().line);
    sb::MemorySource train("train", scenario().train_description);
    sb::memorizza_percorso(s, 1, {line, train});
    return s;
  }();
  return state;
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

void BM_MemorizzaDati(benchmark::State& bm) {
  for (auto _ : bm) {
    sb::ScenarioState state = fresh_state();
    sb::MemorySource line("line", scenario().line);
    sb::MemorySource train("train", scenario().train_description);
    sb::memorizza_dati(state, {line, train});
    if (!state.diagnostics.empty()) {
      bm.SkipWithError("the generated scenario recorded a condition");
      break;
    }
    benchmark::DoNotOptimize(state.track_cells.cells().data());
  }
}
BENCHMARK(BM_MemorizzaDati)->Unit(benchmark::kMillisecond);

void BM_Completion(benchmark::State& bm) {
  sb::ScenarioState read = fresh_state();
  sb::MemorySource line("line", scenario().line);
  sb::MemorySource train("train", scenario().train_description);
  sb::memorizza_dati(read, {line, train});
  sb::ScenarioState state = fresh_state();
  state.cell_count = read.cell_count;
  for (auto _ : bm) {
    bm.PauseTiming();
    state.track_cells = read.track_cells;
    state.diagnostics.clear();
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
  const sb::ScenarioState& s = compiled_state();
  serialise(bm, [&](sb::ByteSink& sink) { sb::write_line_plan(s.plan_grid, sink); });
}
BENCHMARK(BM_WriteLinePlan)->Unit(benchmark::kMillisecond);

void BM_WriteScenarioTable(benchmark::State& bm) {
  const sb::ScenarioState& s = compiled_state();
  serialise(bm, [&](sb::ByteSink& sink) { sb::write_scenario_table(s.scenario_table, sink); });
}
BENCHMARK(BM_WriteScenarioTable)->Unit(benchmark::kMicrosecond);

void BM_WriteTrackCells(benchmark::State& bm) {
  const sb::ScenarioState& s = compiled_state();
  serialise(bm, [&](sb::ByteSink& sink) { sb::write_track_cells(s.track_cells, sink); });
}
BENCHMARK(BM_WriteTrackCells)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
