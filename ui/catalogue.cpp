#include "ui/catalogue.h"

#include <cstring>
#include <new>
#include <string_view>

#include "platform/gui/resources.h"
#include "platform/os/codepage.h"
#include "ui/language.h"
#include "ui/log.h"
#include "ui/resource_ids.h"

#define UI_DEFINE_TEXT(name) std::string name;
UI_CATALOGUE_TEXTS(UI_DEFINE_TEXT)
#undef UI_DEFINE_TEXT

#define UI_TEXT_ADDRESS(name) &name,
const std::array<std::string*, kCatalogueSize> g_apCatalogue = {UI_CATALOGUE_TEXTS(UI_TEXT_ADDRESS)};
#undef UI_TEXT_ADDRESS

CLockedText g_strErrorLine1;
CLockedText g_strErrorLine2;

namespace ui {
namespace {

std::unique_ptr<char[]> AllocateFromFreeStore(std::size_t bytes) {
  return std::unique_ptr<char[]>(new (std::nothrow) char[bytes == 0 ? 1 : bytes]);
}

TextBufferAllocator g_allocator = AllocateFromFreeStore;

constexpr char16_t kByteOrderMark = 0xFEFF;

// Converts the resource's UTF-16 text (byte-order mark dropped) to the current code page.
std::string ConvertText(const char* bytes, std::size_t size) {
  std::u16string wide(size / 2, u'\0');
  std::memcpy(wide.data(), bytes, wide.size() * 2);
  std::u16string_view text(wide);
  if (!text.empty() && text.front() == kByteOrderMark) text.remove_prefix(1);
  std::string converted;
  if (!os::WideToCodePage(g_nCodePage, text, converted)) {
    Log("Error on convert WideChar to Multibyte - Invalid Parameter Error-");
    return {};
  }
  return converted;
}

// Text k becomes what stands before the k-th CR LF; texts without one become empty.
void SplitIntoCatalogue(std::string_view text) {
  for (std::string* entry : g_apCatalogue) {
    const std::size_t end = text.find("\r\n");
    if (end == std::string_view::npos) {
      entry->clear();
      text = {};
      continue;
    }
    entry->assign(text.substr(0, end));
    text.remove_prefix(end + 2);
  }
}

}  // namespace

void SetTextBufferAllocator(TextBufferAllocator allocator) {
  g_allocator = allocator ? allocator : AllocateFromFreeStore;
}

}  // namespace ui

int LoadLanguageText(WORD id) {
  ui::Log("Looking for languagedata");
  const gui::ResourceData resource = gui::FindResource(ui::kLangTextType, id);
  const std::size_t size = resource.size;
  // The resource is copied before the conversion, which reads the copy.
  std::unique_ptr<char[]> copy = ui::g_allocator(size);
  if (!copy) {
    g_strErrorLine1.Set(g_strErrNoMemory);
    g_strErrorLine2.Clear();
    ui::Log("Error on loading Text(No memory for malloc).\r\n");
    return 0;
  }
  if (size > 0) std::memcpy(copy.get(), resource.data, size);
  const std::string text = ui::ConvertText(copy.get(), size);
  ui::Log("Languagedata found");
  ui::SplitIntoCatalogue(text);
  return 1;
}
