#include "lsp/message_reader.h"

#include <charconv>

namespace sb::lsp {
namespace {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The body length a header announces, or what is wrong with the header.
std::optional<std::size_t> content_length(std::string_view header, std::string& error) {
  std::optional<std::size_t> length;
  while (!header.empty()) {
    const std::size_t end = header.find("\r\n");
    const std::string_view line = header.substr(0, end);
    header = end == std::string_view::npos ? std::string_view{} : header.substr(end + 2);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      error = "header line without ':'";
      return std::nullopt;
    }
    if (!equals_ignoring_case(trimmed(line.substr(0, colon)), "content-length")) continue;
    const std::string_view value = trimmed(line.substr(colon + 1));
    std::size_t n = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc{} || ptr != value.data() + value.size() || value.empty()) {
      error = "Content-Length is not a number";
      return std::nullopt;
    }
    if (n > MessageReader::kMaxBody) {
      error = "Content-Length " + std::to_string(n) + " is over the limit";
      return std::nullopt;
    }
    length = n;
  }
  if (!length) error = "header without Content-Length";
  return length;
}

}  // namespace

void MessageReader::consume(std::size_t n) {
  start_ += n;
  // Keep the buffer from growing with what was handed out.
  if (start_ > 64 * 1024 && start_ * 2 > buffer_.size()) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
}

std::optional<Frame> MessageReader::next() {
  if (!body_length_) {
    const std::string_view rest = std::string_view(buffer_).substr(start_);
    const std::size_t end = rest.find("\r\n\r\n");
    if (end == std::string_view::npos) {
      if (rest.size() <= kMaxHeader) return std::nullopt;
      // No header ends within the limit: drop what came, up to the last
      // byte that could start the end of a header.
      consume(rest.size() - 3);
      return Frame{{}, "header over " + std::to_string(kMaxHeader) + " bytes without an end"};
    }
    Frame frame;
    const std::optional<std::size_t> length = content_length(rest.substr(0, end), frame.error);
    consume(end + 4);
    if (!length) return frame;
    body_length_ = *length;
  }
  if (buffered() < *body_length_) return std::nullopt;
  Frame frame{buffer_.substr(start_, *body_length_), {}};
  consume(*body_length_);
  body_length_.reset();
  return frame;
}

std::string frame_message(std::string_view body) {
  std::string out = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  out.append(body);
  return out;
}

}  // namespace sb::lsp
