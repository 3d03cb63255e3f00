#include "lsp/message_reader.h"

#include <algorithm>
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

// What a header says: the body length it announces, if it announces one
// that can be read, and what is wrong with it, if anything.
struct Header {
  std::optional<std::size_t> length;
  std::string error;
};

Header read_header(std::string_view header) {
  Header h;
  bool numbered = false;
  while (!header.empty()) {
    const std::size_t end = header.find("\r\n");
    const std::string_view line = header.substr(0, end);
    header = end == std::string_view::npos ? std::string_view{} : header.substr(end + 2);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      if (h.error.empty()) h.error = "header line without ':'";
      continue;
    }
    if (!equals_ignoring_case(trimmed(line.substr(0, colon)), "content-length")) continue;
    numbered = true;
    const std::string_view value = trimmed(line.substr(colon + 1));
    std::size_t n = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc{} || ptr != value.data() + value.size() || value.empty()) {
      if (h.error.empty()) h.error = "Content-Length is not a number";
      h.length.reset();
      return h;
    }
    if (n > MessageReader::kMaxBody) {
      if (h.error.empty()) h.error = "Content-Length " + std::to_string(n) + " is over the limit";
      h.length.reset();
      return h;
    }
    h.length = n;
  }
  if (!numbered && h.error.empty()) h.error = "header without Content-Length";
  return h;
}

// Where the next header may start in `text`: the first "Content-Length"
// in any case; npos when there is none.
std::size_t next_header_start(std::string_view text) {
  constexpr std::string_view kField = "content-length";
  for (std::size_t at = 0; at + kField.size() <= text.size(); ++at) {
    if (equals_ignoring_case(text.substr(at, kField.size()), kField)) return at;
  }
  return std::string_view::npos;
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
  if (skip_ > 0) {
    const std::size_t n = std::min(skip_, buffered());
    consume(n);
    skip_ -= n;
    if (skip_ > 0) return std::nullopt;
  }
  if (resynchronising_) {
    const std::string_view rest = std::string_view(buffer_).substr(start_);
    const std::size_t at = next_header_start(rest);
    if (at == std::string_view::npos) {
      // Keep what could be the start of the field name.
      consume(rest.size() - std::min<std::size_t>(rest.size(), kResyncKeep));
      return std::nullopt;
    }
    consume(at);
    resynchronising_ = false;
  }
  if (!body_length_) {
    const std::string_view rest = std::string_view(buffer_).substr(start_);
    const std::size_t end = rest.find("\r\n\r\n");
    if (end == std::string_view::npos) {
      if (rest.size() <= kMaxHeader) return std::nullopt;
      // No header ends within the limit: what came is dropped, up to where
      // the next header starts.
      consume(rest.size() - kResyncKeep);
      resynchronising_ = true;
      return Frame{{}, "header over " + std::to_string(kMaxHeader) + " bytes without an end"};
    }
    const Header header = read_header(rest.substr(0, end));
    consume(end + 4);
    if (!header.error.empty()) {
      // The body of a damaged header is no header: skipped whole when its
      // length is known, otherwise up to the next header.
      if (header.length) {
        skip_ = *header.length;
      } else {
        resynchronising_ = true;
      }
      return Frame{{}, header.error};
    }
    body_length_ = *header.length;
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
