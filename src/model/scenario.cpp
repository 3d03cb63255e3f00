#include "model/scenario.h"

#include <utility>

namespace sb {

void Scenario::record_error(int32_t code, std::string message, std::optional<int32_t> position) {
  diagnostics.add(
      Diagnostic{Severity::kError, code, position, place.file, place.line, std::move(message), {}, place.line});
}

void Scenario::record_unplaced_error(int32_t code, std::string message, std::optional<int32_t> position) {
  diagnostics.add(Diagnostic{Severity::kError, code, position, "", 0, std::move(message), {}});
}

}  // namespace sb
