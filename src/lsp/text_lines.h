// A document's text as the client holds it (UTF-8 in the protocol), cut
// into lines, with columns counted the way the client counts them: UTF-8
// bytes or UTF-16 code units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sb::lsp {

enum class PositionEncoding { kUtf8, kUtf16 };

class TextLines {
 public:
  TextLines() = default;
  explicit TextLines(std::string text);

  const std::string& text() const { return text_; }
  std::size_t count() const { return starts_.size(); }
  // Line `line` (from 0) without its line end; empty past the last line.
  std::string_view line(std::size_t line) const;

  // The client's column of a byte offset within a line, and back (a column
  // inside a character or past the end stays on the line).
  std::size_t column_of(std::size_t line, std::size_t byte, PositionEncoding encoding) const;
  std::size_t byte_of(std::size_t line, std::size_t column, PositionEncoding encoding) const;

 private:
  std::string text_;
  // Where each line begins: 4 bytes a line, as the server takes no text
  // over 4 GiB (the constructor refuses one).
  std::vector<uint32_t> starts_;
};

// The fields of one description file line as the author sees them: split
// at commas, each with its byte span (leading and trailing blanks left out).
struct LineField {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string_view text;
};
std::vector<LineField> line_fields(std::string_view line);

}  // namespace sb::lsp
