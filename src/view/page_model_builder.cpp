#include "view/page_model_builder.h"

#include "model/chainage.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "base/encoding.h"
#include "track/check_codes.h"
#include "view/plan_simplifier.h"

namespace sb::view {

const char* kind_name(ElementKind kind) {
  switch (kind) {
    case ElementKind::kStation: return "station";
    case ElementKind::kSignal: return "signal";
    case ElementKind::kLineBoard: return "line-board";
    case ElementKind::kSpeedBoard: return "speed-board";
    case ElementKind::kSlowdown: return "slowdown";
    case ElementKind::kAbbattimento: return "abbattimento";
  }
  return "element";
}

PlanPointSource plan_points(const LinePlan& plan) {
  return [&plan](const PlanPointSink& sink) {
    if (!plan.exists() || !plan.origin_set()) return;
    sink(0, 0.0, 0.0);
    sink(1, 0.0, 1.0);
    trace_plan(plan, [&sink](int64_t metre, double x, double y) { sink(metre, x, y); });
  };
}

double chainage_km(const std::vector<ChainageReading>& systems, int32_t position) {
  std::array<ChainageSystem, 3> ordered{};
  for (std::size_t i = 0; i < systems.size() && i < ordered.size(); ++i) {
    ordered[i] = {systems[i].start, systems[i].reference, systems[i].direction};
  }
  // Where no system covers the position, the metres from the route's start.
  return static_cast<double>(chainage_at(ordered, position).value_or(position)) / 1000.0;
}

int32_t diagnostic_cell(int32_t position, int32_t cell_count) {
  return static_cast<int32_t>(
      std::clamp<int64_t>((static_cast<int64_t>(position) + 25) / 50, 0, std::max(cell_count, 0)));
}

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

namespace {

using namespace cell_kind;

std::string str(int64_t v) { return std::to_string(v); }

std::string speeds_text(BoardSpeed s) {
  return s.right != 0 ? str(s.left) + " / " + str(s.right) + " km/h" : str(s.left) + " km/h";
}

}  // namespace

std::string clock_text(int64_t seconds) {
  if (seconds < 0) return str(seconds) + " s";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return buffer;
}

std::string signal_summary(int32_t aspect_1, int32_t aspect_2, int32_t aspect_3, int32_t combined, int32_t time) {
  return "aspects " + str(aspect_1) + "/" + str(aspect_2) + "/" + str(aspect_3) + ", combined code " +
         str(combined) + ", time " + str(time);
}

namespace {

class Builder {
 public:
  Builder(const Scenario& scenario, PageModel& model) : st_(scenario), m_(model) {}

  void run(const std::optional<FatalCheck>& fatal) {
    m_.from_descriptions = true;
    m_.route_name = st_.route_name;
    m_.train_number = st_.train_number;
    m_.route_length = st_.table.general.route_length;
    m_.cell_count = st_.cells.exists() ? static_cast<int32_t>(st_.cells.size() - 1) : 0;
    for (const PlacedElement& p : st_.placed_elements) sources_[{p.kind, p.position}] = &p;
    profile();
    elements();
    diagnostics(fatal);
    check_codes();
  }

 private:
  void profile() {
    if (!st_.cells.exists()) return;
    const auto& cells = st_.cells.cells();
    m_.gradient.reserve(cells.size());
    for (const TrackCell& c : cells) {
      m_.gradient.push_back(static_cast<int16_t>(static_cast<int>(c.gradient) - 100));
      m_.speed_code.push_back(c.speed_code);
      m_.adhesion.push_back(c.adhesion);
      m_.montagna_type.push_back(c.montagna_type);
    }
  }

  std::optional<SourceLine> source_of(uint8_t kind, int32_t position) const {
    auto it = sources_.find({kind, position});
    if (it == sources_.end()) return std::nullopt;
    const std::string& file = st_.source_names[it->second->file];
    if (file.empty()) return std::nullopt;
    return SourceLine{file, it->second->line};
  }

  int32_t add(Element e) {
    m_.elements.push_back(std::move(e));
    return static_cast<int32_t>(m_.elements.size() - 1);
  }

