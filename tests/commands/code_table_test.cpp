// The table of codes: every code and warning the program can report has a
// row, each row's example really raises it when checked, explain prints
// the row, and the manual's table is the table.
#include "commands/code_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "commands/report.h"
#include "compile/check.h"
#include "reader/warning_watch.h"
#include "support/test_files.h"

namespace sb {

void PrintTo(const CodeRow& row, std::ostream* out) { *out << row.id; }

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

const fs::path kRepository = fs::path(SB_EXAMPLE_DIR).parent_path().parent_path();

std::string test_name(const ::testing::TestParamInfo<CodeRow>& info) {
  std::string name;
  for (char c : info.param.id) name += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
  return name;
}

// What the row's diagnostic shows in brackets; a warning that loses input
// is an error by default.
bool shows(const std::string& err, const CodeRow& row) {
  const std::string id(row.id);
  const std::string name(row.name);
  if (err.find('[' + id + ']') != std::string::npos) return true;
  return row.kind == CodeKind::kWarning && err.find("[-Werror=" + name + ']') != std::string::npos;
}

class Examples : public ::testing::TestWithParam<CodeRow> {};

TEST_P(Examples, RaiseTheirCodeWhenChecked) {
  const CodeRow& row = GetParam();
  const ExampleFiles files = example_files(row);
  if (!files.line) {
    // check refuses a missing file before reading; the reader reports it.
    CheckRequest request{{"Prova", "1", true}, {"Prova_linea.txt", "", false}, {"Prova_1-.txt", *files.train}};
    const CheckResult r = check_scenario(request);
    ASSERT_FALSE(r.diagnostics.empty());
    EXPECT_EQ(r.diagnostics.list()[0].code, row.code);
    return;
  }
  const test::TempDir dir;
  test::write_bytes(dir.path() / "Prova_linea.txt", *files.line);
  test::write_bytes(dir.path() / "Prova_1-.txt", *files.train);
  // The notes are read by the documents alone, not by check.
  const bool notes = row.name == "notes-character";
  if (notes) test::write_bytes(dir.path() / "note.txt", "Attenzione \xE2\x86\x92 binario 2\n");
  const test::Outcome o =
      notes ? test::run_program({"documents", "Prova_linea.txt", "Prova_1-.txt", "--notes", "note.txt"}, dir.path())
      : opt_in_warning(row.name)
          ? test::run_program({"check", "Prova_linea.txt", "Prova_1-.txt", "-W" + std::string(row.name)}, dir.path())
          : test::run_program({"check", "Prova_linea.txt", "Prova_1-.txt"}, dir.path());
  EXPECT_TRUE(shows(o.err, row)) << o.err;
  // Every diagnostic with a line has the shape problem matchers read.
  const std::regex matcher(R"(^(.*):(\d+):(\d+):\s+(?:fatal\s+)?(warning|error):\s+(.*)$)");
  const std::regex with_line(R"(^Prova_[^:]*:\d+:)");
  std::istringstream lines(o.err);
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, with_line) && line.find(": note: ") == std::string::npos) {
      EXPECT_TRUE(std::regex_match(line, matcher)) << line;
    }
  }
  const test::Outcome explained = test::run_program({"explain", std::string(row.id)});
  EXPECT_EQ(explained.status, 0);
  EXPECT_EQ(explained.out, explanation(row));
}

INSTANTIATE_TEST_SUITE_P(CodeTable, Examples, ::testing::ValuesIn(code_table()), test_name);

TEST(CodeTable, EveryWarningHasARow) {
  for (std::string_view name : warning_names()) EXPECT_NE(warning_row(name), nullptr) << name;
  // ...and every warning row is a name -Wno-NAME takes.
  for (const CodeRow& row : code_table()) {
    if (row.kind != CodeKind::kWarning) continue;
    EXPECT_NE(std::find(warning_names().begin(), warning_names().end(), row.name), warning_names().end()) << row.id;
  }
}

