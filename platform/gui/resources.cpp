// The resource registry: typed binary resources, cursors and dialog templates.
#include "platform/gui/resources.h"

#include <QCursor>
#include <QImage>
#include <QPixmap>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/gui/docview.h"
#include "platform/gui/window_impl.h"

namespace gui {
namespace {

struct Key {
  std::string type;  // upper case
  int id;
  friend bool operator<(const Key& a, const Key& b) { return a.type != b.type ? a.type < b.type : a.id < b.id; }
};

struct Store {
  std::mutex mutex;
  std::map<Key, std::unique_ptr<std::vector<std::uint8_t>>> resources;
  std::vector<std::unique_ptr<std::vector<std::uint8_t>>> replaced;  // still referenced, maybe
  std::map<int, std::pair<int, int>> cursorHotSpots;
  std::map<int, std::unique_ptr<DialogTemplate>> dialogs;
};

Store& Resources() {
  static Store* store = new Store;  // lives as long as the process: resource memory is never freed
  return *store;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

int MulDivRound(int a, int b, int c) {
  long long p = static_cast<long long>(a) * b;
  return static_cast<int>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

}  // namespace

void RegisterResource(std::string_view type, int id, std::span<const std::uint8_t> data) {
  Store& s = Resources();
  std::lock_guard lock(s.mutex);
  auto& slot = s.resources[Key{Upper(type), id}];
  if (slot) s.replaced.push_back(std::move(slot));
  slot = std::make_unique<std::vector<std::uint8_t>>(data.begin(), data.end());
}

ResourceData FindResource(std::string_view type, int id) {
  Store& s = Resources();
  std::lock_guard lock(s.mutex);
  auto it = s.resources.find(Key{Upper(type), id});
  if (it == s.resources.end()) return {};
  // An empty resource still exists: point at a valid address with size 0.
  static const std::uint8_t none = 0;
  return ResourceData{it->second->empty() ? &none : it->second->data(), it->second->size()};
}

void RegisterCursor(int id, std::span<const std::uint8_t> data, int hotX, int hotY) {
  RegisterResource(RT_CURSOR, id, data);
  Store& s = Resources();
  std::lock_guard lock(s.mutex);
  s.cursorHotSpots[id] = {hotX, hotY};
}

void RegisterDialogTemplate(int id, DialogTemplate dialogTemplate) {
  Store& s = Resources();
  std::lock_guard lock(s.mutex);
  s.dialogs[id] = std::make_unique<DialogTemplate>(std::move(dialogTemplate));
}

const DialogTemplate* FindDialogTemplate(int id) {
  Store& s = Resources();
  std::lock_guard lock(s.mutex);
  auto it = s.dialogs.find(id);
  return it == s.dialogs.end() ? nullptr : it->second.get();
}

CSize DialogBaseUnits(std::string_view, int pointSize) {
  // MS Sans Serif 8 measures 6 x 13; other sizes scale with the point size.
  int p = pointSize > 0 ? pointSize : 8;
  return CSize(MulDivRound(6, p, 8), MulDivRound(13, p, 8));
}

CRect MapDialogRect(const DialogTemplate& dialogTemplate, const RECT& du) {
  CSize base = DialogBaseUnits(dialogTemplate.fontFace, dialogTemplate.fontPointSize);
  return CRect(MulDivRound(du.left, base.cx, 4), MulDivRound(du.top, base.cy, 8), MulDivRound(du.right, base.cx, 4),
               MulDivRound(du.bottom, base.cy, 8));
}

namespace detail {
namespace {

struct CursorEntry {
  QCursor cursor;
};

// The hot spot of a Windows cursor file (first image), if the data is one.
bool CurHotSpot(std::span<const std::uint8_t> d, int& x, int& y) {
  if (d.size() < 6 + 16) return false;
  auto word = [&](std::size_t at) { return static_cast<int>(d[at] | (d[at + 1] << 8)); };
  if (word(0) != 0 || word(2) != 2 || word(4) < 1) return false;
  x = word(6 + 4);
  y = word(6 + 6);
  return true;
}

HCURSOR ToHandle(CursorEntry* e) { return reinterpret_cast<HCURSOR>(e); }

}  // namespace

QCursor CursorOf(HCURSOR cursor) {
  return cursor ? reinterpret_cast<CursorEntry*>(cursor)->cursor : QCursor(Qt::ArrowCursor);
}

HCURSOR LoadCursorResource(int id) {
  static auto& loaded = *new std::map<int, std::unique_ptr<CursorEntry>>;  // handles stay valid
  auto it = loaded.find(id);
  if (it != loaded.end()) return ToHandle(it->second.get());
  ResourceData data = FindResource(RT_CURSOR, id);
  if (data.empty()) return nullptr;
  QByteArray bytes(reinterpret_cast<const char*>(data.data), static_cast<qsizetype>(data.size));
  int hotX = 0;
  int hotY = 0;
  QImage image;
  if (CurHotSpot(data.bytes(), hotX, hotY)) {
    image = QImage::fromData(bytes, "CUR");
    if (image.isNull()) image = QImage::fromData(bytes, "ICO");
  } else {
    image = QImage::fromData(bytes);
    Store& s = Resources();
    std::lock_guard lock(s.mutex);
    auto spot = s.cursorHotSpots.find(id);
    if (spot != s.cursorHotSpots.end()) std::tie(hotX, hotY) = spot->second;
  }
  if (image.isNull()) return nullptr;
  auto entry = std::make_unique<CursorEntry>(CursorEntry{QCursor(QPixmap::fromImage(image), hotX, hotY)});
  HCURSOR h = ToHandle(entry.get());
  loaded[id] = std::move(entry);
  return h;
}

HCURSOR StandardCursor(int idc) {
  static auto* arrow = new CursorEntry{QCursor(Qt::ArrowCursor)};  // handles stay valid
  static auto* wait = new CursorEntry{QCursor(Qt::WaitCursor)};
  static auto* hand = new CursorEntry{QCursor(Qt::PointingHandCursor)};
  switch (idc) {
    case IDC_ARROW: return ToHandle(arrow);
    case IDC_WAIT: return ToHandle(wait);
    case IDC_HAND: return ToHandle(hand);
    default: return nullptr;
  }
}

}  // namespace detail
}  // namespace gui

HCURSOR CWinApp::LoadCursor(int nID) const { return gui::detail::LoadCursorResource(nID); }
HCURSOR CWinApp::LoadStandardCursor(int nIDCursor) const { return gui::detail::StandardCursor(nIDCursor); }
