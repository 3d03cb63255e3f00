// What the view page shows, gathered from a compiled scenario. The page
// writer knows nothing of the reader, the records or the compiled files:
// page_model_builder.h fills it from the scenario, whether read from
// descriptions or decoded from compiled files. Texts are single-byte
// Windows-1252 as the scenario keeps them; the page writer converts them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/cell_kinds.h"
#include "model/scenario_table.h"

namespace sb::view {

// Where a drawn thing came from in a description file.
struct SourceLine {
  std::string file;
  int line = 0;  // 1-based
};

// The kinds of drawn elements, as the page's data-kind attribute spells them.
using ElementKind = PageKind;
inline const char* kind_name(ElementKind kind) { return page_kind_info(kind).data_kind; }

struct Element {
  ElementKind kind = ElementKind::kSignal;
  int32_t cell = 0;                 // the track cell it stands in
  int32_t position = 0;             // metres along the route
  std::optional<int64_t> chainage;  // metres, where a chainage system covers the position
  std::string label;                // short name: station name, board text, "90/90/90"
  std::string summary;              // a signal's values in one line, for the list
  // The decoded values, in the order they are shown, in UTF-8.
  std::vector<std::pair<std::string, std::string>> values;
  std::optional<SourceLine> source;
};

struct Station {
  std::string name;
  int32_t position = 0;             // metres
  std::optional<int64_t> chainage;  // metres: the line's own reading there, where a system covers it
  int32_t time = 0;                 // seconds since midnight
  int32_t kind = 0;                 // the station kind code
  int32_t element = -1;             // index into PageModel::elements
};

struct Board {
  std::string text;
  int32_t position = 0;
  int32_t element = -1;
};

// The speed limit of one rank from `position` on, in km/h.
struct SpeedStep {
  int32_t position = 0;
  int32_t speed = 0;
};

// A slowdown as its record gave it: from `start` for `length` metres.
// Drawn from compiled files, the length is what the end cell tells, to
// within 25 m.
struct Slowdown {
  int32_t start = 0;   // metres
  int32_t length = 0;  // metres
  int32_t end = 0;     // start + length
  int32_t speed = 0;   // km/h
  int32_t element = -1;
};

// A curve of the line plan: from metre `start` on, `length` metres turned
// to one side. From descriptions, a curve record as read; from compiled
// files, a run of metres the plan turns alike.
struct Curve {
  int64_t start = 0;    // metres; the first turned metre is start + 1
  int64_t length = 0;   // metres
  int side = 0;         // +1 right, -1 left
  int klass = 0;        // 1..6; 0 when the turn matches no class
  double radius = 0.0;  // metres, 1 / curvature; infinite without a turn
  int32_t element = -1;
};

// A diagnostic as the terminal prints it, in its parts (commands/report.h
// gives them): "PLACE: SEVERITY: MESSAGE [TAG]" and its note lines.
struct DiagnosticNote {
  std::string place;  // "FILE:LINE:COLUMN"
  std::string file;
  int line = 0;
  std::string message;
};

struct Diagnostic {
  std::string severity;  // "error" or "warning", as printed
  std::string tag;       // "E16", "-Wname", "-Werror=name"; empty for a compiled file's problem
  std::string place;     // "FILE:LINE:COLUMN", "FILE" or "scenario-builder"
  std::string file;
  int line = 0;
  std::string message;
  std::vector<DiagnosticNote> notes;
  std::optional<int32_t> position;  // metres along the line, where one applies
  std::string source_line;          // the text of FILE:LINE (Windows-1252), where known
};

// How the build behind the page went.
struct BuildState {
  // Errors (failing warnings and a fatal check among them): nothing was
  // compiled from these descriptions.
  bool failed = false;
  int64_t errors = 0;
  int64_t warnings = 0;
  // A build of watch: its time ("14:02:31"); the compiled files of the
  // last good build stay when it failed. Empty from view.
  std::string time;
  // A good build of watch after failed ones: when the last of them failed.
  std::string failed_before;
};

struct PlanPoint {
  int64_t metre = 0;
  double x = 0.0;
  double y = 0.0;
};

// A driver document as the page shows it: fixed-width Windows-1252 lines
// ended by LF.
struct DocumentText {
  std::string title;  // "Timetable card"
  std::string file;   // "ROUTE_TRAIN_scheda_treno.txt", Windows-1252
  std::string text;
};

struct PageModel {
  // Drawn from description files (elements may carry their FILE:LINE), or
  // from compiled files alone (none do).
  bool from_descriptions = true;
  std::string route_name;
  std::string train_number;
  int32_t cell_count = 0;
  int32_t route_length = 0;  // metres
  // The line's chainage systems as the table holds them (ordered, a falling
  // system's reference 100 m on); has_chainage when any is set.
  std::array<ChainageSystem, 3> chainage_systems{};
  bool has_chainage = false;

  // One entry per track cell 0 .. cell_count.
  std::vector<int16_t> gradient;    // per mille (the stored value less 100)
  std::vector<uint8_t> speed_code;  // km/h / 5, the train's limit
  std::vector<uint8_t> adhesion;
  std::vector<uint8_t> montagna_type;

  std::vector<Element> elements;
  std::vector<Station> stations;
  std::vector<Board> boards;
  std::vector<SpeedStep> speed_steps[3];  // ranks A, B, C
  std::vector<Slowdown> slowdowns;
  std::vector<Curve> curves;     // in start order
  int64_t curves_not_shown = 0;  // past PageModelOptions::max_curves
  std::vector<Diagnostic> diagnostics;
  BuildState build;
  // Diagnostics the compile counted past its limits but did not keep.
  int64_t diagnostics_not_kept = 0;
  // Past PageModelOptions::max_cells: the track cells whose profile is not
  // drawn, and the elements they hold, counted only.
  int64_t cells_not_drawn = 0;
  int64_t elements_not_shown = 0;

  // Stored in the compiled data and computed again from route and train.
  int32_t route_check_stored = 0;
  int32_t route_check_computed = 0;
  int32_t cell_check_stored = 0;
  int32_t cell_check_computed = 0;

  // Why there is no plan to draw, when it is not simply that none was
  // built (Windows-1252).
  std::string plan_note;
  // The simplified line plan, in metre order; empty without a plan.
  std::vector<PlanPoint> plan;
  // The driver documents the descriptions make (none from compiled files).
  std::vector<DocumentText> documents;
  // Each element's plan position, parallel to `elements` (absent when the
  // plan does not reach it).
  std::vector<std::optional<std::pair<double, double>>> element_xy;

  // A page that a server hands out (watch --serve): the path of the event
  // stream it follows, and the number of the build it shows. When a later
  // build is announced the page loads itself again, keeping the element
  // picked and the map's view. Empty: a page on its own, which fetches
  // nothing.
  std::string live_events;
  int64_t live_build = 0;
};

}  // namespace sb::view
