#include "decompile/decompile.h"

#include <cstdio>
#include <map>
#include <optional>

#include "base/encoding.h"
#include "base/version.h"
#include "compile/compile.h"
#include "decompile/descriptions.h"
#include "format/compiled_meaning.h"
#include "format/line_plan_file.h"
#include "format/plan_summary.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"
#include "reader/description_source.h"

namespace sb {
namespace {

using namespace cell_kind;

// Each round adds the abbattimento marks the completion did not place by
// itself; a mark added can move one the completion places, so a few rounds
// may be needed.
constexpr int kMarkRounds = 8;

Compiled compile_descriptions(const CompiledSet& set, const std::string& line, const std::string& train,
                              const std::string& line_name, const std::string& train_name, bool build_plan) {
  MemorySource line_source(line_name, line);
  MemorySource train_source(train_name, train);
  return compile_scenario({set.route_name, set.train_number, build_plan}, {line_source, train_source});
}

bool compiled_cleanly(const Compiled& c) {
  return !c.fatal && !c.file_error && !c.scenario.diagnostics.has_errors() && c.scenario.cells.exists();
}

// The element a cell holds: its kind and values, without what stretches
// and other elements' approach marks put into every cell.
bool same_element(const CellRecord& a, const CellRecord& b) {
  return a.kind == b.kind && a.value == b.value && a.value_2 == b.value_2 && a.value_3 == b.value_3 &&
         a.value_4 == b.value_4;
}

// The abbattimento cells of the set that the compile of the descriptions
// does not give as they are. A cell that differs only in what a stretch
// puts there (a montagna type, say) has its mark: another record would
// only take the cell the completion needs.
std::vector<AbbattimentoRecord> missing_marks(const std::vector<CellRecord>& set, const TrackCells& compiled) {
  std::vector<AbbattimentoRecord> missing;
  for (std::size_t i = 0; i < set.size(); ++i) {
    const CellRecord& want = set[i];
    if (want.kind != kAbbattimento && want.kind != kAbbattimentoPlain) continue;
    const int64_t c = static_cast<int64_t>(i);
    if (compiled.contains(c) && same_element(cell_record(compiled.at(c)), want)) continue;
    if (want.kind == kAbbattimento && want.value <= 0) continue;  // no record gives it
    missing.push_back({c, want.kind == kAbbattimento ? want.value : int16_t{0}});
  }
  return missing;
}

std::string number_text(const auto& v) {
  if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string>) {
    return "\"" + v + "\"";
  } else {
    return std::to_string(static_cast<int64_t>(v));
  }
}

// "value_2 5, the descriptions give 0; ..." for the fields that differ.
template <typename Record, typename ForEach>
std::string field_differences(const Record& held, const Record& given, ForEach for_each) {
  std::map<std::string, std::string> held_fields;
  for_each(held, [&](const char* name, const auto& v) { held_fields[name] = number_text(v); });
  std::string out;
  for_each(given, [&](const char* name, const auto& v) {
    const std::string text = number_text(v);
    if (held_fields[name] == text) return;
    out += (out.empty() ? "" : ", ") + std::string(name) + " " + held_fields[name] + " → " + text;
  });
  return out;
}

void compare_cells(const CompiledSet& set, const Scenario& compiled, std::vector<SetDifference>& out) {
  const std::vector<TrackCell>& cells = compiled.cells.cells();
  if (cells.size() != set.cells.size()) {
    out.push_back({SetFile::kCells, "cell " + std::to_string(std::min(cells.size(), set.cells.size())),
                   "the set holds " + std::to_string(set.cells.size()) + " cells, the descriptions give " +
                       std::to_string(cells.size())});
  }
  const TableRecords table = set.table;
  for (std::size_t i = 0; i < std::min(cells.size(), set.cells.size()); ++i) {
    const CellRecord given = cell_record(cells[i]);
    if (given == set.cells[i]) continue;
    const std::string held_meaning = cell_meaning(i, track_cell(set.cells[i]), &table);
    const std::string given_meaning = cell_meaning(i, cells[i], &table);
    std::string message =
        "the set holds " + (held_meaning.empty() ? std::string("nothing") : held_meaning) + "; the descriptions give " +
        (given_meaning.empty() ? std::string("nothing") : given_meaning) + " (" +
        field_differences(set.cells[i], given, [](auto& r, auto v) { for_each_cell_field(r, v); }) + ")";
    out.push_back({SetFile::kCells, "cell " + std::to_string(i), std::move(message)});
  }
}

void compare_table(const CompiledSet& set, const Scenario& compiled, std::vector<SetDifference>& out) {
  const TableRecords given = table_records(compiled.table);
  for (int s = 0; s < kTableSlots; ++s) {
    const TableRecord& held = set.table[static_cast<std::size_t>(s)];
    const TableRecord& got = given[static_cast<std::size_t>(s)];
    if (held == got) continue;
    out.push_back({SetFile::kTable, "slot " + std::to_string(s),
                   slot_title(s, held) + ": the set holds " +
                       field_differences(held, got, [](auto& r, auto v) { for_each_slot_field(r, v); })});
  }
}

std::string element_text(const PlanElement& e) {
  if (e.tag == plan_tag::kEmpty) return "nothing";
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", e.value);
  return text;
}
std::string point_text(const PlanMetre& m) {
  if (m.first.tag == plan_tag::kEmpty && m.second.tag == plan_tag::kEmpty) return "no point";
  std::string text = "(";
  text += element_text(m.first);
  text += ", ";
  text += element_text(m.second);
  text += ")";
  return text;
}

// `where`: find the first metre that differs, which costs a second
// computation of the plan; else a difference says only that it differs.
// `sampled`: a plan compared with the file already, which decides where
// it gives the positions the compiled one gives.
void compare_plan(const CompiledSet& set, const Scenario& compiled, bool where, const SampledPlan* sampled,
                  std::vector<SetDifference>& out) {
  if (!set.plan) {
    if (compiled.build_plan) out.push_back({SetFile::kPlan, "metre 0", "the set has no line plan file"});
    return;
  }
  // A plan read in pieces (not held in memory) goes straight to the
  // comparison by metre, which finds no difference where there is none.
  const std::string_view held_bytes = set.plan->bytes().held();
  if (!held_bytes.empty()) {
    const bool same = sampled != nullptr && same_positions(*sampled->plan, compiled.plan)
                          ? sampled->matches.get()
                          : line_plan_matches(compiled.plan, held_bytes);
    if (same) return;
    if (!where) {
      out.push_back({SetFile::kPlan, "metre 0", "the plan differs"});
      return;
    }
  }
  // Where they differ, by metre: worked out only when they do.
  StringSink bytes;
  write_line_plan(compiled.plan, bytes);
  std::shared_ptr<const LinePlanStream> given;
  try {
    given = plan_stream_of(std::move(bytes.bytes));
  } catch (const DecodeError& e) {
    out.push_back(
        {SetFile::kPlan, "metre 0", std::string("the descriptions give a plan that cannot be read: ") + e.what()});
    return;
  }
  if (given->metres() != set.plan->metres()) {
    out.push_back({SetFile::kPlan, "metre " + std::to_string(std::min(given->metres(), set.plan->metres())),
                   "the set's plan holds " + std::to_string(set.plan->metres()) + " metres, the descriptions give " +
                       std::to_string(given->metres())});
    return;
  }
  LinePlanStream::Cursor held_cursor = set.plan->cursor();
  LinePlanStream::Cursor given_cursor = given->cursor();
  PlanMetre held, got;
  while (held_cursor.next(held) && given_cursor.next(got)) {
    if (held.first == got.first && held.second == got.second) continue;
    out.push_back({SetFile::kPlan, "metre " + std::to_string(held.metre),
                   "the set's plan holds " + point_text(held) + ", the descriptions give " + point_text(got) +
                       ": no curve record puts the plan's metres where the set has them"});
    return;  // every later metre follows from this one
  }
}

// What the cells and the table hold, without the plan's curves.
RecoveredScenario recover_cells(const CompiledSet& set) {
  RecoveredScenario r;
  r.cells = track_cells_of(set.cells);
  // The format marker and the check code share cell 1 with whatever element
  // stands there, over its first two numbers: the element itself held 0 in
  // both, or the compile would have stopped.
  if (r.cells.contains(1)) {
    r.cells.at(1).format_marker() = 0;
    r.cells.at(1).check_code() = 0;
  }
  r.table = scenario_table(set.table);
  return r;
}

}  // namespace

