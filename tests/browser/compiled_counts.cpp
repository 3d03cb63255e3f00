// Prints what a view page of a compiled scenario must draw, counted from
// the compiled files themselves, one "kind=N" a line:
//
//   compiled_counts CELLS_FILE TABLE_FILE [PLAN_FILE]
//
// signals, line boards, speed-limit boards and slowdown starts are the
// cells of that kind; stations are the table slots from 1 on up to the
// first that is empty or holds a line board's text; curves are the curve
// runs of the line plan file (none without one).
#include <iostream>
#include <set>
#include <string>

#include "base/files.h"
#include "format/decoder.h"
#include "format/plan_stream.h"
#include "format/plan_summary.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: compiled_counts CELLS_FILE TABLE_FILE [PLAN_FILE]\n";
    return 2;
  }
  try {
    std::string cell_bytes, table_bytes;
    if (!sb::read_file(argv[1], cell_bytes) || !sb::read_file(argv[2], table_bytes)) {
      std::cerr << "compiled_counts: a file is missing\n";
      return 1;
    }
    const auto cells = sb::decode_track_cells(cell_bytes);
    const sb::TableRecords table = sb::decode_scenario_table(table_bytes);
    int signals = 0, line_boards = 0, speed_boards = 0, slowdowns = 0;
    std::set<int> board_slots;
    for (const sb::CellRecord& c : cells) {
      signals += c.kind == sb::cell_kind::kSignal;
      speed_boards += c.kind == sb::cell_kind::kSpeedBoard;
      slowdowns += c.kind == sb::cell_kind::kSlowdownStart;
      if (c.kind == sb::cell_kind::kLineBoard) {
        ++line_boards;
        board_slots.insert(c.value);
      }
    }
    int stations = 0;
    for (int s = 1; s < sb::kFirstBoardSlot && board_slots.count(s) == 0; ++s) {
      const sb::TableRecord& r = table[static_cast<std::size_t>(s)];
      if (r.text.empty() && r.position == 0 && r.kind == 0 && r.time == 0) break;
      ++stations;
    }
    std::size_t curves = 0;
    if (argc == 4) {
      std::string plan_bytes;
      if (!sb::read_file(argv[3], plan_bytes)) {
        std::cerr << "compiled_counts: the plan file is missing\n";
        return 1;
      }
      curves = sb::summarise_plan(*sb::plan_stream_of(std::move(plan_bytes))).curves.size();
    }
    std::cout << "station=" << stations << "\nsignal=" << signals << "\nline-board=" << line_boards
              << "\nspeed-board=" << speed_boards << "\nslowdown=" << slowdowns << "\ncurve=" << curves << '\n';
  } catch (const sb::DecodeError& e) {
    std::cerr << "compiled_counts: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
