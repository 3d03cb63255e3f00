#include "track/completion.h"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/numbers.h"

namespace sb {
namespace {

using namespace cell_kind;

constexpr int16_t kAbbattimentoValue = 180;

class Completion {
 public:
  explicit Completion(Scenario& scenario) : st_(scenario), cells_(scenario.cells), last_(scenario.cell_count) {}

  void run() {
    cells_.set_current_record(0, 0);
    find_end_cells();
    const int64_t bound = static_cast<int64_t>(st_.cell_count) - 2;
    for (int64_t i = 1; i <= bound; ++i) {
      uint8_t kind = cells_.at(i).kind;
      if (kind == kSlowdownWarning) look_back_for_signals(i);
      if (kind == kSlowdownStart) {
        pre_start_windows(i);
        int64_t end = slowdown_walk(i);
        exit_signal(i, end);
      }
    }
  }

 private:
  // A cell beyond the last one counts as taken.
  bool free(int64_t c) const { return c >= 0 && c <= last_ && cells_.at(c).is_free(); }
  uint8_t kind(int64_t c) const { return (c >= 0 && c <= last_) ? cells_.at(c).kind : kNothing; }

  void place_abbattimento(int64_t c) {
    cells_.mark(c, kAbbattimento, static_cast<int32_t>(c * 50));
    cells_.at(c).abbattimento_value() = kAbbattimentoValue;
  }

  // An abbattimento already there keeps a value of at most 180.
  void cap_value(int64_t c) {
    int16_t& value = cells_.at(c).abbattimento_value();
    if (value > kAbbattimentoValue) value = kAbbattimentoValue;
  }

  // The failure's position is the cell's; the message names the elements
  // at the positions the description file gave them.
  // The failure stands at the line of the slowdown's record.
  void fail(int32_t code, int64_t cell, int64_t slowdown_cell, const std::string& message) {
    const uint8_t file = cells_.record_file(slowdown_cell);
    if (file == 0) {
      st_.record_unplaced_error(code, message, checked::mul(static_cast<int32_t>(cell), 50, "cell position"));
      return;
    }
    st_.place = {st_.source_names[file], cells_.record_line(slowdown_cell)};
    st_.record_error(code, message, checked::mul(static_cast<int32_t>(cell), 50, "cell position"));
  }

  // "the signal at 1200 m, Prova_1-.txt:17": the element and its record
  // (an abbattimento placed here has none).
  std::string element(int64_t c) const {
    const uint8_t file = cells_.record_file(c);
    if (file == 0) return cells_.occupant(c);
    return cells_.occupant(c) + ", " + st_.source_names[file] + ":" + std::to_string(cells_.record_line(c));
  }

  std::string at(int64_t c) const { return std::to_string(cells_.origin(c)) + " m (cell " + std::to_string(c) + ")"; }

  // "cells 35 and 34 are taken", leaving out cells beyond the last one.
  std::string taken(std::initializer_list<int64_t> cells) const {
    std::vector<std::string> names;
    for (int64_t c : cells) {
      if (c >= 0 && c <= last_) names.push_back(std::to_string(c) + " (" + element(c) + ")");
    }
    std::string list;
    for (std::size_t k = 0; k < names.size(); ++k) {
      if (k > 0) list += k + 1 == names.size() ? " and " : ", ";
      list += names[k];
    }
    return (names.size() == 1 ? "cell " : "cells ") + list + (names.size() == 1 ? " is" : " are") + " taken";
  }

  // Rule 1: every signal up to 20 cells before a slowdown warning gets an
  // abbattimento cell one or two cells before it.
  void look_back_for_signals(int64_t i) {
    for (int64_t k = 1; k <= 20; ++k) {
      int64_t d = i - k;
      if (d < 3) break;
      if (kind(d) != kSignal) continue;
      if (free(d - 1)) {
        place_abbattimento(d - 1);
      } else if (free(d - 2)) {
        place_abbattimento(d - 2);
      } else if (kind(d - 1) == kAbbattimento) {
        cap_value(d - 1);
      } else if (kind(d - 2) == kAbbattimento) {
        cap_value(d - 2);
      } else {
        fail(11, d, i,
             "no free cell for the automatic abbattimento before the signal at " + at(d) +
                 ", which stands within 1000 m before the warning of the slowdown at " +
                 std::to_string(cells_.origin(i)) + " m: " + taken({d - 1, d - 2}));
      }
    }
  }

