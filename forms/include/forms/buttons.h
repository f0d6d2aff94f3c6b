// TBitBtn: a push button with a picture (glyph) and a caption.
//
// Glyph is a bitmap of NumGlyphs images of equal width side by side: the first for the enabled
// button, the second for the disabled one (with one image the disabled look is made from it,
// embossed in grey), the third while pressed. The glyph's bottom-left pixel colour is
// transparent. Layout puts the glyph left, right, above or below the caption; Margin is the
// distance from the glyph's edge of the button to the glyph (-1: glyph and caption centred
// together); Spacing the distance between glyph and caption (-1: centred in the space left).
//
// Clicking (mouse, Space or Enter while focused, the '&' accelerator with Alt) calls Click: the
// button's ModalResult, when not mrNone, becomes its form's; then OnClick fires. Default makes
// Enter click it when no other button has the focus, Cancel makes Escape click it.
//
// Threads: main thread only. Failures: SetNumGlyphs refuses counts outside 1..4 (vcl::ERangeError);
// nothing else throws beyond std::bad_alloc.
#pragma once

#include <memory>

#include "forms/controls.h"
#include "forms/graphics.h"

namespace forms {

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

class TBitBtn : public TWinControl {
 public:
  VCL_CLASS(TBitBtn)
  explicit TBitBtn(vcl::TComponent* owner);
  ~TBitBtn() override;

  // The picture (owned; never null). Changing it repaints the button.
  TBitmap* Glyph() const noexcept { return glyph_.get(); }
  void SetGlyph(const TBitmap* glyph) { glyph_->Assign(glyph); }
  int NumGlyphs() const noexcept { return num_glyphs_; }
  // 1 to 4; other values are refused with vcl::ERangeError.
  void SetNumGlyphs(int count);
  TButtonLayout Layout() const noexcept { return layout_; }
  void SetLayout(TButtonLayout layout);
  int Margin() const noexcept { return margin_; }
  void SetMargin(int margin);
  int Spacing() const noexcept { return spacing_; }
  void SetSpacing(int spacing);
  TModalResult ModalResult() const noexcept { return modal_result_; }
  void SetModalResult(TModalResult result) noexcept { modal_result_ = result; }
  bool Default() const noexcept { return default_; }
  void SetDefault(bool value);
  bool Cancel() const noexcept { return cancel_; }
  void SetCancel(bool value) noexcept { cancel_ = value; }

  void Click() override;

  // Where the glyph and the caption are drawn, relative to the button's top-left corner (for
  // tests of the layout).
  struct Placement {
    TRect glyph;
    TRect caption;
  };
  Placement ComputePlacement() const;

 protected:
  bool AcceptsFocus() const override { return true; }
  void EnabledChanged() override;
  void CaptionChanged() override;

 private:
  class ButtonWidget;
  struct Images;
  void Draw();
  void GlyphChanged();
  int GlyphWidth() const noexcept;

  ButtonWidget* button_;  // the widget, owned by TControl
  std::unique_ptr<TBitmap> glyph_;
  std::unique_ptr<Images> images_;  // the glyph's images as FLTK draws them, made when needed
  int num_glyphs_ = 1;
  TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
  int margin_ = -1;
  int spacing_ = 4;
  TModalResult modal_result_ = mrNone;
  bool default_ = false;
  bool cancel_ = false;
};

}  // namespace forms
