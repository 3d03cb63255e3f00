#include "base/terminal_text.h"

#include <cstdio>

namespace sb {
namespace {

constexpr char kHex[] = "0123456789abcdef";

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// How many bytes at `text` form a hidden format character in UTF-8, and
// which; 0 when they do not. `incomplete` is set when the text ends before
// it can be told.
std::size_t hidden_at(std::string_view text, char32_t& c, bool& incomplete) {
  incomplete = false;
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead == 0xC2) {
    if (text.size() < 2) {
      incomplete = true;
      return 0;
    }
    const auto b1 = static_cast<unsigned char>(text[1]);
    if (b1 < 0x80 || b1 > 0x9F) return 0;
    c = b1;
    return 2;
  }
  if (lead == 0xE2) {
    if (text.size() < 2) {
      incomplete = true;
      return 0;
    }
    const auto b1 = static_cast<unsigned char>(text[1]);
    if (b1 != 0x80 && b1 != 0x81) return 0;
    if (text.size() < 3) {
      incomplete = true;
      return 0;
    }
    const auto b2 = static_cast<unsigned char>(text[2]);
    if (!is_continuation(b2)) return 0;
    c = static_cast<char32_t>(0x2000 | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
    return is_hidden_format_character(c) ? 3 : 0;
  }
  return 0;
}

bool is_shown_control(unsigned char b) { return (b < 0x20 && b != '\n' && b != '\t') || b == 0x7F; }

std::string code_point_escape(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "\\u{%x}", static_cast<unsigned>(c));
  return text;
}

}  // namespace

bool is_hidden_format_character(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

TerminalSafeOutput::TerminalSafeOutput(std::ostream& stream) : stream_(stream), target_(stream.rdbuf(this)) {}

TerminalSafeOutput::~TerminalSafeOutput() {
  if (!held_.empty()) target_->sputn(held_.data(), static_cast<std::streamsize>(held_.size()));
  target_->pubsync();
  stream_.rdbuf(target_);
}

void TerminalSafeOutput::pass(std::string_view data) {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  if (!held_.empty()) {
    text = held_;
    text.append(data);
    held_.clear();
    data = text;
  }
  std::string out;
  std::size_t plain = 0;  // start of the bytes not yet passed on
  auto flush_plain = [&](std::size_t end) { out.append(data.substr(plain, end - plain)); };
  for (std::size_t i = 0; i < data.size();) {
    const auto b = static_cast<unsigned char>(data[i]);
    if (is_shown_control(b)) {
      flush_plain(i);
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
      plain = ++i;
      continue;
    }
    if (b != 0xC2 && b != 0xE2) {
      ++i;
      continue;
    }
    char32_t c = 0;
    bool incomplete = false;
    const std::size_t length = hidden_at(data.substr(i), c, incomplete);
    if (incomplete) {
      flush_plain(i);
      held_.assign(data.substr(i));
      plain = data.size();
      break;
    }
    if (length == 0) {
      ++i;
      continue;
    }
    flush_plain(i);
    out += code_point_escape(c);
    i += length;
    plain = i;
  }
  if (plain < data.size()) flush_plain(data.size());
  target_->sputn(out.data(), static_cast<std::streamsize>(out.size()));
}

TerminalSafeOutput::int_type TerminalSafeOutput::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  pass(std::string_view(&ch, 1));
  return c;
}

std::streamsize TerminalSafeOutput::xsputn(const char* data, std::streamsize size) {
  pass(std::string_view(data, static_cast<std::size_t>(size)));
  return size;
}

// The start of a sequence stays held: the next write may complete it.
int TerminalSafeOutput::sync() { return target_->pubsync(); }

void write_unescaped(std::ostream& stream, std::string_view text) {
  stream.flush();
  if (auto* safe = dynamic_cast<TerminalSafeOutput*>(stream.rdbuf())) {
    const std::lock_guard<std::mutex> lock(safe->mutex_);
    if (!safe->held_.empty()) {
      safe->target_->sputn(safe->held_.data(), static_cast<std::streamsize>(safe->held_.size()));
      safe->held_.clear();
    }
    safe->target_->sputn(text.data(), static_cast<std::streamsize>(text.size()));
    safe->target_->pubsync();
    return;
  }
  stream << text << std::flush;
}

std::string json_for_terminal(std::string_view json) {
  std::string out;
  out.reserve(json.size());
  for (std::size_t i = 0; i < json.size();) {
    const auto b = static_cast<unsigned char>(json[i]);
    char32_t c = b;
    bool incomplete = false;
    const std::size_t length = b == 0x7F ? 1 : (b == 0xC2 || b == 0xE2) ? hidden_at(json.substr(i), c, incomplete) : 0;
    if (length == 0) {
      out += json[i++];
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
    out += escape;
    i += length;
  }
  return out;
}

}  // namespace sb
