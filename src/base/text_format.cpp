#include "base/text_format.h"

#include <cstdio>

namespace sb {
namespace {

// |number| without overflow for the most negative value.
uint64_t magnitude(int64_t number) {
  return number < 0 ? static_cast<uint64_t>(-(number + 1)) + 1 : static_cast<uint64_t>(number);
}

}  // namespace

std::string decimal(int64_t number) { return std::to_string(number); }

std::string grouped(int64_t number) {
  const std::string digits = std::to_string(magnitude(number));
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
    out += digits[i];
  }
  return number < 0 ? "-" + out : out;
}

std::string metres_text(int64_t metres) { return grouped(metres) + " m"; }

std::string km_text(int64_t metres) {
  const uint64_t m = magnitude(metres);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%s%llu.%03llu km", metres < 0 ? "-" : "",
                static_cast<unsigned long long>(m / 1000), static_cast<unsigned long long>(m % 1000));
  return buffer;
}

std::string clock_text(int64_t seconds) {
  const uint64_t s = magnitude(seconds);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%s%02llu:%02llu:%02llu", seconds < 0 ? "-" : "",
                static_cast<unsigned long long>(s / 3600), static_cast<unsigned long long>(s / 60 % 60),
                static_cast<unsigned long long>(s % 60));
  return buffer;
}

}  // namespace sb
