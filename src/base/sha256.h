// SHA-256 and base64: the page names its own scripts and styles by hash in
// its Content-Security-Policy.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace sb {

std::array<uint8_t, 32> sha256(std::string_view bytes);

// Standard base64 with padding.
std::string base64(const uint8_t* data, std::size_t size);

}  // namespace sb
