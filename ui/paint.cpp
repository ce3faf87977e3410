#include "ui/paint.h"

#include <algorithm>

namespace ui {
namespace {

constexpr int kSmallestLegibleHeight = 10;

int WidestText(CDC* pDC, const FontSpec& request, const std::string_view* texts, int count) {
  CFont font;
  font.CreateFont(request);
  CFont* previous = pDC->SelectObject(&font);
  int widest = 0;
  for (int i = 0; i < count; ++i) widest = std::max(widest, static_cast<int>(pDC->GetTextExtent(texts[i]).cx));
  pDC->SelectObject(previous);
  return widest;
}

}  // namespace

void DrawButtonFrame(CDC* pDC, const CRect& outer, bool pressed) {
  const CRect inner(outer.left + 1, outer.top + 1, outer.right - 1, outer.bottom - 1);
  if (pressed) {
    pDC->Draw3dRect(&outer, kBlack, kBlack);
    pDC->Draw3dRect(&inner, kGrey, kGrey);
  } else {
    pDC->Draw3dRect(&outer, kWhite, kBlack);
    pDC->Draw3dRect(&inner, kLightGrey, kGrey);
  }
}

int FittingFontHeight(CDC* pDC, const FontSpec& request, const std::string_view* texts, int count, int maxWidth) {
  FontSpec trial = request;
  while (trial.height > kSmallestLegibleHeight && WidestText(pDC, trial, texts, count) > maxWidth) --trial.height;
  return trial.height;
}

void DrawFittedText(CDC* pDC, int x, int y, std::string_view text, int maxWidth) {
  CFont* current = pDC->GetCurrentFont();
  if (current == nullptr || !current->IsCreated() || pDC->GetTextExtent(text).cx <= maxWidth) {
    pDC->TextOut(x, y, text);
    return;
  }
  FontSpec smaller = current->GetSpec();
  smaller.height = FittingFontHeight(pDC, smaller, &text, 1, maxWidth);
  CFont font;
  font.CreateFont(smaller);
  CFont* previous = pDC->SelectObject(&font);
  pDC->TextOut(x, y, text);
  pDC->SelectObject(previous);
}

}  // namespace ui
