#include "update/iupdate.h"
#include "vcl/component.h"

namespace update {

void ShowOnlineUpdate() {
  // Held by a ComponentPtr: freed when the modal show ends, also by an exception. Freeing it frees
  // WinHTTP1, which ends a transfer that is still running.
  const vcl::ComponentPtr<TfOnlineDownload> dialog = vcl::MakeComponent<TfOnlineDownload>();
  dialog->EnableButtons(true);
  dialog->stopped_ = false;
  dialog->ShowModal();
}

}  // namespace update
