#include "view/page.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <tuple>

#include "builtin/builtin_content.h"
#include "commands/report.h"
#include "compile/compile.h"
#include "model/chainage.h"
#include "fuzz_input.h"
#include "line_generator.h"
#include "support/descriptions.h"
#include "support/test_files.h"
#include "text/text_writer.h"
#include "commands/view_command.h"
#include "view/page_model_builder.h"

namespace sb::view {
namespace {

Compiled compile_text(const std::string& line, const std::string& train, const std::string& route = "R",
                      const std::string& number = "1", bool train_exists = true, bool build_plan = true) {
  MemorySource l(route + "_linea.txt", line);
  MemorySource t(route + "_" + number + "-.txt", train, train_exists);
  return compile_scenario({route, number, build_plan}, {l, t});
}

Compiled compile_builtin() {
  return compile_text(text_file_bytes(builtin_line_lines()), text_file_bytes(builtin_train_lines()), kBuiltinRoute,
                      kBuiltinTrain);
}

PageModel model_of(const Compiled& c) { return page_model_from_scenario(c.scenario, c.fatal, printed_diagnostics()); }

// Distinct data-el values per data-kind, as a browser script counts them.
std::map<std::string, std::size_t> drawn_per_kind(const std::string& page) {
  std::map<std::string, std::set<std::string>> seen;
  static const std::regex kTag(R"re(data-kind="([a-z-]+)" data-cell="(\d+)" data-el="(\d+)")re");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), kTag); it != std::sregex_iterator(); ++it) {
    seen[(*it)[1]].insert((*it)[3]);
  }
  std::map<std::string, std::size_t> out;
  for (auto& [k, v] : seen) out[k] = v.size();
  return out;
}

