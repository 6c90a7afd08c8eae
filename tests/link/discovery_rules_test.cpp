// The search's rules, driven through a registry filled by hand: which device
// map entries count as virtual COM ports, which adapters match, how port
// names are compared, the result markers, and a search ended by an
// unreadable value.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "link/port_discovery.h"
#include "link/registry_reader.h"
#include "support/fakes.h"
#include "windows/monitor_window.h"

namespace {

using vkt::link::PortDiscovery;
using vkt::link::RegistryTree;
using Items = std::vector<std::string>;

class DiscoveryRules : public ::testing::Test {
 protected:
  static std::string parameters(const std::string& adapter) {
    return std::string(vkt::link::kAdapterKey) + "\\" + adapter + std::string(vkt::link::kParametersSubkey);
  }
  void device(const std::string& name, const std::string& port) { registry.set_text(vkt::link::kDeviceMapKey, name, port); }
  void adapter(const std::string& name, const std::string& port) { registry.set_text(parameters(name), "PortName", port); }
  // The search yields a value; the monitor window shows it.
  bool search() {
    last = PortDiscovery(registry);
    form.show_discovery(last);
    return last.completed;
  }

  vkt::testing::TestLibrary lib;
  vkt::windows::TForm2& form = lib->ensure_monitor();
  RegistryTree registry;
  vkt::link::DiscoveryResult last;
};

TEST_F(DiscoveryRules, VcpNamesInAnyCaseCountButAdapterIdentifiersMatchOnlyInUpperCase) {
  device("\\Device\\Serial0", "COM41");
  device("\\Device\\vcp0", "COM3");
  device("\\Device\\VCP1", "COM4");
  adapter("VID_1F2E+PID_3D4C+AAA01A", "COM3");
  adapter("vid_1f2e+pid_3d4c+BBB02A", "COM4");

  ASSERT_TRUE(search());
  EXPECT_EQ(form.ListBox11.items(), (Items{"\\Device\\Serial0", "\\Device\\vcp0", "\\Device\\VCP1"}));
  EXPECT_EQ(form.ListBox12.items(), (Items{"COM3", "COM4"}));
  EXPECT_EQ(form.ListBox13.items(), (Items{"VID_1F2E+PID_3D4C+AAA01A", "vid_1f2e+pid_3d4c+BBB02A"}));
  EXPECT_EQ(form.ListBox14.items(), (Items{"COM3"}));
  EXPECT_EQ(form.Label11.text(), "finished");
}

TEST_F(DiscoveryRules, PortNameIsTrimmedThenComparedWholeAndCaseSensitively) {
  device("\\Device\\VCP0", "COM5");
  device("\\Device\\VCP1", "COM6");
  device("\\Device\\VCP2", "COM7");
  adapter("VID_1F2E+PID_3D4C+A1A", " \tCOM5\r\n");
  adapter("VID_1F2E+PID_3D4C+A2A", "com6");
  adapter("VID_1F2E+PID_3D4C+A3A", "COM");  // a prefix of COM7 is not COM7

  ASSERT_TRUE(search());
  EXPECT_EQ(form.ListBox14.items(), (Items{"COM5"}));
}

TEST_F(DiscoveryRules, AdapterWithoutPortNameOrParametersKey) {
  device("\\Device\\VCP0", "COM7");
  // A missing PortName reads as empty text and matches nothing.
  registry.add_key(parameters("VID_1F2E+PID_3D4C+NOPORTA"));
  ASSERT_TRUE(search());
  EXPECT_EQ(form.ListBox14.items(), (Items{"COM none"}));

  // A matching adapter whose parameters key does not open keeps the port
  // name of the previous matching adapter: the port is listed again.
  adapter("VID_1F2E+PID_3D4C+FIRSTA", "COM7");
  registry.add_key(std::string(vkt::link::kAdapterKey) + "\\VID_1F2E+PID_3D4C+SECONDA");
  ASSERT_TRUE(search());
  EXPECT_EQ(form.ListBox14.items(), (Items{"COM7", "COM7"}));
}

TEST_F(DiscoveryRules, MarkersWhenNothingMatches) {
  // No device map at all.
  ASSERT_TRUE(search());
  EXPECT_TRUE(form.ListBox11.items().empty());
  EXPECT_EQ(form.ListBox14.items(), (Items{"VCP none"}));

  // Only plain ports: still no virtual COM port, and the adapters are not read.
  device("\\Device\\Serial0", "COM41");
  adapter("VID_1F2E+PID_3D4C+AAA01A", "COM41");
  ASSERT_TRUE(search());
  EXPECT_TRUE(form.ListBox12.items().empty());
  EXPECT_TRUE(form.ListBox13.items().empty());
  EXPECT_EQ(form.ListBox14.items(), (Items{"VCP none"}));

  // A virtual COM port that no logger adapter names.
  device("\\Device\\VCP0", "COM1");
  ASSERT_TRUE(search());
  EXPECT_EQ(form.ListBox14.items(), (Items{"COM none"}));

  // Every list is replaced, not extended, by the next search.
  EXPECT_EQ(form.ListBox11.count(), 2u);
  EXPECT_EQ(form.ListBox13.count(), 1u);
}

TEST_F(DiscoveryRules, UnreadableValueEndsTheSearchWithListsAsTheyWere) {
  device("\\Device\\VCP0", "COM1");
  registry.set_binary(vkt::link::kDeviceMapKey, "\\Device\\VCP1");
  device("\\Device\\VCP2", "COM3");

  EXPECT_FALSE(search());
  EXPECT_EQ(form.Label11.text(), "Searching...");
  EXPECT_EQ(form.ListBox11.count(), 3u);
  EXPECT_EQ(form.ListBox12.items(), (Items{"COM1"}));
  EXPECT_TRUE(form.ListBox14.items().empty());
  EXPECT_TRUE(registry.value_names().empty()) << "the key is closed after an error too";
  EXPECT_EQ(last.device_map.size(), 3u) << "the value holds what was found before the error";
  EXPECT_EQ(last.first_port(), 0u);

  // An unreadable PortName ends it after the results found so far.
  registry.set_text(vkt::link::kDeviceMapKey, "\\Device\\VCP1", "COM2");
  adapter("VID_1F2E+PID_3D4C+A1A", "COM1");
  registry.set_binary(parameters("VID_1F2E+PID_3D4C+A2A"), "PortName");
  adapter("VID_1F2E+PID_3D4C+A3A", "COM3");
  EXPECT_FALSE(search());
  EXPECT_EQ(form.ListBox14.items(), (Items{"COM1"}));
  EXPECT_EQ(form.Label11.text(), "Searching...");
}

TEST_F(DiscoveryRules, PortNumberOfAResultEntry) {
  using vkt::link::result_port_number;
  const std::pair<const char*, uint32_t> cases[] = {
      {"COM5", 5},  {"COM12", 12}, {"COM123", 123}, {"VCP none", 0},   {"COM none", 0}, {"COM", 0},
      {"COMx", 0},  {"COM5x", 0},  {"COM-5", 0},    {"COM70000", 0}, {"com5", 0},     {"", 0}};
  for (const auto& [text, port] : cases) EXPECT_EQ(result_port_number(text), port) << text;

  // Through a search: a three-digit port keeps all its digits.
  device("\\Device\\VCP0", "COM123");
  adapter("VID_1F2E+PID_3D4C+A1A", "COM123");
  ASSERT_TRUE(search());
  EXPECT_EQ(last.first_port(), 123u);
}

TEST(RegistryTree, KeysOpenByPathInAnyCaseAndAFailedOpenKeepsTheCurrentKey) {
  RegistryTree tree;
  tree.set_text("\\A\\B", "Name", "value");
  tree.add_key("\\A\\C");
  ASSERT_TRUE(tree.open_key("\\a\\b"));
  EXPECT_FALSE(tree.open_key("\\A\\Missing"));
  EXPECT_EQ(tree.read_string("NAME"), "value");
  EXPECT_EQ(tree.read_string("other"), "");
  ASSERT_TRUE(tree.open_key("\\A"));
  EXPECT_EQ(tree.subkey_names(), (Items{"B", "C"}));
  EXPECT_TRUE(tree.value_names().empty());
  tree.close_key();
  EXPECT_TRUE(tree.subkey_names().empty());
  EXPECT_FALSE(tree.has_key("\\A\\D"));
}

}  // namespace
