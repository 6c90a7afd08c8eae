#pragma once
// Test doubles for the library's services: a scripted clock and a notifier
// that records the message boxes instead of showing them.
#include <cstdint>
#include <memory>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/services.h"
#include "exports/library.h"
#include "link/registry_reader.h"
#include "ui/backend.h"

namespace vkt::testing {

// A clock under the test's control. Every reading of now_ms() advances it by
// `step_ms` (0: time stands still unless the test moves it), so that a wait
// bounded by this clock ends after a known number of polls; sleep_ms()
// advances it at once and records the sleep instead of blocking.
class FakeClock final : public vkt::Clock {
 public:
  explicit FakeClock(uint32_t start_ms = 0, uint32_t step_ms = 0) : now_(start_ms), step_(step_ms) {}
  uint32_t now_ms() override {
    std::function<void(uint32_t)> on_reading;
    uint32_t t;
    {
      std::lock_guard lock(mu_);
      t = now_;
      now_ += step_;
      on_reading = on_reading_;
    }
    if (on_reading) on_reading(t);
    return t;
  }
  void sleep_ms(uint32_t ms) override {
    std::lock_guard lock(mu_);
    sleeps_.push_back(ms);
    now_ += ms;
  }
  // Runs at every reading with the time read, outside the clock's lock: a
  // scripted device that sends as the library's time goes by.
  void on_reading(std::function<void(uint32_t)> hook) {
    std::lock_guard lock(mu_);
    on_reading_ = std::move(hook);
  }
  vkt::LocalTime local_now() override {
    std::lock_guard lock(mu_);
    return local_;
  }
  void advance(uint32_t ms) {
    std::lock_guard lock(mu_);
    now_ += ms;
  }
  void set_now(uint32_t ms) {
    std::lock_guard lock(mu_);
    now_ = ms;
  }
  void set_step(uint32_t ms) {
    std::lock_guard lock(mu_);
    step_ = ms;
  }
  void set_local(const vkt::LocalTime& t) {
    std::lock_guard lock(mu_);
    local_ = t;
  }
  std::vector<uint32_t> sleeps() const {
    std::lock_guard lock(mu_);
    return sleeps_;
  }

 private:
  mutable std::mutex mu_;
  uint32_t now_;
  uint32_t step_;
  vkt::LocalTime local_{2026, 6, 15, 12, 0, 0, 0};
  std::vector<uint32_t> sleeps_;
  std::function<void(uint32_t)> on_reading_;
};

// The machine's millisecond clock, but a local time the test sets and
// 3000 ms display waits that return at once (recorded).
class FastRealClock final : public vkt::Clock {
 public:
  uint32_t now_ms() override { return real_.now_ms(); }
  void sleep_ms(uint32_t ms) override {
    std::lock_guard lock(mu_);
    sleeps_.push_back(ms);
  }
  vkt::LocalTime local_now() override {
    std::lock_guard lock(mu_);
    return use_real_local_ ? real_.local_now() : local_;
  }
  void set_local(const vkt::LocalTime& t) {
    std::lock_guard lock(mu_);
    local_ = t;
    use_real_local_ = false;
  }
  std::vector<uint32_t> sleeps() const {
    std::lock_guard lock(mu_);
    return sleeps_;
  }

 private:
  vkt::SystemClock real_;
  mutable std::mutex mu_;
  bool use_real_local_ = true;
  vkt::LocalTime local_;
  std::vector<uint32_t> sleeps_;
};

class RecordingNotifier final : public vkt::Notifier {
 public:
  void show_error(std::string_view text) override { messages.emplace_back(text); }
  std::vector<std::string> messages;
};

// A library with test services, and handles on them.
struct TestLibrary {
  std::shared_ptr<vkt::Clock> clock;
  std::shared_ptr<RecordingNotifier> notifier = std::make_shared<RecordingNotifier>();
  std::shared_ptr<ui::HeadlessBackend> backend = std::make_shared<ui::HeadlessBackend>(0);
  std::unique_ptr<Library> library;

  explicit TestLibrary(std::shared_ptr<vkt::Clock> c = std::make_shared<FastRealClock>(),
                       windows::SerialBackendFactory serial_backends = {}, windows::RegistryFactory registry = {})
      : clock(std::move(c)) {
    library = std::make_unique<Library>(
        LibraryServices{clock, notifier, backend, std::move(serial_backends), std::move(registry)});
  }

  // A machine with no serial devices at all: every search finds "VCP none".
  static windows::RegistryFactory no_devices() {
    return [] { return std::make_unique<link::RegistryTree>(); };
  }
  Library& operator*() { return *library; }
  Library* operator->() { return library.get(); }

  // The texts the progress popups were given, in order, as "Label1=text".
  std::vector<std::string> popup_texts() const {
    std::vector<std::string> out;
    for (const auto& e : backend->events_of("TForm3"))
      if (e.kind == ui::WindowEvent::Text) out.push_back(e.control + "=" + e.text);
    return out;
  }
};

}  // namespace vkt::testing
