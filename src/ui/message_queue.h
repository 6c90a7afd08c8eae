#pragma once
// The library's window-message queue: what the window system would deliver
// to the library's windows on the host's thread. One dispatch runs, in
// order, the platform's message pump (the user's actions from a window
// system), the user actions posted so far, the releases requested so far
// (windows destroyed), the timers that are due, and the idle hooks (the
// terminal view takes its bytes there).
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "base/services.h"

namespace vkt::ui {

class Timer;

class MessageQueue {
 public:
  explicit MessageQueue(std::shared_ptr<Clock> clock);
  ~MessageQueue();
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  Clock& clock() { return *clock_; }

  // A user action (a click, a tick, a selection) delivered at the next dispatch.
  void post(std::function<void()> action);
  // A deferred release: `destroy` runs at the next dispatch, or at the
  // latest when release_pending() is called.
  void defer_release(std::function<void()> destroy);
  void release_pending();

  // While a hold lives, releases wait: neither a dispatch nor
  // release_pending() runs them until the last hold has ended. A port's
  // close holds them, so that the handlers it lets run cannot destroy the
  // window whose port is closing. Holds nest.
  class ReleaseHold {
   public:
    explicit ReleaseHold(MessageQueue& queue) : queue_(queue) { ++queue_.release_holds_; }
    ~ReleaseHold() { --queue_.release_holds_; }
    ReleaseHold(const ReleaseHold&) = delete;
    ReleaseHold& operator=(const ReleaseHold&) = delete;

   private:
    MessageQueue& queue_;
  };

  // Runs once per dispatch; returns an id for remove_idle_hook.
  int add_idle_hook(std::function<void()> hook);
  void remove_idle_hook(int id);

  // Dispatches the pending messages once: the platform's message pump,
  // posted actions, releases, due timers, idle hooks. Messages posted while
  // it runs wait for the next one.
  void dispatch_once();

  // The platform's message pump (the window backend's), run first at every
  // dispatch.
  void set_pump(std::function<void()> pump) { pump_ = std::move(pump); }
  // On: the platform's own timers drive the library's timers (Timer::fire
  // at each interval, started and stopped as the backend learns of each
  // timer's Enabled changes); the dispatch then runs no timers itself.
  void set_platform_timers(bool on) { platform_timers_ = on; }

 private:
  friend class Timer;
  void add_timer(Timer* timer);
  void remove_timer(Timer* timer);

  std::shared_ptr<Clock> clock_;
  std::deque<std::function<void()>> actions_;
  std::vector<std::function<void()>> releases_;
  std::vector<Timer*> timers_;
  std::vector<std::pair<int, std::function<void()>>> hooks_;
  int next_hook_id_ = 1;
  std::function<void()> pump_;
  bool platform_timers_ = false;
  int release_holds_ = 0;
};

}  // namespace vkt::ui
