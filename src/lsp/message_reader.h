// The framing of the language server protocol: each message is a header
// ("Content-Length: N", CR LF, optional other fields, an empty line) and
// N bytes of JSON. The reader is fed whatever bytes arrive and hands out
// whole message bodies; a damaged header is reported and skipped with its
// body (the length it announces, or up to the next "Content-Length"), so a
// client's mistake never stops the stream and the messages after it are
// read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sb::lsp {

struct Frame {
  std::string body;   // the message's JSON text, when the header was good
  std::string error;  // otherwise what was wrong with the header
};

class MessageReader {
 public:
  // A header longer than this, or a body announced longer than this, is
  // refused: the reader never holds more than a few such buffers.
  static constexpr std::size_t kMaxHeader = 8 * 1024;
  static constexpr std::size_t kMaxBody = 256 * 1024 * 1024;

  void feed(std::string_view bytes) { buffer_.append(bytes); }
  // The next whole message, or none until more bytes arrive.
  std::optional<Frame> next();
  std::size_t buffered() const { return buffer_.size() - start_; }

 private:
  void consume(std::size_t n);

  std::string buffer_;
  std::size_t start_ = 0;
  // The bytes of "Content-Length" but its last, kept while looking for it.
  static constexpr std::size_t kResyncKeep = 13;

  std::optional<std::size_t> body_length_;  // the header was read; the body is awaited
  std::size_t skip_ = 0;                    // bytes of a damaged message's body still to drop
  bool resynchronising_ = false;            // dropping bytes up to the next header
};

// A message with its header, ready to write.
std::string frame_message(std::string_view body);

}  // namespace sb::lsp
