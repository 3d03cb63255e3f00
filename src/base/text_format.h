// Numbers, lengths and clock times as every listing and the page write
// them: one way to write metres.
#pragma once

#include <cstdint>
#include <string>

namespace sb {

std::string decimal(int64_t number);      // 10150 -> "10150"
std::string grouped(int64_t number);      // 10150 -> "10 150"
std::string metres_text(int64_t metres);  // "10 150 m"
std::string km_text(int64_t metres);      // "10.150 km"
std::string clock_text(int64_t seconds);  // "05:57:00"; "-00:00:05" before midnight

}  // namespace sb