// The codes the author's reference lists, which are every code the
// reader, the recorders, the completion and the fatal checks record.
TEST(CodeTable, EveryDocumentedCodeHasARow) {
  const std::string doc = test::read_bytes(kRepository / "docs" / "description-format.md");
  const std::size_t codes = doc.find("\n## Codes\n");
  ASSERT_NE(codes, std::string::npos);
  const std::string section = doc.substr(codes, doc.find("\n## ", codes + 1) - codes);
  const std::regex row_start(R"(\n\| ([0-9, ]+) \|)");
  std::set<int> seen;
  for (std::sregex_iterator it(section.begin(), section.end(), row_start), end; it != end; ++it) {
    const std::string numbers = (*it)[1];
    const std::regex number("[0-9]+");
    for (std::sregex_iterator n(numbers.begin(), numbers.end(), number); n != std::sregex_iterator(); ++n) {
      seen.insert(std::stoi(n->str()));
    }
  }
  EXPECT_GE(seen.size(), 28u);
  for (int code : seen) EXPECT_NE(error_row(code), nullptr) << code;
}

// Every bracketed id the diagnostics cases show, as the program printed
// them.
TEST(CodeTable, EveryIdTheCasesShowHasARow) {
  const std::regex tag(R"(\[(E[0-9]+|-W[a-z0-9-]+|-Werror=[a-z0-9-]+|no-track-cells|root-cause)\]$)");
  std::size_t found = 0;
  for (const auto& entry : fs::directory_iterator(SB_DIAGNOSTICS_DIR)) {
    const std::string text = test::read_bytes(entry.path());
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
      std::smatch m;
      if (!std::regex_search(line, m, tag)) continue;
      ++found;
      EXPECT_NE(find_code_row(m[1].str()), nullptr) << entry.path().filename() << ": " << line;
    }
  }
  EXPECT_GT(found, 100u);
}

// Every SARIF rule has a short description: the meaning's first sentence,
// or all of it when it is one sentence.
TEST(CodeTable, SarifRulesHaveAShortDescription) {
  const nlohmann::json log = nlohmann::json::parse(sarif_log("[]"));
  const nlohmann::json& rules = log["runs"][0]["tool"]["driver"]["rules"];
  ASSERT_EQ(rules.size(), code_table().size());
  for (const nlohmann::json& rule : rules) {
    const std::string short_text = rule["shortDescription"]["text"];
    const std::string full_text = rule["fullDescription"]["text"];
    EXPECT_FALSE(short_text.empty()) << rule["id"];
    EXPECT_EQ(full_text.substr(0, short_text.size()), short_text) << rule["id"];
  }
}

TEST(CodeTable, ExplainFindsCodesByTheirSpellings) {
  EXPECT_EQ(find_code_row("16"), find_code_row("E16"));
  EXPECT_EQ(find_code_row("tab"), find_code_row("-Wtab"));
  EXPECT_EQ(find_code_row("-Werror=unknown-field"), warning_row("unknown-field"));
  EXPECT_EQ(find_code_row("E14"), nullptr);
  const test::Outcome unknown = test::run_program({"explain", "E14"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_THAT(unknown.err, HasSubstr("no code or warning \"E14\""));
}

TEST(CodeTable, TheManualHoldsTheTable) {
  const std::string readme = test::read_bytes(kRepository / "docs" / "manual.md");
  const std::string begin = "<!-- the table of codes: scenario-builder explain --markdown -->\n";
  const std::size_t start = readme.find(begin);
  ASSERT_NE(start, std::string::npos) << "docs/manual.md has no table of codes";
  const std::size_t end = readme.find("<!-- end of the table of codes -->", start);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(readme.substr(start + begin.size(), end - start - begin.size()), code_table_markdown())
      << "regenerate it: scenario-builder explain --markdown";
}

}  // namespace
}  // namespace sb
