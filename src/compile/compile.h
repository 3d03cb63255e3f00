// The compile of one pair of description files, top to bottom: read them,
// complete the track, store the format markers and check codes. The
// commands, the tests, the fuzz targets and the benchmark all compile
// through here; writing the result is the caller's.
#pragma once

#include <optional>
#include <string>

#include "model/scenario.h"
#include "reader/description_source.h"
#include "track/markers.h"

namespace sb {

struct CompileRequest {
  std::string route_name;    // Windows-1252, as stored in the compiled files
  std::string train_number;  // Windows-1252
  bool build_plan = true;
};

struct Compiled {
  Scenario scenario;
  // Set when a fatal check ended the compile: nothing may be written.
  std::optional<FatalCheck> fatal;
  // Set when a description file could not be read or removed; nothing may
  // be written either.
  std::optional<std::string> file_error;
};

Compiled compile_scenario(const CompileRequest& request, DescriptionSources sources);

}  // namespace sb
