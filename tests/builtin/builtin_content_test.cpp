#include "builtin/builtin_content.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/test_files.h"
#include "text/text_writer.h"

namespace sb {
namespace {

namespace fs = std::filesystem;

using test::golden;
using test::read_existing;

class BuiltinContentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.created());
    dir_ = tmp_.path().string();
    files_ = {dir_, "ValdraPCal-Dorvesa", "24317"};
  }

  test::TempDir tmp_{"sb_builtin_"};
  std::string dir_;
  ScenarioFiles files_;
};

long count_lines(const std::string& bytes) { return std::count(bytes.begin(), bytes.end(), '\n'); }

TEST_F(BuiltinContentTest, LineFileMatchesGolden) {
  write_line_description(files_);
  const std::string path = dir_ + "/ValdraPCal-Dorvesa_linea.txt";
  EXPECT_EQ(files_.line_description(), path);
  const std::string bytes = read_existing(path);
  EXPECT_EQ(bytes.size(), 3504u);
  EXPECT_EQ(count_lines(bytes), 86);
  EXPECT_EQ(bytes, golden("line_description.txt"));
}

TEST_F(BuiltinContentTest, TrainFileMatchesGolden) {
  write_train_description(files_);
  const std::string path = dir_ + "/ValdraPCal-Dorvesa_24317-.txt";
  EXPECT_EQ(files_.train_description(), path);
  const std::string bytes = read_existing(path);
  EXPECT_EQ(bytes.size(), 1962u);
  EXPECT_EQ(count_lines(bytes), 41);
  EXPECT_EQ(bytes, golden("train_description.txt"));
}

TEST_F(BuiltinContentTest, TrainNumberChangesOnlyTheName) {
  ScenarioFiles other = files_;
  other.train = "10999";
  write_line_description(other);
  write_train_description(other);
  EXPECT_EQ(other.line_description(), files_.line_description());
  EXPECT_EQ(read_existing(dir_ + "/ValdraPCal-Dorvesa_10999-.txt"), golden("train_description.txt"));
  EXPECT_EQ(read_existing(files_.line_description()), golden("line_description.txt"));
  EXPECT_FALSE(fs::exists(files_.train_description()));
}

TEST_F(BuiltinContentTest, EndMarkerClosesTheListAndIsNeverWritten) {
  EXPECT_EQ(builtin_line_lines().size(), 87u);
  EXPECT_EQ(builtin_line_lines().back(), kEndMarker);
  EXPECT_EQ(builtin_train_lines().size(), 42u);
  EXPECT_EQ(builtin_train_lines().back(), kEndMarker);
  write_line_description(files_);
  write_train_description(files_);
  for (const std::string& path : {files_.line_description(), files_.train_description()}) {
    const std::string bytes = read_existing(path);
    EXPECT_THAT(bytes, ::testing::Not(::testing::HasSubstr(kEndMarker))) << path;
    EXPECT_TRUE(bytes.ends_with("[fine]\r\n")) << path;
  }
}

}  // namespace
}  // namespace sb
