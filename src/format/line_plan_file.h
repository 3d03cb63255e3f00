// The line plan file (ROUTE_linea.dat): every first plan coordinate, then
// every second one, each a tagged value. See docs/line-plan-file.md.
#pragma once

#include "base/files.h"
#include "model/line_plan.h"

namespace sb {

void write_line_plan(const PlanGrid& plan, ByteSink& sink);

}  // namespace sb
