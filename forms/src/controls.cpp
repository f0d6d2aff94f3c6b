#include "forms/controls.h"
#include "fltk_support.h"
#include "forms/forms.h"

#include <algorithm>
#include <climits>

#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>

namespace forms {

namespace {

constexpr vcl::IdentValue kModalResultIdents[] = {
    {"mrNone", mrNone},         {"mrOk", mrOk},
    {"mrCancel", mrCancel},     {"mrAbort", mrAbort},
    {"mrRetry", mrRetry},       {"mrIgnore", mrIgnore},
    {"mrYes", mrYes},           {"mrNo", mrNo},
    {"mrAll", mrAll},           {"mrNoToAll", mrNoToAll},
    {"mrYesToAll", mrYesToAll},
};

}  // namespace

std::span<const vcl::IdentValue> ModalResultIdents() {
  return kModalResultIdents;
}

// ---------------------------------------------------------------------------------------------
// TControl

const vcl::ClassInfo& TControl::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TControl, vcl::TComponent>("TControl", [](auto& t) {
        using T = TControl;
        t.Integer("Left", &T::Left, &T::SetLeft);
        t.Integer("Top", &T::Top, &T::SetTop);
        t.Integer("Width", &T::Width, &T::SetWidth);
        t.Integer("Height", &T::Height, &T::SetHeight);
        t.Boolean("Enabled", &T::Enabled, &T::SetEnabled).Default(true);
        t.Boolean("Visible", &T::Visible, &T::SetVisible).Default(true);
      });
  return info;
}

TControl::TControl(vcl::TComponent* owner, std::unique_ptr<Fl_Widget> widget)
    : vcl::TComponent(owner), widget_(std::move(widget)), font_(std::make_unique<TFont>()) {
  left_ = widget_->x();
  top_ = widget_->y();
  width_ = widget_->w();
  height_ = widget_->h();
  font_->OnChange = [this] { FontChanged(); };
}

TControl::~TControl() {
  Destroying();
  detail::ForgetWidget(widget_.get());
  if (parent_ != nullptr) parent_->RemoveControl(this);
  if (Fl_Group* group = widget_->parent()) group->remove(widget_.get());
}

void TControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  InvalidateArea();  // the old place
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  UpdateWidgetGeometry();
  InvalidateArea();
}

TPoint TControl::WindowOrigin() const {
  const TPoint origin = parent_ != nullptr ? parent_->WindowOrigin() : TPoint{};
  return TPoint{origin.x + left_, origin.y + top_};
}

void TControl::UpdateWidgetGeometry() {
  const TPoint origin = WindowOrigin();
  widget_->resize(origin.x, origin.y, width_, height_);
}

TPoint TControl::ClientOrigin() const {
  const TForm* form = dynamic_cast<const TForm*>(this);
  if (form == nullptr) form = ParentForm();
  const TPoint in_window = WindowOrigin();
  if (form == nullptr) return in_window;
  const TPoint screen = form->ScreenPosition();
  return TPoint{screen.x + in_window.x, screen.y + in_window.y};
}

TPoint TControl::ClientToScreen(TPoint point) const {
  const TPoint origin = ClientOrigin();
  return TPoint{origin.x + point.x, origin.y + point.y};
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  UpdateWidgetVisibility();
  InvalidateArea();
}

void TControl::UpdateWidgetVisibility() {
  if (visible_) {
    widget_->show();
  } else {
    widget_->hide();
  }
}

bool TControl::Showing() const {
  for (const TControl* c = this; c != nullptr; c = c->parent_) {
    if (!c->visible_) return false;
    if (const auto* form = dynamic_cast<const TForm*>(c)) return form->Widget()->visible() != 0;
  }
  return false;
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  UpdateWidgetEnabled();
  EnabledChanged();
}

void TControl::UpdateWidgetEnabled() {
  if (enabled_) {
    widget_->activate();
  } else {
    widget_->deactivate();
  }
}

void TControl::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  CaptionChanged();
}

void TControl::SetColor(TColor color) {
  parent_color_ = false;
  if (color == color_) return;
  color_ = color;
  ColorChanged();
}

void TControl::SetParentColor(bool parent_color) {
  if (parent_color == parent_color_) return;
  parent_color_ = parent_color;
  ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (!parent_color_ || parent_ == nullptr || parent_->color_ == color_) return;
  color_ = parent_->color_;
  ColorChanged();
}

void TControl::SetParentFont(bool parent_font) {
  if (parent_font == parent_font_) return;
  parent_font_ = parent_font;
  ParentFontChanged();
}

void TControl::ParentFontChanged() {
  if (!parent_font_ || parent_ == nullptr) return;
  following_parent_font_ = true;
  try {
    font_->Assign(parent_->Font());
  } catch (...) {
    following_parent_font_ = false;
    throw;
  }
  following_parent_font_ = false;
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  for (const TControl* p = parent; p != nullptr; p = p->parent_) {
    if (p == this) throw vcl::EConvertError("Control cannot be its own parent");
  }
  InvalidateArea();
  if (parent_ != nullptr) parent_->RemoveControl(this);
  parent_ = parent;
  if (parent_ != nullptr) parent_->InsertControl(this);
  ParentFontChanged();
  ParentColorChanged();
  UpdateWidgetGeometry();
  InvalidateArea();
}

