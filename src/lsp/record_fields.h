// What each value of a record means, for the editor's help: the record
// keywords themselves (their stems, spellings and value counts) come from
// reader/record_keywords; this adds the names, units and ranges of the
// values that follow each keyword.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "reader/record_keywords.h"

namespace sb::lsp {

struct ValueHelp {
  std::string_view name;   // as a snippet placeholder shows it
  std::string_view about;  // unit and range
};

// The values of the record a keyword row reads, in order; empty for a row
// this table does not know (a test keeps every row covered).
std::span<const ValueHelp> record_values(const RecordKeyword& keyword);
// What the record is, in a few words.
std::string_view record_what(const RecordKeyword& keyword);
// Whether the record's first value is a position along the line, and
// whether an element there takes the cell after it (point elements) or
// holds from the cell it falls into (stretch values).
enum class PositionKind { kNone, kStretch, kPoint };
PositionKind position_kind(const RecordKeyword& keyword);

// Markdown: the record's keyword and each value with its unit and range.
std::string record_help(const RecordKeyword& keyword);
// A snippet writing the keyword and a placeholder for each value.
std::string record_snippet(const RecordKeyword& keyword, std::string_view spelling);

}  // namespace sb::lsp
