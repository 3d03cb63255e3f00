#include "commands/inspect.h"

#include <cinttypes>
#include <cstdio>
#include <functional>
#include <optional>

#include <nlohmann/json.hpp>

#include "format/compiled_file.h"
#include "track/check_codes.h"
#include "track/markers.h"
#include "format/compiled_meaning.h"
#include "format/plan_summary.h"
#include "base/encoding.h"
#include "base/text_format.h"
#include "commands/recover.h"
#include "base/failures.h"

namespace sb {
namespace {

using nlohmann::json;

std::string format(const char* pattern, double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, v);
  return buffer;
}

std::string padded(std::string s, std::size_t width) {
  if (s.size() < width) s.insert(0, width - s.size(), ' ');
  return s;
}

struct CheckCode {
  std::string train, route, source;  // source: where the names came from; empty: unknown
  bool known = false;
};

// Runs of equal values over the cells.
struct ProfileRun {
  std::size_t first = 0, last = 0;
  int64_t value = 0;
};
std::vector<ProfileRun> profile_runs(const std::vector<CellRecord>& cells,
                                     const std::function<int64_t(const CellRecord&)>& field) {
  std::vector<ProfileRun> runs;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const int64_t v = field(cells[i]);
    if (!runs.empty() && runs.back().value == v) {
      runs.back().last = i;
    } else {
      runs.push_back({i, i, v});
    }
  }
  return runs;
}

struct Profile {
  const char* name;
  const char* json_name;
  std::function<int64_t(const CellRecord&)> field;
  const char* unit;
};
const std::vector<Profile>& profiles() {
  static const std::vector<Profile> list = {
      {"gradient", "gradient_per_mille", [](const CellRecord& c) { return int64_t{c.gradient} - 100; }, " \u2030"},
      {"speed limit", "speed_kmh", [](const CellRecord& c) { return int64_t{c.speed_code} * 5; }, " km/h"},
      {"adhesion", "adhesion", [](const CellRecord& c) { return int64_t{c.adhesion}; }, ""},
      {"montagna type", "montagna_type", [](const CellRecord& c) { return int64_t{c.montagna_type}; }, ""},
  };
  return list;
}

std::string cell_place(std::size_t index) {
  const int64_t m = element_position(index);
  return "cell " + padded(std::to_string(index), 5) + "  " + padded(metres_text(m), 10) + "  " +
         padded(km_text(m), 11);
}

class Inspector {
 public:
  Inspector(const InspectOptions& options, std::ostream& out) : options_(options), out_(out) {}

  // Names for the cell check code: the table given or beside the file, else the file name.
  CheckCode names_for_cells(const CompiledFile& f, const TableRecords* table, const std::string& table_path) {
    CheckCode c;
    if (table != nullptr) {
      c = {(*table)[kTrainSlot].text, (*table)[kRouteSlot].text, table_path, true};
    } else if (auto names = names_from_file(f.path)) {
      c = {names->second, names->first, "the file name", true};
    }
    return c;
  }

