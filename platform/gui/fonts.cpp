// Fonts: faces resolved to installed families (with the substitutes for faces Linux lacks), sizes
// from cell heights, character-set coverage and the font enumeration.
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QRawFont>

#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <utility>

#include "platform/gui/gdi.h"
#include "platform/gui/window_impl.h"
#include "platform/os/codepage.h"

namespace gui::detail {

struct FontData {
  FontSpec request;
  QFont font;
};

namespace {

struct Alias {
  const char* name;
  std::array<const char*, 4> families;  // installed substitutes, best first
};
// Faces the program asks for by name that Linux systems do not carry. DejaVu Sans serves Arial
// for the scripts Liberation Sans lacks (Arabic).
constexpr std::array<Alias, 4> kAliases{{
    {"Arial", {"Liberation Sans", "Arimo", "DejaVu Sans", nullptr}},
    {"SimSun", {"Noto Sans CJK SC", "Noto Serif CJK SC", nullptr, nullptr}},
    {"MingLiU", {"Noto Sans CJK TC", "Noto Serif CJK TC", nullptr, nullptr}},
    {"Angsana New", {"Loma", "Garuda", "Norasi", "Kinnari"}},
}};

struct CharSetInfo {
  BYTE charSet;
  UINT codePage;
  QFontDatabase::WritingSystem writingSystem;
  const char16_t* sample;  // letters a font must have to show text of the character set
  const char* defaultFace;  // the alias face the layer uses when no face is asked for
};
constexpr std::array<CharSetInfo, 10> kCharSets{{
    {ANSI_CHARSET, 1252, QFontDatabase::Latin, u"AaZz\u00c4\u00e4\u00e9\u00f1\u00df", "Arial"},
    {GB2312_CHARSET, 936, QFontDatabase::SimplifiedChinese, u"\u4e2d\u6587\u7b80\u4f53\u8bf4", "SimSun"},
    {CHINESEBIG5_CHARSET, 950, QFontDatabase::TraditionalChinese, u"\u4e2d\u6587\u7e41\u9ad4\u8aaa", "MingLiU"},
    {HEBREW_CHARSET, 1255, QFontDatabase::Hebrew, u"\u05d0\u05d1\u05d2\u05e9", "Arial"},
    {ARABIC_CHARSET, 1256, QFontDatabase::Arabic, u"\u0627\u0628\u062a\u0639\u0645", "Arial"},
    {GREEK_CHARSET, 1253, QFontDatabase::Greek, u"\u0391\u0392\u03a9\u03b1\u03c9", "Arial"},
    {TURKISH_CHARSET, 1254, QFontDatabase::Latin, u"\u011e\u011f\u0130\u0131\u015e\u015f", "Arial"},
    {THAI_CHARSET, 874, QFontDatabase::Thai, u"\u0e01\u0e02\u0e04\u0e2a\u0e2d", "Angsana New"},
    {EASTEUROPE_CHARSET, 1250, QFontDatabase::Latin, u"\u0104\u0105\u010c\u010d\u0141\u0142\u0158\u0159\u0150\u0151", "Arial"},
    {RUSSIAN_CHARSET, 1251, QFontDatabase::Cyrillic, u"\u0410\u0411\u0416\u042f\u0430\u044f", "Arial"},
}};

const CharSetInfo* InfoOf(BYTE charSet) {
  for (const CharSetInfo& info : kCharSets)
    if (info.charSet == charSet) return &info;
  return nullptr;
}

QString InstalledFamily(const QString& name) {
  static std::map<QString, QString> cache;
  auto it = cache.find(name.toCaseFolded());
  if (it != cache.end()) return it->second;
  QString found;
  for (const QString& family : QFontDatabase::families())
    if (family.compare(name, Qt::CaseInsensitive) == 0) found = family;
  cache[name.toCaseFolded()] = found;
  return found;
}

bool Covers(const QString& family, const CharSetInfo& info);

// The first installed family that serves an alias face and covers the character set (any
// character set for nullptr); empty when there is none.
QString AliasTarget(const QString& face, const CharSetInfo* info) {
  for (const Alias& alias : kAliases) {
    if (face.compare(QLatin1String(alias.name), Qt::CaseInsensitive) != 0) continue;
    for (const char* family : alias.families) {
      QString installed = family ? InstalledFamily(QLatin1String(family)) : QString();
      if (!installed.isEmpty() && (!info || Covers(installed, *info))) return installed;
    }
  }
  return {};
}

bool Covers(const QString& family, const CharSetInfo& info) {
  static std::map<std::pair<QString, int>, bool> cache;
  auto key = std::make_pair(family, static_cast<int>(info.charSet));
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  bool covered = false;
  if (QFontDatabase::writingSystems(family).contains(info.writingSystem)) {
    QFont f(family);
    QRawFont raw = QRawFont::fromFont(f, info.writingSystem);
    covered = raw.isValid() && raw.familyName().compare(family, Qt::CaseInsensitive) == 0;
    for (const char16_t* c = info.sample; covered && *c; ++c) covered = raw.supportsCharacter(QChar(*c));
  }
  cache[key] = covered;
  return covered;
}

QString ResolveFamily(const FontSpec& request) {
  const CharSetInfo* info = InfoOf(request.charSet == DEFAULT_CHARSET ? ANSI_CHARSET : request.charSet);
  QString face = FromUtf8(request.face);
  if (!face.isEmpty()) {
    QString installed = InstalledFamily(face);
    if (!installed.isEmpty()) return installed;
    QString target = AliasTarget(face, info);
    if (!target.isEmpty()) return target;
  }
  // No face, or one that cannot show the character set: a face that can.
  if (info) {
    QString target = AliasTarget(QLatin1String(info->defaultFace), info);
    if (!target.isEmpty()) return target;
    for (const QString& family : QFontDatabase::families(info->writingSystem))
      if (Covers(family, *info)) return family;
  }
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

QFont::StyleHint HintOf(BYTE pitchAndFamily) {
  switch (pitchAndFamily & 0xF0) {
    case FF_ROMAN: return QFont::Serif;
    case FF_SWISS: return QFont::SansSerif;
    case FF_MODERN: return QFont::Monospace;
    default: return QFont::AnyStyle;
  }
}

QFont MakeQFont(const FontSpec& request) {
  QFont f(ResolveFamily(request));
  f.setStyleHint(HintOf(request.pitchAndFamily));
  int weight = request.weight <= 0 ? FW_NORMAL : std::clamp(request.weight, 100, 900);
  f.setWeight(static_cast<QFont::Weight>(weight));
  f.setItalic(request.italic);
  f.setUnderline(request.underline);
  int height = request.height == 0 ? 16 : request.height;
  if (height < 0) {
    f.setPixelSize(-height);  // the character height is the em size
  } else {
    // A cell height: ascent plus descent scale with the em size.
    QFont probe = f;
    probe.setPixelSize(1000);
    QFontMetricsF m(probe);
    double cell = m.ascent() + m.descent();
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(height * 1000.0 / (cell > 0 ? cell : 1000.0)))));
  }
  return f;
}

}  // namespace

