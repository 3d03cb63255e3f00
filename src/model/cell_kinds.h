// The kinds of track cell, one row each: the words every listing, message
// and page uses for a kind are read here. A new kind is one row here plus
// its placement (track/) and, when the page draws it, its values there.
#pragma once

#include <cstdint>
#include <span>

#include "model/track_cells.h"

namespace sb {

// What the view page draws for a cell kind, in the order of its legend. A
// curve holds no cell: it is drawn from the line plan.
enum class PageKind : uint8_t { kNone, kStation, kSignal, kLineBoard, kSpeedBoard, kSlowdown, kAbbattimento, kCurve };

struct CellKindInfo {
  uint8_t code = 0;
  const char* name = "";      // in listings: "slowdown start"
  const char* occupant = "";  // in messages about a taken cell: "the start of the slowdown"
  PageKind page = PageKind::kNone;
  // The page's data-kind attribute and legend word, for the kinds the page
  // draws; the first row of a page kind gives them.
  const char* data_kind = nullptr;
  const char* legend = nullptr;
};

// Every known kind, in code order.
std::span<const CellKindInfo> cell_kinds();
// The row of `code`; nullptr for a code no kind has.
const CellKindInfo* cell_kind_info(uint8_t code);
// The first row that the page draws as `kind`; for a curve, a row of its
// own with no cell code.
const CellKindInfo& page_kind_info(PageKind kind);
inline constexpr PageKind kPageKinds[] = {PageKind::kStation,    PageKind::kSignal,   PageKind::kLineBoard,
                                          PageKind::kSpeedBoard, PageKind::kSlowdown, PageKind::kAbbattimento,
                                          PageKind::kCurve};

}  // namespace sb
