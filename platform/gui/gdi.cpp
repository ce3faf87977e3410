// The device context: drawing with the state the callers set, into a window's surface or an image.
#include "platform/gui/gdi.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <cstring>

#include "platform/gui/recording_dc.h"
#include "platform/gui/window_impl.h"

namespace gui::detail {

// Where a DC draws: an image (a window's surface or its own), optionally clipped.
struct DcTarget {
  std::function<QImage*()> image;
  QRegion clip;
  bool clipped = false;
  std::function<void(const QRect&)> drawn;  // tell the window what changed
  QImage own;
};

struct DcRecorder {
  std::vector<DcCall> calls;
};

namespace {

// Opens a painter on the target for one call; null painter when there is nothing to draw on.
class Paint {
 public:
  explicit Paint(DcTarget& t) : m_target(t), m_image(t.image ? t.image() : nullptr) {
    if (!m_image || m_image->isNull()) return;
    m_painter.begin(m_image);
    if (t.clipped) m_painter.setClipRegion(t.clip);
  }
  ~Paint() {
    if (m_painter.isActive()) m_painter.end();
    if (m_dirty.isValid() && m_target.drawn) m_target.drawn(m_dirty);
  }
  bool ok() const { return m_painter.isActive(); }
  QPainter& p() { return m_painter; }
  void Touch(const QRect& r) { m_dirty = m_dirty.united(r); }

 private:
  DcTarget& m_target;
  QImage* m_image;
  QPainter m_painter;
  QRect m_dirty;
};

void Fill(Paint& paint, const QRect& r, COLORREF color) {
  if (!paint.ok() || r.isEmpty()) return;
  paint.p().fillRect(r, ToQColor(color));
  paint.Touch(r);
}

}  // namespace
}  // namespace gui::detail

using gui::detail::DcTarget;
using gui::detail::Paint;
using gui::detail::ToQColor;

BOOL CBrush::CreateSolidBrush(COLORREF color) {
  if (m_bCreated) return FALSE;
  m_bCreated = true;
  m_color = color;
  return TRUE;
}

BOOL CBrush::DeleteObject() {
  BOOL was = m_bCreated;
  m_bCreated = false;
  return was;
}

BOOL CPalette::CreatePalette(const PALETTEENTRY* entries, int count) {
  if (!entries || count <= 0 || !m_entries.empty()) return FALSE;
  m_entries.assign(entries, entries + count);
  return TRUE;
}

BOOL CPalette::DeleteObject() {
  BOOL was = !m_entries.empty();
  m_entries.clear();
  return was;
}

CDC::CDC(CWnd* pWnd, std::shared_ptr<DcTarget> target) : m_target(std::move(target)), m_pWnd(pWnd) {
  m_stockFont.CreateFont(FontSpec{});
  m_stockBrush.CreateSolidBrush(RGB(255, 255, 255));
  m_pFont = &m_stockFont;
  m_pBrush = &m_stockBrush;
  m_pPalette = &m_stockPalette;
}

CDC::~CDC() = default;

void CDC::Record(DcOp op, const RECT& rect, CPoint point, std::string_view text, COLORREF c1, COLORREF c2,
                 long long value) {
  if (!m_recorder) return;
  DcCall call;
  call.op = op;
  call.rect = rect;
  call.point = point;
  call.text = std::string(text);
  if (op == DcOp::TextOut) call.utf8 = gui::detail::DecodeText(text, gui::detail::CharSetOf(m_pFont)).toStdString();
  call.color = c1;
  call.color2 = c2;
  call.value = value;
  call.state.font = m_pFont->GetSpec();
  call.state.realizedFace = m_pFont->RealizedFace();
  call.state.textAlign = m_textAlign;
  call.state.bkMode = m_bkMode;
  call.state.textColor = m_textColor;
  call.state.bkColor = m_bkColor;
  call.state.brushColor = m_pBrush->GetColor();
  m_recorder->calls.push_back(std::move(call));
}

CFont* CDC::SelectObject(CFont* pFont) {
  CFont* before = m_pFont;
  m_pFont = pFont ? pFont : &m_stockFont;
  Record(DcOp::SelectFont, {}, {}, {}, 0, 0, 0);
  return before;
}

CBrush* CDC::SelectObject(CBrush* pBrush) {
  CBrush* before = m_pBrush;
  m_pBrush = pBrush ? pBrush : &m_stockBrush;
  Record(DcOp::SelectBrush, {}, {}, {}, m_pBrush->GetColor(), 0, 0);
  return before;
}

