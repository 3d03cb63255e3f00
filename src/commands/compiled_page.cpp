#include "commands/compiled_page.h"

#include <optional>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "commands/compiled_view.h"
#include "track/check_codes.h"

namespace sb {

view::PlanPointSource decoded_plan_points(const LinePlanStream& plan) {
  return [&plan](const view::PlanPointSink& sink) {
    LinePlanStream::Cursor cursor = plan.cursor();
    for (PlanMetre m; cursor.next(m);) {
      if (m.first.tag == plan_tag::kEmpty || m.second.tag == plan_tag::kEmpty) continue;
      sink(static_cast<int64_t>(m.metre), m.first.value, m.second.value);
    }
  };
}

namespace {

using namespace cell_kind;
using view::Element;
using view::ElementKind;

std::string str(int64_t v) { return std::to_string(v); }

class CompiledBuilder {
 public:
  CompiledBuilder(const DecodedScenario& d, view::PageModel& m)
      : d_(d), m_(m), table_(d.table ? &*d.table : nullptr) {}

  void run() {
    m_.from_descriptions = false;
    m_.route_name = table_ ? (*table_)[kRouteSlot].text : d_.route_name;
    m_.train_number = table_ ? (*table_)[kTrainSlot].text : d_.train_number;
    m_.route_length = table_ ? (*table_)[kGeneralSlot].end : 0;
    const std::size_t count = d_.cells ? d_.cells->size() : 0;
    m_.cell_count = count > 0 ? static_cast<int32_t>(std::min<std::size_t>(count - 1, INT32_MAX)) : 0;
    if (d_.cells) profile(*d_.cells);
    elements();
    m_.route_check_stored = table_ ? (*table_)[kRouteSlot].time : 0;
    m_.cell_check_stored = count > 1 ? (*d_.cells)[1].value_2 : 0;
    m_.route_check_computed = route_check_code(m_.train_number, m_.route_name);
    m_.cell_check_computed = static_cast<int16_t>(cell_check_code(m_.train_number, m_.route_name));
  }

 private:
  void profile(const std::vector<CellRecord>& cells) {
    m_.gradient.reserve(cells.size());
    for (const CellRecord& c : cells) {
      m_.gradient.push_back(static_cast<int16_t>(static_cast<int>(c.gradient) - 100));
      m_.speed_code.push_back(c.speed_code);
      m_.adhesion.push_back(c.adhesion);
      m_.montagna_type.push_back(c.montagna_type);
    }
  }

  // A slowdown's end: the first end cell after its start that carries the
  // same speed and end board and is no other slowdown's (slowdowns may
  // overlap); failing that, the first free end cell; none: the start.
  std::size_t slowdown_end(std::size_t start) {
    const auto& cells = *d_.cells;
    if (end_claimed_.size() != cells.size()) end_claimed_.assign(cells.size(), false);
    std::optional<std::size_t> any;
    for (std::size_t k = start + 1; k < cells.size(); ++k) {
      if (cells[k].kind != kSlowdownEnd || end_claimed_[k]) continue;
      if (cells[k].value == cells[start].value && cells[k].value_3 == cells[start].value_3) {
        end_claimed_[k] = true;
        return k;
      }
      if (!any) any = k;
    }
    if (!any) return start;
    end_claimed_[*any] = true;
    return *any;
  }

  int32_t add(Element e) {
    m_.elements.push_back(std::move(e));
    return static_cast<int32_t>(m_.elements.size() - 1);
  }

  // The cell's values as inspect lists them, after its position.
  std::vector<std::pair<std::string, std::string>> values(std::size_t i, const CellRecord& c, int32_t position) {
    std::vector<std::pair<std::string, std::string>> v = {{"position", metres_text(position)}};
    CellMeaning meaning = cell_meaning_parts(i, c, table_);
    for (auto& part : meaning.parts) v.emplace_back(part.first.empty() ? meaning.name : part.first, part.second);
    return v;
  }

  std::string slot_text(int slot) const {
    return table_ && slot >= 0 && slot < kTableSlots ? (*table_)[static_cast<std::size_t>(slot)].text : std::string();
  }

  void elements() {
    const std::vector<CellRecord> none;
    const std::vector<CellRecord>& cells = d_.cells ? *d_.cells : none;
    std::map<int, std::size_t> board_cells, stop_cells;  // table slot -> cell
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (cells[i].kind == kLineBoard) board_cells[cells[i].value] = i;
      if (cells[i].kind == kStopCell) stop_cells[cells[i].value] = i;
    }
    stations(board_cells, stop_cells);

