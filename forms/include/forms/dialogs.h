// Modal message boxes (MessageDlg).
//
// A box is a real window in the middle of the screen, with the icon of its kind, the caption of
// its kind ("Error", "Confirm", "Warning", "Information"), the text (CR LF, or a lone LF, starts a
// new line; long lines wrap at half the screen's width) and the buttons asked for, in the
// platform's order (Yes, No, OK, Cancel, Abort, Retry, Ignore, All, No to All, Yes to All, Help).
// MessageDlg returns the modal result of the button pressed (mrYes, mrNo, mrOk, ...); the close
// box and Escape answer Cancel when the box has it, otherwise No, otherwise OK.
//
// While the box is up the application's message loop runs (sent messages of worker threads keep
// being serviced). Tests answer boxes through the responder of forms/testing.h, which is called
// once the real box is on screen.
//
// Threads: main thread only. Failures: EDisplayError without a display; an exception of a handler
// that the loop runs meanwhile, or of a test responder, closes the box and propagates.
#pragma once

#include <cstdint>
#include <string>

#include "forms/controls.h"
#include "vcl/set.h"

namespace forms {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum class TMsgDlgBtn {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp
};
using TMsgDlgButtons = vcl::Set<TMsgDlgBtn, std::uint16_t>;

inline const TMsgDlgButtons mbYesNo{TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo};
inline const TMsgDlgButtons mbYesNoCancel{TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo,
                                          TMsgDlgBtn::mbCancel};
inline const TMsgDlgButtons mbOKCancel{TMsgDlgBtn::mbOK, TMsgDlgBtn::mbCancel};
inline const TMsgDlgButtons mbOKOnly{TMsgDlgBtn::mbOK};

// Shows a modal message box and returns the modal result of the button pressed. An empty button
// set shows OK. `help_context` is accepted and ignored (there is no help system).
TModalResult MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons,
                        int help_context = 0);

// The caption of a kind of box ("Error" for mtError, "Confirm" for mtConfirmation, ...; "" for
// mtCustom, which takes the program's name instead).
std::string MessageCaption(TMsgDlgType type);

}  // namespace forms
