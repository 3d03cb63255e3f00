// One recorded condition of a run: its code, where it applies along the
// line, and the description file line that caused it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sb {

struct SourcePlace {
  std::string file;  // as the user named it; empty for no file
  int line = 0;      // 1-based; 0 for no line
};

struct Diagnostic {
  int32_t code = 0;
  std::optional<int32_t> position;  // metres, where one applies
  std::string file;
  int line = 0;
  std::string message;
};

// "FILE:LINE: error CODE: MESSAGE", "FILE: error CODE: MESSAGE", or
// "scenario-builder: error CODE: MESSAGE" when no file applies.
std::string format_diagnostic(const Diagnostic& d);

}  // namespace sb
