// FLTK plumbing shared by the controls: the display, colours, fonts, text drawing, the guard that
// keeps C++ exceptions out of FLTK's frames, and throttled repaints. Main thread only.
#pragma once

#include <FL/Enumerations.H>
#include <FL/Fl_Group.H>

#include <exception>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "forms/display.h"
#include "forms/graphics.h"
#include "kernel/interrupt.h"

class Fl_Widget;

namespace forms::detail {

// ---- display

// Opens the X display (once) and plugs FLTK into the application's message loop. Throws
// EDisplayError when there is no display. Cheap after the first call.
void EnsureDisplay();
bool DisplayOpen() noexcept;

// ---- widgets

// Creates an FLTK widget that is not put into any group: FLTK adds a new widget to the group
// being built (Fl_Group::current), which must not happen behind our back.
template <typename W, typename... Args>
std::unique_ptr<W> MakeWidget(Args&&... args) {
  Fl_Group* const saved = Fl_Group::current();
  Fl_Group::current(nullptr);
  auto widget = std::make_unique<W>(std::forward<Args>(args)...);
  if constexpr (std::is_base_of_v<Fl_Group, W>) widget->end();
  Fl_Group::current(saved);
  return widget;
}

// ---- colours and fonts

Fl_Color ToFlColor(TColor color) noexcept;
// The FLTK font for a font's name and style (families are registered on first use).
Fl_Font ToFlFont(const std::string& name, TFontStyles style);
Fl_Font ToFlFont(const TFont& font);

// ---- text

// A caption as FLTK draws it: CR LF (and a lone CR) become line feeds.
std::string DisplayText(const std::string& caption);

struct TextLook {
  Fl_Font font = FL_HELVETICA;
  int size = 11;
  Fl_Color color = FL_BLACK;
  bool underline = false;
};
TextLook LookOf(const TFont& font);

// Draws `caption` in the box with FLTK alignment flags `align` (FL_ALIGN_WRAP wraps at blanks).
// `accelerators`: '&' underlines the next character and "&&" is one ampersand. `embossed`: the
// platform's disabled look (a light copy offset by one pixel under a grey one).
void DrawCaption(const std::string& caption, const TextLook& look, int x, int y, int w, int h,
                 Fl_Align align, bool accelerators, bool embossed);
// The size `caption` takes; with `wrap_width` > 0 it is wrapped at that width.
void MeasureCaption(const std::string& caption, const TextLook& look, int wrap_width, int& w,
                    int& h, bool accelerators);

// ---- exceptions out of FLTK callbacks

// Stores the exception being handled, so that it is raised again once FLTK has returned to our
// code (RethrowPending). The first one wins; later ones are dropped.
void StorePendingException() noexcept;
// Raises the stored exception, if any.
void RethrowPending();

// Runs `f` inside an FLTK callback: any exception (kernel::ThreadKilled included) is stored and
// raised again by RethrowPending after FLTK returns, never thrown through FLTK's frames.
template <typename F>
void Guarded(F&& f) noexcept {
  try {
    f();
  } catch (const kernel::ThreadKilled&) {
    StorePendingException();  // must not unwind through FLTK either: raised again after it
  } catch (...) {
    StorePendingException();
  }
}

// ---- repaints

// Repaints `widget` soon, but at most once per kRepaintInterval: caption changes that come with
// every progress event must not slow the transfer. The last change is always painted.
void RepaintThrottled(Fl_Widget* widget);
// Forgets a widget that is being destroyed.
void ForgetWidget(Fl_Widget* widget) noexcept;

}  // namespace forms::detail