QFont QtFontOf(const CFont* font) {
  if (font && font->Data()) return font->Data()->font;
  static const QFont* fallback = new QFont(MakeQFont(FontSpec{}));  // lives as long as the process
  return *fallback;
}

BYTE CharSetOf(const CFont* font) { return font && font->IsCreated() ? font->GetSpec().charSet : DEFAULT_CHARSET; }

QString DecodeText(std::string_view bytes, BYTE charSet) {
  std::u16string wide;
  if (!os::CodePageToWide(CodePageOfCharSet(charSet), bytes, wide)) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

}  // namespace gui::detail

UINT CodePageOfCharSet(BYTE charSet) {
  const auto* info = gui::detail::InfoOf(charSet);
  return info ? info->codePage : os::GetSystemAnsiCodePage();
}

CFont::CFont() = default;
CFont::~CFont() = default;

BOOL CFont::CreateFont(int nHeight, int, int, int, int nWeight, BYTE bItalic, BYTE bUnderline, BYTE,
                       BYTE nCharSet, BYTE, BYTE, BYTE, BYTE nPitchAndFamily, const char* lpszFacename) {
  FontSpec request;
  request.height = nHeight;
  request.weight = nWeight;
  request.italic = bItalic != 0;
  request.underline = bUnderline != 0;
  request.charSet = nCharSet;
  request.pitchAndFamily = nPitchAndFamily;
  request.face = lpszFacename ? lpszFacename : "";
  return CreateFont(request);
}

BOOL CFont::CreateFont(const FontSpec& request) {
  if (m_pData) return FALSE;
  FontSpec stored = request;
  if (stored.face.size() > 31) stored.face.resize(31);  // face names hold at most 31 characters
  m_pData = std::make_unique<gui::detail::FontData>(gui::detail::FontData{stored, gui::detail::MakeQFont(stored)});
  return TRUE;
}

BOOL CFont::DeleteObject() {
  if (!m_pData) return FALSE;
  m_pData.reset();
  return TRUE;
}

bool CFont::IsCreated() const { return m_pData != nullptr; }

const FontSpec& CFont::GetSpec() const {
  static const FontSpec empty;
  return m_pData ? m_pData->request : empty;
}

std::string CFont::RealizedFace() const { return QFontInfo(gui::detail::QtFontOf(this)).family().toStdString(); }

int EnumFontFamiliesEx(CDC*, BYTE charSet, std::string_view face, const FontEnumProc& proc) {
  using namespace gui::detail;
  QString wanted = FromUtf8(face);
  int result = 1;
  auto report = [&](const QString& name, const QString& family) {
    if (!wanted.isEmpty() && name.compare(wanted, Qt::CaseInsensitive) != 0) return true;
    for (const CharSetInfo& info : kCharSets) {
      if (charSet != DEFAULT_CHARSET && info.charSet != charSet) continue;
      if (!Covers(family, info)) continue;
      result = proc(EnumeratedFont{name.toStdString(), info.charSet});
      if (result == 0) return false;
    }
    return true;
  };
  for (const QString& family : QFontDatabase::families())
    if (!report(family, family)) return result;
  for (const Alias& alias : kAliases) {
    QString name = QLatin1String(alias.name);
    if (!InstalledFamily(name).isEmpty()) continue;  // reported under its own name above
    if (!wanted.isEmpty() && name.compare(wanted, Qt::CaseInsensitive) != 0) continue;
    for (const CharSetInfo& info : kCharSets) {
      if (charSet != DEFAULT_CHARSET && info.charSet != charSet) continue;
      if (AliasTarget(name, &info).isEmpty()) continue;
      result = proc(EnumeratedFont{name.toStdString(), info.charSet});
      if (result == 0) return result;
    }
  }
  return result;
}