TEST(ViewText, Windows1252BecomesEscapedUtf8) {
  const struct {
    std::string in, utf8, html;
  } cases[] = {
      {"Localit\xE0", "Localit\xC3\xA0", "Localit\xC3\xA0"},
      {"\x80 \x9F", "\xE2\x82\xAC \xC5\xB8", "\xE2\x82\xAC \xC5\xB8"},
      {std::string("a\x81\x01\0b", 5),
       "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
       "b",
       "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
       "b"},
      {"<b a='x'>&\"", "<b a='x'>&\"", "&lt;b a=&#39;x&#39;&gt;&amp;&quot;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(page_text_utf8(c.in), c.utf8);
    EXPECT_EQ(html_text(c.in), c.html);
  }
}

TEST(ViewModel, BuiltinScenarioDecodesItsElements) {
  const Compiled c = compile_builtin();
  ASSERT_TRUE(c.scenario.diagnostics.empty());
  const PageModel m = model_of(c);

  EXPECT_EQ(m.route_length, 88000);
  EXPECT_EQ(m.cell_count, 1900);
  ASSERT_EQ(m.stations.size(), 9u);
  EXPECT_EQ(m.stations[0].name, "VALDRA P.CALVEA");
  EXPECT_EQ(m.stations[0].time, 5 * 3600 + 57 * 60);
  EXPECT_EQ(m.stations[1].chainage, 8600);
  EXPECT_EQ(m.stations[8].name, "DORVESA");
  EXPECT_EQ(m.stations[8].position, 44400);

  std::map<ElementKind, int> counts;
  for (const Element& e : m.elements) ++counts[e.kind];
  EXPECT_EQ(counts[ElementKind::kSignal], 13);
  EXPECT_EQ(counts[ElementKind::kSpeedBoard], 6);
  EXPECT_EQ(counts[ElementKind::kLineBoard], 37);

  // The first signal comes from line 27 of the train description.
  auto signal = std::find_if(m.elements.begin(), m.elements.end(),
                             [](const Element& e) { return e.kind == ElementKind::kSignal; });
  ASSERT_TRUE(signal->source.has_value());
  EXPECT_EQ(signal->source->file, "ValdraPCal-Dorvesa_24317-.txt");
  EXPECT_EQ(signal->source->line, 27);
  EXPECT_EQ(signal->position, 1200);

  // Speed-limit board at 18500: 100 / 105 / 105 for ranks A, B, C.
  for (int r = 0; r < 3; ++r) ASSERT_EQ(m.speed_steps[r].size(), 6u);
  EXPECT_EQ(m.speed_steps[0][2].position, 18500);
  EXPECT_EQ(m.speed_steps[0][2].speed, 100);
  EXPECT_EQ(m.speed_steps[1][2].speed, 105);
  EXPECT_EQ(m.speed_steps[2][1].speed, 140);

  // The gradient of 2 per mille from 16050 m, the train's 130 km/h.
  EXPECT_EQ(m.gradient[330], 2);
  EXPECT_EQ(m.speed_code[100], 130 / 5);

  EXPECT_EQ(m.route_check_stored, 32324);
  EXPECT_EQ(m.route_check_computed, 32324);
  EXPECT_EQ(m.cell_check_stored, 2302);
  EXPECT_EQ(m.cell_check_computed, 2302);

  ASSERT_GE(m.plan.size(), 2u);
  EXPECT_LE(m.plan.size(), 4000u);
  EXPECT_EQ(m.plan.front().metre, 0);
  for (std::size_t i = 0; i < m.elements.size(); ++i) EXPECT_TRUE(m.element_xy[i].has_value()) << i;
}

// Every element read from a record links to that record's line: the line
// starts with the record's keyword and gives the element's position. The
// two abbattimento records fall between those the completion adds.
TEST(ViewModel, EveryElementLinksToTheLineItWasReadFrom) {
  const std::string example = SB_EXAMPLE_DIR;
  const std::string line = test::read_existing(example + "/Esempio_linea.txt");
  std::string train = test::read_existing(example + "/Esempio_7-.txt");
  train.insert(train.find("[fine]"), "abbattimento,  3000,  80\r\nabbattimento,  5000,  0\r\n");
  const Compiled c = compile_text(line, train, "Esempio", "7");
  ASSERT_TRUE(c.scenario.diagnostics.empty());
  const PageModel m = model_of(c);
  auto lines_of = [](const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
      out.push_back(text.substr(at, end - at));
    return out;
  };
  const std::map<std::string, std::vector<std::string>> files = {{"Esempio_linea.txt", lines_of(line)},
                                                                 {"Esempio_7-.txt", lines_of(train)}};
  const std::map<ElementKind, std::string> keyword = {{ElementKind::kStation, "stazione,"},
                                                      {ElementKind::kSignal, "segnale,"},
                                                      {ElementKind::kLineBoard, "cartello_indicatore,"},
                                                      {ElementKind::kSpeedBoard, "indicatori_vmax,"},
                                                      {ElementKind::kSlowdown, "rallentamento,"},
                                                      {ElementKind::kAbbattimento, "abbattimento,"},
                                                      {ElementKind::kCurve, "curva"}};
  std::map<ElementKind, int> linked;
  for (const Element& e : m.elements) {
    SCOPED_TRACE(std::string(kind_name(e.kind)) + " at " + std::to_string(e.position));
    // The completion adds abbattimento cells before slowdowns: no line
    // (the page says "placed by the compile").
    if (e.kind == ElementKind::kAbbattimento && !e.source) continue;
    ASSERT_TRUE(e.source.has_value());
    const std::vector<std::string>& text = files.at(e.source->file);
    ASSERT_GE(e.source->line, 1);
    ASSERT_LE(static_cast<std::size_t>(e.source->line), text.size());
    const std::string& record = text[static_cast<std::size_t>(e.source->line - 1)];
    EXPECT_EQ(record.rfind(keyword.at(e.kind), 0), 0u) << record;
    EXPECT_THAT(record, ::testing::HasSubstr(",  " + std::to_string(e.position) + ",")) << record;
    ++linked[e.kind];
  }
  EXPECT_EQ(linked.size(), keyword.size());
  EXPECT_EQ(linked[ElementKind::kAbbattimento], 2);
}

TEST(ViewModel, SlowdownsPairTheirStartAndEnd) {
  const Compiled c = compile_text("[generale]\r\nlunghezza percorso,  20000\r\n[fine]\r\n",
                                  "[generale]\r\n[vel_limite]\r\nvelocita,  0,  100\r\n[rallentamenti]\r\n"
                                  "rallentamento,  7000,  60,  500,  0,  1,  0\r\n[fine]\r\n");
  const PageModel m = model_of(c);
  ASSERT_EQ(m.slowdowns.size(), 1u);
  EXPECT_EQ(m.slowdowns[0].start, 7000);
  EXPECT_EQ(m.slowdowns[0].length, 500);
  EXPECT_EQ(m.slowdowns[0].end, 7500);  // as inspect lists its end cell, nearest(7500 / 50 + 1)
  EXPECT_EQ(m.slowdowns[0].speed, 60);
}

// The curves are the curve records as read, in start order, each with its
// line; the page lists them and marks them on the map and in the profile.
TEST(ViewModel, CurvesAreTheRecordsAsRead) {
  const Compiled c = compile_text(
      "[generale]\r\nlunghezza percorso,  20000\r\n[curve]\r\ncurvas6,  6000,  400\r\n"
      "curvad1,  9000,  1000\r\ncurvad4,  2000,  300\r\n[fine]\r\n",
      "[generale]\r\n[vel_limite]\r\nvelocita,  0,  100\r\n[fine]\r\n");
  const PageModel m = model_of(c);
  auto curves = [&m] {
    std::vector<std::tuple<int64_t, int64_t, int, int, int64_t, int>> out;
    for (const Curve& k : m.curves) {
      const Element& e = m.elements.at(static_cast<std::size_t>(k.element));
      EXPECT_EQ(e.kind, ElementKind::kCurve);
      EXPECT_EQ(e.position, k.start);
      EXPECT_TRUE(m.element_xy.at(static_cast<std::size_t>(k.element)).has_value());
      out.emplace_back(k.start, k.length, k.side, k.klass, std::llround(k.radius), e.source ? e.source->line : 0);
    }
    return out;
  };
  using Row = std::tuple<int64_t, int64_t, int, int, int64_t, int>;
  EXPECT_EQ(curves(),
            (std::vector<Row>{{2000, 300, 1, 4, 1000, 6}, {6000, 400, -1, 6, 333, 4}, {9000, 1000, 1, 1, 10000, 5}}));
  const Element& tight = m.elements.at(static_cast<std::size_t>(m.curves.at(1).element));
  EXPECT_EQ(tight.label, "left, class 6");
  EXPECT_EQ(tight.source->file, "R_linea.txt");
  using Values = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(tight.values, (Values{{"start", "6 000 m"},
                                  {"chainage", chainage_text(tight.chainage)},
                                  {"length", "400 m"},
                                  {"end", "6 400 m"},
                                  {"side", "left (s)"},
                                  {"class", "6"},
                                  {"radius", "333 m"}}));

  const std::string page = render_page(m);
  EXPECT_EQ(drawn_per_kind(page)["curve"], 3u);
  const std::string el =
      " data-kind=\"curve\" data-cell=\"120\" data-el=\"" + std::to_string(m.curves[1].element) + "\"";
  EXPECT_THAT(page, ::testing::HasSubstr("<path class=\"mk cv\"" + el + " d=\"M"));
  EXPECT_THAT(page, ::testing::HasSubstr("<rect class=\"pk cv\"" + el + " x=\""));
  EXPECT_THAT(page, ::testing::HasSubstr("<tr" + el + " tabindex=\"0\"><td class=\"n\">6.000</td>"));
  EXPECT_THAT(page, ::testing::HasSubstr(
                        "<td class=\"n\">400 m</td><td>left</td><td class=\"n\">6</td><td class=\"n\">333 m</td>"
                        "<td class=\"n src\" title=\"R_linea.txt:4\">4</td></tr>"));
  EXPECT_THAT(page, ::testing::HasSubstr(" &middot; 3 curves"));
  // The last record starts before the one before it ends: its
  // diagnostic (lost input, so an error by default) names no position and
  // is linked through its line.
  const auto& list = c.scenario.diagnostics.list();
  const auto overlap = std::find_if(list.begin(), list.end(), [](const auto& d) { return d.name == "position-order"; });
  ASSERT_NE(overlap, list.end());
  EXPECT_EQ(overlap->line, 6);
  EXPECT_THAT(page,
              ::testing::HasSubstr("<tr class=\"diag error\" data-diag=\"" + std::to_string(overlap - list.begin()) +
                                   "\" data-link=\"" + std::to_string(m.curves[0].element) + "\""));
}

// Without a line plan no curve is read, and the list says why it is empty.
TEST(ViewPage, NoPlanNoCurves) {
  const Compiled c =
      compile_text("[generale]\r\nlunghezza percorso,  20000\r\n[curve]\r\ncurvas6,  6000,  400\r\n[fine]\r\n",
                   "[generale]\r\n[vel_limite]\r\nvelocita,  0,  100\r\n[fine]\r\n", "R", "1", true, false);
  const PageModel m = model_of(c);
  EXPECT_TRUE(m.curves.empty());
  EXPECT_THAT(render_page(m), ::testing::HasSubstr("no curves: no line plan"));
}

TEST(ViewPage, DrawsEveryElementWithKindAndCellAndFetchesNothing) {
  const PageModel m = model_of(compile_builtin());
  const std::string page = render_page(m);

  std::map<std::string, std::size_t> expected;
  for (const Element& e : m.elements) ++expected[kind_name(e.kind)];
  EXPECT_EQ(drawn_per_kind(page), expected);
  // Every data-kind attribute is followed by its data-cell; each element
  // is drawn in the map, the profile and a list.
  auto count = [&page](const char* pattern) {
    const std::regex re(pattern);
    return std::distance(std::sregex_iterator(page.begin(), page.end(), re), std::sregex_iterator());
  };
  const auto kinds = count(R"re(data-kind="[a-z])re");
  EXPECT_EQ(count(R"re(data-kind="[a-z-]+" data-cell="\d+" data-el="\d+")re"), kinds);
  EXPECT_GE(kinds, static_cast<long>(3 * m.elements.size()));

  EXPECT_THAT(page, ::testing::Not(::testing::HasSubstr("<link")));
  EXPECT_THAT(page, ::testing::Not(::testing::HasSubstr(" src=")));
  EXPECT_THAT(page, ::testing::Not(::testing::HasSubstr("url(")));
  EXPECT_THAT(page, ::testing::Not(::testing::HasSubstr("https:")));
  // The only http: is the SVG namespace name, which is never fetched.
  EXPECT_THAT(std::regex_replace(page, std::regex("http://www.w3.org/2000/svg"), ""),
              ::testing::Not(::testing::HasSubstr("http:")));
  for (const Station& s : m.stations) EXPECT_THAT(page, ::testing::HasSubstr(">" + s.name + "<")) << s.name;
  EXPECT_THAT(page, ::testing::HasSubstr("32324 &#10003; confirmed"));
  EXPECT_THAT(page, ::testing::HasSubstr("class=\"rank-a\""));
  EXPECT_THAT(page, ::testing::HasSubstr("class=\"rank-c\""));
}

// A page on its own opens no connection; a served one may open its event
// stream, to its own server only, and says which build it shows.
TEST(ViewPage, OnlyAServedPageFollowsItsEventStream) {
  PageModel m = model_of(compile_builtin());
  const std::string alone = render_page(m);
  EXPECT_THAT(alone, ::testing::Not(::testing::HasSubstr("connect-src")));
  EXPECT_THAT(alone, ::testing::Not(::testing::HasSubstr("\"live\"")));
  m.live_events = "/events";
  m.live_build = 7;
  const std::string served = render_page(m);
  EXPECT_THAT(served, ::testing::HasSubstr("img-src data:; connect-src 'self'\">"));
  EXPECT_THAT(served,
              ::testing::HasSubstr("{\"sources\":true,\"live\":{\"events\":\"/events\",\"build\":7},\"elements\":["));
}

TEST(ViewPage, HostileTextsAreEscapedEverywhere) {
  const Compiled c = compile_text(
      "[generale]\r\nlunghezza percorso,  20000\r\n[indicazioni]\r\n"
      "cartello_indicatore,  3000,     (</script><img src=x onerror=alert(1)>)\r\n[fine]\r\n",
      "[generale]\r\n[stazioni]\r\nstazione,  0,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  15,  0,"
      "   CITT\xC0 & \"</script>\"\r\n[fine]\r\n",
      "R<&>", "1");
  const std::string page = render_page(model_of(c));
  EXPECT_THAT(page, ::testing::Not(::testing::HasSubstr("</script><img")));
  EXPECT_THAT(page, ::testing::Not(::testing::HasSubstr("<img")));
  EXPECT_THAT(page, ::testing::HasSubstr("&lt;/script&gt;&lt;img src=x onerror=alert(1)&gt;"));
  EXPECT_THAT(page, ::testing::HasSubstr("\\u003c/script\\u003e\\u003cimg"));  // in the script's data
  EXPECT_THAT(page, ::testing::HasSubstr("CITT\xC3\x80 &amp; &quot;&lt;/script&gt;&quot;"));
  EXPECT_THAT(page, ::testing::HasSubstr("<title>R&lt;&amp;&gt;"));
  // Exactly the page's own two scripts and its data block close.
  std::size_t closes = 0;
  for (std::size_t at = page.find("</script>"); at != std::string::npos; at = page.find("</script>", at + 1)) ++closes;
  EXPECT_EQ(closes, 4u);
}

TEST(ViewPage, ScenarioThatEndedInAFatalCheckStillShowsItsDiagnostics) {
  const Compiled c = compile_text("[generale]\r\nsfondo uno,  1\r\n[fine]\r\n", "[generale]\r\n[fine]\r\n");
  ASSERT_TRUE(c.fatal);
  const std::string page = render_page(model_of(c));
  EXPECT_THAT(page, ::testing::HasSubstr("No track cells were built"));
  EXPECT_THAT(page, ::testing::HasSubstr("data-diag=\"0\""));
  // As the terminal ends it, and the build shown failed.
  EXPECT_THAT(page, ::testing::HasSubstr("no track cells were built; no compiled file was written [no-track-cells]"));
  EXPECT_THAT(page, ::testing::HasSubstr("<body class=\"failed\">"));
}

// The page lists each diagnostic as the terminal prints it under the
// warning options, and shows a failed build where compile would fail.
TEST(ViewPage, DiagnosticsAndBuildStateFollowTheWarningOptions) {
  const std::string line =
      "[generale]\r\nlunghezza percorso,  20000\r\n[pendenze]\r\npendenza,  1000,  3\r\n[fine]\r\n";
  const std::string train =
      "[generale]\r\n[aderenze]\r\naderenza,  100,  100\r\n[vel_limite]\r\nvelocita,  0,  90\r\n[fine]\r\n";
  const std::string misspelt = "[generale]\r\nsabia,  300\r\n" + train.substr(train.find("[aderenze]"));
  const std::string warning_row =
      "<td class=\"src place\">R_1-.txt:3:12:</td><td class=\"sev\">warning:</td><td><span class=\"dm\">the first "
      "`aderenza` record is at 100 m";
  const std::string misspelt_row =
      "<td class=\"src place\">R_1-.txt:2:1:</td><td class=\"sev\">error:</td><td><span class=\"dm\">&quot;sabia&quot; "
      "matches no record";
  const struct {
    const char* name;
    std::string train;
    ReportOptions options;
    bool failed;
    std::vector<std::string> shown, not_shown;
  } cases[] = {
      {"a warning", train, {}, false, {warning_row, "[-Wfirst-not-at-zero]</span>"}, {"id=\"banner\""}},
      {"-w",
       train,
       [] {
         ReportOptions o;
         o.no_warnings = true;
         return o;
       }(),
       false,
       {"none: the scenario compiled cleanly", "no diagnostics"},
       {warning_row}},
      {"-Werror",
       train,
       [] {
         ReportOptions o;
         o.warnings_are_errors = true;
         return o;
       }(),
       true,
       {warning_row, "1 warning treated as an error (-Werror)", "check unknown"},
       {}},
      {"a misspelt keyword",
       misspelt,
       {},
       true,
       {misspelt_row, "[-Werror=unknown-field]</span>", "do not compile: 1 error</strong>"},
       {}},
      {"-Wno-error=unknown-field",
       misspelt,
       [] {
         ReportOptions o;
         o.not_errors = {"unknown-field"};
         return o;
       }(),
       false,
       {"<td class=\"sev\">warning:</td>", "[-Wunknown-field]</span>"},
       {"id=\"banner\""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    set_report_options(c.options);
    const PageModel m = model_of(compile_text(line, c.train));
    const std::string page = render_page(m);
    set_report_options({});
    EXPECT_EQ(m.build.failed, c.failed);
    EXPECT_EQ(page.find("<body class=\"failed\">") != std::string::npos, c.failed);
    for (const std::string& text : c.shown) EXPECT_THAT(page, ::testing::HasSubstr(text));
    for (const std::string& text : c.not_shown) EXPECT_THAT(page, ::testing::Not(::testing::HasSubstr(text)));
  }
}

// A diagnostic is linked to the element read from its own line, and its
// note lines follow it.
TEST(ViewPage, DiagnosticLinksToTheElementOfItsLine) {
  const Compiled c =
      compile_text("[generale]\r\nlunghezza percorso,  20000\r\n[fine]\r\n",
                   "[generale]\r\n[segnali]\r\nsegnale,  4250,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\r\n"
                   "segnale,  4260,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\r\n[fine]\r\n");
  ASSERT_FALSE(c.scenario.diagnostics.empty());
  const PageModel m = model_of(c);
  const std::string page = render_page(m);
  const auto signal = std::find_if(m.elements.begin(), m.elements.end(),
                                   [](const Element& e) { return e.kind == ElementKind::kSignal; });
  ASSERT_NE(signal, m.elements.end());
  ASSERT_TRUE(signal->source);
  EXPECT_EQ(signal->source->line, 3);
  // The error is at the second signal's line, which placed nothing: it is
  // linked to the signal that holds the cell, at its position.
  EXPECT_THAT(page, ::testing::HasSubstr("data-diag=\"0\" data-link=\"" + std::to_string(signal - m.elements.begin()) +
                                         "\" data-file=\"R_1-.txt\" "
                                         "data-line=\"4\""));
  EXPECT_THAT(page, ::testing::HasSubstr("<div class=\"note\"><span class=\"src\">R_1-.txt:3:1:</span> note: "));
}

// The hostile inputs of the fuzz fixtures, compiled as the fuzz target does:
// whatever state they leave, its page is built and is well formed.
TEST(ViewPage, EveryFuzzFixtureGetsAPage) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(SB_FIXTURE_DIR) / "fuzz")) {
    files.push_back(entry.path());
  }
  ASSERT_FALSE(files.empty());
  for (const auto& path : files) {
    SCOPED_TRACE(path.filename().string());
    fuzzing::SplitInput split = fuzzing::split_input(test::read_bytes(path));
    const Compiled c = compile_text(split.line, split.train, "R", "1", split.train_exists, split.build_plan);
    std::string page;
    ASSERT_NO_THROW(page = render_page(model_of(c)));
    EXPECT_EQ(page.compare(page.size() - 8, 8, "</html>\n"), 0);
    EXPECT_EQ(static_cast<std::size_t>(std::count(page.begin(), page.end(), '\0')), 0u);
    // One diagnostics row per recorded condition, up to the page's bound.
    const std::size_t rows = std::min<std::size_t>(c.scenario.diagnostics.size() + (c.fatal ? 1 : 0), 500);
    if (rows > 0) {
      EXPECT_THAT(page, ::testing::HasSubstr("data-diag=\"" + std::to_string(rows - 1) + "\""));
    }
    EXPECT_THAT(page, ::testing::Not(::testing::HasSubstr("data-diag=\"" + std::to_string(rows) + "\"")));
  }
}

