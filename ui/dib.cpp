#include "ui/dib.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>

#include "platform/gui/wnd.h"
#include "platform/os/debug_output.h"
#include "platform/os/global_memory.h"
#include "ui/rle.h"

namespace {

constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kFileHeaderSize = 14;
constexpr WORD kBitmapType = 0x4D42;  // "BM"
constexpr std::size_t kReadChunk = 1 << 20;
constexpr LONG kMaxDimension = 1 << 16;             // pixels per side the class accepts
constexpr std::size_t kMaxExpandedImage = 1u << 28;  // bytes an expanded image may take

// Raised inside an operation when the data cannot be used; the operation reports it.
struct DibFault {};

void ShowMessage(const char* text) { AfxMessageBox(text); }

void Trace(const char* format, long value) {
  if (!os::DebugOutputEnabled()) return;
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, format, value);
  os::OutputDebugString(buffer);
}

BITMAPINFOHEADER LoadHeader(const std::uint8_t* bytes) {
  BITMAPINFOHEADER header;
  std::memcpy(&header, bytes, sizeof header);
  return header;
}

int RowsOf(const BITMAPINFOHEADER& h) {
  const long long rows = h.biHeight;  // wide enough to negate the smallest height
  return static_cast<int>(std::min<long long>(rows < 0 ? -rows : rows, std::numeric_limits<int>::max()));
}

std::size_t UncompressedSize(const BITMAPINFOHEADER& h) {
  return ui::rle::RowStride(h.biWidth, h.biBitCount) * static_cast<std::size_t>(RowsOf(h));
}

void ReadExactly(std::istream& file, std::uint8_t* out, std::size_t size) {
  if (!file.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(size))) throw DibFault{};
}

// Reads size bytes in chunks, so that a short file fails before memory for a huge claim is taken.
std::vector<std::uint8_t> ReadBlock(std::istream& file, std::size_t size) {
  std::vector<std::uint8_t> block;
  while (block.size() < size) {
    const std::size_t part = std::min(kReadChunk, size - block.size());
    const std::size_t at = block.size();
    block.resize(at + part);
    ReadExactly(file, block.data() + at, part);
  }
  return block;
}

std::unique_ptr<std::uint8_t[]> CopyToBlock(const std::uint8_t* data, std::size_t size) {
  auto block = std::make_unique<std::uint8_t[]>(size == 0 ? 1 : size);
  if (size > 0) std::memcpy(block.get(), data, size);
  return block;
}

template <class T>
void PutLittleEndian(std::vector<std::uint8_t>& out, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::vector<std::uint8_t> FileHeader(DWORD fileSize, DWORD bitsOffset) {
  std::vector<std::uint8_t> out;
  PutLittleEndian<WORD>(out, kBitmapType);
  PutLittleEndian<DWORD>(out, fileSize);
  PutLittleEndian<WORD>(out, 0);
  PutLittleEndian<WORD>(out, 0);
  PutLittleEndian<DWORD>(out, bitsOffset);
  return out;
}

// The image as uncompressed rows of its own bit count (run-length data expanded).
std::vector<std::uint8_t> Uncompressed(const BITMAPINFOHEADER& h, std::span<const std::uint8_t> bits) {
  std::vector<std::uint8_t> image;
  if (UncompressedSize(h) > kMaxExpandedImage) return image;
  if (h.biCompression == BI_RLE8) {
    ui::rle::Decode8(bits, h.biWidth, RowsOf(h), image);
  } else if (h.biCompression == BI_RLE4) {
    ui::rle::Decode4(bits, h.biWidth, RowsOf(h), image);
  } else {
    image.assign(bits.begin(), bits.end());
    image.resize(UncompressedSize(h), 0);
  }
  return image;
}

// 1- and 4-bit rows as one byte per pixel.
std::vector<std::uint8_t> ExpandTo8(const BITMAPINFOHEADER& h, const std::vector<std::uint8_t>& image) {
  const int rows = RowsOf(h);
  const std::size_t from = ui::rle::RowStride(h.biWidth, h.biBitCount);
  const std::size_t to = ui::rle::RowStride(h.biWidth, 8);
  std::vector<std::uint8_t> out(to * rows, 0);
  const int perByte = 8 / h.biBitCount;
  const int mask = (1 << h.biBitCount) - 1;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < h.biWidth; ++x) {
      const std::uint8_t byte = image[y * from + x / perByte];
      const int shift = 8 - h.biBitCount * (x % perByte + 1);
      out[y * to + x] = static_cast<std::uint8_t>((byte >> shift) & mask);
    }
  }
  return out;
}

}  // namespace

