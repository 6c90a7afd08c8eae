#include "base/services.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "base/platform.h"

namespace vkt {

uint32_t SystemClock::now_ms() { return platform::millisecond_ticks(); }

void SystemClock::sleep_ms(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

LocalTime SystemClock::local_now() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  std::tm tm{};
  platform::local_calendar(t, tm);
  LocalTime lt;
  lt.year = tm.tm_year + 1900;
  lt.month = tm.tm_mon + 1;
  lt.day = tm.tm_mday;
  lt.hour = tm.tm_hour;
  lt.minute = tm.tm_min;
  lt.second = tm.tm_sec;
  lt.millisecond = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  return lt;
}

void StderrNotifier::show_error(std::string_view text) {
  std::fprintf(stderr, "VKTCom: %.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

std::shared_ptr<Clock> make_system_clock() { return std::make_shared<SystemClock>(); }
std::shared_ptr<Notifier> make_default_notifier() { return platform::make_notifier(); }

}  // namespace vkt
