// The framework carries a frame, a form view and modal dialogs offscreen as the updater uses them.
#include <gtest/gtest.h>

#include <thread>

#include "tests/gui/test_windows.h"

using namespace guitest;
namespace gt = gui::testing;

namespace {

// Smallest rectangle holding the pixels of the image near `color`; empty when there are none.
CRect BoxOf(const gt::WindowImage& image, COLORREF color, int tolerance = 60) {
  CRect box(image.width, image.height, -1, -1);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      COLORREF c = image.Pixel(x, y);
      if (std::abs(GetRValue(c) - GetRValue(color)) > tolerance || std::abs(GetGValue(c) - GetGValue(color)) > tolerance ||
          std::abs(GetBValue(c) - GetBValue(color)) > tolerance)
        continue;
      box.left = std::min<LONG>(box.left, x);
      box.top = std::min<LONG>(box.top, y);
      box.right = std::max<LONG>(box.right, x + 1);
      box.bottom = std::max<LONG>(box.bottom, y + 1);
    }
  return box.IsRectEmpty() ? CRect() : box;
}

using FrameTest = FrameFixture;

TEST_F(FrameTest, CreatesFrameStatusBarAndViewInTheFrameworkOrder) {
  EXPECT_EQ(frame->GetWindowText(), kFrameTitle);
  EXPECT_EQ(view->showsBeforeInitialUpdate, 1);  // the show handler runs before the initial update
  EXPECT_EQ(view->initialUpdates, 1);
  EXPECT_EQ(view->sizeAfterFit, CSize(204, 172)) << "136 x 106 dialog units in MS Sans Serif 8";
  EXPECT_EQ(view->GetDlgItem(1000), &view->m_progress);
  EXPECT_EQ(view->GetDlgItem(kDefaultButton), &view->m_default);
  EXPECT_EQ(view->GetDocument(), m_template->GetDocument());

  CStatusBar* bar = frame->GetMessageBar();
  ASSERT_EQ(bar, &frame->m_wndStatusBar);
  ASSERT_EQ(bar->GetPaneCount(), 3);
  EXPECT_EQ(bar->CommandToIndex(0xEF15), 1);
  EXPECT_EQ(bar->CommandToIndex(0xE801), -1);
  EXPECT_EQ(bar->GetPaneText(0), "");
  EXPECT_TRUE(bar->SetPaneText(bar->CommandToIndex(0xEF14), " Software for: VQ20 "));
  EXPECT_EQ(bar->GetPaneText(0), " Software for: VQ20 ");
  EXPECT_FALSE(bar->SetPaneText(3, "x"));

  // The placement leaves 450 x 433 pixels above the status bar, in the middle of the screen.
  CRect client;
  view->GetClientRect(&client);
  EXPECT_EQ(client.Width(), 450);
  EXPECT_EQ(client.Height(), 433);
  CRect window;
  frame->GetWindowRect(&window);
  EXPECT_EQ(window.left, GetSystemMetrics(SM_CXSCREEN) / 2 - 225);
  gt::SaveScreenshot(*frame, "gui_frame");
  // The user cannot size it (no sizing border); the program can.
  frame->SetWindowPos(nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
  frame->GetWindowRect(&window);
  EXPECT_EQ(window.Width(), 300);
}

TEST_F(FrameTest, PaintedTextsStandWhereTheAlignmentPutsThem) {
  view->texts = {{20, 40, TA_LEFT, RGB(255, 0, 0), "Left at 20"},
                 {220, 120, TA_CENTER, RGB(0, 0, 255), "Centred at 220"},
                 {420, 200, TA_RIGHT, RGB(0, 160, 0), "Right at 420"}};
  Repaint();
  gt::WindowImage image = gt::Grab(*view);
  gt::SaveScreenshot(*view, "gui_paint_texts");

  CRect left = BoxOf(image, RGB(255, 0, 0));
  CRect centre = BoxOf(image, RGB(0, 0, 255));
  CRect right = BoxOf(image, RGB(0, 160, 0));
  ASSERT_FALSE(left.IsRectEmpty());
  ASSERT_FALSE(centre.IsRectEmpty());
  ASSERT_FALSE(right.IsRectEmpty());
  EXPECT_GE(left.left, 20);
  EXPECT_LE(left.left, 23);
  EXPECT_NEAR((centre.left + centre.right) / 2.0, 220, 3);
  EXPECT_LE(right.right, 420);
  EXPECT_GE(right.right, 417);
  for (auto [box, y] : {std::pair{left, 40}, {centre, 120}, {right, 200}}) {
    EXPECT_GE(box.top, y);  // y is the top of the cell: capitals start a little below
    EXPECT_LE(box.top, y + 6);
    EXPECT_LE(box.bottom, y + 16);
  }
}

TEST_F(FrameTest, DirectDrawingStaysUntilTheNextRepaint) {
  Repaint();
  int paints = view->paints;
  {
    CClientDC dc(view);
    dc.SetBkColor(RGB(255, 255, 0));  // opaque by default: the text cell is filled
    dc.SetTextAlign(TA_CENTER | TA_TOP);
    dc.TextOut(332, 400, "42%");
  }
  gt::ProcessEvents(30);
  EXPECT_EQ(view->paints, paints);  // drawing directly does not repaint
  EXPECT_EQ(gt::Grab(*view).Pixel(332, 401), RGB(255, 255, 0)) << "the opaque cell shows";
  CRect band(0, 395, 440, 425);
  view->InvalidateRect(&band);
  gt::ProcessEvents(30);
  EXPECT_EQ(view->paints, paints + 1);
  EXPECT_EQ(gt::Grab(*view).Pixel(332, 401), RGB(255, 255, 255)) << "the repaint covers it";
}

TEST_F(FrameTest, InvalidationErasesOnlyWhenAskedTo) {
  view->fillBackground = false;
  CRect cell(100, 100, 120, 110);
  auto drawYellow = [&] {
    CClientDC dc(view);
    dc.FillSolidRect(&cell, RGB(255, 255, 0));
  };
  drawYellow();
  view->InvalidateRect(&cell, FALSE);
  view->UpdateWindow();
  EXPECT_EQ(gt::Grab(*view).Pixel(110, 105), RGB(255, 255, 0)) << "repainted without erasing";
  view->InvalidateRect(&cell, TRUE);
  view->UpdateWindow();
  EXPECT_NE(gt::Grab(*view).Pixel(110, 105), RGB(255, 255, 0)) << "erased before the repaint";
}

TEST_F(FrameTest, ClicksAndKeysReachTheHandlersAtTheirCoordinates) {
  view->received.clear();
  gt::MouseDown(*view, CPoint(333, 301));
  gt::MouseUp(*view, CPoint(120, 45));
  ASSERT_EQ(view->received.size(), 2u);
  EXPECT_EQ(view->received[0].message, WM_LBUTTONDOWN);
  EXPECT_EQ(GET_X_LPARAM(view->received[0].lParam), 333);
  EXPECT_EQ(GET_Y_LPARAM(view->received[0].lParam), 301);
  EXPECT_EQ(view->received[0].wParam & MK_LBUTTON, MK_LBUTTON);
  EXPECT_EQ(view->received[1].message, WM_LBUTTONUP);
  EXPECT_EQ(GET_X_LPARAM(view->received[1].lParam), 120);
  EXPECT_EQ(GET_Y_LPARAM(view->received[1].lParam), 45);

  // Enter reaches the hidden default push button's command.
  view->m_default.ShowWindow(SW_HIDE);
  view->received.clear();
  gt::PressKey(*view, gt::Key::Enter);
  ASSERT_EQ(view->received.size(), 1u);
  EXPECT_EQ(view->received[0].message, WM_COMMAND);
  EXPECT_EQ(LOWORD(view->received[0].wParam), kDefaultButton);
  EXPECT_EQ(HIWORD(view->received[0].wParam), BN_CLICKED);
}

TEST_F(FrameTest, MouseMoveSetsTheCursorResourceOnlyOverTheRegion) {
  ASSERT_NE(view->handCursor, nullptr);
  gt::MouseMove(*view, CPoint(310, 300));
  EXPECT_EQ(gt::CurrentCursor(*view), view->handCursor);
  gt::MouseMove(*view, CPoint(100, 100));
  EXPECT_EQ(gt::CurrentCursor(*view), nullptr);  // back to the arrow
  EXPECT_EQ(AfxGetApp()->LoadCursor(999), nullptr);
}

TEST_F(FrameTest, CursorResourcesLoadFromWindowsCursorFiles) {
  gui::RegisterCursor(172, CursorFile(5, 7));
  HCURSOR cursor = AfxGetApp()->LoadCursor(172);
  EXPECT_NE(cursor, nullptr);
  EXPECT_EQ(AfxGetApp()->LoadCursor(172), cursor) << "one handle per resource";
  std::vector<std::uint8_t> broken = CursorFile(0, 0);
  broken.resize(30);
  gui::RegisterCursor(173, broken);
  EXPECT_EQ(AfxGetApp()->LoadCursor(173), nullptr);
}

TEST_F(FrameTest, MessagesPostedFromAWorkerRunOnTheWindowThreadInOrder) {
  constexpr int kCount = 200;
  view->received.clear();
  HWND hwnd = view->GetSafeHwnd();
  std::thread worker([hwnd] {
    for (int i = 0; i < kCount; ++i) ::PostMessage(hwnd, WM_TEST_POSTED, static_cast<WPARAM>(i), -i);
  });
  worker.join();
  ASSERT_TRUE(gt::WaitUntil([&] { return view->received.size() >= kCount; }));
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(view->received[i].message, WM_TEST_POSTED);
    EXPECT_EQ(view->received[i].wParam, static_cast<WPARAM>(i));
    EXPECT_EQ(view->received[i].lParam, -i);
    EXPECT_EQ(view->received[i].thread, std::this_thread::get_id());
  }
}

