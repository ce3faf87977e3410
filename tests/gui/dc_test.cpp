// What a device context draws, where, and with which state; DIB stretching; fonts and their
// substitutes; code-page text.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "platform/gui/framework.h"
#include "platform/gui/recording_dc.h"
#include "platform/gui/testing.h"

namespace gt = gui::testing;

namespace {

class DcTest : public ::testing::Test {
 protected:
  void SetUp() override { gt::EnsureApplication(); }
};

CFont* MakeFont(CFont& font, int height, int weight, BYTE charSet, const char* face) {
  font.CreateFont(height, 0, 0, 0, weight, 0, 0, 0, charSet, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                  FF_SWISS, face);
  return &font;
}

TEST_F(DcTest, RecordsEveryCallWithCoordinatesAndState) {
  CRecordingDC dc(440, 429);
  CFont bold;
  CBrush face(RGB(51, 152, 203));
  CBrush* oldBrush = dc.SelectObject(&face);
  CFont* oldFont = dc.SelectObject(MakeFont(bold, 16, FW_BOLD, ANSI_CHARSET, "Arial"));
  EXPECT_EQ(dc.SetTextAlign(TA_CENTER | TA_TOP), TA_LEFT | TA_TOP);
  EXPECT_EQ(dc.SetBkMode(TRANSPARENT), OPAQUE);
  dc.TextOut(110, 25, "Title");
  CRect buttonFace(302, 296, 378, 334);
  dc.FillRect(&buttonFace, &face);
  dc.Draw3dRect(300, 294, 80, 42, RGB(255, 255, 255), RGB(0, 0, 0));
  EXPECT_EQ(dc.SetTextColor(RGB(255, 255, 255)), RGB(0, 0, 0));
  dc.TextOut(340, 307, "Start");
  dc.SelectObject(oldFont);
  dc.SelectObject(oldBrush);

  const auto& calls = dc.Calls();
  std::vector<DcOp> ops;
  for (const DcCall& c : calls) ops.push_back(c.op);
  EXPECT_EQ(ops, (std::vector<DcOp>{DcOp::SelectBrush, DcOp::SelectFont, DcOp::SetTextAlign, DcOp::SetBkMode,
                                    DcOp::TextOut, DcOp::FillRect, DcOp::Draw3dRect, DcOp::SetTextColor,
                                    DcOp::TextOut, DcOp::SelectFont, DcOp::SelectBrush}));
  auto texts = dc.Calls(DcOp::TextOut);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].text, "Title");
  EXPECT_EQ(texts[0].point, CPoint(110, 25));
  EXPECT_EQ(texts[0].state.textAlign, TA_CENTER | TA_TOP);
  EXPECT_EQ(texts[0].state.bkMode, TRANSPARENT);
  EXPECT_EQ(texts[0].state.font.height, 16);
  EXPECT_EQ(texts[0].state.font.weight, FW_BOLD);
  EXPECT_EQ(texts[0].state.font.face, "Arial");
  EXPECT_EQ(texts[0].rect.top, 25);
  EXPECT_NEAR((texts[0].rect.left + texts[0].rect.right) / 2.0, 110, 1);
  EXPECT_EQ(texts[1].state.textColor, RGB(255, 255, 255));
  EXPECT_EQ(texts[1].state.brushColor, RGB(51, 152, 203));
  EXPECT_EQ(dc.Calls(DcOp::FillRect)[0].rect, buttonFace);
  EXPECT_EQ(dc.Calls(DcOp::FillRect)[0].color, RGB(51, 152, 203));
  auto frame = dc.Calls(DcOp::Draw3dRect)[0];
  EXPECT_EQ(frame.rect, CRect(300, 294, 380, 336));

  // The pixels agree: white top and left, black bottom and right, face inside.
  EXPECT_EQ(dc.GetPixel(300, 294), RGB(255, 255, 255));
  EXPECT_EQ(dc.GetPixel(300, 334), RGB(255, 255, 255));
  EXPECT_EQ(dc.GetPixel(379, 294), RGB(0, 0, 0));
  EXPECT_EQ(dc.GetPixel(300, 335), RGB(0, 0, 0));
  EXPECT_EQ(dc.GetPixel(379, 335), RGB(0, 0, 0));
  EXPECT_EQ(dc.GetPixel(303, 297), RGB(51, 152, 203));
  EXPECT_EQ(dc.GetPixel(380, 300), RGB(255, 255, 255));  // right edge exclusive

  if (const char* dir = std::getenv("VQ_BINARY_DIR")) {
    std::filesystem::create_directories(std::string(dir) + "/screenshots");
    EXPECT_TRUE(dc.SavePng(std::string(dir) + "/screenshots/gui_recording_dc.png"));
  }
  dc.Clear();
  EXPECT_TRUE(dc.Calls().empty());
}

