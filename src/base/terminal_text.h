// What the program writes to a terminal shows as text and never acts on
// the terminal: a control character or a bidirectional override taken
// from a file name or an input text would otherwise move the cursor,
// start an escape sequence, or make a message read in another order.
#pragma once

#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace sb {

// Whether `c` is a C1 control character (U+0080 to U+009F) or a
// bidirectional embedding, override or isolate (U+202A to U+202E, U+2066
// to U+2069).
bool is_hidden_format_character(char32_t c);

// While it lives, everything written to `stream` (standard error) goes
// through it: the C0 control characters but the line feed and the tab,
// and DEL, are written as \xHH; the characters above, when they come as
// UTF-8, as \u{HHHH} (lower-case hex digits, no leading zeros). Other
// bytes, invalid UTF-8 included, pass as they are.
class TerminalSafeOutput : public std::streambuf {
 public:
  explicit TerminalSafeOutput(std::ostream& stream);
  ~TerminalSafeOutput() override;
  TerminalSafeOutput(const TerminalSafeOutput&) = delete;
  TerminalSafeOutput& operator=(const TerminalSafeOutput&) = delete;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;
  int sync() override;

 private:
  friend void write_unescaped(std::ostream& stream, std::string_view text);
  void pass(std::string_view text);

  std::ostream& stream_;
  std::streambuf* target_;
  std::mutex mutex_;  // a write from another thread waits for the one under way
  std::string held_;  // the start of a UTF-8 sequence that may still become one of the above
};

// Writes `text` to `stream` past a TerminalSafeOutput on it: for the
// program's own control characters (the carriage returns that wipe the
// waiting text).
void write_unescaped(std::ostream& stream, std::string_view text);

// JSON text with the characters above, and DEL, written as \uHHHH escapes
// (they can only stand inside its strings), so that it passes a terminal
// unchanged and still reads as the same JSON.
std::string json_for_terminal(std::string_view json);

}  // namespace sb
