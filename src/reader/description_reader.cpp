#include "reader/description_reader.h"

#include "base/encoding.h"
#include "base/files.h"
#include "reader/read_descriptions.h"

namespace sb {

const std::string* FileSource::load() { return read_file(path_, bytes_) ? &bytes_ : nullptr; }

void FileSource::remove() {
  if (delete_) delete_file(path_);
}

void read_descriptions(Scenario& scenario, DescriptionSources sources) { DescriptionReader(scenario, sources).run(); }

void DescriptionReader::run() {
  st_.source_names = {"", src_.line.name(), src_.train.name()};
  try {
    if (read_line_file() == Next::kStop) return;
    read_train_file();
  } catch (const RunTimeFailure& failure) {
    // A field that cannot be read points at its own line; any other
    // failure at the record being handled.
    const int record_line = failure.whole_record() ? failure.line() : st_.place.line;
    if (failure.line() > 0) {
      if (failure.column() > 0 || failure.line() != st_.place.line) st_.place.column = failure.column();
      st_.place.line = failure.line();
    }
    st_.record_error(25, std::string("reading failure: ") + failure.what());
    st_.diagnostics.last_error()->record_line = record_line;
    src_.line.remove();
    src_.train.remove();
  }
}

void DescriptionReader::at_field(const DescriptionSource& source, const Field& field) {
  // The name is copied into the string already there, so no field costs an
  // allocation.
  st_.place.file = source.name();
  st_.place.line = field.line;
  st_.place.column = field.column;
  current_file_ = &source == &src_.line ? 1 : 2;
  st_.cells.set_current_record(current_file_, field.line, field.column);
}

// The range test of a position: its cell (with a margin of `margin`
// metres) must not pass the last cell, compared as real numbers.
bool DescriptionReader::in_range(int64_t p, int64_t margin) const {
  return static_cast<double>(st_.cell_count) >= static_cast<double>(p + margin) / 50.0;
}

DescriptionReader::Next DescriptionReader::within_cells(const char* what, int64_t p, int64_t margin,
                                                        std::size_t value) {
  if (in_range(p, margin)) return Next::kGoOn;
  st_.record_error(15,
                   std::string(what) + " at " + std::to_string(p) + " m lies beyond the last track cell " +
                       std::to_string(st_.cell_count) + " (positions up to " +
                       std::to_string(50LL * st_.cell_count - margin) + " m are accepted)",
                   static_cast<int32_t>(p));
  point_at_value(value);
  return Next::kEndPart;
}

DescriptionReader::Next DescriptionReader::stop(DescriptionSource& source, int32_t code, std::string message,
                                                std::optional<int32_t> position, std::size_t value) {
  source.remove();
  st_.record_error(code, std::move(message), position);
  if (value > 0) point_at_value(value);
  return Next::kStop;
}

DescriptionReader::Next DescriptionReader::refuse_utf16(DescriptionSource& source, const std::string& bytes) {
  const std::string_view form = utf16_form(bytes);
  if (form.empty()) return Next::kGoOn;
  st_.place = {source.name(), 1, 1};
  return stop(source, 104,
              "the file is " + std::string(form) +
                  " text; description files are Windows-1252, so none of it is read: save it as Windows-1252 "
                  "(\"ANSI\" or \"Western European (Windows)\" among the editor's encodings)");
}

FieldPlace DescriptionReader::value_place(std::size_t n) const {
  if (in_ == nullptr) return here();
  return in_->record_field(n);
}

void DescriptionReader::point_at_value(std::size_t n) {
  Diagnostic* d = st_.diagnostics.last_error();
  if (d == nullptr || d->line <= 0) return;
  const FieldPlace place = value_place(n);
  if (place.line <= 0 || place.column <= 0) return;
  d->line = place.line;
  d->column = place.column;
}

void DescriptionReader::add_note(RelatedPlace note) {
  Diagnostic* d = st_.diagnostics.last();
  if (d != nullptr && note.line > 0) d->related.push_back(std::move(note));
}

RelatedPlace DescriptionReader::record_note(int64_t cell) const {
  const uint8_t file = st_.cells.record_file(cell);
  if (file == 0) return {};
  return {st_.source_names[file], st_.cells.record_line(cell), st_.cells.record_column(cell),
          st_.cells.occupant(cell) + " holds cell " + std::to_string(cell)};
}

DescriptionReader::Next DescriptionReader::stop_at_taken_cell(DescriptionSource& source, int32_t code,
                                                              const std::string& what, int32_t position, int64_t cell) {
  const RelatedPlace holder = record_note(cell);
  stop(source, code,
       what + " at " + std::to_string(position) + " m falls into cell " + std::to_string(cell) + ", already taken by " +
           st_.cells.occupant(cell) + record_of(cell),
       position, 1);
  add_note(holder);
  return Next::kStop;
}

void DescriptionReader::note_placed(uint8_t kind, int32_t position) {
  st_.placed_elements.push_back({kind, current_file_, position, st_.place.line});
}

std::string DescriptionReader::record_of(int64_t cell) const {
  const uint8_t file = st_.cells.record_file(cell);
  if (file == 0) return "";
  return ", " + st_.source_names[file] + ":" + std::to_string(st_.cells.record_line(cell));
}

DescriptionReader::Next DescriptionReader::placed(DescriptionSource& source, const std::optional<Refusal>& refusal,
                                                  uint8_t kind, int32_t position) {
  if (refusal) {
    std::string message = refusal->message;
    if (refusal->taken_cell >= 0) message += record_of(refusal->taken_cell);
    const Next next = stop(source, refusal->code, message, position, 1);
    if (refusal->taken_cell >= 0) add_note(record_note(refusal->taken_cell));
    return next;
  }
  note_placed(kind, position);
  if (st_.error_code() > 0) {
    // A code 15 of the line part stops the train file at its first signal
    // or slowdown, which now is where it stands.
    source.remove();
    Diagnostic& kept = *st_.diagnostics.last_error();
    if (!kept.named_position) kept.named_position = kept.position;
    kept.position = position;
    return Next::kStop;
  }
  return Next::kGoOn;
}

// A keyword field after the dash rule: a field holding "-" is replaced by
// the next one, up to `limit` times. Returns false when the file ends (only
// when `end_test` is set; otherwise reading on past the end fails).
bool DescriptionReader::dash_rule(FieldReader& in, Field& field, int limit, bool end_test) {
  for (int i = 0; i < limit && contains(field.text, "-"); ++i) {
    field = in.read_text();
    if (end_test && in.at_end()) return false;
  }
  return true;
}

std::optional<Field> DescriptionReader::next_keyword(FieldReader& in, const DescriptionSource& source) {
  constexpr int kDashLimit = 2;
  if (in.at_end()) return std::nullopt;
  watch_.expect_keyword();
  Field field = in.read_text();
  if (in.at_end()) return std::nullopt;
  if (!dash_rule(in, field, kDashLimit, true)) return std::nullopt;
  in.start_record();
  at_field(source, field);
  watch_.keyword(field);
  return field;
}

DescriptionReader::Next DescriptionReader::read_records(RecordPart part, FieldReader& in, const Field& field) {
  bool matched = false;
  for (const RecordKeyword& keyword : record_keywords(part)) {
    if ((keyword.needs_plan && !st_.build_plan) || !holds_stems(keyword, field.text)) continue;
    const std::size_t words = word_count(keyword);
    for (std::size_t word = 0; word < words; ++word) {
      if (!holds_word(keyword, field.text, word)) continue;
      matched = true;
      watch_.record(keyword.name, field, keyword.values);
      const Next next = (this->*keyword.handler)(in, KeywordMatch{keyword, field, word});
      if (next != Next::kGoOn) return next;
    }
  }
  if (!matched) watch_.unmatched(field);
  return Next::kGoOn;
}

std::string DescriptionReader::stored_text(std::string_view text) {
  if (text.size() > 65535) throw RunTimeFailure("a text of more than 65535 characters");
  return std::string(text);
}

}  // namespace sb
