// The settings exports: the dialog's lifecycle, single commands, the
// parameter lines and the reservation, with their buffer bounds.
#include <gtest/gtest.h>

#include <cstring>

#include "link/port_control.h"
#include "protocol/connect.h"
#include "base/text.h"
#include "settings_fixture.h"

namespace vkt::settings::test {
namespace {

using Strings = std::vector<std::string>;

int dialogs_created(testing::TestLibrary& lib) {
  int n = 0;
  for (const auto& e : lib.backend->events_of("TForm4")) n += e.kind == ui::WindowEvent::Created;
  return n;
}

class SettingsExports : public DialogWithLogger {};

TEST_F(SettingsExports, DialogLifecycle) {
  EXPECT_FALSE(settingform_check(lib->settings_state));
  settingform_close(*lib);  // nothing to hide
  settingform_release(*lib);
  EXPECT_EQ(nullptr, lib->settings_dialog());

  settingform_open(*lib);
  settingform_open(*lib);  // already shown: no second show
  EXPECT_EQ(1, dialogs_created(lib));
  EXPECT_EQ(Strings({"m", "p"}), take_commands());
  EXPECT_TRUE(settingform_check(lib->settings_state));
  EXPECT_TRUE(lib->settingform_created);

  TForm4& d = *lib->settings_dialog();
  d.CheckBox_starttime.set_checked(true);
  lib->settings_state.reservetime = "l01/01 00:00";
  settingform_close(*lib);
  EXPECT_FALSE(d.visible());
  EXPECT_TRUE(settingform_check(lib->settings_state));

  // Showing again runs the show routine again.
  settingform_open(*lib);
  EXPECT_EQ(Strings({"m", "p"}), take_commands());
  EXPECT_FALSE(d.CheckBox_starttime.checked());
  EXPECT_EQ("", lib->settings_state.reservetime);

  d.RadioGroup_Record.set_item_index(0);
  lib->settings_state.reservetime = "l01/01 00:00";
  settingform_release(*lib);
  EXPECT_FALSE(lib->settingform_created);
  EXPECT_EQ(nullptr, lib->settings_dialog());
  EXPECT_TRUE(settingform_check(lib->settings_state));
  EXPECT_EQ("l01/01 00:00", lib->settings_state.reservetime);
  lib->dispatch_messages();

  // A new dialog, read back from the logger again.
  settingform_open(*lib);
  EXPECT_EQ(2, dialogs_created(lib));
  EXPECT_EQ(2, lib->settings_dialog()->RadioGroup_Record.item_index());
  EXPECT_EQ("", lib->settings_state.reservetime);
}

TEST_F(SettingsExports, SetCommand) {
  EXPECT_EQ(0, vkt_set_command(lib->settings_context(), "N07"));  // no monitor window
  EXPECT_EQ(nullptr, lib->monitor());

  lib->ensure_monitor();
  EXPECT_EQ(0, vkt_set_command(lib->settings_context(), "N08"));  // port closed
  EXPECT_EQ("N08", lib->monitor()->Edit1.text());

  ASSERT_EQ(1, link::com_open(*lib, 1));
  EXPECT_EQ(0, vkt_set_command(lib->settings_context(), "N09"));
  EXPECT_EQ(Strings{"N09"}, take_commands());
  EXPECT_EQ(9, sim->settings().my_id);

  auto faults = sim->faults();
  faults.silent = true;
  sim->set_faults(faults);
  exchanges.arm({1});
  EXPECT_EQ(0, vkt_set_command(lib->settings_context(), "N10"));
  EXPECT_EQ("N10", lib->monitor()->Edit1.text());
}

TEST_F(SettingsExports, GetParamGivesTheLinesOfTheLastConnect) {
  char text[64];
  std::memset(text, 'Z', sizeof text);
  vkt_get_param(lib->settings_context(), text);  // no monitor window
  EXPECT_EQ('Z', text[0]);
  lib->ensure_monitor();
  vkt_get_param(lib->settings_context(), text);  // port closed
  EXPECT_EQ('Z', text[0]);

  ASSERT_EQ(1, link::com_open(*lib, 1));
  vkt_get_param(lib->settings_context(), text);  // answered, but no connect yet: no lines
  EXPECT_STREQ("", text);

  ASSERT_TRUE(lib->connect());
  std::string expected;
  for (const auto& line : lib->monitor()->ListBox1.items()) expected += line + "\r\n";
  ASSERT_NE(std::string::npos, expected.find("@Type=0010\r\n"));
  std::vector<char> buffer(VKTCOM_PARAM_BUFFER_SIZE, 'Z');
  vkt_get_param(lib->settings_context(), buffer.data());
  EXPECT_EQ(expected, buffer.data());
  take_commands();

  // A silent logger leaves the buffer as it was.
  auto faults = sim->faults();
  faults.silent = true;
  sim->set_faults(faults);
  exchanges.arm({1});
  std::memset(text, 'Z', sizeof text);
  vkt_get_param(lib->settings_context(), text);
  EXPECT_EQ('Z', text[0]);
  EXPECT_EQ(Strings{"p"}, take_commands());
}

TEST_F(SettingsExports, GetParamWritesWholeLinesWithinItsBound) {
  lib->ensure_monitor();
  ASSERT_EQ(1, link::com_open(*lib, 1));
  auto& list = lib->monitor()->ListBox1;
  // 78 lines of 50 characters take 78 * 52 + 1 = 4057 bytes; a 79th would
  // pass 4096.
  for (int i = 0; i < 100; ++i) list.add(std::string(48, 'a') + vkt::two_digits(i));
  std::vector<char> buffer(2 * VKTCOM_PARAM_BUFFER_SIZE, 'Z');
  vkt_get_param(lib->settings_context(), buffer.data());
  const std::string text = buffer.data();
  EXPECT_EQ(78u * 52u, text.size());
  EXPECT_EQ(std::string(48, 'a') + "77\r\n", text.substr(text.size() - 52));
  EXPECT_EQ('Z', buffer[text.size() + 1]);

  // A text that fills the bound exactly, NUL included, is written whole.
  list.clear();
  list.add(std::string(VKTCOM_PARAM_BUFFER_SIZE - 3, 'b'));
  vkt_get_param(lib->settings_context(), buffer.data());
  EXPECT_EQ(static_cast<std::size_t>(VKTCOM_PARAM_BUFFER_SIZE - 1), std::strlen(buffer.data()));
  list.add("c");
  std::memset(buffer.data(), 'Z', buffer.size());
  vkt_get_param(lib->settings_context(), buffer.data());
  EXPECT_EQ(static_cast<std::size_t>(VKTCOM_PARAM_BUFFER_SIZE - 1), std::strlen(buffer.data()));
  EXPECT_EQ('Z', buffer[VKTCOM_PARAM_BUFFER_SIZE]);
}

TEST_F(SettingsExports, Reservetime) {
  char text[2 * VKTCOM_RESERVETIME_BUFFER_SIZE];
  std::memset(text, 'Z', sizeof text);
  vkt_get_reservetime(lib->settings_state, text);
  EXPECT_STREQ("", text);

  lib->settings_state.reservetime = "l03/15 09:30";
  vkt_get_reservetime(lib->settings_state, text);
  EXPECT_STREQ("l03/15 09:30", text);

  // Longer typed texts are cut to the bound.
  lib->settings_state.reservetime = "l" + std::string(100, '1') + "/15 09:30";
  std::memset(text, 'Z', sizeof text);
  vkt_get_reservetime(lib->settings_state, text);
  EXPECT_EQ(static_cast<std::size_t>(VKTCOM_RESERVETIME_BUFFER_SIZE - 1), std::strlen(text));
  EXPECT_EQ(lib->settings_state.reservetime.substr(0, VKTCOM_RESERVETIME_BUFFER_SIZE - 1), text);
  EXPECT_EQ('Z', text[VKTCOM_RESERVETIME_BUFFER_SIZE]);
}

}  // namespace
}  // namespace vkt::settings::test
