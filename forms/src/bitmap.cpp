#include <cstdint>
#include <vector>

#include "bmp_codec.h"
#include "forms/graphics.h"
#include "vcl/streams.h"

namespace forms {

const vcl::ClassInfo& TBitmap::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TBitmap, vcl::TPersistent>("TBitmap", [](auto&) {});
  return info;
}

RGB TBitmap::Pixel(int x, int y) const noexcept {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return RGB{};
  return pixels_[static_cast<std::size_t>(y) * width_ + x];
}

void TBitmap::LoadFromBmp(std::span<const std::uint8_t> bmp) {
  detail::DecodedImage image = detail::DecodeBmp(bmp);
  bmp_.assign(bmp.begin(), bmp.end());
  pixels_ = std::move(image.pixels);
  width_ = image.width;
  height_ = image.height;
  if (OnChange) OnChange();
}

void TBitmap::Clear() {
  bmp_.clear();
  pixels_.clear();
  width_ = 0;
  height_ = 0;
  if (OnChange) OnChange();
}

void TBitmap::Assign(const vcl::TPersistent* source) {
  if (source == nullptr) {
    Clear();
    return;
  }
  const auto* other = dynamic_cast<const TBitmap*>(source);
  if (other == nullptr) {
    vcl::TPersistent::Assign(source);
    return;
  }
  if (other == this) return;
  bmp_ = other->bmp_;
  pixels_ = other->pixels_;
  width_ = other->width_;
  height_ = other->height_;
  if (OnChange) OnChange();
}

void TBitmap::DefineProperties(vcl::TFiler& filer) {
  vcl::TPersistent::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "Data",
      [this](vcl::TStream& stream) {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(stream.Size()));
        if (!data.empty()) stream.ReadBuffer(data.data(), static_cast<std::int64_t>(data.size()));
        if (data.empty()) {
          Clear();
        } else {
          LoadFromBmp(detail::BmpFromStoredData(data));
        }
      },
      [this](vcl::TStream& stream) {
        if (bmp_.empty()) return;
        const auto count = static_cast<std::uint32_t>(bmp_.size());
        const std::uint8_t prefix[4] = {static_cast<std::uint8_t>(count & 0xFF),
                                        static_cast<std::uint8_t>((count >> 8) & 0xFF),
                                        static_cast<std::uint8_t>((count >> 16) & 0xFF),
                                        static_cast<std::uint8_t>((count >> 24) & 0xFF)};
        stream.WriteBuffer(prefix, 4);
        stream.WriteBuffer(bmp_.data(), static_cast<std::int64_t>(bmp_.size()));
      },
      !bmp_.empty());
}

}  // namespace forms
