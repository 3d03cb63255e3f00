// The timetable card: the built-in card's heading box, boxes and grid,
// filled from the scenario. One grid row per station and one per change of
// the speed limit between the first and the last station; 16 rows a grid,
// the rows past them on further grids with the same head.
#include <algorithm>
#include <map>
#include <cstdio>
#include <optional>

#include "base/text_format.h"
#include "documents/driver_documents.h"
#include "documents/train_run.h"
#include "model/cell_kinds.h"

namespace sb {
namespace {

using documents::centred_in;
using documents::chainage_km;
using documents::left_in;
using documents::placed_in;
using documents::right_in;
using documents::RunStation;

constexpr std::size_t kRowsPerGrid = 16;
// The rank of the line's speed boards the card reads: the card's heading
// names it beside the highest speed.
constexpr int kBoardRank = 0;
constexpr const char* kBoardRankLetter = "A";

struct Row {
  int32_t position = 0;
  std::optional<int32_t> limit;  // km/h, where the limit changes
  const RunStation* station = nullptr;
};

// The speed limit as the train meets it: its own limit of the track cells
// (from cell i on, position 50 i), lowered where the last speed-limit
// board passed gives less in the card's rank.
class SpeedLimits {
 public:
  explicit SpeedLimits(const Scenario& s) : cells_(s.cells) {
    if (!cells_.exists()) return;
    // The speed as the record gave it, where the cells were read from one:
    // the packed value holds it only while the right-hand speed is below
    // 100 km/h.
    std::map<int64_t, int32_t> written;
    for (const WrittenBoardSpeeds& b : s.board_speeds) written[b.cell] = b.left[kBoardRank];
    for (int64_t i = 0; i < cells_.size(); ++i) {
      const TrackCell& c = cells_.at(i);
      if (c.kind != cell_kind::kSpeedBoard) continue;
      const auto record = written.find(i);
      const int32_t speed =
          record != written.end() ? record->second : unpack_board_speed(c.board_speed(kBoardRank)).left;
      if (speed > 0) boards_.push_back({cells_.origin(i), speed});
    }
    std::stable_sort(boards_.begin(), boards_.end(),
                     [](const Board& a, const Board& b) { return a.position < b.position; });
  }

  bool known() const { return cells_.exists(); }

  int32_t train_limit(int64_t position) const { return cells_.at(cell_of(position)).speed_code * 5; }

  int32_t limit(int64_t position) const {
    int32_t limit = train_limit(position);
    const auto passed = std::upper_bound(boards_.begin(), boards_.end(), position,
                                         [](int64_t p, const Board& b) { return p < b.position; });
    if (passed != boards_.begin()) limit = std::min(limit, std::prev(passed)->speed);
    return limit;
  }

  // Every position in (from, to] where the limit may change, rising.
  std::vector<int64_t> change_points(int64_t from, int64_t to) const {
    std::vector<int64_t> points;
    for (int64_t i = cell_of(from) + 1; i <= cell_of(to); ++i) {
      if (cells_.at(i).speed_code != cells_.at(i - 1).speed_code) points.push_back(i * 50);
    }
    for (const Board& b : boards_) {
      if (b.position > from && b.position <= to) points.push_back(b.position);
    }
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
  }

  // The highest of the train's own limits in [from, to].
  int32_t highest_train_limit(int64_t from, int64_t to) const {
    int32_t highest = 0;
    for (int64_t i = cell_of(from); i <= cell_of(to); ++i) highest = std::max(highest, cells_.at(i).speed_code * 5);
    return highest;
  }

 private:
  struct Board {
    int32_t position = 0;
    int32_t speed = 0;
  };
  int64_t cell_of(int64_t position) const {
    const int64_t cell = position >= 0 ? position / 50 : -((49 - position) / 50);
    return std::clamp<int64_t>(cell, 0, cells_.size() - 1);
  }

  const TrackCells& cells_;
  std::vector<Board> boards_;
};

// The stations, each with the limit where it changes at its position, and
// a row of its own for every other change, in running order.
std::vector<Row> card_rows(const std::vector<RunStation>& stations, const SpeedLimits& limits, int64_t from,
                           int64_t to) {
  std::vector<Row> rows;
  for (const RunStation& s : stations) rows.push_back({s.position, std::nullopt, &s});
  if (limits.known()) {
    std::vector<Row> changes = {{static_cast<int32_t>(from), limits.limit(from), nullptr}};
    for (int64_t p : limits.change_points(from, to)) {
      const int32_t limit = limits.limit(p);
      if (limit != *changes.back().limit) changes.push_back({static_cast<int32_t>(p), limit, nullptr});
    }
    for (const Row& change : changes) {
      auto at = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.position == change.position; });
      if (at != rows.end()) {
        at->limit = change.limit;
      } else {
        rows.push_back(change);
      }
    }
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.position < b.position; });
  return rows;
}

