#include "documents/train_run.h"

#include <algorithm>

#include "model/chainage.h"
#include "model/cell_kinds.h"

namespace sb::documents {

std::vector<RunStation> run_stations(const Scenario& scenario) {
  // Every station record read took the next slot from 1 up and placed one
  // element of the stop-cell kind.
  const auto read = std::count_if(scenario.placed_elements.begin(), scenario.placed_elements.end(),
                                  [](const PlacedElement& p) { return p.kind == cell_kind::kStopCell; });
  const int count = static_cast<int>(std::min<std::ptrdiff_t>(read, kFirstBoardSlot - 1));
  std::vector<RunStation> stations;
  stations.reserve(static_cast<std::size_t>(count));
  for (int s = 1; s <= count; ++s) {
    const StationSlot& slot = scenario.table.slots[static_cast<std::size_t>(s)];
    stations.push_back({slot.text, slot.position, slot.start, slot.end, slot.time});
  }
  return stations;
}

std::string chainage_km(const Scenario& scenario, int64_t position) {
  if (!has_chainage(scenario.table.chainage)) return chainage_km_text(position);
  const std::optional<int64_t> chainage = chainage_at(scenario.table.chainage, position);
  return chainage ? chainage_km_text(*chainage) : std::string();
}

std::string left_in(std::string_view text, std::size_t width) { return placed_in(text, width, 0); }

std::string right_in(std::string_view text, std::size_t width) {
  return placed_in(text, width, text.size() < width ? width - text.size() : 0);
}

std::string placed_in(std::string_view text, std::size_t width, std::size_t left) {
  std::string cell(std::min(left, width), ' ');
  cell.append(text.substr(0, width - cell.size()));
  cell.resize(width, ' ');
  return cell;
}

std::string centred_in(std::string_view text, std::size_t width) {
  return placed_in(text, width, text.size() < width ? (width - text.size()) / 2 : 0);
}

std::string crlf_text(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

}  // namespace sb::documents
