// CDib: attaching, sizes, palettes, drawing, files, and run-length compression.
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gui/recording_dc.h"
#include "platform/gui/testing.h"
#include "platform/os/global_memory.h"
#include "tests/ui/support.h"
#include "ui/dib.h"
#include "ui/rle.h"

namespace {

using uitest::UiTest;

// A packed bitmap: header, colour table, bits.
std::vector<std::uint8_t> Packed(int width, int height, int bits, DWORD headerSize = 40, DWORD clrUsed = 0,
                                 DWORD compression = BI_RGB, std::vector<std::uint8_t> image = {}) {
  BITMAPINFOHEADER h{};
  h.biSize = headerSize;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(bits);
  h.biCompression = compression;
  h.biSizeImage = compression == BI_RGB ? 0 : static_cast<DWORD>(image.size());
  h.biClrUsed = clrUsed;
  const int entries = clrUsed != 0 ? static_cast<int>(clrUsed) : bits <= 8 ? 1 << bits : 0;
  std::vector<std::uint8_t> out(sizeof h);
  std::memcpy(out.data(), &h, sizeof h);
  for (int i = 0; i < entries; ++i) {
    const auto v = static_cast<std::uint8_t>(i * 255 / std::max(entries - 1, 1));
    out.insert(out.end(), {v, static_cast<std::uint8_t>(255 - v), static_cast<std::uint8_t>(i % 7 * 30), 0});
  }
  if (image.empty()) image.assign(ui::rle::RowStride(width, bits) * std::abs(height), 0);
  out.insert(out.end(), image.begin(), image.end());
  return out;
}

// An 8-bit image with runs, single pixels and a ramp, row by row (padded rows).
std::vector<std::uint8_t> Pattern(int width, int height, int bits) {
  const std::size_t stride = ui::rle::RowStride(width, bits);
  std::vector<std::uint8_t> image(stride * height, 0);
  const int colours = 1 << bits;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int v = (x < width / 3) ? y % colours : (x < 2 * width / 3) ? (x * 7 + y) % colours : (x / 5) % colours;
      if (bits == 8) image[y * stride + x] = static_cast<std::uint8_t>(v);
      else image[y * stride + x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? v << 4 : v);
    }
  }
  return image;
}

class UiDib : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    gui::testing::SetMessageBoxHandler([this](std::string_view text, std::string_view, UINT) {
      m_messages.emplace_back(text);
      return IDOK;
    });
  }
  void TearDown() override {
    gui::testing::SetMessageBoxHandler(nullptr);
    UiTest::TearDown();
  }
  std::vector<std::string> m_messages;
};

TEST_F(UiDib, EmptyObjectDrawsNothing) {
  CDib dib;
  CRecordingDC dc(10, 10);
  EXPECT_EQ(dib.GetSize(), CSize(0, 0));
  EXPECT_EQ(dib.Draw(&dc, {0, 0}, {10, 10}), FALSE);
  EXPECT_TRUE(dc.Calls(DcOp::StretchDIBits).empty());
  EXPECT_EQ(dib.RealizePaletteIn(&dc), 0u);
}

