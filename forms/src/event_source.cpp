// FLTK as the application loop's event source: the X connection and the queue of QueueCall share
// one epoll descriptor that the loop polls; Dispatch runs queued calls, due repaints and FLTK's
// event handling without waiting.

#include "event_source.h"
#include "fltk_support.h"
#include "forms/display.h"
#include "vcl/application.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>

#include <FL/Fl.H>
#include <FL/Fl_Window.H>

namespace forms::detail {

namespace {

using Clock = std::chrono::steady_clock;

class FltkSource final : public user::EventSource {
 public:
  FltkSource() {
    epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epoll_fd_ < 0 || wake_fd_ < 0) {
      throw std::system_error(errno, std::generic_category(), "forms event source");
    }
    Watch(wake_fd_);
  }

  void Watch(int fd) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    if (epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &event) != 0 && errno != EEXIST) {
      throw std::system_error(errno, std::generic_category(), "forms event source");
    }
  }

  int PollFd() const override { return epoll_fd_; }

  int NextTimeoutMs() const override { return RepaintDueInMs(); }

  bool HasPending() override {
    DrainWake();
    {
      std::lock_guard lock(mutex_);
      if (!calls_.empty()) return true;
    }
    if (RepaintDueInMs() == 0) return true;
    if (!DisplayOpen()) return false;
    return Fl::ready() != 0 || Fl::damage() != 0;
  }

  void Dispatch() override {
    RunQueuedCalls();
    if (DisplayOpen()) {
      RunDueRepaints();
      Fl::wait(0.0);  // events, FLTK's timers, then painting; callbacks are guarded
    }
    RethrowPending();
  }

  void Queue(std::function<void()> call) {
    {
      std::lock_guard lock(mutex_);
      calls_.push_back(std::move(call));
    }
    const std::uint64_t one = 1;
    // A full counter already means "wake up": nothing is lost when this write fails.
    [[maybe_unused]] const ssize_t written = write(wake_fd_, &one, sizeof one);
  }

  int WakeFd() const { return wake_fd_; }

  void RunQueuedCalls() {
    std::deque<std::function<void()>> batch;
    {
      std::lock_guard lock(mutex_);
      batch.swap(calls_);
    }
    while (!batch.empty()) {
      std::function<void()> call = std::move(batch.front());
      batch.pop_front();
      try {
        call();
      } catch (...) {
        // The calls after the failing one stay queued, in order, for the next round.
        std::lock_guard lock(mutex_);
        calls_.insert(calls_.begin(), std::make_move_iterator(batch.begin()),
                      std::make_move_iterator(batch.end()));
        throw;
      }
    }
  }

  // ---- throttled repaints

  void RequestRepaint(Fl_Widget* widget) {
    const Clock::time_point now = Clock::now();
    auto [entry, added] = repaints_.try_emplace(widget, Repaint{});
    if (added || now - entry->second.last >= Interval()) {
      entry->second.last = now;
      entry->second.pending = false;
      PaintNow(widget);
    } else {
      entry->second.pending = true;
    }
  }

  void Forget(Fl_Widget* widget) noexcept { repaints_.erase(widget); }

 private:
  struct Repaint {
    Clock::time_point last{};
    bool pending = false;
  };

  static Clock::duration Interval() { return std::chrono::milliseconds(kRepaintIntervalMs); }

  // A widget without a background of its own (a transparent label) is repainted by its window
  // in its area, so that the old text goes away.
  static void PaintNow(Fl_Widget* widget) {
    if (widget->box() == FL_NO_BOX && widget->window() != nullptr) {
      widget->window()->damage(FL_DAMAGE_ALL, widget->x(), widget->y(), widget->w(), widget->h());
    } else {
      widget->redraw();
    }
  }

  int RepaintDueInMs() const {
    int soonest = -1;
    const Clock::time_point now = Clock::now();
    for (const auto& [widget, repaint] : repaints_) {
      if (!repaint.pending) continue;
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(repaint.last + Interval() - now).count();
      const int due = static_cast<int>(std::max<std::int64_t>(0, left));
      if (soonest < 0 || due < soonest) soonest = due;
    }
    return soonest;
  }

  void RunDueRepaints() {
    const Clock::time_point now = Clock::now();
    for (auto& [widget, repaint] : repaints_) {
      if (repaint.pending && now - repaint.last >= Interval()) {
        repaint.pending = false;
        repaint.last = now;
        PaintNow(widget);
      }
    }
  }

  void DrainWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(wake_fd_, &count, sizeof count);
  }

  int epoll_fd_ = -1;
  int wake_fd_ = -1;
  std::mutex mutex_;
  std::deque<std::function<void()>> calls_;
  std::map<Fl_Widget*, Repaint> repaints_;  // main thread only
};

// Created on the main thread on first use; lives until the process ends (the application object
// holds a pointer to it).
FltkSource* g_source = nullptr;
std::once_flag g_source_once;

std::exception_ptr g_pending;  // main thread only

}  // namespace

FltkSource& Source() {
  std::call_once(g_source_once, [] {
    g_source = new FltkSource;
    vcl::Application().SetEventSource(g_source);
  });
  return *g_source;
}

void WatchDisplayFd(int fd) {
  Source().Watch(fd);
}

int QueueWakeFd() {
  return Source().WakeFd();
}

void RunQueuedCallsNow() {
  Source().RunQueuedCalls();
}

void RepaintThrottled(Fl_Widget* widget) {
  Source().RequestRepaint(widget);
}

void ForgetWidget(Fl_Widget* widget) noexcept {
  if (g_source != nullptr) g_source->Forget(widget);
}

void StorePendingException() noexcept {
  if (!g_pending) g_pending = std::current_exception();
}

void RethrowPending() {
  if (!g_pending) return;
  std::exception_ptr pending = std::move(g_pending);
  g_pending = nullptr;
  std::rethrow_exception(pending);
}

void RunModalLoop(const std::function<bool()>& done) {
  Source();
  vcl::TApplication& application = vcl::Application();
  while (!done() && !application.Terminated()) application.HandleMessage();
}

}  // namespace forms::detail

namespace forms {

void QueueCall(std::function<void()> call) {
  detail::Source().Queue(std::move(call));
}

}  // namespace forms
