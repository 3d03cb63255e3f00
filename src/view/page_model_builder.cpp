#include "view/page_model_builder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "base/encoding.h"
#include "base/text_format.h"
#include "documents/driver_documents.h"
#include "format/plan_summary.h"
#include "model/chainage.h"
#include "track/check_codes.h"
#include "view/plan_simplifier.h"

namespace sb::view {

PlanPointSource plan_points(const LinePlan& plan) {
  return [&plan](const PlanPointSink& sink) {
    if (!plan.exists() || !plan.origin_set()) return;
    sink(0, 0.0, 0.0);
    sink(1, 0.0, 1.0);
    trace_plan(plan, [&sink](int64_t metre, double x, double y) { sink(metre, x, y); });
  };
}

namespace {

using namespace cell_kind;

std::string speeds_text(BoardSpeed s) {
  return s.right != 0 ? decimal(s.left) + " / " + decimal(s.right) + " km/h" : decimal(s.left) + " km/h";
}

std::string signal_summary(int32_t aspect_1, int32_t aspect_2, int32_t aspect_3, int32_t combined, int32_t time) {
  return "aspects " + decimal(aspect_1) + "/" + decimal(aspect_2) + "/" + decimal(aspect_3) + ", combined code " +
         decimal(combined) + ", time " + decimal(time);
}

int32_t clamped(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

std::string curve_label(const Curve& c) {
  return std::string(c.side < 0 ? "left" : "right") + (c.klass > 0 ? ", class " + decimal(c.klass) : ", no class");
}

// The radius to the metre; an estimate when the turn matches no class.
std::string radius_text(const Curve& c) {
  if (!std::isfinite(c.radius) || std::fabs(c.radius) > 1e12) return "none (no turn)";
  return (c.klass > 0 ? "" : "about ") + metres_text(std::llround(c.radius));
}

Curve curve_of(int64_t start, int64_t length, int side, int klass, double curvature) {
  const double k = std::fabs(curvature);
  return {start, length, side < 0 ? -1 : 1, klass, k > 0.0 ? 1.0 / k : INFINITY, -1};
}

// What the page is drawn from. `read_from` is the compile in memory when
// the page comes from description files: it knows each element's position
// and the record that placed it.
struct PageInput {
  std::string route_name;
  std::string train_number;
  const TrackCells* cells = nullptr;
  const ScenarioTable* table = nullptr;
  const Scenario* read_from = nullptr;
};

class Builder {
 public:
  Builder(const PageInput& in, PageModel& model, std::size_t max_cells)
      : in_(in), m_(model), max_cells_(static_cast<int64_t>(std::min<std::size_t>(max_cells, INT32_MAX))) {}

  void run() {
    m_.from_descriptions = in_.read_from != nullptr;
    m_.route_name = in_.route_name;
    m_.train_number = in_.train_number;
    m_.route_length = in_.table ? in_.table->general.route_length : 0;
    if (in_.table) {
      m_.chainage_systems = in_.table->chainage;
      m_.has_chainage = has_chainage(m_.chainage_systems);
    }
    const int64_t count = cell_count();
    m_.cell_count = count > 0 ? clamped(count - 1) : 0;
    if (in_.read_from) {
      for (const PlacedElement& p : in_.read_from->placed_elements) sources_[{p.kind, p.position}] = &p;
    }
    profile();
    elements();
    check_codes();
  }

 private:
  int64_t cell_count() const { return in_.cells && in_.cells->exists() ? in_.cells->size() : 0; }
  // The cells drawn: the first max_cells of them.
  int64_t drawn_cells() const { return std::min(cell_count(), max_cells_); }
  const TrackCell& cell(int64_t i) const { return in_.cells->at(i); }

  void profile() {
    if (cell_count() == 0) return;
    const auto& cells = in_.cells->cells();
    const auto drawn = static_cast<std::size_t>(drawn_cells());
    m_.cells_not_drawn = cell_count() - drawn_cells();
    m_.gradient.reserve(drawn);
    for (std::size_t i = 0; i < drawn; ++i) {
      const TrackCell& c = cells[i];
      m_.gradient.push_back(static_cast<int16_t>(static_cast<int>(c.gradient) - 100));
      m_.speed_code.push_back(c.speed_code);
      m_.adhesion.push_back(c.adhesion);
      m_.montagna_type.push_back(c.montagna_type);
    }
  }

  // Where the element of cell i stands: as its record gave it when the page
  // comes from descriptions, else as far as the cell tells.
  int32_t position_of(int64_t i) const {
    if (in_.read_from) return in_.cells->origin(i);
    const uint8_t kind = cell(i).kind;
    return clamped(kind == kAbbattimento || kind == kAbbattimentoPlain ? i * 50 : element_position(i));
  }

  std::optional<SourceLine> source_of(uint8_t kind, int32_t position) const {
    auto it = sources_.find({kind, position});
    if (it == sources_.end()) return std::nullopt;
    const std::string& file = in_.read_from->source_names[it->second->file];
    if (file.empty()) return std::nullopt;
    return SourceLine{file, it->second->line};
  }

  std::optional<int64_t> chainage_of(int64_t position) const {
    return in_.table ? chainage_at(in_.table->chainage, position) : std::nullopt;
  }

  // The element with its chainage beside its position in the values.
  int32_t add(Element e) {
    e.chainage = chainage_of(e.position);
    if (e.kind == PageKind::kSlowdown) {  // its values name the chainage of both ends
      m_.elements.push_back(std::move(e));
      return static_cast<int32_t>(m_.elements.size() - 1);
    }
    const auto at = std::find_if(e.values.begin(), e.values.end(),
                                 [](const auto& v) { return v.first == "position" || v.first == "start"; });
    e.values.insert(at == e.values.end() ? at : at + 1, {"chainage", chainage_text(e.chainage)});
    m_.elements.push_back(std::move(e));
    return static_cast<int32_t>(m_.elements.size() - 1);
  }

  std::string slot_text(int slot) const {
    return in_.table && slot >= 0 && slot <= kFirstBoardSlot ? in_.table->slots[static_cast<std::size_t>(slot)].text
                                                             : std::string();
  }

  // A slowdown's end: the end cell after its start that its record placed
  // (known from descriptions); else the first one not yet taken that
  // carries the same speed, speed change and end board (slowdowns may
  // overlap, and both ends of one slowdown carry its values); failing
  // that, the first end cell not yet taken; none: the start itself.
  int64_t slowdown_end(int64_t start) {
    if (end_taken_.empty()) end_taken_.assign(static_cast<std::size_t>(cell_count()), false);
    const TrackCell& s = cell(start);
    std::optional<int64_t> same_values, any;
    // Only as far as the cells drawn: past them nothing is shown, and the
    // search stays within bounded time per slowdown.
    for (int64_t k = start + 1; k < drawn_cells(); ++k) {
      const TrackCell& c = cell(k);
      if (c.kind != kSlowdownEnd || end_taken_[static_cast<std::size_t>(k)]) continue;
      if (in_.read_from && in_.cells->origin(k) == in_.cells->origin(start)) return take_end(k);
      const bool alike = c.slowdown_speed() == s.slowdown_speed() && c.slowdown_d_v() == s.slowdown_d_v() &&
                         c.slowdown_f_tt() == s.slowdown_f_tt();
      if (alike && !same_values) same_values = k;
      if (!any) any = k;
      if (same_values && !in_.read_from) break;
    }
    if (same_values) return take_end(*same_values);
    return any ? take_end(*any) : start;
  }
  int64_t take_end(int64_t k) {
    end_taken_[static_cast<std::size_t>(k)] = true;
    return k;
  }

  // The length of the slowdown record that starts at `position`, from
  // descriptions: the first one at that position not yet taken.
  std::optional<int32_t> record_length(int32_t position) {
    if (!in_.read_from) return std::nullopt;
    const auto& spans = in_.read_from->slowdowns;
    if (span_taken_.empty()) span_taken_.assign(spans.size(), false);
    for (std::size_t k = 0; k < spans.size(); ++k) {
      if (span_taken_[k] || spans[k].start != position) continue;
      span_taken_[k] = true;
      return spans[k].length;
    }
    return std::nullopt;
  }

  void elements() {
    const int64_t count = cell_count();
    std::map<int, int64_t> board_cells;  // table slot -> cell
    std::map<int, int64_t> stop_cells;   // table slot -> cell
    for (int64_t i = 0; i < count; ++i) {
      const TrackCell& c = cell(i);
      if (c.kind == kLineBoard) board_cells[c.table_slot()] = i;
      if (c.kind == kStopCell) stop_cells[c.table_slot()] = i;
    }
    stations(stop_cells, board_cells);
    for (int64_t i = 0; i < drawn_cells(); ++i) element(i);
    for (int64_t i = drawn_cells(); i < count; ++i) m_.elements_not_shown += shows_element(cell(i).kind) ? 1 : 0;
  }

  // Whether element() draws a cell of this kind.
  static bool shows_element(uint8_t kind) {
    return kind == kSignal || kind == kLineBoard || kind == kSpeedBoard || kind == kSlowdownStart ||
           kind == kAbbattimento || kind == kAbbattimentoPlain;
  }

  void element(int64_t i) {
    const TrackCell& c = cell(i);
    const int32_t position = position_of(i);
    Element e;
    e.cell = clamped(i);
    e.position = position;
    e.source = source_of(c.kind, position);
    if (const CellKindInfo* info = cell_kind_info(c.kind)) e.kind = info->page;
    switch (c.kind) {
      case kSignal: {
        const int32_t combined = c.signal_code();
        const int32_t side = combined % 10;
        e.label = "signal " + metres_text(position);
        e.values = {{"position", metres_text(position)},
                    {"left type", decimal(side / 3)},
                    {"right type", decimal(side % 3)},
                    {"repetition", decimal(combined / 10)}};
        for (int n = 1; n <= 3; ++n) {
          e.values.emplace_back("aspects " + decimal(n),
                                decimal(c.signal_aspect(n) / 10) + " / " + decimal(c.signal_aspect(n) % 10));
        }
        e.values.emplace_back("time", decimal(c.signal_time));
        e.summary = signal_summary(c.signal_aspect(1), c.signal_aspect(2), c.signal_aspect(3), combined, c.signal_time);
        add(std::move(e));
        break;
      }
      case kLineBoard: {
        const int slot = c.table_slot();
        const std::string text = slot_text(slot);
        e.label = text;
        e.values = {{"position", metres_text(position)}, {"table slot", decimal(slot)}, {"text", cp1252_to_utf8(text)}};
        const int32_t index = add(std::move(e));
        m_.boards.push_back({text, position, index});
        break;
      }
      case kSpeedBoard: {
        const BoardSpeed ranks[3] = {unpack_board_speed(c.board_speed(0)), unpack_board_speed(c.board_speed(1)),
                                     unpack_board_speed(c.board_speed(2))};
        e.label = decimal(ranks[0].left) + "/" + decimal(ranks[1].left) + "/" + decimal(ranks[2].left);
        e.values = {{"position", metres_text(position)},
                    {"rank A", speeds_text(ranks[0])},
                    {"rank B", speeds_text(ranks[1])},
                    {"rank C", speeds_text(ranks[2])},
                    {"stripes", decimal(c.board_stripes() / 10) + " / " + decimal(c.board_stripes() % 10)}};
        for (int r = 0; r < 3; ++r) m_.speed_steps[r].push_back({position, ranks[r].left});
        const int32_t index = add(std::move(e));
        m_.boards.push_back({"speed limit " + m_.elements[static_cast<std::size_t>(index)].label, position, index});
        break;
      }
      case kSlowdownStart: {
        const int64_t end_cell = slowdown_end(i);
        // The record's own length when it is known; else the end cell's
        // position, which inspect lists at 50 x (cell - 1) m.
        const std::optional<int32_t> given = record_length(position);
        const int32_t length = given ? *given : std::max(clamped((end_cell - 1) * 50 - int64_t{position}), 0);
        const int32_t end = clamped(int64_t{position} + length);
        e.label =
            "slowdown " + decimal(c.slowdown_speed()) + " km/h, " + metres_text(length) + " to " + metres_text(end);
        e.values = {{"x (start)", metres_text(position)},
                    {"chainage", chainage_text(chainage_of(position))},
                    {"l (length)", metres_text(length)},
                    {"end", metres_text(end)},
                    {"end chainage", chainage_text(chainage_of(end))},
                    {"v (speed)", decimal(c.slowdown_speed()) + " km/h"},
                    {"f_tt", decimal(c.slowdown_f_tt())},
                    {"d_v", decimal(c.slowdown_d_v())},
                    {"end cell", end_cell != i ? decimal(end_cell) : std::string("none (ends at the start cell)")}};
        const int32_t index = add(std::move(e));
        m_.slowdowns.push_back({position, length, end, c.slowdown_speed(), index});
        break;
      }
      case kAbbattimento:
      case kAbbattimentoPlain:
        e.label = "abbattimento";
        e.values = {{"position", metres_text(position)},
                    {"value", c.kind == kAbbattimento ? decimal(c.abbattimento_value()) : std::string("none")}};
        add(std::move(e));
        break;
      default: break;
    }
  }

  void stations(const std::map<int, int64_t>& stop_cells, const std::map<int, int64_t>& board_cells) {
    if (!in_.table) return;
    for (int s = 1; s < kFirstBoardSlot; ++s) {
      if (board_cells.count(s) != 0) break;
      const StationSlot& r = in_.table->slots[static_cast<std::size_t>(s)];
      if (r.kind == 0 && r.text.empty() && r.position == 0 && r.time == 0) break;
      Element e;
      e.kind = PageKind::kStation;
      auto stop = stop_cells.find(s);
      e.cell = stop != stop_cells.end() ? clamped(stop->second) : clamped(std::max<int64_t>(r.position / 50, 0));
      e.position = r.position;
      e.label = r.text;
      e.source = source_of(kStopCell, r.position);
      e.values = {{"name", cp1252_to_utf8(r.text)},
                  {"table slot", decimal(s)},
                  {"kind", decimal(r.kind)},
                  {"position", metres_text(r.position)},
                  {"platform", metres_text(r.start) + " .. " + metres_text(r.end)},
                  {"time", clock_text(r.time)},
                  {"stop cell", stop != stop_cells.end() ? decimal(stop->second) : std::string("none")}};
      const int32_t index = add(std::move(e));
      m_.stations.push_back({r.text, r.position, chainage_of(r.position), r.time, r.kind, index});
    }
  }

 public:
  // The curves, as elements after those of the cells, in start order.
  // The first `max` of them are shown, the rest counted.
  void curves(std::vector<Curve> list, const std::vector<std::optional<SourceLine>>& sources, std::size_t max,
              int64_t not_kept) {
    std::vector<std::size_t> order(list.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return list[a].start < list[b].start; });
    if (order.size() > max) {
      not_kept += static_cast<int64_t>(order.size() - max);
      order.resize(max);
    }
    m_.curves_not_shown = not_kept;
    for (std::size_t i : order) {
      Curve c = list[i];
      Element e;
      e.kind = PageKind::kCurve;
      e.cell = clamped(std::clamp<int64_t>(c.start / 50, 0, m_.cell_count));
      e.position = clamped(c.start);
      e.label = curve_label(c);
      e.values = {{"start", metres_text(c.start)},
                  {"length", metres_text(c.length)},
                  {"end", metres_text(c.start + c.length)},
                  {"side", c.side < 0 ? "left (s)" : "right (d)"},
                  {"class", c.klass > 0 ? decimal(c.klass) : std::string("none: the turn matches no class")},
                  {"radius", radius_text(c)}};
      e.source = i < sources.size() ? sources[i] : std::nullopt;
      c.element = add(std::move(e));
      m_.curves.push_back(c);
    }
  }

 private:
  void check_codes() {
    m_.route_check_stored = in_.table ? in_.table->route.check_code : 0;
    m_.cell_check_stored = cell_count() > 1 ? cell(1).check_code() : 0;
    m_.route_check_computed = route_check_code(m_.train_number, m_.route_name);
    m_.cell_check_computed = static_cast<int16_t>(cell_check_code(m_.train_number, m_.route_name));
  }

  const PageInput& in_;
  PageModel& m_;
  std::map<std::pair<uint8_t, int32_t>, const PlacedElement*> sources_;
  std::vector<bool> end_taken_;   // end cells already paired with a start
  std::vector<bool> span_taken_;  // slowdown records already paired with a start
  int64_t max_cells_;
};

// Streams the plan through the thinner and picks up each element's plan
// position on the way: the first plan point at or after its position.
void add_plan(PageModel& m, const PlanPointSource& source, const PageModelOptions& options) {
  m.element_xy.assign(m.elements.size(), std::nullopt);
  if (!source) return;
  std::vector<std::pair<int64_t, std::size_t>> wanted;
  wanted.reserve(m.elements.size());
  for (std::size_t i = 0; i < m.elements.size(); ++i) wanted.emplace_back(m.elements[i].position, i);
  std::sort(wanted.begin(), wanted.end());
  std::size_t next = 0;
  PlanSimplifier thinner(options.plan_tolerance, options.max_plan_points);
  source([&](int64_t metre, double x, double y) {
    thinner.add(metre, x, y);
    if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e9 || std::fabs(y) > 1e9) return;
    while (next < wanted.size() && wanted[next].first <= metre) {
      m.element_xy[wanted[next].second] = std::make_pair(x, y);
      ++next;
    }
  });
  m.plan = thinner.finish();
}

// The plan position of `metre` on the thinned plan, where the plan reaches it.
std::optional<std::pair<double, double>> thinned_plan_at(const std::vector<PlanPoint>& plan, int64_t metre) {
  if (plan.empty() || metre < plan.front().metre || metre > plan.back().metre) return std::nullopt;
  auto it =
      std::lower_bound(plan.begin(), plan.end(), metre, [](const PlanPoint& p, int64_t v) { return p.metre < v; });
  if (it->metre == metre || it == plan.begin()) return std::make_pair(it->x, it->y);
  const PlanPoint& a = *(it - 1);
  const double t = static_cast<double>(metre - a.metre) / static_cast<double>(it->metre - a.metre);
  return std::make_pair(a.x + (it->x - a.x) * t, a.y + (it->y - a.y) * t);
}

void place_curves(PageModel& m) {
  m.element_xy.resize(m.elements.size());
  for (const Curve& c : m.curves) m.element_xy[static_cast<std::size_t>(c.element)] = thinned_plan_at(m.plan, c.start);
}

// The diagnostics as the program prints them: what -w and -Wno-NAME hide
// is left out, a warning that loses input is an error. Whether the build
// failed follows from them, as compile decides; those the compile counted
// past its limits count too.
void add_diagnostics(PageModel& m, const Scenario& scenario, const std::optional<FatalCheck>& fatal,
                     const DiagnosticPresentation& presentation) {
  m.diagnostics_not_kept = static_cast<int64_t>(scenario.diagnostics.left_out_count());
  m.build.errors += static_cast<int64_t>(scenario.diagnostics.errors_left_out());
  for (const sb::Diagnostic& d : scenario.diagnostics.list()) {
    std::optional<Diagnostic> shown = presentation.shown(d);
    if (!shown) continue;
    if (shown->severity == "error") ++m.build.errors;
    if (shown->severity == "warning") ++m.build.warnings;
    m.diagnostics.push_back(std::move(*shown));
  }
  if (fatal) {
    m.diagnostics.push_back(presentation.fatal(*fatal));
    ++m.build.errors;
  }
  m.build.failed = m.build.errors > 0 || presentation.warnings_fail(scenario.diagnostics);
}

std::string without_carriage_returns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// The card and the slowdown order as the documents command writes them,
// with blank boxes where it takes options.
void add_documents(PageModel& m, const Scenario& scenario) {
  const std::string prefix = scenario.route_name + "_" + scenario.train_number + "_";
  const DocumentOptions blank;
  m.documents.push_back(
      {"Timetable card", prefix + "scheda_treno.txt", without_carriage_returns(timetable_card(scenario, blank))});
  m.documents.push_back(
      {"Slowdown order", prefix + "rallentamenti.txt", without_carriage_returns(slowdown_order(scenario, blank))});
}

}  // namespace

