// TForm: a top-level window holding controls, created from its form resource and shown modally
// or not.
//
// Creating a form from a form resource: construct the form class (whose constructor declares its
// published methods through its class table), then read the resource into it:
//
//   TfOnlineDownload::TfOnlineDownload(vcl::TComponent* owner) : forms::TForm(owner) {
//     vcl::ReadForm(*this, kOnlineDownloadForm);  // creates bOk, InfoLabel, ... by class name
//   }
//
// Geometry: ClientWidth/ClientHeight is the client area; Width/Height are the same size (the
// window manager draws its frame outside). Left/Top are the client area's screen position; with
// Position poScreenCenter (or poDesktopCenter) the form is centred on the screen's work area
// whenever it is shown. BorderStyle bsDialog (and bsSingle, bsToolWindow) makes the size fixed;
// BorderIcons without biMinimize/biMaximize asks the window manager for no such boxes (Motif
// hints); the close box is always there and closes the form.
//
// Modal show: ShowModal shows the form, makes it modal and runs the application's message loop
// (vcl::Application().HandleMessage) until ModalResult is set (a button with a ModalResult,
// SetModalResult, Close, the close box) or the application is terminated (mrCancel). Sent
// messages (synchronised calls of worker threads) run inside that loop. An exception of a handler
// run by the loop ends the modal show: the form is hidden and the exception propagates.
//
// Threads: main thread only. Failures: showing needs a display (EDisplayError, forms/display.h);
// ShowModal on a form already shown throws EInvalidOperation.
#pragma once

#include <functional>
#include <memory>

#include "forms/controls.h"
#include "vcl/set.h"

class Fl_Window;

namespace forms {

// "Cannot make a visible window modal" and other calls at the wrong moment.
class EInvalidOperation : public vcl::Exception {
 public:
  using vcl::Exception::Exception;
};

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = vcl::Set<TBorderIcon, std::uint8_t>;
enum class TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};

class TForm : public TWinControl {
 public:
  VCL_CLASS(TForm)
  explicit TForm(vcl::TComponent* owner);
  ~TForm() override;

  // ---- settings
  TFormBorderStyle BorderStyle() const noexcept { return border_style_; }
  void SetBorderStyle(TFormBorderStyle style);
  TBorderIcons BorderIcons() const noexcept { return border_icons_; }
  void SetBorderIcons(TBorderIcons icons);
  TPosition Position() const noexcept { return position_; }
  void SetPosition(TPosition position) noexcept { position_ = position; }
  int ClientWidth() const noexcept override { return Width(); }
  int ClientHeight() const noexcept override { return Height(); }
  void SetClientWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
  void SetClientHeight(int height) { SetBounds(Left(), Top(), Width(), height); }
  // Stored with the form, without effect here: the form is designed and shown at 96 pixels per
  // inch.
  std::int32_t PixelsPerInch() const noexcept { return pixels_per_inch_; }
  void SetPixelsPerInch(std::int32_t value) noexcept { pixels_per_inch_ = value; }
  std::int32_t TextHeight() const noexcept { return text_height_; }
  void SetTextHeight(std::int32_t value) noexcept { text_height_ = value; }
  bool OldCreateOrder() const noexcept { return old_create_order_; }
  void SetOldCreateOrder(bool value) noexcept { old_create_order_ = value; }

  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;

  // ---- showing
  // Shows the form without waiting (opens the display when needed).
  void ShowForm();
  // Shows the form modally and returns its modal result (see above).
  TModalResult ShowModal();
  bool Modal() const noexcept { return modal_; }
  TModalResult ModalResult() const noexcept { return modal_result_; }
  // Setting a result other than mrNone ends a running modal show.
  void SetModalResult(TModalResult result) noexcept { modal_result_ = result; }
  // Closes the form: a modal show ends with mrCancel; a form shown without waiting is hidden.
  void Close();

  // The control that has the focus, or nullptr.
  TWinControl* ActiveControl() const;

  // The form's window (owned through its widget). For tests and the layer's own code.
  Fl_Window* Window() const noexcept;

  // The X window id of the form while it is shown (0 otherwise): for screenshots.
  unsigned long XWindowId() const;
  // True once the form has been painted since it was last shown.
  bool Painted() const noexcept { return painted_; }
  // How many times the window has been painted (whole or in part) since the form was created.
  int PaintCount() const noexcept { return paint_count_; }

  void Loaded() override;

 protected:
  TPoint WindowOrigin() const override { return TPoint{}; }
  void UpdateWidgetGeometry() override;
  Fl_Group* Container() const override;
  void CaptionChanged() override;
  void ColorChanged() override;

 private:
  class FormWindow;
  friend class FormWindow;
  friend class TControl;
  TPoint ScreenPosition() const;
  void ApplyBorder();
  void PlaceOnScreen();
  void FitControls(TWinControl& container);
  void FocusFirst();
  // Tab and Shift+Tab between the focusable controls; Enter and Escape for the default and
  // cancel buttons. True when the key was used.
  bool HandleNavigationKey(int key, bool shift);
  void WindowPainted();
  void CloseBoxPressed();
  // The window manager moved or sized the window: take its geometry without moving it again.
  void WindowMoved(int x, int y, int w, int h);

  FormWindow* window_;  // the widget, owned by TControl
  TFormBorderStyle border_style_ = TFormBorderStyle::bsSizeable;
  TBorderIcons border_icons_{TBorderIcon::biSystemMenu, TBorderIcon::biMinimize,
                             TBorderIcon::biMaximize};
  TPosition position_ = TPosition::poDesigned;
  std::int32_t pixels_per_inch_ = 96;
  std::int32_t text_height_ = 13;
  bool old_create_order_ = false;
  bool modal_ = false;
  TModalResult modal_result_ = mrNone;
  bool painted_ = false;
  int paint_count_ = 0;
  // Lets calls queued into the loop find out whether the form still exists.
  std::shared_ptr<TForm*> self_;
};

}  // namespace forms
