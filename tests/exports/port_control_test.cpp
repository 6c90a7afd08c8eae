// Opening and closing the logger's port through com_open and com_close.
#include <gtest/gtest.h>

#include "exports/library.h"
#include "link/port_control.h"
#include "support/fakes.h"
#include "support/pty_pair.h"
#include "windows/monitor_window.h"

namespace {

using vkt::testing::TestLibrary;

class ComOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    dev.link("ttyUSB0", pty.slave_path());
    lib->ensure_monitor();
  }
  vkt::link::SerialPort& port() { return lib->monitor()->ApdComPort1; }
  vkt::test::PtyPair pty;
  vkt::test::DevRoot dev;
  TestLibrary lib;
};

TEST_F(ComOpen, OpensWithTheLoggersLineSettings) {
  ASSERT_EQ(vkt::link::com_open(*lib, 1), 1);
  EXPECT_EQ(port().Baud, 19200);
  EXPECT_EQ(port().InSize, 8192);
  EXPECT_EQ(port().DataBits, 8);
  EXPECT_EQ(port().StopBits, 1);
  EXPECT_EQ(port().parity, vkt::link::Parity::pNone);
  EXPECT_EQ(port().SWFlowOptions, vkt::link::SWFlow::swfNone);
  // That these reach the device is SerialPortTest.OpenAppliesTheLoggerLineRawAndWithoutFlowControl's.
}

TEST_F(ComOpen, NoPortZeroNegativeOrMissingDeviceGivesMinusOne) {
  EXPECT_EQ(vkt::link::com_open(*lib, 0), -1);
  EXPECT_EQ(vkt::link::com_open(*lib, -3), -1);
  EXPECT_EQ(vkt::link::com_open(*lib, 2), -1);  // ttyUSB1 does not exist
  EXPECT_EQ(vkt::link::com_open(*lib, 65536), -1);  // stored as 0
  EXPECT_FALSE(port().is_open());
  EXPECT_EQ(vkt::link::com_open(*lib, 1), 1);  // a later open succeeds
}

TEST_F(ComOpen, PortNumberWrapsAtSixteenBits) { EXPECT_EQ(vkt::link::com_open(*lib, 65537), 1); }

TEST_F(ComOpen, OpenWhileOpenKeepsThePortItHas) {
  ASSERT_EQ(vkt::link::com_open(*lib, 1), 1);
  EXPECT_EQ(vkt::link::com_open(*lib, 5), 1);
  EXPECT_EQ(vkt::link::com_open(*lib, 0), 1);
  EXPECT_TRUE(port().is_open());
}

TEST_F(ComOpen, CloseThenOpenAgainAndCloseOnClosedDoesNothing) {
  vkt::link::com_close(*lib);
  ASSERT_EQ(vkt::link::com_open(*lib, 1), 1);
  vkt::link::com_close(*lib);
  EXPECT_FALSE(port().is_open());
  vkt::link::com_close(*lib);
  EXPECT_EQ(vkt::link::com_open(*lib, 1), 1);
}

TEST_F(ComOpen, PortHeldByAnotherProgramGivesMinusOne) {
  vkt::link::SerialPort other;
  other.ComNumber = 1;
  other.set_open(true);
  EXPECT_EQ(vkt::link::com_open(*lib, 1), -1);
  other.set_open(false);
  EXPECT_EQ(vkt::link::com_open(*lib, 1), 1);
}

TEST(ComOpenWithoutWindow, FailsWithoutCreatingTheWindow) {
  TestLibrary lib;
  EXPECT_EQ(vkt::link::com_open(*lib, 1), -1);
  vkt::link::com_close(*lib);
  EXPECT_EQ(lib->monitor(), nullptr);
}

}  // namespace
