#include "commands/inspect.h"

#include <cinttypes>
#include <cstdio>
#include <functional>
#include <optional>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "format/compiled_file.h"
#include "track/check_codes.h"
#include "track/markers.h"
#include "format/compiled_meaning.h"
#include "format/plan_summary.h"
#include "model/chainage.h"
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
  return "cell " + padded(std::to_string(index), 5) + "  " + padded(metres_text(m), 10) + "  " + padded(km_text(m), 11);
}

// What the listing of each kind of file shows, computed once; the text
// listing and the JSON document are two ways of writing it.
struct CellsReport {
  const CompiledFile* file = nullptr;
  const TableRecords* table = nullptr;
  int64_t cell_count = 0;
  bool has_marker_cell = false;
  int16_t marker = 0;
  int16_t stored_code = 0;
  CheckCode names;
  int32_t computed = 0;
  bool code_matches = false;
  std::vector<std::vector<ProfileRun>> profiles;  // parallel to profiles()
};

struct SlotReport {
  std::size_t offset = 0;
  SlotRole role = SlotRole::kEmpty;
  std::vector<MeaningField> fields;
};

struct TableReport {
  const CompiledFile* file = nullptr;
  int16_t marker = 0;
  int32_t stored_code = 0;
  int32_t computed = 0;
  bool matches = false;
  std::vector<SlotReport> slots;
};

struct PlanReport {
  const CompiledFile* file = nullptr;
  PlanSummary summary;
  uint64_t second_half = 0;
};

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

CellsReport report_cells(const CompiledFile& f, const TableRecords* table, const std::string& table_path) {
  CellsReport r;
  r.file = &f;
  r.table = table;
  const auto& cells = f.cells;
  r.cell_count = static_cast<int64_t>(cells.size()) - 1;
  r.names = names_for_cells(f, table, table_path);
  r.has_marker_cell = cells.size() > 1;
  r.marker = r.has_marker_cell ? cells[1].value : 0;
  r.stored_code = r.has_marker_cell ? cells[1].value_2 : 0;
  r.computed = r.names.known ? cell_check_code(r.names.train, r.names.route) : 0;
  r.code_matches = r.has_marker_cell && r.names.known && r.computed == r.stored_code;
  for (const Profile& p : profiles()) r.profiles.push_back(profile_runs(cells, p.field));
  return r;
}

TableReport report_table(const CompiledFile& f) {
  const TableRecords& t = f.table;
  TableReport r;
  r.file = &f;
  r.marker = t[kRouteSlot].attribute_7;
  r.stored_code = t[kRouteSlot].time;
  r.computed = route_check_code(t[kTrainSlot].text, t[kRouteSlot].text);
  r.matches = r.computed == r.stored_code;
  const auto offsets = table_slot_offsets(t);
  for (int s = 0; s < kTableSlots; ++s) {
    const TableRecord& record = t[static_cast<std::size_t>(s)];
    r.slots.push_back({offsets[static_cast<std::size_t>(s)], slot_role(s, record), slot_fields(s, record)});
  }
  return r;
}

PlanReport report_plan(const CompiledFile& f) { return {&f, summarise_plan(*f.plan), f.plan->second_half_offset()}; }

// A field's value in the JSON document: its numbers, else its text.
void add_meaning(json& meaning, const MeaningField& field) {
  std::string key = field.label;
  for (char& c : key) {
    if (c == ' ' || c == '-') c = '_';
  }
  if (field.numbers.empty()) {
    meaning[key] = field.text;
  } else if (field.list) {
    json values = json::array();
    for (const auto& number : field.numbers) values.push_back(number.second);
    meaning[key] = std::move(values);
  } else {
    for (const auto& [number_key, value] : field.numbers) meaning[number_key] = value;
  }
}

class Inspector {
 public:
  Inspector(const InspectOptions& options, std::ostream& out) : options_(options), out_(out) {}

