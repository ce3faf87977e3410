// Drawing: fonts, brushes, pens, palettes, device-independent bitmaps and the device context CDC.
//
// A CDC draws into a window's surface (CPaintDC inside OnPaint, CClientDC or CWnd::GetDC anywhere
// on the window thread) or, for tests, into an image of its own (CRecordingDC, recording_dc.h).
// What is drawn into a window stays there until the window is painted again, as with the screen of
// the original platform: a timer may draw a percentage straight into the view between repaints.
//
// Text given to TextOut is 8-bit text in a code page; it is converted to Unicode with the code page
// of the selected font's character set (ANSI_CHARSET 1252, GB2312 936, CHINESEBIG5 950, HEBREW 1255,
// ARABIC 1256, GREEK 1253, TURKISH 1254, THAI 874, EASTEUROPE 1250, RUSSIAN 1251; DEFAULT_CHARSET
// and any other: the system ANSI code page, os::GetSystemAnsiCodePage).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gui/types.h"

class CWnd;
namespace gui::detail {
struct FontData;
struct DcTarget;
struct DcRecorder;
}  // namespace gui::detail
enum class DcOp : int;  // recording_dc.h

// Character sets (CFont, font enumeration)
inline constexpr BYTE ANSI_CHARSET = 0;
inline constexpr BYTE DEFAULT_CHARSET = 1;
inline constexpr BYTE GB2312_CHARSET = 134;
inline constexpr BYTE CHINESEBIG5_CHARSET = 136;
inline constexpr BYTE GREEK_CHARSET = 161;
inline constexpr BYTE TURKISH_CHARSET = 162;
inline constexpr BYTE HEBREW_CHARSET = 177;
inline constexpr BYTE ARABIC_CHARSET = 178;
inline constexpr BYTE RUSSIAN_CHARSET = 204;
inline constexpr BYTE THAI_CHARSET = 222;
inline constexpr BYTE EASTEUROPE_CHARSET = 238;

// The code page TextOut and the controls convert with for a character set (see above).
UINT CodePageOfCharSet(BYTE charSet);

// Font weights, families, precisions, quality
inline constexpr int FW_DONTCARE = 0;
inline constexpr int FW_NORMAL = 400;
inline constexpr int FW_BOLD = 700;
inline constexpr BYTE FF_DONTCARE = 0x00;
inline constexpr BYTE FF_ROMAN = 0x10;
inline constexpr BYTE FF_SWISS = 0x20;
inline constexpr BYTE FF_MODERN = 0x30;
inline constexpr BYTE DEFAULT_PITCH = 0;
inline constexpr BYTE VARIABLE_PITCH = 2;
inline constexpr BYTE OUT_DEFAULT_PRECIS = 0;
inline constexpr BYTE CLIP_DEFAULT_PRECIS = 0;
inline constexpr BYTE DEFAULT_QUALITY = 0;

// Text alignment (CDC::SetTextAlign): one horizontal and one vertical flag, or-ed.
inline constexpr UINT TA_LEFT = 0;
inline constexpr UINT TA_RIGHT = 2;
inline constexpr UINT TA_CENTER = 6;     // centred on x
inline constexpr UINT TA_TOP = 0;        // y is the top of the text cell
inline constexpr UINT TA_BOTTOM = 8;     // y is the bottom of the text cell
inline constexpr UINT TA_BASELINE = 24;  // y is the base line

// Background modes (CDC::SetBkMode)
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;  // text cells are filled with the background colour first (default)

// Stretch modes, DIB colour use, raster operation
inline constexpr int BLACKONWHITE = 1;
inline constexpr int COLORONCOLOR = 3;  // nearest pixel; rows and columns a shrink drops are dropped
inline constexpr int HALFTONE = 4;      // smoothed
inline constexpr UINT DIB_RGB_COLORS = 0;
inline constexpr DWORD SRCCOPY = 0x00CC0020;

// What a font was asked for: the arguments of CFont::CreateFont that matter here.
struct FontSpec {
  int height = 0;        // > 0: cell height in pixels; < 0: character height (cell minus leading); 0: 16
  int weight = FW_NORMAL;
  BYTE charSet = DEFAULT_CHARSET;
  BYTE pitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  bool italic = false;
  bool underline = false;
  std::string face;      // empty: the layer picks a face that covers charSet
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

class CGdiObject {
 public:
  virtual ~CGdiObject() = default;
};

class CFont : public CGdiObject {
 public:
  CFont();
  ~CFont() override;
  CFont(const CFont&) = delete;
  CFont& operator=(const CFont&) = delete;

