#pragma once
// A made-up machine for port discovery: a temporary folder holding sys/ and
// dev/ in the kernel's layout, with VKTCOM_SYSFS_ROOT and VKTCOM_DEV_ROOT
// pointing at them while the object lives (their previous values are put
// back afterwards). Adapters are plugged in and out with the simulator's
// tree builder.
#include <stdlib.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "support/temp_folder.h"
#include "vktsim/sysfs_tree.h"

namespace vkt::test {

using ScopedEnv = vkt::testing::ScopedEnv;

class SerialMachine {
 public:
  SerialMachine() : sysfs_env_("VKTCOM_SYSFS_ROOT", sys()), dev_env_("VKTCOM_DEV_ROOT", dev()) {
    std::filesystem::create_directories(root_ / "sys" / "class" / "tty");
    std::filesystem::create_directories(root_ / "dev");
  }
  SerialMachine(const SerialMachine&) = delete;
  SerialMachine& operator=(const SerialMachine&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::string sys() const { return (root_ / "sys").string(); }
  std::string dev() const { return (root_ / "dev").string(); }

  // The logger's adapter (1F2E:3D4C) on `tty`, plugged into USB port `port`.
  static vktsim::UsbSerialAdapter logger(const std::string& tty = "ttyUSB0", const std::string& port = "1",
                                      const std::string& serial = "VKT00001") {
    vktsim::UsbSerialAdapter adapter;
    adapter.tty_name = tty;
    adapter.port = port;
    adapter.serial = serial;
    adapter.device_node_target = "/dev/null";
    return adapter;
  }
  // An ordinary FTDI adapter (0403:6001).
  static vktsim::UsbSerialAdapter other_adapter(const std::string& tty = "ttyUSB0", const std::string& port = "2") {
    vktsim::UsbSerialAdapter adapter = logger(tty, port, "FT0001");
    adapter.vendor = 0x0403;
    adapter.product = 0x6001;
    return adapter;
  }

  void plug(const vktsim::UsbSerialAdapter& adapter) const { vktsim::lay_out_usb_serial(root_, adapter); }
  void unplug(const vktsim::UsbSerialAdapter& adapter) const { vktsim::remove_usb_serial(root_, adapter); }
  void add_builtin_port(const std::string& tty = "ttyS0") const {
    vktsim::PlatformSerialPort adapter;
    adapter.tty_name = tty;
    adapter.device_node_target = "/dev/null";
    vktsim::lay_out_platform_serial(root_, adapter);
  }
  // Removes a device node, leaving the device's sysfs entry in place.
  void remove_node(const std::string& tty) const { std::filesystem::remove(root_ / "dev" / tty); }
  // Points a device node somewhere else (a pseudo-terminal, say).
  void link_node(const std::string& tty, const std::string& target) const {
    remove_node(tty);
    std::filesystem::create_symlink(target, root_ / "dev" / tty);
  }

 private:
  vkt::testing::TempFolder folder_{"vktcom-machine"};
  std::filesystem::path root_ = folder_.path();
  ScopedEnv sysfs_env_;
  ScopedEnv dev_env_;
};

}  // namespace vkt::test
