// The diagnostics cases in tests/diagnostics/: one file per case holds the
// description files, the command lines and what each run must print and
// leave behind. This driver finds every case when the test program starts,
// runs the real executable on it in a fresh directory and compares. The
// format is described in tests/diagnostics/README.md. SB_BLESS=1 rewrites
// the expectations of every case from what the program does now.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

using sb::test::lines_of;
using sb::test::Outcome;
using sb::test::read_bytes;
using sb::test::write_bytes;

const fs::path kCaseDir = SB_DIAGNOSTICS_DIR;
const std::string kDefaultArgs = "compile LINE TRAIN --out out";

// One "--- HEADER" line and the lines below it, up to the next header.
// The text before the first header has an empty header.
struct Block {
  std::string header;
  std::vector<std::string> lines;
};

std::string keyword_of(const std::string& header) {
  if (header.empty()) return "";
  std::istringstream words(header.substr(4));
  std::string word;
  words >> word;
  return word;
}

bool is_expectation(const std::string& keyword) {
  return keyword == "status" || keyword == "stdout" || keyword == "stderr" || keyword == "written";
}

// The words after the keyword (or after the file name).
std::vector<std::string> words_after_first(const std::string& header) {
  std::istringstream in(header.substr(4));
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  if (!words.empty()) words.erase(words.begin());
  return words;
}

std::vector<Block> parse_blocks(const std::string& text) {
  std::vector<Block> blocks(1);
  for (std::string& line : lines_of(text)) {
    if (line.starts_with("--- ")) {
      blocks.push_back({std::move(line), {}});
    } else {
      blocks.back().lines.push_back(std::move(line));
    }
  }
  return blocks;
}

std::string join_lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

std::string serialise(const std::vector<Block>& blocks) {
  std::string out;
  for (const Block& b : blocks) {
    if (!b.header.empty()) out += b.header + "\n";
    out += join_lines(b.lines);
  }
  return out;
}

struct InputFile {
  std::string name;
  std::vector<std::string> lines;
  bool crlf = false, noeol = false;
  std::string encoding;  // "" (the lines' bytes as written), "utf16le", "utf16be" or "utf16le-nobom"
  std::string bytes;
};

// UTF-8 text (characters up to U+FFFF) as UTF-16, as a Windows editor
// saves it: the byte order mark first unless the encoding says "nobom".
std::string utf16_bytes(const std::string& utf8, const std::string& encoding) {
  const bool big = encoding == "utf16be";
  std::string out = encoding.ends_with("nobom") ? "" : big ? "\xFE\xFF" : "\xFF\xFE";
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;
    unsigned unit = length == 1 ? lead : lead & (length == 2 ? 0x1Fu : 0x0Fu);
    for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
      unit = (unit << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
    }
    i += length;
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    out += big ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

std::string bytes_of(const InputFile& f) {
  std::string bytes;
  for (const std::string& l : f.lines) bytes += l + (f.crlf ? "\r\n" : "\n");
  if (f.noeol && !bytes.empty()) bytes.resize(bytes.size() - (f.crlf ? 2 : 1));
  return f.encoding.empty() ? bytes : utf16_bytes(bytes, f.encoding);
}

// The lines of `source` with the edits of a "from" block applied in order:
// a "-" line names one line of the file (it must occur once), the "+" lines
// below it take its place. Returns why the edits cannot be applied, or "".
std::string apply_edits(std::vector<std::string>& lines, const std::vector<std::string>& edits,
                        const std::string& source) {
  std::size_t insert_at = lines.size() + 1;  // where "+" lines go; past the end before any "-"
  for (const std::string& edit : edits) {
    const std::string text = edit.empty() ? "" : edit.substr(1);
    if (edit.starts_with("-")) {
      const auto found = std::find(lines.begin(), lines.end(), text);
      if (found == lines.end() || std::count(lines.begin(), lines.end(), text) != 1) {
        return "the line \"" + text + "\" is not in " + source + " exactly once";
      }
      insert_at = static_cast<std::size_t>(found - lines.begin());
      lines.erase(found);
    } else if (edit.starts_with("+")) {
      if (insert_at > lines.size()) return "a \"+\" line before any \"-\" line in the edits of " + source;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert_at++), text);
    } else {
      return "the edits of " + source + " hold a line that starts with neither \"-\" nor \"+\"";
    }
  }
  return "";
}

