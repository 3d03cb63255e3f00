#include "reader/chainage.h"

#include "base/failures.h"
#include "base/numbers.h"

namespace sb {
namespace {

struct Found {
  ChainageSystem system;
  int line = 0;
};

}  // namespace

void order_chainage_systems(std::array<ChainageSystem, 3>& systems, std::array<int, 3>* lines) {
  Found found[3];
  for (std::size_t i = 0; i < 3; ++i) found[i] = {systems[i], lines ? (*lines)[i] : 0};
  const Found& p = found[0];
  const Found& q = found[1];
  const Found& r = found[2];
  const Found zero{};
  Found out[3] = {p, q, r};

  const int32_t start_sum = checked::add(checked::add(p.system.start, q.system.start, "sum of the chainage starts"),
                                         r.system.start, "sum of the chainage starts");
  const int32_t sp = p.system.start, sq = q.system.start, sr = r.system.start;
  if (start_sum != 0) {
    if (sp > sq && sp > sr) {
      out[0] = p;
      if (sq > sr) {
        out[1] = q;
        out[2] = r;
      } else {
        out[1] = r;
        out[2] = q;
      }
    } else if (sq > sp && sq > sr) {
      out[0] = q;
      if (sp > sr) {
        out[1] = p;
        out[2] = r;
      } else {
        out[1] = r;
        out[2] = p;
      }
    } else if (sr > sp && sr > sq) {
      out[0] = r;
      if (sp > sq) {
        out[1] = p;
        out[2] = q;
      } else {
        out[1] = q;
        out[2] = p;
      }
    } else {
      out[0] = out[1] = out[2] = zero;  // the greatest start is shared: no order
    }
  } else if (r.system.reference > 0) {
    out[0] = r;
    out[1] = q;
    out[2] = p;
  } else if (q.system.reference > 0) {
    out[0] = q;
    out[1] = p;
    out[2] = r;
  } else if (p.system.reference > 0) {
    // already in order
  } else {
    out[0] = out[1] = out[2] = zero;
  }

  // Every slot holds its ordered system before any falling system's end
  // is moved on by 100 m, slot by slot: an addition that overflows leaves
  // the slots ordered, and is blamed on its own record.
  for (std::size_t i = 0; i < 3; ++i) {
    systems[i] = out[i].system;
    if (lines) (*lines)[i] = out[i].line;
  }
  for (std::size_t i = 0; i < 3; ++i) {
    if (systems[i].direction != 1) continue;
    try {
      systems[i].reference = checked::add(systems[i].reference, 100, "chainage reference + 100");
    } catch (const RunTimeFailure& failure) {
      if (out[i].line <= 0) throw;
      throw RunTimeFailure(failure.what(), out[i].line, true);
    }
  }
}

}  // namespace sb
