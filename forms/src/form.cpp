#include "event_source.h"
#include "fltk_support.h"
#include "forms/buttons.h"
#include "forms/forms.h"
#include "seams.h"

#include <algorithm>

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/x.H>
#include <X11/Xatom.h>

namespace forms {

namespace {

constexpr const char* kBorderStyleNames[] = {"bsNone",   "bsSingle",     "bsSizeable",
                                             "bsDialog", "bsToolWindow", "bsSizeToolWin"};
constexpr const char* kBorderIconNames[] = {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"};
constexpr const char* kPositionNames[] = {
    "poDesigned",     "poDefault",       "poDefaultPosOnly", "poDefaultSizeOnly",
    "poScreenCenter", "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"};

// The Motif window manager hints: the de-facto way to ask for a frame without some of its boxes.
struct MotifHints {
  unsigned long flags;
  unsigned long functions;
  unsigned long decorations;
  long input_mode;
  unsigned long status;
};
constexpr unsigned long kHintsFunctions = 1, kHintsDecorations = 2;
constexpr unsigned long kFuncResize = 2, kFuncMove = 4, kFuncMinimize = 8, kFuncMaximize = 16,
                        kFuncClose = 32;
constexpr unsigned long kDecorBorder = 2, kDecorResize = 4, kDecorTitle = 8, kDecorMenu = 16,
                        kDecorMinimize = 32, kDecorMaximize = 64;

bool FixedSize(TFormBorderStyle style) {
  return style != TFormBorderStyle::bsSizeable && style != TFormBorderStyle::bsSizeToolWin;
}

}  // namespace

// The form's window: draws the form, routes the close box and the dialog keys to the form, and
// keeps the form's Left/Top in step when the window manager moves the window.
class TForm::FormWindow : public Fl_Double_Window {
 public:
  FormWindow() : Fl_Double_Window(320, 240) {
    box(FL_FLAT_BOX);
    resizable(nullptr);
    callback(&FormWindow::CloseCallback);
  }

  TForm* form = nullptr;

  void draw() override {
    Fl_Double_Window::draw();
    if (form != nullptr) ++form->paint_count_;
    if (form != nullptr && !form->painted_) {
      detail::Guarded([this] { form->WindowPainted(); });
    }
  }

  int handle(int event) override {
    int used = 0;
    detail::Guarded([&] {
      if (form != nullptr && (event == FL_KEYBOARD || event == FL_SHORTCUT) &&
          (Fl::event_state() & (FL_CTRL | FL_ALT | FL_META)) == 0 &&
          form->HandleNavigationKey(Fl::event_key(), (Fl::event_state() & FL_SHIFT) != 0)) {
        used = 1;
        return;
      }
      used = Fl_Double_Window::handle(event);
    });
    return used;
  }

  void resize(int x, int y, int w, int h) override {
    Fl_Double_Window::resize(x, y, w, h);
    if (form != nullptr) form->WindowMoved(x, y, w, h);
  }

