// The view command on both kinds of input, and the page model drawn from
// compiled files against the one drawn from the compile in memory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <tuple>
#include <string>

#include "builtin/builtin_content.h"
#include "compile/compile.h"
#include "commands/view_command.h"
#include "format/line_plan_file.h"
#include "format/plan_stream.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"
#include "support/test_files.h"
#include "text/text_writer.h"
#include "view/page.h"
#include "view/page_model_builder.h"

namespace sb {
namespace {

const std::string kExample = SB_EXAMPLE_DIR;

// The compile in memory, and its compiled files written and decoded again.
struct BothModels {
  view::PageModel from_descriptions;
  view::PageModel from_compiled;
};

BothModels both_models(const std::string& line, const std::string& train, const std::string& route,
                       const std::string& number, const view::PageModelOptions& options = {}) {
  MemorySource l(route + "_linea.txt", line);
  MemorySource t(route + "_" + number + "-.txt", train);
  const Compiled c = compile_scenario({route, number, true}, {l, t});
  EXPECT_FALSE(c.fatal);
  StringSink plan, table, cells;
  write_line_plan(c.scenario.plan, plan);
  write_scenario_table(table_records(c.scenario.table), table);
  write_track_cells(c.scenario.cells, cells);
  view::DecodedScenario d;
  d.plan = plan_stream_of(plan.bytes);
  d.table = scenario_table(decode_scenario_table(table.bytes));
  d.cells = track_cells_of(decode_track_cells(cells.bytes));
  return {view::page_model_from_scenario(c.scenario, c.fatal, printed_diagnostics(), options),
          view::page_model_from_compiled(d, options)};
}

// Slowdowns that overlap: each start is paired with its own end on both
// pages (the end cells carry the slowdown's speed), not with the first end
// that follows it.
TEST(CompiledPage, PairsOverlappingSlowdownsAsTheDescriptionsDo) {
  const std::string line = test::read_existing(kExample + "/Esempio_linea.txt");
  std::string train = test::read_existing(kExample + "/Esempio_7-.txt");
  const std::string first = "rallentamento,  7000,  60,  500,  0,  1,  0\r\n";
  ASSERT_THAT(train, ::testing::HasSubstr(first));
  train.insert(train.find(first) + first.size(), "rallentamento,  7200,  80,  100,  0,  0,  0\r\n");
  const BothModels b = both_models(line, train, "Esempio", "7");
  auto spans = [](const view::PageModel& m) {
    std::vector<std::tuple<int32_t, int32_t, int32_t>> out;
    for (const view::Slowdown& s : m.slowdowns) out.emplace_back(s.start, s.end, s.speed);
    return out;
  };
  using Span = std::tuple<int32_t, int32_t, int32_t>;
  EXPECT_EQ(spans(b.from_descriptions), (std::vector<Span>{{7000, 7500, 60}, {7200, 7300, 80}}));
  EXPECT_EQ(spans(b.from_compiled), spans(b.from_descriptions));
}

// Both pages of one scenario show the same elements with the same labels
// and values, element by element. Only what compiled files cannot hold may
// differ: source lines, and positions the cell knows to within 25 m.
TEST(CompiledPage, DrawsWhatTheDescriptionPageDraws) {
  const std::string line = test::read_existing(kExample + "/Esempio_linea.txt");
  std::string train = test::read_existing(kExample + "/Esempio_7-.txt");
  const std::string slowdown = "rallentamento,  7000,  60,  500,  0,  1,  0\r\n";
  train.insert(train.find(slowdown) + slowdown.size(), "rallentamento,  7200,  80,  100,  0,  0,  0\r\n");
  const std::string signal = "segnale,  ";
  train.insert(train.find(signal), "segnale,  2210,  1,  5,  6,  0,  0,  0,  0,  0,  0,  0\r\n");
  std::string curved_line = line;
  const std::string curve = "curvas3,  6000,  400\r\n";
  ASSERT_THAT(line, ::testing::HasSubstr(curve));
  curved_line.replace(curved_line.find(curve), curve.size(),
                      "curvas6,  3000,  150\r\n" + curve + "curvad1,  7000,  800\r\n");
  // The built-in run places every element on a cell's position; the
  // signal at 2210 m stands in the cell of 2200 m.
  for (const auto& [b, expected_moved] :
       {std::pair{both_models(text_file_bytes(builtin_line_lines()), text_file_bytes(builtin_train_lines()),
                              kBuiltinRoute, kBuiltinTrain),
                  0},
        std::pair{both_models(curved_line, train, "Esempio", "7"), 1}}) {
    const view::PageModel& a = b.from_descriptions;
    const view::PageModel& c = b.from_compiled;
    EXPECT_TRUE(a.from_descriptions);
    EXPECT_FALSE(c.from_descriptions);
    ASSERT_EQ(a.elements.size(), c.elements.size());
    int moved = 0;
    for (std::size_t i = 0; i < a.elements.size(); ++i) {
      const view::Element& x = a.elements[i];
      const view::Element& y = c.elements[i];
      SCOPED_TRACE(std::string(view::kind_name(x.kind)) + " " + x.label + " in cell " + std::to_string(x.cell));
      EXPECT_EQ(x.kind, y.kind);
      EXPECT_EQ(x.cell, y.cell);
      EXPECT_LE(std::abs(x.position - y.position), 25);
      EXPECT_EQ(x.summary, y.summary);
      if (x.kind == view::ElementKind::kCurve) {
        EXPECT_TRUE(x.source.has_value());
      }
      ASSERT_EQ(x.values.size(), y.values.size());
      if (x.position != y.position) {
        ++moved;
        for (std::size_t v = 0; v < x.values.size(); ++v) {
          EXPECT_EQ(x.values[v].first, y.values[v].first);
          const std::string& key = x.values[v].first;
          if (key != "position" && key != "start" && key != "chainage") {
            EXPECT_EQ(x.values[v], y.values[v]);
          }
        }
        continue;
      }
      EXPECT_EQ(x.label, y.label);
      EXPECT_EQ(x.values, y.values);
      EXPECT_FALSE(y.source.has_value());
    }
    EXPECT_EQ(moved, expected_moved);
    EXPECT_EQ(a.route_name, c.route_name);
    EXPECT_EQ(a.train_number, c.train_number);
    EXPECT_EQ(a.route_length, c.route_length);
    EXPECT_EQ(a.cell_count, c.cell_count);
    EXPECT_EQ(a.gradient, c.gradient);
    EXPECT_EQ(a.speed_code, c.speed_code);
    EXPECT_EQ(a.adhesion, c.adhesion);
    EXPECT_EQ(a.montagna_type, c.montagna_type);
    auto stations = [](const view::PageModel& m) {
      std::vector<std::tuple<std::string, int32_t, std::optional<int64_t>, int32_t, int32_t>> out;
      for (const view::Station& s : m.stations) out.emplace_back(s.name, s.position, s.chainage, s.time, s.kind);
      return out;
    };
    EXPECT_EQ(stations(a), stations(c));
    auto slowdowns = [](const view::PageModel& m) {
      std::vector<std::tuple<int32_t, int32_t, int32_t>> out;
      for (const view::Slowdown& s : m.slowdowns) out.emplace_back(s.start, s.end, s.speed);
      return out;
    };
    EXPECT_EQ(slowdowns(a), slowdowns(c));
    // A curve record as read and the curve run the plan file holds: the
    // same start, length, side, class and radius.
    auto curves = [](const view::PageModel& m) {
      std::vector<std::tuple<int64_t, int64_t, int, int, double>> out;
      for (const view::Curve& k : m.curves) out.emplace_back(k.start, k.length, k.side, k.klass, k.radius);
      return out;
    };
    EXPECT_GE(a.curves.size(), 4u);
    EXPECT_EQ(curves(a), curves(c));
    for (int r = 0; r < 3; ++r) {
      ASSERT_EQ(a.speed_steps[r].size(), c.speed_steps[r].size());
      for (std::size_t i = 0; i < a.speed_steps[r].size(); ++i) {
        EXPECT_EQ(a.speed_steps[r][i].speed, c.speed_steps[r][i].speed);
        EXPECT_LE(std::abs(a.speed_steps[r][i].position - c.speed_steps[r][i].position), 25);
      }
    }
    EXPECT_EQ(a.route_check_stored, c.route_check_stored);
    EXPECT_EQ(c.route_check_stored, c.route_check_computed);
    EXPECT_EQ(c.cell_check_stored, c.cell_check_computed);
    // The same thinned plan: the plan file holds the very points traced.
    ASSERT_EQ(a.plan.size(), c.plan.size());
    for (std::size_t i = 0; i < a.plan.size(); ++i) {
      EXPECT_EQ(a.plan[i].metre, c.plan[i].metre);
      EXPECT_EQ(a.plan[i].x, c.plan[i].x);
      EXPECT_EQ(a.plan[i].y, c.plan[i].y);
    }
  }
}

// Plan bytes read as a file is, in pieces, that count what is read of them.
class CountedPlanBytes : public PlanBytes {
 public:
  explicit CountedPlanBytes(std::string bytes) : bytes_(std::move(bytes)) {}
  uint64_t size() const override { return bytes_.size(); }
  std::size_t read_at(uint64_t offset, char* out, std::size_t n) const override {
    const std::size_t got = bytes_.read_at(offset, out, n);
    read += got;
    return got;
  }
  mutable uint64_t read = 0;

