// The plan position of the line at every metre 0 .. total_metres, two
// coordinates each: metres 0 and 1 hold whole numbers, every metre the
// reader computed a double, the rest nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "base/zero_filled.h"

namespace sb {

// A plan coordinate: empty, a 16-bit whole number or a double.
enum class PlanTag : uint8_t { kEmpty = 0, kWhole = 2, kReal = 5 };

struct PlanValue {
  PlanTag tag = PlanTag::kEmpty;
  double value = 0.0;  // a whole value is held exactly
};

// A long route has a million metres, so the grid keeps one double and one
// tag byte per element rather than a general variant.
class PlanGrid {
 public:
  using Values = std::vector<double, ZeroFilledAllocator<double>>;
  using Tags = std::vector<PlanTag, ZeroFilledAllocator<PlanTag>>;

  void create(int64_t last_metre);
  void discard();
  bool exists() const { return !tags_[0].empty(); }
  int64_t last_metre() const { return static_cast<int64_t>(tags_[0].size()) - 1; }

  PlanValue get(int64_t metre, int coordinate) const;
  // The value of an element in arithmetic; an empty element counts as 0.
  double number(int64_t metre, int coordinate) const { return get(metre, coordinate).value; }
  void set_whole(int64_t metre, int coordinate, int16_t value);
  void set_real(int64_t metre, int coordinate, double value);

  const Values& values(int coordinate) const { return values_[coordinate]; }
  const Tags& tags(int coordinate) const { return tags_[coordinate]; }
  // Direct access for the integration loop, which checks its own range.
  double* raw_values(int coordinate) { return values_[coordinate].data(); }
  PlanTag* raw_tags(int coordinate) { return tags_[coordinate].data(); }

 private:
  void check(int64_t metre) const;
  Values values_[2];
  Tags tags_[2];
};

}  // namespace sb
