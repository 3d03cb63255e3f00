#include "text/field_reader.h"

#include <algorithm>

#include "base/failures.h"
#include "text/quoted_input.h"

namespace sb {
namespace {

bool is_line_end_char(char c) { return c == '\r' || c == '\n'; }

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string shown(std::string_view token) {
  constexpr std::size_t kShown = 40;
  return quoted_input(token, kShown);
}

}  // namespace

void FieldReader::skip_blanks() {
  while (pos_ < bytes_.size() && bytes_[pos_] == ' ') ++pos_;
}

bool FieldReader::at_line_end() const { return pos_ < bytes_.size() && is_line_end_char(bytes_[pos_]); }

void FieldReader::consume_line_end() {
  if (bytes_[pos_] == '\r' && pos_ + 1 < bytes_.size() && bytes_[pos_ + 1] == '\n') ++pos_;
  ++pos_;
  ++line_;
  line_start_ = pos_;
}

void FieldReader::field_started(FieldPlace place) {
  // A record holds a few dozen fields at most; a file that is one long
  // record (no keyword matched) keeps only its latest fields.
  constexpr std::size_t kKept = 256;
  if (record_fields_.size() >= kKept) record_fields_.erase(record_fields_.begin() + 1, record_fields_.end());
  record_fields_.push_back(place);
}

void FieldReader::start_record() {
  if (record_fields_.empty()) return;
  record_fields_.erase(record_fields_.begin(), record_fields_.end() - 1);
}

FieldPlace FieldReader::record_field(std::size_t n) const {
  if (record_fields_.empty()) return {line_, 0};
  return record_fields_[std::min(n, record_fields_.size() - 1)];
}

// Consumes the comma or the line end that closes a field, if one is next.
void FieldReader::consume_separator() {
  if (pos_ >= bytes_.size()) return;
  if (bytes_[pos_] == ',') {
    ++pos_;
  } else if (is_line_end_char(bytes_[pos_])) {
    consume_line_end();
  }
}

void FieldReader::start_field(const char* what) {
  if (at_end())
    throw RunTimeFailure(std::string("the file ends where ") + what + " was expected", line_, false,
                         place_at(pos_).column);
  skip_blanks();
}

Field FieldReader::read_text() {
  start_field("a field");
  const FieldPlace place = place_at(pos_);
  field_started(place);
  Field field{{}, place.line, place.column};
  if (pos_ < bytes_.size() && bytes_[pos_] == '"') {
    std::size_t begin = ++pos_;
    std::size_t close = bytes_.find('"', begin);
    std::size_t end = close == std::string_view::npos ? bytes_.size() : close;
    for (std::size_t i = begin; i < end; ++i) {
      if (bytes_[i] == '\n' || (bytes_[i] == '\r' && (i + 1 >= end || bytes_[i + 1] != '\n'))) {
        ++line_;
        line_start_ = i + 1;
      }
    }
    field.text = bytes_.substr(begin, end - begin);
    if (observer_ != nullptr) observer_->field_read(field.text, place, false);
    pos_ = close == std::string_view::npos ? bytes_.size() : close + 1;
    while (pos_ < bytes_.size() && bytes_[pos_] != ',' && !is_line_end_char(bytes_[pos_])) ++pos_;
    consume_separator();
    return field;
  }
  std::size_t begin = pos_;
  while (pos_ < bytes_.size() && bytes_[pos_] != ',' && !is_line_end_char(bytes_[pos_])) ++pos_;
  std::size_t end = pos_;
  while (end > begin && bytes_[end - 1] == ' ') --end;
  field.text = bytes_.substr(begin, end - begin);
  if (observer_ != nullptr) observer_->field_read(field.text, place, false);
  consume_separator();
  return field;
}

int64_t FieldReader::read_number(int64_t min, int64_t max, const char* width) {
  start_field("a number");
  std::size_t begin = pos_;
  const FieldPlace place = place_at(begin);
  field_started(place);
  while (pos_ < bytes_.size() && bytes_[pos_] != ',' && bytes_[pos_] != ' ' && !is_line_end_char(bytes_[pos_])) {
    ++pos_;
  }
  std::string_view token = bytes_.substr(begin, pos_ - begin);
  if (observer_ != nullptr) observer_->field_read(token, place, true);
  int64_t value = 0;
  if (!token.empty()) {
    std::size_t i = 0;
    bool negative = false;
    if (token[0] == '+' || token[0] == '-') {
      negative = token[0] == '-';
      i = 1;
    }
    if (i == token.size())
      throw RunTimeFailure("expected a whole number, found " + shown(token), place.line, false, place.column);
    bool too_wide = false;
    for (; i < token.size(); ++i) {
      char c = token[i];
      if (c < '0' || c > '9')
        throw RunTimeFailure("expected a whole number, found " + shown(token), place.line, false, place.column);
      if (value < 100000000000LL) {
        value = value * 10 + (c - '0');
      } else {
        too_wide = true;
      }
    }
    if (negative) value = -value;
    if (too_wide || value < min || value > max) {
      throw RunTimeFailure("value " + std::string(token.substr(0, 40)) + " does not fit a " + width + " field",
                           place.line, false, place.column);
    }
  }
  skip_blanks();
  consume_separator();
  return value;
}

bool contains(std::string_view field, std::string_view keyword) {
  return field.find(keyword) != std::string_view::npos;
}

// Called for every keyword field against each keyword in turn, so it first
// rules out a field too short to hold the keyword.
bool contains_any_case(std::string_view field, std::string_view keyword) {
  if (keyword.empty()) return true;
  if (keyword.size() > field.size()) return false;
  const char first = ascii_lower(keyword[0]);
  const std::size_t last_start = field.size() - keyword.size();
  for (std::size_t i = 0; i <= last_start; ++i) {
    if (ascii_lower(field[i]) != first) continue;
    std::size_t j = 1;
    while (j < keyword.size() && ascii_lower(field[i + j]) == ascii_lower(keyword[j])) ++j;
    if (j == keyword.size()) return true;
  }
  return false;
}

}  // namespace sb
