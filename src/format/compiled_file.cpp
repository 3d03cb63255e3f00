#include "format/compiled_file.h"

#include <algorithm>
#include <utility>

#include "base/failures.h"
#include "base/files.h"
#include "base/numbers.h"

namespace sb {
namespace {

bool ends_with(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::string_view base_name(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<CompiledKind> kind_from_name(std::string_view path) {
  const std::string_view name = base_name(path);
  if (ends_with(name, "_linea.dat")) return CompiledKind::kPlan;
  if (ends_with(name, ".sim")) return CompiledKind::kTable;
  if (ends_with(name, ".dat")) return CompiledKind::kCells;
  return std::nullopt;
}

namespace {

// Each kind and the word --kind gives it.
constexpr std::pair<CompiledKind, const char*> kKindWords[] = {
    {CompiledKind::kCells, "cells"}, {CompiledKind::kTable, "table"}, {CompiledKind::kPlan, "plan"}};

}  // namespace

std::optional<CompiledKind> kind_from_word(std::string_view word) {
  for (const auto& [kind, name] : kKindWords) {
    if (word == name) return kind;
  }
  return std::nullopt;
}

const char* kind_word(CompiledKind kind) {
  for (const auto& [k, name] : kKindWords) {
    if (k == kind) return name;
  }
  return "";
}

std::optional<std::pair<std::string, std::string>> names_from_file(std::string_view path) {
  std::string_view name = base_name(path);
  if (ends_with(name, "_linea.dat")) return std::nullopt;
  if (ends_with(name, ".dat") || ends_with(name, ".sim")) {
    name.remove_suffix(4);
  } else {
    return std::nullopt;
  }
  const std::size_t cut = name.rfind('_');
  if (cut == std::string_view::npos || cut == 0 || cut + 1 == name.size()) return std::nullopt;
  return std::make_pair(std::string(name.substr(0, cut)), std::string(name.substr(cut + 1)));
}

CompiledFile load_compiled(const std::string& path, CompiledKind kind) {
  CompiledFile f;
  f.path = path;
  f.kind = kind;
  if (kind == CompiledKind::kPlan) {
    f.plan = std::make_shared<LinePlanStream>(std::make_shared<FilePlanBytes>(path));
    f.size = f.plan->size();
    return f;
  }
  // No scenario makes a cell or table file this large: a larger one is
  // refused before it is read.
  const uint64_t limit = kind == CompiledKind::kCells ? kMaxCellFileBytes : kMaxTableFileBytes;
  std::string bytes;
  if (!read_file(path, bytes, limit)) throw FileSystemError("cannot read " + path + ": no such file");
  f.size = bytes.size();
  if (kind == CompiledKind::kCells) {
    f.cells = decode_track_cells(bytes);
  } else {
    f.table = decode_scenario_table(bytes);
  }
  return f;
}

std::string table_beside(const std::string& cells_path) {
  std::string_view name = base_name(cells_path);
  if (!ends_with(name, ".dat") || ends_with(name, "_linea.dat")) return "";
  return cells_path.substr(0, cells_path.size() - 4) + ".sim";
}

std::string cells_table_disagreement(const std::string& cells_path, std::size_t cell_records,
                                     const std::string& table_path, const TableRecords& table) {
  const int64_t route_length = table[kGeneralSlot].end;
  const int64_t expected = nearest(static_cast<double>(route_length + 7000) / 50.0) + 1;
  if (expected < 1 || static_cast<int64_t>(cell_records) == expected) return "";
  const auto held = static_cast<int64_t>(cell_records);
  return cells_path + ": offset " + std::to_string(std::min(held, expected) * static_cast<int64_t>(kCellBytes)) +
         ": error: the file holds " + std::to_string(held) + " cells, but the route length " +
         std::to_string(route_length) + " m in " + table_path + " makes " + std::to_string(expected) +
         " (cut short, or not the table of these cells?)";
}

}  // namespace sb
