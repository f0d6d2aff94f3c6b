// Events: "procedures of an object". An Event holds the callable together with the name of the
// handler it was bound to (a form file names handlers; code-assigned handlers may leave it empty).
// An event is assigned when it holds a callable, and is fired only when assigned.
//
// Var parameters are reference arguments (bool&, std::string&): the handler answers through them
// and the component reads them back after the call.
//
// Threads: an Event is a value; copying and assigning it is not synchronised, so it is written only
// while nobody fires it (components change their events only while idle). Firing never allocates.
#pragma once

#include <functional>
#include <string>
#include <utility>

namespace vcl {

class TObject;

template <typename... Args>
class Event {
 public:
  using Handler = std::function<void(Args...)>;

  Event() = default;
  Event(Handler handler, std::string handler_name = {})  // NOLINT(google-explicit-constructor)
      : handler_(std::move(handler)), handler_name_(std::move(handler_name)) {}
  Event(std::nullptr_t) {}  // NOLINT(google-explicit-constructor)

  // A method of an object: Event<...>::Bind(obj, &T::Method, "Method").
  template <typename T>
  static Event Bind(T* object, void (T::*method)(Args...), std::string handler_name = {}) {
    return Event([object, method](Args... args) { (object->*method)(std::forward<Args>(args)...); },
                 std::move(handler_name));
  }

  bool Assigned() const noexcept { return static_cast<bool>(handler_); }
  explicit operator bool() const noexcept { return Assigned(); }

  // Calls the handler; exceptions of the handler propagate. Precondition: Assigned().
  void operator()(Args... args) const { handler_(std::forward<Args>(args)...); }

  // Calls the handler when assigned; returns whether it did.
  bool Fire(Args... args) const {
    if (!handler_) return false;
    handler_(std::forward<Args>(args)...);
    return true;
  }

  const std::string& HandlerName() const noexcept { return handler_name_; }
  void Clear() noexcept {
    handler_ = nullptr;
    handler_name_.clear();
  }

 private:
  Handler handler_;
  std::string handler_name_;
};

// The event with Sender alone.
using TNotifyEvent = Event<TObject*>;

}  // namespace vcl
