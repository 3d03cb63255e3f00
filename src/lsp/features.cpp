#include "lsp/features.h"

#include <charconv>
#include <string>

#include "base/encoding.h"
#include "base/numbers.h"
#include "format/compiled_meaning.h"
#include "format/layout.h"
#include "lsp/record_fields.h"
#include "model/chainage.h"

namespace sb::lsp {
namespace {

json position_json(const TextLines& lines, std::size_t line, std::size_t byte, PositionEncoding encoding) {
  return {{"line", line}, {"character", lines.column_of(line, byte, encoding)}};
}

json range_json(const TextLines& lines, std::size_t line, std::size_t begin, std::size_t end,
                PositionEncoding encoding) {
  return {{"start", position_json(lines, line, begin, encoding)}, {"end", position_json(lines, line, end, encoding)}};
}

json whole_line(const TextLines& lines, std::size_t line, PositionEncoding encoding) {
  return range_json(lines, line, 0, lines.line(line).size(), encoding);
}

// A value as the reader takes a position: a 32-bit whole number.
std::optional<int64_t> number_of(std::string_view text) {
  int32_t n = 0;
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc{} || ptr != text.data() + text.size()) return std::nullopt;
  return n;
}

// Which field of a line a byte stands in.
std::size_t field_at(const std::vector<LineField>& fields, std::string_view line, std::size_t byte) {
  std::size_t index = 0;
  for (std::size_t i = 0; i < byte && i < line.size(); ++i) index += line[i] == ',' ? 1 : 0;
  return std::min(index, fields.size() - 1);
}

std::string metres(int64_t m) { return std::to_string(m) + " m"; }

// The cell an element at `position` goes into, as its kind places it.
int64_t cell_of(PositionKind kind, int64_t position) {
  return kind == PositionKind::kPoint ? nearest(static_cast<double>(position) / 50.0 + 1.0)
                                      : nearest(static_cast<double>(position) / 50.0);
}

// The compiled cells the record on this line marked, with their meaning.
std::vector<std::string> placed_cells(const CheckedPair& pair, std::size_t file, int line) {
  std::vector<std::string> out;
  if (!pair.result || !pair.result->recovered) return out;
  const Scenario& scenario = pair.result->recovered->scenario;
  if (!scenario.cells.exists()) return out;
  const TableRecords table = table_records(scenario.table);
  for (int64_t i = 0; i < scenario.cells.size() && out.size() < 8; ++i) {
    if (scenario.cells.record_file(i) == file + 1 && scenario.cells.record_line(i) == line) {
      out.push_back("cell " + std::to_string(i) + ": " +
                    cell_meaning(static_cast<std::size_t>(i), scenario.cells.at(i), &table));
    }
  }
  return out;
}

std::string record_summary(const CheckedPair& pair, std::size_t file, std::size_t line, const RecordKeyword& keyword) {
  const std::vector<LineField> fields = line_fields(pair.files[file].lines.line(line));
  std::string out = "**" + std::string(keyword.name) + "** (" + std::string(record_what(keyword)) + ")";
  const PositionKind kind = position_kind(keyword);
  const std::optional<int64_t> position = fields.size() > 1 ? number_of(fields[1].text) : std::nullopt;
  if (kind != PositionKind::kNone && position) {
    const int64_t cell = cell_of(kind, *position);
    const int64_t stands_for = kind == PositionKind::kPoint ? (cell - 1) * 50 : cell * 50;
    out += " at " + metres(*position) + "\n\n";
    out += "- cell " + std::to_string(cell) + ", the 50 m from " + std::to_string(cell * 50 - 25) + " to " +
           std::to_string(cell * 50 + 25) + " m";
    if (kind == PositionKind::kPoint) {
      out +=
          " (an element goes into the cell after the one its position falls into: " + std::to_string(stands_for - 25) +
          " to " + std::to_string(stands_for + 25) + " m)";
    }
    out += "\n";
    if (pair.result && pair.result->recovered) {
      const TableRecords table = table_records(pair.result->recovered->scenario.table);
      out += "- " + chainage_note(table_chainage(&table, *position)) + "\n";
    }
  } else {
    out += "\n\n";
  }
  const std::vector<std::string> cells = placed_cells(pair, file, static_cast<int>(line + 1));
  if (!cells.empty()) {
    out += "\nIn the compiled track cells:\n";
    for (const std::string& c : cells) out += "- " + c + "\n";
  }
  return out;
}

const std::string_view kLineSections[] = {"[generale]", "[curve]",       "[pendenze]", "[montagne]",
                                          "[cartelli]", "[indicazioni]", "[fine]"};
const std::string_view kTrainSections[] = {"[generale]",      "[aderenze]", "[vel_limite]", "[stazioni]",
                                           "[rallentamenti]", "[segnali]",  "[codici]",     "[fine]"};

std::optional<std::string> suggestion_in(const std::string& message) {
  const std::string lead = "did you mean `";
  const std::size_t at = message.find(lead);
  if (at == std::string::npos) return std::nullopt;
  const std::size_t end = message.find('`', at + lead.size());
  if (end == std::string::npos) return std::nullopt;
  return message.substr(at + lead.size(), end - at - lead.size());
}

json diagnostic_json(const CheckedPair& pair, const Finding& f, PositionEncoding encoding) {
  const TextLines& lines = pair.files[f.file].lines;
  const std::size_t line = f.line > 0 ? static_cast<std::size_t>(f.line - 1) : 0;
  const Diagnostic& d = f.diagnostic;
  json out = {{"range", range_json(lines, line, f.begin, f.end, encoding)},
              {"severity", d.severity == Severity::kError || d.lost_input ? 1 : 2},
              {"source", "scenario-builder"},
              {"message", d.message}};
  if (f.root_cause) {
    out["code"] = "root-cause";
  } else if (d.severity == Severity::kWarning && !d.name.empty()) {
    out["code"] = d.name;
  } else if (d.code != 0) {
    out["code"] = d.code;
  }
  json related = json::array();
  for (const Finding::Related& r : f.related) {
    const TextLines& other = pair.files[r.file].lines;
    const std::size_t other_line = static_cast<std::size_t>(r.line - 1);
    const LineField first = line_fields(other.line(other_line)).front();
    related.push_back({{"location",
                        {{"uri", pair.files[r.file].uri},
                         {"range", range_json(other, other_line, first.begin, first.end, encoding)}}},
                       {"message", r.message}});
  }
  if (!related.empty()) out["relatedInformation"] = related;
  return out;
}

json text_edit(const TextLines& lines, std::size_t line, std::size_t begin, std::size_t end, std::string text,
               PositionEncoding encoding) {
  return {{"range", range_json(lines, line, begin, end, encoding)}, {"newText", std::move(text)}};
}

json quick_fix(const CheckedPair& pair, std::size_t file, std::string title, json edits, json diagnostic) {
  json action = {{"title", std::move(title)},
                 {"kind", "quickfix"},
                 {"isPreferred", true},
                 {"edit", {{"changes", {{pair.files[file].uri, std::move(edits)}}}}}};
  if (!diagnostic.is_null()) action["diagnostics"] = json::array({std::move(diagnostic)});
  return action;
}

}  // namespace

