#include "model/chainage.h"

#include <cstdio>
#include <cstdlib>

namespace sb {

std::optional<int64_t> chainage_at(const std::array<ChainageSystem, 3>& ordered_systems, int64_t position) {
  for (const ChainageSystem& s : ordered_systems) {
    if (!is_set(s) || position < s.start) continue;
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

bool has_chainage(const std::array<ChainageSystem, 3>& systems) {
  for (const ChainageSystem& s : systems) {
    if (is_set(s)) return true;
  }
  return false;
}

std::string chainage_note(const std::optional<int64_t>& chainage_metres) {
  return chainage_metres ? "chainage " + chainage_text(chainage_metres) : std::string(kNoChainage);
}

std::string chainage_text(const std::optional<int64_t>& chainage_metres) {
  return chainage_metres ? "km " + chainage_km_text(*chainage_metres) : std::string(kNoChainage);
}

}  // namespace sb