std::string decompile_train(const CompiledSet& set, const std::string& line_name, const std::string& train_name) {
  const RecoveredScenario recovered = recover_cells(set);
  // The abbattimento marks, found by compiling without the plan's curves
  // and without a plan: the plan is built once, for the final compile.
  const std::string line_without_curves = line_description(recovered, false);
  std::vector<AbbattimentoRecord> marks;
  for (int round = 0; round < kMarkRounds; ++round) {
    const Compiled trial = compile_descriptions(set, line_without_curves, train_description(recovered, marks),
                                                line_name, train_name, false);
    if (!compiled_cleanly(trial)) break;
    const std::vector<AbbattimentoRecord> missing = missing_marks(set.cells, trial.scenario.cells);
    bool added = false;
    for (const AbbattimentoRecord& m : missing) {
      const bool known = std::any_of(marks.begin(), marks.end(), [&](const auto& k) { return k.cell == m.cell; });
      if (known) continue;
      marks.push_back(m);
      added = true;
    }
    if (!added) break;
  }
  return train_description(recovered, marks);
}

namespace {

// A header line's text: what the reader could take for a field that runs
// on, or for the first section, is written otherwise.
std::string header_text(std::string_view path) {
  const std::string text = utf8_to_1252(path).value_or(std::string(path));
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out += c == '"' ? '\'' : c == '[' ? '(' : c == ']' ? ')' : (byte < 0x20 || byte == 0x7F) ? '?' : c;
  }
  return out;
}