json diagnostics_of(const CheckedPair& pair, std::size_t file, PositionEncoding encoding) {
  json list = json::array();
  for (const Finding& f : pair.findings) {
    if (f.file == file) list.push_back(diagnostic_json(pair, f, encoding));
  }
  return list;
}

json hover_at(const CheckedPair& pair, std::size_t file, std::size_t line, std::size_t column,
              PositionEncoding encoding) {
  const TextLines& lines = pair.files[file].lines;
  if (line >= lines.count()) return nullptr;
  const RecordKeyword* keyword = record_of_line(pair, file, line);
  if (!keyword) return nullptr;
  const std::string_view text = lines.line(line);
  const std::vector<LineField> fields = line_fields(text);
  const std::size_t byte = lines.byte_of(line, column, encoding);
  const std::size_t index = field_at(fields, text, byte);
  std::string value;
  if (index == 0) {
    value = record_help(*keyword);
  } else {
    const std::span<const ValueHelp> values = record_values(*keyword);
    if (index <= values.size()) {
      value = "`" + std::string(values[index - 1].name) + "`: " + std::string(values[index - 1].about) + "\n\n";
    }
    value += record_summary(pair, file, line, *keyword);
  }
  return {{"contents", {{"kind", "markdown"}, {"value", value}}},
          {"range", range_json(lines, line, fields[index].begin, fields[index].end, encoding)}};
}

