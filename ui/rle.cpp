#include "ui/rle.h"

#include <algorithm>

namespace ui::rle {
namespace {

constexpr int kMaxRun = 255;
constexpr std::uint8_t kEscape = 0;
constexpr std::uint8_t kEndOfLine = 0;
constexpr std::uint8_t kEndOfBitmap = 1;
constexpr std::uint8_t kDelta = 2;

// One row of pixels as colour indices, whatever the bit count.
std::vector<std::uint8_t> RowPixels(std::span<const std::uint8_t> row, int width, int bitCount) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width));
  for (int x = 0; x < width; ++x) {
    pixels[x] = bitCount == 8 ? row[x] : static_cast<std::uint8_t>((row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F);
  }
  return pixels;
}

int RunLength(const std::vector<std::uint8_t>& pixels, std::size_t start) {
  std::size_t end = start + 1;
  while (end < pixels.size() && pixels[end] == pixels[start] && end - start < kMaxRun) ++end;
  return static_cast<int>(end - start);
}

void PutLiteral(std::vector<std::uint8_t>& out, const std::uint8_t* pixels, int count, int bitCount) {
  out.push_back(kEscape);
  out.push_back(static_cast<std::uint8_t>(count));
  const std::size_t first = out.size();
  if (bitCount == 8) {
    out.insert(out.end(), pixels, pixels + count);
  } else {
    for (int i = 0; i < count; i += 2) {
      const std::uint8_t high = pixels[i];
      const std::uint8_t low = i + 1 < count ? pixels[i + 1] : 0;
      out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
  }
  if ((out.size() - first) % 2 != 0) out.push_back(0);  // literals end on a 16-bit boundary
}

void PutRun(std::vector<std::uint8_t>& out, std::uint8_t pixel, int count, int bitCount) {
  out.push_back(static_cast<std::uint8_t>(count));
  out.push_back(bitCount == 8 ? pixel : static_cast<std::uint8_t>(pixel << 4 | pixel));
}

// Runs of two or more equal pixels are runs; what lies between them goes out literally when it is
// three pixels or more (shorter literals are not allowed) and as single-pixel runs otherwise.
void EncodeRow(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& pixels, int bitCount) {
  std::size_t x = 0;
  while (x < pixels.size()) {
    const int run = RunLength(pixels, x);
    if (run >= 2) {
      PutRun(out, pixels[x], run, bitCount);
      x += run;
      continue;
    }
    std::size_t end = x;
    while (end < pixels.size() && end - x < kMaxRun && RunLength(pixels, end) < 2) ++end;
    const int count = static_cast<int>(end - x);
    if (count >= 3) {
      PutLiteral(out, pixels.data() + x, count, bitCount);
    } else {
      for (int i = 0; i < count; ++i) PutRun(out, pixels[x + i], 1, bitCount);
    }
    x = end;
  }
}

std::vector<std::uint8_t> Encode(std::span<const std::uint8_t> image, int width, int height, int bitCount) {
  std::vector<std::uint8_t> out;
  const std::size_t stride = RowStride(width, bitCount);
  for (int y = 0; y < height; ++y) {
    EncodeRow(out, RowPixels(image.subspan(y * stride, stride), width, bitCount), bitCount);
    out.push_back(kEscape);
    out.push_back(y + 1 < height ? kEndOfLine : kEndOfBitmap);
  }
  if (height <= 0) {
    out.push_back(kEscape);
    out.push_back(kEndOfBitmap);
  }
  return out;
}

class ImageWriter {
 public:
  ImageWriter(int width, int height, int bitCount, std::vector<std::uint8_t>& image)
      : m_width(width), m_height(height), m_bitCount(bitCount), m_stride(RowStride(width, bitCount)), m_image(image) {
    m_image.assign(m_stride * static_cast<std::size_t>(std::max(height, 0)), 0);
  }
  void Put(std::uint8_t pixel) {
    if (m_x < m_width && m_y < m_height) {
      std::uint8_t& byte = m_image[m_y * m_stride + (m_bitCount == 8 ? m_x : m_x / 2)];
      if (m_bitCount == 8) byte = pixel;
      else byte = static_cast<std::uint8_t>(m_x % 2 == 0 ? (byte & 0x0F) | (pixel << 4) : (byte & 0xF0) | (pixel & 0x0F));
    }
    if (m_x < m_width) ++m_x;  // pixels past the right edge are dropped
  }
  void NextLine() {
    m_x = 0;
    ++m_y;
  }
  void Skip(int dx, int dy) {
    m_x = std::min(m_x + dx, m_width);
    m_y = std::min(m_y + dy, m_height);
  }
  bool Done() const { return m_y >= m_height; }

 private:
  int m_width;
  int m_height;
  int m_bitCount;
  std::size_t m_stride;
  std::vector<std::uint8_t>& m_image;
  int m_x = 0;
  int m_y = 0;
};

bool Decode(std::span<const std::uint8_t> data, int width, int height, int bitCount,
            std::vector<std::uint8_t>& image) {
  ImageWriter writer(width, height, bitCount, image);
  std::size_t i = 0;
  while (i + 1 < data.size() && !writer.Done()) {
    const int count = data[i];
    const std::uint8_t value = data[i + 1];
    i += 2;
    if (count > 0) {
      for (int n = 0; n < count; ++n) {
        writer.Put(bitCount == 8 ? value : static_cast<std::uint8_t>(n % 2 == 0 ? value >> 4 : value & 0x0F));
      }
      continue;
    }
    if (value == kEndOfLine) {
      writer.NextLine();
    } else if (value == kEndOfBitmap) {
      return true;
    } else if (value == kDelta) {
      if (i + 1 >= data.size()) return false;
      writer.Skip(data[i], data[i + 1]);
      i += 2;
    } else {
      const std::size_t bytes = bitCount == 8 ? value : (value + 1u) / 2;
      if (i + bytes > data.size()) return false;
      for (int n = 0; n < value; ++n) {
        const std::uint8_t byte = data[i + (bitCount == 8 ? n : n / 2)];
        writer.Put(bitCount == 8 ? byte : static_cast<std::uint8_t>(n % 2 == 0 ? byte >> 4 : byte & 0x0F));
      }
      i += bytes + bytes % 2;
    }
  }
  return writer.Done();
}

}  // namespace

std::size_t RowStride(int width, int bitCount) {
  return (static_cast<std::size_t>(std::max(width, 0)) * bitCount + 31) / 32 * 4;
}

std::vector<std::uint8_t> Encode8(std::span<const std::uint8_t> image, int width, int height) {
  return Encode(image, width, height, 8);
}

std::vector<std::uint8_t> Encode4(std::span<const std::uint8_t> image, int width, int height) {
  return Encode(image, width, height, 4);
}

bool Decode8(std::span<const std::uint8_t> data, int width, int height, std::vector<std::uint8_t>& image) {
  return Decode(data, width, height, 8, image);
}

bool Decode4(std::span<const std::uint8_t> data, int width, int height, std::vector<std::uint8_t>& image) {
  return Decode(data, width, height, 4, image);
}

}  // namespace ui::rle
