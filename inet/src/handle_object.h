// The object behind every HINTERNET: kind, parent, children, closed state, status callback,
// context value and option values. Sessions, connections and requests derive from it.
//
// Lifetime: objects are held by shared_ptr: the handle table holds one reference until the handle
// is closed, each child holds its parent, and every API call holds the object it works on for the
// call's duration. So a handle closed during a call stays valid until that call returns.
// Threads: everything here may be used from any thread; the members are atomics or guarded by
// the object's own small locks, none of which is held while a transfer blocks.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "inet/wininet.h"
#include "settings.h"

namespace inet::detail {

enum class HandleKind { kSession, kConnection, kRequest };

class HandleObject {
 public:
  HandleObject(HandleKind kind, std::shared_ptr<HandleObject> parent, std::uintptr_t context);
  virtual ~HandleObject();
  HandleObject(const HandleObject&) = delete;
  HandleObject& operator=(const HandleObject&) = delete;

  HandleKind kind() const noexcept { return kind_; }
  const std::shared_ptr<HandleObject>& parent() const noexcept { return parent_; }
  std::uintptr_t context() const noexcept { return context_; }

  // The handle value under which the table knows this object; set once when registered.
  HINTERNET handle() const noexcept { return handle_.load(std::memory_order_acquire); }
  void set_handle(HINTERNET handle) noexcept { handle_.store(handle, std::memory_order_release); }

  bool closed() const noexcept { return closed_.load(std::memory_order_acquire); }
  // Marks the object closed and wakes any call blocked on it. Returns false when it already was.
  bool MarkClosed() noexcept;

  INTERNET_STATUS_CALLBACK callback() const noexcept {
    return callback_.load(std::memory_order_acquire);
  }
  INTERNET_STATUS_CALLBACK SetCallback(INTERNET_STATUS_CALLBACK callback) noexcept {
    return callback_.exchange(callback, std::memory_order_acq_rel);
  }

  Settings GetSettings() const;
  template <typename Edit>
  void EditSettings(Edit&& edit) {
    std::lock_guard lock(settings_lock_);
    edit(settings_);
  }

  void AddChild(const std::shared_ptr<HandleObject>& child);
  // The children still alive (a snapshot; the list itself is not changed).
  std::vector<std::shared_ptr<HandleObject>> Children() const;

 protected:
  // Called by MarkClosed, on the closing thread: must be quick, must not block or throw.
  virtual void WakeBlockedCall() noexcept {}

 private:
  const HandleKind kind_;
  const std::shared_ptr<HandleObject> parent_;
  const std::uintptr_t context_;
  std::atomic<HINTERNET> handle_{nullptr};
  std::atomic<bool> closed_{false};
  std::atomic<INTERNET_STATUS_CALLBACK> callback_{nullptr};
  mutable std::mutex settings_lock_;
  Settings settings_;
  mutable std::mutex children_lock_;
  std::vector<std::weak_ptr<HandleObject>> children_;
};

}  // namespace inet::detail
