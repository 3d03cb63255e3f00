// The scenario table: stations, line board texts, chainage systems and the
// scenario's general values, by what they mean. The scenario table file
// writes it as 87 slots of one layout (format/scenario_table_file.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace sb {

// The values of a "stazione" record that the table keeps as read, named by
// their place in the record.
struct StationValues {
  uint8_t record_4 = 0;
  uint8_t record_5 = 0;
  int16_t record_7 = 0;
  int16_t record_8 = 0;
  uint8_t record_9 = 0;
  int16_t record_10 = 0;
  int16_t record_11 = 0;
  int16_t record_12 = 0;
  uint8_t record_13 = 0;
  friend bool operator==(const StationValues&, const StationValues&) = default;
};

// Slots 0 .. 80, shared by stations (from slot 1 up) and line board texts
// (from slot 80 down; a board slot holds only its text).
struct StationSlot {
  uint8_t kind = 0;      // station kind
  int32_t start = 0;     // metres
  int32_t end = 0;       // metres
  int32_t position = 0;  // the station's centre, metres
  std::string text;      // station name or board text, Windows-1252
  StationValues values;
  uint8_t end_extension = 0;  // the station's end was moved 50 m on
  int32_t time = 0;           // scheduled time, seconds since midnight
  friend bool operator==(const StationSlot&, const StationSlot&) = default;
};

// Slots 81 .. 83: a chainage system (the kilometre count shown along the
// line) from its start position on.
struct ChainageSystem {
  int32_t start = 0;      // metres
  int32_t reference = 0;  // metres
  int32_t direction = 0;  // 0 rising along the line, 1 falling
  friend bool operator==(const ChainageSystem&, const ChainageSystem&) = default;
};

// Slot 84.
struct GeneralSlot {
  int32_t braked_mass = 0;  // percentage
  int32_t route_length = 0;
  int32_t coaches = 0;
  friend bool operator==(const GeneralSlot&, const GeneralSlot&) = default;
};

// Slot 85.
struct RouteSlot {
  std::array<int32_t, 3> scenery{};  // "sfondo uno", "due", "tre"
  std::string route_name;            // Windows-1252
  int16_t format_marker = 0;         // 610 in every compiled scenario
  int32_t check_code = 0;
  friend bool operator==(const RouteSlot&, const RouteSlot&) = default;
};

// Slot 86.
struct TrainSlot {
  int32_t repetition_start = 0;  // cab-signal repetition positions, metres
  int32_t repetition_end = 0;
  int32_t cab_signal_codes = 0;  // 4, 9, or 0 without repetition
  std::string train_number;      // Windows-1252
  int16_t sand = 0;
  int16_t clock_hours = 0;  // the simulated clock at the start
  int16_t clock_minutes = 0;
  int16_t clock_seconds = 0;
  friend bool operator==(const TrainSlot&, const TrainSlot&) = default;
};

inline constexpr int kTableSlots = 87;
inline constexpr int kFirstBoardSlot = 80;
inline constexpr int kChainageSlot = 81;  // 81, 82, 83
inline constexpr int kGeneralSlot = 84;
inline constexpr int kRouteSlot = 85;
inline constexpr int kTrainSlot = 86;

struct ScenarioTable {
  std::array<StationSlot, kFirstBoardSlot + 1> slots{};  // slots 0 .. 80
  // As the reader finds them: "progressiva chilometrica tre", "due", "uno";
  // ordered by start position afterwards.
  std::array<ChainageSystem, 3> chainage{};
  GeneralSlot general;
  RouteSlot route;
  TrainSlot train;
  friend bool operator==(const ScenarioTable&, const ScenarioTable&) = default;
};

}  // namespace sb
