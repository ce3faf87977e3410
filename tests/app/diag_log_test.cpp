// The diagnostic log: on only when ZelmTest.txt exists at start, emptied and headed then; the
// entries of each writer.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/diag_log.h"
#include "tests/app/wizard_fixture.h"

namespace {

using apptest::ReadLog;
using apptest::ScratchDir;

class DiagLog : public ::testing::Test {
 protected:
  void TearDown() override { g_bLogEnabled = 0; }
};

TEST_F(DiagLog, WithoutTheFileNothingIsWrittenAndNoFileIsMade) {
  ScratchDir dir(false);
  EXPECT_FALSE(OpenLogFile());
  g_bLogEnabled = 0;
  WriteLogEntry("entry");
  WriteTimedLogEntry("READY!!!");
  EXPECT_FALSE(std::filesystem::exists(kLogFileName));
}

TEST_F(DiagLog, AnExistingFileIsEmptiedAndStartsWithTheHeaderOfThisRun) {
  ScratchDir dir(true);
  ASSERT_TRUE(OpenLogFile());
  const std::string log = ReadLog();
  const std::string version = "VQ20/VQ2X UpdateTool Version Nr. 1.05\r\n";
  ASSERT_GT(log.size(), version.size() + 2);
  EXPECT_EQ(log.substr(log.size() - version.size() - 2), "\r\n" + version);
  // "Friday, December 11,  2026   06:19": the date line with English names.
  const std::string date = log.substr(0, log.size() - version.size() - 2);
  const std::size_t comma = date.find(", ");
  const std::size_t space = date.find(' ', comma + 2);
  ASSERT_NE(space, std::string::npos) << date;
  const std::string day = date.substr(0, comma);
  const std::string month = date.substr(comma + 2, space - comma - 2);
  EXPECT_NE(std::string(" Sunday Monday Tuesday Wednesday Thursday Friday Saturday ").find(" " + day + " "),
            std::string::npos);
  EXPECT_NE(std::string(" January February March April May June July August September October November December ")
                .find(" " + month + " "),
            std::string::npos);
  EXPECT_TRUE(apptest::MatchesWithDigits(date.substr(space), " ##,  ####   ##:##")) << date;
}

TEST_F(DiagLog, HeaderTimeHasEnglishNamesAndItsSpacing) {
  EXPECT_EQ(FormatLogHeaderTime({2026, 12, 5, 4, 7, 9, 0}), "Friday, December 04,  2026   07:09");
  EXPECT_EQ(FormatLogHeaderTime({2002, 1, 0, 20, 23, 59, 0}), "Sunday, January 20,  2002   23:59");
}

TEST_F(DiagLog, EntriesOfEachWriter) {
  ScratchDir dir(true);
  ASSERT_TRUE(OpenLogFile());
  g_bLogEnabled = 1;
  const std::size_t headerLength = ReadLog().size();
  WriteLogEntry("plain");
  AppendLog("Found %d COM-Port(s).\r\n", 2);
  AppendLog("%s", ".");
  AppendLogText("100% as the phone said\r\n");
  WriteTimedLogEntry("READY!!!");
  const std::string entries = ReadLog().substr(headerLength);
  EXPECT_TRUE(apptest::MatchesWithDigits(
      entries, "plain\r\nFound 2 COM-Port(s).\r\n.100% as the phone said\r\n\r\n##:##:## READY!!!\r\n"))
      << entries;
}

TEST_F(DiagLog, OnlyTheAppendingEntriesMakeTheFileAgainWhenItHasGone) {
  ScratchDir dir(true);
  ASSERT_TRUE(OpenLogFile());
  g_bLogEnabled = 1;
  std::filesystem::remove(kLogFileName);
  WriteLogEntry("lost");
  WriteTimedLogEntry("lost too");
  EXPECT_FALSE(std::filesystem::exists(kLogFileName));
  AppendLog("End Initialisation.\r\n");
  EXPECT_EQ(ReadLog(), "End Initialisation.\r\n");
}

TEST_F(DiagLog, PlainEntriesNeedTheLogSwitchedOn) {
  ScratchDir dir(true);
  ASSERT_TRUE(OpenLogFile());
  const std::string header = ReadLog();
  g_bLogEnabled = 0;
  WriteLogEntry("not written");
  EXPECT_EQ(ReadLog(), header);
}

}  // namespace
