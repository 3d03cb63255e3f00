// libFuzzer target: arbitrary bytes as a line file and a train file (see
// compile_input.h for the split), through the whole compile in memory.
// A FatalError is a legal outcome; any other exception, a sanitizer
// report, a crash, a timeout or a leak is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "compile_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  sb::fuzzing::compile_in_memory(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
