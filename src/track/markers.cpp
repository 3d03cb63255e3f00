#include "track/markers.h"

#include "track/check_codes.h"

namespace sb {

int32_t fatal_code(FatalCheck check) {
  switch (check) {
    case FatalCheck::kFormatMarkerTaken: return 1250;
    case FatalCheck::kCheckCodeTaken: return 1251;
    case FatalCheck::kNoTrackCells: break;
  }
  return 0;
}

std::optional<FatalCheck> store_markers_and_check_codes(Scenario& scenario) {
  RouteSlot& route = scenario.table.route;
  TrackCell& cell1 = scenario.cells.at(1);
  if (route.format_marker != 0 || cell1.format_marker() != 0) return FatalCheck::kFormatMarkerTaken;
  route.format_marker = kTableFormatMarker;
  cell1.format_marker() = kCellFormatMarker;
  if (route.check_code != 0 || cell1.check_code() != 0) return FatalCheck::kCheckCodeTaken;
  const std::string& train = scenario.table.train.train_number;
  route.check_code = route_check_code(train, route.route_name);
  cell1.check_code() = static_cast<int16_t>(cell_check_code(train, route.route_name));
  return std::nullopt;
}

}  // namespace sb
