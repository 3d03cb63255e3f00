// scenario-builder inspect: an annotated listing of compiled files.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sb {

struct InspectOptions {
  std::vector<std::string> files;
  std::string kind;  // cells, table, plan; empty: from each file's name
  bool all = false;  // every cell / every plan metre
  bool json = false;
};

// Exit statuses: 0 listed, 1 a file could not be read or was refused (one
// line on `err`), 2 misuse (a kind that is not known or cannot be told
// from the name).
inline constexpr const char* kInspectFooter = R"(The kind of each file comes from its name: ROUTE_linea.dat line plan,
ROUTE_TRAIN.sim scenario table, any other .dat track cells.
Exit status:
  0  listed
  1  a file could not be read, or was refused as damaged (one line:
     FILE: offset N: error: WHAT)
  2  misuse of the command line)";

int run_inspect(const InspectOptions& options, std::ostream& out, std::ostream& err);

}  // namespace sb
