#pragma once
// Waiting in a test for something another thread brings about: the one
// bounded poll every suite uses, so that no test hangs when a fault keeps
// the condition from ever holding.
#include <chrono>
#include <functional>
#include <thread>

namespace vkt::testing {

// Checks `condition` until it holds (true) or `limit` has passed (false),
// running `between` after each failed check: by default a 1 ms sleep, or a
// wait on whatever brings the change. The limit is generous: only a fault
// ever reaches it.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(5),
                       const std::function<void()>& between = {}) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    if (between) {
      between();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return true;
}

}  // namespace vkt::testing
