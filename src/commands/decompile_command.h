// scenario-builder decompile: description files that compile to the bytes
// of a compiled scenario (decompile/decompile.h), written as a set beside
// nothing the author holds unless --force.
#pragma once

#include <string>
#include <vector>

namespace sb {

struct DecompileOptions {
  std::vector<std::string> paths;  // DIR (with route and train), or the compiled files
  std::string route;               // empty: from the file names
  std::string train;
  std::string out_dir = ".";
  bool force = false;  // replace description files already in out_dir
};

inline constexpr const char* kDecompileFooter = R"(decompile DIR --route NAME --train NUMBER reads DIR/ROUTE_linea.dat,
DIR/ROUTE_TRAIN.sim and DIR/ROUTE_TRAIN.dat (a missing line plan file is a
scenario compiled with --no-plan); decompile FILE... takes the files
themselves, their kinds told by their names.
It writes ROUTE_linea.txt and ROUTE_TRAIN-.txt into --out DIR and prints
their paths. Compiling them gives the same bytes as the compiled files.
Exit status:
  0  the descriptions compile to the same bytes, all three files
  1  a cell or slot no description gives (each listed; the nearest
     descriptions were written), or a compiled file is damaged
  2  misuse of the command line, or a description file is already there
     (give --force to replace it)
  4  a file could not be read or written)";

int run_decompile(DecompileOptions options);

}  // namespace sb
