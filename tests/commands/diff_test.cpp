// diff through the program on a damaged compiled file. The whole listings
// of diff (edited records, identical sets, misuse) are cases in
// tests/diagnostics/ (diff-*.txt).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_files.h"

namespace sb {
namespace {

namespace fs = std::filesystem;

// Compiles the example into `dir`.
void compile_example(const fs::path& dir) {
  fs::create_directories(dir);
  const std::string example = SB_EXAMPLE_DIR;
  const test::Outcome o = test::run_program(
      {"compile", example + "/Esempio_linea.txt", example + "/Esempio_7-.txt", "--out", dir.string()});
  ASSERT_EQ(o.status, 0) << o.err;
}

TEST(Diff, DamagedFileGivesOneLineAndStatus2) {
  test::TempDir dir;
  const fs::path a = dir.path() / "a", b = dir.path() / "b";
  compile_example(a);
  compile_example(b);
  test::write_bytes(b / "Esempio_7.dat", "short");
  const test::Outcome damaged =
      test::run_program({"diff", a.string(), b.string(), "--route", "Esempio", "--train", "7"});
  EXPECT_EQ(damaged.status, 2);
  EXPECT_EQ(damaged.err, (b / "Esempio_7.dat").string() +
                             ": offset 0: error: file size 5 is not a multiple of the 15-byte cell: cell 0 is cut off "
                             "after 5 bytes\n");
  EXPECT_EQ(damaged.out, "");
}

}  // namespace
}  // namespace sb