std::string CDC::GetTextFace() const { return m_pFont->RealizedFace(); }

int CDC::GetTextFace(int nCount, char* lpszFacename) const {
  if (!lpszFacename || nCount <= 0) return 0;
  std::string face = GetTextFace();
  std::size_t n = std::min(face.size(), static_cast<std::size_t>(nCount - 1));
  std::memcpy(lpszFacename, face.data(), n);
  lpszFacename[n] = '\0';
  return static_cast<int>(n);
}

UINT CDC::SetTextAlign(UINT nFlags) {
  UINT before = m_textAlign;
  m_textAlign = nFlags;
  Record(DcOp::SetTextAlign, {}, {}, {}, 0, 0, nFlags);
  return before;
}

int CDC::SetBkMode(int nBkMode) {
  int before = m_bkMode;
  if (nBkMode == TRANSPARENT || nBkMode == OPAQUE) m_bkMode = nBkMode;
  Record(DcOp::SetBkMode, {}, {}, {}, 0, 0, nBkMode);
  return before;
}

COLORREF CDC::SetTextColor(COLORREF color) {
  COLORREF before = m_textColor;
  m_textColor = color;
  Record(DcOp::SetTextColor, {}, {}, {}, color, 0, 0);
  return before;
}

COLORREF CDC::SetBkColor(COLORREF color) {
  COLORREF before = m_bkColor;
  m_bkColor = color;
  Record(DcOp::SetBkColor, {}, {}, {}, color, 0, 0);
  return before;
}

int CDC::SetStretchBltMode(int nMode) {
  int before = m_stretchMode;
  m_stretchMode = nMode;
  Record(DcOp::SetStretchBltMode, {}, {}, {}, 0, 0, nMode);
  return before;
}

CSize CDC::GetTextExtent(std::string_view text) const {
  QFontMetrics m(gui::detail::QtFontOf(m_pFont));
  QString s = gui::detail::DecodeText(text, gui::detail::CharSetOf(m_pFont));
  return CSize(m.horizontalAdvance(s), m.height());
}

BOOL CDC::TextOut(int x, int y, std::string_view text) {
  QFont font = gui::detail::QtFontOf(m_pFont);
  QFontMetrics m(font);
  QString s = gui::detail::DecodeText(text, gui::detail::CharSetOf(m_pFont));
  int width = m.horizontalAdvance(s);
  int left = x;
  switch (m_textAlign & TA_CENTER) {
    case TA_CENTER: left = x - width / 2; break;
    case TA_RIGHT: left = x - width; break;
    default: break;
  }
  int top = y;
  switch (m_textAlign & TA_BASELINE) {
    case TA_BASELINE: top = y - m.ascent(); break;
    case TA_BOTTOM: top = y - m.height(); break;
    default: break;
  }
  QRect cell(left, top, width, m.height());
  Record(DcOp::TextOut, gui::detail::FromQRect(cell), CPoint(x, y), text, m_textColor, m_bkColor, 0);
  Paint paint(*m_target);
  if (!paint.ok()) return TRUE;
  if (m_bkMode == OPAQUE) paint.p().fillRect(cell, ToQColor(m_bkColor));
  paint.p().setFont(font);
  paint.p().setPen(ToQColor(m_textColor));
  paint.p().drawText(QPoint(left, top + m.ascent()), s);
  paint.Touch(cell);
  return TRUE;
}

void CDC::FillRect(LPCRECT lpRect, CBrush* pBrush) {
  if (!lpRect) return;
  COLORREF color = (pBrush ? pBrush : m_pBrush)->GetColor();
  Record(DcOp::FillRect, *lpRect, {}, {}, color, 0, 0);
  Paint paint(*m_target);
  gui::detail::Fill(paint, gui::detail::ToQRect(*lpRect), color);
}

void CDC::FillSolidRect(LPCRECT lpRect, COLORREF color) {
  if (!lpRect) return;
  Record(DcOp::FillRect, *lpRect, {}, {}, color, 0, 0);
  Paint paint(*m_target);
  gui::detail::Fill(paint, gui::detail::ToQRect(*lpRect), color);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
  CRect r(x, y, x + cx, y + cy);
  FillSolidRect(&r, color);
}

