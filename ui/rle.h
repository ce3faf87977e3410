// Run-length compression of device-independent bitmaps, 8 and 4 bits per pixel, in the format of
// compressed bitmaps: pairs (count, colour) for runs; 0 then n >= 3 then n literal pixels padded to
// a 16-bit boundary; 0 0 at the end of a line, 0 1 at the end of the image, 0 2 dx dy to skip.
// Images are the uncompressed layout: rows from the bottom up, each padded to 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ui::rle {

// Bytes of one uncompressed row.
std::size_t RowStride(int width, int bitCount);

// Compresses an uncompressed image of 8 (Encode8) or 4 (Encode4) bits per pixel. The image must
// hold RowStride(width, bits) * height bytes.
std::vector<std::uint8_t> Encode8(std::span<const std::uint8_t> image, int width, int height);
std::vector<std::uint8_t> Encode4(std::span<const std::uint8_t> image, int width, int height);

// Expands compressed data into an uncompressed image (pixels that the data skips stay 0).
// Malformed or cut-off data decodes as far as it is sound and gives false; pixels outside the
// image are never written.
bool Decode8(std::span<const std::uint8_t> data, int width, int height, std::vector<std::uint8_t>& image);
bool Decode4(std::span<const std::uint8_t> data, int width, int height, std::vector<std::uint8_t>& image);

}  // namespace ui::rle
