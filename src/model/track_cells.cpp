#include "model/track_cells.h"

#include <algorithm>

#include "model/cell_kinds.h"

#include <utility>

#include "base/failures.h"

namespace sb {

void TrackCells::assign(std::vector<TrackCell> cells) {
  cells_ = std::move(cells);
  stamps_.clear();
  mark_stamps_.clear();
  replaced_marks_.clear();
  live_marks_.clear();
}

void TrackCells::create(int64_t cell_count) {
  if (cell_count < 0) throw RunTimeFailure("negative track cell count " + std::to_string(cell_count));
  cells_.assign(static_cast<std::size_t>(cell_count + 1), TrackCell{});
  stamps_.clear();
  mark_stamps_.clear();
  replaced_marks_.clear();
  live_marks_.clear();
}

void TrackCells::discard() {
  cells_.clear();
  stamps_.clear();
  mark_stamps_.clear();
  replaced_marks_.clear();
  live_marks_.clear();
}

void TrackCells::refuse(int64_t index) const {
  if (cells_.empty())
    throw RunTimeFailure("track cell " + std::to_string(index) + " used before the route length created the cells");
  throw RunTimeFailure("track cell " + std::to_string(index) + " lies outside cells 0 to " +
                       std::to_string(size() - 1));
}

void TrackCells::mark(int64_t index, uint8_t kind, int32_t origin) {
  at(index).kind = kind;
  stamps_[index] = {origin, current_file_, current_line_, current_column_};
}

void TrackCells::set_approach_mark(int64_t index, uint8_t mark, int32_t origin) {
  TrackCell& cell = at(index);
  const Stamp now{origin, current_file_, current_line_, current_column_};
  const auto it = mark_stamps_.find(index);
  auto key = [](const Stamp& st) { return (static_cast<uint64_t>(st.file) << 32) | static_cast<uint32_t>(st.line); };
  const bool other_record = it != mark_stamps_.end() && key(it->second) != key(now);
  // The same mark set again announces the same; only another mark takes
  // the earlier element's announcement away.
  if (other_record && cell.approach_mark != 0 && cell.approach_mark != mark) {
    int& left = live_marks_[key(it->second)];
    left = std::max(left - 1, 0);
    replaced_marks_.push_back({index, cell.approach_mark, mark, it->second.origin, it->second.file, it->second.line,
                               it->second.column, left == 0});
    ++live_marks_[key(now)];
  } else if (it == mark_stamps_.end()) {
    ++live_marks_[key(now)];
  }
  cell.approach_mark = mark;
  mark_stamps_[index] = now;
}

const TrackCells::Stamp& TrackCells::stamp(int64_t index) const {
  static const Stamp kNone;
  const auto it = stamps_.find(index);
  return it == stamps_.end() ? kNone : it->second;
}

std::string TrackCells::occupant(int64_t index) const {
  const CellKindInfo* info = cell_kind_info(at(index).kind);
  const char* what = info ? info->occupant : "an element";
  return std::string(what) + " at " + std::to_string(origin(index)) + " m";
}

}  // namespace sb
