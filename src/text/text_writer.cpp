#include "text/text_writer.h"

#include "base/files.h"

namespace sb {

std::string text_file_bytes(const std::vector<std::string_view>& lines) {
  std::string bytes;
  for (std::string_view line : lines) {
    if (line == kEndMarker) break;
    bytes.append(line);
    bytes.append("\r\n");
  }
  return bytes;
}

void write_text_file(const std::string& path, const std::vector<std::string_view>& lines) {
  replace_file(path, text_file_bytes(lines));
}

}  // namespace sb
