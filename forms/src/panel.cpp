#include "fltk_support.h"
#include "forms/ext_ctrls.h"
#include "published.h"
#include "vcl/exceptions.h"

#include <FL/Fl_Group.H>
#include <FL/fl_draw.H>

namespace forms {

namespace {

constexpr const char* kBevelNames[] = {"bvNone", "bvLowered", "bvRaised", "bvSpace"};
constexpr const char* kBorderStyleNames[] = {"bsNone", "bsSingle"};

// One bevel: `width` rings, top-left in `top_left`, bottom-right in `bottom_right`; shrinks the
// rectangle by the rings drawn.
void Frame3D(int& x, int& y, int& w, int& h, Fl_Color top_left, Fl_Color bottom_right, int width) {
  for (int i = 0; i < width && w > 1 && h > 1; ++i) {
    fl_color(top_left);
    fl_xyline(x, y, x + w - 2);
    fl_yxline(x, y, y + h - 2);
    fl_color(bottom_right);
    fl_xyline(x, y + h - 1, x + w - 1);
    fl_yxline(x + w - 1, y, y + h - 1);
    ++x;
    ++y;
    w -= 2;
    h -= 2;
  }
}

}  // namespace

class TPanel::PanelGroup : public Fl_Group {
 public:
  PanelGroup() : Fl_Group(0, 0, 185, 41) {
    box(FL_FLAT_BOX);
    resizable(nullptr);
  }
  TPanel* panel = nullptr;
  void draw() override {
    if (panel != nullptr) detail::Guarded([this] { panel->Draw(); });
    draw_children();
  }
};

const vcl::ClassInfo& TPanel::StaticClass() {
  static const vcl::ClassInfo info = vcl::DescribeClass<TPanel, TWinControl>("TPanel", [](auto& t) {
    using T = TPanel;
    t.Enum("Alignment", &T::Alignment, &T::SetAlignment, detail::kAlignmentNames)
        .Default(TAlignment::taCenter);
    t.Enum("BevelInner", &T::BevelInner, &T::SetBevelInner, kBevelNames).Default(TBevelCut::bvNone);
    t.Enum("BevelOuter", &T::BevelOuter, &T::SetBevelOuter, kBevelNames)
        .Default(TBevelCut::bvRaised);
    t.Integer("BevelWidth", &T::BevelWidth, &T::SetBevelWidth).Default(1);
    t.Enum("BorderStyle", &T::BorderStyle, &T::SetBorderStyle, kBorderStyleNames)
        .Default(TBorderStyle::bsNone);
    detail::PublishCaption<T>(t);
    detail::PublishColor<T>(t);
    detail::PublishFont<T>(t);
    detail::PublishParentColor<T>(t, false);
    detail::PublishParentFont<T>(t);
    detail::PublishTabOrder<T>(t, false);
    detail::PublishOnClick<T>(t);
  });
  return info;
}

TPanel::TPanel(vcl::TComponent* owner)
    : TWinControl(owner, detail::MakeWidget<PanelGroup>()),
      group_(static_cast<PanelGroup*>(Widget())) {
  group_->panel = this;
  ApplyColor();
}

Fl_Group* TPanel::Container() const {
  return group_;
}

void TPanel::SetAlignment(TAlignment alignment) {
  alignment_ = alignment;
  Invalidate();
}

void TPanel::SetBevelOuter(TBevelCut bevel) {
  bevel_outer_ = bevel;
  Invalidate();
}

void TPanel::SetBevelInner(TBevelCut bevel) {
  bevel_inner_ = bevel;
  Invalidate();
}

void TPanel::SetBevelWidth(int width) {
  if (width < 1) throw vcl::ERangeError("BevelWidth must be at least 1");
  bevel_width_ = width;
  Invalidate();
}

void TPanel::SetBorderStyle(TBorderStyle style) {
  border_style_ = style;
  Invalidate();
}

void TPanel::Draw() {
  int x = group_->x();
  int y = group_->y();
  int w = group_->w();
  int h = group_->h();
  fl_rectf(x, y, w, h, detail::ToFlColor(Color()));
  if (border_style_ == TBorderStyle::bsSingle) {
    Frame3D(x, y, w, h, detail::ToFlColor(clWindowFrame), detail::ToFlColor(clWindowFrame), 1);
  }
  const Fl_Color light = detail::ToFlColor(clBtnHighlight);
  const Fl_Color dark = detail::ToFlColor(clBtnShadow);
  for (TBevelCut bevel : {bevel_outer_, bevel_inner_}) {
    if (bevel == TBevelCut::bvNone) continue;
    if (bevel == TBevelCut::bvSpace) {
      x += bevel_width_;
      y += bevel_width_;
      w -= 2 * bevel_width_;
      h -= 2 * bevel_width_;
      continue;
    }
    const bool raised = bevel == TBevelCut::bvRaised;
    Frame3D(x, y, w, h, raised ? light : dark, raised ? dark : light, bevel_width_);
  }
  if (Caption().empty() || w <= 0 || h <= 0) return;
  int align = FL_ALIGN_INSIDE | FL_ALIGN_CLIP;
  if (alignment_ == TAlignment::taLeftJustify) align |= FL_ALIGN_LEFT;
  if (alignment_ == TAlignment::taRightJustify) align |= FL_ALIGN_RIGHT;
  fl_push_clip(x, y, w, h);
  detail::DrawCaption(Caption(), detail::LookOf(*Font()), x, y, w, h, static_cast<Fl_Align>(align),
                      true, !group_->active_r());
  fl_pop_clip();
}

}  // namespace forms
