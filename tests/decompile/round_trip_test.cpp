// The round trip: compile descriptions, decompile the compiled set, compile
// what the decompile wrote; the three files come out byte for byte the same
// and the second compile reports nothing. Over the built-in scenario, the
// example and a corpus of generated scenarios, with and without a plan.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "base/files.h"
#include "builtin/builtin_content.h"
#include "compile/compile.h"
#include "decompile/decompile.h"
#include "format/line_plan_file.h"
#include "format/plan_summary.h"
#include "fuzz_input.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"
#include "line_generator.h"
#include "reader/description_source.h"
#include "text/text_writer.h"

namespace sb {
namespace {

struct Descriptions {
  std::string name;  // names the scenario in a failure
  std::string route, train;
  std::string line, train_description;
  bool plan = true;
};

Compiled compile_texts(const Descriptions& d, const std::string& line, const std::string& train) {
  MemorySource line_source(d.route + "_linea.txt", line);
  MemorySource train_source(d.route + "_" + d.train + "-.txt", train);
  return compile_scenario({d.route, d.train, d.plan}, {line_source, train_source});
}

struct Files {
  std::string plan, table, cells;
};
Files files_of(const Scenario& s) {
  Files f;
  StringSink plan, table, cells;
  if (s.build_plan) write_line_plan(s.plan, plan);
  write_scenario_table(table_records(s.table), table);
  write_track_cells(s.cells, cells);
  return {plan.bytes, table.bytes, cells.bytes};
}

std::string diagnostics_text(const Diagnostics& diagnostics) {
  std::string all;
  for (const Diagnostic& d : diagnostics.list()) all += format_diagnostic(d) + "\n";
  return all;
}

// The first cell or slot where two compiled sets differ, or "".
std::string first_difference(const Files& want, const Files& got) {
  const auto cells_want = decode_track_cells(want.cells), cells_got = decode_track_cells(got.cells);
  if (cells_want.size() != cells_got.size()) return "cell count " + std::to_string(cells_got.size());
  for (std::size_t i = 0; i < cells_want.size(); ++i) {
    if (!(cells_want[i] == cells_got[i])) return "cell " + std::to_string(i);
  }
  const auto table_want = decode_scenario_table(want.table), table_got = decode_scenario_table(got.table);
  for (std::size_t s = 0; s < table_want.size(); ++s) {
    if (!(table_want[s] == table_got[s])) return "slot " + std::to_string(s);
  }
  if (want.plan != got.plan) return "line plan file";
  return "";
}

// Empty on success; else what went wrong, naming the scenario.
std::string round_trip_failure(const Descriptions& d) {
  const Compiled first = compile_texts(d, d.line, d.train_description);
  if (first.fatal || first.file_error || first.scenario.diagnostics.has_errors()) {
    return d.name + ": the original does not compile\n" + diagnostics_text(first.scenario.diagnostics);
  }
  const Decompiled back = decompile(compiled_set_of(first.scenario), "line", "train");
  const Compiled second = compile_texts(d, back.line, back.train);
  const bool second_compiled = !second.fatal && !second.file_error && !second.scenario.diagnostics.has_errors();
  const bool same = second_compiled && first_difference(files_of(first.scenario), files_of(second.scenario)).empty();
  if (back.differences.empty() && !same) return d.name + ": the decompile claims a round trip that differs";
  if (second.fatal || second.file_error) return d.name + ": the decompiled descriptions do not compile";
  // No diagnostic, but for a warning the original had too: a few warned
  // sets cannot be written without it (a text running over line ends, a
  // station in the route's tail).
  std::set<std::string> warned;
  for (const Diagnostic& x : first.scenario.diagnostics.list()) warned.insert(x.name);
  std::string reported;
  for (const Diagnostic& x : second.scenario.diagnostics.list()) {
    if (x.severity == Severity::kError || warned.count(x.name) == 0) reported += format_diagnostic(x) + "\n";
  }
  if (!reported.empty()) return d.name + ": compiling the decompiled descriptions reports\n" + reported;
  const std::string differs = first_difference(files_of(first.scenario), files_of(second.scenario));
  if (!differs.empty()) {
    std::string listed;
    for (const SetDifference& x : back.differences) listed += x.place + ": " + x.message + "\n";
    return d.name + ": first difference at " + differs + "\n" + listed;
  }
  if (!back.differences.empty()) return d.name + ": the decompile reports differences it does not have";
  return "";
}

Descriptions builtin_scenario() {
  return {"built-in", "ValdraPCal-Dorvesa", "24317", text_file_bytes(builtin_line_lines()),
          text_file_bytes(builtin_train_lines())};
}

Descriptions example_scenario() {
  Descriptions d{"docs/example", "Esempio", "7", "", ""};
  read_file(std::string(SB_EXAMPLE_DIR) + "/Esempio_linea.txt", d.line);
  read_file(std::string(SB_EXAMPLE_DIR) + "/Esempio_7-.txt", d.train_description);
  return d;
}

TEST(RoundTrip, BuiltinAndExampleWithAndWithoutPlan) {
  for (bool plan : {true, false}) {
    for (Descriptions d : {builtin_scenario(), example_scenario()}) {
      ASSERT_FALSE(d.line.empty()) << d.name;
      d.plan = plan;
      d.name += plan ? "" : " (--no-plan)";
      EXPECT_EQ(round_trip_failure(d), "");
    }
  }
}

// A curve of 10 m that starts and ends between two of the metres whose
// turn the decompile reads first: the comparison with the plan finds it
// missing, and the curves are found again from every metre.
TEST(RoundTrip, CurveBetweenSampledMetres) {
  std::vector<std::string_view> lines = builtin_line_lines();
  const auto after = std::find(lines.begin(), lines.end(), std::string_view("curvas2,  4100,  200"));
  ASSERT_NE(after, lines.end());
  lines.insert(after + 1, "curvad6,  5030,  10");
  Descriptions d = builtin_scenario();
  d.name = "built-in with a 10 m curve";
  d.line = text_file_bytes(lines);
  EXPECT_EQ(round_trip_failure(d), "");
  const Compiled first = compile_texts(d, d.line, d.train_description);
  const CompiledSet set = compiled_set_of(first.scenario);
  ASSERT_EQ(sampled_curves(*set.plan)->size() + 1, summarise_plan_curves(*set.plan).curves.size());
  const Decompiled back = decompile(set, "line", "train");
  EXPECT_NE(back.line.find("curvad6,  5030,  10"), std::string::npos) << back.line;
}

// Hundreds of generated scenarios of every make-up the generator has:
// 5 to 120 km, 1 to 60 stations, every element with varied values; every
// other one compiled without a plan.
TEST(RoundTrip, GeneratedCorpus) {
  constexpr uint32_t kScenarios = 300;
  int failed = 0;
  for (uint32_t seed = 1; seed <= kScenarios && failed < 3; ++seed) {
    const bench::GeneratedScenario g = bench::generate_varied_scenario(seed);
    const Descriptions d{"generated scenario " + std::to_string(seed) + " (" + g.route + ")",
                         g.route,
                         g.train,
                         g.line,
                         g.train_description,
                         seed % 2 == 0};
    const std::string failure = round_trip_failure(d);
    EXPECT_EQ(failure, "");
    failed += failure.empty() ? 0 : 1;
  }
}

// The cases where one cell does not tell the record, each as small as it
// comes: the decompile must find the record that gives every cell.
TEST(RoundTrip, RecordsNoSingleCellTells) {
  struct Case {
    const char* name;
    std::vector<std::string_view> montagna;  // [montagne] records
    std::vector<std::string_view> train;     // records after [vel_limite]
  };
  const Case cases[] = {
      // The second signal's marks replace the first one's in cells 99 and
      // 97; cells 95 and 93 keep the first one's sides.
      {"signal marks replaced by a later signal's",
       {},
       {"[segnali]", "segnale,  5000,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0",
        "segnale,  5200,  0,  3,  1,  0,  0,  2,  0,  0,  0,  0"}},
      // Read the other way round: the first signal's marks replace the
      // second's, so the second is read first (out of position order).
      {"signal read out of position order",
       {},
       {"[segnali]", "segnale,  5200,  0,  3,  1,  0,  0,  2,  0,  0,  0,  0",
        "segnale,  5000,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0"}},
      // A signal read before the station whose marks replace its own.
      {"station marks over a signal's",
       {},
       {"[stazioni]", "segnale,  5300,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0",
        "stazione,  5000,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  15,  0,   PRIMA"}},
      // Sides 129 (43 * 3) make the marks of sides 1: the code tells them apart.
      {"signal whose marks wrap", {}, {"[segnali]", "segnale,  1200,  43,  4,  1,  0,  0,  0,  0,  0,  0,  0"}},
      {"signal of negative sides", {}, {"[segnali]", "segnale,  1200,  -43,  4,  1,  0,  0,  7,  0,  0,  0,  0"}},
      // Spans 170 m apart: the ends must stay more than 150 m apart.
      {"montagna spans 170 m apart", {"montagna,  1000,  4990,  1", "montagna,  5160,  6000,  2"}, {}},
      // Touching spans of two types: only a span read in between keeps the
      // second from type 3.
      {"montagna spans touching",
       {"montagna,  1000,  2000,  1", "montagna,  0,  0,  1", "montagna,  2000,  3000,  2"},
       {}},
      // A span with marks, and one read over its end: type 3 from there.
      {"montagna span under a later one", {"montagna,  5999,  6249,  15", "montagna,  6174,  6424,  4"}, {}},
      // Read after a span that ends 150 m from the first one's start: only
      // a span without cells read before it at 0 keeps it apart, and its
      // start moves on within its cell.
      {"montagna span 150 m after the line's start", {"montagna,  139,  714,  5", "montagna,  0,  50,  3"}, {}},
      // A span over another's cells (type 3 there), and the next one 151 m
      // after the overlapping one's end: the first span goes under the
      // second, or the third would join.
      {"montagna span over another, the next 151 m on",
       {"montagna,  185,  1035,  4", "montagna,  706,  1006,  5", "montagna,  1157,  1357,  1"},
       {}},
      // Two spans with marks, the second over the first one's end: marks
      // of two phases, all of type 3.
      {"montagna spans with marks of two phases", {"montagna,  3402,  4194,  13", "montagna,  4165,  4989,  14"}, {}},
      // A span joined to the one before, then two over it: the first
      // overlaps (type 3), the second stands apart from it (type 5).
      {"montagna spans over a joined one",
       {"montagna,  1701,  2073,  1", "montagna,  2201,  3076,  11", "montagna,  2339,  2389,  4",
        "montagna,  2750,  2850,  5"},
       {}},
      // x = 5725: warning cell 92, approach cells from nearest(90.5) = 90.
      {"slowdown approach two cells before its warning",
       {},
       {"[rallentamenti]", "rallentamento,  5725,  110,  500,  0,  1,  0"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string_view> line{"[generale]",
                                       "lunghezza percorso,  12000",
                                       "progressiva chilometrica uno,  0,  1000,  0",
                                       "progressiva chilometrica due,  0,  0,  0",
                                       "progressiva chilometrica tre,  0,  0,  0",
                                       "sfondo uno,  1",
                                       "sfondo due,  0",
                                       "sfondo tre,  0",
                                       "ripetizione segnali 4 codici,  0,  0",
                                       "[montagne]"};
    line.insert(line.end(), c.montagna.begin(), c.montagna.end());
    line.push_back("[fine]");
    std::vector<std::string_view> train{
        "[generale]",         "numero vetture,  4",    "percentuale massa frenata,  120",
        "sabbia,  300",       "orologio,  8,  15,  0", "[aderenze]",
        "aderenza,  0,  100", "[vel_limite]",          "velocita,  0,  90"};
    train.insert(train.end(), c.train.begin(), c.train.end());
    train.push_back("[fine]");
    const Descriptions d{c.name, "Prova", "100", text_file_bytes(line), text_file_bytes(train)};
    EXPECT_EQ(round_trip_failure(d), "");
  }
}

// The written files open with three lines the reader passes over: where
// they came from, what could not be recovered, whether the set is
// reproduced; the records follow as an author writes them.
TEST(RoundTrip, HeaderSaysWhatWasRecovered) {
  Descriptions d = example_scenario();
  d.plan = false;
  const Compiled first = compile_texts(d, d.line, d.train_description);
  CompiledSet set = compiled_set_of(first.scenario);
  set.sources = {"in/Esempio_7.sim", "in/Esempio_7.dat"};
  const Decompiled back = decompile(set, "line", "train");
  ASSERT_TRUE(back.differences.empty());
  EXPECT_EQ(back.line.substr(0, back.line.find("[generale]")),
            "Written by scenario-builder 1.0.0 decompile from in/Esempio_7.sim, in/Esempio_7.dat.\r\n"
            "No line plan file: the curves are not known, and none is written.\r\n"
            "These descriptions compile to the same bytes as the set.\r\n");
  EXPECT_NE(back.train.find("\r\norologio,  8,  15,  0\r\n"), std::string::npos) << back.train;

  set.cells[100].kind = 9;  // no record gives it
  set.sources = {"in/[generale] \"x\".dat"};
  const Decompiled edited = decompile(set, "line", "train");
  ASSERT_EQ(edited.differences.size(), 1u);
  EXPECT_EQ(edited.train.substr(0, edited.train.find("[generale]")),
            "Written by scenario-builder 1.0.0 decompile from in/(generale) 'x'.dat.\r\n"
            "Every value of this file is recovered from the set.\r\n"
            "Not reproduced: the set differs at track cell 100.\r\n");
}

// Generated scenarios of those cases, with the warnings they give.
TEST(RoundTrip, GeneratedEdgeCorpus) {
  constexpr uint32_t kScenarios = 400;
  int failed = 0, warned = 0;
  for (uint32_t seed = 1; seed <= kScenarios && failed < 3; ++seed) {
    const bench::GeneratedScenario g = bench::generate_edge_scenario(seed);
    const Descriptions d{
        "edge scenario " + std::to_string(seed), g.route, g.train, g.line, g.train_description, seed % 2 == 0};
    const std::string failure = round_trip_failure(d);
    EXPECT_EQ(failure, "");
    failed += failure.empty() ? 0 : 1;
    warned += compile_texts(d, d.line, d.train_description).scenario.diagnostics.list().empty() ? 0 : 1;
  }
  EXPECT_GT(warned, static_cast<int>(kScenarios) / 4);
}

// Every fuzz input kept among the fixtures whose compile would write its
// files, the round trip's own findings included.
TEST(RoundTrip, FuzzFixtures) {
  int compiled = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(SB_FIXTURE_DIR) + "/fuzz")) {
    std::string bytes;
    ASSERT_TRUE(read_file(entry.path().string(), bytes));
    const fuzzing::SplitInput split = fuzzing::split_input(bytes);
    if (!split.train_exists) continue;
    Descriptions d{entry.path().filename().string(), "Prova", "1", split.line, split.train, split.build_plan};
    const Compiled first = compile_texts(d, d.line, d.train_description);
    bool written = !first.fatal && !first.file_error && !first.scenario.diagnostics.has_errors();
    for (const Diagnostic& x : first.scenario.diagnostics.list()) written = written && !x.lost_input;
    if (!written) continue;
    ++compiled;
    EXPECT_EQ(round_trip_failure(d), "");
  }
  EXPECT_GT(compiled, 0);
}

}  // namespace
}  // namespace sb
