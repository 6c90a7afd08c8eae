// Port discovery on Linux: com_search over made-up sysfs and device folders
// with adapters of the logger's kind and others plugged in and out.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "link/port_discovery.h"
#include "link/registry_reader.h"
#include "link/sysfs_attribute.h"
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

// The device description is read from regular files only, a few kilobytes
// at most: a FIFO, a device or a loop in it counts as missing and never
// blocks or exhausts the search.
TEST_F(SysfsDiscovery, AttributesThatAreNotSmallRegularFilesCountAsMissing) {
  const auto fifo_vendor = SerialMachine::logger("ttyUSB0", "1", "FIFO");
  const auto zero_vendor = SerialMachine::logger("ttyUSB1", "2", "ZERO");
  const auto binary = SerialMachine::logger("ttyUSB2", "3", "BIN");
  const auto huge = SerialMachine::logger("ttyUSB3", "4", "HUGE");
  const auto fifo_serial = SerialMachine::logger("ttyUSB4", "5", "X");
  for (const auto& a : {fifo_vendor, zero_vendor, binary, huge, fifo_serial}) machine.plug(a);
  const auto dir = [&](const auto& a) { return vktsim::usb_device_dir(machine.root(), a); };

  const std::string fifo = (dir(fifo_vendor) / "idVendor").string();
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::remove(dir(zero_vendor) / "idVendor");
  std::filesystem::create_symlink("/dev/zero", dir(zero_vendor) / "idVendor");
  std::ofstream(dir(binary) / "idProduct", std::ios::binary) << std::string("3d4c\0\x01\xff\n", 8);
  {
    // The logger's identifier, then 2 MB more without a line end.
    std::ofstream out(dir(huge) / "idVendor", std::ios::binary);
    out << "1f2e" << std::string(2u << 20, 'x');
  }
  const std::string serial_fifo = (dir(fifo_serial) / "serial").string();
  std::filesystem::remove(serial_fifo);
  ASSERT_EQ(mkfifo(serial_fifo.c_str(), 0600), 0);
  // A loop in the tree: a tty whose device link leads round in a circle.
  const auto loop = machine.root() / "sys" / "class" / "tty" / "ttyUSB5";
  std::filesystem::create_directories(loop);
  std::filesystem::create_symlink("device", loop / "device");

  auto search_done = std::async(std::launch::async, [&] { return search(); });
  if (search_done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    // Release a search stuck on a FIFO, so that the test ends.
    for (const std::string& f : {fifo, serial_fifo}) close(open(f.c_str(), O_WRONLY | O_NONBLOCK));
    FAIL() << "the port search blocked on an attribute";
  }
  // Only the adapter with a FIFO for its serial number is a logger, named by
  // its place on the bus.
  EXPECT_EQ(search_done.get(), 5);
  EXPECT_EQ(form().ListBox13.items(), (Items{"VID_1F2E+PID_3D4C+1-5A"}));
}

TEST(SysfsAttribute, FirstLineOfAtMostFourKilobytes) {
  SerialMachine machine;
  const auto file = machine.root() / "attribute";
  std::ofstream(file) << "  0403 \nsecond line\n";
  EXPECT_EQ(vkt::link::read_sysfs_attribute(file.string()), "0403");
  std::ofstream(file) << std::string(10000, 'a');
  EXPECT_EQ(vkt::link::read_sysfs_attribute(file.string())->size(), vkt::link::kSysfsAttributeLimit);
  EXPECT_EQ(vkt::link::read_sysfs_attribute(machine.root().string()), std::nullopt) << "a folder";
  EXPECT_EQ(vkt::link::read_sysfs_attribute((machine.root() / "none").string()), std::nullopt);
  // Symbolic links to regular files are followed, as sysfs uses them.
  std::ofstream(file) << "1f2e\n";
  std::filesystem::create_symlink(file, machine.root() / "link");
  EXPECT_EQ(vkt::link::read_sysfs_attribute((machine.root() / "link").string()), "1f2e");
}

}  // namespace
