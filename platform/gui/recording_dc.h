// A device context for tests: it draws into an image of its own and keeps every call, in order,
// with its coordinates, text and the DC's state at that moment, so that a test can assert what a
// screen draws and where without reading pixels.
//
//   CRecordingDC dc(440, 429);
//   view.DrawWizardScreen(&dc);
//   auto texts = dc.Calls(DcOp::TextOut);
//   EXPECT_EQ(texts[0].text, "Start"); EXPECT_EQ(texts[0].point, CPoint(340, 307));
//   EXPECT_EQ(texts[0].state.textAlign, TA_CENTER | TA_TOP);
#pragma once

#include <string>
#include <vector>

#include "platform/gui/gdi.h"

enum class DcOp : int {
  SelectFont,      // state.font: the font now selected
  SelectBrush,     // color: the brush's colour
  SelectPalette,   // value: number of entries
  RealizePalette,  // value: the result
  SetTextAlign,    // value
  SetBkMode,       // value
  SetTextColor,    // color
  SetBkColor,      // color
  SetStretchBltMode,  // value
  TextOut,         // point, text (bytes as given), utf8 (as converted); rect: the text's cell
  FillRect,        // rect, color
  FrameRect,       // rect, color
  Draw3dRect,      // rect, color (top and left), color2 (bottom and right)
  StretchDIBits,   // rect: destination; value: rows drawn; point: source width and height
};

// The DC's state when a call was made.
struct DcState {
  FontSpec font;            // the selected font as asked for
  std::string realizedFace; // the family it is drawn with
  UINT textAlign = 0;
  int bkMode = 0;
  COLORREF textColor = 0;
  COLORREF bkColor = 0;
  COLORREF brushColor = 0;
};

struct DcCall {
  DcOp op{};
  CRect rect;
  CPoint point;
  std::string text;
  std::string utf8;
  COLORREF color = 0;
  COLORREF color2 = 0;
  long long value = 0;
  DcState state;
};

class CRecordingDC : public CDC {
 public:
  // The image starts white.
  CRecordingDC(int width, int height);
  ~CRecordingDC() override;

  const std::vector<DcCall>& Calls() const;
  std::vector<DcCall> Calls(DcOp op) const;  // only the calls of one kind, in order
  void Clear();                              // forgets the calls (the image stays)

  COLORREF GetPixel(int x, int y) const;  // 0xFFFFFFFF outside the image
  bool SavePng(const std::string& path) const;
};
