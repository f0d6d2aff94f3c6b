#include "fltk_support.h"
#include "forms/buttons.h"
#include "forms/forms.h"
#include "published.h"
#include "vcl/exceptions.h"

#include <array>
#include <vector>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>

namespace forms {

namespace {

constexpr const char* kButtonLayoutNames[] = {"blGlyphLeft", "blGlyphRight", "blGlyphTop",
                                              "blGlyphBottom"};

// An RGBA image and the pixels it draws from (FLTK does not copy them).
struct RgbaImage {
  std::vector<unsigned char> pixels;
  std::unique_ptr<Fl_RGB_Image> image;

  void Make(int w, int h) { image = std::make_unique<Fl_RGB_Image>(pixels.data(), w, h, 4); }
};

int Luminance(RGB c) {
  return (c.r * 30 + c.g * 59 + c.b * 11) / 100;
}

}  // namespace

// The glyph cut into its images: 0 up, 1 disabled, 2 pressed (as many as the bitmap holds), and
// the disabled look made from image 0 when the bitmap has no disabled image.
struct TBitBtn::Images {
  std::array<RgbaImage, 3> images;
  int count = 0;
};

class TBitBtn::ButtonWidget : public Fl_Button {
 public:
  ButtonWidget() : Fl_Button(0, 0, 75, 25) {
    box(FL_UP_BOX);
    down_box(FL_DOWN_BOX);
    labeltype(FL_NO_LABEL);  // the caption is drawn by TBitBtn::Draw; the label keeps the '&' key
    callback(&ButtonWidget::Clicked);
  }
  TBitBtn* button = nullptr;
  void draw() override {
    if (button != nullptr) detail::Guarded([this] { button->Draw(); });
  }

 private:
  static void Clicked(Fl_Widget* widget, void*) {
    auto* self = static_cast<ButtonWidget*>(widget);
    if (self->button != nullptr) detail::Guarded([self] { self->button->Click(); });
  }
};

const vcl::ClassInfo& TBitBtn::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TBitBtn, TWinControl>("TBitBtn", [](auto& t) {
        using T = TBitBtn;
        t.Boolean("Cancel", &T::Cancel, &T::SetCancel).Default(false);
        detail::PublishCaption<T>(t);
        t.Boolean("Default", &T::Default, &T::SetDefault).Default(false);
        detail::PublishFont<T>(t);
        t.Object("Glyph", [](const T& c) { return c.Glyph(); });
        t.Enum("Layout", &T::Layout, &T::SetLayout, kButtonLayoutNames)
            .Default(TButtonLayout::blGlyphLeft);
        t.Integer("Margin", &T::Margin, &T::SetMargin).Default(-1);
        t.Integer("ModalResult", &T::ModalResult, &T::SetModalResult)
            .Idents(ModalResultIdents())
            .Default(mrNone);
        t.Integer("NumGlyphs", &T::NumGlyphs, &T::SetNumGlyphs).Default(1);
        detail::PublishParentFont<T>(t);
        t.Integer("Spacing", &T::Spacing, &T::SetSpacing).Default(4);
        detail::PublishTabOrder<T>(t, true);
        detail::PublishOnClick<T>(t);
      });
  return info;
}

TBitBtn::TBitBtn(vcl::TComponent* owner)
    : TWinControl(owner, detail::MakeWidget<ButtonWidget>()),
      button_(static_cast<ButtonWidget*>(Widget())),
      glyph_(std::make_unique<TBitmap>()) {
  button_->button = this;
  SetTabStop(true);
  glyph_->OnChange = [this] { GlyphChanged(); };
}

TBitBtn::~TBitBtn() = default;

void TBitBtn::SetNumGlyphs(int count) {
  if (count < 1 || count > 4) throw vcl::ERangeError("NumGlyphs must be 1 to 4");
  num_glyphs_ = count;
  GlyphChanged();
}

void TBitBtn::SetLayout(TButtonLayout layout) {
  layout_ = layout;
  Invalidate();
}

void TBitBtn::SetMargin(int margin) {
  margin_ = std::max(-1, margin);
  Invalidate();
}

void TBitBtn::SetSpacing(int spacing) {
  spacing_ = std::max(-1, spacing);
  Invalidate();
}

void TBitBtn::SetDefault(bool value) {
  default_ = value;
  Invalidate();
}

void TBitBtn::Click() {
  if (modal_result_ != mrNone) {
    if (TForm* form = ParentForm()) form->SetModalResult(modal_result_);
  }
  TWinControl::Click();
}

void TBitBtn::EnabledChanged() {
  TWinControl::EnabledChanged();
  button_->redraw();
}

void TBitBtn::CaptionChanged() {
  button_->copy_label(Caption().c_str());  // not drawn: FLTK takes the '&' key from it
  TWinControl::CaptionChanged();
}

void TBitBtn::GlyphChanged() {
  images_.reset();
  Invalidate();
}

int TBitBtn::GlyphWidth() const noexcept {
  if (glyph_->Empty()) return 0;
  return glyph_->Width() / num_glyphs_;
}

