#include "lsp/scenario_pair.h"

#include "reader/warning_watch.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "base/encoding.h"
#include "compile/root_causes.h"
#include "text/field_reader.h"

namespace sb::lsp {
namespace {

namespace fs = std::filesystem;

bool ends_with(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<std::optional<RecordPart>> parts_of(const TextLines& lines, FileRole role) {
  std::vector<std::optional<RecordPart>> parts(lines.count());
  std::optional<RecordPart> part;
  for (std::size_t i = 0; i < lines.count(); ++i) {
    const std::string_view first = line_fields(lines.line(i)).front().text;
    if (!part) {
      parts[i] = std::nullopt;
      if (contains_any_case(lines.line(i), "[generale]")) {
        part = role == FileRole::kLine ? RecordPart::kLineGeneral : RecordPart::kTrain;
      }
      continue;
    }
    if (*part == RecordPart::kLineGeneral && contains(first, "[") && contains(first, "]") && !first.starts_with("-")) {
      parts[i] = part;
      part = RecordPart::kLineMain;
      continue;
    }
    parts[i] = part;
  }
  return parts;
}

// The column a diagnostic gives (1-based, in bytes of the line the check
// read), 0 when it gives none.
template <typename D>
int column_of(const D& d) {
  if constexpr (requires { d.column; }) {
    return d.column;
  } else {
    return 0;
  }
}

// The byte of the editor's UTF-8 line that stands for byte `column` (from
// 0) of the line the check read: one Windows-1252 byte is one character.
std::size_t utf8_byte_of(std::string_view utf8_line, std::size_t column, bool read_as_1252) {
  if (!read_as_1252) return std::min(column, utf8_line.size());
  std::size_t byte = 0;
  for (std::size_t character = 0; character < column && byte < utf8_line.size(); ++character) {
    ++byte;
    while (byte < utf8_line.size() && (static_cast<unsigned char>(utf8_line[byte]) & 0xC0) == 0x80) ++byte;
  }
  return byte;
}

// The field a diagnostic is about: the one its column points into; without
// a column its position value when it has one, otherwise the keyword.
void place_on_field(Finding& f, std::string_view line, bool read_as_1252) {
  const std::vector<LineField> fields = line_fields(line);
  const LineField* field = &fields.front();
  if (const int column = column_of(f.diagnostic); column > 0) {
    const std::size_t byte = utf8_byte_of(line, static_cast<std::size_t>(column - 1), read_as_1252);
    std::size_t index = 0;
    for (std::size_t i = 0; i < byte && i < line.size(); ++i) index += line[i] == ',' ? 1 : 0;
    field = &fields[std::min(index, fields.size() - 1)];
  } else if (f.diagnostic.position && fields.size() > 1 && !fields[1].text.empty()) {
    field = &fields[1];
  }
  if (field->text.empty()) {
    f.begin = 0;
    f.end = line.size();
  } else {
    f.begin = field->begin;
    f.end = field->end;
  }
}

// The places a diagnostic names as related (the record that holds a cell,
// the earlier record of a pair); ", FILE:LINE" at the end of a message
// names the other record of a collision too.
template <typename D>
void add_related_places(const D& d, Finding& f, const std::array<PairFile, 2>& files) {
  if constexpr (requires { d.related; }) {
    for (const auto& place : d.related) {
      for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i].path.empty() && files[i].path == place.file && place.line > 0) {
          f.related.push_back({i, place.line, display_utf8(place.message)});
        }
      }
    }
  }
}

// ", FILE:LINE" at the end of a message names the other record of a
// collision.
std::optional<Finding::Related> related_record(const std::string& message, const std::array<PairFile, 2>& files) {
  const std::size_t comma = message.rfind(", ");
  const std::size_t colon = message.rfind(':');
  if (comma == std::string::npos || colon == std::string::npos || colon < comma) return std::nullopt;
  const std::string name = message.substr(comma + 2, colon - comma - 2);
  int line = 0;
  const char* first = message.data() + colon + 1;
  const char* last = message.data() + message.size();
  const auto [ptr, ec] = std::from_chars(first, last, line);
  if (ec != std::errc{} || ptr != last || line <= 0) return std::nullopt;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files[i].path == name) return Finding::Related{i, line, "the other record"};
  }
  return std::nullopt;
}

}  // namespace

std::optional<NamedFile> name_by_rule(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  if (ends_with(name, "_linea.txt") && name.size() > 10) {
    return NamedFile{FileRole::kLine, name.substr(0, name.size() - 10), {}};
  }
  if (ends_with(name, "-.txt")) {
    const std::string stem = name.substr(0, name.size() - 5);
    const std::size_t underscore = stem.rfind('_');
    if (underscore != std::string::npos && underscore > 0 && underscore + 1 < stem.size()) {
      return NamedFile{FileRole::kTrain, stem.substr(0, underscore), stem.substr(underscore + 1)};
    }
  }
  return std::nullopt;
}

std::string partner_by_rule(const std::string& path) {
  const std::optional<NamedFile> named = name_by_rule(path);
  if (!named) return {};
  const fs::path dir = fs::path(path).parent_path();
  if (named->role == FileRole::kTrain) return (dir / (named->route + "_linea.txt")).string();
  std::vector<std::string> trains;
  std::error_code ec;
  for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const std::optional<NamedFile> other = name_by_rule(name);
    if (other && other->role == FileRole::kTrain && other->route == named->route) {
      trains.push_back((dir / name).string());
    }
  }
  std::sort(trains.begin(), trains.end());
  return trains.empty() ? std::string() : trains.front();
}

