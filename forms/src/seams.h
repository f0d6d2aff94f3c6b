// The installed test seams (forms/testing.h), for the layer's own code. Main thread.
#pragma once

#include "forms/testing.h"

namespace forms::detail {

// The installed responders; empty when the user answers.
const testing::MessageBoxResponder& InstalledMessageBoxResponder();
const testing::PopupMenuResponder& InstalledPopupMenuResponder();
// Calls the installed form-shown hook, if any.
void NotifyFormShown(TForm& form);

}  // namespace forms::detail