 private:
  static void CloseCallback(Fl_Widget* widget, void*) {
    auto* self = static_cast<FormWindow*>(widget);
    detail::Guarded([self] {
      if (self->form == nullptr) return;
      // FLTK sends Escape to the window callback; on the platform Escape only reaches a Cancel
      // button (HandleNavigationKey has had its chance already).
      if ((Fl::event() == FL_SHORTCUT || Fl::event() == FL_KEYBOARD) &&
          Fl::event_key() == FL_Escape) {
        return;
      }
      self->form->CloseBoxPressed();
    });
  }
};

const vcl::ClassInfo& TForm::StaticClass() {
  static const vcl::ClassInfo info = vcl::DescribeClass<TForm, TWinControl>("TForm", [](auto& t) {
    using T = TForm;
    t.SetOf("BorderIcons", &T::BorderIcons, &T::SetBorderIcons, kBorderIconNames)
        .Default(TBorderIcons{TBorderIcon::biSystemMenu, TBorderIcon::biMinimize,
                              TBorderIcon::biMaximize});
    t.Enum("BorderStyle", &T::BorderStyle, &T::SetBorderStyle, kBorderStyleNames)
        .Default(TFormBorderStyle::bsSizeable);
    t.String("Caption", &T::Caption, &T::SetCaption);
    t.Integer("ClientHeight", &T::ClientHeight, &T::SetClientHeight);
    t.Integer("ClientWidth", &T::ClientWidth, &T::SetClientWidth);
    t.Integer("Color", &T::Color, &T::SetColor).Idents(ColorIdents()).Default(clBtnFace);
    t.Object("Font", [](const T& c) { return c.Font(); });
    t.Boolean("OldCreateOrder", &T::OldCreateOrder, &T::SetOldCreateOrder);
    t.Enum("Position", &T::Position, &T::SetPosition, kPositionNames)
        .Default(TPosition::poDesigned);
    t.Integer("PixelsPerInch", &T::PixelsPerInch, &T::SetPixelsPerInch);
    t.Integer("TextHeight", &T::TextHeight, &T::SetTextHeight);
  });
  return info;
}

TForm::TForm(vcl::TComponent* owner)
    : TWinControl(owner, detail::MakeWidget<FormWindow>()),
      window_(static_cast<FormWindow*>(Widget())),
      self_(std::make_shared<TForm*>(this)) {
  RegisterFormsClasses();
  window_->form = this;
  visible_ = false;  // a form is hidden until shown
  parent_font_ = false;
  ApplyColor();
}

TForm::~TForm() {
  Destroying();
  window_->form = nullptr;
  window_->hide();
  self_.reset();
}

Fl_Window* TForm::Window() const noexcept {
  return window_;
}

Fl_Group* TForm::Container() const {
  return window_;
}

unsigned long TForm::XWindowId() const {
  return window_->shown() ? static_cast<unsigned long>(fl_xid(window_)) : 0;
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
  border_style_ = style;
  ApplyBorder();
}

void TForm::SetBorderIcons(TBorderIcons icons) {
  border_icons_ = icons;
  ApplyBorder();
}

void TForm::SetBounds(int left, int top, int width, int height) {
  TWinControl::SetBounds(left, top, width, height);
  ApplyBorder();
}

void TForm::UpdateWidgetGeometry() {
  window_->resize(Left(), Top(), std::max(1, Width()), std::max(1, Height()));
  for (int i = 0; i < ControlCount(); ++i) Controls(i)->UpdateWidgetGeometry();
}

void TForm::CaptionChanged() {
  window_->copy_label(Caption().c_str());
}

void TForm::ColorChanged() {
  TWinControl::ColorChanged();
  window_->redraw();
}

void TForm::ApplyBorder() {
  const int w = std::max(1, Width());
  const int h = std::max(1, Height());
  if (FixedSize(border_style_)) {
    window_->size_range(w, h, w, h);
  } else {
    window_->size_range(1, 1);
  }
  window_->border(border_style_ != TFormBorderStyle::bsNone);
  if (!window_->shown()) return;
  MotifHints hints{};
  hints.flags = kHintsFunctions | kHintsDecorations;
  hints.functions = kFuncMove | kFuncClose;
  hints.decorations = kDecorBorder | kDecorTitle | kDecorMenu;
  if (!FixedSize(border_style_)) {
    hints.functions |= kFuncResize;
    hints.decorations |= kDecorResize;
  }
  const bool dialog = border_style_ == TFormBorderStyle::bsDialog;
  if (!dialog && border_icons_.Contains(TBorderIcon::biMinimize)) {
    hints.functions |= kFuncMinimize;
    hints.decorations |= kDecorMinimize;
  }
  if (!dialog && !FixedSize(border_style_) && border_icons_.Contains(TBorderIcon::biMaximize)) {
    hints.functions |= kFuncMaximize;
    hints.decorations |= kDecorMaximize;
  }
  const Atom atom = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(fl_display, fl_xid(window_), atom, atom, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&hints), 5);
}

void TForm::PlaceOnScreen() {
  switch (position_) {
    case TPosition::poScreenCenter:
    case TPosition::poDesktopCenter:
    case TPosition::poMainFormCenter:
    case TPosition::poOwnerFormCenter: {
      const TRect area = ScreenWorkArea();
      SetBounds(area.left + (area.width - Width()) / 2, area.top + (area.height - Height()) / 2,
                Width(), Height());
      window_->position(Left(), Top());  // also when unchanged: placed by us, not the WM
      break;
    }
    case TPosition::poDefault:
    case TPosition::poDefaultPosOnly:
    case TPosition::poDefaultSizeOnly:
      window_->free_position();
      break;
    case TPosition::poDesigned:
      window_->position(Left(), Top());
      break;
  }
}

void TForm::FitControls(TWinControl& container) {
  for (int i = 0; i < container.ControlCount(); ++i) {
    TControl* control = container.Controls(i);
    control->AdjustSize();
    if (auto* nested = dynamic_cast<TWinControl*>(control)) FitControls(*nested);
  }
}

void TForm::ShowForm() {
  detail::EnsureDisplay();
  FitControls(*this);
  const bool was_shown = window_->shown() && window_->visible();
  if (!was_shown) {
    PlaceOnScreen();
    painted_ = false;
  }
  visible_ = true;
  window_->show();
  ApplyBorder();
  if (!was_shown) FocusFirst();
}

void TForm::SetVisible(bool visible) {
  if (IsLoading()) {
    visible_ = visible;
    return;
  }
  if (visible) {
    ShowForm();
  } else {
    visible_ = false;
    window_->hide();
  }
}

void TForm::Loaded() {
  TWinControl::Loaded();
  // A form stored as visible is shown once it is read, as on the platform.
  if (visible_ && !IsDesigning()) {
    visible_ = false;
    ShowForm();
  }
}

TModalResult TForm::ShowModal() {
  if (window_->shown() && window_->visible()) {
    throw EInvalidOperation("Cannot make a visible window modal");
  }
  modal_result_ = mrNone;
  modal_ = true;
  // Hidden again however the loop ends, an exception of a handler included.
  struct Hide {
    TForm* form;
    ~Hide() {
      form->modal_ = false;
      form->visible_ = false;
      form->window_->hide();
      form->window_->clear_modal_states();
    }
  } hide{this};
  window_->set_modal();
  ShowForm();
  detail::RunModalLoop([this] { return modal_result_ != mrNone; });
  if (modal_result_ == mrNone) modal_result_ = mrCancel;  // the application was terminated
  return modal_result_;
}

void TForm::Close() {
  if (modal_) {
    modal_result_ = mrCancel;
  } else {
    SetVisible(false);
  }
}

void TForm::CloseBoxPressed() {
  Close();
}

void TForm::WindowMoved(int x, int y, int w, int h) {
  left_ = x;
  top_ = y;
  width_ = w;
  height_ = h;
}

TPoint TForm::ScreenPosition() const {
  if (window_->shown()) return TPoint{window_->x(), window_->y()};
  return TPoint{Left(), Top()};
}

TWinControl* TForm::ActiveControl() const {
  for (TWinControl* control : TabList()) {
    if (control->Focused()) return control;
  }
  return nullptr;
}

void TForm::FocusFirst() {
  for (TWinControl* control : TabList()) {
    if (control->CanFocus()) {
      control->SetFocus();
      return;
    }
  }
}

bool TForm::HandleNavigationKey(int key, bool shift) {
  std::vector<TWinControl*> list = TabList();
  if (key == FL_Tab) {
    std::erase_if(list, [](TWinControl* c) { return !c->CanFocus(); });
    if (list.empty()) return false;
    const auto current =
        std::find_if(list.begin(), list.end(), [](TWinControl* c) { return c->Focused(); });
    const auto n = static_cast<std::ptrdiff_t>(list.size());
    std::ptrdiff_t index = current == list.end() ? (shift ? 0 : -1) : current - list.begin();
    index = (index + (shift ? n - 1 : 1)) % n;
    list[static_cast<std::size_t>(index)]->SetFocus();
    return true;
  }
  if (key == FL_Enter || key == FL_KP_Enter || key == FL_Escape) {
    const bool escape = key == FL_Escape;
    TBitBtn* target = nullptr;
    for (TWinControl* control : list) {
      auto* button = dynamic_cast<TBitBtn*>(control);
      if (button == nullptr || !button->CanFocus()) continue;
      if (!escape && button->Focused()) {
        target = button;  // Enter clicks the focused button first
        break;
      }
      if (target == nullptr && (escape ? button->Cancel() : button->Default())) target = button;
    }
    if (target == nullptr) return false;
    target->Click();
    return true;
  }
  return false;
}

void TForm::WindowPainted() {
  painted_ = true;
  // The X server may not have shown everything yet: let the seam run from the loop, after a
  // round trip.
  std::weak_ptr<TForm*> weak = self_;
  QueueCall([weak] {
    const std::shared_ptr<TForm*> alive = weak.lock();
    if (!alive) return;
    Fl::flush();
    XSync(fl_display, False);
    detail::NotifyFormShown(**alive);
  });
}

}  // namespace forms
