// The output set: a positioned output stays open while the outputs after
// it are added and written, as the line plan's writer thread needs.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "base/files.h"
#include "support/test_files.h"

namespace sb {
namespace {

using test::read_bytes;
using test::TempDir;

TEST(OutputSet, PositionedOutputIsWrittenWhileLaterOutputsAreAdded) {
  const TempDir dir;
  ASSERT_TRUE(dir.created());
  const std::string plan = (dir.path() / "plan.dat").string();
  const std::string table = (dir.path() / "table.sim").string();
  const std::string cells = (dir.path() / "cells.dat").string();

  OutputSet outputs;
  PositionedSink& positioned = outputs.add_positioned(plan);
  positioned.expect_size(8);
  positioned.write_at(4, "EFGH", 4);
  std::thread writer([&] { positioned.write_at(0, "ABCD", 4); });
  outputs.add(table, "table");
  outputs.add(cells).write("cells", 5);
  writer.join();
  positioned.write_at(2, "cd", 2);
  outputs.commit();

  EXPECT_EQ(read_bytes(plan), "ABcdEFGH");
  EXPECT_EQ(read_bytes(table), "table");
  EXPECT_EQ(read_bytes(cells), "cells");
}

}  // namespace
}  // namespace sb
