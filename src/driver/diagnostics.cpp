#include "driver/diagnostics.h"

namespace sb {

std::string format_diagnostic(const Diagnostic& d) {
  std::string where;
  if (d.file.empty()) {
    where = "scenario-builder";
  } else if (d.line > 0) {
    where = d.file + ":" + std::to_string(d.line);
  } else {
    where = d.file;
  }
  return where + ": error " + std::to_string(d.code) + ": " + d.message;
}

}  // namespace sb
