#include "format/compiled_meaning.h"

#include "base/encoding.h"
#include "base/text_format.h"
#include "model/cell_kinds.h"

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

}  // namespace

const char* cell_kind_name(uint8_t kind) {
  const CellKindInfo* info = cell_kind_info(kind);
  return info ? info->name : "unknown kind";
}

bool cell_holds_something(std::size_t index, const CellRecord& cell) {
  return cell.kind != cell_kind::kNothing || cell.approach_mark != 0 || index == 1 || cell.value != 0 ||
         cell.value_2 != 0 || cell.value_3 != 0 || cell.value_4 != 0 || cell.signal_time != 0;
}

CellMeaning cell_meaning_parts(std::size_t index, const CellRecord& c, const TableRecords* table) {
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
  auto extra_values = [&](bool from_second) {
    if (from_second && c.value_2 != 0) parts.emplace_back("value_2", decimal(c.value_2));
    if (c.value_3 != 0) parts.emplace_back("value_3", decimal(c.value_3));
    if (c.value_4 != 0) parts.emplace_back("value_4", decimal(c.value_4));
  };
  std::string name = cell_kind_name(c.kind);
  if (!cell_kind_info(c.kind)) name.append(" ").append(decimal(c.kind));
  switch (c.kind) {
    case cell_kind::kNothing:
      if (index == 1) {
        parts.emplace_back("format marker", decimal(c.value));
        parts.emplace_back("cell check code", decimal(c.value_2));
        if (c.value_3 != 0) parts.emplace_back("value_3", decimal(c.value_3));
        if (c.value_4 != 0) parts.emplace_back("value_4", decimal(c.value_4));
      } else {
        if (c.value != 0) parts.emplace_back("value", decimal(c.value));
        extra_values(true);
      }
      break;
    case cell_kind::kSignal:
      parts.emplace_back("aspects", decimal(c.value) + "/" + decimal(c.value_2) + "/" + decimal(c.value_3));
      parts.emplace_back("combined code", decimal(c.value_4));
      parts.emplace_back("time", decimal(c.signal_time));
      break;
    case cell_kind::kSlowdownEnd:
    case cell_kind::kSlowdownStart:
    case cell_kind::kSlowdownWarning:
      parts.emplace_back("speed", decimal(c.value) + " km/h");
      if (c.value_2 != 0) parts.emplace_back("d_v", decimal(c.value_2));
      if (c.value_3 != 0) parts.emplace_back("f_tt", decimal(c.value_3));
      if (c.value_4 != 0) parts.emplace_back("value_4", decimal(c.value_4));
      break;
    case cell_kind::kSlowdownApproach:
      parts.emplace_back("", decimal(c.value) + " of 4 before the warning");
      extra_values(true);
      break;
    case cell_kind::kSpeedBoard:
      parts.emplace_back("ranks A/B/C left|right", board_speeds(c.value) + " " + board_speeds(c.value_2) + " " +
                                                   board_speeds(c.value_3) + " km/h");
      parts.emplace_back("stripes", decimal(c.value_4 / 10) + "|" + decimal(c.value_4 % 10));
      break;
    case cell_kind::kStopCell:
      parts.emplace_back("", slot_text(c.value, true));
      extra_values(true);
      break;
    case cell_kind::kLineBoard:
      parts.emplace_back("", slot_text(c.value, false));
      extra_values(true);
      break;
    case cell_kind::kAbbattimento:
      parts.emplace_back("value", decimal(c.value));
      extra_values(true);
      break;
    default:
      if (c.value != 0) parts.emplace_back("value", decimal(c.value));
      extra_values(true);
      break;
  }
  if (c.kind != cell_kind::kSignal && c.signal_time != 0) parts.emplace_back("signal_time", decimal(c.signal_time));
  if (c.approach_mark != 0) parts.emplace_back("approach mark", decimal(c.approach_mark));
  return {c.kind == cell_kind::kNothing ? std::string() : name, std::move(parts)};
}

std::string part_text(const std::pair<std::string, std::string>& part) {
  return part.first.empty() ? part.second : part.first + " " + part.second;
}

std::string cell_meaning(std::size_t index, const CellRecord& c, const TableRecords* table) {
  const CellMeaning m = cell_meaning_parts(index, c, table);
  std::string rest;
  for (const auto& part : m.parts) rest += (rest.empty() ? "" : ", ") + part_text(part);
  if (m.name.empty()) return rest;
  return rest.empty() ? m.name : m.name + ": " + rest;
}

