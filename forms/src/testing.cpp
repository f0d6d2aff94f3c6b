#include "forms/testing.h"

#include <cstdlib>
#include <string>

#include "seams.h"

namespace forms::testing {

namespace {
MessageBoxResponder g_message_box_responder;
PopupMenuResponder g_popup_menu_responder;
FormShownHook g_form_shown_hook;

// Single quotes for the shell: the path is taken literally.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}
}  // namespace

ScopedMessageBoxResponder::ScopedMessageBoxResponder(MessageBoxResponder responder)
    : previous_(std::move(g_message_box_responder)) {
  g_message_box_responder = std::move(responder);
}

ScopedMessageBoxResponder::~ScopedMessageBoxResponder() {
  g_message_box_responder = std::move(previous_);
}

ScopedPopupMenuResponder::ScopedPopupMenuResponder(PopupMenuResponder responder)
    : previous_(std::move(g_popup_menu_responder)) {
  g_popup_menu_responder = std::move(responder);
}

ScopedPopupMenuResponder::~ScopedPopupMenuResponder() {
  g_popup_menu_responder = std::move(previous_);
}

ScopedFormShownHook::ScopedFormShownHook(FormShownHook hook)
    : previous_(std::move(g_form_shown_hook)) {
  g_form_shown_hook = std::move(hook);
}

ScopedFormShownHook::~ScopedFormShownHook() {
  g_form_shown_hook = std::move(previous_);
}

bool SaveScreenshot(const std::string& png_path) {
  const std::string command =
      "xwd -root -silent | convert xwd:- " + Quoted("png:" + png_path) + " 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

}  // namespace forms::testing

namespace forms::detail {

const testing::MessageBoxResponder& InstalledMessageBoxResponder() {
  return testing::g_message_box_responder;
}

const testing::PopupMenuResponder& InstalledPopupMenuResponder() {
  return testing::g_popup_menu_responder;
}

void NotifyFormShown(TForm& form) {
  if (testing::g_form_shown_hook) {
    // A copy: the hook may install another one while it runs.
    testing::FormShownHook hook = testing::g_form_shown_hook;
    hook(form);
  }
}

}  // namespace forms::detail