TEST(ViewPage, ALongRouteStaysSmall) {
  bench::GeneratedScenario g = bench::generate_scenario(1000, 1);
  const Compiled c = compile_text(g.line, g.train_description, g.route, g.train);
  ASSERT_TRUE(c.scenario.diagnostics.empty());
  const PageModel m = model_of(c);
  EXPECT_LE(m.plan.size(), 4000u);
  const std::string page = render_page(m);
  EXPECT_LT(page.size(), 3u * 1024 * 1024);
  std::size_t drawn = 0;
  for (auto& [kind, n] : drawn_per_kind(page)) drawn += n;
  EXPECT_EQ(drawn, m.elements.size());
}

// The chainage shown for a station follows the line's systems: reference +
// position rising, reference - position falling, from the system's start
// on; before every system the page says that none covers the position.
// The profile's optional chainage axis: the chainage at each km tick, from
// the right system on either side of where one starts; none on a line
// without chainage systems.
TEST(ViewPage, ProfileCarriesAChainageAxisWhereTheLineHasChainage) {
  const std::string builtin = render_page(model_of(compile_builtin()));
  EXPECT_THAT(builtin, ::testing::HasSubstr("<g id=\"chainage-axis\">"));
  EXPECT_THAT(builtin, ::testing::HasSubstr("id=\"chainage-toggle\" checked"));
  // Ticks every 5 km: at 0 km system one (5 200 + 0), at 35 km system two
  // (44 400 - 35 000, falling), with the start of system two marked.
  EXPECT_THAT(builtin, ::testing::HasSubstr(">5.2</text>"));
  EXPECT_THAT(builtin, ::testing::HasSubstr(">9.4</text>"));
  EXPECT_THAT(builtin, ::testing::HasSubstr("<title>a chainage system starts at 31 700 m</title>"));

  const std::string line = "[generale]\r\nlunghezza percorso,  3000\r\n[fine]\r\n";
  const std::string train = test::train_file("velocita,  0,  90\r\naderenza,  0,  100\r\n");
  const std::string plain = render_page(model_of(compile_text(line, train)));
  EXPECT_THAT(plain, ::testing::Not(::testing::HasSubstr("<g id=\"chainage-axis\">")));
  EXPECT_THAT(plain, ::testing::Not(::testing::HasSubstr("id=\"chainage-toggle\"")));
}

