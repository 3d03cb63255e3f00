#include "compile/cross_checks.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/numbers.h"
#include "model/cell_kinds.h"
#include "model/chainage.h"

namespace sb {
namespace {

std::string metres(int64_t p) { return std::to_string(p) + " m"; }

// "1 h 02 min 05 s", "8 min 00 s", "40 s".
std::string duration(int64_t seconds) {
  char text[64];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld h %02lld min %02lld s", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else if (seconds >= 60) {
    std::snprintf(text, sizeof text, "%lld min %02lld s", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(seconds));
  }
  return text;
}

class CrossChecks {
 public:
  explicit CrossChecks(Scenario& s) : s_(s) {}

  void run() {
    if (!s_.cells.exists()) return;
    train_above_boards();
    same_station_names();
    board_chainage_texts();
    unannounced_chainage_changes();
    signals_in_platforms();
    timetable_too_fast();
  }

 private:
  std::string file_name(uint8_t file) const { return file < s_.source_names.size() ? s_.source_names[file] : ""; }

  void warn(uint8_t file, int line, int column, const char* name, std::string message, RelatedPlace note = {}) {
    Diagnostic d;
    d.severity = Severity::kWarning;
    d.file = file_name(file);
    d.line = line;
    d.column = line > 0 ? std::max(column, 1) : 0;
    d.name = name;
    d.message = std::move(message);
    if (note.line > 0) d.related.push_back(std::move(note));
    s_.diagnostics.add(std::move(d));
  }

  // The train's limit above every rank of a speed-limit board all the way
  // from the board to the next board that gives other speeds: the train
  // would run faster than the line allows any train there. (Boards stand
  // ahead of where a limit starts: a train limit that comes down somewhere
  // before the next board is the ordinary layout.)
  void train_above_boards() {
    struct Board {
      int64_t cell;
      int32_t highest;
      std::array<int32_t, 3> ranks;
    };
    std::vector<Board> boards;
    for (const WrittenBoardSpeeds& b : s_.board_speeds) {
      if (!s_.cells.contains(b.cell) || s_.cells.at(b.cell).kind != cell_kind::kSpeedBoard) continue;
      boards.push_back({b.cell, std::max({b.left[0], b.left[1], b.left[2]}), b.left});
    }
    std::stable_sort(boards.begin(), boards.end(), [](const Board& a, const Board& b) { return a.cell < b.cell; });
    std::map<int64_t, const PlacedElement*> board_records;
    for (const PlacedElement& e : s_.placed_elements) {
      if (e.kind == cell_kind::kSpeedBoard) board_records.emplace(element_cell(e.position), &e);
    }
    std::vector<ReadRecord> limits = s_.speed_records;
    std::stable_sort(limits.begin(), limits.end(),
                     [](const ReadRecord& a, const ReadRecord& b) { return a.position < b.position; });
    const int64_t last_cell = std::min<int64_t>(s_.cells.size() - 1, nearest(s_.table.general.route_length / 50.0));
    for (std::size_t j = 0; j < boards.size();) {
      const Board& b = boards[j];
      std::size_t next = j + 1;
      while (next < boards.size() && boards[next].ranks == b.ranks) ++next;
      const int64_t end_cell = next < boards.size() ? boards[next].cell : last_cell;
      j = next;
      if (b.highest <= 0 || end_cell <= b.cell) continue;
      int32_t lowest = INT32_MAX;
      for (int64_t c = b.cell; c < end_cell && lowest > b.highest; ++c) {
        lowest = std::min<int32_t>(lowest, s_.cells.at(c).speed_code * 5);
      }
      if (lowest <= b.highest) continue;
      // The `velocita` record in force at the board.
      const int64_t at = element_position(b.cell);
      const auto after = std::upper_bound(limits.begin(), limits.end(), at,
                                          [](int64_t p, const ReadRecord& r) { return p < r.position; });
      if (after == limits.begin()) continue;
      const ReadRecord& r = *std::prev(after);
      const auto record = board_records.find(b.cell);
      const PlacedElement* board = record != board_records.end() ? record->second : nullptr;
      warn(r.file, r.line, r.column, "speed-above-boards",
           "the train's speed limit stays at " + std::to_string(lowest) +
               " km/h or more from the speed-limit board at " + metres(board ? board->position : at) + " to " +
               metres(element_position(end_cell)) +
               ", above every rank "
               "the board gives (" +
               std::to_string(b.ranks[0]) + "/" + std::to_string(b.ranks[1]) + "/" + std::to_string(b.ranks[2]) +
               " km/h): the train may run faster than any rank of the line there; lower "
               "the train's limit to " +
               std::to_string(b.highest) + " km/h there, or raise the board",
           board ? RelatedPlace{file_name(board->file), board->line, 1, "the speed-limit board"} : RelatedPlace{});
    }
  }

