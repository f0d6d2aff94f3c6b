#include "fltk_support.h"
#include "forms/std_ctrls.h"
#include "published.h"

#include <FL/Fl_Widget.H>
#include <FL/fl_draw.H>

namespace forms {

namespace {
constexpr const char* kLayoutNames[] = {"tlTop", "tlCenter", "tlBottom"};
}  // namespace

class TLabel::LabelWidget : public Fl_Widget {
 public:
  LabelWidget() : Fl_Widget(0, 0, 65, 13) { box(FL_FLAT_BOX); }
  TLabel* label = nullptr;
  void draw() override {
    if (label != nullptr) detail::Guarded([this] { label->Draw(); });
  }
};

const vcl::ClassInfo& TLabel::StaticClass() {
  static const vcl::ClassInfo info = vcl::DescribeClass<TLabel, TControl>("TLabel", [](auto& t) {
    using T = TLabel;
    t.Enum("Alignment", &T::Alignment, &T::SetAlignment, detail::kAlignmentNames)
        .Default(TAlignment::taLeftJustify);
    t.Boolean("AutoSize", &T::AutoSize, &T::SetAutoSize).Default(true);
    detail::PublishCaption<T>(t);
    detail::PublishColor<T>(t);
    detail::PublishFont<T>(t);
    t.Enum("Layout", &T::Layout, &T::SetLayout, kLayoutNames).Default(TTextLayout::tlTop);
    detail::PublishParentColor<T>(t, true);
    detail::PublishParentFont<T>(t);
    t.Boolean("ShowAccelChar", &T::ShowAccelChar, &T::SetShowAccelChar).Default(true);
    t.Boolean("Transparent", &T::Transparent, &T::SetTransparent).Default(false);
    t.Boolean("WordWrap", &T::WordWrap, &T::SetWordWrap).Default(false);
    detail::PublishOnClick<T>(t);
  });
  return info;
}

TLabel::TLabel(vcl::TComponent* owner) : TControl(owner, detail::MakeWidget<LabelWidget>()) {
  static_cast<LabelWidget*>(Widget())->label = this;
  SetParentColor(true);
}

void TLabel::SetAlignment(TAlignment alignment) {
  alignment_ = alignment;
  AdjustSize();
  Invalidate();
}

void TLabel::SetLayout(TTextLayout layout) {
  layout_ = layout;
  Invalidate();
}

void TLabel::SetAutoSize(bool auto_size) {
  auto_size_ = auto_size;
  AdjustSize();
}

void TLabel::SetWordWrap(bool word_wrap) {
  word_wrap_ = word_wrap;
  AdjustSize();
  Invalidate();
}

void TLabel::SetTransparent(bool transparent) {
  if (transparent == transparent_) return;
  transparent_ = transparent;
  ApplyColor();
  Invalidate();
}

void TLabel::SetShowAccelChar(bool show) {
  show_accel_char_ = show;
  AdjustSize();
  Invalidate();
}

void TLabel::ApplyColor() {
  TControl::ApplyColor();
  // Without a background the window paints the label's area (see TControl::Invalidate).
  Widget()->box(transparent_ ? FL_NO_BOX : FL_FLAT_BOX);
}

void TLabel::AdjustSize() {
  if (!auto_size_ || IsLoadingOrDestroying() || !detail::DisplayOpen()) return;
  // An empty caption still takes one line, as on the platform.
  const std::string text = Caption().empty() ? std::string(" ") : Caption();
  int w = 0;
  int h = 0;
  detail::MeasureCaption(text, detail::LookOf(*Font()), word_wrap_ ? Width() : 0, w, h,
                         show_accel_char_);
  if (word_wrap_) {
    SetBounds(Left(), Top(), Width(), h);
  } else if (alignment_ == TAlignment::taRightJustify) {
    SetBounds(Left() + Width() - w, Top(), w, h);
  } else {
    SetBounds(Left(), Top(), w, h);
  }
}

void TLabel::Draw() {
  Fl_Widget* w = Widget();
  if (!transparent_) fl_rectf(w->x(), w->y(), w->w(), w->h(), detail::ToFlColor(Color()));
  int align = FL_ALIGN_INSIDE;
  if (alignment_ == TAlignment::taLeftJustify) align |= FL_ALIGN_LEFT;
  if (alignment_ == TAlignment::taRightJustify) align |= FL_ALIGN_RIGHT;
  if (layout_ == TTextLayout::tlTop) align |= FL_ALIGN_TOP;
  if (layout_ == TTextLayout::tlBottom) align |= FL_ALIGN_BOTTOM;
  if (word_wrap_) align |= FL_ALIGN_WRAP;
  fl_push_clip(w->x(), w->y(), w->w(), w->h());
  detail::DrawCaption(Caption(), detail::LookOf(*Font()), w->x(), w->y(), w->w(), w->h(),
                      static_cast<Fl_Align>(align), show_accel_char_, !w->active_r());
  fl_pop_clip();
}

}  // namespace forms
