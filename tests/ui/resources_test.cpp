// The built-in resources: what is registered, and that the pictures leave the text places calm.
#include <cmath>

#include "platform/gui/docview.h"
#include "platform/gui/recording_dc.h"
#include "platform/gui/resources.h"
#include "tests/ui/support.h"
#include "ui/dib.h"
#include "ui/resource_ids.h"

namespace {

using uitest::UiTest;

class UiResources : public UiTest {};

TEST_F(UiResources, EveryLanguageAndPictureIsThere) {
  for (const LanguageRow& row : g_LanguageTable) {
    const gui::ResourceData text = gui::FindResource("langtext", row.resourceId);
    ASSERT_FALSE(text.empty()) << row.englishName;
    EXPECT_EQ(text.data[0], 0xFF);
    EXPECT_EQ(text.data[1], 0xFE);
  }
  struct Picture {
    int id;
    CSize size;
  };
  for (const Picture& p : {Picture{ui::IDB_BACKGROUND, {440, 429}}, Picture{ui::IDB_PHONE_VQ20, {120, 76}},
                           Picture{ui::IDB_PHONE_VQ2X, {120, 76}}}) {
    const gui::ResourceData data = gui::FindResource(gui::RT_BITMAP, p.id);
    CDib dib;
    ASSERT_TRUE(dib.AttachMemory(data.data, FALSE, nullptr, data.size)) << p.id;
    EXPECT_EQ(dib.GetSize(), p.size);
    EXPECT_EQ(dib.GetInfoHeader().biBitCount, 8);
    EXPECT_EQ(dib.GetColorTableEntries(), 256);
  }
  EXPECT_NE(AfxGetApp()->LoadCursor(ui::IDC_HAND), nullptr);
}

TEST_F(UiResources, TemplatesInDialogUnits) {
  const gui::DialogTemplate* form = gui::FindDialogTemplate(ui::IDD_WIZARD_FORM);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->cx, 136);
  EXPECT_EQ(form->cy, 106);
  ASSERT_EQ(form->controls.size(), 2u);
  EXPECT_EQ(form->controls[0].id, ui::IDC_PROGRESS);
  EXPECT_EQ(form->controls[1].id, ui::IDC_DEFAULT_BUTTON);
  EXPECT_EQ(form->controls[1].kind, gui::DialogControl::Kind::DefPushButton);
  EXPECT_FALSE(form->controls[1].visible);
  const gui::DialogTemplate* close = gui::FindDialogTemplate(ui::IDD_CLOSE);
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(close->caption, "Close");
  EXPECT_TRUE(close->controls.empty());
  const gui::DialogTemplate* license = gui::FindDialogTemplate(ui::IDD_LICENSE);
  ASSERT_NE(license, nullptr);
  EXPECT_EQ(license->caption, "License");
  EXPECT_EQ(license->cx, 288);
  EXPECT_EQ(license->cy, 197);
  ASSERT_EQ(license->controls.size(), 2u);
  EXPECT_EQ(license->controls[1].id, ui::IDC_DISAGREE);
  EXPECT_EQ(license->controls[1].x, 98);
  EXPECT_EQ(license->controls[1].y, 138);
}

double Luminance(COLORREF c) { return 0.299 * GetRValue(c) + 0.587 * GetGValue(c) + 0.114 * GetBValue(c); }

// Black text needs a light ground: under the heading and the text lines, the list and the
// percentage the background stays light and nearly flat.
TEST_F(UiResources, BackgroundIsLightWhereTextsStand) {
  const gui::ResourceData data = gui::FindResource(gui::RT_BITMAP, ui::IDB_BACKGROUND);
  CDib dib;
  ASSERT_TRUE(dib.AttachMemory(data.data, FALSE, nullptr, data.size));
  CRecordingDC dc(440, 429);
  dib.Draw(&dc, {0, 0}, dib.GetSize());
  const CRect textPlaces[] = {{55, 22, 170, 46}, {0, 338, 440, 425}, {0, 294, 250, 338}};
  for (const CRect& r : textPlaces) {
    double darkest = 255;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) darkest = std::min(darkest, Luminance(dc.GetPixel(x, y)));
    EXPECT_GT(darkest, 225) << r.left << "," << r.top;
  }
}

}  // namespace
