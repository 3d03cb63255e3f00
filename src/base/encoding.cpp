#include "base/encoding.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace sb {
namespace {

// The characters of bytes 0x80 to 0x9F; 0 where the byte is undefined.
// Every other byte stands for the Unicode character of the same number.
constexpr std::array<char32_t, 32> kHighControls = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::optional<unsigned char> byte_of(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == c) return static_cast<unsigned char>(0x80 + i);
  }
  return std::nullopt;
}

std::string hex_byte(unsigned char b) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", b);
  return text;
}

std::string code_point(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

// Decodes one UTF-8 character at `i`, advancing it; std::nullopt for an
// invalid sequence (overlong forms, surrogates and values past U+10FFFF
// included).
std::optional<char32_t> next_character(std::string_view s, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  int extra = 0;
  char32_t c = 0;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, c = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (i + static_cast<std::size_t>(extra) >= s.size()) return std::nullopt;
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (b & 0x3F);
  }
  const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
  if (c < smallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  i += static_cast<std::size_t>(extra) + 1;
  return c;
}

// A character as messages show it: "→" (U+2192).
std::string quoted_character(std::string_view bytes, char32_t c) {
  std::string text = "\"";
  text += bytes;
  text += "\" (";
  text += code_point(c);
  text += ')';
  return text;
}

}  // namespace

std::optional<std::string> utf8_to_1252(std::string_view utf8, std::string* problem) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::size_t at = i;
    const std::optional<char32_t> c = next_character(utf8, i);
    if (!c) {
      if (problem)
        *problem = "invalid UTF-8 byte " + hex_byte(static_cast<unsigned char>(utf8[at])) + " at byte " +
                   std::to_string(at + 1);
      return std::nullopt;
    }
    const std::optional<unsigned char> b = byte_of(*c);
    if (!b) {
      if (problem) {
        *problem = "the character " + quoted_character(utf8.substr(at, i - at), *c) + " has no Windows-1252 byte";
      }
      return std::nullopt;
    }
    out += static_cast<char>(*b);
  }
  return out;
}

std::string utf8_to_1252_replacing(std::string_view utf8, char replacement, std::vector<std::string>& lost) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::size_t at = i;
    const std::optional<char32_t> c = next_character(utf8, i);
    std::optional<unsigned char> b;
    std::string what;
    if (!c) {
      i = at + 1;
      what = "byte " + hex_byte(static_cast<unsigned char>(utf8[at]));
    } else if (!(b = byte_of(*c))) {
      what = quoted_character(utf8.substr(at, i - at), *c);
    }
    if (b) {
      out += static_cast<char>(*b);
      continue;
    }
    out += replacement;
    bool known = false;
    for (const std::string& l : lost) known = known || l == what;
    if (!known) lost.push_back(std::move(what));
  }
  return out;
}

char32_t cp1252_character(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kHighControls[b - 0x80] != 0 ? kHighControls[b - 0x80] : 0xFFFD;
  return b;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string cp1252_to_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) append_utf8(out, cp1252_character(static_cast<unsigned char>(ch)));
  return out;
}

bool is_valid_utf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return false;
    char32_t c = b & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
        (length == 4 && (c < 0x10000 || c > 0x10FFFF))) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string display_utf8(std::string_view bytes) {
  return is_valid_utf8(bytes) ? std::string(bytes) : cp1252_to_utf8(bytes);
}

namespace {

// The character of a byte as listings show it: a byte Windows-1252 leaves
// undefined stands for the control character of the same number.
char32_t code_point(unsigned char c) {
  const char32_t character = cp1252_character(c);
  return character == 0xFFFD ? c : character;
}

}  // namespace

std::string utf8_from_1252(std::string_view text) {
  std::string out;
  for (char c : text) append_utf8(out, code_point(static_cast<unsigned char>(c)));
  return out;
}

std::string printable_text(std::string_view text) {
  std::string out;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool unused = cp1252_character(c) == 0xFFFD;
    if (c < 0x20 || c == 0x7F || unused) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
      out += buffer;
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      append_utf8(out, code_point(c));
    }
  }
  return out;
}

std::string_view utf16_form(std::string_view bytes) {
  if (bytes.substr(0, 2) == "\xFF\xFE") return "UTF-16LE";
  if (bytes.substr(0, 2) == "\xFE\xFF") return "UTF-16BE";
  // Without a mark: up to the first line end, or 256 characters, each a
  // nonzero byte and then a zero one. Windows-1252 text holds no zero byte.
  std::size_t characters = 0;
  for (std::size_t i = 0; i + 1 < bytes.size() && characters < 256; i += 2) {
    if (bytes[i] == '\0' || bytes[i + 1] != '\0') return "";
    ++characters;
    if (bytes[i] == '\n') break;
  }
  return characters >= 2 ? "UTF-16LE" : "";
}

}  // namespace sb
