#include "builtin/documents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_files.h"
#include "text/text_writer.h"

namespace sb {
namespace {

namespace fs = std::filesystem;

using test::golden;
using test::read_existing;

// Splits a CR LF text into its lines; a bare CR or LF, or bytes after the
// last CR LF, fail the test.
std::vector<std::string> crlf_lines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "bytes after the last CR LF at offset " << start;
      break;
    }
    std::string line = bytes.substr(start, end - start);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "bare CR or LF in line " << lines.size() + 1;
    lines.push_back(std::move(line));
    start = end + 2;
  }
  return lines;
}

struct Document {
  const char* name;
  void (*write)(const ScenarioFiles&);
  std::string (ScenarioFiles::*path)() const;
  const std::vector<std::string_view>& (*lines)();
  std::string file_suffix;
  std::size_t line_count;
};

const Document kDocuments[] = {
    {"timetable card", write_timetable_card, &ScenarioFiles::timetable_card, timetable_card_lines, "_scheda_treno.txt",
     37},
    {"slowdown order", write_slowdown_order, &ScenarioFiles::slowdown_order, slowdown_order_lines, "_rallentamenti.txt",
     46},
    {"notes", write_notes, &ScenarioFiles::notes, notes_lines, "_note.txt", 137},
};

class DocumentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.created());
    dir_ = tmp_.path().string();
    files_ = {dir_, "ValdraPCal-Dorvesa", "24317"};
  }

  test::TempDir tmp_{"sb_documents_"};
  std::string dir_;
  ScenarioFiles files_;
};

TEST_F(DocumentsTest, CardAndSlowdownOrderMatchGoldenBytes) {
  struct Case {
    void (*write)(const ScenarioFiles&);
    std::string path;
    const char* golden_name;
    std::size_t size;
  };
  const Case cases[] = {
      {write_timetable_card, dir_ + "/ValdraPCal-Dorvesa_24317_scheda_treno.txt", "timetable_card.txt", 2465},
      {write_slowdown_order, dir_ + "/ValdraPCal-Dorvesa_24317_rallentamenti.txt", "slowdown_order.txt", 3295},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.golden_name);
    const std::string expected = golden(c.golden_name);
    ASSERT_EQ(expected.size(), c.size);
    c.write(files_);
    EXPECT_EQ(read_existing(c.path), expected);
  }
}

TEST_F(DocumentsTest, LineListsCloseWithTheEndMarker) {
  for (const Document& d : kDocuments) {
    SCOPED_TRACE(d.name);
    const auto& lines = d.lines();
    ASSERT_EQ(lines.size(), d.line_count + 1);
    EXPECT_EQ(lines.back(), kEndMarker);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kEndMarker), 1);
    EXPECT_EQ(crlf_lines(text_file_bytes(lines)).size(), d.line_count);
  }
}

TEST_F(DocumentsTest, FileNamesFollowRouteAndTrainButContentDoesNot) {
  const ScenarioFiles other{dir_ + "/other", "AltraLinea", "99999"};
  fs::create_directory(other.dir);
  std::set<std::string> written;
  for (const Document& d : kDocuments) {
    SCOPED_TRACE(d.name);
    d.write(files_);
    d.write(other);
    EXPECT_EQ((files_.*d.path)(), dir_ + "/ValdraPCal-Dorvesa_24317" + d.file_suffix);
    EXPECT_EQ((other.*d.path)(), other.dir + "/AltraLinea_99999" + d.file_suffix);
    EXPECT_EQ(read_existing((other.*d.path)()), read_existing((files_.*d.path)()));
    written.insert("AltraLinea_99999" + d.file_suffix);
  }
  std::set<std::string> present;
  for (const auto& entry : fs::directory_iterator(other.dir)) present.insert(entry.path().filename().string());
  EXPECT_EQ(present, written);
}

TEST_F(DocumentsTest, NotesFollowTheirLayout) {
  write_notes(files_);
  const std::string bytes = read_existing(files_.notes());
  const std::vector<std::string> lines = crlf_lines(bytes);
  ASSERT_EQ(lines.size(), 137u);
  auto line = [&](std::size_t n) -> const std::string& { return lines.at(n - 1); };

  EXPECT_EQ(line(1), "Caratteristiche della linea Valdra-Dorvesa");
  EXPECT_EQ(line(67), "Cenno storico");
  EXPECT_EQ(line(113), "Caratteristiche del treno 24317");
  EXPECT_EQ(line(118), "Composizione.");
  EXPECT_EQ(line(26), "- stazioni:");
  EXPECT_EQ(line(36), "- fermate:");
  EXPECT_EQ(line(39), "- velocit\xE0:");

  const std::set<std::size_t> empty = {2, 9, 14, 46, 65, 66, 68, 111, 112, 114, 117, 131, 132, 134, 136, 137};
  for (std::size_t n = 1; n <= lines.size(); ++n) {
    EXPECT_EQ(line(n).empty(), empty.count(n) == 1) << "line " << n;
  }

  // Lists: items and their sub-items, counted by their leading marks.
  auto count_prefix = [&](std::size_t from, std::size_t to, std::string_view prefix) {
    long count = 0;
    for (std::size_t n = from; n <= to; ++n) count += line(n).starts_with(prefix);
    return count;
  };
  struct Block {
    std::size_t from, to;
    std::string_view item;
    std::string_view continuation;
    long items;
  };
  const Block blocks[] = {
      {16, 25, "- ", "  ", 5},      // technical items
      {27, 35, "  - ", "    ", 8},  // stations
      {37, 38, "  - ", "    ", 1},  // halt
      {40, 45, "  - ", "    ", 4},  // speeds
      {56, 58, "- ", "  ", 2},      // chainage systems
  };
  for (const Block& b : blocks) {
    SCOPED_TRACE(b.from);
    EXPECT_EQ(count_prefix(b.from, b.to, b.item), b.items);
    EXPECT_EQ(count_prefix(b.from, b.to, b.item) + count_prefix(b.from, b.to, b.continuation),
              static_cast<long>(b.to - b.from + 1));
  }

  const std::string_view allowed_high = "\xE0\xE8\xE9\xEC\xF2\xF9\xB0";
  std::size_t longest = 0;
  for (std::size_t n = 1; n <= lines.size(); ++n) {
    longest = std::max(longest, line(n).size());
    for (char c : line(n)) {
      const bool printable = c >= 0x20 && c <= 0x7E;
      EXPECT_TRUE(printable || allowed_high.find(c) != std::string_view::npos)
          << "line " << n << " byte " << static_cast<int>(static_cast<unsigned char>(c));
    }
  }
  EXPECT_LE(longest, 101u);
}

}  // namespace
}  // namespace sb