CDib::CDib() = default;

CDib::CDib(CSize size, int nBitCount) {
  SetColorTableSize(nBitCount);
  const std::size_t bytes = HeaderAndTableSize();
  TakeHeader(std::make_unique<std::uint8_t[]>(bytes), bytes);
  BITMAPINFOHEADER header{};
  header.biSize = kInfoHeaderSize;
  header.biWidth = size.cx;
  header.biHeight = size.cy;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(nBitCount);
  header.biCompression = BI_RGB;
  header.biClrUsed = static_cast<DWORD>(m_nColorTableEntries);
  header.biClrImportant = static_cast<DWORD>(m_nColorTableEntries);
  SetHeader(header);
  try {
    ComputeSizes();
  } catch (const DibFault&) {
    Clear();  // a size no image can have leaves the object empty
  }
}

CDib::~CDib() { Clear(); }

BITMAPINFOHEADER CDib::GetInfoHeader() const { return m_pInfoHeader ? LoadHeader(m_pInfoHeader) : BITMAPINFOHEADER{}; }

std::span<const std::uint8_t> CDib::GetImageBits() const {
  if (m_pBits == nullptr) return {};
  return {m_pBits, std::min<std::size_t>(m_dwImageSize, m_nBitsAvailable)};
}

void CDib::TakeHeader(std::unique_ptr<std::uint8_t[]> block, std::size_t size) {
  m_headerBlock = std::move(block);
  m_pWritableHeader = m_headerBlock.get();
  m_pInfoHeader = m_pWritableHeader;
  m_nHeaderAlloc = crtAlloc;
  m_nHeaderAvailable = size;
}

void CDib::SetHeader(const BITMAPINFOHEADER& header) { std::memcpy(m_pWritableHeader, &header, sizeof header); }

void CDib::ComputeSizes() {
  if (m_nHeaderAvailable < kInfoHeaderSize) throw DibFault{};
  const BITMAPINFOHEADER h = LoadHeader(m_pInfoHeader);
  if (h.biSize != kInfoHeaderSize) {
    Trace("Kein gültiges Windows-Bitmap -- wahrscheinlich OS/2-Bitmap", 0);
    throw DibFault{};
  }
  if (h.biWidth < 0 || h.biWidth > kMaxDimension || RowsOf(h) > kMaxDimension) throw DibFault{};
  if (h.biSizeImage != 0) {
    m_dwImageSize = h.biSizeImage;
  } else {
    const std::size_t size = UncompressedSize(h);
    if (size > std::numeric_limits<DWORD>::max()) throw DibFault{};
    m_dwImageSize = static_cast<DWORD>(size);
  }
  m_pColorTable = reinterpret_cast<const RGBQUAD*>(m_pInfoHeader + kInfoHeaderSize);
}

void CDib::SetColorTableSize(int nBitCount) {
  const DWORD used = m_pInfoHeader ? LoadHeader(m_pInfoHeader).biClrUsed : 0;
  if (used != 0) {
    if (used > (m_nHeaderAvailable - kInfoHeaderSize) / 4) throw DibFault{};  // table past the data
    m_nColorTableEntries = static_cast<int>(used);
    return;
  }
  switch (nBitCount) {
    case 1: m_nColorTableEntries = 2; break;
    case 4: m_nColorTableEntries = 16; break;
    case 8: m_nColorTableEntries = 256; break;
    case 16:
    case 24:
    case 32: m_nColorTableEntries = 0; break;
    default: break;
  }
}

