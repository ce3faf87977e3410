// Walks the real wizard as a user would: clicks on the painted buttons, answers the agreement,
// waits for the screens the workers and callbacks move on to, prints each screen's texts and the
// percentage, and saves a picture of each screen. Window thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

class CMainFrame;
class CQ17View;

namespace demo {

// The texts the wizard shows in a state now (error lines on a failed result).
std::vector<std::string> ScreenTexts(int state);
const char* StateName(int state);

class WizardWalk {
 public:
  using Printer = std::function<void(const std::string& line)>;
  // shotDir empty: no pictures.
  WizardWalk(CMainFrame& frame, CQ17View& view, std::string shotDir, Printer print);

  // Runs the event loop until the wizard is in state, printing the percentage as it changes and
  // each screen reached on the way. False after timeoutMs.
  bool WaitForState(int state, int timeoutMs);
  // Clicks Start (language screen) and agrees to the licence.
  void StartAndAgree();
  // Continue on the connect, result, not-found or port-choice screens (left button where two).
  void ClickContinue();
  // The manual start: Continue on the not-found screen, the port chosen, Continue.
  bool ChoosePortAndContinue(const std::string& portName);
  // The close box; the refusal dialog, when it comes, is answered with its button.
  void PressCloseBox();
  bool CloseRefusalShown() const { return m_refusalShown; }
  // Follows the run until the result screen (or timeout), printing every screen.
  bool FollowToResult(int timeoutMs);
  // Prints and saves the current screen (once per state).
  void ReportScreen();
  const std::vector<int>& StatesSeen() const { return m_states; }
  const std::vector<int>& SearchPercentages() const { return m_searchPercentages; }

 private:
  void Poll();
  void SavePicture(const std::string& name);

  CMainFrame& m_frame;
  CQ17View& m_view;
  std::string m_shotDir;
  Printer m_print;
  std::vector<int> m_states;
  std::vector<int> m_searchPercentages;
  int m_lastPercent = -1;
  int m_lastState = -1;
  bool m_refusalShown = false;
};

}  // namespace demo
