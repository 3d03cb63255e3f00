#include "compile/check.h"

#include <set>
#include <tuple>
#include <utility>
#include <vector>

namespace sb {
namespace {

using Key = std::tuple<int, std::string, int, int32_t, std::string, std::string>;

Key key_of(const Diagnostic& d) { return {static_cast<int>(d.severity), d.file, d.line, d.code, d.name, d.message}; }

Compiled compile_once(const CheckRequest& request, const std::string& line_bytes, const std::string& train_bytes) {
  MemorySource line(request.line.name, line_bytes, request.line.exists);
  MemorySource train(request.train.name, train_bytes, request.train.exists);
  return compile_scenario(request.compile, {line, train});
}

// Where line `line` (from 1) of `bytes` starts; nothing when the bytes
// have fewer lines.
std::optional<std::size_t> line_start(const std::string& bytes, int line) {
  int current = 1;
  std::size_t i = 0;
  while (i < bytes.size() && current < line) {
    if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n'))) ++current;
    ++i;
  }
  if (current != line) return std::nullopt;
  return i;
}

// Where the line that starts at `start` ends, before its line end.
std::size_t line_end(const std::string& bytes, std::size_t start) {
  while (start < bytes.size() && bytes[start] != '\r' && bytes[start] != '\n') ++start;
  return start;
}

// The bytes with `text` added at the end of line `line` (from 1): no line
// moves.
std::string with_text_at_end_of_line(std::string bytes, int line, const std::string& text) {
  const std::optional<std::size_t> start = line_start(bytes, line);
  if (!start) return bytes;
  const std::size_t end = line_end(bytes, *start);
  const bool blank = bytes.find_first_not_of(" \t", *start) >= end;
  bytes.insert(end, blank ? text : ",  " + text);
  return bytes;
}

// A line file without a route length leaves nothing to place the train
// file's elements on: the check reads it on with the longest route length
// written after the general part's last line, so that the mistakes after
// it are found too.
constexpr const char* kNoRouteLength = "reading failure: the line has no route length";
constexpr const char* kProvisionalRouteLength = "lunghezza percorso,  1000000";

// Whether line `line` (from 1) of `bytes` is a section header: "[...]".
bool is_section_header(const std::string& bytes, int line) {
  const std::optional<std::size_t> start = line_start(bytes, line);
  if (!start) return false;
  const std::size_t first = bytes.find_first_not_of(" \t", *start);
  return first < bytes.size() && bytes[first] == '[';
}

}  // namespace

std::string without_line(std::string bytes, int line) {
  const std::optional<std::size_t> start = line_start(bytes, line);
  if (!start) return bytes;
  bytes.erase(*start, line_end(bytes, *start) - *start);
  return bytes;
}

CheckResult check_scenario(const CheckRequest& request) {
  CheckResult result;
  std::string line_bytes = request.line.bytes;
  std::string train_bytes = request.train.bytes;
  const std::size_t max_errors = request.max_errors == 0 ? 1 : request.max_errors;
  result.diagnostics = Diagnostics({max_errors, diagnostic_limits().warnings});

  Compiled first = compile_once(request, line_bytes, train_bytes);
  result.compiles = 1;
  result.fatal = first.fatal;
  result.file_error = first.file_error;
  std::set<Key> seen;
  for (const Diagnostic& d : first.scenario.diagnostics.list()) {
    seen.insert(key_of(d));
    result.diagnostics.add(d);
  }
  // Past the limits the first compile counted what it found; the later
  // ones find the same again, so their counts are not added.
  result.diagnostics.add_left_out(first.scenario.diagnostics);
  if (result.file_error) return result;
  std::size_t errors = result.diagnostics.error_count();
  if (errors >= max_errors) {
    result.stopped_at_limit = errors > 0;
    result.recovered = std::move(first);
    return result;
  }

  std::vector<std::pair<const CheckInput*, int>> left_out;
  std::set<std::pair<const CheckInput*, int>> left_out_set;
  Diagnostics latest = first.scenario.diagnostics;
  result.recovered = std::move(first);
  bool length_supplied = false;
  while (result.compiles <= max_errors) {
    // A missing route length first: every other mistake hides behind it.
    std::string mark;
    for (const Diagnostic& d : latest.list()) {
      if (length_supplied || d.file != request.line.name || d.line <= 1 || d.message.rfind(kNoRouteLength, 0) != 0) {
        continue;
      }
      line_bytes = with_text_at_end_of_line(std::move(line_bytes), d.line - 1, kProvisionalRouteLength);
      length_supplied = true;
      mark = " (found with a route length of 1 000 000 m supplied on " + request.line.name + ":" +
             std::to_string(d.line - 1) + ")";
      break;
    }
    // Else the first error at a line not yet left out: the one that stopped
    // reading, or the first of those that did not.
    std::optional<std::pair<const CheckInput*, int>> target;
    for (const Diagnostic& d : mark.empty() ? latest.list() : std::vector<Diagnostic>{}) {
      if (d.severity != Severity::kError || d.line <= 0) continue;
      // Nothing of a UTF-16 file is read, whatever line is left out.
      if (d.code == 104) continue;
      // The record that failed, which may start before the failing field.
      const int line = d.record_line > 0 ? d.record_line : d.line;
      const CheckInput* input = d.file == request.line.name    ? &request.line
                                : d.file == request.train.name ? &request.train
                                                               : nullptr;
      if (input == nullptr || left_out_set.count({input, line}) > 0) continue;
      // A section header is never left out: without it every record after
      // it would be read in the wrong part, and the check would report
      // errors the author did not make.
      if (is_section_header(input->bytes, line)) continue;
      target = std::make_pair(input, line);
      break;
    }
    if (!target && mark.empty()) break;
    if (target) {
      left_out.push_back(*target);
      left_out_set.insert(*target);
      std::string& bytes = target->first == &request.line ? line_bytes : train_bytes;
      bytes = without_line(std::move(bytes), target->second);

      // One short note per diagnostic, whatever the number of lines left
      // out before: the output stays linear in the number of diagnostics.
      mark = " (found after leaving out " + target->first->name + ":" + std::to_string(target->second);
      if (left_out.size() > 1) {
        const std::size_t earlier = left_out.size() - 1;
        mark += " and " + std::to_string(earlier) + (earlier == 1 ? " line" : " lines") + " before it";
      }
      mark += ")";
    }

    Compiled again = compile_once(request, line_bytes, train_bytes);
    ++result.compiles;
    for (const Diagnostic& d : again.scenario.diagnostics.list()) {
      if (!seen.insert(key_of(d)).second) continue;
      Diagnostic marked = d;
      marked.message += mark;
      result.diagnostics.add(std::move(marked));
      if (d.severity == Severity::kError && ++errors >= max_errors) {
        result.stopped_at_limit = true;
        if (!length_supplied) result.recovered = std::move(again);
        return result;
      }
    }
    latest = again.scenario.diagnostics;
    // A route length the author did not give draws nothing real: the page
    // keeps what was read before it.
    if (!length_supplied) result.recovered = std::move(again);
  }
  return result;
}

}  // namespace sb