  void same_station_names() {
    std::map<std::string, const ReadRecord*> first;
    for (const ReadRecord& r : s_.station_records) {
      std::string name = s_.table.slots[static_cast<std::size_t>(r.value)].text;
      while (!name.empty() && name.back() == ' ') name.pop_back();
      while (!name.empty() && name.front() == ' ') name.erase(name.begin());
      if (name.empty()) continue;
      const auto [it, added] = first.emplace(name, &r);
      if (added) continue;
      const ReadRecord& earlier = *it->second;
      warn(r.file, r.line, r.column, "same-station-name",
           "the station at " + metres(r.position) + " has the name \"" + name + "\" of the station at " +
               metres(earlier.position) + " (line " + std::to_string(earlier.line) +
               "): the timetable and the driver's documents cannot tell them apart; give each station a name of its "
               "own",
           RelatedPlace{file_name(earlier.file), earlier.line, earlier.column, "the station of the same name"});
    }
  }

  // "km 12+300" in a board text: 12 300 m; none when the text holds no
  // such number.
  static std::optional<int64_t> kilometre_text(const std::string& text) {
    for (std::size_t at = text.find("km"); at != std::string::npos; at = text.find("km", at + 2)) {
      std::size_t i = at + 2;
      while (i < text.size() && text[i] == ' ') ++i;
      int64_t km = 0;
      std::size_t digits = 0;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 5) {
        km = km * 10 + (text[i++] - '0');
        ++digits;
      }
      if (digits == 0 || i + 3 >= text.size() || text[i] != '+') continue;
      int64_t m = 0;
      std::size_t k = 0;
      for (; k < 3 && i + 1 + k < text.size() && text[i + 1 + k] >= '0' && text[i + 1 + k] <= '9'; ++k) {
        m = m * 10 + (text[i + 1 + k] - '0');
      }
      if (k != 3) continue;
      return km * 1000 + m;
    }
    return std::nullopt;
  }

  struct SaidKilometre {
    const PlacedElement* board;
    int64_t said;  // metres of chainage the text gives
    // Where the compiled files place the board: the start of the cell
    // before its own. The checks measure from there, so that they say the
    // same of every description that compiles to these bytes.
    int64_t at;
  };
  // The line boards whose text gives a kilometre, in reading order.
  std::vector<SaidKilometre> boards_saying_km() const {
    std::vector<SaidKilometre> out;
    for (const PlacedElement& e : s_.placed_elements) {
      if (e.kind != cell_kind::kLineBoard) continue;
      const int64_t cell = element_cell(e.position);
      if (!s_.cells.contains(cell) || s_.cells.at(cell).kind != cell_kind::kLineBoard) continue;
      const int16_t slot = s_.cells.at(cell).table_slot();
      if (slot < 0 || static_cast<std::size_t>(slot) >= s_.table.slots.size()) continue;
      const std::optional<int64_t> said = kilometre_text(s_.table.slots[static_cast<std::size_t>(slot)].text);
      if (said) out.push_back({&e, *said, (cell - 1) * 50});
    }
    return out;
  }

  // Where a chainage system takes over with a jump (more than 500 m) or
  // the other way round, a line board from 500 m before to 1 000 m after
  // says the new kilometre (within 500 m); otherwise only the timetable card
  // shows the jump.
  void unannounced_chainage_changes() {
    const auto& systems = s_.table.chainage;
    if (!has_chainage(systems)) return;
    const std::vector<SaidKilometre> boards = boards_saying_km();
    for (std::size_t i = 0; i < systems.size(); ++i) {
      const ChainageSystem& system = systems[i];
      if (!is_set(system) || system.start <= 50) continue;
      const int64_t at = system.start;
      const std::optional<int64_t> earlier = chainage_at(systems, at - 100);
      const std::optional<int64_t> last = chainage_at(systems, at - 50);
      const std::optional<int64_t> after = chainage_at(systems, at);
      const std::optional<int64_t> later = chainage_at(systems, at + 50);
      if (!earlier || !last || !after || !later) continue;
      // Where the old system would have reached by `at`.
      const std::optional<int64_t> before = *last + (*last - *earlier);
      auto sign = [](int64_t v) { return (v > 0) - (v < 0); };
      const bool reversed = sign(*last - *earlier) * sign(*later - *after) < 0;
      if (!reversed && std::llabs(*after - *before) <= 500) continue;
      bool announced = false;
      for (const SaidKilometre& b : boards) {
        if (b.at < at - 500 || b.at > at + 1000) continue;
        const std::optional<int64_t> there = chainage_at(systems, b.at);
        announced = announced || (there && std::llabs(b.said - *there) <= 500);
      }
      if (announced) continue;
      const int line = s_.chainage_lines[i];
      std::string said = chainage_km_text(*after);
      said[said.find('.')] = '+';
      warn(1, line, 1, "chainage-unannounced",
           "the chainage " + std::string(reversed ? "turns round" : "jumps") + " at " + metres(at) + ", from " +
               chainage_text(before) + " to " + chainage_text(after) +
               ", and no line board from 500 m before to 1 000 m after says the new kilometre: the driver meets the "
               "change unannounced (the timetable card shows it alone); add a `cartello_indicatore` with \"km " +
               said + "\" there, or check the system's start and reference");
    }
  }

