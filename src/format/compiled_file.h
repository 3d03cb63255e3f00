// A compiled file found by name and read whole: which of the three kinds
// a file is, the route and train its name gives, and the checks that need
// a file beside it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "format/decoder.h"
#include "format/layout.h"
#include "format/plan_stream.h"

namespace sb {

enum class CompiledKind { kCells, kTable, kPlan };

// `_linea.dat` a line plan, `.sim` a scenario table, any other `.dat` track cells.
std::optional<CompiledKind> kind_from_name(std::string_view path);
std::optional<CompiledKind> kind_from_word(std::string_view word);  // cells, table, plan
const char* kind_word(CompiledKind kind);

// Route and train from a compiled file's name: ROUTE_TRAIN.dat / .sim;
// nothing when the name does not follow the convention.
std::optional<std::pair<std::string, std::string>> names_from_file(std::string_view path);

// The largest cell and table files read: a route of 1 000 km has 20 141
// cells (302 115 bytes); a table holds 87 slots of at most 34 + 65 535 bytes.
inline constexpr uint64_t kMaxCellFileBytes = uint64_t{64} << 20;
inline constexpr uint64_t kMaxTableFileBytes = uint64_t{8} << 20;

// One compiled file, read and decoded; only the member of its kind is filled.
struct CompiledFile {
  std::string path;
  CompiledKind kind = CompiledKind::kCells;
  std::size_t size = 0;
  std::vector<CellRecord> cells;
  TableRecords table{};
  std::shared_ptr<const LinePlanStream> plan;  // read from the file as it is listed
};
// Throws FileSystemError when the file cannot be read (a missing file
// included) and DecodeError when it is refused.
CompiledFile load_compiled(const std::string& path, CompiledKind kind);
// The scenario table file named like a track cell file (ROUTE_TRAIN.sim
// beside ROUTE_TRAIN.dat); "" when the name does not follow the convention.
std::string table_beside(const std::string& cells_path);

// "CELLS: offset N: error: ..." (the decoder's form) when the number of
// cells disagrees with the route length of the scenario table beside
// them (a file cut short, or a table of another scenario); "" when they
// agree.
std::string cells_table_disagreement(const std::string& cells_path, std::size_t cell_records,
                                     const std::string& table_path, const TableRecords& table);

}  // namespace sb
