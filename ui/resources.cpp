#include "ui/resources.h"

#include <cstring>
#include <mutex>
#include <span>
#include <string_view>
#include <utility>

#include "platform/gui/gdi.h"
#include "platform/gui/messages.h"
#include "platform/gui/resources.h"
#include "ui/embedded_resources.h"

namespace ui {
namespace {

// Bitmap resources carry no file header: the registered data starts with the information header.
void RegisterBitmapFile(int id, std::span<const std::uint8_t> file) {
  if (file.size() < sizeof(BITMAPFILEHEADER) || file[0] != 'B' || file[1] != 'M') return;
  gui::RegisterResource(gui::RT_BITMAP, id, file.subspan(sizeof(BITMAPFILEHEADER)));
}

void RegisterDialogTemplates() {
  std::pair<int, gui::DialogTemplate> templates[] = {
#include "res/dialogs/templates.inc"
  };
  for (auto& [id, dialogTemplate] : templates) gui::RegisterDialogTemplate(id, std::move(dialogTemplate));
}

void RegisterAll() {
  for (std::size_t i = 0; i < kEmbeddedResourceCount; ++i) {
    const EmbeddedResource& r = kEmbeddedResources[i];
    std::span<const std::uint8_t> bytes(r.data, r.size);
    const std::string_view type = r.type;
    if (type == "BITMAPFILE") {
      RegisterBitmapFile(r.id, bytes);
    } else if (type == gui::RT_CURSOR) {
      gui::RegisterCursor(r.id, bytes);
    } else {
      gui::RegisterResource(type, r.id, bytes);
    }
  }
  RegisterDialogTemplates();
}

}  // namespace

void RegisterResources() {
  static std::once_flag once;
  std::call_once(once, RegisterAll);
}

}  // namespace ui
