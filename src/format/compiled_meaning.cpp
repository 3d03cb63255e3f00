#include "format/compiled_meaning.h"

#include <array>
#include <string_view>
#include <type_traits>

#include "base/encoding.h"
#include "base/text_format.h"
#include "model/cell_kinds.h"
#include "model/chainage.h"

namespace sb {
namespace {

std::string joined(const std::vector<std::string>& parts, const char* separator) {
  std::string s;
  for (const std::string& p : parts) {
    if (!s.empty()) s += separator;
    s += p;
  }
  return s;
}

// The three speeds of a board for one rank: left speed × 20 + right speed ÷ 5.
std::string board_speeds(int16_t packed) {
  const BoardSpeed speed = unpack_board_speed(packed);
  return decimal(speed.left) + "|" + decimal(speed.right);
}

// "text" in double quotes.
std::string quoted(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  out += text;
  out += '"';
  return out;
}

}  // namespace

const char* cell_kind_name(uint8_t kind) {
  const CellKindInfo* info = cell_kind_info(kind);
  return info ? info->name : "unknown kind";
}

bool cell_holds_something(std::size_t index, const TrackCell& cell) {
  bool numbers = false;
  for (int16_t n : cell.numbers) numbers = numbers || n != 0;
  return cell.kind != cell_kind::kNothing || cell.approach_mark != 0 || index == 1 || numbers || cell.signal_time != 0;
}

CellMeaning cell_meaning_parts(std::size_t index, const TrackCell& c, const TableRecords* table) {
  std::vector<std::pair<std::string, std::string>> parts;
  auto slot_text = [&](int16_t slot, bool station) {
    std::string s = "slot " + decimal(slot);
    if (table != nullptr && slot >= 0 && slot < kTableSlots) {
      const std::string& t = (*table)[static_cast<std::size_t>(slot)].text;
      s += station ? " " : " \"";
      s.append(printable_text(t));
      if (!station) s += '"';
    }
    return s;
  };
  // Numbers the kind gives no meaning, under their layout names.
  auto raw = [&](std::size_t n) {
    static const char* const kNames[] = {"value", "value_2", "value_3", "value_4"};
    if (c.numbers[n] != 0) parts.emplace_back(kNames[n], decimal(c.numbers[n]));
  };
  auto raw_from = [&](std::size_t first) {
    for (std::size_t n = first; n < 4; ++n) raw(n);
  };
  std::string name = cell_kind_name(c.kind);
  if (!cell_kind_info(c.kind)) name.append(" ").append(decimal(c.kind));
  switch (c.kind) {
    case cell_kind::kNothing:
      if (index == 1) {
        parts.emplace_back("format marker", decimal(c.format_marker()));
        parts.emplace_back("cell check code", decimal(c.check_code()));
        raw_from(2);
      } else {
        raw_from(0);
      }
      break;
    case cell_kind::kSignal:
      parts.emplace_back("aspects", decimal(c.signal_aspect(1)) + "/" + decimal(c.signal_aspect(2)) + "/" +
                                        decimal(c.signal_aspect(3)));
      parts.emplace_back("combined code", decimal(c.signal_code()));
      parts.emplace_back("time", decimal(c.signal_time));
      break;
    case cell_kind::kSlowdownEnd:
    case cell_kind::kSlowdownStart:
    case cell_kind::kSlowdownWarning:
      parts.emplace_back("speed", decimal(c.slowdown_speed()) + " km/h");
      if (c.slowdown_d_v() != 0) parts.emplace_back("d_v", decimal(c.slowdown_d_v()));
      if (c.slowdown_f_tt() != 0) parts.emplace_back("f_tt", decimal(c.slowdown_f_tt()));
      raw(3);
      break;
    case cell_kind::kSlowdownApproach:
      parts.emplace_back("", decimal(c.approach_order()) + " of 4 before the warning");
      raw_from(1);
      break;
    case cell_kind::kSpeedBoard:
      parts.emplace_back("ranks A/B/C left|right", board_speeds(c.board_speed(0)) + " " +
                                                       board_speeds(c.board_speed(1)) + " " +
                                                       board_speeds(c.board_speed(2)) + " km/h");
      parts.emplace_back("stripes", decimal(c.board_stripes() / 10) + "|" + decimal(c.board_stripes() % 10));
      break;
    case cell_kind::kStopCell:
      parts.emplace_back("", slot_text(c.table_slot(), true));
      raw_from(1);
      break;
    case cell_kind::kLineBoard:
      parts.emplace_back("", slot_text(c.table_slot(), false));
      raw_from(1);
      break;
    case cell_kind::kAbbattimento:
      parts.emplace_back("value", decimal(c.abbattimento_value()));
      raw_from(1);
      break;
    default: raw_from(0); break;
  }
  if (c.kind != cell_kind::kSignal && c.signal_time != 0) parts.emplace_back("signal_time", decimal(c.signal_time));
  if (c.approach_mark != 0) parts.emplace_back("approach mark", decimal(c.approach_mark));
  return {c.kind == cell_kind::kNothing ? std::string() : name, std::move(parts)};
}

std::string part_text(const std::pair<std::string, std::string>& part) {
  return part.first.empty() ? part.second : part.first + " " + part.second;
}

std::string cell_meaning(std::size_t index, const TrackCell& c, const TableRecords* table) {
  const CellMeaning m = cell_meaning_parts(index, c, table);
  std::string rest;
  for (const auto& part : m.parts) rest += (rest.empty() ? "" : ", ") + part_text(part);
  if (m.name.empty()) return rest;
  return rest.empty() ? m.name : m.name + ": " + rest;
}

std::optional<int64_t> table_chainage(const TableRecords* table, int64_t position) {
  if (table == nullptr) return std::nullopt;
  return chainage_at(chainage_systems(*table), position);
}

bool has_chainage_systems(const TableRecords* table) {
  return table != nullptr && has_chainage(chainage_systems(*table));
}

SlotRole slot_role(int slot, const TableRecord& r) {
  if (slot == kGeneralSlot) return SlotRole::kGeneral;
  if (slot == kRouteSlot) return SlotRole::kRoute;
  if (slot == kTrainSlot) return SlotRole::kTrain;
  if (slot >= kChainageSlot && slot < kGeneralSlot) return SlotRole::kChainage;
  bool only_text = true;  // every field but the text holds 0
  for_each_slot_field(r, [&only_text](const char*, const auto& value) {
    if constexpr (std::is_integral_v<std::decay_t<decltype(value)>>) only_text = only_text && value == 0;
  });
  if (only_text) return r.text.empty() ? SlotRole::kEmpty : SlotRole::kBoard;
  return SlotRole::kStation;
}

const char* slot_role_name(SlotRole role) {
  switch (role) {
    case SlotRole::kEmpty: return "empty";
    case SlotRole::kStation: return "station";
    case SlotRole::kBoard: return "board";
    case SlotRole::kChainage: return "chainage";
    case SlotRole::kGeneral: return "general";
    case SlotRole::kRoute: return "route";
    case SlotRole::kTrain: return "train";
  }
  return "";
}

std::string slot_title(int slot, const TableRecord& r) {
  const SlotRole role = slot_role(slot, r);
  std::string s = "slot " + decimal(slot) + " " + slot_role_name(role);
  if (role == SlotRole::kStation) {
    s += ' ';
    s.append(printable_text(r.text));
  }
  return s;
}

std::vector<MeaningField> slot_fields(int slot, const TableRecord& r) {
  std::vector<MeaningField> f;
  auto text = [&f](const char* label, std::string shown) { f.push_back({label, std::move(shown), {}, false}); };
  auto number = [&f](const char* label, std::string shown, const char* key, int64_t value) {
    f.push_back({label, std::move(shown), {{key, value}}, false});
  };
  auto metres = [&number](const char* label, const char* key, int64_t v) {
    number(label, metres_text(v) + " (" + km_text(v) + ")", key, v);
  };
  switch (slot_role(slot, r)) {
    case SlotRole::kEmpty: break;
    case SlotRole::kBoard: text("text", quoted(printable_text(r.text))); break;
    case SlotRole::kStation: {
      text("name", printable_text(r.text));
      number("kind", decimal(r.kind), "kind", r.kind);
      metres("start", "start_m", r.start);
      metres("end", "end_m", r.end);
      metres("position", "position_m", r.position);
      number("time", clock_text(r.time), "time_s", r.time);
      const int64_t values[] = {r.attribute_4, r.attribute_5,  r.end_extension, r.attribute_7,  r.attribute_8,
                                r.attribute_9, r.attribute_10, r.attribute_11,  r.attribute_12, r.attribute_13};
      MeaningField list{"values 4-13", "", {}, true};
      std::vector<std::string> shown;
      for (int64_t v : values) {
        list.numbers.emplace_back("values_4_13", v);
        shown.push_back(decimal(v));
      }
      list.text = joined(shown, " ");
      f.push_back(std::move(list));
      break;
    }
    case SlotRole::kChainage: {
      const bool falling = r.position == 1;
      const int64_t reference = falling ? static_cast<int64_t>(r.end) - 100 : r.end;
      metres("from", "from_m", r.start);
      f.push_back({"reference",
                   metres_text(reference) + (falling ? " (stored " + decimal(r.end) + ")" : std::string()),
                   {{"reference_m", reference}, {"stored_reference_m", r.end}},
                   false});
      if (r.position == 0 || r.position == 1) {
        text("direction", r.position == 0 ? "rising" : "falling");
      } else {
        number("direction", decimal(r.position), "direction", r.position);
      }
      break;
    }
    case SlotRole::kGeneral:
      number("route length", metres_text(r.end), "route_length_m", r.end);
      number("coaches", decimal(r.position), "coaches", r.position);
      number("braked mass", decimal(r.start) + " %", "braked_mass_percent", r.start);
      break;
    case SlotRole::kRoute:
      text("route", printable_text(r.text));
      f.push_back({"scenery",
                   decimal(r.start) + " " + decimal(r.position) + " " + decimal(r.end),
                   {{"scenery", r.start}, {"scenery", r.position}, {"scenery", r.end}},
                   true});
      number("format marker", decimal(r.attribute_7), "format_marker", r.attribute_7);
      number("route check code", decimal(r.time), "route_check_code", r.time);
      break;
    case SlotRole::kTrain: {
      text("train", printable_text(r.text));
      f.push_back({"repetition",
                   metres_text(r.start) + ", " + metres_text(r.end) + ", " + decimal(r.position) + " codes",
                   {{"repetition_start_m", r.start}, {"repetition_end_m", r.end}, {"cab_signal_codes", r.position}},
                   false});
      number("sand", decimal(r.attribute_7), "sand", r.attribute_7);
      const int64_t clock = int64_t{r.attribute_10} * 3600 + int64_t{r.attribute_11} * 60 + r.attribute_12;
      number("start clock", clock_text(clock), "start_clock_s", clock);
      break;
    }
  }
  // Fields that the role leaves unused but that hold something.
  const SlotRole role = slot_role(slot, r);
  if (role != SlotRole::kStation && role != SlotRole::kEmpty && role != SlotRole::kBoard) {
    const bool route = role == SlotRole::kRoute, train = role == SlotRole::kTrain;
    auto used = [&](std::string_view name) {
      if (name == "attribute_7") return route || train;
      if (name == "attribute_10" || name == "attribute_11" || name == "attribute_12") return train;
      if (name == "time") return route;
      // start, end and position carry every role's values; the text is listed below.
      return name == "start" || name == "end" || name == "position" || name == "text";
    };
    for_each_slot_field(r, [&](const char* name, const auto& v) {
      if constexpr (std::is_integral_v<std::decay_t<decltype(v)>>) {
        if (!used(name) && v != 0) number(name, decimal(v), name, v);
      }
    });
    if (!route && !train && !r.text.empty()) text("text", quoted(printable_text(r.text)));
  }
  return f;
}

}  // namespace sb