TEST(ViewPage, StationChainageFollowsTheSystems) {
  struct Expected {
    const char* station;
    int64_t metres;
  };
  const PageModel builtin = model_of(compile_builtin());
  std::map<std::string, std::optional<int64_t>> shown;
  for (const Station& s : builtin.stations) shown[s.name] = s.chainage;
  for (const Expected& e : {Expected{"VALDRA P.CALVEA", 5200},  // system one: 5 200 + 0, rising
                            Expected{"CASTELFRAVONE", 26500},   // 5 200 + 21 300
                            Expected{"BELMONZA", 12700},        // system two from 31 700: 44 400 - 31 700, falling
                            Expected{"LUSERA", 5300},           // 44 400 - 39 100
                            Expected{"DORVESA", 0}}) {          // 44 400 - 44 400
    EXPECT_EQ(shown.at(e.station), e.metres) << e.station;
  }

  // One rising system that starts 2 km on, reference 10 000 m.
  const std::string line =
      "[generale]\r\nlunghezza percorso,  12000\r\nprogressiva chilometrica uno,  2000,  10000,  0\r\n[curve]\r\n"
      "[fine]\r\n";
  const std::string train =
      test::train_file("velocita,  0,  90\r\naderenza,  0,  100\r\n[stazioni]\r\n" +
                       test::station_record(1000, 12, 0, 0, "PRIMA") + test::station_record(5000, 12, 0, 0, "SECONDA"));
  const PageModel away = model_of(compile_text(line, train));
  ASSERT_EQ(away.stations.size(), 2u);
  EXPECT_EQ(away.stations[0].chainage, std::nullopt);  // before the system
  EXPECT_EQ(away.stations[1].chainage, 15000);         // 10 000 + 5 000
  const Element& before = away.elements[static_cast<std::size_t>(away.stations[0].element)];
  EXPECT_THAT(before.values, ::testing::Contains(std::pair<std::string, std::string>(
                                 "chainage", "no chainage system covers this position")));
  const std::string html = render_page(away);
  EXPECT_THAT(html, ::testing::HasSubstr("<td class=\"n\">15.000</td>"));
  EXPECT_THAT(html, ::testing::HasSubstr("title=\"no chainage system covers this position\">&ndash;</td>"));
}

