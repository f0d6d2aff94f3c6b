// The process-wide "offline by user" state behind option 50 and InternetGoOnline.
#pragma once

namespace inet::detail {

bool ProcessOffline() noexcept;
void SetProcessOffline(bool offline) noexcept;

}  // namespace inet::detail
