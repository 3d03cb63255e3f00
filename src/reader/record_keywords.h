// The record keywords of the description files: one row per record, saying
// how a keyword field is matched to it, how many values follow and which
// handler of the reader reads them. The reader's dispatch, the warnings
// about keyword fields ("did you mean", misplaced records, records cut
// short) and the fuzz dictionary's keywords all come from these tables.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "text/field_reader.h"

namespace sb {

class DescriptionReader;
struct RecordKeyword;

// What a record handler tells the loop reading its part.
enum class ReadStep {
  kGoOn,     // read the next record
  kEndPart,  // the part ends here (code 15); its tails are still filled
  kStop,     // reading stops: nothing more is read or filled
};

// The stretches of the description files that read records, each against
// its own table.
enum class RecordPart : unsigned char {
  kLineGeneral,  // the line file from "[generale]" to the next section header
  kLineMain,     // the rest of the line file
  kTrain,        // the train file from "[generale]" on
};

enum class KeywordCase {
  kAny,        // "PENDENZA" is "pendenza"
  kAsWritten,  // only "progressiva" is "progressiva"
};

// A keyword field that matched a row.
struct KeywordMatch {
  const RecordKeyword& keyword;
  const Field& field;
  std::size_t word;  // which of the row's words the field holds (0 when it has none)
};

using RecordHandler = ReadStep (DescriptionReader::*)(FieldReader&, const KeywordMatch&);

struct RecordKeyword {
  // The record's name in messages, and what its positions are ordered by.
  std::string_view name{};
  // A field is this record when it holds every stem, compared as
  // `case_rule` says...
  std::array<std::string_view, 2> stems{};
  KeywordCase case_rule = KeywordCase::kAny;
  // ...and, when the row has words, one of them: the field is then the
  // record once for each word it holds, in this order.
  std::array<std::string_view, 3> words{};
  int values = 0;  // the value fields that follow the keyword
  RecordHandler handler = nullptr;
  bool needs_plan = false;  // read only when the line plan is built
  // The keyword as an author writes it: what "did you mean" offers and the
  // fuzz dictionary holds (none given: `name`). A field holding the first
  // word of one of them is taken for this record in the wrong part.
  std::array<std::string_view, 3> spellings{};
  // A field among a record's values that holds this, in any case, is taken
  // for a keyword that cut that record short (none given: the first stem).
  std::string_view marker{};
  // A value that holds from the record's position to the next record's:
  // what it is called in warnings, and whether a train file without such a
  // record loses what its author meant.
  std::string_view stretch_value{};
  bool missing_loses_input = false;
};

std::span<const RecordKeyword> record_keywords(RecordPart part);

// Whether `field` holds `text` as the case rule says.
inline bool holds(std::string_view field, std::string_view text, KeywordCase case_rule) {
  return case_rule == KeywordCase::kAny ? contains_any_case(field, text) : contains(field, text);
}
// Whether `field` holds every stem of the row (every row has one at least).
inline bool holds_stems(const RecordKeyword& keyword, std::string_view field) {
  return holds(field, keyword.stems[0], keyword.case_rule) &&
         (keyword.stems[1].empty() || holds(field, keyword.stems[1], keyword.case_rule));
}
// Whether `field`, holding the row's stems, holds its word number `word`
// (always, when the row has no words).
inline bool holds_word(const RecordKeyword& keyword, std::string_view field, std::size_t word) {
  return keyword.words[0].empty() || holds(field, keyword.words[word], keyword.case_rule);
}
// Whether `field` is the record `keyword`, holding its word number `word`.
inline bool matches(const RecordKeyword& keyword, std::string_view field, std::size_t word = 0) {
  return holds_stems(keyword, field) && holds_word(keyword, field, word);
}
// How many times a field is the row's record at most: once per word, or once.
constexpr std::size_t word_count(const RecordKeyword& keyword) {
  std::size_t n = 0;
  while (n < keyword.words.size() && !keyword.words[n].empty()) ++n;
  return n == 0 ? 1 : n;
}
// The row's spellings (its name when it gives none).
std::span<const std::string_view> spellings(const RecordKeyword& keyword);
std::string_view marker(const RecordKeyword& keyword);

}  // namespace sb
