// A commit journal found in a directory may come from anyone (a received
// folder, an archive): one that is not exactly what this tool writes for
// that directory is refused with status 4 and nothing is touched, by
// recover and by every command that writes.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/failures.h"
#include "base/files.h"
#include "base/sha256.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using sb::test::Outcome;
using ::testing::HasSubstr;

const std::string kExample = SB_EXAMPLE_DIR;
const std::string kRefused = "is not one this version of scenario-builder wrote";

std::string field(const std::string& value) { return std::to_string(value.size()) + ":" + value + "\n"; }

// A journal of this tool's shape, with a right checksum, naming `entries`
// (temporary name, target name).
std::string journal_of(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string text = "scenario-builder commit journal 2\nentries " + std::to_string(entries.size()) + "\n";
  for (const auto& [temporary, target] : entries) text += field(temporary) + field(target);
  std::string hex;
  for (uint8_t b : sb::sha256(text)) {
    static constexpr char kDigits[] = "0123456789abcdef";
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return text + "end " + hex + "\n";
}

// Every file under `root`, with its bytes (a symbolic link as its target,
// a directory as "dir").
std::map<std::string, std::string> tree(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(e.path(), root).string();
    if (e.is_symlink()) {
      out[name] = "-> " + fs::read_symlink(e.path()).string();
    } else if (e.is_directory()) {
      out[name] = "dir";
    } else if (!e.is_regular_file()) {
      out[name] = "special";
    } else {
      out[name] = sb::test::read_bytes(e.path());
    }
  }
  return out;
}

class HostileJournal : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.created());
    for (const char* d : {"recv", "victim", "home"}) fs::create_directories(at(d));
    sb::test::write_bytes(at("victim/precious.txt"), "precious\n");
    sb::test::write_bytes(at("home/.bashrc"), "original\n");
    sb::test::write_bytes(at("recv/payload"), "echo PWNED\n");
    fs::copy_file(kExample + "/Esempio_linea.txt", at("Esempio_linea.txt"));
    fs::copy_file(kExample + "/Esempio_7-.txt", at("Esempio_7-.txt"));
  }

  fs::path at(const std::string& name) const { return tmp_.path() / name; }
  std::string abs(const std::string& name) const { return at(name).string(); }
  void plant(const std::string& journal) const { sb::test::write_bytes(at("recv/.scenario-builder-commit"), journal); }

  sb::test::TempDir tmp_{"sb_journal_"};
};

// The attack as it was reported: a journal of the old shape, with absolute
// paths out of the directory; and the same attack in today's shape with a
// right checksum and relative names.
TEST_F(HostileJournal, NoWritingCommandFollowsACraftedJournal) {
  const std::string old_shape = "scenario-builder commit journal 1\n" + field("") + field(abs("victim/precious.txt")) +
                                field(abs("recv/payload")) + field(abs("home/.bashrc"));
  const std::string new_shape =
      journal_of({{"", "../victim/precious.txt"}, {"payload", "../home/.bashrc"}, {"", abs("victim/precious.txt")}});
  const std::vector<std::pair<const char*, std::vector<std::string>>> commands = {
      {"recover", {"recover", "recv"}},
      {"compile", {"compile", "Esempio_linea.txt", "Esempio_7-.txt", "--out", "recv"}},
      {"documents", {"documents", "Esempio_linea.txt", "Esempio_7-.txt", "--out", "recv"}},
      {"view -o", {"view", "Esempio_linea.txt", "Esempio_7-.txt", "-o", "recv/page.html"}},
      {"built-in run", {"--dir", "recv"}},
      {"decompile --out", {"decompile", "compiled", "--route", "Esempio", "--train", "7", "--out", "recv"}},
  };
  fs::create_directories(at("compiled"));
  ASSERT_EQ(sb::test::run_program({"compile", "Esempio_linea.txt", "Esempio_7-.txt", "--out", "compiled"}, tmp_.path())
                .status,
            0);
  for (const std::string& journal : {old_shape, new_shape}) {
    for (const auto& [name, args] : commands) {
      plant(journal);
      const auto before = tree(tmp_.path());
      const Outcome o = sb::test::run_program(args, tmp_.path());
      EXPECT_EQ(o.status, 4) << name << ": " << o.err;
      EXPECT_THAT(o.err, HasSubstr(kRefused)) << name;
      EXPECT_THAT(o.err, HasSubstr("delete the journal")) << name;
      EXPECT_EQ(tree(tmp_.path()), before) << name;
    }
  }
  EXPECT_EQ(sb::test::read_bytes(at("victim/precious.txt")), "precious\n");
  EXPECT_EQ(sb::test::read_bytes(at("home/.bashrc")), "original\n");
}

// Every entry that is not this tool's own rename inside the directory.
struct ForeignCase {
  const char* name;
  std::function<void(const fs::path& recv)> plant;
  const char* why;
};

