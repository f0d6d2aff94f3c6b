// Real X input for the tests: clicks through xdotool (as a user's pointer would), the close box
// as a window manager delivers it (WM_DELETE_WINDOW), and finding top-level windows on the
// display of $DISPLAY.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "forms/display.h"

namespace updatetest {

// Moves the pointer to the screen point and clicks the left button there.
void ClickAt(int x, int y);

// Sends the window the close-box message a window manager sends when its close box is pressed.
void SendCloseBox(unsigned long window);

struct TopLevel {
  unsigned long window = 0;
  forms::TRect bounds;  // on the screen
};

// Waits (bounded) for a mapped top-level window whose title is `title`.
std::optional<TopLevel> WaitForWindow(const std::string& title, std::chrono::milliseconds limit);
// Waits (bounded) for a mapped top-level window whose top-left corner is `corner` (an untitled
// popup menu, for instance).
std::optional<TopLevel> WaitForWindowAt(forms::TPoint corner, std::chrono::milliseconds limit);

}  // namespace updatetest
