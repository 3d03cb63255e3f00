// What both forms read from a scenario: the train's stations in running
// order, the chainage of a position as the forms print it, and the fixed
// cells of their grids.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/scenario.h"

namespace sb::documents {

struct RunStation {
  std::string name;  // Windows-1252, as written
  int32_t position = 0;
  int32_t start = 0;  // the platform, metres
  int32_t end = 0;
  int32_t time = 0;  // seconds since midnight; 0: none (a landmark)
};

// The stations of the scenario table, in running order.
std::vector<RunStation> run_stations(const Scenario& scenario);

// The chainage of `position` in kilometres with three decimals ("12.700")
// by the line's chainage systems; on a line without any, the kilometres
// from the line's start. Empty where the line has systems but none covers
// the position.
std::string chainage_km(const Scenario& scenario, int64_t position);

// `text` in a cell of `width` characters: left-aligned, right-aligned, or
// with `left` blanks before it; cut at the cell's end when longer.
std::string left_in(std::string_view text, std::size_t width);
std::string right_in(std::string_view text, std::size_t width);
std::string placed_in(std::string_view text, std::size_t width, std::size_t left);
// In the middle; one blank more after it than before when they do not share evenly.
std::string centred_in(std::string_view text, std::size_t width);

// The bytes of a document: every line followed by CR LF.
std::string crlf_text(const std::vector<std::string>& lines);

}  // namespace sb::documents
