#include <chrono>

#include "base/platform.h"

#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vkt::platform {

void local_calendar(std::time_t t, std::tm& out) { localtime_r(&t, &out); }

void release_free_memory() {
  // glibc keeps freed heap pages resident until the top of the heap is free;
  // other C libraries return them on their own.
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

uint32_t millisecond_ticks() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

std::shared_ptr<Notifier> make_notifier() { return std::make_shared<StderrNotifier>(); }

void pump_thread_messages() {}

std::unique_ptr<HostLoopTimer> start_host_loop_timer(uint32_t, std::function<void()>) { return nullptr; }

}  // namespace vkt::platform