json completion_at(const CheckedPair& pair, std::size_t file, std::size_t line, std::size_t column,
                   PositionEncoding encoding) {
  json items = json::array();
  const TextLines& lines = pair.files[file].lines;
  if (line >= lines.count() + 1) return items;
  const std::string_view text = lines.line(line);
  const std::size_t byte = lines.byte_of(line, column, encoding);
  // Only the keyword field is completed: the cursor before the first comma.
  if (text.substr(0, byte).find(',') != std::string_view::npos) return items;
  std::size_t begin = 0;
  while (begin < byte && text[begin] == ' ') ++begin;
  const json range = range_json(lines, line, begin, byte, encoding);
  std::optional<RecordPart> part;
  if (line < pair.parts[file].size()) part = pair.parts[file][line];
  if (part) {
    // The line that ends the general part is read in it; a new record below
    // the header belongs to the main part.
    for (const RecordKeyword& row : record_keywords(*part)) {
      for (const std::string_view spelling : spellings(row)) {
        items.push_back({{"label", spelling},
                         {"kind", 14},
                         {"detail", std::to_string(row.values) + " values"},
                         {"documentation", {{"kind", "markdown"}, {"value", record_help(row)}}},
                         {"insertTextFormat", 2},
                         {"textEdit", {{"range", range}, {"newText", record_snippet(row, spelling)}}}});
      }
    }
  }
  for (const std::string_view header : file == 0 ? std::span<const std::string_view>(kLineSections)
                                                 : std::span<const std::string_view>(kTrainSections)) {
    items.push_back({{"label", header}, {"kind", 9}, {"textEdit", {{"range", range}, {"newText", header}}}});
  }
  return items;
}

json document_symbols(const CheckedPair& pair, std::size_t file, PositionEncoding encoding) {
  json symbols = json::array();
  json* section = nullptr;
  const TextLines& lines = pair.files[file].lines;
  for (std::size_t i = 0; i < lines.count(); ++i) {
    const std::vector<LineField> fields = line_fields(lines.line(i));
    const std::string_view first = fields.front().text;
    if (first.starts_with("[") && first.ends_with("]") && fields.size() == 1) {
      symbols.push_back({{"name", display_utf8(first)},
                         {"kind", 3},
                         {"range", whole_line(lines, i, encoding)},
                         {"selectionRange", whole_line(lines, i, encoding)},
                         {"children", json::array()}});
      section = &symbols.back();
      continue;
    }
    const RecordKeyword* keyword = record_of_line(pair, file, i);
    if (!keyword) continue;
    std::string name(keyword->name);
    if (keyword->name == "stazione" && fields.size() > 17) {
      name = display_utf8(fields[17].text);
    } else if (keyword->name == "cartello_indicatore" && fields.size() > 2) {
      name += " " + display_utf8(fields[2].text);
    }
    std::string detail;
    if (position_kind(*keyword) != PositionKind::kNone && fields.size() > 1)
      detail = display_utf8(fields[1].text) + " m";
    const json symbol = {{"name", name.empty() ? std::string(keyword->name) : name},
                         {"detail", detail},
                         {"kind", keyword->name == "stazione" ? 20 : 8},
                         {"range", whole_line(lines, i, encoding)},
                         {"selectionRange", range_json(lines, i, fields[0].begin, fields[0].end, encoding)}};
    if (section) {
      (*section)["children"].push_back(symbol);
      (*section)["range"]["end"] = position_json(lines, i, lines.line(i).size(), encoding);
    } else {
      symbols.push_back(symbol);
    }
  }
  return symbols;
}