TForm* TControl::ParentForm() const {
  for (TWinControl* p = parent_; p != nullptr; p = p->parent_) {
    if (auto* form = dynamic_cast<TForm*>(p)) return form;
  }
  return nullptr;
}

void TControl::SetParentComponent(vcl::TComponent* parent) {
  if (auto* container = dynamic_cast<TWinControl*>(parent)) SetParent(container);
}

vcl::TComponent* TControl::GetParentComponent() const {
  // Directly on the root: nested in the root by the writer anyway.
  return parent_ != nullptr && parent_ != Owner() ? parent_ : nullptr;
}

void TControl::Click() {
  OnClick.Fire(this);
}

void TControl::Invalidate() {
  InvalidateArea();
}

void TControl::InvalidateArea() {
  if (widget_->box() == FL_NO_BOX && widget_->window() != nullptr) {
    widget_->window()->damage(FL_DAMAGE_ALL, widget_->x(), widget_->y(), widget_->w(),
                              widget_->h());
  } else {
    widget_->redraw();
  }
}

void TControl::Loaded() {
  vcl::TComponent::Loaded();
  AdjustSize();
}

void TControl::DefineProperties(vcl::TFiler& filer) {
  vcl::TPersistent::DefineProperties(filer);  // not TComponent's design position
}

void TControl::CaptionChanged() {
  if (IsLoadingOrDestroying()) return;
  AdjustSize();
  detail::RepaintThrottled(widget_.get());
}

void TControl::FontChanged() {
  if (!following_parent_font_) parent_font_ = false;
  if (IsLoadingOrDestroying()) return;
  AdjustSize();
  Invalidate();
}

void TControl::ColorChanged() {
  ApplyColor();
  Invalidate();
}

void TControl::ApplyColor() {
  widget_->color(detail::ToFlColor(color_));
}

void TControl::EnabledChanged() {
  Invalidate();
}

// ---------------------------------------------------------------------------------------------
// TWinControl

const vcl::ClassInfo& TWinControl::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TWinControl, TControl>("TWinControl", [](auto&) {});
  return info;
}

TWinControl::TWinControl(vcl::TComponent* owner, std::unique_ptr<Fl_Widget> widget)
    : TControl(owner, std::move(widget)) {}

TWinControl::~TWinControl() {
  // Children belong to their owners: take them off this control before its widget goes away
  // (an FLTK group deletes the widgets still in it).
  for (TControl* child : controls_) {
    if (Fl_Group* group = child->widget_->parent()) group->remove(child->widget_.get());
    child->parent_ = nullptr;
  }
  controls_.clear();
}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  Fl_Group* group = Container();
  if (group == nullptr) return;
  Fl_Widget* widget = control->widget_.get();
  if (dynamic_cast<TWinControl*>(control) != nullptr) {
    group->add(widget);
    return;
  }
  // Controls without a window of their own are painted below the windowed ones, as on the
  // platform: insert before the first windowed control.
  int index = group->children();
  for (TControl* sibling : controls_) {
    if (dynamic_cast<TWinControl*>(sibling) == nullptr) continue;
    const int at = group->find(sibling->widget_.get());
    if (at < index) index = at;
  }
  group->insert(*widget, index);
}

void TWinControl::RemoveControl(TControl* control) noexcept {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  if (Fl_Group* group = control->widget_->parent()) group->remove(control->widget_.get());
}

void TWinControl::UpdateWidgetGeometry() {
  TControl::UpdateWidgetGeometry();
  for (TControl* child : controls_) child->UpdateWidgetGeometry();
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* child : controls_) child->ParentFontChanged();
}

void TWinControl::ColorChanged() {
  TControl::ColorChanged();
  for (TControl* child : controls_) child->ParentColorChanged();
}

void TWinControl::EnabledChanged() {
  TControl::EnabledChanged();
  for (TControl* child : controls_) child->Invalidate();
}

bool TWinControl::CanFocus() const {
  if (!AcceptsFocus()) return false;
  for (const TControl* c = this; c != nullptr; c = c->Parent()) {
    if (!c->Visible() || !c->Enabled()) return false;
  }
  return Showing();
}

bool TWinControl::Focused() const {
  return Fl::focus() == Widget();
}

void TWinControl::SetFocus() {
  if (CanFocus()) Widget()->take_focus();
}

std::vector<TWinControl*> TWinControl::TabList() const {
  std::vector<TWinControl*> children;
  for (TControl* child : controls_) {
    if (auto* win = dynamic_cast<TWinControl*>(child)) children.push_back(win);
  }
  // Ranked by TabOrder; equal ranks (and -1, "last") keep the order of placement.
  std::stable_sort(children.begin(), children.end(), [](TWinControl* a, TWinControl* b) {
    const int ra = a->tab_order_ < 0 ? INT_MAX : a->tab_order_;
    const int rb = b->tab_order_ < 0 ? INT_MAX : b->tab_order_;
    return ra < rb;
  });
  std::vector<TWinControl*> list;
  for (TWinControl* child : children) {
    if (child->AcceptsFocus() && child->tab_stop_) list.push_back(child);
    const std::vector<TWinControl*> nested = child->TabList();
    list.insert(list.end(), nested.begin(), nested.end());
  }
  return list;
}

}  // namespace forms