  // A line board that says "km X+YYY" where the chainage is more than
  // 500 m away: a wrong kilometre, not a board placed to its cell (the
  // built-in boards stand up to about 120 m off their texts).
  void board_chainage_texts() {
    if (!has_chainage(s_.table.chainage)) return;
    for (const SaidKilometre& b : boards_saying_km()) {
      const PlacedElement& e = *b.board;
      const int64_t said = b.said;
      const std::optional<int64_t> chainage = chainage_at(s_.table.chainage, b.at);
      if (!chainage || std::llabs(said - *chainage) <= 500) continue;
      warn(e.file, e.line, 1, "board-chainage",
           "the line board at " + metres(e.position) + " says km " + std::to_string(said / 1000) + "+" +
               std::to_string(said % 1000 + 1000).substr(1) + ", but the chainage there is " + chainage_text(chainage) +
               ": correct the text, or the board's position or the chainage systems");
    }
  }

  void signals_in_platforms() {
    struct Platform {
      int32_t start, end, position;
      const ReadRecord* record;
    };
    std::vector<Platform> platforms;
    for (const ReadRecord& r : s_.station_records) {
      const StationSlot& slot = s_.table.slots[static_cast<std::size_t>(r.value)];
      if (slot.kind >= 25 || slot.end <= slot.start) continue;
      platforms.push_back({slot.start, slot.end, slot.position, &r});
    }
    if (platforms.empty()) return;
    std::sort(platforms.begin(), platforms.end(),
              [](const Platform& a, const Platform& b) { return a.start < b.start; });
    for (const PlacedElement& e : s_.placed_elements) {
      if (e.kind != cell_kind::kSignal) continue;
      // The platform that starts last before the signal, and the one before
      // it (platforms do not overlap: stations keep 350 m apart).
      auto after = std::upper_bound(platforms.begin(), platforms.end(), e.position,
                                    [](int32_t p, const Platform& pl) { return p <= pl.start; });
      if (after == platforms.begin()) continue;
      const Platform& p = *std::prev(after);
      if (e.position <= p.start || e.position >= p.end) continue;
      warn(e.file, e.line, 1, "signal-in-platform",
           "the signal at " + metres(e.position) + " stands inside the platform of the station at " +
               metres(p.position) + ", which runs from " + metres(p.start) + " to " + metres(p.end) +
               ": a signal belongs before or after the platform; move it to " + metres(p.end) + " or beyond",
           RelatedPlace{file_name(p.record->file), p.record->line, p.record->column, "the station"});
    }
  }

  // A timetable no run can keep: less time between two stops than running
  // the distance at the train's own speed limits takes (a lower bound: no
  // acceleration, no braking, no speed-limit board).
  void timetable_too_fast() {
    const ReadRecord* previous = nullptr;
    for (const ReadRecord& r : s_.station_records) {
      const StationSlot& slot = s_.table.slots[static_cast<std::size_t>(r.value)];
      if (slot.time == 0) continue;
      const ReadRecord* from = previous;
      previous = &r;
      if (from == nullptr) continue;
      const StationSlot& start = s_.table.slots[static_cast<std::size_t>(from->value)];
      const int64_t scheduled = static_cast<int64_t>(slot.time) - start.time;
      if (scheduled <= 0 || r.position <= from->position) continue;
      const int64_t first = nearest(from->position / 50.0);
      const int64_t last = nearest(r.position / 50.0);
      double least = 0.0;
      bool bounded = true;
      for (int64_t c = first; c < last && bounded; ++c) {
        if (!s_.cells.contains(c)) {
          bounded = false;
          break;
        }
        const int speed = s_.cells.at(c).speed_code * 5;
        if (speed <= 0)
          bounded = false;
        else
          least += 50.0 * 3.6 / speed;
      }
      const int64_t needed = static_cast<int64_t>(least);
      if (!bounded || scheduled >= needed) continue;
      const std::string from_name = start.text;
      warn(r.file, r.line, r.column, "timetable-too-fast",
           "the timetable gives " + duration(scheduled) + " from the station at " + metres(from->position) +
               " to this one at " + metres(r.position) + ", but running the " + metres(r.position - from->position) +
               " at the train's speed limits alone takes at least " + duration(needed) +
               ": the time cannot be kept; give this station a later time, or the train higher limits",
           RelatedPlace{file_name(from->file), from->line, from->column, "the stop before"});
    }
  }

  Scenario& s_;
};

}  // namespace

void cross_check(Scenario& scenario) { CrossChecks(scenario).run(); }

}  // namespace sb