TEST_F(FrameTest, PostingToADestroyedWindowFails) {
  HWND hwnd = view->GetSafeHwnd();
  EXPECT_TRUE(::PostMessage(hwnd, WM_TEST_POSTED));
  frame->DestroyWindow();
  EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
  EXPECT_FALSE(::PostMessage(hwnd, WM_TEST_POSTED));
  gt::ProcessEvents(20);  // the message queued before is dropped with the window
}

TEST_F(FrameTest, TimerFiresAboutItsPeriodAndStopsWhenKilled) {
  auto ticks = [&] {
    return std::count_if(view->received.begin(), view->received.end(),
                         [](const Received& r) { return r.message == WM_TIMER && r.wParam == 1; });
  };
  view->received.clear();
  EXPECT_EQ(view->SetTimer(1, 50), 1u);
  gt::ProcessEvents(600);
  EXPECT_GE(ticks(), 5);   // 12 expected; generous for a loaded machine
  EXPECT_LE(ticks(), 14);
  EXPECT_TRUE(view->KillTimer(1));
  EXPECT_FALSE(view->KillTimer(1));
  auto stopped = ticks();
  gt::ProcessEvents(300);
  EXPECT_EQ(ticks(), stopped);
}

TEST_F(FrameTest, ClosingIsRefusedWhileTheFrameSaysSo) {
  frame->refuseClose = true;
  gt::RequestClose(*frame);  // the close box
  EXPECT_TRUE(frame->PostMessage(WM_CLOSE));
  gt::ProcessEvents(30);
  EXPECT_EQ(frame->closeRequests, 2);
  EXPECT_NE(frame->GetSafeHwnd(), nullptr);
  EXPECT_TRUE(frame->IsWindowVisible());

  frame->refuseClose = false;
  gt::RequestClose(*frame);
  gt::ProcessEvents(30);
  EXPECT_EQ(frame->closeRequests, 3);
  EXPECT_EQ(frame->GetSafeHwnd(), nullptr);
  EXPECT_EQ(view->GetSafeHwnd(), nullptr);
}

