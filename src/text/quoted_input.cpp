#include "text/quoted_input.h"

namespace sb {

std::string escaped_input(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7f) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xf];
    } else {
      out += c;
    }
  }
  return out;
}

std::string quoted_input(std::string_view text, std::size_t limit) {
  std::string s = escaped_input(text.substr(0, limit));
  if (text.size() > limit) s += "...";
  return "\"" + s + "\"";
}

}  // namespace sb
