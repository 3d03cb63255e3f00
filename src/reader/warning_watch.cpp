#include "reader/warning_watch.h"

#include <algorithm>
#include <cctype>

#include "base/encoding.h"
#include "text/quoted_input.h"

namespace sb {
namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool is_header(std::string_view f) {
  return f.find('[') != std::string_view::npos && f.find(']') != std::string_view::npos;
}

// Whether a field read as a value was more likely meant as a keyword.
bool holds_keyword(std::string_view f) {
  if (is_header(f)) return true;
  const std::string l = lower(f);
  for (RecordPart part : {RecordPart::kLineGeneral, RecordPart::kLineMain, RecordPart::kTrain}) {
    for (const RecordKeyword& keyword : record_keywords(part)) {
      if (l.find(marker(keyword)) != std::string::npos) return true;
    }
  }
  return false;
}

std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// The spelling of `part` nearest to the field, when one is within two
// edits; the first of equally near ones.
std::string_view nearest_keyword(std::string_view field, RecordPart part) {
  const std::string l = lower(field);
  std::string_view best;
  std::size_t best_distance = 3;
  for (const RecordKeyword& keyword : record_keywords(part)) {
    for (std::string_view k : spellings(keyword)) {
      // Two edits change the length by two at most: longer fields are not
      // measured, which keeps the cost of a huge field linear.
      if (l.size() > k.size() + 2 || k.size() > l.size() + 2) continue;
      const std::size_t d = edit_distance(l, k);
      if (d < best_distance && d * 2 < k.size()) {
        best = k;
        best_distance = d;
      }
    }
  }
  return best;
}

// Whether the field holds the first word of a spelling of `part`.
bool names_a_record_of(std::string_view field, RecordPart part) {
  const std::string l = lower(field);
  for (const RecordKeyword& keyword : record_keywords(part)) {
    for (std::string_view k : spellings(keyword)) {
      if (l.find(k.substr(0, k.find(' '))) != std::string::npos) return true;
    }
  }
  return false;
}

// A record that is read only with the line plan, which is not built.
bool plan_record(std::string_view field, RecordPart part) {
  for (const RecordKeyword& keyword : record_keywords(part)) {
    if (keyword.needs_plan && matches(keyword, field)) return true;
  }
  return false;
}

std::string code(std::string_view keyword) {
  std::string s(1, '`');
  s.append(keyword);
  s += '`';
  return s;
}

std::string ordinal(int n) {
  const int tens = n % 100;
  const char* suffix = (tens >= 11 && tens <= 13) ? "th"
                       : n % 10 == 1              ? "st"
                       : n % 10 == 2              ? "nd"
                       : n % 10 == 3              ? "rd"
                                                  : "th";
  return std::to_string(n) + suffix;
}

bool valid_utf8_with_non_ascii(std::string_view s) {
  bool non_ascii = false;
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    if (b < 0x80) {
      n = 0;
    } else if (b >= 0xc2 && b <= 0xdf) {
      n = 1;
    } else if ((b & 0xf0) == 0xe0) {
      n = 2;
    } else if (b >= 0xf0 && b <= 0xf4) {
      n = 3;
    } else {
      return false;
    }
    if (i + n >= s.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80) return false;
    }
    non_ascii = non_ascii || n > 0;
    i += n + 1;
  }
  return non_ascii;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool is_digits(std::string_view s) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool is_whole_number(std::string_view s) {
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
  return is_digits(s);
}

}  // namespace

const std::vector<std::string_view>& warning_names() {
  static const std::vector<std::string_view> names = {"unknown-field",
                                                      "misplaced-record",
                                                      "extra-values",
                                                      "record-cut-short",
                                                      "missing-generale",
                                                      "first-not-at-zero",
                                                      "position-order",
                                                      "utf8-text",
                                                      "tab",
                                                      "missing-fine",
                                                      "after-fine",
                                                      "missing-record",
                                                      "negative-length",
                                                      "overlapping-curves",
                                                      "overlapping-montagna",
                                                      "curve-class",
                                                      "speed-rounded",
                                                      "station-in-tail",
                                                      "timetable-order",
                                                      "clock-range",
                                                      "open-quote",
                                                      "marks-overwritten",
                                                      "unannounced",
                                                      "slowdown-borrows-end",
                                                      "fraction",
                                                      "stop-cell-replaces",
                                                      "chainage-lost",
                                                      "speed-above-boards",
                                                      "same-station-name",
                                                      "board-chainage",
                                                      "chainage-unannounced",
                                                      "signal-in-platform",
                                                      "timetable-too-fast",
                                                      "notes-character"};
  return names;
}

