// Visual controls: TControl (a rectangle on a parent, with caption, colour and font) and
// TWinControl (a control that can hold other controls and take the keyboard focus).
//
// Each control is a vcl::TComponent that owns one FLTK widget. Geometry is the platform's: Left
// and Top relative to the parent's client area, Width and Height in pixels. A control without a
// parent is not on screen. The form reader (vcl/form_file.h) creates controls by class name and
// tells each its parent through SetParentComponent.
//
// Ownership: a control owns its widget; its owner component owns the control. Freeing a parent
// before its children is safe: the children are taken off the screen and stay with their owner.
//
// Fonts and colours follow the parent while ParentFont/ParentColor are true; setting a font
// property or a colour clears them, as on the platform.
//
// Threads: main thread only. Failures: setters do not throw except where a setter says so (values
// out of range: vcl::ERangeError) and std::bad_alloc; the form reader reports a refused value
// with its line. Event handlers (OnClick) run on the main thread from inside the message loop;
// an exception of a handler propagates out of the loop function that dispatched it
// (ProcessMessages, HandleMessage, TForm::ShowModal, TPopupMenu::Popup).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "forms/display.h"
#include "forms/graphics.h"
#include "vcl/component.h"
#include "vcl/event.h"
#include "vcl/properties.h"

class Fl_Widget;
class Fl_Group;

namespace forms {

class TWinControl;
class TForm;

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

// Modal results of forms and buttons.
using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;
inline constexpr TModalResult mrNoToAll = 9;
inline constexpr TModalResult mrYesToAll = 10;
// Names of the modal results for property tables ("mrOk").
std::span<const vcl::IdentValue> ModalResultIdents();

class TControl : public vcl::TComponent {
 public:
  VCL_CLASS(TControl)
  ~TControl() override;

  // ---- geometry (pixels; Left/Top relative to the parent's client area)
  int Left() const noexcept { return left_; }
  int Top() const noexcept { return top_; }
  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }
  void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
  void SetTop(int top) { SetBounds(left_, top, width_, height_); }
  void SetWidth(int width) { SetBounds(left_, top_, width, height_); }
  void SetHeight(int height) { SetBounds(left_, top_, width_, height); }
  // Negative sizes are taken as 0.
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const noexcept { return TRect{left_, top_, width_, height_}; }
  virtual int ClientWidth() const noexcept { return width_; }
  virtual int ClientHeight() const noexcept { return height_; }

  // The screen position of the client area's top-left corner. For a control on a form that is
  // not shown, the form's Left/Top stand in for its screen position.
  TPoint ClientOrigin() const;
  TPoint ClientToScreen(TPoint point) const;

