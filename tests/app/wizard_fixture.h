// Shared set-up of the application tests: a scratch current directory holding the diagnostic log,
// a software package made by xbimake and vqpkg, and the real main frame with the wizard view.
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_frame.h"
#include "app/q17_view.h"
#include "platform/gui/docview.h"

namespace apptest {

// Runs a command line; true when it exited with 0.
bool Run(const std::string& command);
// A package made once per test run from a description of fixtures/, appended to a stub program.
std::filesystem::path PackagedFile(const std::string& description = "phone_software");
// A copy of PackagedFile() with one byte of the enciphered body changed.
std::filesystem::path TamperedPackage();
// The log file's whole content (empty when it does not exist).
std::string ReadLog();
// Whether text equals pattern, in which each '#' stands for any digit.
bool MatchesWithDigits(std::string_view text, std::string_view pattern);
// Whether the log ends with a time-stamped entry of this text.
bool LogEndsWithTimedEntry(std::string_view entry);
// Environment variable for the scope of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);  // nullptr unsets
  ~ScopedEnv();

 private:
  std::string m_name;
  bool m_had = false;
  std::string m_old;
};

// A fresh scratch directory as the current directory, with an empty ZelmTest.txt unless told.
class ScratchDir {
 public:
  explicit ScratchDir(bool withLog = true);
  ~ScratchDir();
  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_previous;
  std::filesystem::path m_path;
};

// The search worker the tests install: counts its starts and posts nothing.
extern std::atomic<int> g_searchStarts;
unsigned FakeSearchThread(void* view);

// The wizard in its frame, as the program starts it (the test program carries no package, so its
// own initialisation ends with (0, 2)); Initialise() then runs the initialisation again with the
// package and leaves the wizard on the language screen.
class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs InitThreadProc on the test thread for the package at path; delivers its message.
  void RunInitialisation(const std::filesystem::path& package);
  void Initialise() { RunInitialisation(PackagedFile()); }
  // Posts a worker pair and lets the view handle it.
  void Post(WPARAM phase, LPARAM result);
  void Settle(int ms = 30);
  // Grabs the main window into screenshots/app/<name>.png.
  void Screenshot(const std::string& name);
  bool FrameClosed() const { return frame == nullptr || frame->GetSafeHwnd() == nullptr; }

  std::unique_ptr<ScratchDir> m_dir;
  std::unique_ptr<ScopedEnv> m_ports;
  std::unique_ptr<ScopedEnv> m_locale;
  std::unique_ptr<CSingleDocTemplate> m_template;
  CMainFrame* frame = nullptr;
  CQ17View* view = nullptr;
};

// Clicks Agree (twice: the first notification after construction is absorbed) and Continue in the
// agreement dialog when it is shown next; or Disagree and Continue. Saves its picture as `shot`.
void AnswerNextAgreement(bool agree, const std::string& shot = {});

}  // namespace apptest