// Bytes put over a file the runs wrote, before the next run: a compiled
// file edited by hand.
struct Patch {
  std::string path;
  std::size_t offset = 0;
  std::string bytes;
};

// "--- patch PATH OFFSET HEX..." (offset in decimal, bytes in hex); "" or
// what is wrong with it.
std::string parse_patch(const std::vector<std::string>& words, Patch& patch) {
  if (words.size() < 3) return "\"--- patch PATH OFFSET BYTE...\" needs a path, an offset and bytes";
  patch.path = words[0];
  try {
    patch.offset = std::stoul(words[1]);
    for (std::size_t w = 2; w < words.size(); ++w) {
      if (words[w].size() != 2) return "a patch byte is two hex digits";
      patch.bytes.push_back(static_cast<char>(std::stoul(words[w], nullptr, 16)));
    }
  } catch (const std::exception&) {
    return "a patch offset is a decimal number and its bytes two hex digits each";
  }
  return "";
}

// One run of the program and the blocks that hold what it must do.
struct CaseRun {
  std::vector<Patch> patches;  // put over the files before the run
  std::vector<std::string> args;
  std::optional<std::size_t> status, out, err, written;  // indices into the blocks
  std::size_t last_block = 0;                            // where missing expectations go when blessing
};

struct Case {
  std::vector<Block> blocks;
  std::vector<InputFile> inputs;
  std::vector<CaseRun> runs;
  std::string problem;  // why the case file cannot be used; "" when it can
};

Case parse_case(const std::string& text) {
  Case c;
  c.blocks = parse_blocks(text);
  auto new_run = [&](const std::string& args, std::size_t block) {
    CaseRun r;
    std::istringstream in(args.empty() ? kDefaultArgs : args);
    for (std::string w; in >> w;) {
      if (w == "LINE" || w == "TRAIN") {
        const std::size_t which = w == "LINE" ? 0 : 1;
        if (c.inputs.size() <= which)
          c.problem = w + " names an input file the case does not have";
        else
          w = c.inputs[which].name;
      }
      r.args.push_back(w);
    }
    r.last_block = block;
    c.runs.push_back(r);
  };
  std::vector<Patch> pending;
  for (std::size_t i = 1; i < c.blocks.size(); ++i) {
    const Block& b = c.blocks[i];
    const std::string keyword = keyword_of(b.header);
    const std::vector<std::string> rest = words_after_first(b.header);
    if (keyword == "run") {
      std::string args;
      for (const std::string& w : rest) args += (args.empty() ? "" : " ") + w;
      new_run(args, i);
      c.runs.back().patches = std::move(pending);
      pending.clear();
    } else if (keyword == "patch") {
      Patch patch;
      const std::string problem = parse_patch(rest, patch);
      if (!problem.empty()) c.problem = problem;
      if (c.runs.empty()) c.problem = "a patch goes over a file an earlier run wrote";
      pending.push_back(patch);
    } else if (is_expectation(keyword)) {
      if (c.runs.empty()) new_run("", i - 1);
      CaseRun& r = c.runs.back();
      r.last_block = i;
      std::optional<std::size_t>& slot = keyword == "status"   ? r.status
                                         : keyword == "stdout" ? r.out
                                         : keyword == "stderr" ? r.err
                                                               : r.written;
      if (slot) c.problem = "two \"" + keyword + "\" blocks for one run";
      slot = i;
      if (keyword == "status" &&
          (rest.size() != 1 || rest[0].size() > 3 || !b.lines.empty() ||
           !std::all_of(rest[0].begin(), rest[0].end(), [](char ch) { return ch >= '0' && ch <= '9'; }))) {
        c.problem = "the status goes on its own header line: \"--- status N\"";
      }
    } else if (keyword.empty()) {
      c.problem = "a \"---\" line without a name";
    } else {
      if (!c.runs.empty()) c.problem = "input file " + keyword + " comes after a run";
      InputFile f;
      f.name = keyword;
      f.lines = b.lines;
      for (std::size_t w = 0; w < rest.size(); ++w) {
        if (rest[w] == "crlf") {
          f.crlf = true;
        } else if (rest[w] == "noeol") {
          f.noeol = true;
        } else if (rest[w] == "utf16le" || rest[w] == "utf16be" || rest[w] == "utf16le-nobom") {
          f.encoding = rest[w];
        } else if (rest[w] == "from" && w + 1 < rest.size()) {
          const std::string& source = rest[++w];
          const auto earlier =
              std::find_if(c.inputs.begin(), c.inputs.end(), [&](const InputFile& in) { return in.name == source; });
          if (earlier == c.inputs.end()) {
            c.problem = keyword + " is written from " + source + ", which is not an earlier input";
            continue;
          }
          f.lines = earlier->lines;
          f.crlf = f.crlf || earlier->crlf;
          f.noeol = f.noeol || earlier->noeol;
          const std::string problem = apply_edits(f.lines, b.lines, source);
          if (!problem.empty()) c.problem = keyword + ": " + problem;
        } else {
          c.problem = "unknown word \"" + rest[w] + "\" after the file name " + keyword;
        }
      }
      f.bytes = bytes_of(f);
      c.inputs.push_back(f);
    }
  }
  if (c.runs.empty()) new_run("", c.blocks.size() - 1);
  if (!pending.empty()) c.problem = "a patch after the last run";
  return c;
}