BOOL CDib::AttachMemory(const void* lpvMem, BOOL bMustDelete, os::GlobalBlock* hGlobal, std::size_t nAvailable) {
  Clear();
  m_hGlobal = hGlobal;
  auto* bytes = static_cast<const std::uint8_t*>(lpvMem);
  if (bMustDelete && hGlobal != nullptr) {
    m_nHeaderAlloc = heapAlloc;
  } else if (bMustDelete) {
    m_headerBlock.reset(const_cast<std::uint8_t*>(bytes));  // the caller handed the block over
    m_nHeaderAlloc = crtAlloc;
  }
  m_pInfoHeader = bytes;
  m_nHeaderAvailable = nAvailable;
  try {
    if (bytes == nullptr) throw DibFault{};
    ComputeSizes();
    SetColorTableSize(LoadHeader(m_pInfoHeader).biBitCount);
    m_pBits = m_pInfoHeader + HeaderAndTableSize();
    if (nAvailable != kUnknownSize) {
      if (HeaderAndTableSize() > nAvailable || m_dwImageSize > nAvailable - HeaderAndTableSize()) throw DibFault{};
      m_nBitsAvailable = nAvailable - HeaderAndTableSize();
    }
    MakePalette();
    return TRUE;
  } catch (const DibFault&) {
    ShowMessage("Fehler in AttachMemory");
    return FALSE;
  }
}

UINT CDib::RealizePaletteIn(CDC* pDC, BOOL bBackground) const {
  if (!m_hPalette) return 0;
  pDC->SelectPalette(m_hPalette.get(), bBackground);
  return pDC->RealizePalette();
}

CSize CDib::GetSize() const {
  if (m_pInfoHeader == nullptr) return {0, 0};
  const BITMAPINFOHEADER h = LoadHeader(m_pInfoHeader);
  return {h.biWidth, h.biHeight};
}

BOOL CDib::Draw(CDC* pDC, CPoint origin, CSize size) const {
  if (m_pInfoHeader == nullptr) return FALSE;
  CPalette* previous = m_hPalette ? pDC->SelectPalette(m_hPalette.get(), TRUE) : nullptr;
  pDC->SetStretchBltMode(COLORONCOLOR);
  BITMAPINFOHEADER h = LoadHeader(m_pInfoHeader);
  std::span<const std::uint8_t> bits = GetImageBits();
  std::vector<std::uint8_t> expanded;
  // The device draws uncompressed 8- and 24-bit images; other 1-, 4- and 8-bit forms are expanded.
  if (h.biCompression != BI_RGB || h.biBitCount == 1 || h.biBitCount == 4) {
    if (h.biBitCount == 1 || h.biBitCount == 4 || h.biBitCount == 8) {
      expanded = Uncompressed(h, bits);
      if (h.biBitCount != 8) expanded = ExpandTo8(h, expanded);
      h.biBitCount = 8;
      h.biCompression = BI_RGB;
      h.biSizeImage = static_cast<DWORD>(expanded.size());
      h.biClrUsed = static_cast<DWORD>(m_nColorTableEntries);
      bits = expanded;
    }
  }
  pDC->StretchDIBits(origin.x, origin.y, size.cx, size.cy, 0, 0, h.biWidth, RowsOf(h), bits.data(), bits.size(), &h,
                     m_pColorTable, DIB_RGB_COLORS, SRCCOPY);
  if (previous != nullptr) pDC->SelectPalette(previous, TRUE);
  return TRUE;
}