TEST_F(DcTest, OpaqueTextFillsItsCellWithTheBackgroundColour) {
  CRecordingDC dc(100, 40);
  CFont font;
  dc.SelectObject(MakeFont(font, 16, FW_NORMAL, ANSI_CHARSET, "Arial"));
  dc.SetBkColor(RGB(0, 255, 0));
  dc.TextOut(10, 10, "   ");  // blanks: only the cell shows
  DcCall call = dc.Calls(DcOp::TextOut).at(0);
  EXPECT_EQ(call.rect.top, 10);
  EXPECT_EQ(call.rect.Height(), 16) << "a font of height 16 has a 16-pixel cell";
  EXPECT_EQ(dc.GetPixel(call.rect.left, 10), RGB(0, 255, 0));
  EXPECT_EQ(dc.GetPixel(call.rect.left, 9), RGB(255, 255, 255));
  EXPECT_EQ(dc.GetPixel(call.rect.left, 26), RGB(255, 255, 255));
}

TEST_F(DcTest, FrameRectAndFillsKeepRightAndBottomExclusive) {
  CRecordingDC dc(20, 20);
  CBrush red(RGB(255, 0, 0));
  CRect r(2, 2, 8, 6);
  dc.FrameRect(&r, &red);
  EXPECT_EQ(dc.GetPixel(2, 2), RGB(255, 0, 0));
  EXPECT_EQ(dc.GetPixel(7, 5), RGB(255, 0, 0));
  EXPECT_EQ(dc.GetPixel(8, 5), RGB(255, 255, 255));
  EXPECT_EQ(dc.GetPixel(4, 4), RGB(255, 255, 255));
  dc.FillSolidRect(10, 10, 3, 2, RGB(0, 0, 255));
  EXPECT_EQ(dc.GetPixel(12, 11), RGB(0, 0, 255));
  EXPECT_EQ(dc.GetPixel(13, 11), RGB(255, 255, 255));
  EXPECT_EQ(dc.GetPixel(12, 12), RGB(255, 255, 255));
}

// A packed DIB: header, colour table, bits; rows bottom-up unless topDown.
struct Dib {
  BITMAPINFOHEADER header{};
  std::vector<RGBQUAD> colors;
  std::vector<std::uint8_t> bits;
};

Dib EightBit2x2() {
  // Indexes: top row 1 2, bottom row 3 0 (stored bottom row first).
  Dib d;
  d.header = {40, 2, 2, 1, 8, BI_RGB, 0, 0, 0, 4, 0};
  d.colors = {{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}};  // black, red, green, blue
  d.bits = {3, 0, 0, 0, 1, 2, 0, 0};
  return d;
}

