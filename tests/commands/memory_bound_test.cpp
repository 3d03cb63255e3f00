// Memory bounded per input byte: a legal input built to make the program
// keep much (a warning on every line, millions of track cells, a document
// of hundreds of megabytes for the language server) costs at most the
// manual's bound of a constant plus 8 bytes per byte read, through the real
// executable, and what was left out is counted where the user sees it.
// The page of `view` (up to about 20 MB, whatever the input) takes the
// manual's larger constant; every other command stays within the smaller.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using sb::test::kMemoryMeasured;

// The manual's bound: a constant and a cost per byte read.
constexpr double kFixedBytes = 16.0 * (1 << 20);
constexpr double kFixedBytesWithPage = 64.0 * (1 << 20);
constexpr double kBytesPerInputByte = 8.0;

// Under the sanitizers memory is not measured and the inputs shrink.
constexpr std::size_t kScale = kMemoryMeasured ? 1 : 8;

void expect_within_bound(const sb::test::Outcome& o, uintmax_t input_bytes, double fixed = kFixedBytes) {
  EXPECT_LT(o.seconds, 5.0 * sb::test::kSlowBuildSlack);
  if (!kMemoryMeasured) return;
  EXPECT_LT(static_cast<double>(o.max_rss_kib) * 1024.0, fixed + kBytesPerInputByte * input_bytes)
      << o.max_rss_kib << " KiB for " << input_bytes << " bytes of input";
}

class MemoryBound : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.created()); }
  fs::path path(const std::string& name) const { return dir_.path() / name; }
  sb::test::TempDir dir_{"sb_memory_bound_"};
};

// A line file with an unknown word on each of its many lines: one warning
// a line. The first 1000 are listed, the rest counted, in every format; a
// warning past the limit still fails a compile under -Werror.
TEST_F(MemoryBound, AWarningOnEveryLineIsCountedNotKept) {
  const std::size_t lines = 500000 / kScale;
  const std::string example = sb::test::read_bytes(fs::path(SB_EXAMPLE_DIR) / "Esempio_linea.txt");
  std::string line = example;
  std::string words;
  words.reserve(2 * lines);
  for (std::size_t i = 0; i < lines; ++i) words += "x\n";
  line.insert(line.find("[cartelli]") + std::string("[cartelli]\n").size(), words);
  const fs::path line_file = path("Esempio_linea.txt"), train_file = path("Esempio_7-.txt");
  sb::test::write_bytes(line_file, line);
  fs::copy_file(fs::path(SB_EXAMPLE_DIR) / "Esempio_7-.txt", train_file);
  fs::create_directories(path("out"));
  const uintmax_t input = fs::file_size(line_file) + fs::file_size(train_file);
  const std::string left = std::to_string(lines - 1000);

  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;  // in standard error
  };
  const std::string l = line_file.string(), t = train_file.string(), out = path("out").string();
  const std::vector<Case> cases = {
      {{"check", l, t},
       0,
       "check: 0 errors, " + std::to_string(lines) + " warnings; " + left +
           " warnings not listed (past --max-warnings 1000); nothing was written"},
      {{"check", l, t, "--max-warnings", "10"}, 0, std::to_string(lines - 10) + " warnings not listed"},
      {{"check", l, t, "--diagnostics-format", "sarif"}, 0, "\"notListed\""},
      {{"compile", l, t, "--out", out}, 0, left + " warnings not listed (past --max-warnings 1000)\n"},
      {{"compile", l, t, "--out", out, "--diagnostics-format", "json"}, 0, "\"not_listed\""},
      {{"compile", l, t, "--out", out, "-Werror", "--max-warnings", "0"},
       1,
       std::to_string(lines) + " warnings treated as errors (-Werror); no compiled file was written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    const sb::test::Outcome o = sb::test::run_program(c.args);
    EXPECT_EQ(o.status, c.status) << o.err.substr(o.err.size() - std::min<std::size_t>(o.err.size(), 2000));
    EXPECT_NE(o.err.find(c.says), std::string::npos)
        << o.err.substr(o.err.size() - std::min<std::size_t>(o.err.size(), 2000));
    EXPECT_LT(o.err.size(), std::size_t{2} << 20) << "the listing is bounded too";
    expect_within_bound(o, input);
    if (o.err.front() == '[' || o.err.front() == '{') {
      // The counts are numbers a tool can read, beside the entries kept.
      const nlohmann::json report = nlohmann::json::parse(o.err);
      const nlohmann::json& counted = report.is_array()
                                          ? report.back()["not_listed"]
                                          : report["runs"][0]["invocations"][0]["properties"]["notListed"];
      EXPECT_EQ(counted["errors"], 0);
      EXPECT_EQ(counted["warnings"], lines - 1000);
    }
  }
}

// Notes with a character Windows-1252 lacks on every line: one warning a
// line, counted past the limit as the description files' are.
TEST_F(MemoryBound, NotesWithAWarningOnEveryLineAreCountedNotKept) {
  const std::size_t lines = 500000 / kScale;
  std::string notes;
  notes.reserve(5 * lines);
  for (std::size_t i = 0; i < lines; ++i) notes += "\xE2\x82\xBF\n";  // a sign with no byte in Windows-1252
  sb::test::write_bytes(path("notes.txt"), notes);
  fs::create_directories(path("out"));
  const std::string example = SB_EXAMPLE_DIR;
  const sb::test::Outcome o =
      sb::test::run_program({"documents", example + "/Esempio_linea.txt", example + "/Esempio_7-.txt", "--notes",
                             path("notes.txt").string(), "--out", path("out").string()});
  EXPECT_EQ(o.status, 0) << o.err.substr(0, 2000);
  EXPECT_NE(o.err.find(std::to_string(lines - 1000) + " warnings not listed (past --max-warnings 1000)"),
            std::string::npos);
  expect_within_bound(
      o, notes.size() + fs::file_size(example + "/Esempio_linea.txt") + fs::file_size(example + "/Esempio_7-.txt"));
}