const CDib::DibSection* CDib::MakeSection(CDC*) {
  if (m_pInfoHeader == nullptr || m_pBits != nullptr) return nullptr;
  const BITMAPINFOHEADER h = LoadHeader(m_pInfoHeader);
  if (h.biCompression != BI_RGB) return nullptr;
  m_hBitmap = std::make_unique<DibSection>();
  m_hBitmap->bits.assign(m_dwImageSize, 0);
  m_pBits = m_hBitmap->bits.data();
  m_nBitsAvailable = m_hBitmap->bits.size();
  return m_hBitmap.get();
}

BOOL CDib::MakePalette() {
  if (m_nColorTableEntries == 0) return FALSE;
  Trace("CDib::MakePalette -- m_nColorTableEntries = %d\n", m_nColorTableEntries);
  std::vector<PALETTEENTRY> entries(static_cast<std::size_t>(m_nColorTableEntries));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    RGBQUAD colour;
    std::memcpy(&colour, m_pInfoHeader + kInfoHeaderSize + 4 * i, sizeof colour);
    entries[i] = {colour.rgbRed, colour.rgbGreen, colour.rgbBlue, 0};
  }
  m_hPalette = std::make_unique<CPalette>();
  m_hPalette->CreatePalette(entries.data(), static_cast<int>(entries.size()));
  return TRUE;
}

BOOL CDib::MakeHalftonePalette(CDC*) {
  if (m_nColorTableEntries != 0) return FALSE;
  // A 6 x 6 x 6 colour cube and a ramp of greys.
  std::vector<PALETTEENTRY> entries;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        entries.push_back({static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51), static_cast<BYTE>(b * 51), 0});
  for (int i = 1; i <= 40; ++i) {
    const auto grey = static_cast<BYTE>(i * 255 / 41);
    entries.push_back({grey, grey, grey, 0});
  }
  m_hPalette = std::make_unique<CPalette>();
  m_hPalette->CreatePalette(entries.data(), static_cast<int>(entries.size()));
  return TRUE;
}

std::unique_ptr<CDib::DeviceBitmap> CDib::MakeDeviceBitmap(CDC*) const {
  if (m_dwImageSize == 0 || m_pBits == nullptr) return nullptr;
  const BITMAPINFOHEADER h = LoadHeader(m_pInfoHeader);
  auto device = std::make_unique<DeviceBitmap>();
  device->width = h.biWidth;
  device->height = RowsOf(h);
  device->bitCount = h.biBitCount;
  device->bits = Uncompressed(h, GetImageBits());
  return device;
}

BOOL CDib::Compress(CDC* pDC, BOOL bCompress) {
  if (m_pInfoHeader == nullptr || m_hBitmap || HeaderAndTableSize() > m_nHeaderAvailable) return FALSE;
  const BITMAPINFOHEADER h = LoadHeader(m_pInfoHeader);
  if ((h.biBitCount != 4 && h.biBitCount != 8) || (bCompress && h.biHeight < 0)) return FALSE;
  Trace("Compress: Ursprüngliche Palettengröße = %d\n", m_nColorTableEntries);
  CPalette* previous = m_hPalette ? pDC->SelectPalette(m_hPalette.get(), FALSE) : nullptr;
  const std::unique_ptr<DeviceBitmap> device = MakeDeviceBitmap(pDC);
  if (previous != nullptr) pDC->SelectPalette(previous, FALSE);
  if (!device) return FALSE;

  const std::size_t headerBytes = HeaderAndTableSize();
  std::unique_ptr<std::uint8_t[]> header = CopyToBlock(m_pInfoHeader, headerBytes);
  BITMAPINFOHEADER newHeader = h;
  std::vector<std::uint8_t> image;
  if (bCompress) {
    newHeader.biCompression = h.biBitCount == 4 ? BI_RLE4 : BI_RLE8;
    image = h.biBitCount == 4 ? ui::rle::Encode4(device->bits, device->width, device->height)
                              : ui::rle::Encode8(device->bits, device->width, device->height);
  } else {
    newHeader.biCompression = BI_RGB;
    image = device->bits;
  }
  newHeader.biSizeImage = static_cast<DWORD>(image.size());
  std::memcpy(header.get(), &newHeader, sizeof newHeader);

  Clear();
  TakeHeader(std::move(header), headerBytes);
  m_bitsBlock = CopyToBlock(image.data(), image.size());
  m_nBitsAlloc = crtAlloc;
  ComputeSizes();
  SetColorTableSize(newHeader.biBitCount);
  m_pBits = m_bitsBlock.get();
  m_nBitsAvailable = image.size();
  MakePalette();
  Trace("Compress: Neue Palettengröße = %d\n", m_nColorTableEntries);
  return TRUE;
}