bool opt_in_warning(std::string_view name) { return name == "marks-overwritten"; }

void WarningWatch::start_file(const std::string& name, RecordPart part) {
  file_ = name;
  part_ = part;
  record_keyword_.clear();
  record_line_ = 0;
  values_expected_ = 0;
  values_read_ = 0;
  record_cut_warned_ = false;
  values_shifted_ = false;
  last_unmatched_line_ = 0;
  extra_warned_line_ = 0;
  last_tab_line_ = 0;
  fine_line_ = 0;
  after_fine_warned_ = false;
  last_field_.clear();
  last_field_place_ = {};
  last_positions_.clear();
}

void WarningWatch::warn(FieldPlace place, std::string_view name, std::string message, bool lost_input) {
  Diagnostic d;
  d.lost_input = lost_input;
  d.severity = Severity::kWarning;
  d.file = file_;
  d.line = place.line;
  d.column = place.line > 0 ? place.column : 0;
  d.message = std::move(message);
  d.name = std::string(name);
  out_.add(std::move(d));
}

void WarningWatch::warn(FieldPlace place, std::string_view name, std::string message, RelatedPlace note,
                        bool lost_input) {
  warn(place, name, std::move(message), lost_input);
  if (note.line > 0) out_.last()->related.push_back(std::move(note));
}

void WarningWatch::field_read(std::string_view raw, FieldPlace place, bool /*number*/) {
  const int line = place.line;
  last_field_.assign(raw.substr(0, 64));
  last_field_place_ = place;
  if (raw.find('\t') != std::string_view::npos && line != last_tab_line_) {
    last_tab_line_ = line;
    warn(place, "tab",
         "a tab in " + quoted_input(raw) +
             ": only blanks and commas separate fields, so the tab stays part of the field; use blanks");
  }
  if (values_expected_ == 0) return;
  ++values_read_;
  // "6,100" where the record's fields are written ", 6": a position with a
  // thousands separator, read as two values.
  const std::string_view before = trimmed(last_value_);
  if (values_read_ == 2 && last_value_line_ == line && last_value_after_blank_ && is_digits(before) &&
      before.size() <= 3 && raw.size() == 3 && is_digits(raw) && raw.data()[-1] == ',' && raw.data()[-2] >= '0' &&
      raw.data()[-2] <= '9') {
    const std::string whole = std::string(before) + std::string(raw);
    warn(place, "fraction",
         code(record_keyword_) + " reads \"" + std::string(before) + "," + std::string(raw) + "\" as two values, " +
             std::string(before) + " and " + std::string(raw) + ": it looks like " + whole +
             " written with a thousands separator, and every value after it is shifted by one, so the record is "
             "left out; values are whole numbers without separators: write " +
             whole,
         true);
    values_shifted_ = true;
  }
  last_value_.assign(raw.substr(0, 32));
  // A value follows its record's keyword in the same bytes: the byte before
  // it is there to look at.
  last_value_after_blank_ = !raw.empty() && raw.data()[-1] == ' ';
  last_value_line_ = line;
  if (!record_cut_warned_ && line > record_line_ && holds_keyword(raw)) {
    record_cut_warned_ = true;
    // A keyword field that starts with no letter is most often a comment
    // that names a record.
    const std::string_view keyword_field = trimmed(record_field_);
    const bool comment = !keyword_field.empty() && keyword_field.front() != '[' &&
                         !std::isalpha(static_cast<unsigned char>(keyword_field.front()));
    warn(record_place_, "record-cut-short",
         code(record_keyword_) + " on line " + std::to_string(record_line_) + " has " +
             std::to_string(values_read_ - 1) + " of its " + std::to_string(values_expected_) + " values; line " +
             std::to_string(line) + " was read as its " + ordinal(values_read_) +
             " value, so the record there is lost" +
             (comment ? "; line " + std::to_string(record_line_) + ", " + quoted_input(keyword_field) +
                            ", looks like a comment, but it holds the keyword " + code(record_keyword_) +
                            " and is read as that record: a comment line holds a dash (`-`) and no keyword"
                      : std::string("; give the record all its values on its own line")),
         true);
  }
  if (values_read_ >= values_expected_) values_expected_ = 0;
}