// The three header lines (see Decompiled). `compared`: the differences
// are known; else the third line says so, and is replaced once they are
// (the line count stays, and with it the lines the diagnostics name).
std::string header(const CompiledSet& set, bool line_file, bool compared, const std::vector<SetDifference>& differences,
                   bool errors = false) {
  std::string from;
  for (const std::string& path : set.sources) from += (from.empty() ? "" : ", ") + header_text(path);
  std::string text = "Written by scenario-builder " + std::string(kToolVersion) + " decompile from " +
                     (from.empty() ? std::string("a compiled set") : from) + ".\r\n";
  if (!line_file) {
    text += "Every value of this file is recovered from the set.\r\n";
  } else if (set.plan) {
    text += "The curves are read from the line plan file.\r\n";
  } else {
    text += "No line plan file: the curves are not known, and none is written.\r\n";
  }
  if (!compared) {
    text += "Not compared yet.\r\n";
  } else if (differences.empty() && errors) {
    text += "Not reproduced: these descriptions compile only with errors.\r\n";
  } else if (differences.empty()) {
    text += "These descriptions compile to the same bytes as the set.\r\n";
  } else {
    constexpr std::size_t kNamed = 5;
    std::string places;
    for (std::size_t i = 0; i < differences.size() && i < kNamed; ++i) {
      places += (i == 0 ? "" : ", ") +
                std::string(differences[i].file == SetFile::kPlan    ? "line plan "
                            : differences[i].file == SetFile::kTable ? "table "
                                                                     : "track ") +
                differences[i].place;
    }
    if (differences.size() > kNamed) places += " and " + std::to_string(differences.size() - kNamed) + " more";
    text += "Not reproduced: the set differs at " + places + ".\r\n";
  }
  return text;
}

std::string without_header(const std::string& description) {
  std::size_t at = 0;
  for (int i = 0; i < 3; ++i) at = description.find('\n', at) + 1;
  return description.substr(at);
}

