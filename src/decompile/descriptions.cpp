#include "decompile/descriptions.h"

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <queue>
#include <set>
#include <string_view>

#include "model/scenario.h"
#include "reader/chainage.h"
#include "reader/record_keywords.h"

namespace sb {
namespace {

using namespace cell_kind;

// The keyword an author writes for the record `name` of `part` (its
// `which`th spelling: "sfondo due"), from the reader's own table.
std::string keyword(RecordPart part, std::string_view name, std::size_t which = 0) {
  for (const RecordKeyword& row : record_keywords(part)) {
    if (row.name != name) continue;
    const auto written = spellings(row);
    return std::string(written[std::min(which, written.size() - 1)]);
  }
  return std::string(name);
}

std::string num(int64_t v) { return std::to_string(v); }

// A record line: the keyword and its values, a comma and two blanks apart.
class Lines {
 public:
  void add(std::string line) {
    text_ += line;
    text_ += "\r\n";
  }
  void record(const std::string& key, std::initializer_list<std::string> values) {
    std::string line = key;
    for (const std::string& v : values) line += ",  " + v;
    add(std::move(line));
  }
  void append(const std::string& lines) { text_ += lines; }
  std::string take() { return std::move(text_); }

 private:
  std::string text_;
};

// A text value as the field reader gives it back: quoted where blanks at
// its ends or a comma would otherwise be lost.
std::string text_field(const std::string& text) {
  const bool plain = text.empty() || (text.front() != ' ' && text.back() != ' ' && text.front() != '"' &&
                                      text.find_first_of(",\r\n") == std::string::npos);
  if (plain || text.find('"') != std::string::npos) return text;
  return "\"" + text + "\"";
}

// The position that puts a point element into `cell`: nearest(p / 50 + 1).
int64_t element_position_of(int64_t cell) { return element_position(cell); }

int64_t highest_cell(const TrackCells& cells) { return cells.size() - 1; }

// A value that holds from each record's position to the next one's, as
// the stretch records fill it: cell 0 from the first record on, up to the
// cell before the last two (one more when a record stands there). The
// first record stands at 0; a gradient needs none there when the line
// starts level, which the reader starts from.
struct StretchRecord {
  int64_t position;
  int64_t value;
};
std::vector<StretchRecord> stretch_records(const TrackCells& cells,
                                           const std::function<int64_t(const TrackCell&)>& value,
                                           bool last_filled_too) {
  const int64_t count = highest_cell(cells);
  const int64_t last = std::max<int64_t>(0, last_filled_too ? count - 2 : count - 3);
  std::vector<StretchRecord> records{{0, value(cells.at(0))}};
  for (int64_t i = 1; i <= last && cells.contains(i); ++i) {
    const int64_t v = value(cells.at(i));
    if (v != records.back().value || (last_filled_too && i == last)) records.push_back({50 * i, v});
  }
  return records;
}

// The gradient and the montagna cells past the filled stretch hold 0; a
// value there was filled by a record standing at the last position read.
bool past_last_filled(const TrackCells& cells, const std::function<int64_t(const TrackCell&)>& value) {
  const int64_t at = highest_cell(cells) - 2;
  return at >= 1 && cells.contains(at) && value(cells.at(at)) != 0;
}

void chainage_records(Lines& out, const ScenarioTable& table) {
  // The reader orders the systems by start and raises a falling system's
  // reference by 100: the first assignment of the stored systems to the
  // records "uno", "due", "tre" that the reader orders back into them.
  std::array<ChainageSystem, 3> written{};
  for (std::size_t i = 0; i < 3; ++i) {
    written[i] = table.chainage[i];
    if (written[i].direction == 1) written[i].reference -= 100;
  }
  // written[order[k]] goes to record k ("uno", "due", "tre"). Tried first:
  // the systems as an author numbers them, along the line, the empty ones
  // last.
  std::array<int, 3> preferred{0, 1, 2};
  auto empty = [&](int i) { return written[static_cast<std::size_t>(i)] == ChainageSystem{}; };
  std::stable_sort(preferred.begin(), preferred.end(), [&](int a, int b) {
    if (empty(a) != empty(b)) return empty(b);
    return written[static_cast<std::size_t>(a)].start < written[static_cast<std::size_t>(b)].start;
  });
  std::vector<std::array<int, 3>> orders{preferred};
  std::array<int, 3> order{0, 1, 2};
  do {
    if (order != preferred) orders.push_back(order);
  } while (std::next_permutation(order.begin(), order.end()));
  std::array<int, 3> chosen = {0, 1, 2};
  for (const std::array<int, 3>& candidate : orders) {
    // The reader holds them as "tre", "due", "uno".
    std::array<ChainageSystem, 3> read{written[static_cast<std::size_t>(candidate[2])],
                                       written[static_cast<std::size_t>(candidate[1])],
                                       written[static_cast<std::size_t>(candidate[0])]};
    try {
      order_chainage_systems(read);
    } catch (...) {
      continue;
    }
    if (read == table.chainage) {
      chosen = candidate;
      break;
    }
  }
  for (std::size_t k = 0; k < 3; ++k) {
    const ChainageSystem& s = written[static_cast<std::size_t>(chosen[k])];
    out.record(keyword(RecordPart::kLineGeneral, "progressiva chilometrica", k),
               {num(s.start), num(s.reference), num(s.direction)});
  }
}

void repetition_record(Lines& out, const TrainSlot& train) {
  std::string key = keyword(RecordPart::kLineGeneral, "ripetizione segnali");
  if (train.cab_signal_codes == 9) std::replace(key.begin(), key.end(), '4', '9');
  out.record(key, {num(train.repetition_start), num(train.repetition_end)});
}

void curve_records(Lines& out, const std::vector<CurveRun>& curves) {
  const std::string key = keyword(RecordPart::kLineMain, "curva");
  for (const CurveRun& run : curves) {
    out.record(key + (run.side < 0 ? "s" : "d") + num(run.klass), {num(run.start), num(run.length)});
  }
}

void gradient_records(Lines& out, const TrackCells& cells) {
  auto gradient = [](const TrackCell& c) -> int64_t { return c.gradient; };
  const std::string key = keyword(RecordPart::kLineMain, "pendenza");
  constexpr int64_t kLevel = 100;  // gradient 0
  const std::vector<StretchRecord> records = stretch_records(cells, gradient, past_last_filled(cells, gradient));
  for (const StretchRecord& r : records) {
    if (r.position == 0 && r.value == kLevel) continue;
    out.record(key, {num(r.position), num(r.value - kLevel)});
  }
}

// A montagna record as written: from, to (metres) and the type.
struct SpanRecord {
  int64_t start, end, written;
};

constexpr int64_t kJoinedType = 3;  // the type a span within 150 m of the previous one is read as
constexpr int64_t kJoinGap = 150;

// Whether `records`, read in this order after a span that ended at
// `previous_end` (none: they are the first), give the cells first .. end
// - 1 their montagna types and marks, as the reader places them (a later
// span rewrites the types, a mark goes only into a cell without one) and
// touch no other cell. A mark must stand where the set holds one, and may
// where it holds another element (which replaced it).
bool spans_give_the_cells(const std::vector<SpanRecord>& records, std::optional<int64_t> previous_end,
                          const TrackCells& cells, int64_t first, int64_t end) {
  const auto count = static_cast<std::size_t>(end - first);
  std::vector<uint8_t> type(count, 0);
  std::vector<bool> mark(count, false);
  for (const SpanRecord& r : records) {
    int64_t t = r.written;
    const bool marks = t > 10;
    if (marks) t -= 10;
    if (previous_end && r.start - *previous_end <= kJoinGap) t = kJoinedType;
    previous_end = r.end;
    const int64_t from = nearest(r.start / 50.0);
    const int64_t to = nearest(r.end / 50.0 - 1.0);
    int64_t n = 0;
    for (int64_t m = from; m <= to; ++m) {
      if (m < first || m >= end) return false;
      const auto c = static_cast<std::size_t>(m - first);
      type[c] = low8(t);
      if (marks && ++n % 4 == 0) mark[c] = true;
    }
  }
  for (int64_t m = first; m < end; ++m) {
    const TrackCell& c = cells.at(m);
    const auto i = static_cast<std::size_t>(m - first);
    if (type[i] != c.montagna_type) return false;
    if ((c.kind == kNothing && mark[i]) || (c.kind == kMontagnaMark && !mark[i])) return false;
  }
  return true;
}

// Cells first .. end - 1 of one montagna type, and the type as written.
struct Run {
  int64_t first, end, written;
};

// The written type of `type` without marks: a type above 10 as its low 8
// bits (the reader would take 10 off a type above 10 and mark).
int64_t plain_type(int64_t type) { return type <= 10 ? type : type - 256; }

// Makes the span `next` not join the last of `out` (read as type 3 when
// it starts within 150 m of that one's end): the two ends move 20 m apart
// within their cells (the reader rounds them back into the same cells);
// where that leaves 150 m or less, a span without cells is read between
// them, where the last one starts or, with `back`, far enough before
// `next` (out of position order). False where neither serves.
bool keep_apart(std::vector<SpanRecord>& out, SpanRecord& next, bool back) {
  if (out.empty() || next.start - out.back().end > kJoinGap) return true;
  SpanRecord& last = out.back();
  if (last.end % 50 == 0 && next.start % 50 == 0 && next.start + 20 - (last.end - 20) > kJoinGap) {
    last.end -= 20;
    next.start += 20;
    return true;
  }
  int64_t at = last.start;
  if (next.start - last.start <= kJoinGap) {
    // Far enough before `next`, at 0 at the least (`next` moved on within
    // its cell where that takes it).
    if (next.start <= kJoinGap && nearest((kJoinGap + 1) / 50.0) == nearest(next.start / 50.0)) {
      next.start = kJoinGap + 1;
    }
    at = next.start > kJoinGap ? (next.start - kJoinGap - 1) / 50 * 50 : -1;
  }
  if (at < 0 || (at < last.start && !back)) return false;
  out.push_back({at, at, 0});
  return true;
}

// The runs in this order, each apart from the one before where it is not
// of type 3. False where one could not be kept apart (it is written all
// the same).
bool append_runs(std::vector<SpanRecord>& out, const std::vector<Run>& runs, const TrackCells& cells,
                 bool back = false) {
  bool apart = true;
  for (const Run& r : runs) {
    SpanRecord span{50 * r.first, 50 * r.end, r.written};
    if (cells.at(r.first).montagna_type != kJoinedType) apart = keep_apart(out, span, back) && apart;
    // A span in the cell where the one before starts, moved there: in
    // position order (it only moves away from that one's end).
    if (!out.empty() && span.start < out.back().start &&
        nearest(span.start / 50.0) == nearest(out.back().start / 50.0)) {
      span.start = out.back().start;
    }
    out.push_back(span);
  }
  return apart;
}

// A run of type 3 as touching spans, each read as type 3 after the one
// before it: spans with marks where marks stand every fourth cell from a
// span's start, spans without them in between (a span with marks over
// the end of the one before where its marks are closer). False where a
// mark stands too close to the stretch's start for that. Marks before `placed` are there
// already (another span put them).
bool split_joined_run(const TrackCells& cells, int64_t first, int64_t end, std::vector<Run>& runs, int64_t placed = 0) {
  auto mark = [&](int64_t c) { return c >= placed && cells.at(c).kind == kMontagnaMark; };
  auto taken = [&](int64_t c) { return cells.at(c).kind != kNothing; };
  std::vector<Run> parts;
  int64_t at = first;
  while (at < end) {
    int64_t next = at;  // the next mark
    while (next < end && !mark(next)) ++next;
    if (next == end) {
      parts.push_back({at, end, kJoinedType});
      break;
    }
    // A mark closer than four cells to the last one: a span over the end
    // of the one before (both read as type 3).
    if (next - 3 < first) return false;
    if (next - 3 > at) parts.push_back({at, next - 3, kJoinedType});
    // Marks from next - 3, while every fourth cell holds one (or an
    // element that replaced it) and no other cell does.
    int64_t to = next + 1;
    // An element in place of a mark is passed over only where no mark
    // follows within three cells (that one's span would start before it).
    auto mark_within = [&](int64_t c) { return c < end && mark(c); };
    while (to + 3 < end && !mark(to) && !mark(to + 1) && !mark(to + 2) && taken(to + 3) &&
           (mark(to + 3) || !(mark_within(to + 4) || mark_within(to + 5) || mark_within(to + 6)))) {
      to += 4;
    }
    parts.push_back({next - 3, to, kJoinedType + 10});
    at = to;
  }
  runs.insert(runs.end(), parts.begin(), parts.end());
  return true;
}

// Whether the cells first .. end - 1 hold marks every fourth cell from
// `first` on (or elements that replaced them) and nowhere else, and at
// least one.
bool own_marks(const TrackCells& cells, int64_t first, int64_t end) {
  bool any = false;
  for (int64_t c = first; c < end; ++c) {
    const uint8_t kind = cells.at(c).kind;
    if ((c - first) % 4 == 3 ? kind == kNothing : kind == kMontagnaMark) return false;
    any = any || kind == kMontagnaMark;
  }
  return any;
}

// The ways a stretch of montagna cells (first .. end - 1, each with a
// type) can have been written, after the record in `out` (none, or the
// last one written before, whose end may move); the first that gives the
// cells is taken, in this order:
//  1. its runs of one type in rising order, with their marks;
//  2. one span of its first type other than 3 over all of it, with the
//     marks, then its parts of type 3 as spans read over it (a span that
//     ran on under later ones);
//  3. the runs of other types, then those of type 3 (read as type 3
//     wherever they stand);
//  4. a span of four cells for each mark first, then the runs without
//     marks over them;
//  5. as 1., a span without cells read out of position order where two
//     runs cannot be kept apart otherwise (else this, not reproducing).
std::vector<std::vector<SpanRecord>> stretch_ways(const TrackCells& cells, int64_t first, int64_t end,
                                                  const std::vector<SpanRecord>& out) {
  std::vector<std::vector<SpanRecord>> ways;
  std::vector<Run> runs;
  std::vector<int64_t> marks;
  for (int64_t from = first; from < end;) {
    const uint8_t type = cells.at(from).montagna_type;
    int64_t to = from;
    while (to < end && cells.at(to).montagna_type == type) {
      if (cells.at(to).kind == kMontagnaMark) marks.push_back(to);
      ++to;
    }
    if (own_marks(cells, from, to)) {
      runs.push_back({from, to, type + 10});
    } else if (type != kJoinedType || !split_joined_run(cells, from, to, runs)) {
      runs.push_back({from, to, plain_type(type)});
    }
    from = to;
  }
  // Each way starts from `out` alone: the records before it are not
  // copied again for every stretch.
  auto gives = [&](const std::vector<SpanRecord>& written) {
    const std::vector<SpanRecord> added(written.begin() + static_cast<std::ptrdiff_t>(out.size()), written.end());
    const std::optional<int64_t> previous =
        out.empty() ? std::nullopt : std::optional<int64_t>(written[out.size() - 1].end);
    return spans_give_the_cells(added, previous, cells, first, end);
  };
  std::vector<SpanRecord> in_order = out;
  if (append_runs(in_order, runs, cells) && gives(in_order)) ways.push_back(in_order);

  // The span under the others reaches past its last cell of another type
  // than 3, and past as many of the marks after it as its own marks take
  // (a few ends tried); the parts of type 3 after its end carry the rest.
  // It starts at the stretch's start, or where its marks start when they
  // start in type-3 cells before its own type.
  int64_t base = kJoinedType;
  for (int64_t c = first; c < end && base == kJoinedType; ++c) base = cells.at(c).montagna_type;
  int64_t own_first = end, own_end = first + 1;
  for (int64_t c = first; c < end; ++c) {
    if (cells.at(c).montagna_type == base) own_first = std::min(own_first, c), own_end = c + 1;
  }
  std::vector<int64_t> starts{first};
  if (!marks.empty() && marks.front() - 3 > first && marks.front() - 3 <= own_first)
    starts.push_back(marks.front() - 3);
  std::vector<int64_t> reaches{own_end};
  for (int64_t m : marks) {
    if (m >= own_end && reaches.size() < 8) reaches.push_back(m + 1);
  }
  bool layered_found = false;
  for (int64_t start : starts) {
    for (int64_t reach : reaches) {
      if (layered_found) break;
      bool any_mark = false;
      for (int64_t m : marks) any_mark = any_mark || m < reach;
      if (any_mark && !own_marks(cells, start, reach)) continue;
      std::vector<SpanRecord> layered = out;
      SpanRecord under{50 * start, 50 * reach, any_mark ? base + 10 : plain_type(base)};
      if (base != kJoinedType && !keep_apart(layered, under, false)) continue;
      layered.push_back(under);
      // The parts of other types over it: type 3 anywhere, another type
      // past its end and more than 150 m after the span before.
      std::vector<Run> over;
      bool split = true;
      for (int64_t c = first; c < end && split;) {
        const uint8_t type = cells.at(c).montagna_type;
        int64_t to = c;
        while (to < end && cells.at(to).montagna_type == type) ++to;
        if (type == kJoinedType) {
          split = split_joined_run(cells, c, to, over, reach);
        } else if (type != base) {
          split = c >= reach;
          over.push_back({c, to, own_marks(cells, c, to) ? type + 10 : plain_type(type)});
        }
        c = to;
      }
      if (!split || !append_runs(layered, over, cells)) continue;
      if (gives(layered)) {
        ways.push_back(layered);
        layered_found = true;
      }
    }
  }

  std::vector<Run> others, joined;
  for (const Run& r : runs) (cells.at(r.first).montagna_type == kJoinedType ? joined : others).push_back(r);
  std::vector<SpanRecord> joined_last = out;
  if (append_runs(joined_last, others, cells)) {
    for (const Run& r : joined) joined_last.push_back({50 * r.first, 50 * r.end, r.written});
    if (gives(joined_last)) ways.push_back(joined_last);
  }

  std::vector<SpanRecord> marks_first = out;
  std::vector<Run> plain;
  for (const Run& r : runs) plain.push_back({r.first, r.end, plain_type(cells.at(r.first).montagna_type)});
  for (int64_t m : marks) {
    if (m - 3 >= first) marks_first.push_back({50 * (m - 3), 50 * (m + 1), 11});
  }
  if (!marks.empty() && append_runs(marks_first, plain, cells) && gives(marks_first)) ways.push_back(marks_first);

  // Spans laid over each other every way: the marks first, as spans along
  // them (from three cells before a mark, on every fourth cell while it
  // holds a mark or an element that replaced one), then the runs of one
  // type over them in rising order, each kept apart from the record before
  // where it is not of type 3. A run whose every fourth cell from its
  // start holds a mark (or such an element) sets those marks itself.
  {
    auto held = [&](int64_t c) { return cells.at(c).kind != kNothing; };
    std::vector<bool> covered(static_cast<std::size_t>(end - first), false);
    std::vector<Run> over;
    std::vector<int64_t> reaches;  // where each run's span ends
    for (int64_t from = first; from < end;) {
      const uint8_t type = cells.at(from).montagna_type;
      int64_t to = from;
      bool own = true, any = false;
      for (; to < end && cells.at(to).montagna_type == type; ++to) {
        if ((to - from) % 4 != 3) continue;
        own = own && held(to);
        any = any || cells.at(to).kind == kMontagnaMark;
      }
      own = own && any;
      // A span with its own marks may run on under cells of type 3 after
      // it, as far as its marks go on (the runs after it are read over it).
      int64_t reach = to;
      if (own) {
        int64_t c = from + 3;
        for (; c < to; c += 4) covered[static_cast<std::size_t>(c - first)] = true;
        while (c < end && cells.at(c).kind == kMontagnaMark) {
          bool under = true;
          for (int64_t k = reach; k <= c && under; ++k) under = cells.at(k).montagna_type == kJoinedType;
          if (!under) break;
          covered[static_cast<std::size_t>(c - first)] = true;
          reach = c + 1;
          c += 4;
        }
      }
      over.push_back({from, to, own ? type + 10 : plain_type(type)});
      reaches.push_back(reach);
      from = to;
    }
    // A span along marks within cells of type 3 goes after the run that
    // holds it (read as type 3 over it); the others go first.
    std::vector<SpanRecord> layered = out;
    std::vector<std::vector<SpanRecord>> within(over.size());
    bool fits = true;
    for (int64_t m : marks) {
      if (covered[static_cast<std::size_t>(m - first)]) continue;
      if (m - 3 < first) {
        fits = false;
        break;
      }
      int64_t last = m;
      while (last + 4 < end && held(last + 4)) last += 4;
      for (int64_t c = m; c <= last; c += 4) covered[static_cast<std::size_t>(c - first)] = true;
      const SpanRecord along{50 * (m - 3), 50 * (last + 1), 11};
      std::size_t run = 0;
      while (over[run].end <= m - 3) ++run;
      if (cells.at(m - 3).montagna_type == kJoinedType && over[run].end > last) {
        within[run].push_back({along.start, along.end, kJoinedType + 10});
      } else {
        layered.push_back(along);
      }
    }
    for (std::size_t i = 0; i < over.size() && fits; ++i) {
      fits = append_runs(layered, {over[i]}, cells, true);
      if (reaches[i] > over[i].end) layered.back().end = 50 * reaches[i];
      layered.insert(layered.end(), within[i].begin(), within[i].end());
    }
    if (fits && gives(layered)) ways.push_back(layered);
  }
  if (!ways.empty()) return ways;
  std::vector<SpanRecord> read_back = out;
  append_runs(read_back, runs, cells, true);
  return {read_back};
}

// Whether the records are read in rising position order.
bool in_position_order(const std::vector<SpanRecord>& records) {
  for (std::size_t i = 1; i < records.size(); ++i) {
    if (records[i].start < records[i - 1].start) return false;
  }
  return true;
}

// The montagna records: each stretch of cells with a montagna type in
// turn, written in the first way stretch_ways finds that keeps the
// records in position order and lets the next stretch follow in position
// order too (its last span's end decides whether the next one joins it);
// failing that, the first way in position order, or the first way.
// Where that makes more records than the reader takes, each stretch is
// written in the way of the fewest records (in position order if one is).
void montagna_records(Lines& out, const TrackCells& cells) {
  std::vector<std::pair<int64_t, int64_t>> stretches;  // first, end
  const int64_t last = highest_cell(cells);
  for (int64_t first = 0; first <= last;) {
    if (cells.at(first).montagna_type == 0) {
      ++first;
      continue;
    }
    int64_t end = first;
    while (end <= last && cells.at(end).montagna_type != 0) ++end;
    stretches.emplace_back(first, end);
    first = end;
  }
  auto written = [&](bool fewest) {
    std::vector<SpanRecord> records;
    for (std::size_t k = 0; k < stretches.size(); ++k) {
      std::vector<SpanRecord> before;
      if (!records.empty()) before.push_back(records.back());
      const std::vector<std::vector<SpanRecord>> ways =
          stretch_ways(cells, stretches[k].first, stretches[k].second, before);
      std::size_t chosen = 0;
      bool ordered = false;
      for (std::size_t i = 0; i < ways.size() && ways.size() > 1; ++i) {
        if (!in_position_order(ways[i])) {
          if (fewest && !ordered && ways[i].size() < ways[chosen].size()) chosen = i;
          continue;
        }
        if (fewest) {
          if (!ordered || ways[i].size() < ways[chosen].size()) chosen = i;
          ordered = true;
          continue;
        }
        if (!ordered) chosen = i, ordered = true;
        if (k + 1 == stretches.size()) break;
        const auto next = stretch_ways(cells, stretches[k + 1].first, stretches[k + 1].second, {ways[i].back()});
        if (in_position_order(next.front())) {
          chosen = i;
          break;
        }
      }
      if (!records.empty()) records.pop_back();
      records.insert(records.end(), ways[chosen].begin(), ways[chosen].end());
    }
    return records;
  };
  // The reader takes 80 records at most: past that, each stretch in the
  // way of the fewest records.
  std::vector<SpanRecord> records = written(false);
  if (records.size() > kMaxMontagnaSpans) records = written(true);
  const std::string key = keyword(RecordPart::kLineMain, "montagna");
  for (const SpanRecord& r : records) out.record(key, {num(r.start), num(r.end), num(r.written)});
}

// The field of a value that is 0 on the right-hand board: left empty, as
// the built-in boards have it.
std::string right_value(int64_t v) { return v == 0 ? "" : num(v); }

void speed_board_records(Lines& out, const TrackCells& cells) {
  const std::string key = keyword(RecordPart::kLineMain, "indicatori_vmax");
  for (int64_t g = 0; g <= highest_cell(cells); ++g) {
    const TrackCell& c = cells.at(g);
    if (c.kind != kSpeedBoard) continue;
    std::array<BoardSpeed, 3> speed{};
    for (int rank = 0; rank < 3; ++rank)
      speed[static_cast<std::size_t>(rank)] = unpack_board_speed(c.board_speed(rank));
    const int64_t left_stripes = c.board_stripes() / 10;
    const int64_t right_stripes = c.board_stripes() - 10 * left_stripes;
    out.record(key, {num(element_position_of(g)), num(speed[0].left), num(speed[1].left), num(speed[2].left),
                     num(left_stripes), right_value(speed[0].right), right_value(speed[1].right),
                     right_value(speed[2].right), num(right_stripes)});
  }
}

// Line boards take the table slots from 80 down in reading order.
void line_board_records(Lines& out, const TrackCells& cells, const ScenarioTable& table) {
  std::vector<std::pair<int, int64_t>> boards;  // slot, cell
  for (int64_t g = 0; g <= highest_cell(cells); ++g) {
    if (cells.at(g).kind == kLineBoard) boards.emplace_back(cells.at(g).table_slot(), g);
  }
  std::sort(boards.begin(), boards.end(), [](const auto& a, const auto& b) {
    return a.first > b.first || (a.first == b.first && a.second < b.second);
  });
  const std::string key = keyword(RecordPart::kLineMain, "cartello_indicatore");
  for (const auto& [slot, g] : boards) {
    const std::string text =
        slot >= 0 && slot <= kFirstBoardSlot ? table.slots[static_cast<std::size_t>(slot)].text : "";
    out.add(key + ",  " + num(element_position_of(g)) + ",     " + text_field(text));
  }
}

// Stations fill the slots from 1 up; the slots of the line boards are the
// ones the board cells name.
int station_count(const TrackCells& cells, const ScenarioTable& table) {
  std::set<int> board_slots;
  for (const TrackCell& c : cells.cells()) {
    if (c.kind == kLineBoard) board_slots.insert(c.table_slot());
  }
  int count = 0;
  for (int s = 1; s <= kFirstBoardSlot; ++s) {
    if (board_slots.count(s) == 0 && !(table.slots[static_cast<std::size_t>(s)] == StationSlot{})) count = s;
  }
  return count;
}

// A station or signal record with the approach marks it sets (cell,
// mark): the record read last sets the mark a cell keeps.
struct TrainRecord {
  int section = 0;  // [stazioni] 0, [rallentamenti] 1, [segnali] 2
  int64_t position = 0;
  std::string line;
  std::vector<std::pair<int64_t, uint8_t>> marks;
};

std::vector<TrainRecord> station_records(const TrackCells& cells, const ScenarioTable& table) {
  std::vector<TrainRecord> records;
  const std::string key = keyword(RecordPart::kTrain, "stazione");
  const int stations = station_count(cells, table);
  for (int s = 1; s <= stations; ++s) {
    const StationSlot& slot = table.slots[static_cast<std::size_t>(s)];
    // Worked out from the start, as the reader works the start out from
    // the length.
    const bool behind = slot.kind >= 5 && slot.kind <= 8;
    const int64_t length = behind ? int64_t{slot.position} - slot.start : 2 * (int64_t{slot.position} - slot.start);
    // The first station's flag is cleared after its end was moved on: the
    // end tells.
    const bool extended = !behind && int64_t{slot.end} - slot.position > int64_t{slot.position} - slot.start;
    const int64_t extension = behind ? 0 : (slot.end_extension != 0 ? slot.end_extension : (extended ? 1 : 0));
    const StationValues& v = slot.values;
    const int64_t time = slot.time;
    const int64_t hours = time >= 0 ? time / 3600 : 0;
    const int64_t minutes = time >= 0 ? time / 60 % 60 : 0;
    const int64_t seconds = time >= 0 ? time % 60 : time;
    std::string line = key;
    for (int64_t value :
         {int64_t{slot.position}, int64_t{slot.kind}, length, int64_t{v.record_4}, int64_t{v.record_5}, extension,
          int64_t{v.record_7}, int64_t{v.record_8}, int64_t{v.record_9}, int64_t{v.record_10}, int64_t{v.record_11},
          int64_t{v.record_12}, int64_t{v.record_13}, hours, minutes, seconds}) {
      line += ",  " + num(value);
    }
    TrainRecord record{0, slot.position, line + ",   " + text_field(slot.text), {}};
    // Kinds below 25 but 5 and 6 mark the four cells before the stop cell
    // (none at cell 1 or below).
    const double end_cell = slot.end / 50.0;
    if (slot.kind < 25 && slot.kind != 5 && slot.kind != 6) {
      for (int k = 1; k <= 4; ++k) {
        if (end_cell - k - 1 > 1) record.marks.emplace_back(nearest(end_cell - k - 1), static_cast<uint8_t>(80 + k));
      }
    }
    records.push_back(std::move(record));
  }
  return records;
}

// The slowdown's end cell: the first end cell after its start that carries
// its values and no other slowdown took.
int64_t slowdown_end(const TrackCells& cells, int64_t start, std::set<int64_t>& taken) {
  const TrackCell& b = cells.at(start);
  int64_t any = -1;
  for (int64_t e = start + 1; e <= highest_cell(cells); ++e) {
    const TrackCell& c = cells.at(e);
    if (c.kind != kSlowdownEnd || taken.count(e) != 0) continue;
    if (any < 0) any = e;
    if (c.slowdown_speed() == b.slowdown_speed() && c.slowdown_f_tt() == b.slowdown_f_tt() &&
        c.slowdown_d_v() == b.slowdown_d_v()) {
      taken.insert(e);
      return e;
    }
  }
  if (any >= 0) taken.insert(any);
  return any < 0 ? start : any;
}

void slowdown_records(Lines& out, const TrackCells& cells) {
  const std::string key = keyword(RecordPart::kTrain, "rallentamento");
  std::set<int64_t> ends;
  for (int64_t b = 0; b <= highest_cell(cells); ++b) {
    const TrackCell& c = cells.at(b);
    if (c.kind != kSlowdownStart) continue;
    // Only a slowdown past 1500 m has a warning cell, 24 cells before it.
    // Its four approach cells run down from nearest((x - 1200) / 50): the
    // cell before the warning cell, or the one before that where x / 50
    // ends in a half that rounds down (x = 50 * b - 75, b even).
    const bool warned = b >= 24 && cells.at(b - 24).kind == kSlowdownWarning;
    auto approach_at = [&](int64_t x) {
      const int64_t base = nearest(static_cast<double>(x - 1200) / 50.0);
      for (int64_t i = 0; i < 4; ++i) {
        if (!cells.contains(base - i) || cells.at(base - i).kind != kSlowdownApproach) return false;
      }
      return true;
    };
    const int64_t round = element_position_of(b);
    int64_t x = round;
    bool approached = false;
    bool found = false;
    for (bool want_approach : {true, false}) {
      for (int64_t candidate : {round, round + 20, round - 20, round - 25}) {
        if (found || element_cell(candidate) != b || (candidate > 1500) != warned) continue;
        if (want_approach && !(warned && approach_at(candidate))) continue;
        x = candidate;
        approached = want_approach;
        found = true;
      }
    }
    const int64_t e = slowdown_end(cells, b, ends);
    out.record(key, {num(x), num(c.slowdown_speed()), num(element_position_of(e) - x), num(c.slowdown_f_tt()),
                     num(approached ? 1 : 0), num(c.slowdown_d_v())});
  }
}

// A mark a record sets: the record (its cell; -1 for a station) and the
// mark where known, by the cell it goes into.
using MarkSetters = std::multimap<int64_t, std::pair<int64_t, std::optional<uint8_t>>>;

// The sides of a signal (left type * 3 + right type), from its approach
// marks: the low 8 bits of sides * 10 + j in the cell 2 * j before it,
// which fix the sides up to a multiple of 128. A mark another element set
// later is no evidence, so of the values the marks give, the ones whose
// every other mark lies in a cell another element marks too; of those,
// the one that the most marks give that no other record sets (`setters`:
// the marks the other records set, as far as known), then the most marks.
// Of that value's class the member nearest 0 that leaves a whole number
// of tens in the combined code. Without one (every mark replaced), the
// last digit of the code.
int64_t signal_sides(const TrackCells& cells, int64_t g, int64_t code, const MarkSetters& setters) {
  constexpr int64_t kInverseOf5 = 77;  // 5 * 77 = 1 (mod 128)
  std::pair<int, int> best_score{0, 0};
  int64_t best = ((code % 10) + 10) % 10;
  // The marks farthest from the signal first: in rising order, the next
  // signals replace the nearest ones.
  for (int64_t j = 4; j >= 1; --j) {
    const int64_t difference = (int64_t{cells.at(g - 2 * j).approach_mark} - j) & 0xFF;
    if (difference % 2 != 0) continue;
    const int64_t klass = difference / 2 * kInverseOf5 % 128;
    std::pair<int, int> score{0, 0};  // marks no other record sets, all marks
    bool explained = true;
    for (int64_t k = 1; k <= 4; ++k) {
      const int64_t c = g - 2 * k;
      const uint8_t held = cells.at(c).approach_mark;
      const auto [from, to] = setters.equal_range(c);
      bool set_by_other = false, other = false;
      for (auto it = from; it != to; ++it) {
        if (it->second.first == g) continue;
        other = true;
        set_by_other = set_by_other || it->second.second == held;
      }
      if (low8(klass * 10 + k) == held) {
        ++score.second;
        if (!set_by_other) ++score.first;
      } else {
        explained = explained && other;
      }
    }
    if (!explained || score <= best_score) continue;
    // The member of the class nearest 0 with (code - sides) a multiple of 10.
    std::optional<int64_t> sides;
    for (int64_t step = 0; step <= 5 && !sides; ++step) {
      for (int64_t candidate : {klass - 128 * step, klass + 128 * step}) {
        if (!sides && (code - candidate) % 10 == 0) sides = candidate;
      }
    }
    if (!sides) continue;
    best_score = score;
    best = *sides;
  }
  return best;
}

std::vector<TrainRecord> signal_records(const TrackCells& cells, const std::vector<TrainRecord>& stations) {
  // The sides of every signal, worked out again while they change (at
  // most four times), each time knowing which marks the other signals set.
  std::vector<int64_t> signal_cells;
  for (int64_t g = 8; g <= highest_cell(cells); ++g) {
    if (cells.at(g).kind == kSignal) signal_cells.push_back(g);
  }
  std::map<int64_t, int64_t> sides_of;
  for (int round = 0; round < 5; ++round) {
    MarkSetters marks;  // the signals' marks unknown in the first round
    for (const TrainRecord& s : stations) {
      for (const auto& [cell, mark] : s.marks) marks.emplace(cell, std::pair(int64_t{-1}, mark));
    }
    for (int64_t g : signal_cells) {
      for (int64_t j = 1; j <= 4; ++j) {
        marks.emplace(g - 2 * j,
                      std::pair(g, round == 0 ? std::nullopt : std::optional<uint8_t>(low8(sides_of[g] * 10 + j))));
      }
    }
    std::map<int64_t, int64_t> found;
    for (int64_t g : signal_cells) {
      found[g] = signal_sides(cells, g, cells.at(g).signal_code(), marks);
    }
    if (found == sides_of) break;
    sides_of = std::move(found);
  }
  std::vector<TrainRecord> records;
  const std::string key = keyword(RecordPart::kTrain, "segnale");
  for (int64_t g = 0; g <= highest_cell(cells); ++g) {
    const TrackCell& c = cells.at(g);
    if (c.kind != kSignal || g < 8) continue;
    const int64_t code = c.signal_code();
    const int64_t sides = sides_of[g];
    const int64_t combined = (code - sides) / 10;
    // Only a signal whose left type is 2 keeps its time.
    int64_t left_type = sides >= 0 ? sides / 3 : 0;
    if (c.signal_time != 0 || (sides >= 6 && sides <= 8)) left_type = 2;
    const int64_t right_type = sides - 3 * left_type;
    int64_t time = c.signal_time;
    if (time >= 1 && time <= 100) time += 256;
    std::array<int64_t, 3> left{}, right{};
    for (int n = 1; n <= 3; ++n) {
      const int64_t a = c.signal_aspect(n);
      left[static_cast<std::size_t>(n - 1)] = a / 10;
      right[static_cast<std::size_t>(n - 1)] = a - 10 * (a / 10);
    }
    std::string line = key;
    for (int64_t v : {element_position_of(g), left_type, left[0], left[1], left[2], combined, right_type, right[0],
                      right[1], right[2], time}) {
      line += ",  " + num(v);
    }
    TrainRecord record{2, element_position_of(g), std::move(line), {}};
    for (int64_t j = 1; j <= 4; ++j) record.marks.emplace_back(g - 2 * j, low8(sides * 10 + j));
    records.push_back(std::move(record));
  }
  return records;
}

// The reading order of the station and signal records: each kind in its
// section, in rising order (stations in slot order), except where a cell
// keeps the mark of a record that, so read, another record would replace:
// the replaced one is read first, out of its section or its position
// order, as the set's source must have read it. Where the marks ask for
// no order at all (a mark no record sets, or records that each must come
// first), the sections' order.
std::vector<const TrainRecord*> reading_order(const std::vector<TrainRecord>& records, const TrackCells& cells) {
  const std::size_t n = records.size();
  // The default order: stations as given, signals by position.
  std::vector<std::vector<std::size_t>> after(n);  // after[a]: records read after a
  std::vector<int> before_count(n, 0);
  auto must_precede = [&](std::size_t a, std::size_t b) {
    after[a].push_back(b);
    ++before_count[b];
  };
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (records[i].section == 0 && records[i + 1].section == 0) must_precede(i, i + 1);
  }
  std::map<int64_t, std::vector<std::pair<std::size_t, uint8_t>>> setters;
  for (std::size_t i = 0; i < n; ++i) {
    for (const auto& [cell, mark] : records[i].marks) setters[cell].emplace_back(i, mark);
  }
  // Whether `to` must be read after `from`, as far as the order is known.
  // The search is bounded in all (a set made by hand may ask for it at
  // every cell): past the bound, every record counts as following.
  int64_t budget = 64 * static_cast<int64_t>(n) + 100000;
  auto follows = [&](std::size_t from, std::size_t to) {
    std::vector<std::size_t> stack{from};
    std::set<std::size_t> seen;
    while (!stack.empty()) {
      if (--budget < 0) return true;
      const std::size_t at = stack.back();
      stack.pop_back();
      if (at == to) return true;
      if (!seen.insert(at).second) continue;
      for (std::size_t next : after[at]) stack.push_back(next);
    }
    return false;
  };
  // The cells whose kept mark one record alone sets first, then those
  // where several set it: the one read last among them is one that no
  // record it replaces must follow.
  for (bool one_keeper : {true, false}) {
    for (const auto& [cell, list] : setters) {
      if (list.size() < 2 || !cells.contains(cell)) continue;
      const uint8_t kept = cells.at(cell).approach_mark;
      std::vector<std::size_t> keepers;
      for (const auto& [i, mark] : list) {
        if (mark == kept) keepers.push_back(i);
      }
      if (keepers.empty() || (keepers.size() == 1) != one_keeper) continue;
      std::size_t keeper = keepers.back();
      for (auto k = keepers.rbegin(); k != keepers.rend(); ++k) {
        bool free = true;
        for (const auto& [i, mark] : list) free = free && (mark == kept || !follows(*k, i));
        if (free) {
          keeper = *k;
          break;
        }
      }
      for (const auto& [i, mark] : list) {
        if (mark != kept) must_precede(i, keeper);
      }
    }
  }
  // The next record read: of those free to go, the earliest section, then
  // the earliest position (records are listed so).
  auto earlier = [&](std::size_t a, std::size_t b) {
    if (records[a].section != records[b].section) return records[a].section > records[b].section;
    return a > b;
  };
  std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(earlier)> ready(earlier);
  for (std::size_t i = 0; i < n; ++i) {
    if (before_count[i] == 0) ready.push(i);
  }
  std::vector<const TrainRecord*> order;
  std::vector<bool> done(n, false);
  while (order.size() < n) {
    std::size_t i = 0;
    if (!ready.empty()) {
      i = ready.top();
      ready.pop();
      if (done[i]) continue;
    } else {
      // Records that each must come before another: the first of them in
      // the sections' order goes first.
      while (done[i]) ++i;
      for (std::size_t k = i + 1; k < n; ++k) {
        if (!done[k] && earlier(i, k)) i = k;
      }
    }
    done[i] = true;
    order.push_back(&records[i]);
    for (std::size_t b : after[i]) {
      if (--before_count[b] == 0 && !done[b]) ready.push(b);
    }
  }
  return order;
}

}  // namespace

