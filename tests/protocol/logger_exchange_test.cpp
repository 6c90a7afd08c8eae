// The exchange, the connect handshake and the clock setting through the real
// serial port, against the simulated logger on the in-memory line.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/port_control.h"
#include "link/port_error.h"
#include "protocol/clock_setting.h"
#include "protocol/connect.h"
#include "protocol/exchange.h"
#include "support/eventually.h"
#include "support/fakes.h"
#include "support/simulated_logger.h"
#include "windows/monitor_window.h"

namespace vkt::protocol {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;
using testing::FakeClock;
using testing::FastRealClock;

// Once the logger has received `commands` commands, moves a scripted clock
// on by 500 ms every few real milliseconds: a wait for an answer that never
// comes then ends at once, while answers that do come are never late.
class ClockWarp {
 public:
  ClockWarp(FakeClock& clock, vktsim::LoggerCore& sim, std::size_t commands)
      : thread_([this, &clock, &sim, commands] {
          while (!stop_ && !sim.wait_for_commands(commands, 20ms)) {
          }
          while (!stop_) {
            clock.advance(500);
            std::this_thread::sleep_for(2ms);
          }
        }) {}
  ~ClockWarp() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct LoggerOnTheLine : ::testing::Test {
  std::unique_ptr<testing::SimulatedLogger> logger;
  vktsim::LoggerCore* sim = nullptr;
  std::shared_ptr<FakeClock> fake_clock;
  std::unique_ptr<testing::TestLibrary> lib;

  static std::vector<vktsim::SimRecord> three_records_of(int year) {
    vktsim::SimRecord r;
    r.year = year;
    return {r, r, r};
  }

  // The logger on COM1 (unpaced), and a library whose monitor window has
  // opened it. With `scripted_clock` the library runs on a FakeClock that
  // stands still until a ClockWarp moves it.
  void plug(vktsim::SimOptions options = {}, bool scripted_clock = false) {
    options.paced = false;
    if (options.records.empty()) options.records = three_records_of(2023);
    logger = std::make_unique<testing::SimulatedLogger>(options);
    sim = &logger->core();
    std::shared_ptr<vkt::Clock> clock;
    if (scripted_clock) {
      fake_clock = std::make_shared<FakeClock>();
      clock = fake_clock;
    } else {
      clock = std::make_shared<FastRealClock>();
    }
    lib = std::make_unique<testing::TestLibrary>(clock, logger->backends(), logger->registry());
    (*lib)->ensure_monitor();
    ASSERT_EQ(link::com_open(**lib, 1), 1);
  }

  Library& library() { return **lib; }
  windows::TForm2& monitor() { return *library().monitor(); }
  Strings& messages() { return lib->notifier->messages; }
  void set_local(const vkt::LocalTime& t) {
    if (fake_clock)
      fake_clock->set_local(t);
    else
      static_cast<FastRealClock&>(*lib->clock).set_local(t);
  }
};

const Strings kParameterLines = {"@Year=2023",    "@Count= 3 records", "@Record=A",  "@Interval=6",
                                 "@Type=0010",    "@wait=0000",        "@My_ID=0001", "@detect=0005",
                                 "@ADJ h=0000 0000 0000", "@gmenDR_A RLS=1.07"};

TEST_F(LoggerOnTheLine, ConnectKeepsTheLinesYearAndCountWhicheverLineEndsTheLoggerUses) {
  plug();
  ASSERT_TRUE(library().connect());
  EXPECT_EQ(sim->commands(), (Strings{"m", "p"}));
  EXPECT_EQ(monitor().ListBox1.items(), kParameterLines);
  EXPECT_EQ(library().logger.param_year, "2023");
  EXPECT_EQ(library().logger.param_count, "3");
  const std::string memo = monitor().Memo1.text();
  EXPECT_EQ(memo.substr(0, 12), "@Year=2023\r\n");
  EXPECT_EQ(memo.substr(memo.size() - 3), "\r\n#");

  auto faults = sim->faults();
  faults.lf_cr = true;
  sim->set_faults(faults);
  sim->set_records(three_records_of(2031));
  ASSERT_TRUE(library().connect());
  Strings expected = kParameterLines;
  expected[0] = "@Year=2031";
  EXPECT_EQ(monitor().ListBox1.items(), expected);
  EXPECT_EQ(monitor().Memo1.text().substr(0, 12), "@Year=2031\r\n");
  EXPECT_EQ(library().logger.param_year, "2031");
}

TEST_F(LoggerOnTheLine, BytesAfterTheFirstReplyOpenTheParameterReply) {
  // More follows the "m" reply's terminator than one chunk can hold, so part
  // of it is still waiting when "p" goes out, and no flush lies between.
  vktsim::SimOptions options;
  options.faults.extra_after_terminator = std::string(1500, 'x');
  options.faults.extra_only_for = "m";
  plug(options);
  // The dispatch after "m" is written holds the exchange until the whole
  // reply and its tail are in the receive buffer: the wait then reads the
  // terminator's chunk while the rest is certainly waiting.
  library().queue().post([this] {
    const link::SerialPort& port = monitor().ApdComPort1;
    uint32_t seen = 0;
    vkt::testing::eventually(
        [&] {
          const uint32_t now = port.InBuffUsed();
          const bool settled = now >= 1500 && now == seen;
          seen = now;
          return settled;
        },
        2s, [] { std::this_thread::sleep_for(20ms); });
  });
  ASSERT_TRUE(library().connect());
  const auto& lines = monitor().ListBox1.items();
  ASSERT_EQ(lines.size(), kParameterLines.size());
  const std::string& first = lines[0];
  ASSERT_GT(first.size(), 476u + 10u);
  EXPECT_EQ(first.find_first_not_of('x'), first.size() - 10);
  EXPECT_EQ(first.substr(first.size() - 10), "@Year=2023");
  // The year is read at the line's positions 7 to 10, which now hold filler.
  EXPECT_EQ(library().logger.param_year, "xxxx");
  EXPECT_EQ(library().logger.param_count, "3");
}

TEST_F(LoggerOnTheLine, RepliesInSmallChunksAndWithANulStillEndTheWait) {
  vktsim::SimOptions options;
  options.faults.chunk_bytes = 7;
  options.faults.chunk_pause = 2ms;
  options.faults.nul_in_reply = true;
  options.faults.nul_offset = 2;
  options.faults.nul_only_for = "m";
  plug(options);
  ASSERT_TRUE(library().connect());
  EXPECT_EQ(monitor().ListBox1.items(), kParameterLines);
  EXPECT_TRUE(set_command(library().channel(), "N150"));
  EXPECT_EQ(sim->settings().my_id, 150);
}

TEST_F(LoggerOnTheLine, SilentLoggerFailsTheConnectAndKeepsTheEarlierYearAndCount) {
  plug({}, /*scripted_clock=*/true);
  ASSERT_TRUE(library().connect());

  auto faults = sim->faults();
  faults.silent = true;
  sim->set_faults(faults);
  {
    ClockWarp warp(*fake_clock, *sim, 3);
    EXPECT_FALSE(library().connect());
  }
  // No "p" after an unanswered "m".
  EXPECT_EQ(sim->commands(), (Strings{"m", "p", "m"}));
  EXPECT_TRUE(monitor().ListBox1.items().empty());
  EXPECT_EQ(monitor().Memo1.text(), "");
  EXPECT_EQ(library().logger.param_year, "2023");
  EXPECT_EQ(library().logger.param_count, "3");
}

TEST_F(LoggerOnTheLine, ClockSettingSendsThePendingReservationEveryTime) {
  plug();
  set_local({2025, 3, 5, 9, 4, 7, 0});
  EXPECT_TRUE(library().set_clock());
  EXPECT_EQ(sim->commands(), (Strings{"s2025/03/05 09:04:07", "t"}));

  sim->clear_commands();
  library().settings_state.reservetime = "l06/20 10:00";
  EXPECT_TRUE(library().set_clock());
  EXPECT_TRUE(library().set_clock());
  EXPECT_EQ(sim->commands(),
            (Strings{"s2025/03/05 09:04:07", "t", "l06/20 10:00", "s2025/03/05 09:04:07", "t", "l06/20 10:00"}));
  EXPECT_EQ(sim->start_time(), "06/20 10:00");
  EXPECT_EQ(library().settings_state.reservetime, "l06/20 10:00");
  EXPECT_TRUE(messages().empty());
}

TEST_F(LoggerOnTheLine, ClockSettingStopsAtTheFirstUnansweredCommandWithItsMessage) {
  plug({}, /*scripted_clock=*/true);
  set_local({2026, 6, 15, 12, 0, 0, 0});
  library().settings_state.reservetime = "l06/20 10:00";
  struct Case {
    std::string ignored;
    std::string message;
    Strings commands;
  };
  const std::vector<Case> cases = {
      {"s", "Clock Set Error(Command s)", {"s2026/06/15 12:00:00"}},
      {"t", "Clock Set Error(Command t)", {"s2026/06/15 12:00:00", "t"}},
      {"l", "Command Set Error(starttime)", {"s2026/06/15 12:00:00", "t", "l06/20 10:00"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("logger ignores " + c.ignored);
    auto faults = sim->faults();
    faults.no_answer = {c.ignored};
    sim->set_faults(faults);
    sim->clear_commands();
    messages().clear();
    {
      ClockWarp warp(*fake_clock, *sim, c.commands.size());
      EXPECT_FALSE(library().set_clock());
    }
    EXPECT_EQ(messages(), Strings{c.message});
    EXPECT_EQ(sim->commands(), c.commands);
  }
}

TEST_F(LoggerOnTheLine, WindowReleasedDuringTheExchangesDispatchEndsItWithoutAReply) {
  plug();
  library().queue().post([this] { library().form_release(); });
  EXPECT_FALSE(library().connect());
  EXPECT_EQ(library().monitor(), nullptr);
  EXPECT_THROW(exchange(library().channel(), "m"), link::ECommNotOpen);
}

TEST(NoLogger, ClosedPortOrNoMonitorFailsQuietly) {
  testing::TestLibrary lib;
  lib->settings_state.reservetime = "l06/20 10:00";
  EXPECT_FALSE(lib->connect());
  EXPECT_FALSE(lib->set_clock());
  EXPECT_EQ(ResponseReader(lib->channel()), "");

  lib->ensure_monitor();  // its port stays closed
  EXPECT_FALSE(lib->connect());
  EXPECT_FALSE(lib->set_clock());
  EXPECT_THROW(set_command(lib->channel(), "t"), link::ECommNotOpen);
  EXPECT_TRUE(lib.notifier->messages.empty());
}

}  // namespace
}  // namespace vkt::protocol
