// The monitor window's test buttons and terminal switch, on a pseudo-terminal
// standing in for the logger's port.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "exports/library.h"
#include "link/port_error.h"
#include "support/eventually.h"
#include "support/fakes.h"
#include "support/pty_pair.h"
#include "support/serial_machine.h"
#include "windows/monitor_window.h"

namespace {

using namespace std::chrono_literals;
using vkt::test::PtyPair;
using vkt::test::SerialMachine;
using vkt::testing::FakeClock;

class MonitorButtons : public ::testing::Test {
 protected:
  MonitorButtons() {
    machine.link_node("ttyUSB0", pty.slave_path());
    form.ApdComPort1.ComNumber = 1;
  }

  void open_port() {
    form.ApdComPort1.set_open(true);
    ASSERT_TRUE(form.ApdComPort1.is_open());
  }
  // Waits (bounded) until the port holds `count` received bytes.
  void await_received(uint32_t count) {
    ASSERT_TRUE(vkt::testing::eventually([&] { return form.ApdComPort1.InBuffUsed() >= count; }, 5s,
                                         [&] { form.ApdComPort1.wait_for_input(100ms); }));
  }

  SerialMachine machine;
  PtyPair pty;
  std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
  vkt::testing::TestLibrary lib{clock};
  vkt::windows::TForm2& form = lib->ensure_monitor();
};

TEST_F(MonitorButtons, ClockSetSendsOneStringWithoutWaiting) {
  clock->set_local({2024, 5, 6, 7, 8, 9, 0});
  open_port();
  form.Button4.click();
  EXPECT_EQ(pty.read_exact(21), "s2024/05/06 07:08:09t");
  EXPECT_TRUE(lib.notifier->messages.empty());
}

TEST_F(MonitorButtons, Button5SendsTheCommandLineAsItStands) {
  open_port();
  form.Button5.click();
  EXPECT_EQ(pty.read_exact(5), "Edit1");
  form.Edit1.set_text("p");
  form.Button5.click();
  EXPECT_EQ(pty.read_exact(1), "p");
}

TEST_F(MonitorButtons, ComResumeTogglesThePortAndReportsAFailedOpen) {
  form.Button3.click();
  EXPECT_TRUE(form.ApdComPort1.is_open());
  form.Button3.click();
  EXPECT_FALSE(form.ApdComPort1.is_open());
  EXPECT_TRUE(lib.notifier->messages.empty());

  form.ApdComPort1.ComNumber = 0;
  EXPECT_NO_THROW(form.Button3.click());
  EXPECT_FALSE(form.ApdComPort1.is_open());
  EXPECT_EQ(lib.notifier->messages, (std::vector<std::string>{vkt::link::ENoPortSelected().what()}));
}

TEST_F(MonitorButtons, ClosedPortFailuresStayInsideTheDispatch) {
  // Clicks delivered by the message dispatch, as a user's would be.
  lib->queue().post([&] { form.Button4.click(); });
  lib->queue().post([&] { form.Button5.click(); });
  lib->queue().post([&] { form.Button2.click(); });
  EXPECT_NO_THROW(lib->dispatch_messages());
  const std::string not_open = vkt::link::ECommNotOpen().what();
  ASSERT_GE(lib.notifier->messages.size(), 2u);
  EXPECT_EQ(lib.notifier->messages[0], not_open);
  EXPECT_EQ(lib.notifier->messages[1], not_open);
}

// A message that the button's download lets run releases the window, the
// button and its handler with it: the download ends without touching them.
TEST_F(MonitorButtons, DownloadButtonSurvivesTheWindowsReleaseDuringItsDownload) {
  open_port();
  lib->queue().post([&] { lib->form_release(); });
  EXPECT_NO_THROW(form.Button2.click());
  EXPECT_EQ(lib->monitor(), nullptr);
  EXPECT_TRUE(lib.notifier->messages.empty());
}

TEST_F(MonitorButtons, SearchButtonRunsDiscovery) {
  machine.plug(SerialMachine::logger("ttyUSB3", "4"));
  form.Button1.click();
  EXPECT_EQ(form.ListBox14.items(), (std::vector<std::string>{"COM4"}));
  EXPECT_EQ(form.Label11.text(), "finished");
}

TEST_F(MonitorButtons, TerminalTakesReceivedBytesOnlyWhileActive) {
  open_port();
  form.CheckBox1.set_checked(true);
  ASSERT_TRUE(form.terminal.active());
  pty.write("abc\r\n");
  await_received(5);
  lib->dispatch_messages();
  EXPECT_EQ(form.ApdComPort1.InBuffUsed(), 0u);
  const auto lines = form.terminal.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "abc");
  EXPECT_EQ(form.Terminal1.text().substr(form.Terminal1.text().size() - 3), "abc") << "shown on screen";

  form.CheckBox1.set_checked(false);
  EXPECT_FALSE(form.terminal.active());
  pty.write("xyz");
  await_received(3);
  lib->dispatch_messages();
  EXPECT_EQ(form.ApdComPort1.InBuffUsed(), 3u);
  EXPECT_EQ(form.terminal.lines().size(), lines.size());
}

}  // namespace
