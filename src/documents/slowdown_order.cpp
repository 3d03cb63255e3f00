// The slowdown order (Modulo M. 3): the built-in form's heading and table,
// one row per slowdown in running order, the empty rows of the form after
// them up to its 26, and the lettered prescriptions below.
#include <algorithm>

#include "base/text_format.h"
#include "builtin/documents.h"
#include "documents/driver_documents.h"
#include "documents/train_run.h"

namespace sb {
namespace {

using documents::chainage_km;
using documents::left_in;
using documents::right_in;
using documents::RunStation;

// The built-in form's lines: its heading up to the table's first rule,
// then 26 empty rows, then the prescriptions and the end marker.
constexpr std::size_t kHeadLines = 12;
constexpr std::size_t kLineNameLine = 4;
constexpr std::size_t kTrainLine = 6;
constexpr std::size_t kFormRows = 26;
constexpr std::size_t kPlaceWidth = 28;

// Two station names joined by "-" in the place cell after its blank; the
// longer is shortened when both do not fit.
std::string between(std::string a, std::string b) {
  const std::size_t room = kPlaceWidth - 2;
  while (a.size() + b.size() > room) (a.size() >= b.size() ? a : b).pop_back();
  return a + "-" + b;
}

// Where a slowdown starts, as the form's second column says it: in a
// station (its platform reaches the start), or between the stations
// before and after it.
std::string place_of(const std::vector<RunStation>& stations, int32_t start) {
  for (const RunStation& s : stations) {
    if (s.start <= start && start <= s.end) return s.name;
  }
  const auto next =
      std::find_if(stations.begin(), stations.end(), [&](const RunStation& s) { return s.position > start; });
  if (next == stations.begin()) return stations.empty() ? std::string() : "prima di " + next->name;
  if (next == stations.end()) return "dopo " + stations.back().name;
  return between(std::prev(next)->name, next->name);
}

std::string number_cell(std::size_t n) {
  const std::string text = decimal(static_cast<int64_t>(n));
  return text.size() <= 2 ? right_in(text, 2) + " " : right_in(text, 3);
}

std::string slowdown_row(const Scenario& scenario, const std::vector<RunStation>& stations, std::size_t number,
                         const SlowdownSpan& s) {
  std::string place = " ";
  place += place_of(stations, s.start);
  return " |" + number_cell(number) + "|" + left_in(place, kPlaceWidth) + "|" +
         right_in(chainage_km(scenario, s.start), 11) + " |" + right_in(decimal(s.speed), 9) + " |" +
         right_in(decimal(s.length), 8) + " |            |";
}

}  // namespace

std::string slowdown_order(const Scenario& scenario, const DocumentOptions& options) {
  const std::vector<RunStation> stations = documents::run_stations(scenario);
  std::string line_name = options.line_name;
  if (line_name.empty() && !stations.empty()) line_name = stations.front().name + "-" + stations.back().name;

  // The built-in form gives the fixed text: its heading (the line and the
  // train filled in here), its empty rows and its prescriptions.
  const std::vector<std::string_view>& form = slowdown_order_lines();
  std::vector<std::string> lines(form.begin(), form.begin() + kHeadLines);
  lines[kLineNameLine] = "  Linea  " + line_name;
  lines[kTrainLine] =
      "  Si ordina al macchinista del treno " + scenario.train_number + " di effettuare i seguenti rallentamenti";
  std::vector<SlowdownSpan> slowdowns = scenario.slowdowns;
  std::stable_sort(slowdowns.begin(), slowdowns.end(),
                   [](const SlowdownSpan& a, const SlowdownSpan& b) { return a.start < b.start; });
  for (std::size_t i = 0; i < slowdowns.size(); ++i) {
    lines.push_back(slowdown_row(scenario, stations, i + 1, slowdowns[i]));
  }
  const std::string empty_row(form[kHeadLines]);
  if (slowdowns.size() < kFormRows) lines.insert(lines.end(), kFormRows - slowdowns.size(), empty_row);
  // The prescriptions, without the form's end marker.
  lines.insert(lines.end(), form.begin() + kHeadLines + kFormRows, form.end() - 1);
  return documents::crlf_text(lines);
}

}  // namespace sb
