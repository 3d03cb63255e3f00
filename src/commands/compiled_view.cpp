#include "commands/compiled_view.h"

#include "base/numbers.h"

#include <cmath>
#include <cstdio>

#include "base/encoding.h"
#include "model/cell_kinds.h"
#include "base/failures.h"
#include "base/files.h"
#include "track/check_codes.h"

namespace sb {
namespace {

bool ends_with(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::string_view base_name(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The character of a byte as listings show it: a byte Windows-1252 leaves
// undefined stands for the control character of the same number.
char32_t code_point(unsigned char c) {
  const char32_t character = cp1252_character(c);
  return character == 0xFFFD ? c : character;
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
  std::string s;
  for (const std::string& p : parts) {
    if (!s.empty()) s += separator;
    s += p;
  }
  return s;
}

std::string str(int64_t v) { return std::to_string(v); }

// The three speeds of a board for one rank: left speed × 20 + right speed ÷ 5.
std::string board_speeds(int16_t packed) {
  const BoardSpeed speed = unpack_board_speed(packed);
  return str(speed.left) + "|" + str(speed.right);
}

}  // namespace

std::optional<CompiledKind> kind_from_name(std::string_view path) {
  const std::string_view name = base_name(path);
  if (ends_with(name, "_linea.dat")) return CompiledKind::kPlan;
  if (ends_with(name, ".sim")) return CompiledKind::kTable;
  if (ends_with(name, ".dat")) return CompiledKind::kCells;
  return std::nullopt;
}

std::optional<CompiledKind> kind_from_word(std::string_view word) {
  if (word == "cells") return CompiledKind::kCells;
  if (word == "table") return CompiledKind::kTable;
  if (word == "plan") return CompiledKind::kPlan;
  return std::nullopt;
}

const char* kind_word(CompiledKind kind) {
  switch (kind) {
    case CompiledKind::kCells: return "cells";
    case CompiledKind::kTable: return "table";
    case CompiledKind::kPlan: return "plan";
  }
  return "";
}

std::string utf8_from_1252(std::string_view text) {
  std::string out;
  for (char c : text) append_utf8(out, code_point(static_cast<unsigned char>(c)));
  return out;
}

std::string printable_text(std::string_view text) {
  std::string out;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool unused = cp1252_character(c) == 0xFFFD;
    if (c < 0x20 || c == 0x7F || unused) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
      out += buffer;
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      append_utf8(out, code_point(c));
    }
  }
  return out;
}

std::optional<std::pair<std::string, std::string>> names_from_file(std::string_view path) {
  std::string_view name = base_name(path);
  if (ends_with(name, "_linea.dat")) return std::nullopt;
  if (ends_with(name, ".dat") || ends_with(name, ".sim")) {
    name.remove_suffix(4);
  } else {
    return std::nullopt;
  }
  const std::size_t cut = name.rfind('_');
  if (cut == std::string_view::npos || cut == 0 || cut + 1 == name.size()) return std::nullopt;
  return std::make_pair(std::string(name.substr(0, cut)), std::string(name.substr(cut + 1)));
}

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
    std::string s = "slot " + str(slot);
    if (table != nullptr && slot >= 0 && slot < kTableSlots) {
      const std::string& t = (*table)[static_cast<std::size_t>(slot)].text;
      s += station ? " " : " \"";
      s.append(printable_text(t));
      if (!station) s += '"';
    }
    return s;
  };
  auto extra_values = [&](bool from_second) {
    if (from_second && c.value_2 != 0) parts.emplace_back("value_2", str(c.value_2));
    if (c.value_3 != 0) parts.emplace_back("value_3", str(c.value_3));
    if (c.value_4 != 0) parts.emplace_back("value_4", str(c.value_4));
  };
  std::string name = cell_kind_name(c.kind);
  if (!cell_kind_info(c.kind)) name.append(" ").append(str(c.kind));
  switch (c.kind) {
    case cell_kind::kNothing:
      if (index == 1) {
        parts.emplace_back("format marker", str(c.value));
        parts.emplace_back("cell check code", str(c.value_2));
        if (c.value_3 != 0) parts.emplace_back("value_3", str(c.value_3));
        if (c.value_4 != 0) parts.emplace_back("value_4", str(c.value_4));
      } else {
        if (c.value != 0) parts.emplace_back("value", str(c.value));
        extra_values(true);
      }
      break;
    case cell_kind::kSignal:
      parts.emplace_back("aspects", str(c.value) + "/" + str(c.value_2) + "/" + str(c.value_3));
      parts.emplace_back("combined code", str(c.value_4));
      parts.emplace_back("time", str(c.signal_time));
      break;
    case cell_kind::kSlowdownEnd:
    case cell_kind::kSlowdownStart:
    case cell_kind::kSlowdownWarning:
      parts.emplace_back("speed", str(c.value) + " km/h");
      if (c.value_2 != 0) parts.emplace_back("d_v", str(c.value_2));
      if (c.value_3 != 0) parts.emplace_back("f_tt", str(c.value_3));
      if (c.value_4 != 0) parts.emplace_back("value_4", str(c.value_4));
      break;
    case cell_kind::kSlowdownApproach:
      parts.emplace_back("", str(c.value) + " of 4 before the warning");
      extra_values(true);
      break;
    case cell_kind::kSpeedBoard:
      parts.emplace_back("ranks A/B/C left|right", board_speeds(c.value) + " " + board_speeds(c.value_2) + " " +
                                                   board_speeds(c.value_3) + " km/h");
      parts.emplace_back("stripes", str(c.value_4 / 10) + "|" + str(c.value_4 % 10));
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
      parts.emplace_back("value", str(c.value));
      extra_values(true);
      break;
    default:
      if (c.value != 0) parts.emplace_back("value", str(c.value));
      extra_values(true);
      break;
  }
  if (c.kind != cell_kind::kSignal && c.signal_time != 0) parts.emplace_back("signal_time", str(c.signal_time));
  if (c.approach_mark != 0) parts.emplace_back("approach mark", str(c.approach_mark));
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
  std::string s = "slot " + str(slot) + " " + slot_role_name(role);
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
      f.emplace_back("kind", str(r.kind));
      f.emplace_back("start", m(r.start));
      f.emplace_back("end", m(r.end));
      f.emplace_back("position", m(r.position));
      f.emplace_back("time", clock_text(r.time));
      f.emplace_back("values 4-13",
                     joined({str(r.attribute_4), str(r.attribute_5), str(r.end_extension), str(r.attribute_7),
                             str(r.attribute_8), str(r.attribute_9), str(r.attribute_10), str(r.attribute_11),
                             str(r.attribute_12), str(r.attribute_13)},
                            " "));
      break;
    case SlotRole::kChainage: {
      const bool falling = r.position == 1;
      f.emplace_back("from", m(r.start));
      f.emplace_back("reference", metres_text(falling ? static_cast<int64_t>(r.end) - 100 : r.end) +
                                      (falling ? " (stored " + str(r.end) + ")" : std::string()));
      f.emplace_back("direction", r.position == 0 ? "rising" : r.position == 1 ? "falling" : str(r.position));
      break;
    }
    case SlotRole::kGeneral:
      f.emplace_back("route length", metres_text(r.end));
      f.emplace_back("coaches", str(r.position));
      f.emplace_back("braked mass", str(r.start) + " %");
      break;
    case SlotRole::kRoute:
      f.emplace_back("route", printable_text(r.text));
      f.emplace_back("scenery", str(r.start) + " " + str(r.position) + " " + str(r.end));
      f.emplace_back("format marker", str(r.attribute_7));
      f.emplace_back("route check code", str(r.time));
      break;
    case SlotRole::kTrain:
      f.emplace_back("train", printable_text(r.text));
      f.emplace_back("repetition", metres_text(r.start) + ", " + metres_text(r.end) + ", " + str(r.position) +
                                       " codes");
      f.emplace_back("sand", str(r.attribute_7));
      f.emplace_back("start clock", clock_text(int64_t{r.attribute_10} * 3600 + int64_t{r.attribute_11} * 60 +
                                               r.attribute_12));
      break;
  }
  // Fields that the role leaves unused but that hold something.
  const SlotRole role = slot_role(slot, r);
  if (role != SlotRole::kStation && role != SlotRole::kEmpty && role != SlotRole::kBoard) {
    auto extra = [&](const char* name, int64_t v, bool used) {
      if (!used && v != 0) f.emplace_back(name, str(v));
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

PlanSummary summarise_plan(int64_t last_metre, const std::function<bool(PlanMetre&)>& next) {
  PlanSummary s;
  s.last_metre = last_metre;
  // Each metre from 2 on repeats the step before it, turned by the
  // curvature k of its class: the turn is replayed exactly as the plan was
  // integrated, with every class on both sides, to find the one it matches.
  struct Turn {
    int klass;
    int side;
    double k;
  };
  CurveRun run;
  bool open = false;
  double estimate_sum = 0.0;
  auto close = [&]() {
    if (!open) return;
    if (run.klass == 0) run.curvature = estimate_sum / static_cast<double>(run.length);
    s.curves.push_back(run);
    open = false;
  };
  std::size_t computed = 0;
  bool broken = false;
  double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;  // the two metres before
  for (PlanMetre pm; next(pm);) {
    if (broken || pm.first.tag == plan_tag::kEmpty || pm.second.tag == plan_tag::kEmpty) {
      broken = true;
      s.values_after_computed = s.values_after_computed || pm.first.tag != plan_tag::kEmpty;
      continue;
    }
    const std::size_t m = computed++;
    const double x = pm.first.value, y = pm.second.value;
    if (m == 0) {
      s.min_first = s.max_first = x;
      s.min_second = s.max_second = y;
    } else {
      s.min_first = std::fmin(s.min_first, x);
      s.max_first = std::fmax(s.max_first, x);
      s.min_second = std::fmin(s.min_second, y);
      s.max_second = std::fmax(s.max_second, y);
      s.total_length += std::hypot(x - x1, y - y1);
    }
    if (m >= 2) {
      const double d0 = x1 - x2;
      const double d1 = y1 - y2;
      Turn turn{-1, 0, 0.0};  // -1: straight
      if (!(x1 + d0 == x && y1 + d1 == y)) {
        turn = {0, 0, 0.0};
        for (int c = 0; c < 6 && turn.klass == 0; ++c) {
          for (int side : {1, -1}) {
            const double k = side * kClassCurvature[c];
            if (x1 + (d0 + k * d1) == x && y1 + (d1 - k * d0) == y) {
              turn = {c + 1, side, k};
              break;
            }
          }
        }
        if (turn.klass == 0) {
          const double e0 = x - x1, e1 = y - y1;
          const double norm = d0 * d0 + d1 * d1;
          const double k = norm > 0.0 ? ((e0 - d0) * d1 - (e1 - d1) * d0) / norm : 0.0;
          turn.side = k < 0.0 ? -1 : 1;
          turn.k = k;
        }
      }
      const bool same = open && turn.klass == run.klass && turn.side == run.side;
      if (!same) close();
      if (turn.klass >= 0) {
        if (!same) {
          run = CurveRun{static_cast<int64_t>(m) - 1, 0, turn.klass, turn.side, turn.k};
          estimate_sum = 0.0;
          open = true;
        }
        ++run.length;
        estimate_sum += turn.k;
      }
    }
    x2 = x1;
    y2 = y1;
    x1 = x;
    y1 = y;
  }
  s.computed_to = static_cast<int64_t>(computed) - 1;
  close();
  return s;
}

PlanSummary summarise_plan(const DecodedPlan& plan) {
  std::size_t m = 0;
  return summarise_plan(plan.last_metre(), [&](PlanMetre& out) {
    if (m >= plan.first.size()) return false;
    out = {m, plan.first[m], plan.second[m]};
    ++m;
    return true;
  });
}

PlanSummary summarise_plan(const LinePlanStream& plan) {
  LinePlanStream::Cursor cursor = plan.cursor();
  return summarise_plan(plan.last_metre(), [&](PlanMetre& out) { return cursor.next(out); });
}

std::string curve_text(const CurveRun& run) {
  std::string s = run.side > 0 ? "right" : "left";
  s += run.klass > 0 ? " class " + str(run.klass) : " (no class)";
  s += " from " + metres_text(run.start) + ", " + metres_text(run.length) + " long";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, " (curvature %.6g per m)", run.curvature);
  return s + buffer;
}

CompiledFile load_compiled(const std::string& path, CompiledKind kind) {
  CompiledFile f;
  f.path = path;
  f.kind = kind;
  if (kind == CompiledKind::kPlan) {
    f.plan = std::make_shared<LinePlanStream>(std::make_shared<FilePlanBytes>(path));
    f.size = f.plan->size();
    return f;
  }
  // No scenario makes a cell or table file this large: a larger one is
  // refused before it is read.
  const uint64_t limit = kind == CompiledKind::kCells ? kMaxCellFileBytes : kMaxTableFileBytes;
  std::string bytes;
  if (!read_file(path, bytes, limit)) throw FileSystemError("cannot read " + path + ": no such file");
  f.size = bytes.size();
  if (kind == CompiledKind::kCells) {
    f.cells = decode_track_cells(bytes);
  } else {
    f.table = decode_scenario_table(bytes);
  }
  return f;
}

std::string table_beside(const std::string& cells_path) {
  std::string_view name = base_name(cells_path);
  if (!ends_with(name, ".dat") || ends_with(name, "_linea.dat")) return "";
  return cells_path.substr(0, cells_path.size() - 4) + ".sim";
}

std::string cells_table_disagreement(const std::string& cells_path, std::size_t cell_records,
                                     const std::string& table_path, const TableRecords& table) {
  const int64_t route_length = table[kGeneralSlot].end;
  const int64_t expected = nearest(static_cast<double>(route_length + 7000) / 50.0) + 1;
  if (expected < 1 || static_cast<int64_t>(cell_records) == expected) return "";
  const auto held = static_cast<int64_t>(cell_records);
  return cells_path + ": offset " + std::to_string(std::min(held, expected) * static_cast<int64_t>(kCellBytes)) +
         ": error: the file holds " + std::to_string(held) + " cells, but the route length " +
         std::to_string(route_length) + " m in " + table_path + " makes " + std::to_string(expected) +
         " (cut short, or not the table of these cells?)";
}

}  // namespace sb
