// Controls: push and radio buttons, the drop-down list, the progress bar, the status bar.
//
// A control is made by Create(style, rect, parent, id) or comes from a dialog template (bind it to a
// member with DDX_Control, or reach it with GetDlgItem and a cast). It reports to its parent with
// WM_COMMAND: MAKEWPARAM(id, BN_CLICKED) for a click on a button or radio button,
// MAKEWPARAM(id, CBN_SELCHANGE) when the user picks another entry of a drop-down list (not for
// SetCurSel/SelectString); lParam is the control's handle.
//
// List texts are code-page text, converted with the code page of the control font's character set
// (CodePageOfCharSet; no font set: the system ANSI code page); GetLBText returns the bytes given.
#pragma once

#include <string>
#include <string_view>

#include "platform/gui/wnd.h"

class CButton : public CWnd {
 public:
  // style: BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_RADIOBUTTON or BS_AUTORADIOBUTTON, with WS_ flags.
  BOOL Create(std::string_view caption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  void SetCheck(UINT nCheck);  // BST_CHECKED / BST_UNCHECKED (radio buttons)
  UINT GetCheck() const;
};

class CComboBox : public CWnd {
 public:
  // style: CBS_DROPDOWNLIST, optionally CBS_SORT, WS_VSCROLL, WS_CHILD, WS_VISIBLE. The closed
  // list is as high as its font needs; the rectangle's height bounds the opened list.
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  // Adds an entry (sorted lists: at its place by text, ignoring letter case); returns its index.
  int AddString(std::string_view text);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;        // CB_ERR when nothing is selected
  int SetCurSel(int nSelect);   // -1 clears; returns the index or CB_ERR
  // First entry after nStartAfter (-1: from the start; the search wraps) whose text begins with
  // prefix, ignoring letter case; CB_ERR when none.
  int FindString(int nStartAfter, std::string_view prefix) const;
  // FindString and select the entry found; returns its index or CB_ERR (selection unchanged).
  int SelectString(int nStartAfter, std::string_view prefix);
  // The entry's text; CB_ERR for a bad index.
  int GetLBText(int nIndex, std::string& text) const;
  // Into a buffer of size bytes, cut to fit and terminated; returns the bytes copied or CB_ERR.
  int GetLBText(int nIndex, char* buffer, int size) const;
  int GetLBTextLen(int nIndex) const;
};

class CProgressCtrl : public CWnd {
 public:
  // style: PBS_SMOOTH with WS_ flags.
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  void SetRange(short nLower, short nUpper);
  void SetRange32(int nLower, int nUpper);
  void GetRange(int& nLower, int& nUpper) const;
  int SetPos(int nPos);  // clamped to the range; returns the previous position
  int GetPos() const;
  COLORREF SetBarColor(COLORREF color);  // returns the previous colour
  COLORREF SetBkColor(COLORREF color);
};

// A status bar along the bottom of its frame with one pane per indicator.
class CStatusBar : public CWnd {
 public:
  // style: WS_CHILD | WS_VISIBLE | CBRS_BOTTOM. The frame lays it out (CFrameWnd::RecalcLayout).
  BOOL Create(CWnd* pParentWnd, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
              UINT nID = AFX_IDW_STATUS_BAR);
  // One pane per id, all starting empty; FALSE for no ids.
  BOOL SetIndicators(const UINT* lpIDArray, int nIDCount);
  int CommandToIndex(UINT nIDFind) const;  // -1 when no pane has that id
  // Pane text (UTF-8); FALSE for a bad index. Shown at once when bUpdate.
  BOOL SetPaneText(int nIndex, std::string_view text, BOOL bUpdate = TRUE);
  std::string GetPaneText(int nIndex) const;
  int GetPaneCount() const;
};
