// Registers the program's built-in resources with the window framework: the 30 language texts,
// bitmaps 133, 173 and 174, cursor 171 and dialog templates 101, 130 and 131. Call once at
// start-up, before the first window is created; later calls do nothing.
#pragma once

namespace ui {

void RegisterResources();

}  // namespace ui