// The descriptions of `recovered` and `train`, compiled and compared with
// the set.
Decompiled compile_and_compare(const CompiledSet& set, const RecoveredScenario& recovered, std::string train,
                               const std::string& line_name, const std::string& train_name, bool where = true,
                               const SampledPlan* sampled = nullptr) {
  const bool with_plan = set.plan != nullptr;
  Decompiled result;
  result.line = header(set, true, false, {}) + line_description(recovered, with_plan);
  result.train = header(set, false, false, {}) + std::move(train);
  Compiled final_compile = compile_descriptions(set, result.line, result.train, line_name, train_name, with_plan);
  result.diagnostics = std::move(final_compile.scenario.diagnostics);
  if (final_compile.file_error || final_compile.fatal || !final_compile.scenario.cells.exists()) {
    result.differences.push_back({SetFile::kCells, "cell 1", "the descriptions do not compile to a track"});
  } else {
    if (with_plan) compare_plan(set, final_compile.scenario, where, sampled, result.differences);
    compare_table(set, final_compile.scenario, result.differences);
    compare_cells(set, final_compile.scenario, result.differences);
  }
  const bool errors = result.diagnostics.has_errors();
  result.line = header(set, true, true, result.differences, errors) + without_header(result.line);
  result.train = header(set, false, true, result.differences, errors) + without_header(result.train);
  return result;
}

}  // namespace

Decompiled decompile(const CompiledSet& set, const std::string& line_name, const std::string& train_name,
                     std::string train) {
  RecoveredScenario recovered = recover_cells(set);
  if (!set.plan) return compile_and_compare(set, recovered, std::move(train), line_name, train_name);
  // Curves found from a few metres first (those the plan was read with,
  // or found now): the comparison checks them. Where the set is not
  // reproduced, they are found again from every metre.
  std::optional<SampledPlan> sampled = set.sampled;
  if (!sampled) {
    sampled = sample_plan_curves(*set.plan);
    if (sampled) {
      std::promise<bool> matches;
      matches.set_value(sampled_plan_matches(*sampled, *set.plan));
      sampled->matches = matches.get_future().share();
    }
  }
  if (sampled) {
    recovered.curves = sampled->curves;
    Decompiled result = compile_and_compare(set, recovered, train, line_name, train_name, false, &*sampled);
    if (result.differences.empty()) return result;
  }
  recovered.curves = summarise_plan_curves(*set.plan).curves;
  return compile_and_compare(set, recovered, std::move(train), line_name, train_name);
}

Decompiled decompile(const CompiledSet& set, const std::string& line_name, const std::string& train_name) {
  return decompile(set, line_name, train_name, decompile_train(set, line_name, train_name));
}

std::optional<SampledPlan> sample_plan_curves(const LinePlanStream& plan) {
  std::optional<std::vector<CurveRun>> curves = sampled_curves(plan);
  if (!curves) return std::nullopt;
  PlanSummary summary;
  summary.last_metre = plan.last_metre();
  summary.computed_to = plan.held_computed_metres() - 1;
  summary.curves = std::move(*curves);
  SampledPlan sampled;
  sampled.plan = std::make_shared<const LinePlan>(line_plan_of(summary));
  sampled.curves = std::move(summary.curves);
  return sampled;
}

bool sampled_plan_matches(const SampledPlan& sampled, const LinePlanStream& plan) {
  return line_plan_matches(*sampled.plan, plan.bytes().held());
}

CompiledSet compiled_set_of(const Scenario& scenario) {
  CompiledSet set;
  set.route_name = scenario.route_name;
  set.train_number = scenario.train_number;
  StringSink cells;
  write_track_cells(scenario.cells, cells);
  set.cells = decode_track_cells(cells.bytes);
  StringSink table;
  write_scenario_table(table_records(scenario.table), table);
  set.table = decode_scenario_table(table.bytes);
  if (scenario.build_plan) {
    StringSink plan;
    write_line_plan(scenario.plan, plan);
    set.plan = plan_stream_of(std::move(plan.bytes));
  }
  return set;
}

}  // namespace sb