TEST_F(FrameTest, EndOfSessionAndSuspendQueriesReachTheFrame) {
  EXPECT_TRUE(gt::QueryEndSession());
  frame->refuseEndSession = true;
  EXPECT_FALSE(gt::QueryEndSession());
  // A suspend query without a handler of its own is granted by the default handling.
  EXPECT_EQ(frame->SendMessage(WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0), TRUE);
}

TEST_F(FrameTest, ModalDialogRunsUntilItsPaintedButtonEndsIt) {
  TestDialog dialog(view);
  CRect client;
  bool shown = false;
  gt::OnNextModal([&](CDialog& d) {
    shown = d.IsWindowVisible();
    d.GetClientRect(&client);
    gt::SaveScreenshot(d, "gui_modal_dialog");
    gt::MouseDown(d, CPoint(150, 100));
    gt::MouseUp(d, CPoint(200, 105));
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_TRUE(shown);
  EXPECT_EQ(client.Width(), 360);  // resized on initialisation (no window frame offscreen)
  EXPECT_EQ(client.Height(), 150);
  EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);  // the window goes with the run
}

TEST_F(FrameTest, ModalDialogEndsWithCancelOnEscapeAndTheCloseBox) {
  for (bool closeBox : {false, true}) {
    TestDialog dialog(view);
    gt::OnNextModal([&](CDialog& d) {
      if (closeBox) gt::RequestClose(d); else gt::PressKey(d, gt::Key::Escape);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL) << (closeBox ? "close box" : "Escape");
  }
}

TEST_F(FrameTest, AutomaticRadioButtonsMarkOneAndReportTheirClicks) {
  TestDialog dialog(view);
  UINT a = 9, b = 9;
  gt::OnNextModal([&](CDialog& d) {
    gt::ClickControl(*d.GetDlgItem(kRadioA));
    gt::ClickControl(*d.GetDlgItem(kRadioB));
    a = d.IsDlgButtonChecked(kRadioA);
    b = d.IsDlgButtonChecked(kRadioB);
    d.CheckDlgButton(kRadioA, BST_CHECKED);
    d.EndDialog(IDOK);
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(a, BST_UNCHECKED);
  EXPECT_EQ(b, BST_CHECKED);
  EXPECT_EQ(dialog.commands, (std::vector<int>{kRadioA, kRadioB}));
}

TEST_F(FrameTest, MessageBoxesGoToTheHandlerWhileOneIsSet) {
  std::string seen;
  gt::SetMessageBoxHandler([&](std::string_view text, std::string_view, UINT type) {
    seen = std::string(text);
    return (type & 0xF) == MB_YESNO ? IDNO : IDOK;
  });
  EXPECT_EQ(AfxMessageBox("Fehler in AttachMemory"), IDOK);
  EXPECT_EQ(seen, "Fehler in AttachMemory");
  EXPECT_EQ(frame->MessageBox("Continue?", "Question", MB_YESNO | MB_ICONQUESTION), IDNO);
  gt::SetMessageBoxHandler(nullptr);
}

// A frame whose creation fails after the framework made its view (as when the status bar fails).
class FailingFrame : public TestFrame {
 protected:
  int OnCreate(LPCREATESTRUCT cs) override {
    CFrameWnd::OnCreate(cs);
    return -1;
  }
};

TEST(TemplateTest, FailedFrameCreationLeavesNoWindowBehind) {
  gt::EnsureApplication();
  RegisterTestTemplates();
  auto failing = CSingleDocTemplate::Make<TestDoc, FailingFrame, TestView>(128);
  EXPECT_FALSE(failing->OpenNewDocument());
  EXPECT_EQ(failing->GetFrame(), nullptr);
  EXPECT_EQ(failing->GetDocument(), nullptr);
  CWinApp app;  // OnFileNew reports the failure too
  app.AddDocTemplate(CSingleDocTemplate::Make<TestDoc, FailingFrame, TestView>(128));
  EXPECT_FALSE(app.OnFileNew());
  EXPECT_EQ(app.m_pMainWnd, nullptr);
}

TEST(DialogTest, UnregisteredTemplateFailsTheRun) {
  gt::EnsureApplication();
  CDialog dialog(4711);
  EXPECT_EQ(dialog.DoModal(), -1);
}

}  // namespace
