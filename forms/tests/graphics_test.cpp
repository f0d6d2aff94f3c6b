// Bitmaps, colours and fonts: no display needed.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "forms/graphics.h"
#include "vcl/form_file.h"
#include "vcl/streams.h"

namespace {

using forms::EInvalidGraphic;
using forms::RGB;
using forms::TBitmap;

const RGB kRed{255, 0, 0};
const RGB kBlue{0, 0, 255};
const RGB kTeal{0, 128, 128};

std::vector<std::uint8_t> SampleBmp() {
  // 3 x 2: top row red blue teal, bottom row teal teal red.
  const RGB palette[] = {kRed, kBlue, kTeal};
  const RGB pixels[] = {kRed, kBlue, kTeal, kTeal, kTeal, kRed};
  return forms::EncodeBmp4(3, 2, palette, pixels);
}

void Put32(std::vector<std::uint8_t>& data, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) data.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST(Bitmap, DecodesWhatItEncodesWithTheBottomLeftPixelTransparent) {
  TBitmap bitmap;
  bitmap.LoadFromBmp(SampleBmp());
  ASSERT_EQ(bitmap.Width(), 3);
  ASSERT_EQ(bitmap.Height(), 2);
  EXPECT_EQ(bitmap.Pixel(0, 0), kRed);
  EXPECT_EQ(bitmap.Pixel(1, 0), kBlue);
  EXPECT_EQ(bitmap.Pixel(2, 0), kTeal);
  EXPECT_EQ(bitmap.Pixel(2, 1), kRed);
  EXPECT_EQ(bitmap.TransparentColor(), kTeal);
  EXPECT_EQ(bitmap.Pixel(7, 7), RGB{});  // outside: black, no fault
}

TEST(Bitmap, ReadsTopDownTrueColourAndCoreHeaders) {
  // 2 x 2, 24 bits, top-down (negative height): rows are stored top first.
  std::vector<std::uint8_t> bmp(14 + 40 + 2 * 8, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  Put32(bmp, 2, static_cast<std::uint32_t>(bmp.size()));
  Put32(bmp, 10, 54);
  Put32(bmp, 14, 40);
  Put32(bmp, 18, 2);
  Put32(bmp, 22, static_cast<std::uint32_t>(-2));
  bmp[26] = 1;
  bmp[28] = 24;
  const std::uint8_t rows[] = {0, 0,   255, 255, 0,   0,   0, 0,   // red, blue, padding
                               0, 255, 0,   255, 255, 255, 0, 0};  // green, white, padding
  std::copy(std::begin(rows), std::end(rows), bmp.begin() + 54);
  TBitmap bitmap;
  bitmap.LoadFromBmp(bmp);
  EXPECT_EQ(bitmap.Pixel(0, 0), kRed);
  EXPECT_EQ(bitmap.Pixel(1, 0), kBlue);
  EXPECT_EQ(bitmap.Pixel(0, 1), (RGB{0, 255, 0}));
  EXPECT_EQ(bitmap.Pixel(1, 1), (RGB{255, 255, 255}));

  // The old core header: 16-bit sizes, three-byte palette entries; 1 bit per pixel.
  std::vector<std::uint8_t> core(14 + 12 + 6 + 4, 0);
  core[0] = 'B';
  core[1] = 'M';
  Put32(core, 10, 14 + 12 + 6);
  Put32(core, 14, 12);
  core[18] = 1;         // width
  core[20] = 1;         // height
  core[22] = 1;         // planes
  core[24] = 1;         // bits
  core[26 + 3] = 0xFF;  // palette entry 1: blue (B, G, R)
  core[32] = 0x80;      // the pixel: index 1
  bitmap.LoadFromBmp(core);
  EXPECT_EQ(bitmap.Pixel(0, 0), kBlue);
}

TEST(Bitmap, RefusesBrokenDataAndKeepsItsImage) {
  const std::vector<std::uint8_t> good = SampleBmp();
  struct Case {
    const char* name;
    std::vector<std::uint8_t> data;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"not a bitmap", std::vector<std::uint8_t>(64, 'x')});
  auto truncated = good;
  truncated.resize(good.size() - 3);
  cases.push_back({"pixels cut short", truncated});
  auto compressed = good;
  Put32(compressed, 30, 2);
  cases.push_back({"run-length compressed", compressed});
  auto huge = good;
  Put32(huge, 18, 100000);
  Put32(huge, 22, 100000);
  cases.push_back({"absurd size", huge});
  auto few_colours = good;
  Put32(few_colours, 46, 2);  // three colours are used, two declared
  cases.push_back({"index beyond the palette", few_colours});
  auto odd_depth = good;
  odd_depth[28] = 7;
  cases.push_back({"7 bits per pixel", odd_depth});
  auto offset = good;
  Put32(offset, 10, static_cast<std::uint32_t>(good.size()));
  cases.push_back({"pixels after the end", offset});

  TBitmap bitmap;
  bitmap.LoadFromBmp(good);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(bitmap.LoadFromBmp(c.data), EInvalidGraphic);
    EXPECT_EQ(bitmap.Width(), 3);
    EXPECT_EQ(bitmap.Pixel(1, 0), kBlue);
  }
}

