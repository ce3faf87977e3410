// The self-contained updater as users run it: vqupdate with a package appended by vqpkg. It
// starts, finds its package and the ports, and stops on the language screen; a second start ends
// at once; without a package it ends its initialisation with the package error.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/app/wizard_fixture.h"

namespace {

namespace fs = std::filesystem;
using apptest::ReadLog;
using apptest::ScratchDir;

fs::path PackagedUpdater() {
  static const fs::path updater = [] {
    const fs::path out = apptest::PackagedFile().parent_path() / "vqupdate-with-package";
    const fs::path xbi = apptest::PackagedFile().parent_path() / "phone_software.xbi";
    EXPECT_TRUE(apptest::Run(std::string(VQPKG_PATH) + " build --updater " + VQUPDATE_PATH + " --xbi " + xbi.string() +
                             " --out " + out.string() + " > /dev/null"));
    fs::permissions(out, fs::perms::owner_all, fs::perm_options::add);
    return out;
  }();
  return updater;
}

// A run of the program in the current directory; stopped at the end of the scope.
class Updater {
 public:
  Updater(const fs::path& program, const char* locale) {
    m_pid = ::fork();
    if (m_pid == 0) {
      ::setenv("LC_ALL", locale, 1);
      ::setenv("VQ_COMPORTS", "COM2=/dev/null", 1);
      ::setenv("XDG_RUNTIME_DIR", fs::current_path().c_str(), 1);  // its own single-instance lock
      ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~Updater() { Stop(); }
  // Waits for the program to end on its own; its exit code, -1 on a time-out.
  int WaitForExit(int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
  }
  void Stop() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
};

bool WaitForLog(const std::string& text, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 100) {
    if (ReadLog().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

TEST(UpdaterProcess, StartsAndInitialisesInTheUsersLanguage) {
  const std::pair<const char*, const char*> cases[] = {
      {"de_DE.UTF-8", "Language text: German.txt"},
      {"ru_RU.UTF-8", "Language text: Russian.txt"},
      {"he_IL.UTF-8", "Language text: Hebrew.txt"},
      {"zh_CN.UTF-8", "Language text: Chinese.txt"},
  };
  for (const auto& [locale, languageLine] : cases) {
    ScratchDir dir(true);
    Updater updater(PackagedUpdater(), locale);
    ASSERT_TRUE(WaitForLog("End Initialisation.\r\n", 30000)) << locale << "\n" << ReadLog();
    const std::string log = ReadLog();
    EXPECT_NE(log.find(languageLine), std::string::npos) << locale;
    EXPECT_NE(log.find(PackagedUpdater().string() + "\r\n"), std::string::npos);  // its own path
    EXPECT_NE(log.find("Product Type VQ20\r\n"), std::string::npos);
    EXPECT_NE(log.find("COM2 identified\r\nFound 1 COM-Port(s).\r\n"), std::string::npos);
  }
}

TEST(UpdaterProcess, ASecondStartEndsAtOnce) {
  ScratchDir dir(true);
  Updater first(PackagedUpdater(), "en_US.UTF-8");
  ASSERT_TRUE(WaitForLog("End Initialisation.\r\n", 30000));
  Updater second(PackagedUpdater(), "en_US.UTF-8");
  EXPECT_EQ(second.WaitForExit(15000), 0);
  EXPECT_EQ(first.WaitForExit(200), -1);  // still running
}

TEST(UpdaterProcess, WithoutAPackageTheInitialisationFails) {
  ScratchDir dir(true);
  Updater updater(VQUPDATE_PATH, "en_US.UTF-8");
  EXPECT_TRUE(WaitForLog("Error Initialisation (Decoding Update File).\r\n", 30000)) << ReadLog();
}

}  // namespace
