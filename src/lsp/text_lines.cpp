#include "lsp/text_lines.h"

#include <algorithm>
#include <stdexcept>

namespace sb::lsp {
namespace {

// The length of the UTF-8 sequence a lead byte starts; a byte that cannot
// lead counts as one character of its own.
std::size_t sequence_length(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

}  // namespace

TextLines::TextLines(std::string text) : text_(std::move(text)) {
  // Counted first, so that a text of many short lines takes no more than
  // its starts need.
  auto for_each_start = [this](auto&& take) {
    take(0);
    for (std::size_t i = 0; i < text_.size(); ++i) {
      if (text_[i] == '\n' || (text_[i] == '\r' && (i + 1 == text_.size() || text_[i + 1] != '\n'))) take(i + 1);
    }
  };
  if (text_.size() >= UINT32_MAX) throw std::length_error("a text of 4 GiB or more");
  std::size_t count = 0;
  for_each_start([&count](std::size_t) { ++count; });
  starts_.reserve(count);
  for_each_start([this](std::size_t start) { starts_.push_back(static_cast<uint32_t>(start)); });
}

std::string_view TextLines::line(std::size_t line) const {
  if (line >= starts_.size()) return {};
  const std::size_t begin = starts_[line];
  std::size_t end = line + 1 < starts_.size() ? starts_[line + 1] : text_.size();
  if (end > begin && text_[end - 1] == '\n') --end;
  if (end > begin && text_[end - 1] == '\r') --end;
  return std::string_view(text_).substr(begin, end - begin);
}

std::size_t TextLines::column_of(std::size_t line_index, std::size_t byte, PositionEncoding encoding) const {
  const std::string_view text = line(line_index);
  byte = std::min(byte, text.size());
  if (encoding == PositionEncoding::kUtf8) return byte;
  std::size_t units = 0;
  for (std::size_t i = 0; i < byte;) {
    const std::size_t n = std::min(sequence_length(static_cast<unsigned char>(text[i])), text.size() - i);
    units += n == 4 ? 2 : 1;
    i += n;
  }
  return units;
}

std::size_t TextLines::byte_of(std::size_t line_index, std::size_t column, PositionEncoding encoding) const {
  const std::string_view text = line(line_index);
  if (encoding == PositionEncoding::kUtf8) return std::min(column, text.size());
  std::size_t units = 0;
  std::size_t i = 0;
  while (i < text.size() && units < column) {
    const std::size_t n = std::min(sequence_length(static_cast<unsigned char>(text[i])), text.size() - i);
    units += n == 4 ? 2 : 1;
    i += n;
  }
  return i;
}

std::vector<LineField> line_fields(std::string_view line) {
  std::vector<LineField> fields;
  std::size_t begin = 0;
  while (true) {
    std::size_t end = line.find(',', begin);
    if (end == std::string_view::npos) end = line.size();
    std::size_t b = begin, e = end;
    while (b < e && (line[b] == ' ' || line[b] == '\t')) ++b;
    while (e > b && (line[e - 1] == ' ' || line[e - 1] == '\t')) --e;
    fields.push_back({b, e, line.substr(b, e - b)});
    if (end == line.size()) break;
    begin = end + 1;
  }
  return fields;
}

}  // namespace sb::lsp