  json cells_json(const CellsReport& r) {
    const CompiledFile& f = *r.file;
    json j = {{"file", f.path},
              {"kind", "cells"},
              {"size", f.size},
              {"cell_count", r.cell_count},
              {"route_length_implied", r.cell_count * 50 - 7000}};
    j["format_marker"] = {{"stored", r.has_marker_cell ? json(r.marker) : json(nullptr)},
                          {"expected", kCellFormatMarker},
                          {"matches", r.has_marker_cell && r.marker == kCellFormatMarker}};
    j["check_code"] = {{"stored", r.has_marker_cell ? json(r.stored_code) : json(nullptr)},
                       {"computed", r.names.known ? json(r.computed) : json(nullptr)},
                       {"matches", r.code_matches},
                       {"train", r.names.known ? json(utf8_from_1252(r.names.train)) : json(nullptr)},
                       {"route", r.names.known ? json(utf8_from_1252(r.names.route)) : json(nullptr)}};
    json runs = json::object();
    for (std::size_t p = 0; p < profiles().size(); ++p) {
      json list = json::array();
      for (const ProfileRun& run : r.profiles[p])
        list.push_back({{"first_cell", run.first}, {"last_cell", run.last}, {"value", run.value}});
      runs[profiles()[p].json_name] = std::move(list);
    }
    j["profiles"] = std::move(runs);
    return j;
  }

