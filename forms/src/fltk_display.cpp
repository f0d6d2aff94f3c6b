#include "event_source.h"
#include "fltk_support.h"
#include "forms/display.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include <FL/Fl.H>
#include <FL/Fl_Tooltip.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

namespace forms::detail {

namespace {

bool g_display_open = false;

// Font families get four consecutive FLTK font numbers: regular, bold, italic, bold italic.
std::map<std::string, Fl_Font> g_families;
Fl_Font g_next_font = FL_FREE_FONT;
constexpr std::size_t kMaxFamilies = 32;

std::string Lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace

void EnsureDisplay() {
  if (g_display_open) return;
  // FLTK ends the program when it cannot open the display; ask X first so that we can report it.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    const char* name = std::getenv("DISPLAY");
    throw EDisplayError(std::string("Cannot open display ") + (name != nullptr ? name : "(unset)"));
  }
  fl_open_display(display);
  g_display_open = true;
  Fl_Tooltip::disable();  // no hints here, and no hidden timers in the loop
  // The platform's classic look: button face grey, white edit background, black text.
  const RGB face = ColorToRGB(clBtnFace);
  Fl::background(face.r, face.g, face.b);
  Fl::background2(255, 255, 255);
  Fl::foreground(0, 0, 0);
  const RGB highlight = ColorToRGB(clHighlight);
  Fl::set_color(FL_SELECTION_COLOR, highlight.r, highlight.g, highlight.b);
  WatchDisplayFd(ConnectionNumber(fl_display));
}

bool DisplayOpen() noexcept {
  return g_display_open;
}

Fl_Color ToFlColor(TColor color) noexcept {
  const RGB rgb = ColorToRGB(color);
  return fl_rgb_color(rgb.r, rgb.g, rgb.b);
}

Fl_Font ToFlFont(const std::string& name, TFontStyles style) {
  const std::string key = Lower(name);
  auto found = g_families.find(key);
  if (found == g_families.end()) {
    if (g_families.size() >= kMaxFamilies || name.empty()) return FL_HELVETICA;
    const Fl_Font base = g_next_font;
    g_next_font += 4;
    // FLTK's Xft names: a leading ' ', 'B', 'I' or 'P' picks regular, bold, italic, bold italic.
    // The strings must outlive FLTK's font table.
    static std::vector<std::unique_ptr<std::string>> names;
    const char prefixes[] = {' ', 'B', 'I', 'P'};
    for (int i = 0; i < 4; ++i) {
      names.push_back(std::make_unique<std::string>(prefixes[i] + name));
      Fl::set_font(base + i, names.back()->c_str());
    }
    found = g_families.emplace(key, base).first;
  }
  int offset = 0;
  if (style.Contains(TFontStyle::fsBold)) offset += 1;
  if (style.Contains(TFontStyle::fsItalic)) offset += 2;
  return found->second + offset;
}

Fl_Font ToFlFont(const TFont& font) {
  return ToFlFont(font.Name(), font.Style());
}

std::string DisplayText(const std::string& caption) {
  std::string text;
  text.reserve(caption.size());
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '\r') {
      text += '\n';
      if (i + 1 < caption.size() && caption[i + 1] == '\n') ++i;
    } else {
      text += caption[i];
    }
  }
  return text;
}

TextLook LookOf(const TFont& font) {
  TextLook look;
  look.font = ToFlFont(font);
  look.size = font.PixelHeight();
  look.color = ToFlColor(font.Color());
  look.underline = font.Style().Contains(TFontStyle::fsUnderline);
  return look;
}

void DrawCaption(const std::string& caption, const TextLook& look, int x, int y, int w, int h,
                 Fl_Align align, bool accelerators, bool embossed) {
  const std::string text = DisplayText(caption);
  fl_font(look.font, look.size);
  const char saved = fl_draw_shortcut;
  fl_draw_shortcut = accelerators ? 1 : 0;
  if (embossed) {
    fl_color(ToFlColor(clBtnHighlight));
    fl_draw(text.c_str(), x + 1, y + 1, w, h, align, nullptr, 0);
    fl_color(ToFlColor(clBtnShadow));
  } else {
    fl_color(look.color);
  }
  fl_draw(text.c_str(), x, y, w, h, align, nullptr, 0);
  fl_draw_shortcut = saved;
}

void MeasureCaption(const std::string& caption, const TextLook& look, int wrap_width, int& w,
                    int& h, bool accelerators) {
  const std::string text = DisplayText(caption);
  fl_font(look.font, look.size);
  const char saved = fl_draw_shortcut;
  fl_draw_shortcut = accelerators ? 1 : 0;
  w = wrap_width;
  h = 0;
  fl_measure(text.c_str(), w, h, 0);
  fl_draw_shortcut = saved;
}

}  // namespace forms::detail

namespace forms {

void InitializeDisplay() {
  detail::EnsureDisplay();
}

bool DisplayInitialized() noexcept {
  return detail::DisplayOpen();
}

TRect ScreenWorkArea() {
  detail::EnsureDisplay();
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_work_area(x, y, w, h);
  return TRect{x, y, w, h};
}

}  // namespace forms
