// What only a look at several records together shows, once both files are
// read: a train faster than every rank of the line board in force, two
// stations of one name, a line board whose kilometre text is not the
// chainage where it stands, a signal inside a platform, and a timetable
// that no run at the train's speed limits can keep. Each is a warning at
// the record's line, with the numbers; none changes a byte.
#pragma once

#include "model/scenario.h"

namespace sb {

void cross_check(Scenario& scenario);

}  // namespace sb