void CDib::ReadBody(std::istream& file, bool intoSection, CDC* pDC) {
  std::uint8_t fileHeader[kFileHeaderSize];
  ReadExactly(file, fileHeader, sizeof fileHeader);
  BITMAPFILEHEADER fh;
  std::memcpy(&fh, fileHeader, sizeof fh);
  if (fh.bfType != kBitmapType || fh.bfOffBits < kFileHeaderSize + kInfoHeaderSize) throw DibFault{};
  const std::size_t headerBytes = fh.bfOffBits - kFileHeaderSize;
  std::vector<std::uint8_t> header = ReadBlock(file, headerBytes);
  TakeHeader(CopyToBlock(header.data(), header.size()), header.size());
  ComputeSizes();
  const BITMAPINFOHEADER h = LoadHeader(m_pInfoHeader);
  if (intoSection && h.biCompression != BI_RGB) throw DibFault{};
  SetColorTableSize(h.biBitCount);
  if (HeaderAndTableSize() > m_nHeaderAvailable) throw DibFault{};
  MakePalette();
  if (intoSection) {
    if (pDC != nullptr) RealizePaletteIn(pDC, FALSE);
    m_hBitmap = std::make_unique<DibSection>();
    Trace("DIB erfolgreich erstellt - Höhe = %d\n", h.biHeight);
    m_hBitmap->bits = ReadBlock(file, m_dwImageSize);
    m_pBits = m_hBitmap->bits.data();
    m_nBitsAvailable = m_hBitmap->bits.size();
    return;
  }
  std::vector<std::uint8_t> bits = ReadBlock(file, m_dwImageSize);
  m_bitsBlock = CopyToBlock(bits.data(), bits.size());
  m_nBitsAlloc = crtAlloc;
  m_pBits = m_bitsBlock.get();
  m_nBitsAvailable = bits.size();
}

BOOL CDib::Read(std::istream& file) {
  Clear();
  try {
    ReadBody(file, false, nullptr);
    return TRUE;
  } catch (const DibFault&) {
    ShowMessage("Lesefehler");
    return FALSE;
  }
}

BOOL CDib::ReadSection(std::istream& file, CDC* pDC) {
  Clear();
  try {
    ReadBody(file, true, pDC);
    return TRUE;
  } catch (const DibFault&) {
    ShowMessage("Fehler in ReadSection");
    return FALSE;
  }
}

BOOL CDib::Write(std::ostream& file) const {
  const std::span<const std::uint8_t> bits = GetImageBits();
  if (m_pInfoHeader == nullptr || bits.size() != m_dwImageSize || HeaderAndTableSize() > m_nHeaderAvailable) {
    ShowMessage("Fehler beim Schreiben");
    return FALSE;
  }
  const auto bitsOffset = static_cast<DWORD>(kFileHeaderSize + HeaderAndTableSize());
  const std::vector<std::uint8_t> fileHeader = FileHeader(0, bitsOffset);
  file.write(reinterpret_cast<const char*>(fileHeader.data()), static_cast<std::streamsize>(fileHeader.size()));
  file.write(reinterpret_cast<const char*>(m_pInfoHeader), static_cast<std::streamsize>(HeaderAndTableSize()));
  file.write(reinterpret_cast<const char*>(bits.data()), static_cast<std::streamsize>(bits.size()));
  if (!file) {
    ShowMessage("Fehler beim Schreiben");
    return FALSE;
  }
  return TRUE;
}

