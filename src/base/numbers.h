// Number conversions and the 32-bit whole-number arithmetic shared by the
// reader, the recorders and the completion.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "base/failures.h"

namespace sb {

// A real value taken to the nearest whole number, halves to the even
// neighbour (2.5 -> 2, 3.5 -> 4): nearbyint in the default rounding mode.
inline int64_t nearest(double x) {
  double r = std::nearbyint(x);
  if (!(r > -9.0e18 && r < 9.0e18)) throw RunTimeFailure("value out of range");
  return static_cast<int64_t>(r);
}

// A whole-number result that must fit 32 bits.
inline int32_t fit32(int64_t v, const char* what) {
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    throw RunTimeFailure(std::string(what) + " " + std::to_string(v) + " does not fit 32 bits");
  return static_cast<int32_t>(v);
}

// Whole-number arithmetic on the records' values is 32-bit: each product,
// sum and difference is one step, and the first step whose exact result
// does not fit is a run-time failure right there. Callers spell a formula
// as a chain of these steps, left to right, so that what was written
// before the failing step stays and nothing after it happens.
namespace checked {

[[noreturn]] inline void overflow(const char* what, int32_t a, char op, int32_t b) {
  throw RunTimeFailure(std::string(what) + ": " + std::to_string(a) + " " + op + " " + std::to_string(b) +
                       " does not fit 32 bits");
}

inline int32_t add(int32_t a, int32_t b, const char* what) {
  int32_t r;
  if (__builtin_add_overflow(a, b, &r)) overflow(what, a, '+', b);
  return r;
}

inline int32_t sub(int32_t a, int32_t b, const char* what) {
  int32_t r;
  if (__builtin_sub_overflow(a, b, &r)) overflow(what, a, '-', b);
  return r;
}

inline int32_t mul(int32_t a, int32_t b, const char* what) {
  int32_t r;
  if (__builtin_mul_overflow(a, b, &r)) overflow(what, a, 'x', b);
  return r;
}

}  // namespace checked

// A value that must fit a signed 16-bit field.
inline int16_t fit16(int64_t v, const char* what) {
  if (v < -32768 || v > 32767)
    throw RunTimeFailure(std::string(what) + " " + std::to_string(v) + " does not fit a 16-bit field");
  return static_cast<int16_t>(v);
}

// The low 16 or 8 bits of a whole number, for the fields that wrap.
inline int16_t low16(int64_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v & 0xFFFF)); }
inline uint8_t low8(int64_t v) { return static_cast<uint8_t>(v & 0xFF); }

}  // namespace sb
