// The one text file writer behind the description files and the driver
// documents: a list of lines closed by the end marker, each line before it
// written with CR LF, bytes as given.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sb {

inline constexpr std::string_view kEndMarker = "riferimento fine del file";

// The bytes of a text file: every line up to (not including) the first
// line equal to the end marker, each followed by CR LF.
std::string text_file_bytes(const std::vector<std::string_view>& lines);

// Replaces `path` atomically with text_file_bytes(lines).
void write_text_file(const std::string& path, const std::vector<std::string_view>& lines);

}  // namespace sb
