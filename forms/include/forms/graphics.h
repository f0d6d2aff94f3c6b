// Colours, fonts and bitmaps of the forms layer, in the conventions of the original platform:
// a colour is a 32-bit TColor ($00BBGGRR, or a system colour such as clBtnFace), a font has a
// Name, a character Height in pixels (negative: the em height), a Color and a Style, and a
// bitmap is a device-independent bitmap (BMP) whose bottom-left pixel names its transparent
// colour.
//
// Threads: main thread only (fonts and bitmaps belong to controls). Value conversions (colour
// idents, ColorToRGB) may be used anywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "vcl/properties.h"
#include "vcl/set.h"

namespace forms {

// ---------------------------------------------------------------------------------------------
// Colours.

using TColor = std::int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// System colours: the high bit set, the low byte the platform's colour index.
inline constexpr TColor SystemColor(int index) {
  return static_cast<TColor>(0x80000000u | static_cast<std::uint32_t>(index));
}
inline constexpr TColor clScrollBar = SystemColor(0);
inline constexpr TColor clBackground = SystemColor(1);
inline constexpr TColor clActiveCaption = SystemColor(2);
inline constexpr TColor clInactiveCaption = SystemColor(3);
inline constexpr TColor clMenu = SystemColor(4);
inline constexpr TColor clWindow = SystemColor(5);
inline constexpr TColor clWindowFrame = SystemColor(6);
inline constexpr TColor clMenuText = SystemColor(7);
inline constexpr TColor clWindowText = SystemColor(8);
inline constexpr TColor clCaptionText = SystemColor(9);
inline constexpr TColor clActiveBorder = SystemColor(10);
inline constexpr TColor clInactiveBorder = SystemColor(11);
inline constexpr TColor clAppWorkSpace = SystemColor(12);
inline constexpr TColor clHighlight = SystemColor(13);
inline constexpr TColor clHighlightText = SystemColor(14);
inline constexpr TColor clBtnFace = SystemColor(15);
inline constexpr TColor clBtnShadow = SystemColor(16);
inline constexpr TColor clGrayText = SystemColor(17);
inline constexpr TColor clBtnText = SystemColor(18);
inline constexpr TColor clInactiveCaptionText = SystemColor(19);
inline constexpr TColor clBtnHighlight = SystemColor(20);
inline constexpr TColor cl3DDkShadow = SystemColor(21);
inline constexpr TColor cl3DLight = SystemColor(22);
inline constexpr TColor clInfoText = SystemColor(23);
inline constexpr TColor clInfoBk = SystemColor(24);

// The colour names a form file may use ("clTeal", "clBtnFace", ...), for property tables.
std::span<const vcl::IdentValue> ColorIdents();

struct RGB {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const RGB&) const = default;
};
// The red, green and blue a colour shows as; system colours take the platform's classic
// defaults (clBtnFace = 240,240,240). clNone and clDefault give black.
RGB ColorToRGB(TColor color) noexcept;

// ---------------------------------------------------------------------------------------------
// Fonts.

enum class TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = vcl::Set<TFontStyle, std::uint8_t>;

inline constexpr std::int32_t DEFAULT_CHARSET = 1;
inline constexpr std::int32_t ANSI_CHARSET = 0;

// A font description. Height < 0 is the character (em) height in pixels; Height > 0 the cell
// height including the internal leading; Size is the height in points at 96 pixels per inch.
// Changing any property calls OnChange (the owning control repaints and stops following its
// parent's font).
class TFont : public vcl::TPersistent {
 public:
  VCL_CLASS(TFont)

  TFont() = default;

  const std::string& Name() const noexcept { return name_; }
  void SetName(const std::string& name);
  std::int32_t Height() const noexcept { return height_; }
  void SetHeight(std::int32_t height);
  // Points at 96 pixels per inch; setting it sets Height.
  std::int32_t Size() const noexcept;
  void SetSize(std::int32_t points);
  TColor Color() const noexcept { return color_; }
  void SetColor(TColor color);
  TFontStyles Style() const noexcept { return style_; }
  void SetStyle(TFontStyles style);
  std::int32_t Charset() const noexcept { return charset_; }
  void SetCharset(std::int32_t charset);

  // The em height in pixels that Height stands for (at least 1).
  int PixelHeight() const noexcept;

  // Copies every setting of another TFont (nullptr is refused with EConvertError). Calls OnChange
  // once.
  void Assign(const vcl::TPersistent* source) override;
  bool SameAs(const TFont& other) const noexcept;

  // Called after every change; set by the owner.
  std::function<void()> OnChange;

 private:
  void Changed();

  std::string name_ = "MS Sans Serif";
  std::int32_t height_ = -11;
  TColor color_ = clWindowText;
  TFontStyles style_;
  std::int32_t charset_ = DEFAULT_CHARSET;
};

// ---------------------------------------------------------------------------------------------
// Bitmaps.

// Thrown for bitmap data that is not a valid image: "Bitmap image is not valid".
class EInvalidGraphic : public vcl::Exception {
 public:
  using vcl::Exception::Exception;
};

// A bitmap image held as a device-independent bitmap: the BMP file bytes (1, 4, 8, 24 or 32 bits
// per pixel, uncompressed, bottom-up or top-down) and the pixels decoded from them. A form file
// stores it as the defined binary property Data: a 32-bit little-endian byte count followed by
// the BMP file (a bare BMP file is accepted as well). The bottom-left pixel names the transparent
// colour, as the platform's button glyphs use it.
class TBitmap : public vcl::TPersistent {
 public:
  VCL_CLASS(TBitmap)

  TBitmap() = default;

  bool Empty() const noexcept { return width_ == 0 || height_ == 0; }
  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }
  // The colour of the pixel at (x, y), top-left origin; black outside the image.
  RGB Pixel(int x, int y) const noexcept;
  RGB TransparentColor() const noexcept { return Pixel(0, height_ - 1); }

  // Replaces the image with a BMP file. Throws EInvalidGraphic for data that is not a supported,
  // consistent BMP (nothing is changed then). Calls OnChange.
  void LoadFromBmp(std::span<const std::uint8_t> bmp);
  // The BMP file bytes (empty for an empty bitmap).
  const std::vector<std::uint8_t>& Bmp() const noexcept { return bmp_; }
  void Clear();

  // Copies another TBitmap; nullptr clears. Calls OnChange.
  void Assign(const vcl::TPersistent* source) override;

  // Defines the binary property Data.
  void DefineProperties(vcl::TFiler& filer) override;

  std::function<void()> OnChange;

 private:
  std::vector<std::uint8_t> bmp_;
  std::vector<RGB> pixels_;  // row-major, top row first
  int width_ = 0;
  int height_ = 0;
};

// Encodes pixels (row-major, top row first) as a 16-colour BMP file with the given palette
// (at most 16 entries); every pixel must be one of the palette's colours (std::invalid_argument
// otherwise). Meant for drawing glyphs in code and tests.
std::vector<std::uint8_t> EncodeBmp4(int width, int height, std::span<const RGB> palette,
                                     std::span<const RGB> pixels);

}  // namespace forms