TEST_F(UiDib, ColourTableAndPaletteFollowTheBitCount) {
  struct Case {
    int bits;
    DWORD clrUsed;
    int entries;
  };
  const Case cases[] = {{8, 0, 256}, {8, 16, 16}, {4, 0, 16}, {1, 0, 2}, {24, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    const auto packed = Packed(4, 4, c.bits, 40, c.clrUsed);
    CDib dib;
    ASSERT_TRUE(dib.AttachMemory(packed.data(), FALSE, nullptr, packed.size()));
    EXPECT_EQ(dib.GetColorTableEntries(), c.entries);
    EXPECT_EQ(dib.GetPalette() != nullptr, c.entries > 0);
    if (dib.GetPalette()) {
      EXPECT_EQ(dib.GetPalette()->GetEntryCount(), c.entries);
    }
    EXPECT_EQ(dib.GetHeaderAlloc(), CDib::noAlloc);
  }
}

TEST_F(UiDib, ImageSizeFromTheRowLength) {
  EXPECT_EQ(CDib(CSize(4, 4), 8).GetImageSize(), 16u);
  EXPECT_EQ(CDib(CSize(440, 429), 8).GetImageSize(), 188760u);
  EXPECT_EQ(CDib(CSize(5, 3), 4).GetImageSize(), 12u);  // 5 nibbles round up to 4 bytes a row
  EXPECT_EQ(CDib(CSize(3, 2), 24).GetImageSize(), 24u);
  CDib sized(CSize(7, 2), 8);
  EXPECT_EQ(sized.GetColorTableEntries(), 256);
  EXPECT_TRUE(sized.GetImageBits().empty());  // no bits yet
}

TEST_F(UiDib, RefusedHeadersReportAndReturnZero) {
  const auto oldHeader = Packed(4, 4, 8, 12);
  CDib dib;
  EXPECT_EQ(dib.AttachMemory(oldHeader.data(), FALSE, nullptr, oldHeader.size()), FALSE);
  ASSERT_EQ(m_messages.size(), 1u);
  EXPECT_EQ(m_messages[0], "Fehler in AttachMemory");
  auto shortImage = Packed(16, 16, 8);
  shortImage.resize(shortImage.size() - 10);  // the header claims more than there is
  EXPECT_EQ(dib.AttachMemory(shortImage.data(), FALSE, nullptr, shortImage.size()), FALSE);
  auto tableBeyond = Packed(4, 4, 8);
  const DWORD manyColours = 0x40000000;
  std::memcpy(tableBeyond.data() + offsetof(BITMAPINFOHEADER, biClrUsed), &manyColours, sizeof manyColours);
  EXPECT_EQ(dib.AttachMemory(tableBeyond.data(), FALSE, nullptr, tableBeyond.size()), FALSE);
  EXPECT_EQ(m_messages.size(), 3u);
}

TEST_F(UiDib, OwnedBlocksAreTakenOver) {
  const auto packed = Packed(4, 4, 8);
  auto* block = new std::uint8_t[packed.size()];
  std::memcpy(block, packed.data(), packed.size());
  CDib dib;
  ASSERT_TRUE(dib.AttachMemory(block, TRUE, nullptr, packed.size()));
  EXPECT_EQ(dib.GetHeaderAlloc(), CDib::crtAlloc);
  dib.Clear();  // frees it (the sanitizer build checks)
  EXPECT_FALSE(dib.HasHeader());

  os::GlobalBlock* global = os::GlobalAlloc(os::kGmemMoveable, packed.size());
  ASSERT_NE(global, nullptr);
  void* locked = os::GlobalLock(global);
  std::memcpy(locked, packed.data(), packed.size());
  ASSERT_TRUE(dib.AttachMemory(locked, TRUE, global, packed.size()));
  EXPECT_EQ(dib.GetHeaderAlloc(), CDib::heapAlloc);
  EXPECT_EQ(dib.GetSize(), CSize(4, 4));
}  // the object unlocks and frees the global block

TEST_F(UiDib, DrawStretchesTheWholeBitmap) {
  auto packed = Packed(4, 2, 8, 40, 0, BI_RGB, {3, 3, 3, 3, 7, 7, 7, 7});
  CDib dib;
  ASSERT_TRUE(dib.AttachMemory(packed.data(), FALSE, nullptr, packed.size()));
  CRecordingDC dc(20, 20);
  EXPECT_EQ(dib.Draw(&dc, {2, 3}, {8, 4}), TRUE);
  const auto draws = dc.Calls(DcOp::StretchDIBits);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].rect, CRect(2, 3, 10, 7));
  const RGBQUAD top = dib.GetColorTable()[7];  // rows are stored bottom-up
  EXPECT_EQ(dc.GetPixel(2, 3), RGB(top.rgbRed, top.rgbGreen, top.rgbBlue));
}

