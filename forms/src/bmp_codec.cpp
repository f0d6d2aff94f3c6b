#include "bmp_codec.h"

#include <algorithm>
#include <stdexcept>

namespace forms::detail {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kCompressionNone = 0;

[[noreturn]] void Invalid() {
  throw EInvalidGraphic("Bitmap image is not valid");
}

std::uint32_t U16(std::span<const std::uint8_t> d, std::size_t at) {
  if (at + 2 > d.size()) Invalid();
  return static_cast<std::uint32_t>(d[at]) | (static_cast<std::uint32_t>(d[at + 1]) << 8);
}

std::uint32_t U32(std::span<const std::uint8_t> d, std::size_t at) {
  if (at + 4 > d.size()) Invalid();
  return U16(d, at) | (U16(d, at + 2) << 16);
}

void PutU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

}  // namespace

DecodedImage DecodeBmp(std::span<const std::uint8_t> bmp) {
  if (bmp.size() < kFileHeaderSize + kCoreHeaderSize || bmp[0] != 'B' || bmp[1] != 'M') Invalid();
  const std::uint32_t pixel_offset = U32(bmp, 10);
  const std::uint32_t header_size = U32(bmp, kFileHeaderSize);

  std::int64_t width = 0;
  std::int64_t height = 0;
  std::uint32_t bits = 0;
  std::uint32_t palette_size = 0;
  std::size_t palette_entry = 4;
  bool top_down = false;
  if (header_size == kCoreHeaderSize) {
    width = U16(bmp, 18);
    height = U16(bmp, 20);
    bits = U16(bmp, 24);
    palette_entry = 3;
  } else if (header_size >= kInfoHeaderSize && header_size <= 1024) {
    width = static_cast<std::int32_t>(U32(bmp, 18));
    height = static_cast<std::int32_t>(U32(bmp, 22));
    bits = U16(bmp, 28);
    if (U32(bmp, 30) != kCompressionNone) Invalid();
    palette_size = U32(bmp, 46);
    if (height < 0) {
      top_down = true;
      height = -height;
    }
  } else {
    Invalid();
  }
  if (width <= 0 || height <= 0 || width * height > kMaxBmpPixels) Invalid();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) Invalid();

  std::vector<RGB> palette;
  if (bits <= 8) {
    const std::uint32_t most = 1u << bits;
    if (palette_size == 0) palette_size = most;
    if (palette_size > most) Invalid();
    const std::size_t start = kFileHeaderSize + header_size;
    if (start + palette_size * palette_entry > bmp.size()) Invalid();
    for (std::uint32_t i = 0; i < palette_size; ++i) {
      const std::size_t at = start + i * palette_entry;
      palette.push_back(RGB{bmp[at + 2], bmp[at + 1], bmp[at]});
    }
  }

  const std::int64_t stride = ((width * bits + 31) / 32) * 4;
  if (pixel_offset < kFileHeaderSize + header_size ||
      static_cast<std::int64_t>(pixel_offset) + stride * height >
          static_cast<std::int64_t>(bmp.size())) {
    Invalid();
  }

  DecodedImage image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels.resize(static_cast<std::size_t>(width * height));
  for (std::int64_t row = 0; row < height; ++row) {
    const std::int64_t stored_row = top_down ? row : height - 1 - row;
    const std::uint8_t* line = bmp.data() + pixel_offset + stored_row * stride;
    RGB* out = image.pixels.data() + row * width;
    for (std::int64_t x = 0; x < width; ++x) {
      if (bits <= 8) {
        const std::int64_t bit = x * bits;
        const unsigned shift = static_cast<unsigned>(8 - bits - (bit % 8));
        const unsigned index = (line[bit / 8] >> shift) & ((1u << bits) - 1);
        if (index >= palette.size()) Invalid();
        out[x] = palette[index];
      } else {
        const std::uint8_t* p = line + x * (bits / 8);
        out[x] = RGB{p[2], p[1], p[0]};
      }
    }
  }
  return image;
}

std::span<const std::uint8_t> BmpFromStoredData(std::span<const std::uint8_t> data) {
  if (data.size() >= 2 && data[0] == 'B' && data[1] == 'M') return data;
  if (data.size() >= 6 && U32(data, 0) == data.size() - 4 && data[4] == 'B' && data[5] == 'M') {
    return data.subspan(4);
  }
  Invalid();
}

}  // namespace forms::detail

namespace forms {

std::vector<std::uint8_t> EncodeBmp4(int width, int height, std::span<const RGB> palette,
                                     std::span<const RGB> pixels) {
  if (width <= 0 || height <= 0 || palette.empty() || palette.size() > 16 ||
      pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    throw std::invalid_argument("EncodeBmp4: bad size or palette");
  }
  const std::uint32_t stride = ((static_cast<std::uint32_t>(width) * 4 + 31) / 32) * 4;
  const std::uint32_t offset = 14 + 40 + 16 * 4;
  const std::uint32_t image_size = stride * static_cast<std::uint32_t>(height);
  std::vector<std::uint8_t> out;
  out.reserve(offset + image_size);
  out.push_back('B');
  out.push_back('M');
  detail::PutU32(out, offset + image_size);
  detail::PutU32(out, 0);
  detail::PutU32(out, offset);
  detail::PutU32(out, 40);
  detail::PutU32(out, static_cast<std::uint32_t>(width));
  detail::PutU32(out, static_cast<std::uint32_t>(height));
  detail::PutU16(out, 1);
  detail::PutU16(out, 4);
  detail::PutU32(out, 0);  // no compression
  detail::PutU32(out, image_size);
  detail::PutU32(out, 0);
  detail::PutU32(out, 0);
  detail::PutU32(out, 16);
  detail::PutU32(out, 0);
  for (std::size_t i = 0; i < 16; ++i) {
    const RGB c = i < palette.size() ? palette[i] : RGB{};
    out.insert(out.end(), {c.b, c.g, c.r, 0});
  }
  for (int row = height - 1; row >= 0; --row) {
    std::vector<std::uint8_t> line(stride, 0);
    for (int x = 0; x < width; ++x) {
      const RGB c = pixels[static_cast<std::size_t>(row) * width + x];
      const auto found = std::find(palette.begin(), palette.end(), c);
      if (found == palette.end()) throw std::invalid_argument("EncodeBmp4: colour not in palette");
      const auto index = static_cast<std::uint8_t>(found - palette.begin());
      line[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
    }
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

}  // namespace forms