void WarningWatch::keyword(const Field& field) {
  if (fine_line_ > 0 && !after_fine_warned_ && !field.text.empty()) {
    after_fine_warned_ = true;
    warn(field.place(), "after-fine",
         "this line comes after `[fine]` on line " + std::to_string(fine_line_) +
             ", and it and every line after it are still read; `[fine]` belongs at the very end",
         RelatedPlace{file_, fine_line_, fine_column_, "the `[fine]` line"});
  }
  if (contains_any_case(field.text, "[fine]") && fine_line_ == 0) {
    fine_line_ = field.line;
    fine_column_ = field.column;
  }
}

void WarningWatch::record(std::string_view keyword, const Field& field, int values) {
  record_keyword_ = std::string(keyword);
  record_field_.assign(field.text.substr(0, 64));
  record_line_ = field.line;
  record_place_ = field.place();
  values_expected_ = values;
  values_read_ = 0;
  record_cut_warned_ = false;
  values_shifted_ = false;
}

void WarningWatch::unmatched(const Field& field) {
  const std::string_view f = field.text;
  if (f.empty() || f.find('-') != std::string_view::npos || is_header(f)) return;
  if (field.line == last_unmatched_line_) return;
  last_unmatched_line_ = field.line;
  if (!curves_read_ && plan_record(f, part_)) return;
  if (field.line == record_line_) {
    if (extra_warned_line_ == field.line) return;
    extra_warned_line_ = field.line;
    // A record left out for its shifted values: its last value spilling
    // over is part of what was said.
    if (values_shifted_) return;
    // "3,5": digits, a comma and digits with no blank between them (the
    // records themselves put blanks after their commas). The field points
    // into the file's bytes, and a value stands before it on its line.
    const bool written_as_decimal = values_read_ > 0 && last_value_line_ == field.line &&
                                    is_whole_number(trimmed(last_value_)) && is_digits(f) && f.size() <= 3 &&
                                    f.data()[-1] == ',' && f.data()[-2] >= '0' && f.data()[-2] <= '9';
    if (written_as_decimal) {
      const std::string whole(trimmed(last_value_));
      warn(field.place(), "fraction",
           code(record_keyword_) + " reads " + whole + ", then \"" + std::string(f) + "\" after it: " + whole + "," +
               std::string(f) +
               " looks like a number with a decimal part written with a comma; the values are "
               "whole numbers, so this one is " +
               whole + " and \"" + std::string(f) + "\" is lost; write a whole number",
           true);
      return;
    }
    // A text ends at a comma unless it is in quotes: the rest of a name
    // written with a comma is lost.
    const char* text = record_keyword_ == "stazione"              ? "station name"
                       : record_keyword_ == "cartello_indicatore" ? "board text"
                                                                  : nullptr;
    if (text != nullptr && values_read_ > 0 && last_value_line_ == field.line) {
      const std::string stored = escaped_input(trimmed(last_value_));
      warn(field.place(), "extra-values",
           std::string("the ") + text + " is stored as \"" + stored +
               "\": a comma ends a text that is not in quotes, so " + quoted_input(f) +
               " after it is lost with the rest of its line; write the " + text +
               " without the comma, or in quotes (\"" + stored + ", " + escaped_input(f) + "\")",
           true);
      return;
    }
    warn(field.place(), "extra-values",
         code(record_keyword_) + " takes " + std::to_string(values_read_) + (values_read_ == 1 ? " value" : " values") +
             "; " + quoted_input(f) + " after " + (values_read_ == 1 ? "it" : "them") +
             " is read as a keyword field and lost; remove it, or the comma that split a value in two",
         true);
    return;
  }
  const char* where = nullptr;
  if (part_ == RecordPart::kLineGeneral) {
    if (names_a_record_of(f, RecordPart::kLineMain)) {
      where = "the main part, after the first section header that follows `[generale]`";
    }
  } else if (part_ == RecordPart::kLineMain) {
    if (names_a_record_of(f, RecordPart::kLineGeneral)) {
      where = "the general part, between `[generale]` and the next section header";
    } else if (names_a_record_of(f, RecordPart::kTrain)) {
      where = "the train description file";
    }
  } else if (names_a_record_of(f, RecordPart::kLineMain) || names_a_record_of(f, RecordPart::kLineGeneral)) {
    where = "the line description file";
  }
  if (where != nullptr) {
    warn(field.place(), "misplaced-record",
         quoted_input(f) + " is read only in " + where +
             "; here it is lost, with the values after it on its line; move it there",
         true);
    return;
  }
  const std::string_view suggestion = nearest_keyword(f, part_);
  std::string message = quoted_input(f) + " matches no record and is ignored, with the values after it on its line";
  if (!suggestion.empty()) {
    message += "; did you mean " + code(suggestion) + "?";
    if (lower(f) == suggestion) message += " (this keyword must be written in lower case)";
  }
  // A keyword one or two edits away: a record was meant, and is lost.
  warn(field.place(), "unknown-field", std::move(message), !suggestion.empty());
}