// Accented text reaches the page encoded once: file names are UTF-8 as
// given, a warning's text as the file held it (here a station name written
// in UTF-8, which the warning is about).
TEST(ViewPage, AccentedFileNamesAndWarningTextsAreEncodedOnce) {
  const std::string line = "[generale]\r\nlunghezza percorso,  12000\r\n[curve]\r\n[fine]\r\n";
  const std::string train = test::train_file("velocita,  0,  90\r\naderenza,  0,  100\r\n[stazioni]\r\n" +
                                             test::station_record(1000, 12, 0, 0, "SANT\xC3\x80 VITO"));
  const Compiled c = compile_text(line, train, "Citt\xC3\xA0", "7");
  ASSERT_FALSE(c.scenario.diagnostics.empty());
  const std::string page = render_page(model_of(c));
  EXPECT_THAT(page, ::testing::HasSubstr("Citt\xC3\xA0_7-.txt:"));
  EXPECT_THAT(page, ::testing::Not(::testing::HasSubstr("Citt\xC3\x83\xC2\xA0_7-.txt"))) << "a file name encoded twice";
  EXPECT_THAT(page, ::testing::HasSubstr("SANT\xC3\x80 VITO"));
  EXPECT_THAT(page, ::testing::Not(::testing::HasSubstr("SANT\xC3\x83\xC6\x92"))) << "a warning's text encoded twice";
}

