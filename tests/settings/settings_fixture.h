#pragma once
// A settings dialog in a library of its own, with the simulated logger on an
// in-memory line and its adapter in a registry made in memory, so that the
// dialog finds, opens and talks to it exactly as it would to a logger on a
// USB-serial adapter.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "exports/library.h"
#include "settings/settings_dialog.h"
#include "settings/settings_exports.h"
#include "support/fakes.h"
#include "support/simulated_logger.h"
#include "vktcom.h"
#include "windows/monitor_window.h"

namespace vkt::settings::test {

// Prefixes of every settings command, for the simulator's no_answer fault.
inline const std::vector<std::string> kAllSettingsCommands{"j", "10", "20", "02", "01", "50",
                                                           "i", "w",  "O",  "N",  "d"};

// Drives the scripted clock by the exchanges: during the numbered exchanges
// (1 = the first command written after arm(), while the port is open) every
// reading moves the clock on by 1000 ms, so that a wait for a reply that
// never comes ends after a few polls; during the others by 1 ms, so that a
// reply that does come is never late.
class ExchangeClock {
 public:
  ExchangeClock(Library& library, testing::FakeClock& clock) : library_(library), clock_(clock) {
    clock_.set_step(1);
    hook_ = library_.queue().add_idle_hook([this] {
      auto* monitor = library_.monitor();
      // A port close may dispatch too; only the exchanges count.
      if (!monitor || !monitor->ApdComPort1.is_open()) return;
      ++exchanges_;
      clock_.set_step(silent_.count(exchanges_) ? 1000 : 1);
    });
  }
  ~ExchangeClock() { library_.queue().remove_idle_hook(hook_); }
  ExchangeClock(const ExchangeClock&) = delete;
  ExchangeClock& operator=(const ExchangeClock&) = delete;

  void arm(std::set<int> silent) {
    silent_ = std::move(silent);
    exchanges_ = 0;
  }

  // The exchange numbers of an apply: the handshake's "m" and "p", then the
  // eight settings commands in their order.
  static constexpr int kRecord = 3, kType = 4, kInterval = 5, kWait = 6, kAdjH1 = 7, kAdjH3 = 8, kMyId = 9,
                       kDetect = 10;

 private:
  Library& library_;
  testing::FakeClock& clock_;
  std::set<int> silent_;
  int exchanges_ = 0;
  int hook_ = 0;
};

class DialogWithLogger : public ::testing::Test {
 protected:
  DialogWithLogger() { clock->set_local({2026, 3, 10, 12, 0, 0, 0}); }

  TForm4& open() {
    settingform_open(*lib);
    return *lib->settings_dialog();
  }
  bool port_open() { return lib->monitor() && lib->monitor()->ApdComPort1.is_open(); }
  std::vector<std::string>& messages() { return lib.notifier->messages; }
  std::string state() { return lib->settings_dialog()->StatusBar1.panel(TForm4::kStatePanel); }
  // The commands the logger received since the last call.
  std::vector<std::string> take_commands() {
    auto c = sim->commands();
    sim->clear_commands();
    return c;
  }

  testing::SimulatedLogger logger;
  vktsim::LoggerCore* const sim = &logger.core();
  std::shared_ptr<testing::FakeClock> clock = std::make_shared<testing::FakeClock>(0, 1);
  testing::TestLibrary lib{clock, logger.backends(), logger.registry()};
  ExchangeClock exchanges{*lib, *clock};
};

}  // namespace vkt::settings::test
