#pragma once
// The services the library takes from its surroundings: a millisecond clock
// and the local calendar time, and message boxes (the window-system backend is
// in backend.h). Each is an interface so that a host (or a test) can put its own
// in place.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vkt {

// A local calendar time, as the PC's clock shows it.
struct LocalTime {
  int year = 2000;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // A millisecond tick count that wraps at 2^32, like the system's
  // multimedia timer; only differences of two readings mean anything.
  virtual uint32_t now_ms() = 0;
  // Blocks the calling thread (the 3000 ms display of popup messages).
  virtual void sleep_ms(uint32_t ms) = 0;
  virtual LocalTime local_now() = 0;
};

// The machine's clocks.
class SystemClock final : public Clock {
 public:
  uint32_t now_ms() override;
  void sleep_ms(uint32_t ms) override;
  LocalTime local_now() override;
};

// Modal message boxes with the caption "VKTCom", an error icon and an OK
// button. The call returns when the user has closed the box.
class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void show_error(std::string_view text) = 0;
};

// Writes one line "VKTCom: <text>" to standard error: the default where no
// window system shows message boxes.
class StderrNotifier final : public Notifier {
 public:
  void show_error(std::string_view text) override;
};

std::shared_ptr<Clock> make_system_clock();
std::shared_ptr<Notifier> make_default_notifier();

}  // namespace vkt