  void cells_text(const CellsReport& r) {
    const CompiledFile& f = *r.file;
    const auto& cells = f.cells;
    out_ << f.path << ": track cells, " << grouped(static_cast<int64_t>(f.size)) << " bytes\n";
    out_ << "  cells            " << cells.size() << " (cells 0 to " << r.cell_count << ")\n";
    out_ << "  route length     about " << metres_text(r.cell_count * 50 - 7000)
         << " (cell count x 50 - 7000, within 25 m)\n";
    if (!r.has_marker_cell) {
      out_ << "  format marker    none: the file has no cell 1\n";
    } else {
      out_ << "  format marker    " << r.marker
           << " (cell 1 value): " << (r.marker == kCellFormatMarker ? "as expected" : "expected 5121") << "\n";
      out_ << "  cell check code  " << r.stored_code << " (cell 1 value_2): ";
      if (!r.names.known) {
        out_ << "not checked: no scenario table beside it and no ROUTE_TRAIN name\n";
      } else {
        out_ << (r.code_matches ? "matches" : "does not match, expected " + std::to_string(r.computed)) << " train "
             << printable_text(r.names.train) << " on " << printable_text(r.names.route) << " (names from "
             << r.names.source << ")\n";
      }
    }
    out_ << (options_.all ? "every cell" : "cells holding something")
         << " (at the position that puts an element there, 50 m x (cell - 1)):\n";
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const TrackCell cell = track_cell(cells[i]);
      if (!options_.all && !cell_holds_something(i, cell)) continue;
      out_ << "  " << cell_place(i) << "  " << cell_meaning(i, cell, r.table);
      if (cell.kind != cell_kind::kNothing && has_chainage_systems(r.table)) {
        const auto chainage = table_chainage(r.table, element_position(static_cast<int64_t>(i)));
        out_ << "  (" << chainage_note(chainage) << ")";
      }
      out_ << "\n";
    }
    for (std::size_t p = 0; p < profiles().size(); ++p) {
      out_ << profiles()[p].name << ":\n";
      for (const ProfileRun& run : r.profiles[p]) {
        out_ << "  cells " << padded(std::to_string(run.first) + "-" + std::to_string(run.last), 11) << "  "
             << padded(metres_text(static_cast<int64_t>(run.first) * 50), 10) << " to "
             << padded(metres_text(static_cast<int64_t>(run.last) * 50 + 50), 10) << "  " << run.value
             << profiles()[p].unit << "\n";
      }
    }
  }

  json table_json(const TableReport& r) {
    const CompiledFile& f = *r.file;
    const TableRecords& t = f.table;
    json j = {{"file", f.path}, {"kind", "table"}, {"size", f.size}};
    j["format_marker"] = {
        {"stored", r.marker}, {"expected", kTableFormatMarker}, {"matches", r.marker == kTableFormatMarker}};
    j["check_code"] = {{"stored", r.stored_code},
                       {"computed", r.computed},
                       {"matches", r.matches},
                       {"train", utf8_from_1252(t[kTrainSlot].text)},
                       {"route", utf8_from_1252(t[kRouteSlot].text)}};
    json slots = json::array();
    for (int s = 0; s < kTableSlots; ++s) {
      const TableRecord& record = t[static_cast<std::size_t>(s)];
      const SlotReport& slot = r.slots[static_cast<std::size_t>(s)];
      json meaning = json::object();
      for (const MeaningField& field : slot.fields) add_meaning(meaning, field);
      if (slot.role == SlotRole::kStation) {
        const auto chainage = table_chainage(&t, record.position);
        meaning["chainage_m"] = chainage ? json(*chainage) : json(nullptr);
      }
      json entry = {{"slot", s}, {"offset", slot.offset}};
      for_each_slot_field(record, [&entry](const char* name, const auto& value) {
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>) {
          entry["text_length"] = value.size();
          entry[name] = utf8_from_1252(value);
        } else {
          entry[name] = value;
        }
      });
      entry["role"] = slot_role_name(slot.role);
      entry["meaning"] = std::move(meaning);
      slots.push_back(std::move(entry));
    }
    j["slots"] = std::move(slots);
    return j;
  }

  void table_text(const TableReport& r) {
    const CompiledFile& f = *r.file;
    const TableRecords& t = f.table;
    out_ << f.path << ": scenario table, " << grouped(static_cast<int64_t>(f.size)) << " bytes\n";
    auto section = [&](int s) {
      for (const MeaningField& field : r.slots[static_cast<std::size_t>(s)].fields) {
        out_ << "  " << field.label << std::string(field.label.size() < 17 ? 17 - field.label.size() : 1, ' ')
             << field.text << "\n";
      }
    };
    out_ << "general (slot 84):\n";
    section(kGeneralSlot);
    out_ << "route (slot 85):\n";
    section(kRouteSlot);
    out_ << "  check            " << (r.matches ? "matches" : "does not match, expected " + std::to_string(r.computed))
         << " train " << printable_text(t[kTrainSlot].text) << " on " << printable_text(t[kRouteSlot].text) << "\n";
    if (r.marker != kTableFormatMarker) out_ << "  format marker is not 610\n";
    out_ << "train (slot 86):\n";
    section(kTrainSlot);
    out_ << "chainage systems:\n";
    for (int s = kChainageSlot; s < kGeneralSlot; ++s) {
      out_ << "  slot " << s << ":";
      const char* separator = " ";
      for (const MeaningField& field : r.slots[static_cast<std::size_t>(s)].fields) {
        out_ << separator << field.label << " " << field.text;
        separator = "; ";
      }
      out_ << "\n";
    }
    std::vector<int> stations, boards;
    for (int s = 0; s < kChainageSlot; ++s) {
      const SlotRole role = r.slots[static_cast<std::size_t>(s)].role;
      if (role == SlotRole::kStation) stations.push_back(s);
      if (role == SlotRole::kBoard) boards.push_back(s);
    }
    out_ << "stations: " << stations.size() << "\n";
    for (int s : stations) {
      const TableRecord& record = t[static_cast<std::size_t>(s)];
      out_ << "  slot " << padded(std::to_string(s), 2) << "  " << printable_text(record.text) << "  kind "
           << int{record.kind} << "  start " << metres_text(record.start) << "  end " << metres_text(record.end)
           << "  position " << metres_text(record.position) << " (" << km_text(record.position) << " from start, "
           << chainage_note(table_chainage(&t, record.position)) << ")  time " << clock_text(record.time)
           << "  values 4-13: " << r.slots[static_cast<std::size_t>(s)].fields.back().text << "\n";
    }
    out_ << "line boards: " << boards.size() << "\n";
    for (int s : boards) {
      out_ << "  slot " << padded(std::to_string(s), 2) << "  \"" << printable_text(t[static_cast<std::size_t>(s)].text)
           << "\"\n";
    }
  }

  json plan_json(const PlanReport& r) {
    const CompiledFile& f = *r.file;
    const PlanSummary& s = r.summary;
    json j = {{"file", f.path},
              {"kind", "plan"},
              {"size", f.size},
              {"last_metre", s.last_metre},
              {"second_half_offset", r.second_half},
              {"computed_to", s.computed_to}};
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

  void plan_text(const PlanReport& r) {
    const CompiledFile& f = *r.file;
    const PlanSummary& s = r.summary;
    out_ << f.path << ": line plan, " << grouped(static_cast<int64_t>(f.size)) << " bytes\n";
    out_ << "  metres           0 to " << grouped(s.last_metre);
    if (s.last_metre >= 7000) out_ << " (route length " << metres_text(s.last_metre - 7000) << " + 7 000)";
    out_ << "; second half from offset " << grouped(static_cast<int64_t>(r.second_half)) << "\n";
    if (s.computed_to < 0) {
      out_ << "  computed         nothing: every metre is empty\n";
    } else {
      out_ << "  computed         metres 0 to " << grouped(s.computed_to);
      if (s.computed_to < s.last_metre) {
        const bool rest_empty = !s.values_after_computed;
        const bool one = s.computed_to + 1 == s.last_metre;
        out_ << (rest_empty && !one ? " (metres " : " (metre ") << grouped(s.computed_to + 1)
             << (!rest_empty ? " empty, later metres hold values)"
                 : one       ? " empty)"
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
      LinePlanStream::Cursor cursor = f.plan->cursor();
      for (PlanMetre m; cursor.next(m);) {
        out_ << "  metre " << m.metre << "  " << element(m.first) << "  " << element(m.second) << "\n";
      }
    }
  }

  // With --json, the cells' list: written cell by cell after the rest of
  // the document.
  void cell_list_json(const CompiledFile& f, const TableRecords* table) {
    bool first = true;
    for (std::size_t i = 0; i < f.cells.size(); ++i) {
      const CellRecord& c = f.cells[i];
      const TrackCell meaning = track_cell(c);
      if (!options_.all && !cell_holds_something(i, meaning)) continue;
      json cell = {{"index", i}, {"offset", i * kCellBytes}, {"position", element_position(static_cast<int64_t>(i))}};
      for_each_cell_field(c, [&cell](const char* name, auto value) { cell[name] = value; });
      cell["kind_name"] = cell_kind_name(c.kind);
      cell["meaning"] = utf8_from_1252(cell_meaning(i, meaning, table));
      if (table != nullptr) {
        const auto chainage = table_chainage(table, element_position(static_cast<int64_t>(i)));
        cell["chainage_m"] = chainage ? json(*chainage) : json(nullptr);
      }
      cell["speed_kmh"] = c.speed_code * 5;
      cell["gradient_per_mille"] = c.gradient - 100;
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
      err << "scenario-builder: error: inspect: unknown kind \"" << options.kind << "\" (cells, table or plan)\n";
      return 2;
    }
  }
  // Every kind first, so that a misnamed file stops nothing half-listed.
  std::vector<CompiledKind> kinds;
  for (const std::string& path : options.files) {
    std::optional<CompiledKind> kind = forced ? forced : kind_from_name(path);
    if (!kind) {
      err << "scenario-builder: error: inspect: cannot tell the kind of " << path
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
      err << "scenario-builder: error: " << e.what() << "\n";
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
      const CellsReport report = report_cells(f, table, table_path);
      if (options.json) {
        j = inspector.cells_json(report);
      } else {
        inspector.cells_text(report);
      }
      cells_table = table;
    } else if (f.kind == CompiledKind::kTable) {
      const TableReport report = report_table(f);
      if (options.json) {
        j = inspector.table_json(report);
      } else {
        inspector.table_text(report);
      }
    } else {
      const PlanReport report = report_plan(f);
      if (options.json) {
        j = inspector.plan_json(report);
      } else {
        inspector.plan_text(report);
      }
    }
    if (options.json) {
      if (f.kind == CompiledKind::kCells) {
        write_json_file(out, j, i == 0, "cells", [&] { inspector.cell_list_json(f, cells_table); });
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