  // Rule 2: one abbattimento cell in each window of three cells that lies
  // 250-350 m, 550-650 m and 900-1000 m before the slowdown's start.
  void pre_start_windows(int64_t i) {
    struct Window {
      int64_t applies_above, first;
    };
    static constexpr Window kWindows[] = {{7, 5}, {13, 11}, {20, 18}};
    for (const Window& w : kWindows) {
      if (i <= w.applies_above) continue;
      bool placed = false;
      for (int64_t c = i - w.first; c >= i - w.first - 2 && !placed; --c) {
        if (free(c)) {
          place_abbattimento(c);
          placed = true;
        }
      }
      if (!placed) {
        fail(12, i, i,
             "no free cell for the automatic abbattimento " + std::to_string(w.first * 50) + " to " +
                 std::to_string((w.first + 2) * 50) + " m before the slowdown at " + at(i) + ": " +
                 taken({i - w.first, i - w.first - 1, i - w.first - 2}));
      }
    }
  }

  // Rule 3: a slow slowdown (below 110) gets an abbattimento cell every
  // 8 cells, counted from where the last one actually went. Returns the
  // slowdown's end cell (or the last cell when it has none); a fast
  // slowdown is walked to its end without placing anything.
  int64_t slowdown_walk(int64_t i) {
    const bool slow = cells_.at(i).slowdown_speed() < 110;
    int64_t n = 0;
    int64_t e = i;
    while (e < last_) {
      // A fast walk, or a slow one whose placement has failed (its count
      // stays at 8 and then only goes up), places nothing more: it ends on
      // the next end cell. Jumping there keeps the completion linear even
      // when many slowdowns have no end cell of their own (length 0 or less).
      if (!slow || n >= 8) return std::min(next_end_[static_cast<std::size_t>(e + 1)], last_);
      ++e;
      ++n;
      if (slow && n == 8) {
        if (free(e)) {
          place_abbattimento(e);
          n = 0;
        } else if (free(e - 1)) {
          place_abbattimento(e - 1);
          n = 1;
        } else if (free(e + 1)) {
          place_abbattimento(e + 1);
          n = -1;
        } else {
          fail(13, e, i,
               "no free cell for the automatic abbattimento due every 400 m along the slowdown at " + at(i) + ": " +
                   taken({e, e - 1, e + 1}));
        }
      }
      if (kind(e) == kSlowdownEnd) break;
    }
    return e;
  }

  // Rule 4: the first signal within 12 cells after the slowdown's end
  // gets an abbattimento cell one or two cells before it.
  void exit_signal(int64_t i, int64_t e) {
    int64_t s = 0;
    for (int64_t m = e; m <= e + 12 && m <= last_; ++m) {
      if (kind(m) == kSignal) {
        s = m - 1;
        break;
      }
    }
    if (s <= 0) return;
    if (free(s)) {
      place_abbattimento(s);
    } else if (free(s - 1)) {
      place_abbattimento(s - 1);
    } else {
      fail(13, e, i,
           "no free cell for the automatic abbattimento before the signal at " + at(s + 1) +
               " after the end of the slowdown at " + at(i) + ": " + taken({s, s - 1}));
    }
  }

  // next_end_[c]: the first slowdown end cell at c or after it, last_ + 1
  // when there is none. The completion places abbattimento cells on free
  // cells only, so the end cells stay where the reader put them.
  void find_end_cells() {
    next_end_.assign(static_cast<std::size_t>(std::max<int64_t>(last_ + 2, 0)), last_ + 1);
    for (int64_t c = last_; c >= 0; --c) {
      next_end_[static_cast<std::size_t>(c)] = kind(c) == kSlowdownEnd ? c : next_end_[static_cast<std::size_t>(c + 1)];
    }
  }

  Scenario& st_;
  TrackCells& cells_;
  const int64_t last_;
  std::vector<int64_t> next_end_;
};

}  // namespace

void complete_track_cells(Scenario& scenario) { Completion(scenario).run(); }

}  // namespace sb
