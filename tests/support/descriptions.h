// Description files for tests, and the reader and the whole compile run on
// them in memory.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/files.h"
#include "compile/compile.h"
#include "fuzz_input.h"
#include "format/layout.h"
#include "format/line_plan_file.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"
#include "model/scenario.h"
#include "reader/read_descriptions.h"

namespace sb::test {

inline constexpr std::string_view kRouteName = "Prova";
inline constexpr std::string_view kTrainNumber = "1";
inline const char* const kLineName = "Prova_linea.txt";
inline const char* const kTrainName = "Prova_1-.txt";

// What error_position() gives when no condition placed one.
inline constexpr int32_t kUntouchedPosition = -424242;

// The position of the latest condition that has one: where along the line
// the scenario's error stands.
inline int32_t error_position(const Scenario& s) { return s.diagnostics.last_position().value_or(kUntouchedPosition); }

// Lines joined, each followed by CR LF.
inline std::string crlf(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

// A line description: "[generale]", the route length and `general`, then
// "[curve]", the main-part text `main` (already CR LF ended), "[fine]".
inline std::string line_file(const std::string& main, const std::string& general = "", int64_t route_length = 88000) {
  return "[generale]\r\nlunghezza percorso,  " + std::to_string(route_length) + "\r\n" + general + "[curve]\r\n" +
         main + "[fine]\r\n";
}

// `line` written `times` times over.
inline std::string repeated(const std::string& line, int times) {
  std::string out;
  out.reserve(line.size() * static_cast<std::size_t>(std::max(times, 0)));
  for (int i = 0; i < times; ++i) out += line;
  return out;
}

// A train description: "[generale]", the text `body`, "[fine]".
inline std::string train_file(const std::string& body) { return "[generale]\r\n" + body + "[fine]\r\n"; }

// A "stazione" record with the given position, kind, length and end
// extension flag; the other values are small fixed numbers.
inline std::string station_record(int32_t position, int kind, int32_t length, int end_extension = 0,
                                  const std::string& name = "STAZIONE", int hours = 6, int minutes = 3,
                                  int seconds = 0) {
  auto v = [](long long n) { return ",  " + std::to_string(n); };
  return "stazione" + v(position) + v(kind) + v(length) + v(0) + v(1) + v(end_extension) + v(1) + v(1) + v(0) + v(4) +
         v(1) + v(1) + v(60) + v(hours) + v(minutes) + v(seconds) + ",   " + name + "\r\n";
}

// A "segnale" record.
inline std::string signal_record(int32_t position, int left_type, int left_aspect_1, int left_aspect_2,
                                 int combined_tens = 0, int right_type = 0, int time = 0) {
  auto v = [](long long n) { return ",  " + std::to_string(n); };
  return "segnale" + v(position) + v(left_type) + v(left_aspect_1) + v(left_aspect_2) + v(0) + v(combined_tens) +
         v(right_type) + v(0) + v(0) + v(0) + v(time) + "\r\n";
}

struct ReadResult {
  Scenario scenario;  // its diagnostics hold the errors only
  std::vector<Diagnostic> warnings;
  bool line_removed = false;
  bool train_removed = false;
};

// Reads the two files into a fresh scenario; std::nullopt stands for a file
// that does not exist.
inline ReadResult read_files(const std::optional<std::string>& line, const std::optional<std::string>& train,
                             bool build_plan = true) {
  ReadResult r;
  r.scenario.route_name = std::string(kRouteName);
  r.scenario.train_number = std::string(kTrainNumber);
  r.scenario.build_plan = build_plan;
  MemorySource line_source(kLineName, line.value_or(""), line.has_value());
  MemorySource train_source(kTrainName, train.value_or(""), train.has_value());
  read_descriptions(r.scenario, {line_source, train_source});
  r.line_removed = line_source.removed;
  r.train_removed = train_source.removed;
  Diagnostics errors;
  for (const Diagnostic& d : r.scenario.diagnostics.list()) {
    if (d.severity == Severity::kWarning) {
      r.warnings.push_back(d);
    } else {
      errors.add(d);
    }
  }
  r.scenario.diagnostics = std::move(errors);
  return r;
}

// A line file and a train file that give no warning of their own: speed
// and adhesion from 0, a gradient from 0.
inline const std::string kQuietStretches = "velocita,  0,  90\r\naderenza,  0,  100\r\n";
inline const std::string kQuietLine = line_file("pendenza,  0,  0\r\n");
inline const std::string kQuietTrain = train_file(kQuietStretches);

// The warnings of a read, as printed.
inline std::vector<std::string> warnings_of(const ReadResult& r) {
  std::vector<std::string> out;
  for (const Diagnostic& d : r.warnings) out.push_back(format_diagnostic(d));
  return out;
}

// The whole compile of the two files, with the compiled files written into
// a sink that only counts (unless a fatal check stopped it).
struct CompileRun {
  Compiled compiled;
  std::size_t bytes_written = 0;
};

inline CompileRun compile_in_memory(const std::string& line, const std::optional<std::string>& train,
                                    bool build_plan = true) {
  MemorySource line_source(kLineName, line);
  MemorySource train_source(kTrainName, train.value_or(""), train.has_value());
  CompileRun run{
      compile_scenario({std::string(kRouteName), std::string(kTrainNumber), build_plan}, {line_source, train_source}),
      0};
  if (run.compiled.fatal) return run;
  CountingSink sink;
  const Scenario& s = run.compiled.scenario;
  if (s.build_plan) write_line_plan(s.plan, sink);
  write_scenario_table(table_records(s.table), sink);
  write_track_cells(s.cells, sink);
  run.bytes_written = sink.count;
  return run;
}

// The same for one fuzz input that holds both files (fuzz_input.h).
inline CompileRun compile_packed(std::string_view input) {
  fuzzing::SplitInput split = fuzzing::split_input(input);
  return compile_in_memory(split.line, split.train_exists ? std::optional<std::string>(split.train) : std::nullopt,
                           split.build_plan);
}

// The line plan as its file holds it, element by element.
enum class PlanTag : uint16_t { kEmpty = 0, kWhole = 2, kReal = 5 };
struct PlanElement {
  PlanTag tag = PlanTag::kEmpty;
  double value = 0.0;
};

class DecodedPlan {
 public:
  explicit DecodedPlan(const LinePlan& plan) {
    StringSink sink;
    write_line_plan(plan, sink);
    const std::string& b = sink.bytes;
    std::size_t at = 0;
    auto u16 = [&] {
      const auto v =
          static_cast<uint16_t>(static_cast<unsigned char>(b.at(at)) | static_cast<unsigned char>(b.at(at + 1)) << 8);
      at += 2;
      return v;
    };
    for (auto& half : halves_) {
      for (int64_t m = 0; m <= plan.last_metre(); ++m) {
        PlanElement e;
        e.tag = static_cast<PlanTag>(u16());
        if (e.tag == PlanTag::kWhole) {
          e.value = static_cast<int16_t>(u16());
        } else if (e.tag == PlanTag::kReal) {
          uint64_t bits = 0;
          for (int i = 0; i < 8; ++i)
            bits |= static_cast<uint64_t>(static_cast<unsigned char>(b.at(at + static_cast<std::size_t>(i))))
                    << (8 * i);
          at += 8;
          e.value = std::bit_cast<double>(bits);
        }
        half.push_back(e);
      }
    }
    EXPECT_EQ(at, b.size()) << "bytes after the second half";
  }
  int64_t last_metre() const { return static_cast<int64_t>(halves_[0].size()) - 1; }
  PlanElement get(int64_t metre, int coordinate) const {
    return halves_[static_cast<std::size_t>(coordinate)].at(static_cast<std::size_t>(metre));
  }
  double number(int64_t metre, int coordinate) const { return get(metre, coordinate).value; }

 private:
  std::vector<PlanElement> halves_[2];
};

// A scenario with `cell_count` + 1 fresh cells, for placing elements
// directly.
inline Scenario scenario_with_cells(int32_t cell_count) {
  Scenario s;
  s.cells.create(cell_count);
  s.cell_count = cell_count;
  return s;
}

}  // namespace sb::test
