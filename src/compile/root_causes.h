// When one mistake makes many diagnostics, the mistake itself: a route
// length written in kilometres, fields separated by ';' or tabs, the line
// and train files given in swapped order. A cause is said once, first, and
// the diagnostics it explains are folded into a count; nothing is lost, as
// they can still be listed.
#pragma once

#include <cstddef>
#include <vector>

#include "base/diagnostics.h"
#include "compile/check.h"

namespace sb {

struct RootCause {
  Diagnostic cause;                   // an error without a code, at the place to fix
  std::vector<std::size_t> explains;  // indexes into the diagnostics it folds
};

// The causes behind the check's diagnostics, found from the files and the
// diagnostics; a diagnostic is folded under one cause at most.
std::vector<RootCause> find_root_causes(const CheckRequest& request, const Diagnostics& diagnostics);

}  // namespace sb