  // Width, escapement, orientation, strike-out, precisions and quality are accepted and ignored.
  // Face names the system lacks are served by the first installed substitute that covers the
  // character set (Arial: Liberation Sans, Arimo, DejaVu Sans; SimSun: Noto Sans CJK SC; MingLiU:
  // Noto Sans CJK TC; Angsana New: a Thai font such as Loma or Garuda). A face that is neither
  // installed nor a substitute's, or none, gets a face that covers the character set.
  // FALSE when the object already holds a font.
  BOOL CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight,
                  BYTE bItalic, BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet,
                  BYTE nOutPrecision, BYTE nClipPrecision, BYTE nQuality, BYTE nPitchAndFamily,
                  const char* lpszFacename);
  BOOL CreateFont(const FontSpec& request);
  BOOL DeleteObject();
  bool IsCreated() const;
  // What was asked for (empty request when not created).
  const FontSpec& GetSpec() const;
  // The family the layer really draws with (for CDC::GetTextFace).
  std::string RealizedFace() const;

  const gui::detail::FontData* Data() const { return m_pData.get(); }

 private:
  std::unique_ptr<gui::detail::FontData> m_pData;
};

class CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
  BOOL CreateSolidBrush(COLORREF color);
  BOOL DeleteObject();
  bool IsCreated() const { return m_bCreated; }
  COLORREF GetColor() const { return m_color; }

 private:
  bool m_bCreated = false;
  COLORREF m_color = 0;
};

struct PALETTEENTRY {
  BYTE peRed = 0;
  BYTE peGreen = 0;
  BYTE peBlue = 0;
  BYTE peFlags = 0;
};

// A logical palette. On this platform every display shows true colour, so a palette changes no
// pixel; selecting and realising it keep their results (number of entries) for the callers.
class CPalette : public CGdiObject {
 public:
  // FALSE for no entries or when the palette already exists.
  BOOL CreatePalette(const PALETTEENTRY* entries, int count);
  BOOL DeleteObject();
  bool IsCreated() const { return !m_entries.empty(); }
  int GetEntryCount() const { return static_cast<int>(m_entries.size()); }
  const std::vector<PALETTEENTRY>& Entries() const { return m_entries; }

 private:
  std::vector<PALETTEENTRY> m_entries;
};

// Device-independent bitmaps: the 40-byte information header as it lies in a bitmap resource or a
// bitmap file, and the colour table entries after it. Read them with memcpy from unaligned bytes.
#pragma pack(push, 2)
struct BITMAPINFOHEADER {
  DWORD biSize;          // 40
  LONG biWidth;
  LONG biHeight;         // > 0: rows stored bottom-up; < 0: top-down
  WORD biPlanes;         // 1
  WORD biBitCount;       // 1, 4, 8, 16, 24, 32
  DWORD biCompression;   // BI_RGB, BI_RLE8, BI_RLE4
  DWORD biSizeImage;     // may be 0 for BI_RGB
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;       // 0: 2^biBitCount entries for bit counts up to 8
  DWORD biClrImportant;
};
struct BITMAPFILEHEADER {
  WORD bfType;  // "BM" = 0x4D42
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);

inline constexpr DWORD BI_RGB = 0;
inline constexpr DWORD BI_RLE8 = 1;
inline constexpr DWORD BI_RLE4 = 2;

// One font the enumeration reports: a face under which text of charSet can be shown.
struct EnumeratedFont {
  std::string face;
  BYTE charSet = ANSI_CHARSET;
};
// Return non-zero to go on with the next font, 0 to stop.
using FontEnumProc = std::function<int(const EnumeratedFont&)>;

class CDC;
// Reports every installed face (or only `face` when not empty) for every character set of the list
// above that it covers (or only `charSet` unless DEFAULT_CHARSET). Faces named "Arial", "SimSun",
// "MingLiU" and "Angsana New" are reported too, for each character set their installed substitute
// (see CFont::CreateFont) covers. Returns the last value of proc (1 when nothing was reported).
int EnumFontFamiliesEx(CDC* pDC, BYTE charSet, std::string_view face, const FontEnumProc& proc);

// The device context. Every call works on the window thread only.
class CDC {
 public:
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;
  virtual ~CDC();

  // Selection returns the object selected before (the DC's stock object at first; never null).
  // Selecting nullptr selects the stock object (the layer's default font, a white brush).
  CFont* SelectObject(CFont* pFont);
  CBrush* SelectObject(CBrush* pBrush);
  CFont* GetCurrentFont() const { return m_pFont; }
  // The face name of the selected font as this DC draws it (the installed family that serves a
  // substituted name such as "Arial" is named by its own name, e.g. "Liberation Sans").
  std::string GetTextFace() const;
  // The same into a buffer of nCount characters (terminated, cut to fit); returns characters copied.
  int GetTextFace(int nCount, char* lpszFacename) const;

