// The compiled files of the built-in run and of the example in
// docs/example/, byte for byte: the real executable writes them and their
// sizes and FNV-1a 64 hashes must be the ones in tests/golden/compiled.sums.
// SB_BLESS=1 rewrites that file from what the program writes now.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

using sb::test::golden_path;
using sb::test::Outcome;
using sb::test::read_bytes;

// FNV-1a, 64 bits.
uint64_t fnv1a64(const std::string& bytes) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (unsigned char byte : bytes) {
    hash ^= byte;
    hash *= 0x100000001b3u;
  }
  return hash;
}

std::string hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

struct Sum {
  std::string run, name;
  std::size_t size = 0;
  std::string hash;
};

// The comment lines of the file, and its rows.
struct SumsFile {
  std::string comments;
  std::vector<Sum> sums;
};

SumsFile read_sums(const fs::path& path) {
  SumsFile file;
  std::istringstream in(read_bytes(path));
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') {
      file.comments += line + "\n";
      continue;
    }
    std::istringstream words(line);
    Sum s;
    words >> s.run >> s.name >> s.size >> s.hash;
    EXPECT_FALSE(words.fail()) << "unreadable line in " << path.string() << ": " << line;
    file.sums.push_back(s);
  }
  return file;
}

std::string row(const Sum& s) {
  char text[200];
  std::snprintf(text, sizeof text, "%-8s %-30s %8zu  %s\n", s.run.c_str(), s.name.c_str(), s.size, s.hash.c_str());
  return text;
}

TEST(CompiledSums, BuiltinRunAndExampleWriteTheRecordedBytes) {
  const fs::path sums_path = golden_path("compiled.sums");
  SumsFile recorded = read_sums(sums_path);
  ASSERT_FALSE(recorded.sums.empty()) << sums_path.string();

  const sb::test::TempDir tmp("sb_sums_");
  ASSERT_TRUE(tmp.created());
  const std::map<std::string, std::vector<std::string>> runs = {
      {"builtin", {"--dir", "builtin"}},
      {"example",
       {"compile", std::string(SB_EXAMPLE_DIR) + "/Esempio_linea.txt", std::string(SB_EXAMPLE_DIR) + "/Esempio_7-.txt",
        "--out", "example"}},
  };
  for (const auto& [run, args] : runs) {
    fs::create_directory(tmp.path() / run);
    const Outcome o = sb::test::run_program(args, tmp.path());
    ASSERT_EQ(o.status, 0) << run << ": " << o.err;
    EXPECT_EQ(o.err, "") << run;
  }

  // Every compiled file written is listed, and every file listed is written
  // with the recorded size and hash.
  std::set<std::string> listed, written;
  for (const Sum& s : recorded.sums) listed.insert(s.run + "/" + s.name);
  for (const auto& [run, args] : runs) {
    for (const auto& e : fs::directory_iterator(tmp.path() / run)) {
      const std::string ext = e.path().extension().string();
      if (ext == ".dat" || ext == ".sim") written.insert(run + "/" + e.path().filename().string());
    }
  }
  EXPECT_EQ(written, listed) << "the compiled files written are not the ones in " << sums_path.string();

  std::string blessed = recorded.comments;
  for (const Sum& s : recorded.sums) {
    const fs::path path = tmp.path() / s.run / s.name;
    const std::string bytes = read_bytes(path);
    const Sum now{s.run, s.name, bytes.size(), hex(fnv1a64(bytes))};
    blessed += row(now);
    EXPECT_TRUE(fs::exists(path)) << s.run << " " << s.name << " was not written";
    EXPECT_EQ(now.size, s.size) << s.run << " " << s.name << ": the size changed";
    EXPECT_EQ(now.hash, s.hash) << s.run << " " << s.name << ": the bytes changed";
  }
  if (sb::test::bless_requested()) sb::test::write_bytes(sums_path, blessed);
}

}  // namespace
