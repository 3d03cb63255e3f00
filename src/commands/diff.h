// scenario-builder diff: what differs between two compiled scenarios, by
// meaning rather than by byte.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sb {

struct DiffOptions {
  // Two directories (with route and train), or OLD NEW file pairs: one
  // to three pairs, at most one of each kind, the kind from the names.
  std::vector<std::string> paths;
  std::string route;
  std::string train;
};

inline constexpr const char* kDiffFooter = R"(Forms:
  diff DIR_A DIR_B --route NAME --train NUMBER
      compares ROUTE_linea.dat (when either has it), ROUTE_TRAIN.sim, ROUTE_TRAIN.dat
  diff OLD NEW [OLD NEW [OLD NEW]]
      compares file pairs, the kind of each pair from its names
Exit status:
  0  identical
  1  different (the differences are listed on standard output)
  2  a file could not be read or was refused as damaged, or misuse: one line)";

int run_diff(const DiffOptions& options, std::ostream& out, std::ostream& err);

}  // namespace sb