// A persistent that holds a bitmap, to read and write Glyph.Data through the form format.
class TGlyphHolder : public vcl::TComponent {
 public:
  VCL_CLASS(TGlyphHolder)
  explicit TGlyphHolder(vcl::TComponent* owner) : vcl::TComponent(owner) {}
  TBitmap* Glyph() const { return glyph_.get(); }

 private:
  std::unique_ptr<TBitmap> glyph_ = std::make_unique<TBitmap>();
};

const vcl::ClassInfo& TGlyphHolder::StaticClass() {
  static const vcl::ClassInfo info = vcl::DescribeClass<TGlyphHolder, vcl::TComponent>(
      "TGlyphHolder",
      [](auto& t) { t.Object("Glyph", [](const TGlyphHolder& h) { return h.Glyph(); }); });
  return info;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string hex;
  for (std::uint8_t b : bytes) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

TEST(Bitmap, GlyphDataRoundTripsThroughTheFormFormatWithOrWithoutItsCount) {
  const std::vector<std::uint8_t> bmp = SampleBmp();
  std::vector<std::uint8_t> counted(4);
  Put32(counted, 0, static_cast<std::uint32_t>(bmp.size()));
  counted.insert(counted.end(), bmp.begin(), bmp.end());

  for (const auto& data : {counted, bmp}) {
    auto holder = vcl::MakeComponent<TGlyphHolder>();
    vcl::ReadForm(*holder,
                  "object H: TGlyphHolder\n  Glyph.Data = {\n    " + Hex(data) + "}\nend\n");
    EXPECT_EQ(holder->Glyph()->Width(), 3);
    EXPECT_EQ(holder->Glyph()->Pixel(1, 0), kBlue);

    // Written back with its count, and read again to the same image.
    const std::string text = vcl::WriteForm(*holder);
    EXPECT_NE(text.find("Glyph.Data"), std::string::npos);
    auto again = vcl::MakeComponent<TGlyphHolder>();
    vcl::ReadForm(*again, text);
    EXPECT_EQ(again->Glyph()->Bmp(), bmp);
  }

  auto holder = vcl::MakeComponent<TGlyphHolder>();
  try {
    vcl::ReadForm(*holder, "object H: TGlyphHolder\n  Glyph.Data = {0A0B0C0D}\nend\n");
    FAIL() << "broken glyph data was accepted";
  } catch (const vcl::EReadError& e) {
    EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Bitmap image is not valid"), std::string::npos)
        << e.what();
  }
  EXPECT_TRUE(holder->Glyph()->Empty());
}

TEST(Colors, NamesAndSystemColours) {
  EXPECT_EQ(forms::ColorToRGB(forms::clTeal), (RGB{0, 128, 128}));
  EXPECT_EQ(forms::ColorToRGB(forms::clAqua), (RGB{0, 255, 255}));
  EXPECT_EQ(forms::ColorToRGB(forms::clLime), (RGB{0, 255, 0}));
  EXPECT_EQ(forms::ColorToRGB(forms::clBtnFace), (RGB{240, 240, 240}));
  bool found_teal = false;
  for (const vcl::IdentValue& ident : forms::ColorIdents()) {
    if (std::string(ident.name) == "clTeal") found_teal = ident.value == forms::clTeal;
  }
  EXPECT_TRUE(found_teal);
}

TEST(Font, HeightSizeAndChangeNotice) {
  forms::TFont font;
  int changes = 0;
  font.OnChange = [&] { ++changes; };
  font.SetSize(8);
  EXPECT_EQ(font.Height(), -11);  // 8 points at 96 pixels per inch
  EXPECT_EQ(font.PixelHeight(), 11);
  font.SetHeight(-21);
  EXPECT_EQ(font.Size(), 16);
  font.SetHeight(-21);    // unchanged: no notice
  EXPECT_EQ(changes, 1);  // 8 points were the default height already
  forms::TFont other;
  other.SetName("Arial");
  font.Assign(&other);
  EXPECT_TRUE(font.SameAs(other));
  EXPECT_EQ(changes, 2);
  EXPECT_THROW(font.Assign(nullptr), vcl::EConvertError);
}

}  // namespace
