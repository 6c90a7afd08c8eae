// The device and sysfs folders that port discovery reads: links resolve the
// way the kernel's do, and adapters come and go.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "sim/pty_host.h"
#include "vktsim/logger_sim.h"
#include "vktsim/sysfs_tree.h"

namespace {

namespace fs = std::filesystem;
using vktsim::UsbSerialAdapter;

std::string read_attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text;
}

class SysfsTreeTest : public testing::Test {
 protected:
  fs::path root() const { return fs::canonical(folder.path()); }
  fs::path sys() const { return root() / "sys"; }
  simtest::TempFolder folder;
};

TEST_F(SysfsTreeTest, FtdiAdapterHasTheKernelsLayout) {
  UsbSerialAdapter adapter;
  adapter.device_node_target = "/dev/null";
  vktsim::lay_out_usb_serial(folder.path(), adapter);

  const fs::path class_link = sys() / "class/tty/ttyUSB0";
  ASSERT_TRUE(fs::is_symlink(class_link));
  EXPECT_EQ(fs::read_symlink(class_link),
            "../../devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0");
  const fs::path tty = fs::canonical(class_link);
  EXPECT_EQ(fs::read_symlink(tty / "device"), "../../../ttyUSB0");
  const fs::path port = fs::canonical(tty / "device");
  EXPECT_EQ(port, sys() / "devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/ttyUSB0");
  EXPECT_EQ(fs::canonical(port / "driver"), sys() / "bus/usb-serial/drivers/ftdi_sio");
  EXPECT_EQ(fs::canonical(port / ".." / "driver"), sys() / "bus/usb/drivers/ftdi_sio");

  // The USB device two levels above the port device.
  const fs::path usb = fs::canonical(port / "../..");
  EXPECT_EQ(usb, vktsim::usb_device_dir(folder.path(), adapter));
  EXPECT_EQ(read_attribute(usb / "idVendor"), "1f2e\n");
  EXPECT_EQ(read_attribute(usb / "idProduct"), "3d4c\n");
  EXPECT_EQ(read_attribute(usb / "serial"), "VKT00001\n");
  EXPECT_EQ(read_attribute(usb / "manufacturer"), "FTDI\n");
  EXPECT_EQ(read_attribute(usb / "product"), "FT232R USB UART\n");
  EXPECT_EQ(read_attribute(usb / "busnum"), "1\n");

  EXPECT_EQ(fs::read_symlink(root() / "dev/ttyUSB0"), "/dev/null");
}

TEST_F(SysfsTreeTest, AcmAndOnBoardPortsHaveTheirOwnLayouts) {
  UsbSerialAdapter acm;
  acm.tty_name = "ttyACM0";
  acm.acm = true;
  acm.vendor = 0x2341;
  acm.product = 0x0043;
  acm.port = "2";
  vktsim::lay_out_usb_serial(folder.path(), acm);
  vktsim::PlatformSerialPort on_board;
  vktsim::lay_out_platform_serial(folder.path(), on_board);

  const fs::path acm_tty = fs::canonical(sys() / "class/tty/ttyACM0");
  EXPECT_EQ(acm_tty, sys() / "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/tty/ttyACM0");
  EXPECT_EQ(fs::read_symlink(acm_tty / "device"), "../../../1-2:1.0");
  const fs::path iface = fs::canonical(acm_tty / "device");
  EXPECT_EQ(fs::canonical(iface / "driver"), sys() / "bus/usb/drivers/cdc_acm");
  EXPECT_EQ(read_attribute(iface / ".." / "idVendor"), "2341\n");
  EXPECT_FALSE(fs::exists(root() / "dev/ttyACM0")) << "no device node was asked for";

  EXPECT_EQ(fs::read_symlink(sys() / "class/tty/ttyS0"), "../../devices/platform/serial8250/tty/ttyS0");
  const fs::path s0 = fs::canonical(sys() / "class/tty/ttyS0");
  EXPECT_EQ(fs::read_symlink(s0 / "device"), "../../../serial8250");
  EXPECT_EQ(fs::canonical(s0 / "device/driver"), sys() / "bus/platform/drivers/serial8250");
}

TEST_F(SysfsTreeTest, UnplugRemovesOnlyThatAdapterAndReplugRestoresIt) {
  UsbSerialAdapter logger;
  logger.device_node_target = "/dev/null";
  UsbSerialAdapter other;
  other.tty_name = "ttyUSB1";
  other.vendor = 0x0403;
  other.product = 0x6001;
  other.port = "3.1";
  other.device_node_target = "/dev/zero";
  vktsim::lay_out_usb_serial(folder.path(), logger);
  vktsim::lay_out_usb_serial(folder.path(), other);
  EXPECT_EQ(fs::canonical(sys() / "class/tty/ttyUSB1").parent_path().parent_path().parent_path().parent_path(),
            sys() / "devices/pci0000:00/0000:00:14.0/usb1/1-3.1");

  vktsim::remove_usb_serial(folder.path(), logger);
  EXPECT_FALSE(fs::exists(fs::symlink_status(sys() / "class/tty/ttyUSB0")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(root() / "dev/ttyUSB0")));
  EXPECT_FALSE(fs::exists(vktsim::usb_device_dir(folder.path(), logger)));
  EXPECT_TRUE(fs::exists(sys() / "class/tty/ttyUSB1"));
  EXPECT_TRUE(fs::exists(sys() / "bus/usb-serial/drivers/ftdi_sio")) << "the driver stays loaded";

  vktsim::lay_out_usb_serial(folder.path(), logger);
  EXPECT_EQ(read_attribute(sys() / "class/tty/ttyUSB0/device/../../idVendor"), "1f2e\n");
}

TEST_F(SysfsTreeTest, SimulatorKeepsItsDeviceNodeOnItsCurrentPty) {
  vktsim::SimOptions options;
  options.paced = false;
  options.adapter.serial = "VKT04711";
  vktsim::LoggerSim sim(options);
  sim.lay_out_tree(folder.path().string());
  EXPECT_EQ(sim.dev_root(), (root() / "dev").string());
  EXPECT_EQ(sim.sys_root(), (root() / "sys").string());
  EXPECT_EQ(fs::read_symlink(sim.device_path()).string(), sim.slave_path());
  EXPECT_EQ(read_attribute(sys() / "class/tty/ttyUSB0/device/../../serial"), "VKT04711\n");

  sim.unplug();
  EXPECT_FALSE(fs::exists(fs::symlink_status(sim.device_path())));
  EXPECT_FALSE(fs::exists(fs::symlink_status(sys() / "class/tty/ttyUSB0")));
  sim.replug();
  EXPECT_EQ(fs::read_symlink(sim.device_path()).string(), sim.slave_path());
  simtest::PtyHost host(sim.device_path());
  EXPECT_EQ(host.exchange("m"), "VKT-18 RLS=1.07#");
}

}  // namespace