void CDC::FrameRect(LPCRECT lpRect, CBrush* pBrush) {
  if (!lpRect) return;
  COLORREF color = (pBrush ? pBrush : m_pBrush)->GetColor();
  Record(DcOp::FrameRect, *lpRect, {}, {}, color, 0, 0);
  QRect r = gui::detail::ToQRect(*lpRect);
  if (r.isEmpty()) return;
  Paint paint(*m_target);
  gui::detail::Fill(paint, QRect(r.left(), r.top(), r.width(), 1), color);
  gui::detail::Fill(paint, QRect(r.left(), r.bottom(), r.width(), 1), color);
  gui::detail::Fill(paint, QRect(r.left(), r.top(), 1, r.height()), color);
  gui::detail::Fill(paint, QRect(r.right(), r.top(), 1, r.height()), color);
}

void CDC::Draw3dRect(int x, int y, int cx, int cy, COLORREF clrTopLeft, COLORREF clrBottomRight) {
  Record(DcOp::Draw3dRect, CRect(x, y, x + cx, y + cy), {}, {}, clrTopLeft, clrBottomRight, 0);
  if (cx <= 0 || cy <= 0) return;
  Paint paint(*m_target);
  gui::detail::Fill(paint, QRect(x, y, cx - 1, 1), clrTopLeft);
  gui::detail::Fill(paint, QRect(x, y, 1, cy - 1), clrTopLeft);
  gui::detail::Fill(paint, QRect(x + cx - 1, y, 1, cy), clrBottomRight);
  gui::detail::Fill(paint, QRect(x, y + cy - 1, cx, 1), clrBottomRight);
}

void CDC::Draw3dRect(LPCRECT lpRect, COLORREF clrTopLeft, COLORREF clrBottomRight) {
  if (lpRect)
    Draw3dRect(lpRect->left, lpRect->top, lpRect->right - lpRect->left, lpRect->bottom - lpRect->top, clrTopLeft,
               clrBottomRight);
}

CPalette* CDC::SelectPalette(CPalette* pPalette, BOOL) {
  CPalette* before = m_pPalette;
  m_pPalette = pPalette ? pPalette : &m_stockPalette;
  Record(DcOp::SelectPalette, {}, {}, {}, 0, 0, m_pPalette->GetEntryCount());
  return before;
}

UINT CDC::RealizePalette() {
  UINT n = static_cast<UINT>(m_pPalette->GetEntryCount());
  Record(DcOp::RealizePalette, {}, {}, {}, 0, 0, n);
  return n;
}

namespace {

// The source image of a DIB as a QImage (top row first), or a null image for what is not supported.
QImage DibImage(const void* bits, std::size_t bitsSize, const BITMAPINFOHEADER& h, const RGBQUAD* colors) {
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biCompression != BI_RGB || h.biWidth <= 0 || h.biHeight == 0)
    return {};
  if (h.biBitCount != 8 && h.biBitCount != 24) return {};
  if (h.biBitCount == 8 && !colors) return {};
  const long long width = h.biWidth;
  const long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
  const long long stride = ((width * h.biBitCount + 31) / 32) * 4;
  if (width > 32767 || height > 32767 || static_cast<unsigned long long>(stride * height) > bitsSize) return {};
  QImage image(static_cast<int>(width), static_cast<int>(height),
               h.biBitCount == 8 ? QImage::Format_Indexed8 : QImage::Format_BGR888);
  if (h.biBitCount == 8) {
    int entries = h.biClrUsed != 0 && h.biClrUsed <= 256 ? static_cast<int>(h.biClrUsed) : 256;
    QList<QRgb> table(256, qRgb(0, 0, 0));  // indexes past the table show black
    for (int i = 0; i < entries; ++i) table[i] = qRgb(colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue);
    image.setColorTable(table);
  }
  const auto* src = static_cast<const std::uint8_t*>(bits);
  const std::size_t rowBytes = static_cast<std::size_t>(width * h.biBitCount / 8);
  for (long long row = 0; row < height; ++row) {
    long long srcRow = h.biHeight > 0 ? height - 1 - row : row;  // positive heights are stored bottom-up
    std::memcpy(image.scanLine(static_cast<int>(row)), src + srcRow * stride, rowBytes);
  }
  return image;
}

}  // namespace