TEST_F(UiDib, WriteThenReadGivesTheSameBitmap) {
  for (int bits : {8, 4, 24}) {
    SCOPED_TRACE(bits);
    auto packed = Packed(9, 5, bits, 40, 0, BI_RGB, bits == 24 ? std::vector<std::uint8_t>{} : Pattern(9, 5, bits));
    CDib original;
    ASSERT_TRUE(original.AttachMemory(packed.data(), FALSE, nullptr, packed.size()));
    std::stringstream file;
    ASSERT_TRUE(original.Write(file));
    CDib copy;
    ASSERT_TRUE(copy.Read(file));
    const BITMAPINFOHEADER a = original.GetInfoHeader();
    const BITMAPINFOHEADER b = copy.GetInfoHeader();
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
    ASSERT_EQ(copy.GetColorTableEntries(), original.GetColorTableEntries());
    EXPECT_EQ(std::memcmp(copy.GetColorTable(), original.GetColorTable(), 4 * copy.GetColorTableEntries()), 0);
    const auto x = original.GetImageBits();
    const auto y = copy.GetImageBits();
    EXPECT_EQ(std::vector<std::uint8_t>(x.begin(), x.end()), std::vector<std::uint8_t>(y.begin(), y.end()));
  }
}

TEST_F(UiDib, ShortOrForeignFilesAreReadErrors) {
  const std::string cases[] = {"", "BM\x10", std::string("XX") + std::string(60, '\0')};
  for (const std::string& bytes : cases) {
    std::stringstream file(bytes);
    CDib dib;
    EXPECT_EQ(dib.Read(file), FALSE);
  }
  CDib full;
  auto packed = Packed(8, 8, 8);
  ASSERT_TRUE(full.AttachMemory(packed.data(), FALSE, nullptr, packed.size()));
  std::stringstream file;
  full.Write(file);
  std::string cut = file.str();
  cut.resize(cut.size() - 1);
  std::stringstream cutFile(cut);
  CDib dib;
  EXPECT_EQ(dib.Read(cutFile), FALSE);
  EXPECT_EQ(m_messages, std::vector<std::string>(4, "Lesefehler"));
}

TEST_F(UiDib, MapAndSaveFiles) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "vq_ui_dib";
  std::filesystem::create_directories(dir);
  auto packed = Packed(6, 3, 8, 40, 0, BI_RGB, Pattern(6, 3, 8));
  CDib dib;
  ASSERT_TRUE(dib.AttachMemory(packed.data(), FALSE, nullptr, packed.size()));
  const std::string saved = (dir / "saved.bmp").string();
  ASSERT_TRUE(dib.SaveToMappedFile(saved.c_str()));
  EXPECT_EQ(std::filesystem::file_size(saved), 54u + 1024u + 24u);
  EXPECT_EQ(dib.GetSize(), CSize(6, 3));

  CDib mapped;
  ASSERT_TRUE(mapped.MapFile(saved.c_str()));
  const auto a = dib.GetImageBits();
  const auto b = mapped.GetImageBits();
  EXPECT_EQ(std::vector<std::uint8_t>(a.begin(), a.end()), std::vector<std::uint8_t>(b.begin(), b.end()));
  mapped.UnmapFile();
  EXPECT_FALSE(mapped.HasHeader());

  EXPECT_FALSE(mapped.MapFile((dir / "absent.bmp").string().c_str()));
  std::ofstream((dir / "foreign.bmp").string()) << "GIF89a and more";
  EXPECT_FALSE(mapped.MapFile((dir / "foreign.bmp").string().c_str()));
  EXPECT_EQ(m_messages, (std::vector<std::string>{"Leere Bitmap-Datei", "Ungültige Bitmap-Datei"}));
  std::filesystem::remove_all(dir);
}