// "5.57": hours, full stop, two-digit minutes (the seconds dropped).
std::string time_text(int32_t seconds) {
  if (seconds <= 0) return "";
  const int32_t minutes = seconds / 60;
  char text[16];
  std::snprintf(text, sizeof text, "%d.%02d", static_cast<int>(minutes / 60), static_cast<int>(minutes % 60));
  return text;
}

std::string speed_cell(const std::optional<int32_t>& limit) {
  return limit ? right_in(decimal(*limit), 4) + " " : std::string(5, ' ');
}

std::string grid_row(const Scenario& scenario, const Row& row) {
  const std::string name = row.station ? " " + row.station->name : std::string();
  const std::string time = row.station ? time_text(row.station->time) : std::string();
  return " |" + speed_cell(row.limit) + "|     |" + right_in(chainage_km(scenario, row.position), 10) + "|     |" +
         left_in(name, 28) + "|" + right_in(time, 11) + "     |     |";
}

constexpr const char* kBlankRow = " |     |     |          |     |                            |                |     |";
constexpr const char* kGridRule = " |_____|_____|__________|_____|____________________________|________________|_____|";

void add_grid(std::vector<std::string>& lines, std::vector<std::string>::const_iterator first,
              std::vector<std::string>::const_iterator last) {
  lines.insert(lines.end(),
               {
                   "  ________________________________________________________________________________",
                   " | Vel.| Vel.| Progr Km |  No |   Localit\xE0  di  Servizio   |     Orario     | Rec |",
                   " | Lim.|Marc.|          |  Rs |                            |                |     |",
                   kGridRule,
               });
  lines.insert(lines.end(), first, last);
  lines.insert(lines.end(), kRowsPerGrid - static_cast<std::size_t>(last - first), kBlankRow);
  lines.push_back(kGridRule);
}

}  // namespace

std::string timetable_card(const Scenario& scenario, const DocumentOptions& options) {
  const std::vector<RunStation> stations = documents::run_stations(scenario);
  const SpeedLimits limits(scenario);
  const int64_t from = stations.empty() ? 0 : stations.front().position;
  const int64_t to = stations.empty() ? scenario.table.general.route_length : stations.back().position;
  const int32_t highest = limits.known() ? limits.highest_train_limit(from, to) : 0;

  const std::string origin = stations.empty() ? std::string() : stations.front().name;
  const std::string destination = stations.empty() ? std::string() : stations.back().name;
  std::string speed;
  if (highest > 0) speed.append("V").append(decimal(highest)).append(" ").append(kBoardRankLetter);
  // The two boxes below the heading set their value one place left of
  // the middle.
  auto box_value = [](const std::string& value) {
    return placed_in(value, 19, value.size() + 2 <= 19 ? (19 - value.size()) / 2 - 1 : 0);
  };
  std::vector<std::string> lines = {
      "",
      "",
      "  ___________________                                               ______________",
      " |                   |                    SCHEDA                   |              |",
      " |" + centred_in("TRENO n." + scenario.train_number, 19) + "|                da: " + left_in(origin, 25) + "|" +
          centred_in(speed, 14) + "|",
      " |___________________|                 a: " + left_in(destination, 25) + "|" +
          centred_in(decimal(scenario.table.general.braked_mass) + " %", 14) + "|",
      "                                                                   |______________|",
      "  ___________________                ___________________",
      " |  CLASSIFICAZIONE  |              |  MASSA BLOCCATA   |       ",
      " |" + box_value(options.classification) + "|              |" + box_value(options.blocked_mass) + "|",
      " |___________________|              |___________________|",
      "",
  };

  std::vector<std::string> rows;
  for (const Row& row : card_rows(stations, limits, from, to)) rows.push_back(grid_row(scenario, row));
  std::size_t done = 0;
  do {
    if (done > 0) lines.push_back("");
    const std::size_t count = std::min(kRowsPerGrid, rows.size() - done);
    add_grid(lines, rows.begin() + static_cast<std::ptrdiff_t>(done),
             rows.begin() + static_cast<std::ptrdiff_t>(done + count));
    done += count;
  } while (done < rows.size());
  lines.insert(lines.end(), {"", "", "", " "});
  return documents::crlf_text(lines);
}

}  // namespace sb