// A mistake on every line: the page lists a bounded number of diagnostics
// in full, each once, and counts the rest.
TEST(ViewPage, ListsABoundedNumberOfDiagnosticsEachOnce) {
  std::string misspelt;
  for (int i = 0; i < 20000; ++i) misspelt += "stazone,  " + std::to_string(1000 + i) + ",  12\r\n";
  const std::string line = "[generale]\r\nlunghezza percorso,  12000\r\n[curve]\r\n" + misspelt + "[fine]\r\n";
  const std::string train = "[generale]\r\n[vel_limite]\r\nvelocita,  0,  90\r\n[fine]\r\n";
  const Compiled c = compile_text(line, train, "Prova", "1");
  // Past its limit the compile counts warnings without keeping them; the
  // page counts them among those not listed.
  const std::size_t found = c.scenario.diagnostics.size() + c.scenario.diagnostics.left_out_count();
  ASSERT_GT(found, 20000u);
  EXPECT_LE(c.scenario.diagnostics.size(), 1050u);
  const std::string page = render_page(model_of(c));
  EXPECT_LT(page.size(), 1024u * 1024u);
  std::size_t rows = 0;
  for (std::size_t at = page.find("<tr class=\"diag"); at != std::string::npos;
       at = page.find("<tr class=\"diag", at + 1)) {
    ++rows;
  }
  EXPECT_EQ(rows, 500u);
  EXPECT_THAT(page, ::testing::Not(::testing::HasSubstr("\"diagnostics\":")))
      << "the diagnostics are written a second time";
  EXPECT_NE(page.find(std::to_string(found - 500) + " more diagnostics are not listed here; the terminal output " +
                      "lists the first " + std::to_string(c.scenario.diagnostics.size())),
            std::string::npos);
}

}  // namespace
}  // namespace sb::view
