// libFuzzer target: arbitrary bytes as a line file and a train file (see
// fuzz_input.h for the split), through the check in memory: the first
// compile and the compiles after leaving records out, with a small error
// limit so that one input stays fast. Every outcome is legal; an
// exception, a sanitizer report, a crash, a timeout or a leak is a
// finding, and so is a check that runs more compiles than its bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "builtin/builtin_content.h"
#include "compile/check.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  sb::fuzzing::SplitInput split = sb::fuzzing::split_input(std::string_view(reinterpret_cast<const char*>(data), size));
  sb::CheckRequest request;
  request.compile = {sb::kBuiltinRoute, sb::kBuiltinTrain, split.build_plan};
  request.line = {"line.txt", std::move(split.line), true};
  request.train = {"train.txt", std::move(split.train), split.train_exists};
  request.max_errors = 8;
  const sb::CheckResult result = sb::check_scenario(request);
  // The first compile reports all it finds, as compile does; each later
  // one is made for one more error, up to the limit.
  if (result.compiles > request.max_errors + 1) std::abort();
  return 0;
}
