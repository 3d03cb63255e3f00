// What the commands make of warnings and errors: the check command, the
// warning options, JSON diagnostics and the option parser's messages,
// driven through the real executable on copies of the small fixture.
#include <gtest/gtest.h>

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

TEST_F(DiagnosticsCommand, CheckReportsFourIndependentMistakesInBothFiles) {
  edit(kLine, "curvas4,  1600", "curvas7,  1600");                                   // line 12: 103
  edit(kLine, "(km 1+300)\r\n", "(km 1+300)\r\ncartello_indicatore,  1310,  (B)\r\n");  // line 22: 6
  edit(kTrain, "stazione,  2500", "stazione,  2510");                                 // line 13: 8
  edit(kTrain, "[codici]", "segnale,  2010,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\r\n[codici]");  // line 18: 16
  const Outcome o = run({"check", kLine, kTrain});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err,
            "Prova_linea.txt:12: error 103: curve keyword has no curvature class digit 1 to 6\n"
            "Prova_linea.txt:22: error 6: line board at 1310 m falls into cell 27, already taken by the board at "
            "1300 m (found after leaving out Prova_linea.txt:12)\n"
            "Prova_100-.txt:13: error 8: station position 2510 m is not a multiple of 50 (found after leaving out "
            "Prova_linea.txt:12, Prova_linea.txt:22)\n"
            "Prova_100-.txt:18: error 16: signal at 2010 m falls into cell 41, already taken by the signal at 2000 m "
            "(found after leaving out Prova_linea.txt:12, Prova_linea.txt:22, Prova_100-.txt:13)\n"
            "scenario-builder: check: 4 errors, 0 warnings; nothing was written\n");

  const Outcome limited = run({"check", kLine, kTrain, "--max-errors", "2"});
  EXPECT_EQ(limited.status, 1);
  EXPECT_NE(limited.err.find("check: 2 errors, 0 warnings; stopped at --max-errors 2; nothing was written\n"),
            std::string::npos)
      << limited.err;
}

TEST_F(DiagnosticsCommand, CheckOfAGoodScenarioSaysSoAndExitsZero) {
  const Outcome o = run({"check", kLine, kTrain});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "scenario-builder: check: 0 errors, 0 warnings; nothing was written\n");
}

TEST_F(DiagnosticsCommand, WarningOptions) {
  edit(kTrain, "sabbia,  300", "sabia,  300");
  const std::string warning =
      "Prova_100-.txt:4: warning: \"sabia\" matches no record and is ignored, with the values after it on its "
      "line; did you mean `sabbia`? [-Wunknown-field]\n";
  fs::create_directory(dir_ + "/out");

  Outcome o = run({"compile", kLine, kTrain, "--out", "out"}, true);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, warning);
  EXPECT_EQ(snapshot(dir_ + "/out").size(), 3u);
  fs::remove_all(dir_ + "/out");
  fs::create_directory(dir_ + "/out");

  o = run({"compile", kLine, kTrain, "--out", "out", "-Werror"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, warning +
                       "scenario-builder: 1 warning treated as an error (-Werror); no compiled file was written "
                       "(--force writes them anyway)\n");
  EXPECT_TRUE(snapshot(dir_ + "/out").empty());

  for (const char* off : {"-w", "-Wno-unknown-field"}) {
    o = run({"compile", kLine, kTrain, "--out", "out", off, "-Werror"}, true);
    EXPECT_EQ(o.status, 0) << off;
    EXPECT_EQ(o.err, "") << off;
  }

  o = run({"check", kLine, kTrain, "-Werror"});
  EXPECT_EQ(o.status, 1);
  o = run({"compile", kLine, kTrain, "-Wno-such-thing"});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err.rfind("scenario-builder: error: unknown warning option -Wno-such-thing; the warnings are: ", 0),
            0u)
      << o.err;
}

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
  EXPECT_EQ(parsed[0]["severity"], "warning");
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

TEST_F(DiagnosticsCommand, ParseErrorsTakeTheToolsForm) {
  Outcome o = run({"--out", "x"});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err,
            "scenario-builder: error: The following arguments were not expected: x --out\n"
            "scenario-builder: hint: --out belongs to 'compile': scenario-builder compile LINE_FILE TRAIN_FILE "
            "--out VALUE\n"
            "Run with --help for more information.\n");
  o = run({"check", kLine});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err.rfind("scenario-builder: error: ", 0), 0u) << o.err;
}

TEST_F(DiagnosticsCommand, MissingRouteLengthIsNamed) {
  edit(kLine, "lunghezza percorso,  3000\r\n", "");
  const Outcome o = run({"check", kLine, kTrain, "-w"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err.rfind("Prova_linea.txt:9: error 25: reading failure: the line has no route length: put "
                        "\"lunghezza percorso, METRES\" between [generale] and the first section header\n",
                        0),
            0u)
      << o.err;
}

}  // namespace