  std::string slot_text(int slot) const {
    return slot >= 0 && slot <= kFirstBoardSlot ? st_.table.slots[static_cast<std::size_t>(slot)].text
                                                : std::string();
  }

  void elements() {
    const int64_t count = st_.cells.exists() ? st_.cells.size() : 0;
    std::map<int, int64_t> board_cells;  // table slot -> cell
    std::map<int, int64_t> stop_cells;   // table slot -> cell
    for (int64_t i = 0; i < count; ++i) {
      const TrackCell& c = st_.cells.at(i);
      if (c.kind == kLineBoard) board_cells[c.table_slot()] = i;
      if (c.kind == kStopCell) stop_cells[c.table_slot()] = i;
    }
    stations(stop_cells, board_cells);

    for (int64_t i = 0; i < count; ++i) {
      const TrackCell& c = st_.cells.at(i);
      const int32_t origin = st_.cells.origin(i);
      Element e;
      e.cell = static_cast<int32_t>(i);
      e.position = origin;
      e.source = source_of(c.kind, origin);
      switch (c.kind) {
        case kSignal: {
          e.kind = ElementKind::kSignal;
          const int32_t combined = c.signal_code();
          const int32_t side = combined % 10;
          e.label = "signal " + str(origin) + " m";
          e.values = {{"position", str(origin) + " m"},
                      {"left type", str(side / 3)},
                      {"right type", str(side % 3)},
                      {"repetition", str(combined / 10)}};
          for (int n = 1; n <= 3; ++n) {
            e.values.emplace_back("aspects " + str(n),
                                  str(c.signal_aspect(n) / 10) + " / " + str(c.signal_aspect(n) % 10));
          }
          e.values.emplace_back("time", str(c.signal_time));
          e.summary = signal_summary(c.signal_aspect(1), c.signal_aspect(2), c.signal_aspect(3), combined,
                                     c.signal_time);
          add(std::move(e));
          break;
        }
        case kLineBoard: {
          e.kind = ElementKind::kLineBoard;
          const int slot = c.table_slot();
          const std::string text = slot_text(slot);
          e.label = text;
          e.values = {{"position", str(origin) + " m"}, {"table slot", str(slot)}, {"text", cp1252_to_utf8(text)}};
          const int32_t index = add(std::move(e));
          m_.boards.push_back({text, origin, index});
          break;
        }
        case kSpeedBoard: {
          e.kind = ElementKind::kSpeedBoard;
          const BoardSpeed ranks[3] = {unpack_board_speed(c.board_speed(0)), unpack_board_speed(c.board_speed(1)),
                                       unpack_board_speed(c.board_speed(2))};
          e.label = str(ranks[0].left) + "/" + str(ranks[1].left) + "/" + str(ranks[2].left);
          e.values = {{"position", str(origin) + " m"},
                      {"rank A", speeds_text(ranks[0])},
                      {"rank B", speeds_text(ranks[1])},
                      {"rank C", speeds_text(ranks[2])},
                      {"stripes", str(c.board_stripes() / 10) + " / " + str(c.board_stripes() % 10)}};
          for (int r = 0; r < 3; ++r) m_.speed_steps[r].push_back({origin, ranks[r].left});
          const int32_t index = add(std::move(e));
          m_.boards.push_back({"speed limit " + m_.elements[static_cast<std::size_t>(index)].label, origin, index});
          break;
        }
        case kSlowdownStart: {
          e.kind = ElementKind::kSlowdown;
          int64_t end = i;
          for (int64_t k = i + 1; k < count; ++k) {
            if (st_.cells.at(k).kind == kSlowdownEnd && st_.cells.origin(k) == origin) {
              end = k;
              break;
            }
          }
          const int32_t end_m = static_cast<int32_t>(std::min<int64_t>(end * 50, INT32_MAX));
          e.label = "slowdown " + str(c.slowdown_speed()) + " km/h";
          e.values = {{"start", str(origin) + " m"},
                      {"end cell", str(end) + " (" + str(end_m) + " m)"},
                      {"speed", str(c.slowdown_speed()) + " km/h"},
                      {"speed change", str(c.slowdown_d_v())},
                      {"end board", str(c.slowdown_f_tt())}};
          const int32_t index = add(std::move(e));
          m_.slowdowns.push_back({origin, std::max(origin, end_m), c.slowdown_speed(), index});
          break;
        }
        case kAbbattimento:
        case kAbbattimentoPlain: {
          e.kind = ElementKind::kAbbattimento;
          e.label = "abbattimento";
          e.values = {{"position", str(origin) + " m"},
                      {"value", c.kind == kAbbattimento ? str(c.abbattimento_value()) : std::string("none")},
                      {"placed", e.source ? "by the description" : "automatically"}};
          add(std::move(e));
          break;
        }
        default: break;
      }
    }
  }

