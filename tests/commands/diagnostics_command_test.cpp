// JSON diagnostics, driven through the real executable on copies of the
// small fixture. The check command's listings (a clean check, several
// mistakes, as text and as JSON), the warning options and the parser's
// messages are data-file cases under tests/diagnostics/.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

using sb::test::Outcome;
using sb::test::read_bytes;
using sb::test::snapshot;
using sb::test::write_bytes;

const std::string kFixtures = SB_FIXTURE_DIR;
const std::string kLine = "Prova_linea.txt";
const std::string kTrain = "Prova_100-.txt";

class DiagnosticsCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.created());
    dir_ = tmp_.path().string();
    fs::copy_file(kFixtures + "/" + kLine, dir_ + "/" + kLine);
    fs::copy_file(kFixtures + "/" + kTrain, dir_ + "/" + kTrain);
  }

  // Runs the program in the directory, which must hold the same files
  // afterwards unless `writes` is set.
  Outcome run(const std::vector<std::string>& args, bool writes = false) {
    const auto before = snapshot(dir_);
    Outcome o = sb::test::run_program(args, dir_);
    if (!writes) {
      EXPECT_EQ(snapshot(dir_), before) << "files changed";
    }
    return o;
  }

  void edit(const std::string& file, const std::string& old, const std::string& replacement) {
    std::string bytes = read_bytes(dir_ + "/" + file);
    auto at = bytes.find(old);
    ASSERT_NE(at, std::string::npos) << old;
    write_bytes(dir_ + "/" + file, bytes.replace(at, old.size(), replacement));
  }

  sb::test::TempDir tmp_;
  std::string dir_;
};

TEST_F(DiagnosticsCommand, JsonDiagnosticsAreOneArray) {
  edit(kTrain, "sabbia,  300", "sabia,  300");
  edit(kTrain, "stazione,  2500", "stazione,  2510");
  const Outcome o = run({"check", kLine, kTrain, "--diagnostics-format=json"});
  EXPECT_EQ(o.status, 1);
  const nlohmann::json parsed = nlohmann::json::parse(o.err);
  ASSERT_TRUE(parsed.is_array());
  ASSERT_EQ(parsed.size(), 3u) << o.err;
  EXPECT_EQ(parsed[0]["file"], kTrain);
  EXPECT_EQ(parsed[0]["line"], 4);
  // A misspelt keyword loses its record: an error by default.
  EXPECT_EQ(parsed[0]["severity"], "error");
  EXPECT_EQ(parsed[0]["name"], "unknown-field");
  EXPECT_TRUE(parsed[0]["code"].is_null());
  EXPECT_EQ(parsed[1]["line"], 13);
  EXPECT_EQ(parsed[1]["severity"], "error");
  EXPECT_EQ(parsed[1]["code"], 8);
  EXPECT_EQ(parsed[1]["name"], "station-position-not-multiple-of-50");
  EXPECT_EQ(parsed[1]["message"], "station position 2510 m is not a multiple of 50");
  EXPECT_EQ(parsed[2]["severity"], "note");

  // compile too, with a fatal check.
  edit(kLine, "[fine]", "cartello_indicatore,  0,     (X)\r\n[fine]");
  const Outcome fatal = run({"compile", kLine, kTrain, "--diagnostics-format", "json", "-w"});
  EXPECT_EQ(fatal.status, 3);
  const nlohmann::json entries = nlohmann::json::parse(fatal.err);
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.back()["severity"], "fatal");
  EXPECT_EQ(entries.back()["code"], 1250);
}

// What reaches the terminal from a file name or an input text is shown,
// never obeyed: C0 controls as \xHH, C1 controls (U+009B starts an escape
// sequence on many terminals) and bidirectional overrides and isolates as
// \u{HHHH}. A Windows-1252 byte such as 0x9B ("›") is no UTF-8 character
// and passes as it is. As JSON the same characters are \u escapes, and
// the document still reads as the file's own name.
TEST_F(DiagnosticsCommand, TextFromFilesCannotDriveTheTerminal) {
  const std::string route =
      "A\x1B[2J\xC2\x9B"
      "31m\xE2\x80\xAE\xE2\x81\xA6";
  const std::string line = route + "_linea.txt", train = route + "_100-.txt";
  fs::rename(dir_ + "/" + kLine, dir_ + "/" + line);
  fs::rename(dir_ + "/" + kTrain, dir_ + "/" + train);
  edit(train, "[fine]", "zzz\xC2\x85\xE2\x80\xAA\x9B\x80\r\n[fine]");

  const Outcome text = run({"check", line, train});
  const std::string shown = "A\\x1b[2J\\u{9b}31m\\u{202e}\\u{2066}";
  EXPECT_NE(text.err.find(shown + "_100-.txt:"), std::string::npos) << text.err;
  EXPECT_NE(text.err.find("\"zzz\\u{85}\\u{202a}\x9B\x80\""), std::string::npos) << text.err;
  for (const std::string hidden : {"\x1B", "\xC2\x9B", "\xC2\x85", "\xE2\x80\xAE", "\xE2\x80\xAA", "\xE2\x81\xA6"}) {
    EXPECT_EQ(text.err.find(hidden), std::string::npos) << "raw bytes reached standard error";
  }

  const Outcome json = run({"check", line, train, "--diagnostics-format=json"});
  for (const std::string hidden : {"\x1B", "\xC2\x9B", "\xE2\x80\xAE"}) {
    EXPECT_EQ(json.err.find(hidden), std::string::npos) << "raw bytes reached standard error";
  }
  const nlohmann::json entries = nlohmann::json::parse(json.err);
  ASSERT_FALSE(entries.empty());
  EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [&](const nlohmann::json& e) { return e["file"] == train; }))
      << json.err;
}

}  // namespace
