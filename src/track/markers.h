// The format markers and check codes every compiled scenario carries, and
// the fatal checks that their places are still empty when they are stored.
#pragma once

#include <cstdint>
#include <optional>

#include "model/scenario.h"

namespace sb {

inline constexpr int16_t kTableFormatMarker = 610;
inline constexpr int16_t kCellFormatMarker = 5121;

// A check that ends a compile before anything is written.
enum class FatalCheck {
  kNoTrackCells,       // the reader built no track to complete
  kFormatMarkerTaken,  // 1250: an element stands where a format marker goes
  kCheckCodeTaken,     // 1251: the same for a check code
};

// The code a fatal check shows (" Errore n. 1250"); 0 for one without.
int32_t fatal_code(FatalCheck check);

// Stores the format markers, then the check codes (route check code first),
// each after testing that its places still hold 0.
std::optional<FatalCheck> store_markers_and_check_codes(Scenario& scenario);

}  // namespace sb