  UINT SetTextAlign(UINT nFlags);  // returns the previous alignment
  UINT GetTextAlign() const { return m_textAlign; }
  int SetBkMode(int nBkMode);      // returns the previous mode
  int GetBkMode() const { return m_bkMode; }
  COLORREF SetTextColor(COLORREF color);  // returns the previous colour
  COLORREF GetTextColor() const { return m_textColor; }
  COLORREF SetBkColor(COLORREF color);
  COLORREF GetBkColor() const { return m_bkColor; }
  int SetStretchBltMode(int nMode);

  // The text (code-page bytes, see above) at (x, y) with the current alignment, colours and font.
  BOOL TextOut(int x, int y, std::string_view text);
  BOOL TextOut(int x, int y, const char* text, int nCount) {
    return TextOut(x, y, std::string_view(text, nCount < 0 ? 0 : static_cast<std::size_t>(nCount)));
  }
  // Width and height of the text's cell in the selected font.
  CSize GetTextExtent(std::string_view text) const;

  // Fills the rectangle (right and bottom exclusive) with the brush, or a colour.
  void FillRect(LPCRECT lpRect, CBrush* pBrush);
  void FillSolidRect(LPCRECT lpRect, COLORREF color);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
  // A one-pixel frame along the inside of the rectangle in the brush's colour.
  void FrameRect(LPCRECT lpRect, CBrush* pBrush);
  // A one-pixel frame: top and left lines in clrTopLeft, bottom and right lines in clrBottomRight.
  void Draw3dRect(int x, int y, int cx, int cy, COLORREF clrTopLeft, COLORREF clrBottomRight);
  void Draw3dRect(LPCRECT lpRect, COLORREF clrTopLeft, COLORREF clrBottomRight);

  // bForceBackground is accepted; see CPalette. Returns the palette selected before (never null).
  CPalette* SelectPalette(CPalette* pPalette, BOOL bForceBackground);
  // Number of entries of the selected palette (0 for the stock palette).
  UINT RealizePalette();

  // Stretches the source rectangle of a DIB onto the destination rectangle. header is the
  // information header, colors its colour table (needed for bit counts up to 8; entries counted
  // by biClrUsed or 2^biBitCount), bits the image of bitsSize bytes (rows padded to 4 bytes).
  // Supports uncompressed 8-bit (colour table) and 24-bit images. A negative source width or
  // height is not supported. Returns the number of source rows drawn, 0 on failure (unsupported
  // format, bits shorter than the header says).
  int StretchDIBits(int xDest, int yDest, int nDestWidth, int nDestHeight, int xSrc, int ySrc,
                    int nSrcWidth, int nSrcHeight, const void* bits, std::size_t bitsSize,
                    const BITMAPINFOHEADER* header, const RGBQUAD* colors, UINT iUsage, DWORD dwRop);

  // The window this DC draws into (nullptr for a recording DC).
  CWnd* GetWindow() const { return m_pWnd; }

 protected:
  CDC(CWnd* pWnd, std::shared_ptr<gui::detail::DcTarget> target);

  std::shared_ptr<gui::detail::DcTarget> m_target;
  std::unique_ptr<gui::detail::DcRecorder> m_recorder;  // set by CRecordingDC

 private:
  void Record(DcOp op, const RECT& rect, CPoint point, std::string_view text, COLORREF c1,
              COLORREF c2, long long value);

  CWnd* m_pWnd = nullptr;
  CFont m_stockFont;
  CBrush m_stockBrush;
  CPalette m_stockPalette;
  CFont* m_pFont = nullptr;
  CBrush* m_pBrush = nullptr;
  CPalette* m_pPalette = nullptr;
  UINT m_textAlign = TA_LEFT | TA_TOP;
  int m_bkMode = OPAQUE;
  COLORREF m_textColor = RGB(0, 0, 0);
  COLORREF m_bkColor = RGB(255, 255, 255);
  int m_stretchMode = BLACKONWHITE;
};

// Inside OnPaint: draws into the part of the window that needs painting (clipped to it); the
// background of that part has already been erased when the invalidation asked for it.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* pWnd);
  ~CPaintDC() override;
};

// Draws into the window's client area at any time on the window thread; shown at once.
class CClientDC : public CDC {
 public:
  explicit CClientDC(CWnd* pWnd);
  ~CClientDC() override;
};
