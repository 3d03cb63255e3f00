// Track completion: places the automatic abbattimento cells around signals
// and slowdowns over cells 1 .. cell_count - 2. A case it cannot serve is
// recorded as code 11, 12 or 13 and the completion goes on.
#pragma once

#include "model/scenario.h"

namespace sb {

void complete_track_cells(Scenario& scenario);

}  // namespace sb
