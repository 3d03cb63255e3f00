#include "compile/root_causes.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace sb {
namespace {

// Many diagnostics with one cause: below this, each is worth reading.
constexpr std::size_t kFewDiagnostics = 2;

struct Line {
  int number = 0;
  std::string_view text;  // without its line end and surrounding blanks
};

// Calls visit(line) for each line in order, until it returns false. The
// lines are not gathered: a file of many short lines costs no memory.
template <typename Visit>
void for_each_line(std::string_view bytes, Visit&& visit) {
  int number = 1;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= bytes.size(); ++i) {
    if (i < bytes.size() && bytes[i] != '\n' && bytes[i] != '\r') continue;
    std::string_view text = bytes.substr(start, i - start);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (!visit(Line{number++, text})) return;
    if (i < bytes.size() && bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
}

bool starts_with_word(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
  }
  return true;
}

// The route length record: its line and value, when the file has one.
struct RouteLength {
  int line = 0;
  std::optional<int64_t> metres;
};
std::optional<RouteLength> route_length_of(std::string_view bytes) {
  std::optional<Line> found;
  for_each_line(bytes, [&found](const Line& l) {
    if (!starts_with_word(l.text, "lunghezza percorso")) return true;
    found = l;
    return false;
  });
  if (!found) return std::nullopt;
  RouteLength r{found->number, std::nullopt};
  const std::size_t comma = found->text.find(',');
  if (comma == std::string_view::npos) return r;
  std::string_view value = found->text.substr(comma + 1);
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  int64_t v = 0;
  std::size_t digits = 0;
  while (digits < value.size() && digits < 12 && std::isdigit(static_cast<unsigned char>(value[digits]))) {
    v = v * 10 + (value[digits] - '0');
    ++digits;
  }
  if (digits > 0) r.metres = v;
  return r;
}

std::vector<std::size_t> diagnostics_of(const Diagnostics& diagnostics, const std::string& file) {
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < diagnostics.size(); ++i) {
    if (diagnostics.list()[i].file == file) found.push_back(i);
  }
  return found;
}

Diagnostic cause_at(const std::string& file, int line, std::string message) {
  Diagnostic d;
  d.severity = Severity::kError;
  d.file = file;
  d.line = line;
  d.name = "root-cause";
  d.message = std::move(message);
  return d;
}

std::optional<RootCause> swapped_files(const CheckRequest& request, const Diagnostics& diagnostics) {
  if (!request.line.exists || !request.train.exists) return std::nullopt;
  if (route_length_of(request.line.bytes) || !route_length_of(request.train.bytes)) return std::nullopt;
  RootCause r;
  r.cause = cause_at(request.line.name, 0,
                     "the line file and the train file seem to be given in swapped order: " + request.train.name +
                         " holds the route length (`lunghezza percorso`) of a line file and " + request.line.name +
                         " does not; give the line file first: " + request.train.name + " " + request.line.name);
  for (std::size_t i = 0; i < diagnostics.size(); ++i) r.explains.push_back(i);
  return r;
}

// Record lines whose fields are separated by ';' or tabs and not by commas.
std::optional<RootCause> wrong_separators(const CheckInput& input, const Diagnostics& diagnostics) {
  if (!input.exists) return std::nullopt;
  std::size_t records = 0, separated = 0, semicolons = 0;
  int first = 0;
  for_each_line(input.bytes, [&](const Line& l) {
    if (l.text.empty() || l.text.front() == '[') return true;
    ++records;
    if (l.text.find(',') != std::string_view::npos) return true;
    const bool semicolon = l.text.find(';') != std::string_view::npos;
    if (!semicolon && l.text.find('\t') == std::string_view::npos) return true;
    ++separated;
    semicolons += semicolon ? 1 : 0;
    if (first == 0) first = l.number;
    return true;
  });
  if (separated < 3 || separated * 2 < records) return std::nullopt;
  RootCause r;
  r.cause = cause_at(input.name, first,
                     std::to_string(separated) + " of the " + std::to_string(records) + " records of " + input.name +
                         " separate their fields with " + (semicolons * 2 >= separated ? "';'" : "tabs") +
                         " instead of commas (a spreadsheet export?): write `keyword, value, value`");
  r.explains = diagnostics_of(diagnostics, input.name);
  return r;
}

// Code 15: a position beyond the last track cell.
constexpr int32_t kBeyondTheLine = 15;

std::optional<RootCause> route_length_in_kilometres(const CheckRequest& request, const Diagnostics& diagnostics) {
  const auto length = route_length_of(request.line.bytes);
  if (!length || !length->metres || *length->metres <= 0 || *length->metres >= 1000) return std::nullopt;
  RootCause r;
  for (std::size_t i = 0; i < diagnostics.size(); ++i) {
    const Diagnostic& d = diagnostics.list()[i];
    if (d.severity == Severity::kError && d.code == kBeyondTheLine) r.explains.push_back(i);
  }
  if (r.explains.size() < kFewDiagnostics) return std::nullopt;
  const int64_t m = *length->metres;
  r.cause = cause_at(request.line.name, length->line,
                     "the route length is " + std::to_string(m) + " m, and " + std::to_string(r.explains.size()) +
                         " positions lie beyond the line: did you write kilometres? " + std::to_string(m) +
                         " km is `lunghezza percorso, " + std::to_string(m * 1000) + "`");
  return r;
}

}  // namespace

std::vector<RootCause> find_root_causes(const CheckRequest& request, const Diagnostics& diagnostics) {
  std::vector<std::optional<RootCause>> found = {swapped_files(request, diagnostics)};
  if (!found.front()) {
    found.push_back(wrong_separators(request.line, diagnostics));
    found.push_back(wrong_separators(request.train, diagnostics));
    found.push_back(route_length_in_kilometres(request, diagnostics));
  }
  std::vector<RootCause> causes;
  std::set<std::size_t> folded;
  for (auto& cause : found) {
    if (!cause) continue;
    std::erase_if(cause->explains, [&folded](std::size_t i) { return !folded.insert(i).second; });
    if (cause->explains.size() < kFewDiagnostics) continue;
    causes.push_back(std::move(*cause));
  }
  return causes;
}

}  // namespace sb
