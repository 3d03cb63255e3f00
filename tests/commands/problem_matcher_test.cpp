// The problem matcher editors and CI use for compilers' output takes every
// diagnostic the program prints with a line: its file, line, column,
// severity and message. Tried on the real output the diagnostics cases
// hold (each case checks that the program prints exactly that).
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "support/test_files.h"

namespace sb {
namespace {

namespace fs = std::filesystem;

// As editors and CI ship it.
const std::regex kMatcher(R"(^(.*):(\d+):(\d+):\s+(?:fatal\s+)?(warning|error):\s+(.*)$)");
// A line that names a place with a line number.
const std::regex kWithLine(R"(^[^ :][^:]*:\d+:)");

// The expected standard error of every run of a case file.
std::vector<std::string> stderr_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  bool in_stderr = false;
  while (std::getline(in, line)) {
    if (line.rfind("--- ", 0) == 0) {
      in_stderr = line == "--- stderr";
      continue;
    }
    if (in_stderr) lines.push_back(line);
  }
  return lines;
}

TEST(ProblemMatcher, TakesEveryDiagnosticWithALine) {
  std::size_t matched = 0;
  std::size_t notes = 0;
  for (const auto& entry : fs::directory_iterator(SB_DIAGNOSTICS_DIR)) {
    if (entry.path().extension() != ".txt") continue;
    for (const std::string& line : stderr_lines(test::read_bytes(entry.path()))) {
      if (!std::regex_search(line, kWithLine)) continue;
      std::smatch m;
      if (line.find(": note: ") != std::string::npos) {
        // A related place: the matcher leaves it to the diagnostic above.
        EXPECT_FALSE(std::regex_match(line, m, kMatcher)) << line;
        ++notes;
        continue;
      }
      ASSERT_TRUE(std::regex_match(line, m, kMatcher)) << entry.path().filename() << ": " << line;
      EXPECT_GE(std::stoi(m[3].str()), 1) << line;
      EXPECT_FALSE(m[5].str().empty()) << line;
      EXPECT_EQ(m[1].str().find(':'), std::string::npos) << "the file takes the whole place: " << line;
      ++matched;
    }
  }
  EXPECT_GT(matched, 100u);
  EXPECT_GT(notes, 10u);
}

}  // namespace
}  // namespace sb
