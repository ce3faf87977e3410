// The program's resources: typed binary resources found by type and integer id, cursors and dialog
// templates. Whoever owns the resource data registers it once at start-up, before the first window
// is created (for example from a static initialiser or the start of InitInstance); the layer keeps
// its own copy for the whole process, so a pointer obtained from FindResource stays valid and the
// memory is never freed by its users.
//
//   gui::RegisterResource(gui::RT_BITMAP, 133, bytes);      // information header, colours, bits
//   gui::RegisterResource("LangText", 139, utf16Bytes);     // own type names: letter case ignored
//   gui::RegisterCursor(171, curFileBytes);                 // a .cur file (or PNG/BMP with hot spot)
//   gui::RegisterDialogTemplate(131, {.caption = "License", .cx = 288, .cy = 197,
//       .controls = {{1002, gui::DialogControl::Kind::RadioButton, "", 7, 138, 12, 8}, ...}});
//
// Registering an id again replaces the earlier data (only before anyone looked it up).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gui/types.h"

namespace gui {

// Standard resource types; any other name is a custom type.
inline constexpr std::string_view RT_BITMAP = "BITMAP";
inline constexpr std::string_view RT_CURSOR = "CURSOR";
inline constexpr std::string_view RT_DIALOG = "DIALOG";
inline constexpr std::string_view RT_STRING = "STRING";

void RegisterResource(std::string_view type, int id, std::span<const std::uint8_t> data);

// A registered resource; bytes valid for the whole process.
struct ResourceData {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  bool empty() const { return data == nullptr; }
  std::span<const std::uint8_t> bytes() const { return {data, size}; }
};
// Finds a resource by type (letter case ignored) and id; empty when there is none.
ResourceData FindResource(std::string_view type, int id);

// Cursor resource: a Windows cursor file (.cur: hot spot from the file) or any image Qt reads
// (PNG, BMP, XPM) with the hot spot given. Stored as type RT_CURSOR. Loaded with
// CWinApp::LoadCursor(id).
void RegisterCursor(int id, std::span<const std::uint8_t> data, int hotX = 0, int hotY = 0);

// Dialog templates, in dialog units. Horizontal units are a quarter, vertical units an eighth of
// the base units of the template's font: MS Sans Serif 8 has base units 6 x 13, so x px = x * 6 / 4
// and y px = y * 13 / 8 (rounded to nearest).
struct DialogControl {
  enum class Kind { PushButton, DefPushButton, RadioButton, AutoRadioButton, Progress, ComboBox };
  int id = 0;
  Kind kind = Kind::PushButton;
  std::string text;  // UTF-8
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  DWORD style = 0;   // extra style bits (PBS_SMOOTH, CBS_SORT, WS_VSCROLL...); WS_VISIBLE implied
  bool visible = true;
};
struct DialogTemplate {
  std::string caption;  // UTF-8
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  std::string fontFace = "MS Sans Serif";
  int fontPointSize = 8;
  std::vector<DialogControl> controls;
};
void RegisterDialogTemplate(int id, DialogTemplate dialogTemplate);
// nullptr when not registered.
const DialogTemplate* FindDialogTemplate(int id);

// Base units (average character width and height in pixels) of a template font; MS Sans Serif 8
// (and any unknown font): 6 x 13.
CSize DialogBaseUnits(std::string_view fontFace, int pointSize);
// Converts a rectangle in dialog units of the template to pixels.
CRect MapDialogRect(const DialogTemplate& dialogTemplate, const RECT& dialogUnits);

}  // namespace gui