// A track cell file of millions of cells, each holding an element and
// changing profile: the page draws the first cells, says how many more it
// left out, and stays a few megabytes.
TEST_F(MemoryBound, TheViewOfMillionsOfCellsIsBounded) {
  fs::create_directories(path("example"));
  const sb::test::Outcome compiled =
      sb::test::run_program({"compile", std::string(SB_EXAMPLE_DIR) + "/Esempio_linea.txt",
                             std::string(SB_EXAMPLE_DIR) + "/Esempio_7-.txt", "--out", path("example").string()});
  ASSERT_EQ(compiled.status, 0) << compiled.err;
  const std::string cells = sb::test::read_bytes(path("example") / "Esempio_7.dat");
  constexpr std::size_t kCell = 15;
  std::vector<std::string> held;  // the example's cells that hold something
  for (std::size_t at = 2 * kCell; at + kCell <= cells.size(); at += kCell) {
    if (cells[at] != 0) held.push_back(cells.substr(at, kCell));
  }
  ASSERT_GT(held.size(), 5u);
  const std::size_t count = (std::size_t{16} << 20) / kScale / kCell;
  std::string hostile = cells.substr(0, 2 * kCell);
  hostile.reserve(count * kCell);
  for (std::size_t i = 2; i < count; ++i) {
    std::string c = held[i % held.size()];
    c[11] = static_cast<char>(i % 2);             // montagna type
    c[12] = static_cast<char>(10 + (i % 2) * 8);  // speed code
    c[13] = static_cast<char>(100 + (i % 2) * 10);
    c[14] = static_cast<char>(1 + i % 2);  // adhesion
    hostile += c;
  }
  fs::create_directories(path("hostile"));
  sb::test::write_bytes(path("hostile") / "Esempio_7.dat", hostile);
  fs::copy_file(path("example") / "Esempio_7.sim", path("hostile") / "Esempio_7.sim");
  const fs::path page = path("page.html");
  const sb::test::Outcome o =
      sb::test::run_program({"view", "--compiled", (path("hostile") / "Esempio_7.dat").string(),
                             (path("hostile") / "Esempio_7.sim").string(), "-o", page.string()});
  EXPECT_LE(o.status, 1) << o.err;
  expect_within_bound(o, hostile.size() + fs::file_size(path("hostile") / "Esempio_7.sim"), kFixedBytesWithPage);
  ASSERT_TRUE(fs::exists(page)) << o.err;
  EXPECT_LT(fs::file_size(page), std::size_t{32} << 20);
  const std::string shown = sb::test::read_bytes(page);
  EXPECT_NE(shown.find("id=\"cells-not-drawn\">only the first 25000 track cells are drawn: " +
                       std::to_string(count - 25000) + " more cells"),
            std::string::npos);
}

std::string message(const nlohmann::json& body) {
  const std::string text = body.dump();
  return "Content-Length: " + std::to_string(text.size()) + "\r\n\r\n" + text;
}

// The language server takes a document up to 8 MiB: one of many short
// lines is checked within the bound; a larger one is neither kept nor
// checked, and the editor is told.
TEST_F(MemoryBound, TheLanguageServerBoundsTheDocumentsItTakes) {
  struct Case {
    std::size_t bytes;
    bool taken;
  };
  for (const Case c : {Case{(std::size_t{4} << 20) / kScale, true}, Case{std::size_t{24} << 20, false}}) {
    SCOPED_TRACE(c.bytes);
    const fs::path document = path("Lungo_linea.txt");
    const std::string uri = "file://" + document.string();
    std::string text = "[generale]\nlunghezza percorso,  12000\n[cartelli]\n";
    text.reserve(c.bytes);
    while (text.size() + 2 <= c.bytes) text += "x\n";
    std::string messages =
        message({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", {{"capabilities", {}}}}}) +
        message({{"jsonrpc", "2.0"},
                 {"method", "textDocument/didOpen"},
                 {"params",
                  {{"textDocument", {{"uri", uri}, {"languageId", "scenario"}, {"version", 1}, {"text", text}}}}}}) +
        message({{"jsonrpc", "2.0"},
                 {"id", 2},
                 {"method", "textDocument/hover"},
                 {"params", {{"textDocument", {{"uri", uri}}}, {"position", {{"line", 0}, {"character", 0}}}}}}) +
        message({{"jsonrpc", "2.0"}, {"id", 3}, {"method", "shutdown"}}) +
        message({{"jsonrpc", "2.0"}, {"method", "exit"}});
    text.clear();
    text.shrink_to_fit();
    const fs::path input = path("messages");
    sb::test::write_bytes(input, messages);
    const uintmax_t input_bytes = messages.size();
    messages.clear();
    messages.shrink_to_fit();
    const sb::test::Outcome o = sb::test::run_program({"lsp"}, {}, 0, input);
    EXPECT_EQ(o.status, 0) << o.err;
    expect_within_bound(o, input_bytes);
    const std::string refused = "bytes, more than the 8388608 bytes the language server checks";
    EXPECT_EQ(o.out.find("\"window/showMessage\"") != std::string::npos, !c.taken) << o.out.substr(0, 2000);
    EXPECT_EQ(o.out.find(refused) != std::string::npos, !c.taken);
    EXPECT_EQ(o.err.find("checked " + document.string()) != std::string::npos, c.taken) << o.err;
  }
}

}  // namespace
