// The demo updater driven by itself: the real wizard (application object, frame, view, workers,
// library) runs, and this program clicks through it as a user would, printing each screen's texts
// and the percentage and saving a picture of each screen. Its own file carries the update package,
// like the updater's.
//
//   vqupdate-autodrive [--shots DIR] [--offscreen]
//
// Exit status 0 when the wizard ended on the success screen.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/callbacks.h"
#include "app/error_presentation.h"
#include "app/main_frame.h"
#include "app/q17_app.h"
#include "app/q17_view.h"
#include "app/search_thread.h"
#include "app/wizard_globals.h"
#include "platform/gui/testing.h"
#include "tools/demo/wizard_walk.h"
#include "ui/catalogue.h"

namespace gt = gui::testing;

CQ17App theApp(WorkerHooks{.searchThreadProc = SearchThreadProc,
                           .showLibraryError = ShowLibraryErrorLine,
                           .onPrecheckProgress = OnPrecheckProgress,
                           .onTestProgress = OnTestProgress,
                           .onSoftwareInfo = OnSoftwareInfo});

namespace {

constexpr int kInitTimeout = 20000;
constexpr int kSearchTimeout = 120000;  // every port probed, the pre-check, the reboot
constexpr int kUpdateTimeout = 600000;

void Print(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int Fail(const char* what) {
  std::fprintf(stderr, "vqupdate-autodrive: %s (screen %s)\n", what, demo::StateName(g_nWizardState));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string shots;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--shots") == 0 && i + 1 < argc) shots = argv[++i];
    else if (std::strcmp(argv[i], "--offscreen") == 0) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  gt::EnsureApplication();
  if (!theApp.InitInstance()) return Fail("the updater did not start");
  auto* frame = static_cast<CMainFrame*>(AfxGetMainWnd());
  auto* view = static_cast<CQ17View*>(frame->GetActiveView());
  demo::WizardWalk walk(*frame, *view, shots, Print);

  if (!walk.WaitForState(STATE_LANGUAGE, kInitTimeout)) return Fail("the initialisation did not end");
  walk.StartAndAgree();
  if (!walk.WaitForState(STATE_CONNECT, 5000)) return Fail("the agreement was not accepted");
  walk.ClickContinue();
  if (!walk.WaitForState(STATE_FOUND, kSearchTimeout)) {
    walk.FollowToResult(1000);
    return Fail("no phone was found");
  }
  if (!walk.FollowToResult(kUpdateTimeout)) return Fail("the update did not end");
  gt::ProcessEvents(800);  // the result screen's percentage
  walk.ReportScreen();
  const bool success = g_strErrorLine1.IsEmpty();
  Print(success ? "[done] update successful" : "[done] update failed: " + g_strErrorLine1.Get());
  walk.ClickContinue();  // Continue on the result screen ends the program
  gt::ProcessEvents(200);
  return success ? 0 : 1;
}