int CDC::StretchDIBits(int xDest, int yDest, int nDestWidth, int nDestHeight, int xSrc, int ySrc, int nSrcWidth,
                       int nSrcHeight, const void* bits, std::size_t bitsSize, const BITMAPINFOHEADER* header,
                       const RGBQUAD* colors, UINT iUsage, DWORD dwRop) {
  int rows = 0;
  QImage image;
  if (bits && header && iUsage == DIB_RGB_COLORS && dwRop == SRCCOPY && nSrcWidth > 0 && nSrcHeight > 0 &&
      nDestWidth > 0 && nDestHeight > 0) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, header, sizeof h);
    image = DibImage(bits, bitsSize, h, colors);
    if (!image.isNull()) {
      // The source rectangle of a bottom-up DIB is measured from its bottom row.
      int top = h.biHeight > 0 ? image.height() - ySrc - nSrcHeight : ySrc;
      QRect source = QRect(xSrc, top, nSrcWidth, nSrcHeight).intersected(image.rect());
      if (!source.isEmpty()) {
        image = image.copy(source);
        rows = source.height();
      }
    }
  }
  Record(DcOp::StretchDIBits, CRect(xDest, yDest, xDest + nDestWidth, yDest + nDestHeight), CPoint(nSrcWidth, nSrcHeight),
         {}, 0, 0, rows);
  if (rows == 0) return 0;
  Paint paint(*m_target);
  if (paint.ok()) {
    QRect dest(xDest, yDest, nDestWidth, nDestHeight);
    paint.p().setRenderHint(QPainter::SmoothPixmapTransform, m_stretchMode == HALFTONE);
    paint.p().drawImage(dest, image);
    paint.Touch(dest);
  }
  return rows;
}

CPaintDC::CPaintDC(CWnd* pWnd) : CDC(pWnd, std::make_shared<DcTarget>()) {
  gui::detail::WindowImpl* impl = pWnd ? pWnd->Impl() : nullptr;
  if (!impl || !impl->Exists()) return;
  QPointer<QWidget> widget = impl->widget;
  m_target->image = [impl, widget]() -> QImage* { return widget ? &impl->surface : nullptr; };
  m_target->clipped = true;
  if (impl->inPaint) {
    m_target->clip = impl->paintRegion;
  } else {  // outside WM_PAINT: paint what is invalid now and validate it
    m_target->clip = impl->invalid;
    impl->invalid = QRegion();
  }
  bool inPaint = impl->inPaint;
  m_target->drawn = [widget, inPaint](const QRect& r) {
    if (widget && !inPaint) widget->update(r);
  };
}

CPaintDC::~CPaintDC() = default;

CClientDC::CClientDC(CWnd* pWnd) : CDC(pWnd, std::make_shared<DcTarget>()) {
  gui::detail::WindowImpl* impl = pWnd ? pWnd->Impl() : nullptr;
  if (!impl || !impl->Exists()) return;
  impl->EnsureSurfaceSize();
  QPointer<QWidget> widget = impl->widget;
  m_target->image = [impl, widget]() -> QImage* { return widget ? &impl->surface : nullptr; };
  m_target->drawn = [widget](const QRect& r) {
    if (widget) widget->update(r);
  };
}

CClientDC::~CClientDC() = default;

CRecordingDC::CRecordingDC(int width, int height) : CDC(nullptr, std::make_shared<DcTarget>()) {
  m_target->own = QImage(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
  m_target->own.fill(Qt::white);
  DcTarget* target = m_target.get();
  m_target->image = [target] { return &target->own; };
  m_recorder = std::make_unique<gui::detail::DcRecorder>();
}

CRecordingDC::~CRecordingDC() = default;

const std::vector<DcCall>& CRecordingDC::Calls() const { return m_recorder->calls; }

std::vector<DcCall> CRecordingDC::Calls(DcOp op) const {
  std::vector<DcCall> out;
  for (const DcCall& c : m_recorder->calls)
    if (c.op == op) out.push_back(c);
  return out;
}

void CRecordingDC::Clear() { m_recorder->calls.clear(); }

COLORREF CRecordingDC::GetPixel(int x, int y) const {
  const QImage& image = m_target->own;
  if (!image.rect().contains(x, y)) return 0xFFFFFFFF;
  return gui::detail::FromQColor(image.pixelColor(x, y));
}

bool CRecordingDC::SavePng(const std::string& path) const {
  return m_target->own.save(QString::fromStdString(path), "PNG");
}
