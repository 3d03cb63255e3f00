#include "format/decoder.h"

#include <bit>
#include <cstring>

#include "format/le_bytes.h"
#include "format/plan_stream.h"

namespace sb {
namespace {

std::size_t element_bytes(uint16_t tag) {
  switch (tag) {
    case plan_tag::kWhole: return 4;
    case plan_tag::kReal: return 10;
    default: return 2;
  }
}

}  // namespace

std::string format_decode_error(const std::string& file, const DecodeError& e) {
  return file + ": offset " + std::to_string(e.offset()) + ": error: " + e.what();
}

bool PlanElement::operator==(const PlanElement& other) const {
  if (tag != other.tag) return false;
  if (tag == plan_tag::kEmpty) return true;
  if (tag == plan_tag::kWhole) return static_cast<int16_t>(value) == static_cast<int16_t>(other.value);
  return std::bit_cast<uint64_t>(value) == std::bit_cast<uint64_t>(other.value);
}

DecodedPlan decode_line_plan(std::string_view bytes) {
  const LinePlanStream stream(std::make_shared<MemoryPlanBytes>(std::string(bytes)));
  DecodedPlan plan;
  plan.first.reserve(stream.metres());
  plan.second.reserve(stream.metres());
  LinePlanStream::Cursor cursor = stream.cursor();
  for (PlanMetre m; cursor.next(m);) {
    plan.first.push_back(m.first);
    plan.second.push_back(m.second);
  }
  return plan;
}

std::size_t plan_half_bytes(const std::vector<PlanElement>& half) {
  std::size_t size = 0;
  for (const PlanElement& e : half) size += element_bytes(e.tag);
  return size;
}

void encode_line_plan(const DecodedPlan& plan, ByteSink& sink) {
  LeWriter out(sink);
  for (const auto* half : {&plan.first, &plan.second}) {
    for (const PlanElement& e : *half) {
      out.put(e.tag);
      if (e.tag == plan_tag::kWhole) out.put(static_cast<int16_t>(e.value));
      if (e.tag == plan_tag::kReal) out.put(e.value);
    }
  }
  out.flush();
}

}  // namespace sb
