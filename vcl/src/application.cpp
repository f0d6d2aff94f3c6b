#include "vcl/application.h"

#include <unistd.h>

#include <array>

#include "kernel/thread.h"
#include "user/message_wait.h"

namespace vcl {

void TApplication::ProcessMessages() {
  for (;;) {
    bool handled = user::DispatchSentMessages() > 0;
    if (source_ != nullptr && source_->HasPending()) {
      source_->Dispatch();
      handled = true;
    }
    if (!handled) return;
  }
}

void TApplication::HandleMessage() {
  user::MsgWaitForMultipleObjects({}, false, kernel::kInfinite, user::kQsAllEvents);
  ProcessMessages();
}

void TApplication::Run() {
  while (!Terminated()) HandleMessage();
}

std::string TApplication::ExeName() const {
  std::array<char, 4096> path{};
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return {};
  return std::string(path.data(), static_cast<size_t>(length));
}

void TApplication::SetEventSource(user::EventSource* source) noexcept {
  source_ = source;
  user::SetEventSource(source);
}

TApplication& Application() {
  static TApplication* application = new TApplication;  // never destroyed: used until exit
  return *application;
}

}  // namespace vcl