Dib TwentyFourBit2x2() {
  Dib d;
  d.header = {40, 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  // Bottom row: white, blue; top row: red, green (bytes blue, green, red; rows padded to 8).
  d.bits = {255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
  return d;
}

TEST_F(DcTest, StretchesDibsTheRightWayUpInTheirColours) {
  struct Case {
    const char* name;
    Dib dib;
    COLORREF topLeft, topRight, bottomLeft, bottomRight;
  };
  const Case cases[] = {
      {"8-bit", EightBit2x2(), RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(0, 0, 0)},
      {"24-bit", TwentyFourBit2x2(), RGB(255, 0, 0), RGB(0, 255, 0), RGB(255, 255, 255), RGB(0, 0, 255)},
  };
  for (const Case& c : cases) {
    CRecordingDC dc(20, 20);
    dc.SetStretchBltMode(COLORONCOLOR);
    int rows = dc.StretchDIBits(4, 4, 8, 8, 0, 0, 2, 2, c.dib.bits.data(), c.dib.bits.size(), &c.dib.header,
                                c.dib.colors.empty() ? nullptr : c.dib.colors.data(), DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(rows, 2) << c.name;
    EXPECT_EQ(dc.GetPixel(4, 4), c.topLeft) << c.name;
    EXPECT_EQ(dc.GetPixel(11, 4), c.topRight) << c.name;
    EXPECT_EQ(dc.GetPixel(4, 11), c.bottomLeft) << c.name;
    EXPECT_EQ(dc.GetPixel(11, 11), c.bottomRight) << c.name;
    EXPECT_EQ(dc.GetPixel(12, 12), RGB(255, 255, 255)) << c.name;
    EXPECT_EQ(dc.Calls(DcOp::StretchDIBits).at(0).rect, CRect(4, 4, 12, 12)) << c.name;
  }
}

TEST_F(DcTest, RefusesDibsItCannotReadSafely) {
  Dib ok = EightBit2x2();
  CRecordingDC dc(10, 10);
  auto stretch = [&](const Dib& d, std::size_t size, const RGBQUAD* colors) {
    return dc.StretchDIBits(0, 0, 2, 2, 0, 0, 2, 2, d.bits.data(), size, &d.header, colors, DIB_RGB_COLORS, SRCCOPY);
  };
  EXPECT_EQ(stretch(ok, ok.bits.size() - 1, ok.colors.data()), 0) << "bits shorter than the header says";
  EXPECT_EQ(stretch(ok, ok.bits.size(), nullptr), 0) << "8 bits without a colour table";
  Dib rle = ok;
  rle.header.biCompression = BI_RLE8;
  EXPECT_EQ(stretch(rle, rle.bits.size(), rle.colors.data()), 0);
  Dib four = ok;
  four.header.biBitCount = 4;
  EXPECT_EQ(stretch(four, four.bits.size(), four.colors.data()), 0);
  EXPECT_EQ(dc.GetPixel(0, 0), RGB(255, 255, 255)) << "nothing drawn";
}

TEST_F(DcTest, PaletteSelectionAndRealisationReportTheEntries) {
  CRecordingDC dc(4, 4);
  std::vector<PALETTEENTRY> entries(256);
  CPalette palette;
  ASSERT_TRUE(palette.CreatePalette(entries.data(), 256));
  EXPECT_FALSE(palette.CreatePalette(entries.data(), 256));
  CPalette* stock = dc.SelectPalette(&palette, FALSE);
  ASSERT_NE(stock, nullptr);
  EXPECT_EQ(dc.RealizePalette(), 256u);
  EXPECT_EQ(dc.SelectPalette(stock, FALSE), &palette);
  EXPECT_EQ(dc.RealizePalette(), 0u);
}

TEST_F(DcTest, TextOutConvertsWithTheCodePageOfTheFontsCharacterSet) {
  struct Case {
    BYTE charSet;
    const char* bytes;
    const char* utf8;
  };
  const Case cases[] = {
      {RUSSIAN_CHARSET, "\xD0\xF3\xF1\xF1\xEA\xE8\xE9", "Русский"},
      {GREEK_CHARSET, "\xC5\xEB\xEB\xE7\xED\xE9\xEA\xDC", "Ελληνικά"},
      {ANSI_CHARSET, "Fran\xE7" "ais", "Français"},
      {EASTEUROPE_CHARSET, "\xC8" "e\x9A" "tina", "Čeština"},
      {THAI_CHARSET, "\xE4\xB7\xC2", "ไทย"},
      {HEBREW_CHARSET, "\xF2\xE1\xF8\xE9\xFA", "עברית"},
  };
  for (const Case& c : cases) {
    CRecordingDC dc(200, 30);
    CFont font;
    dc.SelectObject(MakeFont(font, 16, FW_NORMAL, c.charSet, ""));
    dc.TextOut(0, 0, c.bytes);
    EXPECT_EQ(dc.Calls(DcOp::TextOut).at(0).utf8, c.utf8) << int(c.charSet);
    EXPECT_EQ(dc.Calls(DcOp::TextOut).at(0).text, c.bytes);
  }
}

TEST_F(DcTest, FacesLinuxLacksAreServedByTheirSubstitutes) {
  struct Case {
    const char* face;
    BYTE charSet;
    std::set<std::string> served;
  };
  const Case cases[] = {
      {"Arial", ANSI_CHARSET, {"Liberation Sans", "Arimo"}},
      {"Arial", ARABIC_CHARSET, {"DejaVu Sans"}},  // Liberation Sans has no Arabic
      {"SimSun", GB2312_CHARSET, {"Noto Sans CJK SC", "Noto Serif CJK SC"}},
      {"MingLiU", CHINESEBIG5_CHARSET, {"Noto Sans CJK TC", "Noto Serif CJK TC"}},
      {"Angsana New", THAI_CHARSET, {"Loma", "Garuda", "Norasi", "Kinnari"}},
  };
  for (const Case& c : cases) {
    CRecordingDC dc(10, 10);
    CFont font;
    dc.SelectObject(MakeFont(font, 16, FW_NORMAL, c.charSet, c.face));
    EXPECT_TRUE(c.served.count(dc.GetTextFace())) << c.face << " drawn with " << dc.GetTextFace();
    char shortBuffer[5];
    EXPECT_EQ(dc.GetTextFace(sizeof shortBuffer, shortBuffer), 4);
    EXPECT_EQ(std::strlen(shortBuffer), 4u);
  }
}

TEST_F(DcTest, EnumerationReportsAliasFacesOnlyForCharacterSetsTheirSubstituteCovers) {
  std::set<std::pair<std::string, int>> seen;
  int last = EnumFontFamiliesEx(nullptr, DEFAULT_CHARSET, {}, [&](const EnumeratedFont& f) {
    seen.insert({f.face, f.charSet});
    return 1;
  });
  EXPECT_EQ(last, 1);
  auto has = [&](const char* face, BYTE cs) { return seen.count({face, cs}) == 1; };
  EXPECT_TRUE(has("Arial", ANSI_CHARSET));
  EXPECT_TRUE(has("Arial", RUSSIAN_CHARSET));
  EXPECT_TRUE(has("Arial", GREEK_CHARSET));
  EXPECT_TRUE(has("Arial", EASTEUROPE_CHARSET));
  EXPECT_TRUE(has("Arial", TURKISH_CHARSET));
  EXPECT_TRUE(has("Arial", HEBREW_CHARSET));
  EXPECT_TRUE(has("Arial", ARABIC_CHARSET));
  EXPECT_FALSE(has("Arial", THAI_CHARSET));
  EXPECT_FALSE(has("Arial", GB2312_CHARSET));
  EXPECT_TRUE(has("SimSun", GB2312_CHARSET));
  EXPECT_TRUE(has("MingLiU", CHINESEBIG5_CHARSET));
  EXPECT_TRUE(has("Angsana New", THAI_CHARSET));
  EXPECT_FALSE(has("Angsana New", GB2312_CHARSET));
  EXPECT_TRUE(has("Liberation Sans", ANSI_CHARSET));

  // One character set, one face, and stopping early.
  int calls = 0;
  EnumFontFamiliesEx(nullptr, THAI_CHARSET, "Angsana New", [&](const EnumeratedFont& f) {
    EXPECT_EQ(f.face, "Angsana New");
    EXPECT_EQ(f.charSet, THAI_CHARSET);
    ++calls;
    return 1;
  });
  EXPECT_EQ(calls, 1);
  calls = 0;
  EXPECT_EQ(EnumFontFamiliesEx(nullptr, DEFAULT_CHARSET, {}, [&](const EnumeratedFont&) { return ++calls, 0; }), 0);
  EXPECT_EQ(calls, 1);
}

TEST_F(DcTest, CellHeightsFollowTheFontHeight) {
  for (int height : {14, 16, 24}) {
    CRecordingDC dc(10, 10);
    CFont font;
    dc.SelectObject(MakeFont(font, height, FW_NORMAL, ANSI_CHARSET, "Arial"));
    EXPECT_NEAR(dc.GetTextExtent("Ag").cy, height, 1) << height;
  }
}

TEST(SysInfoTest, VersionRecordDescribesThisSystem) {
  OSVERSIONINFO info;
  ASSERT_TRUE(GetVersionEx(&info));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  EXPECT_GT(info.dwMajorVersion, 0u);
  EXPECT_NE(std::string(info.szCSDVersion).find("Linux"), std::string::npos);
  EXPECT_LT(std::strlen(info.szCSDVersion), sizeof info.szCSDVersion);
  OSVERSIONINFO wrong;
  wrong.dwOSVersionInfoSize = 12;
  EXPECT_FALSE(GetVersionEx(&wrong));
}

}  // namespace