 private:
  MemoryPlanBytes bytes_;
};

// The page of compiled files reads the line plan once: the thinner and
// the curves take their metres from the same pass.
TEST(CompiledPage, ReadsThePlanFileOnceForTheLineAndItsCurves) {
  MemorySource l("x_linea.txt", text_file_bytes(builtin_line_lines()));
  MemorySource t("x_1-.txt", text_file_bytes(builtin_train_lines()));
  const Compiled c = compile_scenario({kBuiltinRoute, kBuiltinTrain, true}, {l, t});
  StringSink plan;
  write_line_plan(c.scenario.plan, plan);
  auto bytes = std::make_shared<CountedPlanBytes>(plan.bytes);
  view::DecodedScenario d;
  d.plan = std::make_shared<LinePlanStream>(bytes);
  bytes->read = 0;
  const view::PageModel m = view::page_model_from_compiled(d);
  EXPECT_EQ(m.curves.size(), c.scenario.curves.size());
  EXPECT_FALSE(m.plan.empty());
  // Each half is read through a buffer that may run a little past its end.
  EXPECT_GE(bytes->read, bytes->size() - 64);
  EXPECT_LT(bytes->read, bytes->size() + bytes->size() / 10);
}

// Past its bound the page shows the first curves along the line and
// counts the rest, both ways alike.
TEST(CompiledPage, ShowsTheFirstCurvesAndCountsTheRest) {
  view::PageModelOptions options;
  options.max_curves = 3;
  const BothModels b = both_models(text_file_bytes(builtin_line_lines()), text_file_bytes(builtin_train_lines()),
                                   kBuiltinRoute, kBuiltinTrain, options);
  for (const view::PageModel* m : {&b.from_descriptions, &b.from_compiled}) {
    ASSERT_EQ(m->curves.size(), 3u);
    EXPECT_EQ(m->curves[0].start, 100);
    EXPECT_EQ(m->curves[2].start, 1100);
    EXPECT_EQ(m->curves_not_shown, 16);
    const std::string page = view::render_page(*m);
    EXPECT_THAT(page, ::testing::HasSubstr(">16 more curves further along the line are not shown<"));
    EXPECT_THAT(page, ::testing::HasSubstr(" &middot; 19 curves"));
  }
}

TEST(ViewCommand, WritesThePageNamedAfterRouteAndTrain) {
  test::TempDir dir;
  ASSERT_TRUE(dir.created());
  test::Outcome o = test::run_program(
      {"view", kExample + "/Esempio_linea.txt", kExample + "/Esempio_7-.txt", "--out", dir.path().string()});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  const std::filesystem::path page = dir.path() / "Esempio_7.html";
  EXPECT_EQ(o.out, page.string() + "\n");
  const std::string html = test::read_existing(page);
  EXPECT_THAT(html, ::testing::HasSubstr("<!DOCTYPE html>"));
  EXPECT_THAT(html, ::testing::HasSubstr("data-kind=\"station\""));
  EXPECT_THAT(html, ::testing::HasSubstr("Esempio_7-.txt:"));  // source lines
  // No compiled file: view only looks.
  EXPECT_EQ(test::names_in(dir.path()).size(), 1u);
}

TEST(ViewCommand, ScenarioWithErrorsStillGetsItsPage) {
  test::TempDir dir;
  ASSERT_TRUE(dir.created());
  const std::filesystem::path line = dir.path() / "Rotta_linea.txt", train = dir.path() / "Rotta_5-.txt";
  test::write_bytes(line, "[generale]\r\nlunghezza percorso,  20000\r\n[fine]\r\n");
  test::write_bytes(train,
                    "[generale]\r\n[segnali]\r\nsegnale,  1200,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\r\n"
                    "segnale,  1210,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\r\n[fine]\r\n");
  const std::filesystem::path page = dir.path() / "page.html";
  test::Outcome o = test::run_program({"view", line.string(), train.string(), "-o", page.string()});
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.err, ::testing::HasSubstr("Rotta_5-.txt:4:11: error: signal at 1210 m")) << o.err;
  const std::string html = test::read_existing(page);
  EXPECT_THAT(html, ::testing::HasSubstr("data-diag=\"0\""));
  EXPECT_THAT(html, ::testing::HasSubstr(" [E16]</span>"));
  // Each diagnostic in the parts the terminal printed: place, severity,
  // message with its code; each note line under it.
  std::istringstream printed(o.err);
  int rows = 0;
  for (std::string line; std::getline(printed, line);) {
    const auto severity = line.find(": error: ") != std::string::npos ? line.find(": error: ") : line.find(": note: ");
    ASSERT_NE(severity, std::string::npos) << line;
    const std::string place = line.substr(0, severity);
    if (line.compare(severity, 8, ": note: ") == 0) {
      EXPECT_THAT(html, ::testing::HasSubstr("<span class=\"src\">" + view::html_text(place) + ":</span> note: " +
                                             view::html_text(line.substr(severity + 8)) + "</div>"));
      continue;
    }
    ++rows;
    std::string row = ">";
    row += view::html_text(place);
    row += ":</td><td class=\"sev\">error:</td><td><span class=\"dm\">";
    row += view::html_text(line.substr(severity + 9));
    row += "</span>";
    EXPECT_THAT(html, ::testing::HasSubstr(row));
  }
  EXPECT_GE(rows, 1);
}

TEST(ViewCommand, CompiledFilesGiveThePageWithoutSources) {
  test::TempDir dir;
  ASSERT_TRUE(dir.created());
  const std::string d = dir.path().string();
  ASSERT_EQ(test::run_program({"--dir", d}).status, 0);
  // A directory with --route and --train, and the three files named.
  const std::string route = kBuiltinRoute, train = kBuiltinTrain;
  test::Outcome by_dir = test::run_program({"view", "--compiled", "--route", route, "--train", train, d, "--out", d});
  EXPECT_EQ(by_dir.status, 0) << by_dir.err;
  EXPECT_EQ(by_dir.out, d + "/" + route + "_" + train + ".html\n");
  const std::string stem = d + "/" + route + "_" + train;
  test::Outcome by_files = test::run_program(
      {"view", "--compiled", d + "/" + route + "_linea.dat", stem + ".sim", stem + ".dat", "-o", d + "/files.html"});
  EXPECT_EQ(by_files.status, 0) << by_files.err;
  const std::string a = test::read_existing(stem + ".html"), b = test::read_existing(d + "/files.html");
  EXPECT_EQ(a, b);
  EXPECT_THAT(a, ::testing::HasSubstr("drawn from compiled files"));
  EXPECT_THAT(a, ::testing::Not(::testing::HasSubstr("_24317-.txt:")));
  EXPECT_THAT(a, ::testing::HasSubstr("DORVESA"));
}

TEST(ViewCommand, DamagedCompiledFileIsShownAsADiagnostic) {
  test::TempDir dir;
  ASSERT_TRUE(dir.created());
  const std::string d = dir.path().string();
  ASSERT_EQ(test::run_program({"--dir", d}).status, 0);
  const std::string stem = d + "/" + std::string(kBuiltinRoute) + "_" + kBuiltinTrain;
  std::string cells = test::read_existing(stem + ".dat");
  test::write_bytes(stem + ".dat", cells.substr(0, cells.size() - 7));
  test::Outcome o = test::run_program(
      {"view", "--compiled", "--route", kBuiltinRoute, "--train", kBuiltinTrain, d, "-o", d + "/page.html"});
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.err, ::testing::HasSubstr(stem + ".dat: offset ")) << o.err;
  const std::string html = test::read_existing(d + "/page.html");
  EXPECT_THAT(html, ::testing::HasSubstr("data-diag=\"0\""));
  EXPECT_THAT(html, ::testing::HasSubstr("DORVESA"));  // the table still decoded
}

