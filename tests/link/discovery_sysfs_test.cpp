// Port discovery on Linux: com_search over made-up sysfs and device folders
// with adapters of the logger's kind and others plugged in and out.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "link/port_discovery.h"
#include "link/registry_reader.h"
#include "support/fakes.h"
#include "support/serial_machine.h"
#include "windows/monitor_window.h"

namespace {

using vkt::test::SerialMachine;
using Items = std::vector<std::string>;

class SysfsDiscovery : public ::testing::Test {
 protected:
  int search() { return vkt::link::com_search(*lib); }
  vkt::windows::TForm2& form() { return *lib->monitor(); }
  const Items& result() { return form().ListBox14.items(); }

  SerialMachine machine;
  vkt::testing::TestLibrary lib;
};

TEST_F(SysfsDiscovery, LoggerOnTtyUSB0IsCOM1) {
  machine.plug(SerialMachine::logger("ttyUSB0"));

  EXPECT_EQ(search(), 1);
  ASSERT_NE(lib->monitor(), nullptr) << "com_search creates the monitor window";
  EXPECT_FALSE(form().visible());
  EXPECT_EQ(form().ListBox11.items(), (Items{"\\Device\\VCP0"}));
  EXPECT_EQ(form().ListBox12.items(), (Items{"COM1"}));
  EXPECT_EQ(form().ListBox13.items(), (Items{"VID_1F2E+PID_3D4C+VKT00001A"}));
  EXPECT_EQ(result(), (Items{"COM1"}));
  EXPECT_EQ(form().Label11.text(), "finished");

  // Unplugged: gone from the next search.
  machine.unplug(SerialMachine::logger("ttyUSB0"));
  EXPECT_EQ(search(), 0);
  EXPECT_EQ(result(), (Items{"VCP none"}));
}

TEST_F(SysfsDiscovery, NoVirtualComPort) {
  EXPECT_EQ(search(), 0);
  EXPECT_TRUE(form().ListBox11.items().empty());
  EXPECT_EQ(result(), (Items{"VCP none"}));

  // A built-in port is a serial device but not a virtual COM port.
  machine.add_builtin_port("ttyS0");
  EXPECT_EQ(search(), 0);
  EXPECT_EQ(form().ListBox11.items(), (Items{"\\Device\\Serial0"}));
  EXPECT_EQ(result(), (Items{"VCP none"}));
}

TEST_F(SysfsDiscovery, AnotherMakeOfAdapterOnly) {
  machine.plug(SerialMachine::other_adapter("ttyUSB0"));
  EXPECT_EQ(search(), 0);
  EXPECT_EQ(form().ListBox12.items(), (Items{"COM1"}));
  EXPECT_EQ(form().ListBox13.items(), (Items{"VID_0403+PID_6001+FT0001A"}));
  EXPECT_EQ(result(), (Items{"COM none"}));
}

TEST_F(SysfsDiscovery, LoggerBehindAnotherAdapter) {
  machine.plug(SerialMachine::other_adapter("ttyUSB0", "2"));
  machine.plug(SerialMachine::logger("ttyUSB12", "3"));
  machine.add_builtin_port("ttyS0");

  EXPECT_EQ(search(), 13);
  EXPECT_EQ(form().ListBox11.items(), (Items{"\\Device\\Serial0", "\\Device\\VCP0", "\\Device\\VCP12"}));
  EXPECT_EQ(form().ListBox12.items(), (Items{"COM1", "COM13"}));
  EXPECT_EQ(result(), (Items{"COM13"}));
}

TEST_F(SysfsDiscovery, AdapterWhoseDeviceNodeIsGoneIsNotPresent) {
  machine.plug(SerialMachine::logger("ttyUSB0", "1"));
  machine.remove_node("ttyUSB0");
  EXPECT_EQ(search(), 0);
  EXPECT_EQ(result(), (Items{"VCP none"}));

  // With another adapter present the logger's adapter is still known, as an
  // adapter seen before, but its port is not in the device map.
  machine.plug(SerialMachine::other_adapter("ttyUSB1", "2"));
  EXPECT_EQ(search(), 0);
  EXPECT_EQ(form().ListBox12.items(), (Items{"COM2"}));
  EXPECT_EQ(form().ListBox13.items(), (Items{"VID_1F2E+PID_3D4C+VKT00001A", "VID_0403+PID_6001+FT0001A"}));
  EXPECT_EQ(result(), (Items{"COM none"}));

  // A device node that leads nowhere counts as gone too.
  machine.link_node("ttyUSB0", (machine.root() / "no-such-device").string());
  EXPECT_EQ(search(), 0);
}

TEST_F(SysfsDiscovery, IdentifiersAreReadInEitherLetterCase) {
  // The kernel writes lower-case hexadecimal; upper case is read as well.
  const auto second = SerialMachine::logger("ttyUSB1", "2", "VKT00002");
  machine.plug(SerialMachine::logger("ttyUSB0", "1"));
  machine.plug(second);
  std::ofstream(vktsim::usb_device_dir(machine.root(), second) / "idVendor") << "1F2E\n";
  std::ofstream(vktsim::usb_device_dir(machine.root(), second) / "idProduct") << "3D4c\n";

  EXPECT_EQ(search(), 1);
  EXPECT_EQ(form().ListBox13.items(), (Items{"VID_1F2E+PID_3D4C+VKT00001A", "VID_1F2E+PID_3D4C+VKT00002A"}));
  EXPECT_EQ(result(), (Items{"COM1", "COM2"}));
}

TEST_F(SysfsDiscovery, TwoLoggersInNaturalOrder) {
  machine.plug(SerialMachine::logger("ttyUSB10", "1", "AAA"));
  machine.plug(SerialMachine::logger("ttyUSB2", "2", "ZZZ"));

  EXPECT_EQ(search(), 3);
  EXPECT_EQ(form().ListBox11.items(), (Items{"\\Device\\VCP2", "\\Device\\VCP10"}));
  EXPECT_EQ(form().ListBox13.items(), (Items{"VID_1F2E+PID_3D4C+ZZZA", "VID_1F2E+PID_3D4C+AAAA"}));
  EXPECT_EQ(result(), (Items{"COM3", "COM11"}));
}

TEST_F(SysfsDiscovery, AdapterNames) {
  // A modem-class device with the logger's identifiers: found by walking up
  // from its interface, but a USB modem is not a virtual COM port.
  auto acm = SerialMachine::logger("ttyACM0", "1", "ACM1");
  acm.acm = true;
  machine.plug(acm);
  // The second interface of a two-port chip is letter B; a chip without a
  // serial number is named by its place on the bus.
  auto second_interface = SerialMachine::other_adapter("ttyUSB3", "2");
  second_interface.interface_number = 1;
  machine.plug(second_interface);
  auto no_serial = SerialMachine::other_adapter("ttyUSB4", "3.1");
  no_serial.serial.clear();
  machine.plug(no_serial);

  EXPECT_EQ(search(), 0);
  EXPECT_EQ(form().ListBox11.items(), (Items{"\\Device\\USBSER0", "\\Device\\VCP3", "\\Device\\VCP4"}));
  EXPECT_EQ(form().ListBox12.items(), (Items{"COM4", "COM5"}));
  EXPECT_EQ(form().ListBox13.items(),
            (Items{"VID_1F2E+PID_3D4C+ACM1A", "VID_0403+PID_6001+FT0001B", "VID_0403+PID_6001+1-3.1A"}));
  EXPECT_EQ(result(), (Items{"COM none"}));
}

TEST_F(SysfsDiscovery, MissingSysfsGivesNoDeviceMap) {
  ::setenv("VKTCOM_SYSFS_ROOT", (machine.root() / "nowhere").c_str(), 1);  // put back by the machine
  machine.plug(SerialMachine::logger("ttyUSB0"));
  EXPECT_EQ(search(), 0);
  EXPECT_EQ(result(), (Items{"VCP none"}));
}

TEST(SysfsRegistry, ReadOnlyTreeOfTheDevices) {
  SerialMachine machine;
  machine.plug(SerialMachine::logger("ttyUSB0"));
  auto reader = vkt::link::make_system_registry_reader();
  ASSERT_TRUE(reader->open_key("\\hardware\\devicemap\\serialcomm"));
  EXPECT_EQ(reader->read_string("\\Device\\VCP0"), "COM1");
  ASSERT_TRUE(reader->open_key("\\System\\CurrentControlSet\\Enum\\FTDIBUS\\VID_1F2E+PID_3D4C+VKT00001A\\0000"));
  EXPECT_EQ(reader->subkey_names(), (Items{"Device Parameters"}));
  EXPECT_FALSE(reader->open_key("\\System\\CurrentControlSet\\Enum\\USB"));
  // The view is taken when the reader is made.
  machine.unplug(SerialMachine::logger("ttyUSB0"));
  ASSERT_TRUE(reader->open_key("\\HARDWARE\\DEVICEMAP\\SERIALCOMM"));
  EXPECT_EQ(reader->value_names(), (Items{"\\Device\\VCP0"}));
}

}  // namespace
