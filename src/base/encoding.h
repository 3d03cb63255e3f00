// Windows-1252, the one-byte character set of every text the simulator
// reads, and UTF-8, the character set of this system's command line and
// file names.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sb {

// The Windows-1252 bytes of a UTF-8 text. std::nullopt when the text is not
// valid UTF-8 or holds a character Windows-1252 has no byte for; `problem`
// then says which.
std::optional<std::string> utf8_to_1252(std::string_view utf8, std::string* problem = nullptr);

// The same, writing `replacement` for every character Windows-1252 has no
// byte for (and for every byte of an invalid sequence); `lost` gets each
// such character once, as "\"→\" (U+2192)", in the order met.
std::string utf8_to_1252_replacing(std::string_view utf8, char replacement, std::vector<std::string>& lost);

// The Unicode character of one Windows-1252 byte; U+FFFD for the five
// bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D).
char32_t cp1252_character(unsigned char byte);

// Appends the UTF-8 form of one Unicode character.
void append_utf8(std::string& out, char32_t c);

// The UTF-8 form of Windows-1252 bytes. The five bytes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) come out as U+FFFD.
std::string cp1252_to_utf8(std::string_view bytes);

// Whether `bytes` is valid UTF-8 (no overlong forms, no surrogates, nothing
// above U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

// Text of unknown origin for display: kept when it is valid UTF-8 (file
// names, texts an author wrote in UTF-8), read as Windows-1252 otherwise.
std::string display_utf8(std::string_view bytes);

// Windows-1252 text in UTF-8 for listings that must lose nothing: the five
// bytes the code page leaves undefined become the control characters of
// the same number.
std::string utf8_from_1252(std::string_view text);
// The same for a listing line: control characters, the undefined bytes and
// the backslash are shown as \xNN and \\.
std::string printable_text(std::string_view text);

// "UTF-16LE" or "UTF-16BE" when `bytes` is UTF-16 text, as some Windows
// editors and shells save it: it starts with that form's byte order mark,
// or, without one, its first line (at least two characters) is plainly
// little-endian, every second byte 0 and no other. "" for anything else,
// UTF-8 with or without its byte order mark included.
std::string_view utf16_form(std::string_view bytes);

}  // namespace sb