TBitBtn::Placement TBitBtn::ComputePlacement() const {
  const int client_w = Width();
  const int client_h = Height();
  const int glyph_w = GlyphWidth();
  const int glyph_h = glyph_w > 0 ? glyph_->Height() : 0;
  int text_w = 0;
  int text_h = 0;
  if (!Caption().empty() && detail::DisplayOpen()) {
    detail::MeasureCaption(Caption(), detail::LookOf(*Font()), 0, text_w, text_h, true);
  }
  const bool horizontal =
      layout_ == TButtonLayout::blGlyphLeft || layout_ == TButtonLayout::blGlyphRight;
  const int client = horizontal ? client_w : client_h;
  const int glyph = horizontal ? glyph_w : glyph_h;
  const int text = horizontal ? text_w : text_h;

  // Glyph and caption centred across the layout direction.
  Placement p;
  p.glyph = TRect{(client_w - glyph_w + 1) / 2, (client_h - glyph_h + 1) / 2, glyph_w, glyph_h};
  p.caption = TRect{(client_w - text_w + 1) / 2, (client_h - text_h + 1) / 2, text_w, text_h};

  int margin = margin_;
  int spacing = (text == 0 || glyph == 0) ? 0 : spacing_;
  if (margin == -1) {
    if (spacing == -1) {
      margin = (client - (glyph + text)) / 3;
      spacing = margin;
    } else {
      margin = (client - (glyph + spacing + text) + 1) / 2;
    }
  } else if (spacing == -1) {
    spacing = (client - (margin + glyph) - text) / 2;
  }

  int& glyph_pos = horizontal ? p.glyph.left : p.glyph.top;
  int& text_pos = horizontal ? p.caption.left : p.caption.top;
  switch (layout_) {
    case TButtonLayout::blGlyphLeft:
    case TButtonLayout::blGlyphTop:
      glyph_pos = margin;
      text_pos = glyph_pos + glyph + spacing;
      break;
    case TButtonLayout::blGlyphRight:
    case TButtonLayout::blGlyphBottom:
      glyph_pos = client - margin - glyph;
      text_pos = glyph_pos - spacing - text;
      break;
  }
  return p;
}

void TBitBtn::Draw() {
  const int x = button_->x();
  const int y = button_->y();
  const int w = button_->w();
  const int h = button_->h();
  const bool pressed = button_->value() != 0;
  const bool enabled = button_->active_r() != 0;
  const bool focused = Fl::focus() == button_;
  const Fl_Color face = detail::ToFlColor(clBtnFace);

  // A focused or default button gets the platform's extra dark outline.
  int bx = x, by = y, bw = w, bh = h;
  if ((focused || default_) && enabled) {
    fl_rect(x, y, w, h, detail::ToFlColor(cl3DDkShadow));
    ++bx;
    ++by;
    bw -= 2;
    bh -= 2;
  }
  fl_draw_box(pressed ? FL_DOWN_BOX : FL_UP_BOX, bx, by, bw, bh, face);

  const Placement p = ComputePlacement();
  const int shift = pressed ? 1 : 0;
  fl_push_clip(x + 2, y + 2, w - 4, h - 4);
  if (GlyphWidth() > 0) {
    if (!images_) {
      images_ = std::make_unique<Images>();
      const int gw = GlyphWidth();
      const int gh = glyph_->Height();
      const RGB transparent = glyph_->TransparentColor();
      images_->count = std::min(num_glyphs_, 3);
      for (int i = 0; i < images_->count; ++i) {
        RgbaImage& out = images_->images[static_cast<std::size_t>(i)];
        out.pixels.assign(static_cast<std::size_t>(gw) * gh * 4, 0);
        for (int py = 0; py < gh; ++py) {
          for (int px = 0; px < gw; ++px) {
            const RGB c = glyph_->Pixel(i * gw + px, py);
            unsigned char* d = &out.pixels[(static_cast<std::size_t>(py) * gw + px) * 4];
            if (c == transparent) continue;
            d[0] = c.r;
            d[1] = c.g;
            d[2] = c.b;
            d[3] = 255;
          }
        }
        out.Make(gw, gh);
      }
      if (images_->count == 1) {
        // The platform's disabled look: dark pixels embossed, a light copy one pixel down-right
        // under a grey one; light pixels vanish.
        RgbaImage& out = images_->images[1];
        out.pixels.assign(static_cast<std::size_t>(gw) * gh * 4, 0);
        const RGB light = ColorToRGB(clBtnHighlight);
        const RGB shadow = ColorToRGB(clBtnShadow);
        auto put = [&](int px, int py, RGB c) {
          if (px >= gw || py >= gh) return;
          unsigned char* d = &out.pixels[(static_cast<std::size_t>(py) * gw + px) * 4];
          d[0] = c.r;
          d[1] = c.g;
          d[2] = c.b;
          d[3] = 255;
        };
        for (int pass = 0; pass < 2; ++pass) {
          for (int py = 0; py < gh; ++py) {
            for (int px = 0; px < gw; ++px) {
              const RGB c = glyph_->Pixel(px, py);
              if (c == transparent || Luminance(c) >= 192) continue;
              if (pass == 0) {
                put(px + 1, py + 1, light);
              } else {
                put(px, py, shadow);
              }
            }
          }
        }
        out.Make(gw, gh);
      }
    }
    int index = 0;
    if (!enabled) {
      index = 1;
    } else if (pressed && images_->count >= 3) {
      index = 2;
    }
    if (images_->images[static_cast<std::size_t>(index)].image) {
      images_->images[static_cast<std::size_t>(index)].image->draw(x + p.glyph.left + shift,
                                                                   y + p.glyph.top + shift);
    }
  }
  if (!Caption().empty()) {
    detail::DrawCaption(Caption(), detail::LookOf(*Font()), x + p.caption.left + shift,
                        y + p.caption.top + shift, p.caption.width, p.caption.height,
                        static_cast<Fl_Align>(FL_ALIGN_CENTER | FL_ALIGN_INSIDE), true, !enabled);
  }
  fl_pop_clip();
  if (focused && enabled && Fl::visible_focus()) {
    fl_line_style(FL_DOT);
    fl_color(FL_BLACK);
    fl_rect(x + 4, y + 4, w - 8, h - 8);
    fl_line_style(FL_SOLID);
  }
}

}  // namespace forms