std::string path_of_uri(const std::string& uri) {
  std::string_view rest = uri;
  if (rest.starts_with("file://")) rest.remove_prefix(7);
  std::string path;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && hex_value(rest[i + 1]) >= 0 && hex_value(rest[i + 2]) >= 0) {
      path += static_cast<char>(hex_value(rest[i + 1]) * 16 + hex_value(rest[i + 2]));
      i += 2;
    } else {
      path += rest[i];
    }
  }
  return path;
}

std::string uri_of_path(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      uri += ch;
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

CheckedPair check_pair(std::array<PairFile, 2> files, std::size_t max_errors) {
  CheckedPair pair;
  pair.files = std::move(files);
  pair.parts[0] = parts_of(pair.files[0].lines, FileRole::kLine);
  pair.parts[1] = parts_of(pair.files[1].lines, FileRole::kTrain);

  CheckRequest request;
  const std::optional<NamedFile> line_name = name_by_rule(pair.files[0].path);
  const std::optional<NamedFile> train_name = name_by_rule(pair.files[1].path);
  const std::string route = line_name ? line_name->route : train_name ? train_name->route : "check";
  const std::string train = train_name ? train_name->train : "0";
  request.compile = {utf8_to_1252(route).value_or("check"), utf8_to_1252(train).value_or("0"), true};
  request.max_errors = std::max<std::size_t>(max_errors, 1);
  // The reader reads Windows-1252: the editor's UTF-8 text goes back into
  // the code page; a text the code page cannot hold is checked as it came.
  std::array<bool, 2> read_as_1252{};
  for (std::size_t i = 0; i < 2; ++i) {
    std::optional<std::string> bytes = utf8_to_1252(pair.files[i].lines.text());
    read_as_1252[i] = bytes.has_value();
    CheckInput& input = i == 0 ? request.line : request.train;
    input = {pair.files[i].path, bytes ? std::move(*bytes) : pair.files[i].lines.text(), pair.files[i].exists};
  }
  pair.result = check_scenario(request);
  const Diagnostics& diagnostics = pair.result->diagnostics;

  auto file_index = [&](const std::string& name) -> std::size_t {
    return !pair.files[1].path.empty() && name == pair.files[1].path ? 1 : 0;
  };
  auto add = [&](const Diagnostic& d, bool root_cause) {
    Finding f;
    f.file = file_index(d.file);
    f.line = d.file.empty() ? 0 : d.line;
    // A file that is not there shows nothing: its finding goes to the other.
    if (pair.files[f.file].path.empty()) {
      f.file = 1 - f.file;
      f.line = 0;
    }
    f.diagnostic = d;
    f.diagnostic.message = display_utf8(d.message);
    f.root_cause = root_cause;
    const TextLines& lines = pair.files[f.file].lines;
    if (f.line > 0) {
      place_on_field(f, lines.line(static_cast<std::size_t>(f.line - 1)), read_as_1252[f.file]);
    } else {
      f.end = lines.line(0).size();
    }
    add_related_places(d, f, pair.files);
    if (f.related.empty()) {
      if (std::optional<Finding::Related> other = related_record(d.message, pair.files)) f.related.push_back(*other);
    }
    if (d.record_line > 0 && d.record_line != d.line) {
      f.related.push_back({f.file, d.record_line, "the record being read"});
    }
    pair.findings.push_back(std::move(f));
  };

  const std::vector<RootCause> causes = find_root_causes(request, diagnostics);
  std::vector<bool> folded(diagnostics.size(), false);
  for (const RootCause& cause : causes) {
    add(cause.cause, true);
    for (std::size_t i : cause.explains) folded[i] = true;
  }
  for (std::size_t i = 0; i < diagnostics.size(); ++i) {
    if (!folded[i] && !opt_in_warning(diagnostics.list()[i].name)) add(diagnostics.list()[i], false);
  }
  if (pair.result->file_error) {
    Diagnostic d;
    d.message = display_utf8(*pair.result->file_error);
    add(d, false);
  }
  if (pair.result->fatal) {
    Diagnostic d;
    d.code = fatal_code(*pair.result->fatal);
    d.name = "fatal";
    d.message = d.code != 0
                    ? "the compile would stop with the fatal check \" Errore n. " + std::to_string(d.code) + "\""
                    : "the reader built no track cells: the compile would stop";
    add(d, false);
  }
  return pair;
}

const RecordKeyword* record_of_line(const CheckedPair& pair, std::size_t file, std::size_t line) {
  if (file > 1 || line >= pair.parts[file].size() || !pair.parts[file][line]) return nullptr;
  const std::string_view keyword = line_fields(pair.files[file].lines.line(line)).front().text;
  if (keyword.empty() || contains(keyword, "-")) return nullptr;
  for (const RecordKeyword& row : record_keywords(*pair.parts[file][line])) {
    for (std::size_t w = 0; w < word_count(row); ++w) {
      if (matches(row, keyword, w)) return &row;
    }
  }
  return nullptr;
}

}  // namespace sb::lsp
