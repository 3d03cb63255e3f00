// libFuzzer target: arbitrary bytes decoded as each of the three compiled
// files. A DecodeError is a legal outcome; whatever decodes must write back
// to the very same bytes, and must survive the listing's reading of it
// (cells and slots by meaning, the plan's extent and curve runs). A
// mismatch aborts; a crash, a sanitizer report, any other exception, a
// timeout or a leak is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "format/compiled_file.h"
#include "format/compiled_meaning.h"
#include "format/plan_summary.h"
#include "base/encoding.h"
#include "base/text_format.h"
#include "format/line_plan_file.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"
#include "format/decoder.h"

namespace {

void must_be_same(const std::string& written, std::string_view input, const char* kind) {
  if (written != input) {
    std::fprintf(stderr, "%s: decoding and writing again changed the bytes\n", kind);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::optional<sb::TableRecords> table;
  try {
    table = sb::decode_scenario_table(input);
    sb::StringSink sink;
    sb::write_scenario_table(*table, sink);
    must_be_same(sink.bytes, input, "scenario table");
    for (int s = 0; s < sb::kTableSlots; ++s) (void)sb::slot_fields(s, (*table)[static_cast<std::size_t>(s)]);
  } catch (const sb::DecodeError&) {
  }
  try {
    const auto cells = sb::decode_track_cells(input);
    sb::StringSink sink;
    sb::write_cell_records(cells, sink);
    must_be_same(sink.bytes, input, "track cells");
    for (std::size_t i = 0; i < cells.size(); ++i)
      (void)sb::cell_meaning(i, sb::track_cell(cells[i]), table ? &*table : nullptr);
  } catch (const sb::DecodeError&) {
  }
  try {
    const sb::DecodedPlan plan = sb::decode_line_plan(input);
    sb::StringSink sink;
    sb::encode_line_plan(plan, sink);
    must_be_same(sink.bytes, input, "line plan");
    const sb::PlanSummary summary = sb::summarise_plan(plan);
    for (const sb::CurveRun& run : summary.curves) (void)sb::curve_text(run);
  } catch (const sb::DecodeError&) {
  }
  return 0;
}