json definition_at(const CheckedPair& pair, std::size_t file, std::size_t line, std::size_t,
                   PositionEncoding encoding) {
  const RecordKeyword* keyword = record_of_line(pair, file, line);
  if (!keyword) return nullptr;
  auto location = [&](std::size_t other_file, int other_line) -> json {
    const TextLines& lines = pair.files[other_file].lines;
    const std::size_t l = static_cast<std::size_t>(other_line - 1);
    const LineField first = line_fields(lines.line(l)).front();
    return {{"uri", pair.files[other_file].uri}, {"range", range_json(lines, l, first.begin, first.end, encoding)}};
  };
  // The other record of a collision reported on this line...
  for (const Finding& f : pair.findings) {
    if (f.file != file || f.line != static_cast<int>(line + 1)) continue;
    for (const Finding::Related& r : f.related) return location(r.file, r.line);
  }
  // ...or the record that marked the cell this element lands in.
  const std::vector<LineField> fields = line_fields(pair.files[file].lines.line(line));
  const PositionKind kind = position_kind(*keyword);
  const std::optional<int64_t> position = fields.size() > 1 ? number_of(fields[1].text) : std::nullopt;
  if (kind == PositionKind::kNone || !position || !pair.result || !pair.result->recovered) return nullptr;
  const TrackCells& cells = pair.result->recovered->scenario.cells;
  const int64_t cell = cell_of(kind, *position);
  if (!cells.contains(cell)) return nullptr;
  const uint8_t other_file = cells.record_file(cell);
  const int other_line = cells.record_line(cell);
  if (other_file < 1 || other_file > 2 || other_line <= 0) return nullptr;
  if (other_file - 1u == file && other_line == static_cast<int>(line + 1)) return nullptr;
  if (static_cast<std::size_t>(other_line) > pair.files[other_file - 1u].lines.count()) return nullptr;
  return location(other_file - 1u, other_line);
}

json code_actions(const CheckedPair& pair, std::size_t file, std::size_t first_line, std::size_t last_line,
                  PositionEncoding encoding) {
  json actions = json::array();
  const TextLines& lines = pair.files[file].lines;
  for (const Finding& f : pair.findings) {
    if (f.file != file || f.line <= 0) continue;
    const std::size_t line = static_cast<std::size_t>(f.line - 1);
    if (line < first_line || line > last_line || line >= lines.count()) continue;
    const std::vector<LineField> fields = line_fields(lines.line(line));
    const json diagnostic = diagnostic_json(pair, f, encoding);
    if (const std::optional<std::string> keyword = suggestion_in(f.diagnostic.message)) {
      actions.push_back(quick_fix(
          pair, file, "Replace `" + std::string(fields[0].text) + "` with `" + *keyword + "`",
          json::array({text_edit(lines, line, fields[0].begin, fields[0].end, *keyword, encoding)}), diagnostic));
    }
    if (f.diagnostic.severity == Severity::kError && f.diagnostic.code == 8 && fields.size() > 1) {
      if (const std::optional<int64_t> position = number_of(fields[1].text)) {
        const int64_t rounded = nearest(static_cast<double>(*position) / 50.0) * 50;
        actions.push_back(quick_fix(
            pair, file, "Round the station position to " + metres(rounded),
            json::array({text_edit(lines, line, fields[1].begin, fields[1].end, std::to_string(rounded), encoding)}),
            diagnostic));
      }
    }
  }
  // Tabs are not blanks to the reader.
  json tab_edits = json::array();
  for (std::size_t line = first_line; line <= last_line && line < lines.count(); ++line) {
    const std::string_view text = lines.line(line);
    for (std::size_t i = text.find('\t'); i != std::string_view::npos; i = text.find('\t', i + 1)) {
      tab_edits.push_back(text_edit(lines, line, i, i + 1, "  ", encoding));
    }
  }
  if (!tab_edits.empty()) {
    actions.push_back(quick_fix(pair, file, "Replace tabs with blanks", std::move(tab_edits), nullptr));
  }
  return actions;
}

}  // namespace sb::lsp
