#include "model/chainage.h"

#include <cstdio>
#include <cstdlib>

namespace sb {

std::optional<int64_t> chainage_at(const std::array<ChainageSystem, 3>& ordered_systems, int64_t position) {
  for (const ChainageSystem& s : ordered_systems) {
    const bool none = s.start == 0 && s.reference == 0 && s.direction == 0;
    if (none || position < s.start) continue;
    if (s.direction == 1) return static_cast<int64_t>(s.reference) - 100 - position;
    return static_cast<int64_t>(s.reference) + position;
  }
  return std::nullopt;
}

std::string chainage_km_text(int64_t chainage_metres) {
  const uint64_t magnitude =
      chainage_metres < 0 ? 0 - static_cast<uint64_t>(chainage_metres) : static_cast<uint64_t>(chainage_metres);
  char text[32];
  std::snprintf(text, sizeof text, "%s%llu.%03llu", chainage_metres < 0 ? "-" : "",
                static_cast<unsigned long long>(magnitude / 1000), static_cast<unsigned long long>(magnitude % 1000));
  return text;
}

std::string chainage_text(const std::optional<int64_t>& chainage_metres) {
  return chainage_metres ? "km " + chainage_km_text(*chainage_metres) : std::string(kNoChainage);
}

}  // namespace sb