void PrintTo(const ForeignCase& c, std::ostream* out) { *out << c.name; }

class ForeignJournals : public ::testing::TestWithParam<ForeignCase> {};

void write_journal(const fs::path& recv, const std::vector<std::pair<std::string, std::string>>& entries) {
  sb::test::write_bytes(recv / ".scenario-builder-commit", journal_of(entries));
}

TEST_P(ForeignJournals, AreRefusedAndNothingIsTouched) {
  const sb::test::TempDir tmp("sb_foreign_journal_");
  ASSERT_TRUE(tmp.created());
  const fs::path recv = tmp.path() / "recv";
  fs::create_directories(recv);
  fs::create_directories(tmp.path() / "outside");
  sb::test::write_bytes(tmp.path() / "outside/Esempio_7.sim", "outside\n");
  sb::test::write_bytes(recv / "Esempio_7.sim", "kept\n");
  sb::test::write_bytes(recv / "Esempio_7.sim.sbtmp-abc123", "new\n");
  GetParam().plant(recv);
  const auto before = tree(tmp.path());
  try {
    sb::finish_unfinished_commit(recv.string());
    ADD_FAILURE() << "the journal was followed";
  } catch (const sb::FileSystemError& e) {
    EXPECT_THAT(e.what(), HasSubstr(kRefused));
    EXPECT_THAT(e.what(), HasSubstr(GetParam().why));
  }
  EXPECT_EQ(tree(tmp.path()), before);
}

const std::string kTemp = "Esempio_7.sim.sbtmp-abc123";

INSTANTIATE_TEST_SUITE_P(
    Entries, ForeignJournals,
    ::testing::Values(
        ForeignCase{"TargetInAnotherDirectory",
                    [](const fs::path& r) {
                      write_journal(r, {{kTemp, "../outside/Esempio_7.sim"}});
                    },
                    "a file this tool does not write"},
        ForeignCase{"AbsoluteTarget",
                    [](const fs::path& r) {
                      write_journal(r, {{kTemp, (r.parent_path() / "outside/Esempio_7.sim").string()}});
                    },
                    "a file this tool does not write"},
        ForeignCase{"DotDot",
                    [](const fs::path& r) {
                      write_journal(r, {{kTemp, ".."}});
                    },
                    "a file this tool does not write"},
        ForeignCase{"TargetOfAnotherKind",
                    [](const fs::path& r) {
                      write_journal(r, {{"payload", ".bashrc"}});
                    },
                    "a file this tool does not write"},
        ForeignCase{"TemporaryOfAnotherTarget",
                    [](const fs::path& r) {
                      write_journal(r, {{kTemp, "Esempio_7.dat"}});
                    },
                    "a file this tool does not write"},
        ForeignCase{"TemporaryWithoutTheMarker",
                    [](const fs::path& r) {
                      write_journal(r, {{"Esempio_7.sim.tmp-abc123", "Esempio_7.sim"}});
                    },
                    "a file this tool does not write"},
        ForeignCase{"RemovalOfACompiledFile",
                    [](const fs::path& r) {
                      write_journal(r, {{"", "Esempio_7.sim"}});
                    },
                    "a file this tool does not write"},
        ForeignCase{"OneTargetTwice",
                    [](const fs::path& r) {
                      write_journal(r, {{kTemp, "Esempio_7.sim"}, {"Esempio_7.sim.sbtmp-xyz789", "Esempio_7.sim"}});
                    },
                    "names one file twice"},
        ForeignCase{"TemporaryIsASymlink",
                    [](const fs::path& r) {
                      fs::remove(r / kTemp);
                      fs::create_symlink(r.parent_path() / "outside/Esempio_7.sim", r / kTemp);
                      write_journal(r, {{kTemp, "Esempio_7.sim"}});
                    },
                    "is a symbolic link"},
        ForeignCase{"TemporaryIsADirectory",
                    [](const fs::path& r) {
                      fs::remove(r / kTemp);
                      fs::create_directories(r / kTemp / "inside");
                      write_journal(r, {{kTemp, "Esempio_7.sim"}});
                    },
                    "is a directory"},
        ForeignCase{"TargetIsADirectory",
                    [](const fs::path& r) {
                      fs::create_directories(r / "Esempio_7.dat");
                      write_journal(r, {{"Esempio_7.dat.sbtmp-abc123", "Esempio_7.dat"}});
                      sb::test::write_bytes(r / "Esempio_7.dat.sbtmp-abc123", "x");
                    },
                    "is a directory"},
        ForeignCase{"NoEntries", [](const fs::path& r) { write_journal(r, {}); }, "more files than any set holds"},
        ForeignCase{"TwentyThousandEntries",
                    [](const fs::path& r) {
                      std::vector<std::pair<std::string, std::string>> many;
                      for (int i = 0; i < 20000; ++i) {
                        std::string target = std::to_string(i);
                        target += "_7.sim";
                        many.emplace_back(target + ".sbtmp-abc123", target);
                      }
                      write_journal(r, many);
                    },
                    "more files than any set holds"},
        ForeignCase{"TwoMegabytes",
                    [](const fs::path& r) {
                      sb::test::write_bytes(r / ".scenario-builder-commit",
                                            "scenario-builder commit journal 2\n" + std::string(2 << 20, 'x'));
                    },
                    "larger than any journal"},
        ForeignCase{"WrongChecksum",
                    [](const fs::path& r) {
                      std::string text = journal_of({{kTemp, "Esempio_7.sim"}});
                      text[text.size() - 2] = text[text.size() - 2] == '0' ? '1' : '0';
                      sb::test::write_bytes(r / ".scenario-builder-commit", text);
                    },
                    "damaged or cut short"},
        ForeignCase{"TrailingBytes",
                    [](const fs::path& r) {
                      sb::test::write_bytes(r / ".scenario-builder-commit",
                                            journal_of({{kTemp, "Esempio_7.sim"}}) + "0:\n13:Esempio_7.sim\n");
                    },
                    "damaged or cut short"},
        ForeignCase{"DanglingSymlink",
                    [](const fs::path& r) { fs::create_symlink(r / "nowhere", r / ".scenario-builder-commit"); },
                    "it is a symbolic link"},
        ForeignCase{"Directory", [](const fs::path& r) { fs::create_directories(r / ".scenario-builder-commit"); },
                    "it is a directory"},
        ForeignCase{"Fifo",
                    [](const fs::path& r) { ASSERT_EQ(::mkfifo((r / ".scenario-builder-commit").c_str(), 0600), 0); },
                    "it is not a regular file"}),
    [](const auto& info) { return std::string(info.param.name); });