void CDib::Serialize(std::iostream& file, bool bStoring) {
  Trace("CDib::Serialize -- pos = %d\n", static_cast<long>(bStoring ? file.tellp() : file.tellg()));
  file.flush();
  if (bStoring) Write(file);
  else Read(file);
}

BOOL CDib::MapFile(const char* strPathname, BOOL) {
  Clear();
  std::ifstream in(strPathname, std::ios::binary);
  std::vector<std::uint8_t> view;
  if (in) view.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (view.empty()) {
    ShowMessage("Leere Bitmap-Datei");
    return FALSE;
  }
  if (view.size() < kFileHeaderSize || view[0] != 'B' || view[1] != 'M') {
    ShowMessage("Ungültige Bitmap-Datei");
    return FALSE;
  }
  auto mapped = std::make_unique<MappedFile>(MappedFile{strPathname, std::move(view)});
  if (!AttachMemory(mapped->view.data() + kFileHeaderSize, FALSE, nullptr, mapped->view.size() - kFileHeaderSize)) {
    return FALSE;
  }
  m_hFile = std::move(mapped);
  m_pFileView = m_hFile->view.data();
  return TRUE;
}

BOOL CDib::SaveToMappedFile(const char* strPathname) {
  const std::span<const std::uint8_t> bits = GetImageBits();
  if (m_pInfoHeader == nullptr || HeaderAndTableSize() > m_nHeaderAvailable) return FALSE;
  const std::size_t tableEnd = kFileHeaderSize + HeaderAndTableSize();
  std::vector<std::uint8_t> view = FileHeader(static_cast<DWORD>(tableEnd + m_dwImageSize), static_cast<DWORD>(tableEnd));
  view.insert(view.end(), m_pInfoHeader, m_pInfoHeader + HeaderAndTableSize());
  view.insert(view.end(), bits.begin(), bits.end());
  view.resize(tableEnd + m_dwImageSize, 0);
  std::ofstream out(strPathname, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(view.data()), static_cast<std::streamsize>(view.size()));
  out.close();
  if (!out) return FALSE;
  auto mapped = std::make_unique<MappedFile>(MappedFile{strPathname, std::move(view)});
  if (!AttachMemory(mapped->view.data() + kFileHeaderSize, FALSE, nullptr, mapped->view.size() - kFileHeaderSize)) {
    return FALSE;
  }
  m_hFile = std::move(mapped);
  m_pFileView = m_hFile->view.data();
  return TRUE;
}

void CDib::UnmapFile() {
  if (!m_hFile) return;
  const std::uint8_t* begin = m_hFile->view.data();
  const std::uint8_t* end = begin + m_hFile->view.size();
  const bool attached = m_pInfoHeader >= begin && m_pInfoHeader < end;
  m_hFile.reset();
  m_pFileView = nullptr;
  if (attached) {  // the bitmap lived in the view: nothing of it is left
    m_pInfoHeader = nullptr;
    m_pColorTable = nullptr;
    m_pBits = nullptr;
    m_hPalette.reset();
  }
}

void CDib::Clear() {
  UnmapFile();
  if (m_nHeaderAlloc == heapAlloc && m_hGlobal != nullptr) {
    os::GlobalUnlock(m_hGlobal);
    os::GlobalFree(m_hGlobal);
  }
  m_headerBlock.reset();
  m_bitsBlock.reset();
  m_hPalette.reset();
  m_hBitmap.reset();
  m_pColorTable = nullptr;
  m_pBits = nullptr;
  m_pInfoHeader = nullptr;
  m_pWritableHeader = nullptr;
  m_hGlobal = nullptr;
  m_nHeaderAlloc = noAlloc;
  m_nBitsAlloc = noAlloc;
  m_dwImageSize = 0;
  m_nColorTableEntries = 0;
  m_nHeaderAvailable = kUnknownSize;
  m_nBitsAvailable = kUnknownSize;
}