  json cells(const CompiledFile& f, const TableRecords* table, const std::string& table_path) {
    const auto& cells = f.cells;
    const int64_t cell_count = static_cast<int64_t>(cells.size()) - 1;
    const CheckCode names = names_for_cells(f, table, table_path);
    const bool has_marker_cell = cells.size() > 1;
    const int16_t marker = has_marker_cell ? cells[1].value : 0;
    const int16_t stored_code = has_marker_cell ? cells[1].value_2 : 0;
    const int32_t computed = names.known ? cell_check_code(names.train, names.route) : 0;
    const bool code_matches = has_marker_cell && names.known && computed == stored_code;
    if (options_.json) {
      json j = {{"file", f.path}, {"kind", "cells"}, {"size", f.size}, {"cell_count", cell_count},
                {"route_length_implied", cell_count * 50 - 7000}};
      j["format_marker"] = {{"stored", has_marker_cell ? json(marker) : json(nullptr)},
                            {"expected", kCellFormatMarker},
                            {"matches", has_marker_cell && marker == kCellFormatMarker}};
      j["check_code"] = {{"stored", has_marker_cell ? json(stored_code) : json(nullptr)},
                         {"computed", names.known ? json(computed) : json(nullptr)},
                         {"matches", code_matches},
                         {"train", names.known ? json(utf8_from_1252(names.train)) : json(nullptr)},
                         {"route", names.known ? json(utf8_from_1252(names.route)) : json(nullptr)}};
      json runs = json::object();
      for (const Profile& p : profiles()) {
        json r = json::array();
        for (const ProfileRun& run : profile_runs(cells, p.field))
          r.push_back({{"first_cell", run.first}, {"last_cell", run.last}, {"value", run.value}});
        runs[p.json_name] = std::move(r);
      }
      j["profiles"] = std::move(runs);
      return j;
    }

    out_ << f.path << ": track cells, " << grouped(static_cast<int64_t>(f.size)) << " bytes\n";
    out_ << "  cells            " << cells.size() << " (cells 0 to " << cell_count << ")\n";
    out_ << "  route length     about " << metres_text(cell_count * 50 - 7000)
         << " (cell count x 50 - 7000, within 25 m)\n";
    if (!has_marker_cell) {
      out_ << "  format marker    none: the file has no cell 1\n";
    } else {
      out_ << "  format marker    " << marker << " (cell 1 value): "
           << (marker == kCellFormatMarker ? "as expected" : "expected 5121") << "\n";
      out_ << "  cell check code  " << stored_code << " (cell 1 value_2): ";
      if (!names.known) {
        out_ << "not checked: no scenario table beside it and no ROUTE_TRAIN name\n";
      } else {
        out_ << (code_matches ? "matches" : "does not match, expected " + std::to_string(computed)) << " train "
             << printable_text(names.train) << " on " << printable_text(names.route) << " (names from "
             << names.source << ")\n";
      }
    }
    out_ << (options_.all ? "every cell" : "cells holding something")
         << " (at the position that puts an element there, 50 m x (cell - 1)):\n";
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (!options_.all && !cell_holds_something(i, cells[i])) continue;
      out_ << "  " << cell_place(i) << "  " << cell_meaning(i, cells[i], table) << "\n";
    }
    for (const Profile& p : profiles()) {
      out_ << p.name << ":\n";
      for (const ProfileRun& run : profile_runs(cells, p.field)) {
        out_ << "  cells " << padded(std::to_string(run.first) + "-" + std::to_string(run.last), 11) << "  "
             << padded(metres_text(static_cast<int64_t>(run.first) * 50), 10) << " to "
             << padded(metres_text(static_cast<int64_t>(run.last) * 50 + 50), 10) << "  " << run.value << p.unit
             << "\n";
      }
    }
    return {};
  }

  json table(const CompiledFile& f) {
    const TableRecords& t = f.table;
    const auto offsets = table_slot_offsets(t);
    const std::string& train = t[kTrainSlot].text;
    const std::string& route = t[kRouteSlot].text;
    const int32_t computed = route_check_code(train, route);
    const bool matches = computed == t[kRouteSlot].time;
    if (options_.json) {
      json j = {{"file", f.path}, {"kind", "table"}, {"size", f.size}};
      j["format_marker"] = {{"stored", t[kRouteSlot].attribute_7},
                            {"expected", kTableFormatMarker},
                            {"matches", t[kRouteSlot].attribute_7 == kTableFormatMarker}};
      j["check_code"] = {{"stored", t[kRouteSlot].time},
                         {"computed", computed},
                         {"matches", matches},
                         {"train", utf8_from_1252(train)},
                         {"route", utf8_from_1252(route)}};
      json slots = json::array();
      for (int s = 0; s < kTableSlots; ++s) {
        const TableRecord& r = t[static_cast<std::size_t>(s)];
        json meaning = json::object();
        for (const auto& [label, value] : slot_fields(s, r)) meaning[label] = value;
        slots.push_back({{"slot", s},
                         {"offset", offsets[static_cast<std::size_t>(s)]},
                         {"kind", r.kind},
                         {"start", r.start},
                         {"end", r.end},
                         {"position", r.position},
                         {"attribute_4", r.attribute_4},
                         {"text_length", r.text.size()},
                         {"text", utf8_from_1252(r.text)},
                         {"attribute_7", r.attribute_7},
                         {"attribute_8", r.attribute_8},
                         {"attribute_10", r.attribute_10},
                         {"attribute_11", r.attribute_11},
                         {"attribute_12", r.attribute_12},
                         {"attribute_9", r.attribute_9},
                         {"attribute_13", r.attribute_13},
                         {"end_extension", r.end_extension},
                         {"attribute_5", r.attribute_5},
                         {"time", r.time},
                         {"role", slot_role_name(slot_role(s, r))},
                         {"meaning", std::move(meaning)}});
      }
      j["slots"] = std::move(slots);
      return j;
    }

    out_ << f.path << ": scenario table, " << grouped(static_cast<int64_t>(f.size)) << " bytes\n";
    auto section = [&](int s) {
      const TableRecord& r = t[static_cast<std::size_t>(s)];
      for (const auto& [label, value] : slot_fields(s, r))
        out_ << "  " << label << std::string(label.size() < 17 ? 17 - label.size() : 1, ' ') << value << "\n";
    };
    out_ << "general (slot 84):\n";
    section(kGeneralSlot);
    out_ << "route (slot 85):\n";
    section(kRouteSlot);
    out_ << "  check            " << (matches ? "matches" : "does not match, expected " + std::to_string(computed))
         << " train " << printable_text(train) << " on " << printable_text(route) << "\n";
    if (t[kRouteSlot].attribute_7 != kTableFormatMarker) out_ << "  format marker is not 610\n";
    out_ << "train (slot 86):\n";
    section(kTrainSlot);
    out_ << "chainage systems:\n";
    for (int s = kChainageSlot; s < kGeneralSlot; ++s) {
      out_ << "  slot " << s << ":";
      const char* separator = " ";
      for (const auto& [label, value] : slot_fields(s, t[static_cast<std::size_t>(s)])) {
        out_ << separator << label << " " << value;
        separator = "; ";
      }
      out_ << "\n";
    }
    std::vector<int> stations, boards;
    for (int s = 0; s < kChainageSlot; ++s) {
      const SlotRole role = slot_role(s, t[static_cast<std::size_t>(s)]);
      if (role == SlotRole::kStation) stations.push_back(s);
      if (role == SlotRole::kBoard) boards.push_back(s);
    }
    out_ << "stations: " << stations.size() << "\n";
    for (int s : stations) {
      const TableRecord& r = t[static_cast<std::size_t>(s)];
      out_ << "  slot " << padded(std::to_string(s), 2) << "  " << printable_text(r.text) << "  kind " << int{r.kind}
           << "  start " << metres_text(r.start) << "  end " << metres_text(r.end) << "  position "
           << metres_text(r.position) << " (" << km_text(r.position) << ")  time " << clock_text(r.time)
           << "  values 4-13: " << slot_fields(s, r).back().second << "\n";
    }
    out_ << "line boards: " << boards.size() << "\n";
    for (int s : boards) {
      out_ << "  slot " << padded(std::to_string(s), 2) << "  \"" << printable_text(t[static_cast<std::size_t>(s)].text)
           << "\"\n";
    }
    return {};
  }

  json plan(const CompiledFile& f) {
    const LinePlanStream& plan = *f.plan;
    const PlanSummary s = summarise_plan(plan);
    const uint64_t second_half = plan.second_half_offset();
    if (options_.json) {
      json j = {{"file", f.path}, {"kind", "plan"}, {"size", f.size}, {"last_metre", s.last_metre},
                {"second_half_offset", second_half}, {"computed_to", s.computed_to}};
      j["bounding_box"] = {{"first", {s.min_first, s.max_first}}, {"second", {s.min_second, s.max_second}}};
      j["total_length"] = s.total_length;
      json curves = json::array();
      for (const CurveRun& c : s.curves) {
        curves.push_back({{"start", c.start},
                          {"length", c.length},
                          {"class", c.klass == 0 ? json(nullptr) : json(c.klass)},
                          {"side", c.side > 0 ? "d" : "s"},
                          {"curvature", c.curvature}});
      }
      j["curves"] = std::move(curves);
      return j;
    }

    out_ << f.path << ": line plan, " << grouped(static_cast<int64_t>(f.size)) << " bytes\n";
    out_ << "  metres           0 to " << grouped(s.last_metre);
    if (s.last_metre >= 7000) out_ << " (route length " << metres_text(s.last_metre - 7000) << " + 7 000)";
    out_ << "; second half from offset " << grouped(static_cast<int64_t>(second_half)) << "\n";
    if (s.computed_to < 0) {
      out_ << "  computed         nothing: every metre is empty\n";
    } else {
      out_ << "  computed         metres 0 to " << grouped(s.computed_to);
      if (s.computed_to < s.last_metre) {
        const bool rest_empty = !s.values_after_computed;
        const bool one = s.computed_to + 1 == s.last_metre;
        out_ << (rest_empty && !one ? " (metres " : " (metre ") << grouped(s.computed_to + 1)
             << (!rest_empty ? " empty, later metres hold values)"
                 : one      ? " empty)"
                            : " to " + grouped(s.last_metre) + " empty)");
      }
      out_ << "\n";
      out_ << "  bounding box     first " << format("%.3f", s.min_first) << " to " << format("%.3f", s.max_first)
           << " m, second " << format("%.3f", s.min_second) << " to " << format("%.3f", s.max_second) << " m\n";
      out_ << "  total length     " << format("%.3f", s.total_length) << " m along the line\n";
    }
    out_ << "curves: " << s.curves.size() << "\n";
    for (const CurveRun& c : s.curves) out_ << "  " << curve_text(c) << "\n";
    if (options_.all) {
      out_ << "every metre (tag value, first and second coordinate):\n";
      auto element = [](const PlanElement& e) {
        if (e.tag == plan_tag::kEmpty) return std::string("0 -");
        return std::to_string(e.tag) + " " + format("%.17g", e.value);
      };
      LinePlanStream::Cursor cursor = plan.cursor();
      for (PlanMetre m; cursor.next(m);) {
        out_ << "  metre " << m.metre << "  " << element(m.first) << "  " << element(m.second) << "\n";
      }
    }
    return {};
  }

  // With --json, the cells' list: written cell by cell after the rest of
  // the document.
  void cells_json(const CompiledFile& f, const TableRecords* table) {
    bool first = true;
    for (std::size_t i = 0; i < f.cells.size(); ++i) {
      const CellRecord& c = f.cells[i];
      if (!options_.all && !cell_holds_something(i, c)) continue;
      const json cell = {{"index", i},
                         {"offset", i * kCellBytes},
                         {"position", element_position(i)},
                         {"kind", c.kind},
                         {"value", c.value},
                         {"value_2", c.value_2},
                         {"value_3", c.value_3},
                         {"value_4", c.value_4},
                         {"signal_time", c.signal_time},
                         {"approach_mark", c.approach_mark},
                         {"montagna_type", c.montagna_type},
                         {"speed_code", c.speed_code},
                         {"gradient", c.gradient},
                         {"adhesion", c.adhesion},
                         {"kind_name", cell_kind_name(c.kind)},
                         {"meaning", utf8_from_1252(cell_meaning(i, c, table))},
                         {"speed_kmh", c.speed_code * 5},
                         {"gradient_per_mille", c.gradient - 100}};
      out_ << (first ? "\n" : ",\n") << "        " << cell.dump();
      first = false;
    }
  }

  // With --json --all, the plan's metres: written one by one after the rest
  // of the plan's document, never held.
  void plan_elements_json(const CompiledFile& f) {
    auto element = [](const PlanElement& e) {
      return json{{"tag", e.tag}, {"value", e.tag == plan_tag::kEmpty ? json(nullptr) : json(e.value)}};
    };
    LinePlanStream::Cursor cursor = f.plan->cursor();
    bool first = true;
    for (PlanMetre m; cursor.next(m);) {
      out_ << (first ? "\n" : ",\n") << "        "
           << json{{"metre", m.metre}, {"first", element(m.first)}, {"second", element(m.second)}}.dump();
      first = false;
    }
  }

 private:
  const InspectOptions& options_;
  std::ostream& out_;
};

}  // namespace