TEST_F(UiDib, CompressAndDecompressKeepThePixels) {
  for (int bits : {8, 4}) {
    SCOPED_TRACE(bits);
    const auto image = Pattern(37, 11, bits);
    auto packed = Packed(37, 11, bits, 40, 0, BI_RGB, image);
    CDib dib;
    ASSERT_TRUE(dib.AttachMemory(packed.data(), FALSE, nullptr, packed.size()));
    CRecordingDC dc(40, 12);
    ASSERT_TRUE(dib.Compress(&dc, TRUE));
    EXPECT_EQ(dib.GetInfoHeader().biCompression, bits == 8 ? BI_RLE8 : BI_RLE4);
    EXPECT_EQ(dib.GetImageSize(), dib.GetInfoHeader().biSizeImage);
    EXPECT_EQ(dib.GetColorTableEntries(), 1 << bits);
    EXPECT_EQ(dib.GetBitsAlloc(), CDib::crtAlloc);
    CRecordingDC compressedDraw(37, 11);
    EXPECT_TRUE(dib.Draw(&compressedDraw, {0, 0}, dib.GetSize()));
    ASSERT_TRUE(dib.Compress(&dc, FALSE));
    EXPECT_EQ(dib.GetInfoHeader().biCompression, BI_RGB);
    const auto back = dib.GetImageBits();
    EXPECT_EQ(std::vector<std::uint8_t>(back.begin(), back.end()), image);
    CRecordingDC plainDraw(37, 11);
    dib.Draw(&plainDraw, {0, 0}, dib.GetSize());
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < 37; ++x) ASSERT_EQ(compressedDraw.GetPixel(x, y), plainDraw.GetPixel(x, y)) << x << "," << y;
  }
}

TEST_F(UiDib, CompressRefusesWhatItCannotConvert) {
  CRecordingDC dc(4, 4);
  auto trueColour = Packed(4, 4, 24);
  CDib dib;
  ASSERT_TRUE(dib.AttachMemory(trueColour.data(), FALSE, nullptr, trueColour.size()));
  EXPECT_EQ(dib.Compress(&dc, TRUE), FALSE);
  CDib section(CSize(4, 4), 8);
  ASSERT_NE(section.MakeSection(&dc), nullptr);
  EXPECT_EQ(section.MakeSection(&dc), nullptr);  // bits are there now
  EXPECT_EQ(section.Compress(&dc, TRUE), FALSE);
}

TEST_F(UiDib, RunLengthEncodingHasTheBitmapFormat) {
  // width 7, rows padded to 8 bytes: a run and a literal of four; an odd literal (padded) and a run
  const std::vector<std::uint8_t> image = {5, 5, 5, 1, 2, 3, 7, 0, 9, 1, 2, 9, 9, 9, 9, 0};
  EXPECT_EQ(ui::rle::Encode8(image, 7, 2),
            (std::vector<std::uint8_t>{3, 5, 0, 4, 1, 2, 3, 7, 0, 0, 0, 3, 9, 1, 2, 0, 4, 9, 0, 1}));
  // 4 bits: pixels 1 1 1 1 2 3 4 -> run of four 1s, literal of three
  const std::vector<std::uint8_t> nibbles = {0x11, 0x11, 0x23, 0x40};
  EXPECT_EQ(ui::rle::Encode4(nibbles, 7, 1), (std::vector<std::uint8_t>{4, 0x11, 0, 3, 0x23, 0x40, 0, 1}));
}

TEST_F(UiDib, RunLengthDecodingIsBoundedAndSkips) {
  std::vector<std::uint8_t> image;
  // delta: skip 2 right and 1 up, then a run of 3 that runs past the right edge
  EXPECT_TRUE(ui::rle::Decode8(std::vector<std::uint8_t>{1, 4, 0, 2, 2, 1, 3, 6, 0, 1}, 4, 2, image));
  EXPECT_EQ(image, (std::vector<std::uint8_t>{4, 0, 0, 0, 0, 0, 0, 6}));
  // cut off in the middle of a literal, and a run with no end marker
  EXPECT_FALSE(ui::rle::Decode8(std::vector<std::uint8_t>{0, 5, 1, 2}, 8, 1, image));
  EXPECT_FALSE(ui::rle::Decode4(std::vector<std::uint8_t>{2, 0x12}, 4, 2, image));
  EXPECT_EQ(image.size(), 8u);
  // far too many pixels for the image: nothing is written outside it
  std::vector<std::uint8_t> flood;
  for (int i = 0; i < 1000; ++i) flood.insert(flood.end(), {255, 1, 0, 0});
  EXPECT_TRUE(ui::rle::Decode8(flood, 3, 3, image));
  EXPECT_EQ(image.size(), 12u);
}

}  // namespace
