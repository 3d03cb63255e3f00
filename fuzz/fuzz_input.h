// How one fuzz input holds both description files: the line file, the
// separator "####", one mode byte whose lowest bit says whether a line plan
// is built, then the train file. Without a separator the whole input is the
// line file and the train file is missing. A separator at the very end
// leaves an empty train file with the plan built.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sb::fuzzing {

inline constexpr std::string_view kSeparator = "####";

struct SplitInput {
  std::string line;
  std::string train;
  bool train_exists = false;
  bool build_plan = true;
};

inline SplitInput split_input(std::string_view input) {
  SplitInput out;
  const std::size_t at = input.find(kSeparator);
  if (at == std::string_view::npos) {
    out.line = std::string(input);
    return out;
  }
  out.line = std::string(input.substr(0, at));
  out.train_exists = true;
  const std::size_t rest = at + kSeparator.size();
  if (rest < input.size()) {
    out.build_plan = (static_cast<unsigned char>(input[rest]) & 1) != 0;
    out.train = std::string(input.substr(rest + 1));
  }
  return out;
}

}  // namespace sb::fuzzing
