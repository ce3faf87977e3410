// Drawing pieces the screens and dialogs share: framed buttons and texts that keep inside the
// room they have.
#pragma once

#include <string_view>

#include "platform/gui/gdi.h"

namespace ui {

inline constexpr COLORREF kWhite = RGB(255, 255, 255);
inline constexpr COLORREF kBlack = RGB(0, 0, 0);
inline constexpr COLORREF kLightGrey = RGB(223, 223, 223);
inline constexpr COLORREF kGrey = RGB(128, 128, 128);
inline constexpr COLORREF kButtonFace = RGB(51, 152, 203);

// Two nested one-pixel frames, raised (light top and left) or pressed (dark all round).
void DrawButtonFrame(CDC* pDC, const CRect& outer, bool pressed);

// TextOut with the DC's alignment. A text wider than maxWidth is drawn with a smaller font of
// the same kind, so that it keeps inside its room (composed error lines can be long).
void DrawFittedText(CDC* pDC, int x, int y, std::string_view text, int maxWidth);

// The largest font height, at most `height`, whose font shows every text within maxWidth
// (measured with the DC); never below a legible minimum.
int FittingFontHeight(CDC* pDC, const FontSpec& request, const std::string_view* texts, int count, int maxWidth);

}  // namespace ui
