#include "model/scenario.h"

#include <utility>

namespace sb {

void Scenario::record_error(int32_t code, std::string message, std::optional<int32_t> position) {
  Diagnostic d;
  d.code = code;
  d.position = position;
  d.file = place.file;
  d.line = place.line;
  d.column = place.line > 0 ? place.column : 0;
  d.message = std::move(message);
  d.record_line = place.line;
  diagnostics.add(std::move(d));
}

void Scenario::record_unplaced_error(int32_t code, std::string message, std::optional<int32_t> position) {
  Diagnostic d;
  d.code = code;
  d.position = position;
  d.message = std::move(message);
  diagnostics.add(std::move(d));
}

}  // namespace sb