  void stations(const std::map<int, int64_t>& stop_cells, const std::map<int, int64_t>& board_cells) {
    std::vector<ChainageReading> systems;
    for (const ChainageSystem& s : st_.table.chainage) systems.push_back({s.start, s.reference, s.direction});
    for (int s = 1; s < kFirstBoardSlot; ++s) {
      if (board_cells.count(s) != 0) break;
      const StationSlot& r = st_.table.slots[static_cast<std::size_t>(s)];
      if (r.kind == 0 && r.text.empty() && r.position == 0 && r.time == 0) break;
      Element e;
      e.kind = ElementKind::kStation;
      auto stop = stop_cells.find(s);
      e.cell = stop != stop_cells.end() ? static_cast<int32_t>(stop->second)
                                        : static_cast<int32_t>(std::clamp<int64_t>(r.position / 50, 0, INT32_MAX));
      e.position = r.position;
      e.label = r.text;
      e.source = source_of(kStopCell, r.position);
      const double km = chainage_km(systems, r.position);
      char km_text[32];
      std::snprintf(km_text, sizeof km_text, "%.3f", km);
      e.values = {{"name", cp1252_to_utf8(r.text)},
                  {"table slot", str(s)},
                  {"kind", str(r.kind)},
                  {"position", str(r.position) + " m"},
                  {"chainage", std::string("km ") + km_text},
                  {"platform", str(r.start) + " .. " + str(r.end) + " m"},
                  {"time", clock_text(r.time)},
                  {"stop cell", stop != stop_cells.end() ? str(stop->second) : std::string("none")}};
      const int32_t index = add(std::move(e));
      m_.stations.push_back({r.text, r.position, km, r.time, r.kind, index});
    }
  }

  void diagnostics(const std::optional<FatalCheck>& fatal) {
    for (const sb::Diagnostic& d : st_.diagnostics.list()) {
      Diagnostic out;
      out.severity = d.severity == Severity::kError ? "error" : "warning";
      out.code = d.code;
      out.file = d.file;
      out.line = d.line;
      out.message = d.message;
      if (d.position) out.cell = diagnostic_cell(*d.position, m_.cell_count);
      m_.diagnostics.push_back(std::move(out));
    }
    if (fatal) {
      Diagnostic out;
      out.severity = "error";
      out.code = fatal_code(*fatal);
      out.message = *fatal == FatalCheck::kNoTrackCells
                        ? std::string("no track cells were built; the scenario cannot be compiled")
                        : "fatal check " + str(out.code) + ": a format marker or check code has no free place";
      m_.diagnostics.push_back(std::move(out));
    }
  }

  void check_codes() {
    m_.route_check_stored = st_.table.route.check_code;
    m_.cell_check_stored = st_.cells.size() > 1 ? st_.cells.at(1).check_code() : 0;
    m_.route_check_computed = route_check_code(st_.train_number, st_.route_name);
    m_.cell_check_computed = static_cast<int16_t>(cell_check_code(st_.train_number, st_.route_name));
  }

  const Scenario& st_;
  PageModel& m_;
  std::map<std::pair<uint8_t, int32_t>, const PlacedElement*> sources_;
};

}  // namespace

PageModel page_model_from_scenario(const Scenario& scenario, const std::optional<FatalCheck>& fatal,
                                   const PageModelOptions& options) {
  PageModel model;
  Builder(scenario, model).run(fatal);
  add_plan(model, scenario.build_plan ? plan_points(scenario.plan) : PlanPointSource{}, options);
  return model;
}

}  // namespace sb::view
