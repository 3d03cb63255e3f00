#include "track/check_codes.h"

#include "base/numbers.h"

namespace sb {
namespace {

constexpr std::string_view kFiller = "aabbccddeeffgghhiillmmnnoo";
constexpr std::size_t kCounted = 25;

char lower_char(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c + 0x20);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char>(c + 0x20);
  switch (c) {
    case 0x8A: return static_cast<char>(0x9A);
    case 0x8C: return static_cast<char>(0x9C);
    case 0x8E: return static_cast<char>(0x9E);
    case 0x9F: return static_cast<char>(0xFF);
    default: return static_cast<char>(c);
  }
}

}  // namespace

std::string lower_1252(const std::string& text) {
  std::string out(text);
  for (char& c : out) c = lower_char(static_cast<unsigned char>(c));
  return out;
}

std::string check_string(const std::string& train, const std::string& route) {
  std::string s = lower_1252(train.substr(0, kCounted) + route.substr(0, kCounted));
  s += kFiller;
  return s.substr(0, kCounted);
}

int32_t cell_check_code(const std::string& train, const std::string& route) {
  int32_t sum = 0;
  for (char c : check_string(train, route)) sum = checked::add(sum, static_cast<unsigned char>(c), "cell check code");
  return sum;
}

int32_t route_check_code(const std::string& train, const std::string& route) {
  int32_t sum = 0;
  int32_t p = 1;
  for (char c : check_string(train, route)) {
    sum = checked::add(sum, checked::mul(static_cast<unsigned char>(c), p++, "route check code"), "route check code");
  }
  return sum;
}

}  // namespace sb
