#include "model/line_plan.h"

#include <sys/mman.h>

#include <cstdint>
#include <string>

#include "base/failures.h"

namespace sb {
namespace {

// A long route's plan runs to megabytes: where the system has large pages,
// it is asked to back the plan with them (one fault for two megabytes
// instead of 512). Called before the storage is first touched.
template <typename T>
void advise_large_pages(T* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kLarge = std::uintptr_t{1} << 21;
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
  const auto end = reinterpret_cast<std::uintptr_t>(data + size) & ~(kLarge - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace

void PlanGrid::create(int64_t last_metre) {
  if (last_metre < 0) throw RunTimeFailure("negative plan size " + std::to_string(last_metre));
  const auto size = static_cast<std::size_t>(last_metre + 1);
  for (int c = 0; c < 2; ++c) {
    values_[c] = Values(size);
    tags_[c] = Tags(size);
    advise_large_pages(values_[c].data(), size);
  }
}

void PlanGrid::discard() {
  for (int c = 0; c < 2; ++c) {
    values_[c] = Values();
    tags_[c] = Tags();
  }
}

void PlanGrid::check(int64_t metre) const {
  if (metre < 0 || metre > last_metre()) {
    throw RunTimeFailure("plan metre " + std::to_string(metre) + " lies outside the plan (metres 0 to " +
                         std::to_string(last_metre()) + ")");
  }
}

PlanValue PlanGrid::get(int64_t metre, int coordinate) const {
  check(metre);
  auto i = static_cast<std::size_t>(metre);
  return {tags_[coordinate][i], values_[coordinate][i]};
}

void PlanGrid::set_whole(int64_t metre, int coordinate, int16_t value) {
  check(metre);
  auto i = static_cast<std::size_t>(metre);
  tags_[coordinate][i] = PlanTag::kWhole;
  values_[coordinate][i] = value;
}

void PlanGrid::set_real(int64_t metre, int coordinate, double value) {
  check(metre);
  auto i = static_cast<std::size_t>(metre);
  tags_[coordinate][i] = PlanTag::kReal;
  values_[coordinate][i] = value;
}

}  // namespace sb
