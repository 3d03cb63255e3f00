// Reading the three compiled files back: the exact inverse of the writers.
// The cell and table decoders stand beside their writers
// (track_cell_file.h, scenario_table_file.h); the line plan is read here
// and, streamed, in plan_stream.h. Decoding a file and writing what it decoded to gives
// the same bytes. A damaged or foreign file is refused with a DecodeError
// that names the byte offset where the decoder gave up; no input makes the
// decoder hold more than a small multiple of the file's own size.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/files.h"
#include "format/layout.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"

namespace sb {

class DecodeError : public std::runtime_error {
 public:
  DecodeError(uint64_t offset, const std::string& what) : std::runtime_error(what), offset_(offset) {}
  uint64_t offset() const { return offset_; }

 private:
  uint64_t offset_;
};

// "FILE: offset N: error: WHAT", the one line a refused file gets.
std::string format_decode_error(const std::string& file, const DecodeError& e);

// One element of the line plan file, as it stands in the file.
namespace plan_tag {
inline constexpr uint16_t kEmpty = 0;
inline constexpr uint16_t kWhole = 2;  // signed 16-bit value follows
inline constexpr uint16_t kReal = 5;   // IEEE 754 double follows
}  // namespace plan_tag

struct PlanElement {
  uint16_t tag = plan_tag::kEmpty;
  double value = 0.0;  // a whole value is held exactly; empty: 0

  bool operator==(const PlanElement& other) const;  // same bytes in the file
};

// The line plan held as the file holds it: metre m's first coordinate is
// first[m], its second coordinate second[m].
struct DecodedPlan {
  std::vector<PlanElement> first;
  std::vector<PlanElement> second;
  int64_t last_metre() const { return static_cast<int64_t>(first.size()) - 1; }
};

// Refuses an unknown tag, an element cut off by the end of the file, an
// odd number of elements (the halves cannot hold the same metres) and a
// second half that does not continue the first one: metre by metre both
// coordinates must carry the same tag (the plan computes both at once),
// and where the plan starts with whole numbers they must be the line's
// start (0, 0), (0, 1). The offsets name the element that breaks a rule.
DecodedPlan decode_line_plan(std::string_view bytes);
void encode_line_plan(const DecodedPlan& plan, ByteSink& sink);
// Byte offset of the second half (the first second-coordinate element).
std::size_t plan_half_bytes(const std::vector<PlanElement>& half);

}  // namespace sb