  // ---- state
  bool Visible() const noexcept { return visible_; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // True when this control and all its parents are visible and the form is on screen.
  bool Showing() const;
  bool Enabled() const noexcept { return enabled_; }
  virtual void SetEnabled(bool enabled);

  // The text the control shows ('&' marks an accelerator where the control supports it).
  const std::string& Caption() const noexcept { return caption_; }
  void SetCaption(const std::string& caption);

  TColor Color() const noexcept { return color_; }
  void SetColor(TColor color);
  bool ParentColor() const noexcept { return parent_color_; }
  void SetParentColor(bool parent_color);

  // The control's font (owned; never null). Changing it clears ParentFont.
  TFont* Font() const noexcept { return font_.get(); }
  void SetFont(const TFont* font) { font_->Assign(font); }
  bool ParentFont() const noexcept { return parent_font_; }
  void SetParentFont(bool parent_font);

  // ---- parent
  TWinControl* Parent() const noexcept { return parent_; }
  // Moves the control onto `parent` (nullptr: off screen). A control cannot be its own ancestor
  // (vcl::EConvertError "Control cannot be its own parent").
  void SetParent(TWinControl* parent);
  // The form the control is on, or nullptr.
  TForm* ParentForm() const;
  // The form reader's hook: a TWinControl becomes the parent; other components are ignored.
  void SetParentComponent(vcl::TComponent* parent) override;
  vcl::TComponent* GetParentComponent() const override;

  // ---- events
  vcl::TNotifyEvent OnClick;
  // Fires OnClick (the platform's Click).
  virtual void Click();

  // Asks for a repaint (done by the message loop; caption changes are coalesced, see
  // forms/display.h).
  void Invalidate();

  // The FLTK widget (owned). For tests and the layer's own code.
  Fl_Widget* Widget() const noexcept { return widget_.get(); }

  void Loaded() override;
  // Controls publish Left and Top themselves: no design position is defined.
  void DefineProperties(vcl::TFiler& filer) override;

 protected:
  // `widget` is the control's FLTK widget, created by the derived class.
  TControl(vcl::TComponent* owner, std::unique_ptr<Fl_Widget> widget);

  // Hooks for derived controls; the base implementations repaint.
  virtual void CaptionChanged();
  virtual void FontChanged();
  virtual void ColorChanged();
  virtual void EnabledChanged();
  // AutoSize controls fit themselves to their contents here (after loading and when the display
  // opens). The base does nothing.
  virtual void AdjustSize() {}
  // The FLTK colour the widget uses for Color.
  virtual void ApplyColor();

  // Where this control's client area starts within its window (window coordinates).
  virtual TPoint WindowOrigin() const;
  // Places the widget at the control's bounds; called after every change of geometry or parent.
  virtual void UpdateWidgetGeometry();

  // True while stored values are read or the control is being freed: no fitting or painting.
  bool IsLoadingOrDestroying() const { return IsLoading() || IsDestroying(); }

 private:
  friend class TWinControl;
  friend class TForm;
  void ParentFontChanged();
  void ParentColorChanged();
  void UpdateWidgetVisibility();
  void UpdateWidgetEnabled();
  // Repaint this control's area on its window (old bounds of a control without background).
  void InvalidateArea();

  std::unique_ptr<Fl_Widget> widget_;
  TWinControl* parent_ = nullptr;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  std::string caption_;
  TColor color_ = clBtnFace;
  bool parent_color_ = false;
  std::unique_ptr<TFont> font_;
  bool parent_font_ = true;
  bool following_parent_font_ = false;  // true while the parent's font is being copied in
};

class TWinControl : public TControl {
 public:
  VCL_CLASS(TWinControl)
  ~TWinControl() override;

  // The controls on this one, in the order they were placed.
  int ControlCount() const noexcept { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(static_cast<std::size_t>(index)); }

  // Keyboard focus: TabOrder ranks the control among its siblings (-1: after all others);
  // TabStop says whether Tab stops on it.
  int TabOrder() const noexcept { return tab_order_; }
  void SetTabOrder(int tab_order) noexcept { tab_order_ = tab_order; }
  bool TabStop() const noexcept { return tab_stop_; }
  void SetTabStop(bool tab_stop) noexcept { tab_stop_ = tab_stop; }
  // True when the control can take the focus now: TabStop or not, shown and enabled with all
  // its parents.
  bool CanFocus() const;
  bool Focused() const;
  // Gives the control the keyboard focus (nothing happens when it cannot take it).
  void SetFocus();

  // The focusable controls inside this one (itself excluded), in tab order, nested containers
  // expanded in place.
  std::vector<TWinControl*> TabList() const;

 protected:
  TWinControl(vcl::TComponent* owner, std::unique_ptr<Fl_Widget> widget);
  // The FLTK group child widgets go into; nullptr for controls that hold no others.
  virtual Fl_Group* Container() const { return nullptr; }
  // Whether the control takes the focus itself (buttons) or only holds others (panels, forms).
  virtual bool AcceptsFocus() const { return false; }

  void FontChanged() override;
  void ColorChanged() override;
  void EnabledChanged() override;
  void UpdateWidgetGeometry() override;

 private:
  friend class TControl;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control) noexcept;

  std::vector<TControl*> controls_;  // not owned: each belongs to its owner component
  int tab_order_ = -1;
  bool tab_stop_ = false;
};

// Registers every class of the forms layer with the class registry (vcl::RegisterClass), so that
// form files can name them. Idempotent; any thread. Creating a TForm calls it.
void RegisterFormsClasses();

}  // namespace forms