// A journal cut anywhere, or with any one byte changed, is refused; the
// whole journal rolls the set forward.
TEST(CutJournals, AreRefusedAtEveryLength) {
  const sb::test::TempDir tmp("sb_cut_journal_");
  ASSERT_TRUE(tmp.created());
  const fs::path dir = tmp.path() / "out";
  fs::create_directories(dir);
  std::vector<std::pair<std::string, std::string>> entries;
  for (const char* target : {"Esempio_linea.dat", "Esempio_7.sim", "Esempio_7.dat"}) {
    sb::test::write_bytes(dir / target, "old");
    sb::test::write_bytes(dir / (std::string(target) + ".sbtmp-Zz0099"), "new");
    entries.emplace_back(std::string(target) + ".sbtmp-Zz0099", target);
  }
  const std::string whole = journal_of(entries);
  const auto files = tree(dir);
  int refused = 0;
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    sb::test::write_bytes(dir / ".scenario-builder-commit", whole.substr(0, cut));
    auto expected = files;
    expected[".scenario-builder-commit"] = whole.substr(0, cut);
    try {
      sb::finish_unfinished_commit(dir.string());
    } catch (const sb::FileSystemError& e) {
      ++refused;
    }
    EXPECT_EQ(tree(dir), expected) << "cut at " << cut;
  }
  EXPECT_EQ(refused, static_cast<int>(whole.size()));

  sb::test::write_bytes(dir / ".scenario-builder-commit", whole);
  EXPECT_EQ(sb::finish_unfinished_commit(dir.string()), 3u);
  EXPECT_EQ(tree(dir), (std::map<std::string, std::string>{
                           {"Esempio_linea.dat", "new"}, {"Esempio_7.sim", "new"}, {"Esempio_7.dat", "new"}}));
}

// What a killed compile leaves is a journal this tool accepts, naming
// its renames by file name alone.
TEST(KilledRuns, LeaveAJournalOfNamesInTheirOwnDirectory) {
  const sb::test::TempDir tmp("sb_killed_journal_");
  ASSERT_TRUE(tmp.created());
  fs::create_directories(tmp.path() / "out");
  ::setenv("SB_TEST_RAISE", "KILL@rename:2", 1);
  const Outcome killed = sb::test::run_program(
      {"compile", kExample + "/Esempio_linea.txt", kExample + "/Esempio_7-.txt", "--out", "out"}, tmp.path());
  ::unsetenv("SB_TEST_RAISE");
  ASSERT_EQ(killed.status, 128 + SIGKILL);
  const std::string journal = sb::test::read_bytes(tmp.path() / "out/.scenario-builder-commit");
  EXPECT_THAT(journal, ::testing::StartsWith("scenario-builder commit journal 2\nentries 3\n"));
  EXPECT_EQ(journal.find('/'), std::string::npos) << journal;
  const Outcome recovered = sb::test::run_program({"recover", "out"}, tmp.path());
  EXPECT_EQ(recovered.status, 0) << recovered.err;
  EXPECT_EQ(recovered.out, "finished the replacement a killed run had begun in out: 2 files put in place\n");
}

}  // namespace
