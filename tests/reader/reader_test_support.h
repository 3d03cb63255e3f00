// Helpers shared by the reader tests: description text builders and a
// run of memorizza_dati over two in-memory description files.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "driver/scenario_records.h"
#include "reader/reader.h"

namespace sb::testing_support {

// error_position before the run, to tell "unchanged" from a stored 0.
inline constexpr int32_t kUntouchedPosition = -424242;

inline constexpr std::string_view kRouteName = "Prova";
inline constexpr std::string_view kTrainNumber = "1";
inline const char* const kLineName = "Prova_linea.txt";
inline const char* const kTrainName = "Prova_1-.txt";

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
inline std::string line_file(const std::string& main, const std::string& general = "",
                             int32_t route_length = 88000) {
  return "[generale]\r\nlunghezza percorso,  " + std::to_string(route_length) + "\r\n" + general +
         "[curve]\r\n" + main + "[fine]\r\n";
}

// `line` written `times` times over.
inline std::string repeated(const std::string& line, int times) {
  std::string out;
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
  return "stazione" + v(position) + v(kind) + v(length) + v(0) + v(1) + v(end_extension) + v(1) + v(1) + v(0) +
         v(4) + v(1) + v(1) + v(60) + v(hours) + v(minutes) + v(seconds) + ",   " + name + "\r\n";
}

// A "segnale" record.
inline std::string signal_record(int32_t posizione, int sx, int s1, int s2, int rapp = 0, int dx = 0, int tempo = 0) {
  auto v = [](long long n) { return ",  " + std::to_string(n); };
  return "segnale" + v(posizione) + v(sx) + v(s1) + v(s2) + v(0) + v(rapp) + v(dx) + v(0) + v(0) + v(0) +
         v(tempo) + "\r\n";
}

struct ReadResult {
  ScenarioState state;
  bool line_removed = false;
  bool train_removed = false;
};

// Runs memorizza_dati on a fresh state; std::nullopt stands for a file
// that does not exist.
inline ReadResult read_files(const std::optional<std::string>& line, const std::optional<std::string>& train,
                             int32_t geometry_flag = 1) {
  ReadResult r;
  r.state.route_name = std::string(kRouteName);
  r.state.train_number = std::string(kTrainNumber);
  r.state.geometry_flag = geometry_flag;
  r.state.error_position = kUntouchedPosition;
  MemorySource line_source(kLineName, line.value_or(""), line.has_value());
  MemorySource train_source(kTrainName, train.value_or(""), train.has_value());
  memorizza_dati(r.state, {line_source, train_source});
  r.line_removed = line_source.removed;
  r.train_removed = train_source.removed;
  return r;
}

// A state with `cell_count` + 1 fresh cells, for calling recorders directly.
inline ScenarioState state_with_cells(int32_t cell_count) {
  ScenarioState s;
  s.track_cells.create(cell_count);
  s.cell_count = cell_count;
  return s;
}

inline bool same_cell(const TrackCell& a, const TrackCell& b) {
  return a.kind == b.kind && a.value == b.value && a.value_2 == b.value_2 && a.value_3 == b.value_3 &&
         a.value_4 == b.value_4 && a.signal_time == b.signal_time && a.approach_mark == b.approach_mark &&
         a.montagna_type == b.montagna_type && a.speed_code == b.speed_code && a.gradient == b.gradient &&
         a.adhesion == b.adhesion;
}

}  // namespace sb::testing_support