std::string line_description(const RecoveredScenario& scenario, bool with_curves) {
  const ScenarioTable& table = scenario.table;
  Lines out;
  out.add("[generale]");
  out.record(keyword(RecordPart::kLineGeneral, "lunghezza percorso"), {num(table.general.route_length)});
  chainage_records(out, table);
  for (std::size_t k = 0; k < 3; ++k) {
    out.record(keyword(RecordPart::kLineGeneral, "sfondo", k), {num(table.route.scenery[k])});
  }
  repetition_record(out, table.train);
  out.add("[curve]");
  if (with_curves) curve_records(out, scenario.curves);
  out.add("[pendenze]");
  gradient_records(out, scenario.cells);
  out.add("[montagne]");
  montagna_records(out, scenario.cells);
  out.add("[cartelli]");
  speed_board_records(out, scenario.cells);
  out.add("[indicazioni]");
  line_board_records(out, scenario.cells, table);
  out.add("[fine]");
  return out.take();
}

std::string train_description(const RecoveredScenario& scenario, const std::vector<AbbattimentoRecord>& marks) {
  const ScenarioTable& table = scenario.table;
  const TrackCells& cells = scenario.cells;
  Lines out;
  out.add("[generale]");
  out.record(keyword(RecordPart::kTrain, "numero vetture"), {num(table.general.coaches)});
  out.record(keyword(RecordPart::kTrain, "percentuale massa frenata"), {num(table.general.braked_mass)});
  out.record(keyword(RecordPart::kTrain, "sabbia"), {num(table.train.sand)});
  out.record(keyword(RecordPart::kTrain, "orologio"),
             {num(table.train.clock_hours), num(table.train.clock_minutes), num(table.train.clock_seconds)});
  out.add("[aderenze]");
  auto adhesion = [](const TrackCell& c) -> int64_t { return c.adhesion; };
  for (const StretchRecord& r : stretch_records(cells, adhesion, past_last_filled(cells, adhesion))) {
    out.record(keyword(RecordPart::kTrain, "aderenza"), {num(r.position), num(r.value)});
  }
  out.add("[vel_limite]");
  auto speed = [](const TrackCell& c) -> int64_t { return c.speed_code; };
  for (const StretchRecord& r : stretch_records(cells, speed, past_last_filled(cells, speed))) {
    out.record(keyword(RecordPart::kTrain, "velocita"), {num(r.position), num(r.value * 5)});
  }
  std::vector<TrainRecord> records = station_records(cells, table);
  std::vector<TrainRecord> signals = signal_records(cells, records);
  std::sort(signals.begin(), signals.end(), [](const auto& a, const auto& b) { return a.position < b.position; });
  for (TrainRecord& s : signals) records.push_back(std::move(s));
  Lines slowdowns;
  slowdown_records(slowdowns, cells);
  const std::string slowdown_lines = slowdowns.take();
  // Each section's header before its first record; a record the marks
  // hold back to a later section's records is read there.
  static constexpr const char* kSections[] = {"[stazioni]", "[rallentamenti]", "[segnali]"};
  int section = 0;
  out.add(kSections[0]);
  auto open_section = [&](int wanted) {
    while (section < wanted) {
      out.add(kSections[++section]);
      if (section == 1) out.append(slowdown_lines);
    }
  };
  for (const TrainRecord* r : reading_order(records, cells)) {
    open_section(r->section);
    out.add(r->line);
  }
  open_section(2);
  out.add("[codici]");
  std::vector<AbbattimentoRecord> sorted = marks;
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.cell < b.cell; });
  for (const AbbattimentoRecord& m : sorted) {
    out.record(keyword(RecordPart::kTrain, "abbattimento"), {num(50 * m.cell), num(m.value)});
  }
  out.add("[fine]");
  return out.take();
}

}  // namespace sb
