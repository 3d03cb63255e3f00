#include "reader/chainage.h"

#include "driver/arith.h"

namespace sb {
namespace {

struct Triple {
  int32_t start = 0;
  int32_t end = 0;
  int32_t position = 0;
  int line = 0;
};

}  // namespace

void progressive_ordina(ScenarioState& state, std::array<int, 3>* lines) {
  auto& table = state.scenario_table;
  Triple found[3];
  for (int i = 0; i < 3; ++i) {
    const TableRecord& r = table[static_cast<std::size_t>(kChainageSlotThree + i)];
    found[i] = {r.start, r.end, r.position, lines ? (*lines)[static_cast<std::size_t>(i)] : 0};
  }
  const Triple& p = found[0];
  const Triple& q = found[1];
  const Triple& r = found[2];
  const Triple zero{};
  Triple out[3] = {p, q, r};

  const int32_t start_sum = checked::add(checked::add(p.start, q.start, "sum of the chainage starts"), r.start,
                                        "sum of the chainage starts");
  if (start_sum != 0) {
    if (p.start > q.start && p.start > r.start) {
      out[0] = p;
      if (q.start > r.start) { out[1] = q; out[2] = r; } else { out[1] = r; out[2] = q; }
    } else if (q.start > p.start && q.start > r.start) {
      out[0] = q;
      if (p.start > r.start) { out[1] = p; out[2] = r; } else { out[1] = r; out[2] = p; }
    } else if (r.start > p.start && r.start > q.start) {
      out[0] = r;
      if (p.start > q.start) { out[1] = p; out[2] = q; } else { out[1] = q; out[2] = p; }
    } else {
      out[0] = out[1] = out[2] = zero;  // the greatest start is shared: no order
    }
  } else if (r.end > 0) {
    out[0] = r; out[1] = q; out[2] = p;
  } else if (q.end > 0) {
    out[0] = q; out[1] = p; out[2] = r;
  } else if (p.end > 0) {
    // already in order
  } else {
    out[0] = out[1] = out[2] = zero;
  }

  for (int i = 0; i < 3; ++i) {
    Triple t = out[i];
    if (t.position == 1) t.end = checked::add(t.end, 100, "chainage reference + 100");
    TableRecord& slot = table[static_cast<std::size_t>(kChainageSlotThree + i)];
    slot.start = t.start;
    slot.end = t.end;
    slot.position = t.position;
    if (lines) (*lines)[static_cast<std::size_t>(i)] = t.line;
  }
}

}  // namespace sb
