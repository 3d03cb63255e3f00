#include "model/cell_kinds.h"

#include <array>

namespace sb {
namespace {

using namespace cell_kind;

constexpr std::array<CellKindInfo, 12> kRows = {{
    {kNothing, "nothing", "an element", PageKind::kNone},
    {kSignal, "signal", "the signal", PageKind::kSignal, "signal", "signal"},
    {kSlowdownEnd, "slowdown end", "the end of the slowdown", PageKind::kNone},
    {kSlowdownStart, "slowdown start", "the start of the slowdown", PageKind::kSlowdown, "slowdown", "slowdown"},
    {kSlowdownWarning, "slowdown warning", "the warning of the slowdown", PageKind::kNone},
    {kSlowdownApproach, "slowdown approach", "an approach cell of the slowdown", PageKind::kNone},
    {kSpeedBoard, "speed-limit board", "the speed-limit board", PageKind::kSpeedBoard, "speed-board",
     "speed-limit board"},
    {kStopCell, "station stop cell", "the stop cell of the station", PageKind::kStation, "station", "station"},
    {kMontagnaMark, "montagna mark", "an element", PageKind::kNone},
    {kAbbattimento, "abbattimento", "the abbattimento", PageKind::kAbbattimento, "abbattimento", "abbattimento"},
    {kAbbattimentoPlain, "abbattimento without value", "the abbattimento", PageKind::kAbbattimento},
    {kLineBoard, "line board", "the board", PageKind::kLineBoard, "line-board", "line board"},
}};

constexpr bool in_code_order() {
  for (std::size_t i = 1; i < kRows.size(); ++i) {
    if (kRows[i].code <= kRows[i - 1].code) return false;
  }
  return true;
}
static_assert(in_code_order());

}  // namespace

std::span<const CellKindInfo> cell_kinds() { return kRows; }

const CellKindInfo* cell_kind_info(uint8_t code) {
  for (const CellKindInfo& row : kRows) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

const CellKindInfo& page_kind_info(PageKind kind) {
  static constexpr CellKindInfo kCurveRow{kNothing, "curve", "the curve", PageKind::kCurve, "curve", "curve"};
  if (kind == PageKind::kCurve) return kCurveRow;
  for (const CellKindInfo& row : kRows) {
    if (row.page == kind && row.data_kind != nullptr) return row;
  }
  return kRows[0];
}

}  // namespace sb
