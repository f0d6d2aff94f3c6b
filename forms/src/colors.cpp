#include <iterator>

#include "forms/graphics.h"

namespace forms {

namespace {

constexpr vcl::IdentValue kColorIdents[] = {
    {"clBlack", clBlack},
    {"clMaroon", clMaroon},
    {"clGreen", clGreen},
    {"clOlive", clOlive},
    {"clNavy", clNavy},
    {"clPurple", clPurple},
    {"clTeal", clTeal},
    {"clGray", clGray},
    {"clSilver", clSilver},
    {"clRed", clRed},
    {"clLime", clLime},
    {"clYellow", clYellow},
    {"clBlue", clBlue},
    {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},
    {"clWhite", clWhite},
    {"clNone", clNone},
    {"clDefault", clDefault},
    {"clScrollBar", clScrollBar},
    {"clBackground", clBackground},
    {"clActiveCaption", clActiveCaption},
    {"clInactiveCaption", clInactiveCaption},
    {"clMenu", clMenu},
    {"clWindow", clWindow},
    {"clWindowFrame", clWindowFrame},
    {"clMenuText", clMenuText},
    {"clWindowText", clWindowText},
    {"clCaptionText", clCaptionText},
    {"clActiveBorder", clActiveBorder},
    {"clInactiveBorder", clInactiveBorder},
    {"clAppWorkSpace", clAppWorkSpace},
    {"clHighlight", clHighlight},
    {"clHighlightText", clHighlightText},
    {"clBtnFace", clBtnFace},
    {"clBtnShadow", clBtnShadow},
    {"clGrayText", clGrayText},
    {"clBtnText", clBtnText},
    {"clInactiveCaptionText", clInactiveCaptionText},
    {"clBtnHighlight", clBtnHighlight},
    {"cl3DDkShadow", cl3DDkShadow},
    {"cl3DLight", cl3DLight},
    {"clInfoText", clInfoText},
    {"clInfoBk", clInfoBk},
};

// The platform's classic system colours ($00BBGGRR), by index.
constexpr std::uint32_t kSystemColors[] = {
    0xC8C8C8,  // scroll bar
    0x000000,  // desktop
    0xD1B499,  // active caption
    0xDBCDBF,  // inactive caption
    0xF0F0F0,  // menu
    0xFFFFFF,  // window
    0x646464,  // window frame
    0x000000,  // menu text
    0x000000,  // window text
    0x000000,  // caption text
    0xB4B4B4,  // active border
    0xFCF7F4,  // inactive border
    0xABABAB,  // application workspace
    0xFF9933,  // highlight
    0xFFFFFF,  // highlight text
    0xF0F0F0,  // button face
    0xA0A0A0,  // button shadow
    0x6D6D6D,  // grey text
    0x000000,  // button text
    0x544E43,  // inactive caption text
    0xFFFFFF,  // button highlight
    0x696969,  // 3D dark shadow
    0xE3E3E3,  // 3D light
    0x000000,  // tooltip text
    0xE1FFFF,  // tooltip background
};

}  // namespace

std::span<const vcl::IdentValue> ColorIdents() {
  return kColorIdents;
}

RGB ColorToRGB(TColor color) noexcept {
  auto value = static_cast<std::uint32_t>(color);
  if ((value & 0x80000000u) != 0) {
    const std::uint32_t index = value & 0xFFu;
    value = index < std::size(kSystemColors) ? kSystemColors[index] : 0;
  } else if (color == clNone || color == clDefault) {
    value = 0;
  }
  return RGB{static_cast<std::uint8_t>(value & 0xFF),
             static_cast<std::uint8_t>((value >> 8) & 0xFF),
             static_cast<std::uint8_t>((value >> 16) & 0xFF)};
}

}  // namespace forms