    for (std::size_t i = 0; i < cells.size(); ++i) {
      const CellRecord& c = cells[i];
      // An element at p went into cell nearest(p / 50 + 1); an abbattimento
      // into cell nearest(p / 50).
      const int32_t position = static_cast<int32_t>(
          std::clamp<int64_t>(c.kind == kAbbattimento || c.kind == kAbbattimentoPlain
                                  ? static_cast<int64_t>(i) * 50
                                  : element_position(i),
                              0, INT32_MAX));
      Element e;
      e.cell = static_cast<int32_t>(std::min<std::size_t>(i, INT32_MAX));
      e.position = position;
      switch (c.kind) {
        case kSignal:
          e.kind = ElementKind::kSignal;
          e.label = "signal " + str(position) + " m";
          e.values = values(i, c, position);
          e.summary = view::signal_summary(c.value, c.value_2, c.value_3, c.value_4, c.signal_time);
          add(std::move(e));
          break;
        case kLineBoard: {
          e.kind = ElementKind::kLineBoard;
          e.label = slot_text(c.value);
          e.values = values(i, c, position);
          const int32_t index = add(std::move(e));
          m_.boards.push_back({slot_text(c.value), position, index});
          break;
        }
        case kSpeedBoard: {
          e.kind = ElementKind::kSpeedBoard;
          const BoardSpeed ranks[3] = {unpack_board_speed(c.value), unpack_board_speed(c.value_2),
                                       unpack_board_speed(c.value_3)};
          e.label = str(ranks[0].left) + "/" + str(ranks[1].left) + "/" + str(ranks[2].left);
          e.values = values(i, c, position);
          for (int r = 0; r < 3; ++r) m_.speed_steps[r].push_back({position, ranks[r].left});
          const int32_t index = add(std::move(e));
          m_.boards.push_back({"speed limit " + m_.elements[static_cast<std::size_t>(index)].label, position, index});
          break;
        }
        case kSlowdownStart: {
          e.kind = ElementKind::kSlowdown;
          const std::size_t end = slowdown_end(i);
          const int32_t end_m = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(end) * 50, INT32_MAX));
          e.label = "slowdown " + str(c.value) + " km/h";
          e.values = values(i, c, position);
          e.values.emplace_back("end cell", str(static_cast<int64_t>(end)) + " (" + metres_text(end_m) + ")");
          const int32_t index = add(std::move(e));
          m_.slowdowns.push_back({position, std::max(position, end_m), c.value, index});
          break;
        }
        case kAbbattimento:
        case kAbbattimentoPlain:
          e.kind = ElementKind::kAbbattimento;
          e.label = "abbattimento";
          e.values = values(i, c, position);
          add(std::move(e));
          break;
        default: break;
      }
    }
  }

  void stations(const std::map<int, std::size_t>& board_cells, const std::map<int, std::size_t>& stop_cells) {
    if (!table_) return;
    std::vector<view::ChainageReading> systems;
    for (int s = kChainageSlot; s < kGeneralSlot; ++s) {
      const TableRecord& r = (*table_)[static_cast<std::size_t>(s)];
      systems.push_back({r.start, r.end, r.position});
    }
    for (int s = 1; s < kFirstBoardSlot; ++s) {
      if (board_cells.count(s) != 0) break;
      const TableRecord& r = (*table_)[static_cast<std::size_t>(s)];
      if (r.kind == 0 && r.text.empty() && r.position == 0 && r.time == 0) break;
      Element e;
      e.kind = ElementKind::kStation;
      auto stop = stop_cells.find(s);
      e.cell = stop != stop_cells.end() ? static_cast<int32_t>(std::min<std::size_t>(stop->second, INT32_MAX))
                                        : static_cast<int32_t>(std::clamp<int64_t>(r.position / 50, 0, INT32_MAX));
      e.position = r.position;
      e.label = r.text;
      const double km = view::chainage_km(systems, r.position);
      char km_text[32];
      std::snprintf(km_text, sizeof km_text, "%.3f", km);
      e.values = slot_fields(s, r);
      e.values.emplace(e.values.begin() + 1, "table slot", str(s));
      e.values.emplace_back("chainage", std::string("km ") + km_text);
      e.values.emplace_back("stop cell", stop != stop_cells.end() ? str(static_cast<int64_t>(stop->second)) : "none");
      const int32_t index = add(std::move(e));
      m_.stations.push_back({r.text, r.position, km, r.time, r.kind, index});
    }
  }

  const DecodedScenario& d_;
  view::PageModel& m_;
  const TableRecords* table_;
  std::vector<bool> end_claimed_;  // end cells already paired with a start
};

}  // namespace

view::PageModel page_model_from_compiled(const DecodedScenario& scenario, const view::PageModelOptions& options) {
  view::PageModel model;
  CompiledBuilder(scenario, model).run();
  view::add_plan(model, scenario.plan ? decoded_plan_points(*scenario.plan) : view::PlanPointSource{}, options);
  return model;
}

}  // namespace sb
