// TPanel: a rectangle with an optional bevel and a centred caption that can hold other controls.
//
// BevelOuter/BevelInner draw raised or lowered edges of BevelWidth pixels (bvNone: none); the
// caption is drawn on one line, aligned by Alignment and centred vertically.
//
// Threads: main thread only. Failures: SetBevelWidth refuses widths below 1 (vcl::ERangeError);
// nothing else throws beyond std::bad_alloc.
#pragma once

#include "forms/controls.h"

namespace forms {

enum class TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum class TBorderStyle { bsNone, bsSingle };

class TPanel : public TWinControl {
 public:
  VCL_CLASS(TPanel)
  explicit TPanel(vcl::TComponent* owner);

  TAlignment Alignment() const noexcept { return alignment_; }
  void SetAlignment(TAlignment alignment);
  TBevelCut BevelOuter() const noexcept { return bevel_outer_; }
  void SetBevelOuter(TBevelCut bevel);
  TBevelCut BevelInner() const noexcept { return bevel_inner_; }
  void SetBevelInner(TBevelCut bevel);
  int BevelWidth() const noexcept { return bevel_width_; }
  void SetBevelWidth(int width);
  TBorderStyle BorderStyle() const noexcept { return border_style_; }
  void SetBorderStyle(TBorderStyle style);

 protected:
  Fl_Group* Container() const override;

 private:
  class PanelGroup;
  void Draw();

  PanelGroup* group_;  // the widget, owned by TControl
  TAlignment alignment_ = TAlignment::taCenter;
  TBevelCut bevel_outer_ = TBevelCut::bvRaised;
  TBevelCut bevel_inner_ = TBevelCut::bvNone;
  int bevel_width_ = 1;
  TBorderStyle border_style_ = TBorderStyle::bsNone;
};

}  // namespace forms
