#include "format/line_plan_file.h"

#include "format/le_writer.h"

namespace sb {

// Metre index runs fastest: all first coordinates, then all second ones.
void write_line_plan(const PlanGrid& plan, ByteSink& sink) {
  LeWriter out(sink);
  for (int c = 0; c < 2; ++c) {
    const auto& tags = plan.tags(c);
    const auto& values = plan.values(c);
    for (std::size_t m = 0; m < tags.size(); ++m) {
      out.u16(static_cast<uint16_t>(tags[m]));
      switch (tags[m]) {
        case PlanTag::kEmpty:
          break;
        case PlanTag::kWhole:
          out.i16(static_cast<int16_t>(values[m]));
          break;
        case PlanTag::kReal:
          out.f64(values[m]);
          break;
      }
    }
  }
  out.flush();
}

}  // namespace sb
