// CDib: one device-independent bitmap (information header, colour table, image bits) with its
// logical palette, optionally living in a DIB section or in a bitmap file mapped into memory.
// The wizard attaches its pictures to bitmap resources and draws them; the class also reads,
// writes and maps bitmap files and converts to and from run-length compression.
//
// Failures are reported by a result of 0 and, where named, a message box with a German text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/gui/gdi.h"
#include "platform/gui/types.h"

namespace os {
class GlobalBlock;
}

class CDib {
 public:
  // Header memory kinds.
  enum Alloc { noAlloc = 0, crtAlloc = 1, heapAlloc = 2 };
  static constexpr std::size_t kUnknownSize = std::numeric_limits<std::size_t>::max();

  // Image memory of a DIB section made by MakeSection or ReadSection.
  struct DibSection {
    std::vector<std::uint8_t> bits;
  };
  // A device-dependent copy of the image: uncompressed rows, bottom-up, padded to 4 bytes.
  struct DeviceBitmap {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    std::vector<std::uint8_t> bits;
  };

  CDib();
  // A header for a bitmap of this size and bit count with a zeroed colour table and no bits.
  CDib(CSize size, int nBitCount);
  ~CDib();
  CDib(const CDib&) = delete;
  CDib& operator=(const CDib&) = delete;

  // Maps a bitmap file: its information header 14 bytes into the file becomes the object's
  // (not owned). bShare is accepted for the caller's intent; the file is read whole.
  BOOL MapFile(const char* strPathname, BOOL bShare = FALSE);
  // Writes the bitmap as a file and attaches the object to that copy of it.
  BOOL SaveToMappedFile(const char* strPathname);
  // A packed bitmap: header, colour table, bits. bMustDelete: the object owns the memory (a
  // block from new std::uint8_t[], or the global block hGlobal). nAvailable, when known, bounds
  // what the header may claim.
  BOOL AttachMemory(const void* lpvMem, BOOL bMustDelete = FALSE, os::GlobalBlock* hGlobal = nullptr,
                    std::size_t nAvailable = kUnknownSize);
  // Selects the palette (as background palette when bBackground) and realises it; the number of
  // entries realised, 0 without a palette.
  UINT RealizePaletteIn(CDC* pDC, BOOL bBackground = FALSE) const;
  CSize GetSize() const;
  // Stretches the whole bitmap onto the rectangle at origin with size; 0 without a header.
  BOOL Draw(CDC* pDC, CPoint origin, CSize size) const;
  // A DIB section for the header when the object has no bits yet; nullptr otherwise.
  const DibSection* MakeSection(CDC* pDC);
  BOOL MakePalette();
  // A halftone palette for a bitmap without colour table; 0 when it has one.
  BOOL MakeHalftonePalette(CDC* pDC);
  std::unique_ptr<DeviceBitmap> MakeDeviceBitmap(CDC* pDC) const;
  // Converts a 4- or 8-bit bitmap to run-length compression (bCompress) or back.
  BOOL Compress(CDC* pDC, BOOL bCompress = TRUE);
  BOOL Read(std::istream& file);
  BOOL ReadSection(std::istream& file, CDC* pDC = nullptr);
  BOOL Write(std::ostream& file) const;
  // Storing writes the bitmap, loading reads it.
  void Serialize(std::iostream& file, bool bStoring);
  void Clear();
  void UnmapFile();

  // What the object holds, for callers that inspect it.
  bool HasHeader() const { return m_pInfoHeader != nullptr; }
  BITMAPINFOHEADER GetInfoHeader() const;
  int GetColorTableEntries() const { return m_nColorTableEntries; }
  const RGBQUAD* GetColorTable() const { return m_pColorTable; }
  DWORD GetImageSize() const { return m_dwImageSize; }
  std::span<const std::uint8_t> GetImageBits() const;
  const CPalette* GetPalette() const { return m_hPalette.get(); }
  const DibSection* GetSection() const { return m_hBitmap.get(); }
  int GetHeaderAlloc() const { return m_nHeaderAlloc; }
  int GetBitsAlloc() const { return m_nBitsAlloc; }

 private:
  struct MappedFile {
    std::string path;
    std::vector<std::uint8_t> view;
  };

  void ComputeSizes();
  void SetColorTableSize(int nBitCount);
  void ReadBody(std::istream& file, bool intoSection, CDC* pDC);
  void TakeHeader(std::unique_ptr<std::uint8_t[]> block, std::size_t size);
  void SetHeader(const BITMAPINFOHEADER& header);
  std::size_t HeaderAndTableSize() const { return 40 + 4 * static_cast<std::size_t>(m_nColorTableEntries); }

  const RGBQUAD* m_pColorTable = nullptr;
  std::unique_ptr<DibSection> m_hBitmap;
  const std::uint8_t* m_pBits = nullptr;
  const std::uint8_t* m_pInfoHeader = nullptr;
  os::GlobalBlock* m_hGlobal = nullptr;
  int m_nHeaderAlloc = noAlloc;
  int m_nBitsAlloc = noAlloc;
  DWORD m_dwImageSize = 0;
  int m_nColorTableEntries = 0;
  std::unique_ptr<MappedFile> m_hFile;  // file and view while mapped
  const std::uint8_t* m_pFileView = nullptr;
  std::unique_ptr<CPalette> m_hPalette;

  // Owned memory behind the pointers above.
  std::unique_ptr<std::uint8_t[]> m_headerBlock;
  std::unique_ptr<std::uint8_t[]> m_bitsBlock;
  std::uint8_t* m_pWritableHeader = nullptr;  // the owned header block, for operations that fill it
  std::size_t m_nHeaderAvailable = kUnknownSize;  // bytes reachable from m_pInfoHeader
  std::size_t m_nBitsAvailable = kUnknownSize;    // bytes reachable from m_pBits
};
