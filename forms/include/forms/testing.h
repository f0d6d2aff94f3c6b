// Test seams of the forms layer: answering message boxes, picking popup menu entries and acting
// on a form once it is on screen, all from inside the real message loop with the real windows
// shown. Without a seam installed the user answers.
//
// Each seam is installed for a scope (the Scoped... classes restore the previous one). Seams are
// called on the main thread, from inside the loop that shows the window, after the window has
// been painted and the X server has caught up (so a screenshot taken inside shows it).
//
// Threads: main thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "forms/controls.h"
#include "forms/dialogs.h"

namespace forms {
class TForm;
class TPopupMenu;
class TMenuItem;
}  // namespace forms

namespace forms::testing {

// ---- message boxes

struct MessageBoxInfo {
  TMsgDlgType type = TMsgDlgType::mtCustom;
  std::string caption;                       // the window title: "Error", "Confirm", ...
  std::string text;                          // the message as passed (CR LF kept)
  std::vector<std::string> lines;            // the text's lines as shown
  std::vector<std::string> button_captions;  // left to right: "OK", "&Yes", "&No", ...
  std::vector<TModalResult> button_results;  // the same buttons' results
  bool has_icon = false;
  TRect bounds;                // the box's client area on the screen
  unsigned long x_window = 0;  // its X window id, for screenshots
};

// Returns the result of the button to press (mrYes, mrOk, ...). The layer presses that button of
// the real box (as a click would); a result the box has no button for makes MessageDlg throw
// std::invalid_argument after closing the box.
using MessageBoxResponder = std::function<TModalResult(const MessageBoxInfo&)>;

class ScopedMessageBoxResponder {
 public:
  explicit ScopedMessageBoxResponder(MessageBoxResponder responder);
  ~ScopedMessageBoxResponder();
  ScopedMessageBoxResponder(const ScopedMessageBoxResponder&) = delete;
  ScopedMessageBoxResponder& operator=(const ScopedMessageBoxResponder&) = delete;

 private:
  MessageBoxResponder previous_;
};

// ---- popup menus

struct PopupMenuInfo {
  TPopupMenu* menu = nullptr;
  TPoint requested;                 // the screen point Popup was given
  TRect bounds;                     // the menu window on the screen
  std::vector<TMenuItem*> entries;  // the items that can be chosen, top to bottom
  unsigned long x_window = 0;
};

// Returns the item to choose (one of `entries`), or nullptr to close the menu without a choice.
// The layer chooses it in the real menu (with the keyboard, as a user could). An item that is not
// among the entries closes the menu and makes Popup throw std::invalid_argument.
using PopupMenuResponder = std::function<TMenuItem*(const PopupMenuInfo&)>;

class ScopedPopupMenuResponder {
 public:
  explicit ScopedPopupMenuResponder(PopupMenuResponder responder);
  ~ScopedPopupMenuResponder();
  ScopedPopupMenuResponder(const ScopedPopupMenuResponder&) = delete;
  ScopedPopupMenuResponder& operator=(const ScopedPopupMenuResponder&) = delete;

 private:
  PopupMenuResponder previous_;
};

// ---- forms

// Called each time a form has been shown and painted (also for a modal show: act on the form
// from inside its loop, e.g. click a button or close it).
using FormShownHook = std::function<void(TForm&)>;

class ScopedFormShownHook {
 public:
  explicit ScopedFormShownHook(FormShownHook hook);
  ~ScopedFormShownHook();
  ScopedFormShownHook(const ScopedFormShownHook&) = delete;
  ScopedFormShownHook& operator=(const ScopedFormShownHook&) = delete;

 private:
  FormShownHook previous_;
};

// Saves a screenshot of the whole screen (X root window) as a PNG file through xwd and
// ImageMagick's convert. Returns false when either fails. For screenshots taken from tests and
// demo programs.
bool SaveScreenshot(const std::string& png_path);

}  // namespace forms::testing
