// A collection of diagnostics past its limits: what is kept, what is
// counted, and what the reader may still rely on (the last error's code,
// which the compiled files record, and the last diagnostic to amend).
#include "base/diagnostics.h"

#include <gtest/gtest.h>

namespace sb {
namespace {

Diagnostic error(int32_t code, std::optional<int32_t> position = std::nullopt) {
  Diagnostic d;
  d.code = code;
  d.position = position;
  d.message = "error " + std::to_string(code);
  return d;
}

Diagnostic warning(const std::string& name, bool lost_input = false) {
  Diagnostic d;
  d.severity = Severity::kWarning;
  d.name = name;
  d.lost_input = lost_input;
  d.message = "warning " + name;
  return d;
}

TEST(DiagnosticLimits, PastTheLimitsDiagnosticsAreCountedAndTheLastErrorStillCounts) {
  Diagnostics all({2, 1});
  all.add(error(5, 100));
  all.add(warning("tab"));
  all.add(error(6));
  all.add(warning("tab"));
  all.add(warning("unknown-field", true));
  all.add(error(15, 900));
  // Kept: the first two errors and the first warning, in order.
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all.list()[0].code, 5);
  EXPECT_EQ(all.list()[1].severity, Severity::kWarning);
  EXPECT_EQ(all.list()[2].code, 6);
  // Counted: every error found, and the warnings left out by name.
  EXPECT_EQ(all.error_count(), 3u);
  EXPECT_EQ(all.errors_left_out(), 1u);
  EXPECT_EQ(all.left_out_count(), 3u);
  EXPECT_EQ(all.warnings_left_out().at("tab").plain, 1u);
  EXPECT_EQ(all.warnings_left_out().at("unknown-field").lost_input, 1u);
  // The code the records hold is the last error's, kept or not.
  EXPECT_EQ(all.last_error_code(), 15);
  EXPECT_EQ(all.last_position(), 900);
  // The reader may still point the last error at its field: nothing kept
  // changes.
  ASSERT_NE(all.last_error(), nullptr);
  all.last_error()->line = 77;
  ASSERT_NE(all.last(), nullptr);
  all.last()->related.push_back({"f", 1, 1, "note"});
  for (const Diagnostic& d : all.list()) {
    EXPECT_NE(d.line, 77);
    EXPECT_TRUE(d.related.empty());
  }

  Diagnostics merged({50, 1000});
  merged.add_left_out(all);
  EXPECT_FALSE(merged.empty()) << "a collection that only counted is not empty";
  EXPECT_EQ(merged.left_out_count(), 3u);
  EXPECT_TRUE(merged.has_errors());
}

TEST(DiagnosticLimits, WithinTheLimitsTheLastOnesAreTheKeptOnes) {
  Diagnostics all({2, 2});
  all.add(error(5));
  all.add(warning("tab"));
  ASSERT_EQ(all.last(), &all.list().back());
  ASSERT_EQ(all.last_error(), &all.list().front());
  EXPECT_EQ(all.left_out_count(), 0u);
}

}  // namespace
}  // namespace sb