PageModel page_model_from_scenario(const Scenario& scenario, const std::optional<FatalCheck>& fatal,
                                   const DiagnosticPresentation& presentation, const PageModelOptions& options) {
  PageModel model;
  const PageInput in{scenario.route_name, scenario.train_number, &scenario.cells, &scenario.table, &scenario};
  Builder builder(in, model, options.max_cells);
  builder.run();
  add_diagnostics(model, scenario, fatal, presentation);
  add_plan(model, scenario.build_plan ? plan_points(scenario.plan) : PlanPointSource{}, options);
  std::vector<Curve> curves;
  std::vector<std::optional<SourceLine>> sources;
  for (const CurveRecord& r : scenario.curves) {
    curves.push_back(curve_of(r.start, r.length, r.side, r.klass,
                              r.klass >= 1 && r.klass <= 6 ? kClassCurvature[r.klass - 1] : 0.0));
    const std::string& file = scenario.source_names[r.file];
    sources.push_back(file.empty() ? std::nullopt : std::optional<SourceLine>(SourceLine{file, r.line}));
  }
  builder.curves(std::move(curves), sources, options.max_curves, 0);
  place_curves(model);
  add_documents(model, scenario);
  return model;
}

PageModel page_model_from_compiled(const DecodedScenario& d, const PageModelOptions& options) {
  PageModel model;
  const PageInput in{d.table ? d.table->route.route_name : d.route_name,
                     d.table ? d.table->train.train_number : d.train_number, d.cells ? &*d.cells : nullptr,
                     d.table ? &*d.table : nullptr, nullptr};
  Builder builder(in, model, options.max_cells);
  builder.run();
  // One pass over the plan file feeds the thinner and finds the curves.
  PlanSummary summary;
  PlanPointSource source;
  if (d.plan) {
    source = [&plan = *d.plan, &summary, &options](const PlanPointSink& sink) {
      LinePlanStream::Cursor cursor = plan.cursor();
      summary = summarise_plan(
          plan.last_metre(),
          [&](PlanMetre& m) {
            if (!cursor.next(m)) return false;
            if (m.first.tag != plan_tag::kEmpty && m.second.tag != plan_tag::kEmpty) {
              sink(static_cast<int64_t>(m.metre), m.first.value, m.second.value);
            }
            return true;
          },
          options.max_curves);
    };
  }
  add_plan(model, source, options);
  std::vector<Curve> curves;
  for (const CurveRun& run : summary.curves)
    curves.push_back(curve_of(run.start, run.length, run.side, run.klass, run.curvature));
  builder.curves(std::move(curves), {}, options.max_curves, summary.curves_not_kept);
  place_curves(model);
  return model;
}

}  // namespace sb::view
