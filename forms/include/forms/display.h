// The display and the forms layer's place in the application's message loop.
//
// The forms layer draws with FLTK on the X display named by $DISPLAY. The first form shown (or
// InitializeDisplay) opens the display and registers FLTK as the event source of the application
// object (vcl/application.h): from then on every wait of the main thread also wakes for X events,
// and ProcessMessages/HandleMessage dispatch them. Modal loops (TForm::ShowModal, MessageDlg) are
// that same application loop, so synchronised calls from worker threads keep running while a
// dialog or a message box is up.
//
// Repaints: a control's caption change is painted at once, but further changes within
// kRepaintIntervalMs only mark it; the loop paints the last one when the interval has passed. A
// caption set for every progress event thus costs no more than one repaint per interval.
//
// Threads: main thread (the thread that initialises the layer), except QueueCall.
#pragma once

#include <functional>

#include "vcl/exceptions.h"

namespace forms {

inline constexpr int kRepaintIntervalMs = 30;

// No display to draw on: "Cannot open display <name>".
class EDisplayError : public vcl::Exception {
 public:
  using vcl::Exception::Exception;
};

// Opens the display and registers the layer with the application loop. Idempotent. Throws
// EDisplayError when $DISPLAY is unset or cannot be opened (the program keeps running).
void InitializeDisplay();
// True when the display is open.
bool DisplayInitialized() noexcept;

// Runs `call` on the main thread from inside the message loop: at the next ProcessMessages, also
// inside a modal show, a message box or an open popup menu. Calls run in the order queued. Any
// thread; the first call (which plugs the queue into the loop) must come from the main thread
// unless the layer is already initialised. An exception of `call` propagates out of the loop
// function that ran it (ProcessMessages, ShowModal, ...); later calls stay queued.
void QueueCall(std::function<void()> call);

struct TPoint {
  int x = 0;
  int y = 0;
  bool operator==(const TPoint&) const = default;
};

struct TRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TRect&) const = default;
};

// The screen's work area (without panels the desktop reserves), in screen pixels. Opens the
// display (InitializeDisplay) when needed.
TRect ScreenWorkArea();

}  // namespace forms
