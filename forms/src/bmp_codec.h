// Decoding and encoding of BMP files (device-independent bitmaps). Pure functions; any thread.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "forms/graphics.h"

namespace forms::detail {

struct DecodedImage {
  int width = 0;
  int height = 0;
  std::vector<RGB> pixels;  // row-major, top row first
};

// Largest image we decode: glyphs and icons are tiny, so anything near this is hostile data.
inline constexpr std::int64_t kMaxBmpPixels = std::int64_t{1} << 22;

// Decodes an uncompressed BMP file of 1, 4, 8, 24 or 32 bits per pixel (core or info header,
// bottom-up or top-down rows). Throws EInvalidGraphic for anything inconsistent: short data, a
// palette or pixel area outside the data, a palette index beyond the palette, compression,
// absurd sizes.
DecodedImage DecodeBmp(std::span<const std::uint8_t> bmp);

// A form file's bitmap data: a 32-bit little-endian count followed by the BMP file, or the bare
// BMP file. Returns the BMP file's bytes; throws EInvalidGraphic when it is neither.
std::span<const std::uint8_t> BmpFromStoredData(std::span<const std::uint8_t> data);

}  // namespace forms::detail
