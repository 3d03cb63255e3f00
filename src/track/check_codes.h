// The two check codes that tie the compiled files to the scenario's
// identifiers: sums of character codes over the first 25 characters of
// train number + route name, lower-cased, padded with a fixed filler.
#pragma once

#include <cstdint>
#include <string>

namespace sb {

// Windows-1252 lower-casing: A-Z, the capitals 0xC0-0xDE except the
// multiplication sign, and the four capitals at 0x8A, 0x8C, 0x8E, 0x9F.
std::string lower_1252(const std::string& text);

// The first 25 characters that both codes are computed from.
std::string check_string(const std::string& train, const std::string& route);

// Cell check code: the plain sum of the 25 character codes.
int32_t cell_check_code(const std::string& train, const std::string& route);
// Route check code: each character code weighted by its position 1..25.
int32_t route_check_code(const std::string& train, const std::string& route);

}  // namespace sb
