#include <chrono>

#include "base/platform.h"

namespace vkt::platform {

void local_calendar(std::time_t t, std::tm& out) { localtime_r(&t, &out); }

uint32_t millisecond_ticks() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

std::shared_ptr<Notifier> make_notifier() { return std::make_shared<StderrNotifier>(); }

void pump_thread_messages() {}

std::unique_ptr<HostLoopTimer> start_host_loop_timer(uint32_t, std::function<void()>) { return nullptr; }

}  // namespace vkt::platform