// One file's document inside the "files" array, indented to its place;
// `elements` writes the list under `key` as the document's last member.
void write_json_file(std::ostream& out, const json& document, bool first, const std::string& key,
                     const std::function<void()>& elements) {
  std::string text = document.dump(2);
  std::string indented;
  indented.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    indented += c;
    if (c == '\n') indented += "    ";
  }
  out << (first ? "\n    " : ",\n    ");
  if (!elements) {
    out << indented;
    return;
  }
  indented.erase(indented.size() - 1);  // the closing brace
  while (!indented.empty() && (indented.back() == ' ' || indented.back() == '\n')) indented.pop_back();
  out << indented << ",\n      \"" << key << "\": [";
  elements();
  out << "\n      ]\n    }";
}

int run_inspect(const InspectOptions& options, std::ostream& out, std::ostream& err) {
  std::optional<CompiledKind> forced;
  if (!options.kind.empty()) {
    forced = kind_from_word(options.kind);
    if (!forced) {
      err << "scenario-builder: inspect: unknown kind \"" << options.kind << "\" (cells, table or plan)\n";
      return 2;
    }
  }
  // Every kind first, so that a misnamed file stops nothing half-listed.
  std::vector<CompiledKind> kinds;
  for (const std::string& path : options.files) {
    std::optional<CompiledKind> kind = forced ? forced : kind_from_name(path);
    if (!kind) {
      err << "scenario-builder: inspect: cannot tell the kind of " << path
          << " from its name (_linea.dat, .sim, .dat); give --kind\n";
      return 2;
    }
    kinds.push_back(*kind);
  }
  if (const std::string unfinished = unfinished_commit_problem(options.files); !unfinished.empty()) {
    err << "scenario-builder: error: " << unfinished << "\n";
    return 1;
  }
  std::vector<CompiledFile> loaded;
  for (std::size_t i = 0; i < options.files.size(); ++i) {
    try {
      loaded.push_back(load_compiled(options.files[i], kinds[i]));
    } catch (const DecodeError& e) {
      err << format_decode_error(options.files[i], e) << "\n";
      return 1;
    } catch (const FileSystemError& e) {
      err << "scenario-builder: " << e.what() << "\n";
      return 1;
    }
  }

  Inspector inspector(options, out);
  int status = 0;
  // The JSON document is written file by file as each is listed; the
  // plan's metres (--all) go out one at a time.
  if (options.json) out << "{\n  \"files\": [";
  for (std::size_t i = 0; i < loaded.size(); ++i) {
    const CompiledFile& f = loaded[i];
    if (!options.json && i > 0) out << "\n";
    json j;
    const TableRecords* cells_table = nullptr;
    std::optional<CompiledFile> found;
    if (f.kind == CompiledKind::kCells) {
      // The table of the same scenario: given among the files, or beside it.
      const std::string beside = table_beside(f.path);
      const TableRecords* table = nullptr;
      std::string table_path;
      for (const CompiledFile& other : loaded) {
        if (other.kind == CompiledKind::kTable && (beside.empty() || other.path == beside || table == nullptr)) {
          table = &other.table;
          table_path = other.path;
        }
      }
      if (table == nullptr && !beside.empty()) {
        try {
          found = load_compiled(beside, CompiledKind::kTable);
          table = &found->table;
          table_path = beside;
        } catch (const std::exception&) {
          // No usable table beside it: the listing does without.
        }
      }
      if (table != nullptr) {
        const std::string disagreement = cells_table_disagreement(f.path, f.cells.size(), table_path, *table);
        if (!disagreement.empty()) {
          err << disagreement << "\n";
          status = 1;
        }
      }
      j = inspector.cells(f, table, table_path);
      cells_table = table;
    } else if (f.kind == CompiledKind::kTable) {
      j = inspector.table(f);
    } else {
      j = inspector.plan(f);
    }
    if (options.json) {
      if (f.kind == CompiledKind::kCells) {
        write_json_file(out, j, i == 0, "cells", [&] { inspector.cells_json(f, cells_table); });
      } else if (f.kind == CompiledKind::kPlan && options.all) {
        write_json_file(out, j, i == 0, "elements", [&] { inspector.plan_elements_json(f); });
      } else {
        write_json_file(out, j, i == 0, "", {});
      }
    }
  }
  if (options.json) out << "\n  ]\n}\n";
  return status;
}

}  // namespace sb