// Every regular file under `dir`, by its path relative to it, sorted.
std::vector<std::string> files_under(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file() || e.is_symlink()) names.push_back(fs::relative(e.path(), dir).generic_string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A line diff of two texts: "-" for an expected line that is missing, "+"
// for a line the program printed that was not expected.
std::string diff(const std::string& expected, const std::string& actual) {
  const std::vector<std::string> a = lines_of(expected), b = lines_of(actual);
  std::vector<std::vector<int>> common(a.size() + 1, std::vector<int>(b.size() + 1, 0));
  for (std::size_t i = a.size(); i-- > 0;) {
    for (std::size_t j = b.size(); j-- > 0;) {
      common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::string out;
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (i < a.size() && j < b.size() && a[i] == b[j]) {
      out += "  " + a[i++] + "\n";
      ++j;
    } else if (i < a.size() && (j == b.size() || common[i + 1][j] >= common[i][j + 1])) {
      out += "- " + a[i++] + "\n";
    } else {
      out += "+ " + b[j++] + "\n";
    }
  }
  const bool a_ends = expected.empty() || expected.back() == '\n', b_ends = actual.empty() || actual.back() == '\n';
  if (a_ends != b_ends) out += std::string("(the ") + (a_ends ? "output" : "expectation") + " has no final line end)\n";
  return out;
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(kCaseDir)) {
    if (e.is_regular_file() && e.path().extension() == ".txt") names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// What one run did.
struct Observed {
  Outcome outcome;
  std::vector<std::string> written;
};

// The case file with its expectations replaced by what the runs did: the
// status and standard error always, standard output when there was some or
// the case names it, the files left when the case lists them.
std::string bless(Case c, const std::vector<Observed>& observed) {
  std::vector<std::vector<Block>> added(c.blocks.size());
  for (std::size_t n = 0; n < c.runs.size(); ++n) {
    const CaseRun& r = c.runs[n];
    const Outcome& o = observed[n].outcome;
    auto set = [&](const std::optional<std::size_t>& slot, Block block) {
      if (slot)
        c.blocks[*slot] = block;
      else
        added[r.last_block].push_back(block);
    };
    set(r.status, {"--- status " + std::to_string(o.status), {}});
    set(r.err, {"--- stderr", lines_of(o.err)});
    if (r.out || !o.out.empty()) set(r.out, {"--- stdout", lines_of(o.out)});
    if (r.written) c.blocks[*r.written].lines = observed[n].written;
  }
  std::vector<Block> blocks;
  for (std::size_t i = 0; i < c.blocks.size(); ++i) {
    blocks.push_back(c.blocks[i]);
    blocks.insert(blocks.end(), added[i].begin(), added[i].end());
  }
  return serialise(blocks);
}

class Diagnostics : public ::testing::TestWithParam<std::string> {};

TEST_P(Diagnostics, Case) {
  const fs::path case_path = kCaseDir / GetParam();
  Case c = parse_case(read_bytes(case_path));
  ASSERT_EQ(c.problem, "") << case_path.string();
  if (!sb::test::bless_requested()) {
    for (const CaseRun& r : c.runs) ASSERT_TRUE(r.status) << case_path.string() << ": a run without \"--- status N\"";
  }

  const sb::test::TempDir dir("sb_diagnostics_");
  ASSERT_TRUE(dir.created());
  for (const InputFile& f : c.inputs) {
    fs::create_directories((dir.path() / f.name).parent_path());
    write_bytes(dir.path() / f.name, f.bytes);
  }
  fs::create_directory(dir.path() / "out");

  std::vector<Observed> blessed;
  for (std::size_t n = 0; n < c.runs.size(); ++n) {
    const CaseRun& r = c.runs[n];
    std::string command;
    for (const std::string& a : r.args) command += " " + a;
    SCOPED_TRACE(case_path.filename().string() + ", run " + std::to_string(n + 1) + ":" + command);
    for (const Patch& p : r.patches) {
      std::string bytes = read_bytes(dir.path() / p.path);
      ASSERT_LE(p.offset + p.bytes.size(), bytes.size()) << "the patch runs past the end of " << p.path;
      bytes.replace(p.offset, p.bytes.size(), p.bytes);
      write_bytes(dir.path() / p.path, bytes);
    }
    const Outcome o = sb::test::run_program(r.args, dir.path());
    std::vector<std::string> written;
    for (const std::string& name : files_under(dir.path())) {
      const bool input =
          std::any_of(c.inputs.begin(), c.inputs.end(), [&](const InputFile& f) { return f.name == name; });
      if (!input) written.push_back(name);
    }

    if (sb::test::bless_requested()) {
      blessed.push_back({o, written});
      continue;
    }

    const int expected_status = std::stoi(words_after_first(c.blocks[*r.status].header).at(0));
    EXPECT_EQ(o.status, expected_status) << "exit status";
    const std::string err = r.err ? join_lines(c.blocks[*r.err].lines) : "";
    EXPECT_TRUE(o.err == err) << "standard error differs (- expected, + printed):\n" << diff(err, o.err);
    const std::string out = r.out ? join_lines(c.blocks[*r.out].lines) : "";
    EXPECT_TRUE(o.out == out) << "standard output differs (- expected, + printed):\n" << diff(out, o.out);
    if (r.written) {
      const std::string expected = join_lines(c.blocks[*r.written].lines), actual = join_lines(written);
      EXPECT_TRUE(expected == actual) << "the files left differ (- expected, + found):\n" << diff(expected, actual);
    }
    for (const InputFile& f : c.inputs) {
      EXPECT_TRUE(read_bytes(dir.path() / f.name) == f.bytes) << "the input " << f.name << " changed";
    }
  }
  if (sb::test::bless_requested()) write_bytes(case_path, bless(c, blessed));
}

// "signal-on-taken-cell.txt" runs as Diagnostics/Case/signal_on_taken_cell.
std::string test_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = fs::path(info.param).stem().string();
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Diagnostics, ::testing::ValuesIn(case_names()), test_name);

TEST(DiagnosticsFormat, ThereAreCases) { EXPECT_FALSE(case_names().empty()) << kCaseDir.string(); }

}  // namespace
