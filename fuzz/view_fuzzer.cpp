// libFuzzer target of the view page writer: arbitrary bytes as a pair of
// description files (fuzz_input.h) through the whole compile in memory to
// the page model and the page; and the same bytes decoded as each of the
// three compiled files, whatever decodes drawn as a page from compiled
// files. A fatal check or a DecodeError is a legal outcome; a page that
// does not end as a page, or lets a text close a script element, aborts;
// a crash, a sanitizer report, any other exception, a timeout or a leak is
// a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "builtin/builtin_content.h"
#include "compile/compile.h"
#include "format/decoder.h"
#include "format/plan_stream.h"
#include "fuzz_input.h"
#include "view/page.h"
#include "commands/view_command.h"
#include "view/page_model_builder.h"

namespace {

// The page's own script elements and its data block: four closing tags.
void must_be_whole(const std::string& page, const char* what) {
  std::size_t closes = 0;
  for (std::size_t at = page.find("</script"); at != std::string::npos; at = page.find("</script", at + 1)) ++closes;
  const std::string_view end = "</html>\n";
  if (closes != 4 || page.size() < end.size() || page.compare(page.size() - end.size(), end.size(), end) != 0) {
    std::fprintf(stderr, "%s: the page is not whole (%zu script ends)\n", what, closes);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  {
    sb::fuzzing::SplitInput split = sb::fuzzing::split_input(input);
    sb::MemorySource line("line.txt", std::move(split.line));
    sb::MemorySource train("train.txt", std::move(split.train), split.train_exists);
    const sb::Compiled compiled =
        sb::compile_scenario({sb::kBuiltinRoute, sb::kBuiltinTrain, split.build_plan}, {line, train});
    if (!compiled.file_error) {
      must_be_whole(sb::view::render_page(sb::view::page_model_from_scenario(compiled.scenario, compiled.fatal,
                                                                             sb::printed_diagnostics())),
                    "description page");
    }
  }
  sb::view::DecodedScenario decoded;
  try {
    decoded.cells = sb::track_cells_of(sb::decode_track_cells(input));
  } catch (const sb::DecodeError&) {
  }
  try {
    decoded.table = sb::scenario_table(sb::decode_scenario_table(input));
  } catch (const sb::DecodeError&) {
  }
  try {
    decoded.plan = sb::plan_stream_of(std::string(input));
  } catch (const sb::DecodeError&) {
  }
  must_be_whole(sb::view::render_page(sb::view::page_model_from_compiled(decoded)), "compiled page");
  return 0;
}
