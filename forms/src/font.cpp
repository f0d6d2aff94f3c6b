#include <algorithm>
#include <cmath>

#include "forms/graphics.h"

namespace forms {

namespace {

constexpr const char* kFontStyleNames[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};

constexpr vcl::IdentValue kCharsetIdents[] = {
    {"ANSI_CHARSET", 0},         {"DEFAULT_CHARSET", 1},       {"SYMBOL_CHARSET", 2},
    {"MAC_CHARSET", 77},         {"SHIFTJIS_CHARSET", 128},    {"HANGEUL_CHARSET", 129},
    {"GB2312_CHARSET", 134},     {"CHINESEBIG5_CHARSET", 136}, {"GREEK_CHARSET", 161},
    {"TURKISH_CHARSET", 162},    {"HEBREW_CHARSET", 177},      {"ARABIC_CHARSET", 178},
    {"BALTIC_CHARSET", 186},     {"RUSSIAN_CHARSET", 204},     {"THAI_CHARSET", 222},
    {"EASTEUROPE_CHARSET", 238}, {"OEM_CHARSET", 255},
};

// Screen resolution the sizes are given for.
constexpr int kPixelsPerInch = 96;

}  // namespace

const vcl::ClassInfo& TFont::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TFont, vcl::TPersistent>("TFont", [](auto& t) {
        using T = TFont;
        t.Integer("Charset", &T::Charset, &T::SetCharset).Idents(kCharsetIdents);
        t.Integer("Color", &T::Color, &T::SetColor).Idents(ColorIdents());
        t.Integer("Height", &T::Height, &T::SetHeight);
        t.String("Name", &T::Name, &T::SetName);
        t.Integer("Size", &T::Size, &T::SetSize).NeverStored();
        t.SetOf("Style", &T::Style, &T::SetStyle, kFontStyleNames);
      });
  return info;
}

void TFont::SetName(const std::string& name) {
  if (name == name_) return;
  name_ = name;
  Changed();
}

void TFont::SetHeight(std::int32_t height) {
  if (height == height_) return;
  height_ = height;
  Changed();
}

std::int32_t TFont::Size() const noexcept {
  return static_cast<std::int32_t>(
      std::lround(-static_cast<double>(height_) * 72.0 / kPixelsPerInch));
}

void TFont::SetSize(std::int32_t points) {
  SetHeight(
      static_cast<std::int32_t>(-std::lround(static_cast<double>(points) * kPixelsPerInch / 72.0)));
}

void TFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TFont::SetStyle(TFontStyles style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TFont::SetCharset(std::int32_t charset) {
  if (charset == charset_) return;
  charset_ = charset;
  Changed();
}

int TFont::PixelHeight() const noexcept {
  if (height_ < 0) return std::max(1, -height_);
  // A cell height holds the internal leading as well (about an eighth of it for common faces).
  if (height_ > 0) return std::max(1, static_cast<int>(std::lround(height_ * 0.895)));
  return 11;
}

void TFont::Assign(const vcl::TPersistent* source) {
  const auto* other = dynamic_cast<const TFont*>(source);
  if (other == nullptr) {
    vcl::TPersistent::Assign(source);
    return;
  }
  if (SameAs(*other)) return;
  name_ = other->name_;
  height_ = other->height_;
  color_ = other->color_;
  style_ = other->style_;
  charset_ = other->charset_;
  Changed();
}

bool TFont::SameAs(const TFont& other) const noexcept {
  return name_ == other.name_ && height_ == other.height_ && color_ == other.color_ &&
         style_ == other.style_ && charset_ == other.charset_;
}

void TFont::Changed() {
  if (OnChange) OnChange();
}

}  // namespace forms