bool WarningWatch::position(std::string_view keyword, int64_t position, FieldPlace place, bool laid_in_order) {
  if (values_shifted_) return false;
  auto it = last_positions_.find(keyword);
  if (it != last_positions_.end() && position < it->second.position) {
    const FieldPlace earlier = it->second.place;
    const std::string before = std::to_string(it->second.position);
    std::string message = code(keyword) + " at " + std::to_string(position) + " m comes after one at " + before +
                          " m (line " + std::to_string(earlier.line) + "): ";
    if (!laid_in_order) {
      message += "records of one kind are read in rising position order";
    } else if (keyword == "curva") {
      // The plan is laid metre by metre from the start: what lies behind
      // it is not laid again.
      message += "the line plan is laid in rising order and already reaches " + before +
                 " m, so this curve turns only from there to its end, or not at all when it ends before; put the "
                 "curves in rising position order";
    } else {
      // Each value is laid from the cell after the last one laid up to the
      // next record's position: one lower than that lays a single cell.
      message += "each value is laid from where the record before it left off, so the value of line " +
                 std::to_string(earlier.line) + " holds only one 50 m cell at " + before +
                 " m and this one is laid from there on, not from " + std::to_string(position) +
                 " m; put the records in rising position order";
    }
    warn(place, "position-order", std::move(message),
         RelatedPlace{file_, earlier.line, earlier.column, "the " + code(keyword) + " at " + before + " m"},
         laid_in_order);
  }
  last_positions_[std::string(keyword)] = {position, place};
  return true;
}

void WarningWatch::stored_text(std::string_view what, std::string_view text, FieldPlace place) {
  const std::size_t breaks = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  bool control = false;
  for (unsigned char c : text) control = control || (c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c == 0x7F;
  if (breaks > 0 || control) {
    warn(place, "open-quote",
         std::string(what) + " " + quoted_input(text.substr(0, std::min<std::size_t>(text.find_first_of("\r\n"), 40))) +
             (breaks > 0 ? " runs on over " + std::to_string(breaks) + (breaks == 1 ? " line end" : " line ends") +
                               ": a `\"` opens a text that runs to the next `\"`, and every record it takes in is "
                               "lost; remove the stray `\"` or close it on its line"
                         : " holds control characters; write the text on its line in plain characters"),
         breaks > 0);
  }
  if (!valid_utf8_with_non_ascii(text)) return;
  warn(place, "utf8-text",
       std::string(what) + " \"" + escaped_input(text) +
           "\" is UTF-8 text; the simulator reads Windows-1252 and will show \"" + escaped_input(cp1252_to_utf8(text)) +
           "\"; save the file in Windows-1252");
}

void WarningWatch::end_of_file() {
  if (!contains_any_case(last_field_, "[fine]")) {
    warn(last_field_place_, "missing-fine",
         "the file does not end with a `[fine]` line; the last field of a file is never read as a keyword, so end "
         "every description file with `[fine]`");
  }
  for (const RecordKeyword& keyword : record_keywords(part_)) {
    if (keyword.stretch_value.empty() || last_positions_.count(keyword.name) > 0) continue;
    warn(FieldPlace{}, "missing-record",
         "no " + code(keyword.name) + " record: the " + std::string(keyword.stretch_value) +
             " is 0 along the whole line",
         keyword.missing_loses_input);
  }
}

void WarningWatch::missing_generale(bool empty) {
  warn(FieldPlace{}, "missing-generale",
       empty ? "the train description file is empty: the train has no stations and speed limit 0 everywhere"
             : "no `[generale]` field: nothing of the train description file is read, so the train has no "
               "stations and speed limit 0 everywhere",
       true);
}

}  // namespace sb
