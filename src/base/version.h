// The tool's version, as `--version` prints it.
#pragma once

#include <string_view>

namespace sb {

inline constexpr std::string_view kToolVersion = "1.0.0";

}  // namespace sb
