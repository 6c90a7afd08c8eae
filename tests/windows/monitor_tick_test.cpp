// The monitor window's port-watching tick: heartbeat, and one announcement
// in the progress popup each time the logger's port appears or vanishes.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "exports/library.h"
#include "link/port_control.h"
#include "link/port_discovery.h"
#include "support/fakes.h"
#include "support/simulated_logger.h"
#include "windows/monitor_window.h"

namespace {

using vkt::testing::SimulatedLogger;
using vkt::testing::FakeClock;
using vkt::ui::WindowEvent;
using Texts = std::vector<std::string>;

const Texts kConnected{"Label1=接続", "Label2=Port=1", "Label3="};
const Texts kDisconnected{"Label1=切断", "Label2=", "Label3="};

Texts joined(std::initializer_list<Texts> parts) {
  Texts out;
  for (const Texts& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(MonitorTick, AnnouncesTheLoggerArrivingLeavingAndComingBack) {
  // The logger's adapter as COM1 in a registry made in memory.
  SimulatedLogger logger;
  auto clock = std::make_shared<FakeClock>();
  vkt::testing::TestLibrary lib(clock, logger.backends(), logger.registry());

  ASSERT_TRUE(vkt::link::com_search_timer(*lib, 1));
  auto& form = *lib->monitor();
  lib->dispatch_messages();
  EXPECT_EQ(form.Label11.text(), "Label11") << "the first tick comes a second after the timer starts";

  Texts heartbeat;
  for (int tick = 1; tick <= 10; ++tick) {
    if (tick == 4) logger.unplug();
    if (tick == 7) logger.replug();
    clock->advance(1000);
    lib->dispatch_messages();
    heartbeat.push_back(form.Label11.text());
    if (tick <= 3 || tick >= 7) {
      EXPECT_EQ(lib->watch.WatchedPort, 1u) << "tick " << tick;
    } else {
      EXPECT_EQ(lib->watch.WatchedPort, 0u) << "tick " << tick;
    }
  }

  EXPECT_EQ(heartbeat, (Texts{"-", "+", "-", "+", "-", "+", "-", "+", "-", "+"}));
  EXPECT_EQ(lib->watch.HeartbeatCount, 10u);
  EXPECT_EQ(lib.popup_texts(), joined({kConnected, kDisconnected, kConnected}));
  EXPECT_EQ(clock->sleeps(), (std::vector<uint32_t>{3000, 3000, 3000}));

  // Each announcement's popup was shown, hidden and released.
  int created = 0, shown = 0, hidden = 0, destroyed = 0;
  for (const WindowEvent& e : lib.backend->events_of("TForm3")) {
    created += e.kind == WindowEvent::Created;
    shown += e.kind == WindowEvent::Shown;
    hidden += e.kind == WindowEvent::Hidden;
    destroyed += e.kind == WindowEvent::Destroyed;
  }
  EXPECT_EQ(created, 3);
  EXPECT_EQ(shown, 3);
  EXPECT_EQ(hidden, 3);
  EXPECT_EQ(destroyed, 3);
  EXPECT_EQ(lib->popup(), nullptr);

  // Switched off: no more ticks.
  EXPECT_FALSE(vkt::link::com_search_timer(*lib, 2));
  clock->advance(5000);
  lib->dispatch_messages();
  EXPECT_EQ(lib->watch.HeartbeatCount, 10u);
}

// A close lets pending messages run while it waits for the port's threads:
// an overdue tick runs inside com_close. A handler that releases the
// monitor window there does not destroy the port under the close: the
// window goes at the next dispatch. The window's destruction closes its
// port without a dispatch.
TEST(MonitorTick, ACloseLetsAnOverdueTickRunAndKeepsItsWindowUntilClosed) {
  SimulatedLogger logger;
  auto clock = std::make_shared<FakeClock>();
  vkt::testing::TestLibrary lib(clock, logger.backends(), logger.registry());
  ASSERT_TRUE(vkt::link::com_search_timer(*lib, 1));
  ASSERT_EQ(vkt::link::com_open(*lib, 1), 1);
  clock->advance(1000);
  vkt::link::com_close(*lib);
  EXPECT_GE(lib->watch.HeartbeatCount, 1u);
  EXPECT_EQ(lib->watch.WatchedPort, 1u);
  EXPECT_FALSE(lib->monitor()->ApdComPort1.is_open());

  auto destroyed = [&] {
    for (const WindowEvent& e : lib.backend->events_of("TForm2"))
      if (e.kind == WindowEvent::Destroyed) return true;
    return false;
  };
  ASSERT_EQ(vkt::link::com_open(*lib, 1), 1);
  lib->queue().post([&] { lib->form_release(); });
  vkt::link::com_close(*lib);
  EXPECT_EQ(lib->monitor(), nullptr);
  EXPECT_FALSE(destroyed()) << "the window went while its port was closing";
  lib->dispatch_messages();
  EXPECT_TRUE(destroyed());

  // Destroying the window closes its port without letting messages run.
  vkt::link::com_search_timer(*lib, 1);
  ASSERT_EQ(vkt::link::com_open(*lib, 1), 1);
  bool ran = false;
  lib->queue().post([&] { ran = true; });
  lib->form_release();
  lib->enter_export();
  EXPECT_FALSE(ran);
}

// A backend that records like the headless one and calls a hook when a
// popup is shown.
class HookedBackend final : public vkt::ui::WindowBackend {
 public:
  std::function<void()> on_popup_shown;
  void window_created(vkt::ui::Window& w) override { inner.window_created(w); }
  void window_visibility(vkt::ui::Window& w, bool visible) override {
    inner.window_visibility(w, visible);
    if (visible && w.window_class() == "TForm3" && on_popup_shown) on_popup_shown();
  }
  void control_text(vkt::ui::Window& w, const std::string& c, const std::string& t) override {
    inner.control_text(w, c, t);
  }
  void window_destroyed(vkt::ui::Window& w) override { inner.window_destroyed(w); }
  vkt::ui::HeadlessBackend inner;
};

TEST(MonitorTick, WindowReleasedWhileTheAnnouncementLetsMessagesRun) {
  SimulatedLogger logger;
  auto clock = std::make_shared<FakeClock>();
  auto backend = std::make_shared<HookedBackend>();
  vkt::Library library(vkt::LibraryServices{clock, std::make_shared<vkt::testing::RecordingNotifier>(), backend,
                                            logger.backends(), logger.registry()});
  // The host releases the monitor window from a handler that runs during
  // the announcement's dispatch.
  backend->on_popup_shown = [&] { library.queue().post([&] { library.form_release(); }); };

  vkt::link::com_search_timer(library, 1);
  clock->advance(1000);
  library.dispatch_messages();

  EXPECT_EQ(library.monitor(), nullptr);
  EXPECT_FALSE(library.form_created);
  EXPECT_EQ(library.watch.WatchedPort, 1u);
  clock->advance(1000);
  library.dispatch_messages();  // the timer went with its window
  EXPECT_EQ(library.watch.HeartbeatCount, 1u);
}

}  // namespace