SlotRole slot_role(int slot, const TableRecord& r) {
  if (slot == kGeneralSlot) return SlotRole::kGeneral;
  if (slot == kRouteSlot) return SlotRole::kRoute;
  if (slot == kTrainSlot) return SlotRole::kTrain;
  if (slot >= kChainageSlot && slot < kGeneralSlot) return SlotRole::kChainage;
  const bool only_text = r.kind == 0 && r.start == 0 && r.end == 0 && r.position == 0 && r.attribute_4 == 0 &&
                         r.attribute_7 == 0 && r.attribute_8 == 0 && r.attribute_10 == 0 && r.attribute_11 == 0 &&
                         r.attribute_12 == 0 && r.attribute_9 == 0 && r.attribute_13 == 0 &&
                         r.end_extension == 0 && r.attribute_5 == 0 && r.time == 0;
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

std::vector<std::pair<std::string, std::string>> slot_fields(int slot, const TableRecord& r) {
  std::vector<std::pair<std::string, std::string>> f;
  auto m = [](int64_t v) { return metres_text(v) + " (" + km_text(v) + ")"; };
  switch (slot_role(slot, r)) {
    case SlotRole::kEmpty:
      break;
    case SlotRole::kBoard:
      f.emplace_back("text", "\"" + printable_text(r.text) + "\"");
      break;
    case SlotRole::kStation:
      f.emplace_back("name", printable_text(r.text));
      f.emplace_back("kind", decimal(r.kind));
      f.emplace_back("start", m(r.start));
      f.emplace_back("end", m(r.end));
      f.emplace_back("position", m(r.position));
      f.emplace_back("time", clock_text(r.time));
      f.emplace_back("values 4-13",
                     joined({decimal(r.attribute_4), decimal(r.attribute_5), decimal(r.end_extension), decimal(r.attribute_7),
                             decimal(r.attribute_8), decimal(r.attribute_9), decimal(r.attribute_10), decimal(r.attribute_11),
                             decimal(r.attribute_12), decimal(r.attribute_13)},
                            " "));
      break;
    case SlotRole::kChainage: {
      const bool falling = r.position == 1;
      f.emplace_back("from", m(r.start));
      f.emplace_back("reference", metres_text(falling ? static_cast<int64_t>(r.end) - 100 : r.end) +
                                      (falling ? " (stored " + decimal(r.end) + ")" : std::string()));
      f.emplace_back("direction", r.position == 0 ? "rising" : r.position == 1 ? "falling" : decimal(r.position));
      break;
    }
    case SlotRole::kGeneral:
      f.emplace_back("route length", metres_text(r.end));
      f.emplace_back("coaches", decimal(r.position));
      f.emplace_back("braked mass", decimal(r.start) + " %");
      break;
    case SlotRole::kRoute:
      f.emplace_back("route", printable_text(r.text));
      f.emplace_back("scenery", decimal(r.start) + " " + decimal(r.position) + " " + decimal(r.end));
      f.emplace_back("format marker", decimal(r.attribute_7));
      f.emplace_back("route check code", decimal(r.time));
      break;
    case SlotRole::kTrain:
      f.emplace_back("train", printable_text(r.text));
      f.emplace_back("repetition", metres_text(r.start) + ", " + metres_text(r.end) + ", " + decimal(r.position) +
                                       " codes");
      f.emplace_back("sand", decimal(r.attribute_7));
      f.emplace_back("start clock", clock_text(int64_t{r.attribute_10} * 3600 + int64_t{r.attribute_11} * 60 +
                                               r.attribute_12));
      break;
  }
  // Fields that the role leaves unused but that hold something.
  const SlotRole role = slot_role(slot, r);
  if (role != SlotRole::kStation && role != SlotRole::kEmpty && role != SlotRole::kBoard) {
    auto extra = [&](const char* name, int64_t v, bool used) {
      if (!used && v != 0) f.emplace_back(name, decimal(v));
    };
    const bool route = role == SlotRole::kRoute, train = role == SlotRole::kTrain;
    extra("kind", r.kind, false);
    extra("attribute_4", r.attribute_4, false);
    extra("attribute_7", r.attribute_7, route || train);
    extra("attribute_8", r.attribute_8, false);
    extra("attribute_10", r.attribute_10, train);
    extra("attribute_11", r.attribute_11, train);
    extra("attribute_12", r.attribute_12, train);
    extra("attribute_9", r.attribute_9, false);
    extra("attribute_13", r.attribute_13, false);
    extra("end_extension", r.end_extension, false);
    extra("attribute_5", r.attribute_5, false);
    extra("time", r.time, route);
    if (!route && !train && !r.text.empty()) f.emplace_back("text", "\"" + printable_text(r.text) + "\"");
  }
  return f;
}

}  // namespace sb
