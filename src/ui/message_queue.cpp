#include "ui/message_queue.h"

#include <algorithm>

#include "ui/controls.h"

namespace vkt::ui {

MessageQueue::MessageQueue(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {}

MessageQueue::~MessageQueue() { release_pending(); }

void MessageQueue::post(std::function<void()> action) { actions_.push_back(std::move(action)); }

void MessageQueue::defer_release(std::function<void()> destroy) { releases_.push_back(std::move(destroy)); }

void MessageQueue::release_pending() {
  if (release_holds_ > 0) return;
  // A destruction may itself request further releases; run until none is left.
  while (!releases_.empty()) {
    auto batch = std::move(releases_);
    releases_.clear();
    for (auto& destroy : batch) destroy();
  }
}

int MessageQueue::add_idle_hook(std::function<void()> hook) {
  hooks_.emplace_back(next_hook_id_, std::move(hook));
  return next_hook_id_++;
}

void MessageQueue::remove_idle_hook(int id) {
  std::erase_if(hooks_, [id](const auto& h) { return h.first == id; });
}

void MessageQueue::add_timer(Timer* timer) { timers_.push_back(timer); }

void MessageQueue::remove_timer(Timer* timer) { std::erase(timers_, timer); }

void MessageQueue::dispatch_once() {
  // The window system's own messages first: the user's actions.
  if (pump_) {
    auto pump = pump_;  // kept: a handler may replace the pump
    pump();
  }

  std::size_t n = actions_.size();
  for (std::size_t i = 0; i < n && !actions_.empty(); ++i) {
    auto action = std::move(actions_.front());
    actions_.pop_front();
    action();
  }
  release_pending();

  // Timers (unless the platform's timers drive them): a handler may destroy
  // timers (a window released inside it), so work from a snapshot and touch
  // a timer only while it still exists.
  if (!platform_timers_) {
    auto exists = [this](Timer* t) { return std::find(timers_.begin(), timers_.end(), t) != timers_.end(); };
    const uint32_t now = clock_->now_ms();
    for (Timer* t : std::vector<Timer*>(timers_)) {
      if (!exists(t) || !t->timer_enabled() || t->running_handler_) continue;
      if (static_cast<uint32_t>(now - t->started_) < t->interval_) continue;
      t->started_ = now;
      t->fire();
    }
  }

  auto hooks = hooks_;
  for (auto& [id, hook] : hooks) {
    if (std::any_of(hooks_.begin(), hooks_.end(), [id = id](const auto& h) { return h.first == id; })) hook();
  }
}

}  // namespace vkt::ui
