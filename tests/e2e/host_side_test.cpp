// The host's side of the library without a phone: error presentation and the answers to the
// library's consistency question.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "app/callbacks.h"
#include "app/diag_log.h"
#include "app/error_presentation.h"
#include "app/wizard_globals.h"
#include "ui/catalogue.h"
#include "updlib/error_registry.h"
#include "updlib/libif.h"

namespace {
namespace fs = std::filesystem;

class HostSide : public ::testing::Test {
 protected:
  void SetUp() override {
    m_previous = fs::current_path();
    m_dir = fs::temp_directory_path() / ("vq-host-" + std::to_string(::getpid()));
    fs::create_directories(m_dir);
    fs::current_path(m_dir);
    std::ofstream(kLogFileName, std::ios::trunc) << "";
    g_bLogEnabled = 1;
    updlib::CheckInterfaceVersion(1, 29);  // empties the slot lists
    g_strErrClass0 = "class 0 text";
    g_strErrClass1 = "class 1 text";
    g_strErrorLine1.Clear();
    g_strErrorLine2 = "second line";
  }
  void TearDown() override {
    g_bLogEnabled = 0;
    g_bManualMode = false;
    g_strErrorLine1.Clear();
    g_strErrorLine2.Clear();
    fs::current_path(m_previous);
  }
  static std::string Log() {
    std::ifstream in(kLogFileName, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  fs::path m_previous;
  fs::path m_dir;
};

struct ErrorCase {
  const char* name;
  std::int32_t code;
  const char* argTypes;
  std::int32_t first, second;
  const char* line;     // g_strErrorLine1 afterwards
  const char* logLine;  // nullptr: nothing logged
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class ShownError : public HostSide, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ShownError, NewestErrorBecomesTheFirstLine) {
  const ErrorCase& c = GetParam();
  updlib::AddError(0, 0x0101, "");  // an older entry that must not be shown
  updlib::AddError(0, c.code, c.argTypes, c.first, c.second);
  ShowLibraryError(0);
  EXPECT_EQ(g_strErrorLine1.Get(), c.line);
  EXPECT_EQ(g_strErrorLine2.Get(), "second line");
  if (c.logLine != nullptr) {
    EXPECT_NE(Log().find(c.logLine), std::string::npos) << Log();
  } else {
    EXPECT_EQ(Log(), "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ShownError,
    ::testing::Values(
        ErrorCase{"ClassText", 0x0605, "", 0, 0, "class 1 text", "Lib Error 605: Error on waiting for Flash-Code\r\n"},
        ErrorCase{"NoClassShowsCodeAndMessage", 0x0200, "", 0, 0, "200 No version number of Serial Low-DLL available",
                  "Lib Error 200: No version number of Serial Low-DLL available\r\n"},
        ErrorCase{"ArgumentsFilledIntoTheLoggedMessage", 0x0A00, "dd", 4, 115200, "class 0 text",
                  "Opening Comport 4 with Speed 115200 Baud not possible"},
        // Mended: a code without a table row on an empty line would read as success.
        ErrorCase{"UnknownCodeOnAnEmptyLine", 0x7777, "", 0, 0, "Unknown Error Number 30583 occured", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostSide, UnknownCodeKeepsALineThatIsAlreadySet) {
  OnUpdateFailure(0);
  updlib::AddError(0, 0x7777, "");
  EXPECT_EQ(ShowLibraryError(0), "Unknown Error Number 30583 occured");
  EXPECT_EQ(g_strErrorLine1.Get(), "unknown update error occured");
}

TEST_F(HostSide, FormatTakesTextsAndIntegersApartAndNeverTrustsTheTemplate) {
  updlib::ErrorEntry entry;
  std::strcpy(entry.argTypes, "dSx");
  entry.intArgs[0] = 7;
  entry.intArgs[1] = 0x2A;
  std::strcpy(entry.textArgs[0], "COM3");
  EXPECT_EQ(FormatErrorMessage("a %d b %s c %lX d %% e", entry), "a 7 b COM3 c 2A d %% e");
  // The letters decide what each conversion takes: a text under "%d" prints 0; more conversions
  // than letters print 0; a "*" width is dropped and "%n" writes nothing.
  EXPECT_EQ(FormatErrorMessage("%d %d %d %*d%n!", entry), "7 0 42 0!");
  std::string longText(3000, 'x');
  EXPECT_EQ(FormatErrorMessage(longText.c_str(), entry).size(), kErrorMessageSize - 1);
}

updlib::SwInfo Info(const char* productType) {
  updlib::SwInfo info{};
  std::memcpy(info.productType, productType, std::min(std::strlen(productType), sizeof info.productType));
  std::strcpy(info.svn, "SVN: 22");
  std::strcpy(info.compileDate, "15.06.05");
  return info;
}

TEST_F(HostSide, OnlyABlankPhoneInTheManualStartIsAcceptedDespiteAMismatch) {
  const updlib::SwInfo file = Info("VQ20");
  const updlib::SwInfo blank = Info("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF");
  const updlib::SwInfo other = Info("VQ2X");
  struct {
    bool manual;
    const updlib::SwInfo* phone;
    std::uint16_t reason;
    int result;
  } cases[] = {{true, &blank, 1, 1}, {false, &blank, 1, 0}, {true, &other, 1, 0},
               {true, &blank, 2, 0}, {true, &blank, 4, 0}, {true, &blank, 6, 0}, {true, &blank, 3, 0}};
  for (const auto& c : cases) {
    g_bManualMode = c.manual;
    EXPECT_EQ(OnConsistencyProblem(0, c.phone, &file, c.reason), c.result) << c.manual << " " << c.reason;
  }
  EXPECT_NE(Log().find("You are trying to update a SW for a VQ20 into a VQ2X\r\n"), std::string::npos);
  EXPECT_NE(Log().find("Default Consistence Problem :\r\nSW Type VQ20 with Version SVN: 22;"), std::string::npos);
}

}  // namespace
