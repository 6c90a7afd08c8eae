// The library's rules as a host reaches them through the Linux extensions:
// the port table, the logger's year and count, the dating of record lines,
// and the settings dialog worked on a port the host names.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "exports/module.h"
#include "support/serial_machine.h"
#include "vktsim/logger_sim.h"

namespace {

using vkt::testing::Module;

std::string text(int32_t (*copy)(char*, int32_t)) {
  char buffer[256] = {};
  copy(buffer, sizeof buffer);
  return buffer;
}

std::string setting(Module& m, int32_t which) {
  char buffer[256] = {};
  return m.vkt_setting_get(which, buffer, sizeof buffer) < 0 ? "(none)" : std::string(buffer);
}

vktsim::SimOptions sim_options(const vkt::test::SerialMachine& machine, std::size_t records, bool new_year) {
  vktsim::SimOptions options;
  options.paced = false;
  vktsim::GeneratorOptions generator;
  generator.count = records;
  generator.cross_new_year = new_year;
  options.records = vktsim::generate_records(generator);
  options.tree_root = machine.root().string();
  return options;
}

TEST(PortTableExtensions, NumbersAndDevicePathsNameEachOther) {
  vkt::test::SerialMachine machine;
  Module m;
  char path[64];
  EXPECT_EQ(m.vkt_port_device(23, path, sizeof path), static_cast<int32_t>(machine.dev().size() + 8));
  EXPECT_EQ(std::string(path), machine.dev() + "/ttyACM2");
  EXPECT_EQ(m.vkt_port_device(73, path, sizeof path), 0);
  EXPECT_EQ(std::string(path), "");

  EXPECT_EQ(m.vkt_device_port((machine.dev() + "/ttyACM2").c_str()), 23);
  EXPECT_EQ(m.vkt_device_port("ttyS31"), 72);
  EXPECT_EQ(m.vkt_device_port("/elsewhere/ttyUSB0"), 0);
  // Links are followed, also to a device that is absent now (an unplugged
  // adapter's persistent name).
  std::filesystem::create_directories(machine.root() / "dev/serial/by-id");
  const auto by_id = machine.root() / "dev/serial/by-id/usb-logger-if00";
  std::filesystem::create_symlink("../../ttyUSB4", by_id);
  EXPECT_EQ(m.vkt_device_port(by_id.c_str()), 5);
}

TEST(ParameterExtensions, YearAndCountAreTheLibrarysFromConnectToDownload) {
  vkt::test::SerialMachine machine;
  vktsim::LoggerSim sim(sim_options(machine, 10, true));
  Module m;
  EXPECT_EQ(text(m.vkt_get_param_year), "");
  ASSERT_NO_FATAL_FAILURE(vkt::testing::search_open_connect(m));
  const std::string first = text(m.vkt_get_param_year);
  EXPECT_EQ(first.size(), 4u);
  EXPECT_EQ(text(m.vkt_get_param_count), "10");  // "@Count= 10 records"
  ASSERT_EQ(m.vkt_inputdata(), 1);
  // The download dates its records on into the next year.
  EXPECT_EQ(text(m.vkt_get_param_year), std::to_string(std::stoi(first) + 1));
  m.com_close();
}

TEST(DecodeRecordsExtension, DatesTheRecordLinesOfATextAsADownloadDoes) {
  Module m;
  const std::string received =
      "35EDB5E501FE4017192D\r\n"
      "35EDB5E501FE40\r\n"          // cut short: passed over
      " 18400050807F00FB0064 \r\n"  // year tag 2 after 0: the next year
      "18400050807F00FB0064\r\n"
      "#\r\n";
  std::vector<vkt_record> r(4);
  ASSERT_EQ(m.vkt_decode_records(received.c_str(), "2009", r.data(), 4), 3);
  EXPECT_EQ(r[0].row, 1);
  EXPECT_EQ(r[0].year, 2009);
  EXPECT_EQ(r[0].month, 3);
  EXPECT_EQ(r[0].day, 15);
  EXPECT_EQ(r[0].y, -2);
  EXPECT_EQ(r[0].msec, 25);
  EXPECT_EQ(std::string(r[0].data), "35EDB5E501FE4017192D");
  EXPECT_EQ(r[1].row, 3);
  EXPECT_EQ(r[1].year, 2010);
  EXPECT_EQ(r[1].x, -128);
  EXPECT_EQ(r[2].year, 2010);
  EXPECT_EQ(r[3].row, 0) << "nothing beyond the records found";

  // A year that is no number cannot be advanced: the dates lose it.
  ASSERT_EQ(m.vkt_decode_records(received.c_str(), "20x9", r.data(), 2), 3);
  EXPECT_EQ(r[0].year, 0);
  EXPECT_EQ(r[1].year, 0);
}

// The dialog's link step opens the port the host names instead of
// searching, at the show and at Ok; what it shows and sends is the dialog's.
TEST(SettingsExtensions, ADialogOnANamedPortReadsAndAppliesWithoutTheSearch) {
  vkt::test::SerialMachine machine;
  vktsim::LoggerSim sim(sim_options(machine, 3, false));
  // The search no longer sees the adapter; its device node stays.
  std::filesystem::remove_all(machine.root() / "sys/class/tty/ttyUSB0");
  Module m;

  ASSERT_EQ(m.vkt_settingform_open_port(0), 1);
  EXPECT_EQ(setting(m, VKT_SETTING_STATE), "com open error -1");
  EXPECT_EQ(text(m.vkt_last_message), "VKT が見つかりません");
  m.settingform_release();

  ASSERT_EQ(m.vkt_settingform_open_port(1), 1);
  EXPECT_EQ(setting(m, VKT_SETTING_STATE), "Succeeded to get the parameters");
  EXPECT_EQ(setting(m, VKT_SETTING_PORT), "COM1");
  EXPECT_EQ(setting(m, VKT_SETTING_RECORD), "jA_1min");
  char caption[64];
  EXPECT_EQ(m.vkt_setting_item(VKT_SETTING_ADJ_H1, 1, caption, sizeof caption), 7);
  EXPECT_EQ(std::string(caption), "Ox01~99");

  EXPECT_EQ(m.vkt_setting_set(VKT_SETTING_RECORD, "4"), 1);
  EXPECT_EQ(m.vkt_setting_set(VKT_SETTING_RECORD, "5"), 0);
  EXPECT_EQ(m.vkt_setting_set(VKT_SETTING_DETECT, "100"), 0);
  EXPECT_EQ(m.vkt_setting_set(VKT_SETTING_DETECT, "7"), 1);
  EXPECT_EQ(m.vkt_setting_set(VKT_SETTING_WAIT_SECONDS, "30"), 0) << "its up-down is off until wait item 5";
  EXPECT_EQ(m.vkt_setting_set(VKT_SETTING_START, "03/15"), 0);
  EXPECT_EQ(m.vkt_setting_set(VKT_SETTING_REVISION, "2"), -1);
  EXPECT_EQ(setting(m, VKT_SETTING_DETECT_G), "0.70(G)");
  EXPECT_EQ(setting(m, VKT_SETTING_COMMANDS), "jE 10 i6 w00 Ox00 Oz00 N01 d07");
  EXPECT_EQ(setting(m, VKT_SETTING_RESERVATION), "");

  EXPECT_EQ(m.vkt_settingform_press(VKT_SETTING_OK), 1);
  EXPECT_EQ(m.settingform_check(), 0);
  const auto sent = sim.commands();
  EXPECT_NE(std::find(sent.begin(), sent.end(), "d07"), sent.end());
  m.settingform_release();
}

}  // namespace
