// Reads a description file field by field.
//
// A field starts after any leading blanks (the space character only). A
// text field runs to the next comma or line end, its trailing blanks
// removed; one that starts with a double quote runs to the next double
// quote, and the rest of it up to the comma or line end is dropped. A
// number field is an optional sign and decimal digits, ending at a comma,
// a blank or a line end; blanks after it and one comma or one line end are
// consumed with it, and an empty number field reads 0. A line ends at
// CR LF, a lone CR or a lone LF. Each byte is one character.
//
// Anything that cannot be read as asked (a field past the end of the file,
// text in a number field, a value too wide for its variable) throws
// RunTimeFailure carrying the line the reader stands on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sb {

// Where a field starts: its line and its first character's column, both
// from 1 (one byte is one character: the files are Windows-1252). A
// quoted text starts at its opening quote.
struct FieldPlace {
  int line = 0;
  int column = 0;
};

struct Field {
  std::string_view text;  // points into the file's bytes
  int line = 0;           // the line the field starts on, from 1
  int column = 0;         // its first character, from 1
  FieldPlace place() const { return {line, column}; }
};

// Sees every field as it is read, before it is interpreted: its raw text
// and where it starts. Watching never changes what is read.
class FieldObserver {
 public:
  virtual ~FieldObserver() = default;
  virtual void field_read(std::string_view raw, FieldPlace place, bool number) = 0;
};

class FieldReader {
 public:
  explicit FieldReader(std::string_view bytes) : bytes_(bytes) {}

  void observe(FieldObserver* observer) { observer_ = observer; }

  bool at_end() const { return pos_ >= bytes_.size(); }
  // The line the reader stands on now (after the last field read).
  int line() const { return line_; }

  // The fields of the record being read: start_record() makes the last
  // field read (the record's keyword) field 0; value n is field n. Past
  // the fields read, the last one.
  void start_record();
  FieldPlace record_field(std::size_t n) const;

  Field read_text();
  int32_t read_int32() { return static_cast<int32_t>(read_number(INT32_MIN, INT32_MAX, "32-bit")); }
  int16_t read_int16() { return static_cast<int16_t>(read_number(-32768, 32767, "16-bit")); }
  uint8_t read_byte() { return static_cast<uint8_t>(read_number(0, 255, "8-bit unsigned")); }

 private:
  int64_t read_number(int64_t min, int64_t max, const char* width);
  void start_field(const char* what);
  void skip_blanks();
  bool at_line_end() const;
  void consume_line_end();
  void consume_separator();
  FieldPlace place_at(std::size_t offset) const { return {line_, static_cast<int>(offset - line_start_) + 1}; }
  void field_started(FieldPlace place);

  std::string_view bytes_;
  std::size_t pos_ = 0;
  int line_ = 1;
  std::size_t line_start_ = 0;  // where line line_ starts
  std::vector<FieldPlace> record_fields_;
  FieldObserver* observer_ = nullptr;
};

// Keyword tests: a field contains a keyword when it occurs anywhere in it.
bool contains(std::string_view field, std::string_view keyword);
// The same ignoring the case of the letters A to Z.
bool contains_any_case(std::string_view field, std::string_view keyword);

}  // namespace sb
