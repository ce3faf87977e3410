// Basic types of the window framework: integer aliases, window and cursor handles, colours, points,
// sizes and rectangles, with the names and meanings the application and screen code use.
#pragma once

#include <cstdint>

using BOOL = int;
inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// A window handle: a token that names one window of this process. It may be copied to any thread;
// PostMessage(HWND, ...) is safe from any thread and fails (FALSE) once the window is gone.
struct HWND__;
using HWND = HWND__*;

// A cursor handle from CWinApp::LoadCursor / LoadStandardCursor; valid for the whole process.
struct HCURSOR__;
using HCURSOR = HCURSOR__*;

constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFFu); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFFu); }
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
  return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16);
}
constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
  return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}
// Signed coordinates packed into an LPARAM by mouse messages.
constexpr int GET_X_LPARAM(LPARAM v) { return static_cast<std::int16_t>(LOWORD(static_cast<std::uintptr_t>(v))); }
constexpr int GET_Y_LPARAM(LPARAM v) { return static_cast<std::int16_t>(HIWORD(static_cast<std::uintptr_t>(v))); }

// 0x00BBGGRR
using COLORREF = DWORD;
constexpr COLORREF RGB(int r, int g, int b) {
  return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

struct POINT {
  LONG x = 0;
  LONG y = 0;
};

struct SIZE {
  LONG cx = 0;
  LONG cy = 0;
};

// left/top inclusive, right/bottom exclusive (a rectangle (10, 20)-(30, 40) is 20 x 20 pixels).
struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};

class CPoint : public POINT {
 public:
  constexpr CPoint() = default;
  constexpr CPoint(int px, int py) : POINT{px, py} {}
  friend constexpr bool operator==(const CPoint& a, const CPoint& b) { return a.x == b.x && a.y == b.y; }
};

class CSize : public SIZE {
 public:
  constexpr CSize() = default;
  constexpr CSize(int w, int h) : SIZE{w, h} {}
  friend constexpr bool operator==(const CSize& a, const CSize& b) { return a.cx == b.cx && a.cy == b.cy; }
};

class CRect : public RECT {
 public:
  constexpr CRect() = default;
  constexpr CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  constexpr CRect(const RECT& r) : RECT(r) {}  // NOLINT: implicit like the framework's own
  constexpr CRect(CPoint topLeft, CSize size)
      : RECT{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy} {}
  constexpr int Width() const { return right - left; }
  constexpr int Height() const { return bottom - top; }
  constexpr CSize Size() const { return {Width(), Height()}; }
  constexpr CPoint TopLeft() const { return {left, top}; }
  constexpr bool IsRectEmpty() const { return right <= left || bottom <= top; }
  // Inside when left <= x < right and top <= y < bottom.
  constexpr bool PtInRect(CPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  constexpr void OffsetRect(int dx, int dy) { left += dx; right += dx; top += dy; bottom += dy; }
  friend constexpr bool operator==(const CRect& a, const CRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
  }
};

using LPRECT = RECT*;
using LPCRECT = const RECT*;
