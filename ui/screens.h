// The painted wizard screens: the drawing handler of the wizard view and the screen elements its
// timer redraws between repaints. Window thread only.
#pragma once

#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/gdi.h"
#include "platform/gui/types.h"

class CDib;

namespace ui {

// The values a screen shows; the wizard's shared values as they are at this paint.
struct WizardScreenValues {
  int state = 0;
  float progress = 0;  // percent; states 5 to 7 set it (the caller stores it back)
  int portCount = 0;   // usable COM ports
  int portIndex = 0;   // 0..11, the port probed or used
  int progressPhase = 0;
  WORD eraseDone = 0;
  WORD eraseTotal = 0;
  DWORD transferDone = 0;
  DWORD transferTotal = 0;
  bool startDown = false;
  bool continueDown = false;
  bool exitDown = false;
};

// The view's pictures and controls; any of them may be absent.
struct WizardScreenParts {
  const CDib* background = nullptr;  // bitmap 133 at (0, 0)
  const CDib* phone = nullptr;       // bitmap 173 or 174 at (0, 209)
  CProgressCtrl* progress = nullptr; // the progress bar in use (system bar or template control)
  CWnd* list = nullptr;              // the drop-down list
};

// Paints the whole screen of values.state and shows or hides the progress bar and the list.
void DrawWizardScreen(CDC* pDC, WizardScreenValues& values, const WizardScreenParts& parts);

// Software information panes of the status bar (ids 61204, 61205, 61206), updated at once.
void ShowSoftwareInfo(CStatusBar& statusBar, const std::string& productType, const std::string& svn,
                      const std::string& compileDate, const std::string& compileTime);

// --- elements shared with the view's timer -------------------------------------------------
// Percent while erasing (2 to 20) and while transferring (20 to 98). A total of 0 shows the
// phase's starting value; fewer than 64000 bytes after the erase show 20.
float ErasePercentage(int phase, WORD done, WORD total);
float TransferPercentage(int phase, DWORD done, DWORD total);
// "%d%%" of the integer part.
std::string PercentText(float progress);
// The search screen's lines; right-to-left character sets put the number on the other side.
std::string PortsLine(int portCount);
std::string PortLine(int portIndex);
std::string FoundLine(int portIndex);
bool IsRightToLeft();

inline constexpr CPoint kPercentPosition{332, 400};
inline constexpr CPoint kPortLinePosition{220, 380};
inline constexpr CPoint kBlinkPosition{220, 400};
inline constexpr CRect kBlinkRect{0, 395, 440, 425};
inline constexpr int kScreenTextWidth = 436;  // room of a centred text line

// --- painted buttons -----------------------------------------------------------------------
inline constexpr int kSingleButtonLeft = 300;  // Start or Continue alone
inline constexpr int kLeftButtonLeft = 251;    // Continue beside Exit
inline constexpr int kRightButtonLeft = 346;   // Exit
inline constexpr CRect kButtonRepaintRect{250, 290, 430, 340};
// Press region: x from left to left + 80, y from 294 to 336, ends included.
bool InButtonPressRegion(int left, CPoint point);
// Where the cursor becomes the hand: x from left + 3 to left + 77, y from 297 to 333.
bool InButtonCursorRegion(int left, CPoint point);
void DrawButton(CDC* pDC, int left, std::string_view label, bool pressed);

}  // namespace ui
