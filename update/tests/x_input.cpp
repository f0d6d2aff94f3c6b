#include "x_input.h"

// GoogleTest before Xlib, whose macros (None, Bool, ...) clash with its names.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

namespace updatetest {
namespace {

struct CloseDisplay {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, CloseDisplay>;

DisplayPtr OpenDisplay() {
  DisplayPtr display(XOpenDisplay(nullptr));
  EXPECT_NE(display, nullptr) << "no X display";
  return display;
}

std::string Title(Display* display, Window window) {
  char* name = nullptr;
  if (XFetchName(display, window, &name) == 0 || name == nullptr) return {};
  std::string title = name;
  XFree(name);
  return title;
}

// The first mapped child of the root window that `fits`, polled until `limit`.
std::optional<TopLevel> WaitFor(const std::function<bool(Display*, Window, const TopLevel&)>& fits,
                                std::chrono::milliseconds limit) {
  DisplayPtr display = OpenDisplay();
  if (!display) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display.get(), DefaultRootWindow(display.get()), &root, &parent, &children,
                   &count) != 0) {
      std::optional<TopLevel> found;
      for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display.get(), children[i], &attributes) == 0 ||
            attributes.map_state != IsViewable) {
          continue;
        }
        TopLevel candidate{children[i],
                           {attributes.x, attributes.y, attributes.width, attributes.height}};
        if (fits(display.get(), children[i], candidate)) found = candidate;
      }
      if (children != nullptr) XFree(children);
      if (found) return found;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (std::chrono::steady_clock::now() < deadline);
  return std::nullopt;
}

}  // namespace

void ClickAt(int x, int y) {
  const std::string command =
      "xdotool mousemove --sync " + std::to_string(x) + " " + std::to_string(y) + " click 1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

void SendCloseBox(unsigned long window) {
  DisplayPtr display = OpenDisplay();
  if (!display) return;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display.get(), "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] =
      static_cast<long>(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display.get(), window, False, NoEventMask, &event);
  XSync(display.get(), False);
}

std::optional<TopLevel> WaitForWindow(const std::string& title, std::chrono::milliseconds limit) {
  return WaitFor([&](Display* display, Window window,
                     const TopLevel&) { return Title(display, window) == title; },
                 limit);
}

std::optional<TopLevel> WaitForWindowAt(forms::TPoint corner, std::chrono::milliseconds limit) {
  return WaitFor(
      [&](Display*, Window, const TopLevel& candidate) {
        return candidate.bounds.left == corner.x && candidate.bounds.top == corner.y;
      },
      limit);
}

}  // namespace updatetest