TEST(ViewCommand, Misuse) {
  test::TempDir dir;
  ASSERT_TRUE(dir.created());
  const std::string d = dir.path().string();
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"view", "--compiled", d},                               // a directory without --route and --train
           {"view", "--compiled", d + "/a.txt"},                    // a kind the name does not tell
           {"view", "--compiled", d + "/A_1.dat", d + "/B_2.dat"},  // two of one kind
           {"view", kExample + "/Esempio_linea.txt"},               // one description file
       }) {
    test::Outcome o = test::run_program(args);
    EXPECT_EQ(o.status, 2) << args.back() << ": " << o.err;
  }
}

}  // namespace
}  // namespace sb

namespace sb {
namespace {

// With errors, the page is drawn as check reads on: every diagnostic check
// finds (in both files) and the elements past the first error.
TEST(ViewPage, WithErrorsShowsWhatCheckFinds) {
  const test::TempDir tmp("sb_view_errors_");
  ASSERT_TRUE(tmp.created());
  std::string line = test::read_existing(kExample + "/Esempio_linea.txt");
  std::string train = test::read_existing(kExample + "/Esempio_7-.txt");
  line.replace(line.find("cartello_indicatore,  4000,"), 27, "cartello_indicatore,  1260,");
  train.replace(train.find("stazione,  11000,"), 17, "stazione,  11010,");
  test::write_bytes(tmp.path() / "Esempio_linea.txt", line);
  test::write_bytes(tmp.path() / "Esempio_7-.txt", train);
  const test::Outcome o =
      test::run_program({"view", "Esempio_linea.txt", "Esempio_7-.txt", "-o", "page.html"}, tmp.path());
  EXPECT_EQ(o.status, 1);
  const std::string page = test::read_bytes(tmp.path() / "page.html");
  EXPECT_THAT(page, ::testing::HasSubstr("line board at 1260 m falls into cell 26"));
  EXPECT_THAT(page, ::testing::HasSubstr("station position 11010 m is not a multiple of 50"));
  // The train file was read past the line file's error: its signals are drawn.
  EXPECT_THAT(page, ::testing::HasSubstr("data-kind=\"signal\""));
}

}  // namespace
}  // namespace sb
