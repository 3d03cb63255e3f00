// The line plan file (ROUTE_linea.dat): every first plan coordinate, then
// every second one, each a tagged value. See docs/line-plan-file.md.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "base/files.h"
#include "model/line_plan.h"

namespace sb {

// The file's size in bytes.
uint64_t line_plan_file_size(const LinePlan& plan);

// Computes the plan's positions while it writes them, in file order.
void write_line_plan(const LinePlan& plan, ByteSink& sink);
// The same into a file written at offsets: both halves at once, the blocks
// written out by a second thread. `meanwhile` runs on the calling thread
// once the last block is handed over, while the writes finish.
void write_line_plan(const LinePlan& plan, PositionedSink& sink, const std::function<void()>& meanwhile = {});

// Whether the plan's file holds exactly `bytes`: the plan is computed once
// (a long one in two parts, on two threads) and each block compared as it
// fills, in the cache; nothing is written.
bool line_plan_matches(const LinePlan& plan, std::string_view bytes);

}  // namespace sb
