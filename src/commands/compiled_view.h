// What the compiled files mean, for the commands that show them (inspect,
// diff): the kind of a file from its name, texts in UTF-8, cells and table
// slots described by meaning, and the line plan's extent and curve runs
// recovered from the turn of its step vector.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/text_format.h"
#include "format/decoder.h"
#include "format/plan_stream.h"
#include "track/check_codes.h"
#include "track/markers.h"
#include "format/layout.h"

namespace sb {


enum class CompiledKind { kCells, kTable, kPlan };

// `_linea.dat` a line plan, `.sim` a scenario table, any other `.dat` track cells.
std::optional<CompiledKind> kind_from_name(std::string_view path);
std::optional<CompiledKind> kind_from_word(std::string_view word);  // cells, table, plan
const char* kind_word(CompiledKind kind);

// Windows-1252 text in UTF-8. The five codes the code page leaves unused
// become the control characters of the same number, so nothing is lost.
std::string utf8_from_1252(std::string_view text);
// The same for a listing: control characters, the unused codes and the
// backslash are shown as \xNN and \\.
std::string printable_text(std::string_view text);



// Route and train from a compiled file's name: ROUTE_TRAIN.dat / .sim;
// nothing when the name does not follow the convention.
std::optional<std::pair<std::string, std::string>> names_from_file(std::string_view path);

const char* cell_kind_name(uint8_t kind);
// Whether the listing shows the cell without --all: an element, an
// approach mark, or the format marker of cell 1.
bool cell_holds_something(std::size_t index, const CellRecord& cell);
// The element of a cell by meaning ("signal: aspects 50/60/0, ..."); the
// table, when known, gives station names and board texts.
std::string cell_meaning(std::size_t index, const CellRecord& cell, const TableRecords* table);
// The same in pieces: the kind's name ("" for an empty cell) and its
// values as (label, value), e.g. ("aspects", "50/60/0").
struct CellMeaning {
  std::string name;
  std::vector<std::pair<std::string, std::string>> parts;
};
CellMeaning cell_meaning_parts(std::size_t index, const CellRecord& cell, const TableRecords* table);
std::string part_text(const std::pair<std::string, std::string>& part);  // "aspects 50/60/0"

enum class SlotRole { kEmpty, kStation, kBoard, kChainage, kGeneral, kRoute, kTrain };
SlotRole slot_role(int slot, const TableRecord& record);
const char* slot_role_name(SlotRole role);
// "slot 3 station LOMENZA", "slot 84 general"
std::string slot_title(int slot, const TableRecord& record);
// The slot's fields by meaning, as (label, value) in listing order.
std::vector<std::pair<std::string, std::string>> slot_fields(int slot, const TableRecord& record);

struct CurveRun {
  int64_t start = 0;   // metre the run starts from: its first turned step is metre start + 1
  int64_t length = 0;  // turned steps
  int klass = 0;       // 1..6; 0 when the turn matches no class exactly
  int side = 0;        // +1 right (d), -1 left (s)
  double curvature = 0.0;  // per metre, signed; the class's own value when it has one
  bool operator==(const CurveRun&) const = default;
};

inline constexpr double kClassCurvature[6] = {0.0001, 0.0002, 0.0004, 0.001, 0.002, 0.003};

struct PlanSummary {
  int64_t last_metre = -1;  // N: metres 0 .. N in the file
  int64_t computed_to = -1; // the last metre of the unbroken run of computed metres from 0
  double min_first = 0.0, max_first = 0.0, min_second = 0.0, max_second = 0.0;
  double total_length = 0.0;  // sum of the step lengths up to computed_to
  bool values_after_computed = false;  // a first coordinate past computed_to holds a value
  std::vector<CurveRun> curves;
};
// From the metres in order (`next` hands out the following one, false at
// the end); the same from a decoded plan or a streamed file.
PlanSummary summarise_plan(int64_t last_metre, const std::function<bool(PlanMetre&)>& next);
PlanSummary summarise_plan(const DecodedPlan& plan);
PlanSummary summarise_plan(const LinePlanStream& plan);
std::string curve_text(const CurveRun& run);  // "right class 6 from 100 m, 400 m long (curvature ...)"

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
