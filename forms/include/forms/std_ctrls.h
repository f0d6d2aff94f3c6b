// TLabel: a caption on a form, without a window of its own.
//
// AutoSize fits the label to its caption whenever the caption or the font changes (after loading
// and once the display is open): with WordWrap the width stays and the height follows the wrapped
// text; without it both follow, the right edge staying put for right-justified labels.
// Transparent labels paint no background: what is under them shows through, and a new caption
// repaints that area. ShowAccelChar: '&' underlines the next character ("&&" is one '&').
//
// Threads: main thread only. Failures: none beyond std::bad_alloc.
#pragma once

#include "forms/controls.h"

namespace forms {

enum class TTextLayout { tlTop, tlCenter, tlBottom };

class TLabel : public TControl {
 public:
  VCL_CLASS(TLabel)
  explicit TLabel(vcl::TComponent* owner);

  TAlignment Alignment() const noexcept { return alignment_; }
  void SetAlignment(TAlignment alignment);
  TTextLayout Layout() const noexcept { return layout_; }
  void SetLayout(TTextLayout layout);
  bool AutoSize() const noexcept { return auto_size_; }
  void SetAutoSize(bool auto_size);
  bool WordWrap() const noexcept { return word_wrap_; }
  void SetWordWrap(bool word_wrap);
  bool Transparent() const noexcept { return transparent_; }
  void SetTransparent(bool transparent);
  bool ShowAccelChar() const noexcept { return show_accel_char_; }
  void SetShowAccelChar(bool show);

 protected:
  void AdjustSize() override;
  void ApplyColor() override;

 private:
  class LabelWidget;
  void Draw();

  TAlignment alignment_ = TAlignment::taLeftJustify;
  TTextLayout layout_ = TTextLayout::tlTop;
  bool auto_size_ = true;
  bool word_wrap_ = false;
  bool transparent_ = false;
  bool show_accel_char_ = true;
};

}  // namespace forms
