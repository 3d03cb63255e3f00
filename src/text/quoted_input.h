// Input text shown inside a message: in double quotes, cut after `limit`
// characters with "...", and with tabs and other control characters
// written as escapes (\t, \r, \n, \xHH) so that the message stays on one
// line and shows what the file really holds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sb {

std::string escaped_input(std::string_view text);
std::string quoted_input(std::string_view text, std::size_t limit = 40);

}  // namespace sb
