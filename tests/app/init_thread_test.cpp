// The initialisation worker against real packages: its pair, error lines and log line for each
// way it ends.
#include <string>

#include <gtest/gtest.h>

#include "app/diag_log.h"
#include "app/wizard_globals.h"
#include "platform/gui/resources.h"
#include "tests/app/wizard_fixture.h"
#include "ui/catalogue.h"
#include "ui/resource_ids.h"

namespace {

using apptest::PackagedFile;
using apptest::ReadLog;
using apptest::ScopedEnv;

class InitThread : public apptest::WizardTest {
 protected:
  // Whether the log holds text behind its first `from` bytes.
  static bool Logged(const std::string& text, std::size_t from = 0) {
    return ReadLog().find(text, from) != std::string::npos;
  }
};

struct FailureCase {
  const char* what;
  std::filesystem::path package;
  const char* ports;
  const std::string* line1;
  const char* logLine;
};

TEST_F(InitThread, FailuresEndOnTheResultScreenWithTheirTextAndLogLine) {
  const FailureCase cases[] = {
      {"program without package", PackagedFile().parent_path() / "updater-stub", "COM1=/dev/null",
       &g_strErrReadSwMemory, "Error Initialisation (Decoding Update File).\r\n"},
      {"tampered package", apptest::TamperedPackage(), "COM1=/dev/null", &g_strErrReadSwMemory,
       "Error Initialisation (Decoding Update File).\r\n"},
      {"no serial port", PackagedFile(), "", &g_strErrNoComPort, "Error Initialisation (No Com-Port in Registry).\r\n"},
      {"only ports of other drivers", PackagedFile(), "\\Device\\VCP0:COM5=/dev/null", &g_strErrNoComPort,
       "Error Initialisation (No Com-Port in Registry).\r\n"},
  };
  for (const FailureCase& c : cases) {
    ScopedEnv ports("VQ_COMPORTS", c.ports);
    const std::size_t before = ReadLog().size();
    RunInitialisation(c.package);
    EXPECT_EQ(g_nWizardState, STATE_RESULT) << c.what;
    EXPECT_EQ(g_strErrorLine1.Get(), *c.line1) << c.what;
    EXPECT_TRUE(g_strErrorLine2.IsEmpty()) << c.what;
    EXPECT_TRUE(Logged("\r\nBegin Initialisation.\r\n", before)) << c.what;
    EXPECT_TRUE(Logged(c.logLine, before)) << c.what;
    EXPECT_FALSE(Logged("End Initialisation.", before)) << c.what;
  }
  Screenshot("result_init_error_en");
}

TEST_F(InitThread, SuccessReadsTheSoftwareFindsThePortsAndShowsTheLanguageScreen) {
  Initialise();
  EXPECT_EQ(g_nWizardState, STATE_LANGUAGE);
  EXPECT_TRUE(g_strErrorLine1.IsEmpty());
  EXPECT_TRUE(g_bSwInfoValid);
  EXPECT_STREQ(g_SwInfoPackage.productType, "VQ20");
  EXPECT_EQ(g_nPortCount, 3);
  EXPECT_EQ(AvailablePorts(), (std::array<bool, 12>{true, false, true, false, false, false, false, false, false, true}));
  const std::string log = ReadLog();
  for (const char* line : {"Library Version (whole wrapper)\t2.30\r\n", "Information About Software:\r\n",
                           "Projekt Name VQ20PRJ\r\nProduct Type VQ20\r\nProduct Version SVN: 21\r\n",
                           "Compile Date / Time:  18.11.02 / 12:34:56\r\n", "\r\nLooking for COM-Ports\r\n",
                           "3.RegName: \\Device\\Serial2  Value:COM10\r\nCOM10 identified\r\n",
                           "Found 3 COM-Port(s).\r\nEnd Initialisation.\r\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
  // The VQ20 picture, and the package's software in the status bar.
  const gui::ResourceData vq20 = gui::FindResource(gui::RT_BITMAP, ui::IDB_PHONE_VQ20);
  EXPECT_EQ(static_cast<const void*>(view->PhonePicture().GetColorTable()), vq20.data + 40);
  Screenshot("language_en");
  CStatusBar& bar = frame->StatusBar();
  EXPECT_NE(bar.GetPaneText(0).find("VQ20"), std::string::npos);
  EXPECT_NE(bar.GetPaneText(1).find("SVN: 21"), std::string::npos);
  EXPECT_NE(bar.GetPaneText(2).find("18.11.02 / 12:34:56"), std::string::npos);
}

}  // namespace
