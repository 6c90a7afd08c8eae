#pragma once
// Helpers shared by the fuzz targets: reading an input as a sequence of
// small numbers and texts, and a scripted clock.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "base/services.h"
#include "exports/library.h"
#include "ui/backend.h"

namespace vkt::fuzz {

// Stops the run with a message: the result disagreed with the oracle.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "fuzz oracle: %s\n", what);
  std::abort();
}
#define FUZZ_CHECK(condition) \
  do {                        \
    if (!(condition)) ::vkt::fuzz::fail(#condition); \
  } while (0)

// Takes bytes off the front of an input.
class Input {
 public:
  Input(const uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}
  bool empty() const { return rest_.empty(); }
  uint8_t byte() {
    if (rest_.empty()) return 0;
    const auto b = static_cast<uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return b;
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
    return v;
  }
  // The next `count` bytes, or as many as are left.
  std::string_view take(std::size_t count) {
    const std::string_view t = rest_.substr(0, count);
    rest_.remove_prefix(t.size());
    return t;
  }
  // Up to the next `separator` (not included), or the rest.
  std::string_view text(char separator = '\x01') {
    const std::size_t end = rest_.find(separator);
    const std::string_view t = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    return t;
  }
  std::string_view rest() {
    const std::string_view t = rest_;
    rest_ = {};
    return t;
  }

 private:
  std::string_view rest_;
};

// Message boxes that nobody sees.
class QuietNotifier final : public Notifier {
 public:
  void show_error(std::string_view) override {}
};

// A clock that advances `step` ms at every reading and at once on a sleep.
class StepClock final : public Clock {
 public:
  StepClock(uint32_t start, uint32_t step) : now_(start), step_(step) {}
  uint32_t now_ms() override {
    std::lock_guard lock(mu_);
    const uint32_t t = now_;
    now_ += step_;
    return t;
  }
  void sleep_ms(uint32_t ms) override {
    std::lock_guard lock(mu_);
    now_ += ms;
  }
  LocalTime local_now() override { return local; }
  LocalTime local{2026, 12, 20, 12, 0, 0, 0};

 private:
  std::mutex mu_;
  uint32_t now_;
  uint32_t step_;
};

// The one library of a fuzz target: a scripted clock that moves one
// millisecond a reading, no message boxes, and a short window event log (a
// long run must not keep every event).
inline Library& quiet_library() {
  static Library lib(LibraryServices{std::make_shared<StepClock>(0, 1), std::make_shared<QuietNotifier>(),
                                     std::make_shared<ui::HeadlessBackend>(64), {}, {}});
  return lib;
}

}  // namespace vkt::fuzz
