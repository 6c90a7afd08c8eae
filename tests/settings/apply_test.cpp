// The settings dialog against the logger simulator: show (read-back), edit,
// Ok (apply), and every outcome of the apply.
#include <gtest/gtest.h>

#include "settings_fixture.h"

namespace vkt::settings::test {
namespace {

using Strings = std::vector<std::string>;
using C = ExchangeClock;

const Strings kHandshake{"m", "p"};

Strings with_handshake(Strings commands) {
  commands.insert(commands.begin(), kHandshake.begin(), kHandshake.end());
  return commands;
}

class Apply : public DialogWithLogger {};

TEST_F(Apply, ShowReadsTheLoggerBack) {
  TForm4& d = open();
  EXPECT_EQ(kHandshake, take_commands());
  EXPECT_FALSE(port_open());
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ("COM1", d.StatusBar1.panel(TForm4::kPortPanel));
  EXPECT_EQ("Succeeded to get the parameters", state());
  // The simulator's defaults: @Record=A, @Interval=6, @Type=0010,
  // @wait=0000, @My_ID=0001, @detect=0005, @ADJ h=0000 0000 0000, 1.07.
  EXPECT_EQ(2, d.RadioGroup_Record.item_index());
  EXPECT_EQ(0, d.RadioGroup_Interval.item_index());
  EXPECT_EQ(0, d.RadioGroup_Type.item_index());
  EXPECT_EQ(0, d.RadioGroup_wait.item_index());
  EXPECT_EQ("1", d.Edit_My_ID.text());
  EXPECT_EQ("5", d.Edit_detect.text());
  EXPECT_TRUE(d.RadioButton_ADJ_h1_1.checked());
  EXPECT_EQ(0, d.RadioGroup_ADJ_h3.item_index());
  EXPECT_EQ("1.07", d.Label_vktrev.text());
}

TEST_F(Apply, AllAcceptedChangesTheLoggerAndReadsBackThroughP) {
  TForm4& d = open();
  take_commands();
  d.RadioGroup_Record.set_item_index(4);
  d.RadioGroup_Type.set_item_index(3);
  d.RadioGroup_Interval.set_item_index(2);
  d.RadioGroup_wait.set_item_index(5);
  d.UpDown_wait.click_up();
  d.UpDown_wait.click_up();
  d.RadioButton_ADJ_h1_2.set_checked(true);
  for (int i = 0; i < 4; ++i) d.UpDown_ADJ_h1.click_up();
  d.RadioGroup_ADJ_h3.set_item_index(1);
  d.UpDown_My_ID.click_up();
  d.UpDown_My_ID.click_up();
  d.UpDown_detect.click_down();
  lib->settings_state.reservetime = "l01/01 00:00";  // an earlier reservation is dropped

  d.Button_set.click();

  EXPECT_EQ(with_handshake({"jE", "01", "i9", "w07", "Ox05", "Oz01", "N03", "d04"}), take_commands());
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(port_open());
  EXPECT_FALSE(d.visible());
  EXPECT_FALSE(settingform_check(lib->settings_state));
  EXPECT_EQ("", lib->settings_state.reservetime);
  EXPECT_FALSE(d.Button_set.enabled());  // until the next show
  EXPECT_EQ("Transferring", state());

  const vktsim::SimSettings s = sim->settings();
  EXPECT_EQ('E', s.record);
  EXPECT_EQ(1, s.type);
  EXPECT_EQ('9', s.interval);
  EXPECT_EQ(7, s.wait);
  EXPECT_EQ(5, s.adj_h1);
  EXPECT_EQ(1, s.adj_h3);
  EXPECT_EQ(3, s.my_id);
  EXPECT_EQ(4, s.detect);

  // Showing again reads the new settings back from the logger's "p" reply.
  d.RadioGroup_Record.set_item_index(0);
  d.RadioGroup_wait.set_item_index(1);
  settingform_open(*lib);
  EXPECT_EQ(kHandshake, take_commands());
  EXPECT_TRUE(settingform_check(lib->settings_state));
  EXPECT_TRUE(d.Button_set.enabled());
  EXPECT_EQ("Succeeded to get the parameters", state());
  EXPECT_EQ(4, d.RadioGroup_Record.item_index());
  EXPECT_EQ(3, d.RadioGroup_Type.item_index());
  EXPECT_EQ(2, d.RadioGroup_Interval.item_index());
  EXPECT_EQ(5, d.RadioGroup_wait.item_index());
  EXPECT_EQ("7", d.Edit_wait.text());
  EXPECT_TRUE(d.RadioButton_ADJ_h1_2.checked());
  EXPECT_EQ("5", d.Edit_ADJ_h1.text());
  EXPECT_EQ(1, d.RadioGroup_ADJ_h3.item_index());
  EXPECT_EQ("3", d.Edit_My_ID.text());
  EXPECT_EQ("4", d.Edit_detect.text());
  EXPECT_EQ("0.04(G)", d.Label_detect.text());
}

TEST_F(Apply, AcceptedStartTimeIsStored) {
  TForm4& d = open();
  take_commands();
  d.CheckBox_starttime.set_checked(true);
  EXPECT_TRUE(d.ComboBox_starttime_mm.enabled());
  d.ComboBox_starttime_mm.set_text("03");
  d.ComboBox_starttime_dd.select(14);  // "15"
  d.ComboBox_starttime_hh.set_text("09");
  d.ComboBox_starttime_nn.select(30);  // "30"

  d.Button_set.click();

  EXPECT_EQ(10u, take_commands().size());  // the reservation is not sent here
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ("l03/15 09:30", lib->settings_state.reservetime);
  EXPECT_FALSE(d.visible());
  EXPECT_FALSE(settingform_check(lib->settings_state));
  EXPECT_FALSE(port_open());
  char text[VKTCOM_RESERVETIME_BUFFER_SIZE];
  vkt_get_reservetime(lib->settings_state, text);
  EXPECT_STREQ("l03/15 09:30", text);
}

TEST_F(Apply, RefusedStartTimeShowsTheDialogAgain) {
  TForm4& d = open();
  take_commands();
  d.CheckBox_starttime.set_checked(true);
  d.ComboBox_starttime_mm.set_text("02");
  d.ComboBox_starttime_dd.set_text("30");

  d.Button_set.click();

  // All eight commands went out; then the show's read-back connected again.
  const Strings commands = take_commands();
  ASSERT_EQ(12u, commands.size());
  EXPECT_EQ(kHandshake, Strings(commands.end() - 2, commands.end()));
  ASSERT_EQ(1u, messages().size());
  EXPECT_EQ("予約設定が正しくありません。\r\n2026/02/30 12:00:00(有りえない日付)", messages()[0]);
  EXPECT_TRUE(d.visible());
  EXPECT_TRUE(settingform_check(lib->settings_state));
  EXPECT_EQ("", lib->settings_state.reservetime);
  EXPECT_FALSE(d.CheckBox_starttime.checked());
  EXPECT_FALSE(d.ComboBox_starttime_mm.enabled());
  EXPECT_EQ("03", d.ComboBox_starttime_mm.text());  // reset to the local time
  EXPECT_TRUE(d.Button_set.enabled());
  EXPECT_FALSE(port_open());
}

TEST_F(Apply, OneFailedCommand) {
  TForm4& d = open();
  take_commands();
  auto faults = sim->faults();
  faults.no_answer = {"i"};
  sim->set_faults(faults);
  exchanges.arm({C::kInterval});
  lib->settings_state.reservetime = "l01/01 00:00";

  d.Button_set.click();

  EXPECT_EQ(with_handshake({"jA", "10", "i6", "w00", "Ox00", "Oz00", "N01", "d05", "m", "p"}), take_commands());
  EXPECT_EQ(Strings{"Command Set Error(Interval)"}, messages());
  EXPECT_TRUE(d.visible());
  EXPECT_TRUE(settingform_check(lib->settings_state));
  EXPECT_EQ("", lib->settings_state.reservetime);
  EXPECT_FALSE(port_open());
  EXPECT_TRUE(d.Button_set.enabled());
  EXPECT_EQ("Succeeded to get the parameters", state());
}

TEST_F(Apply, OnlyTheLastFailureIsReported) {
  TForm4& d = open();
  take_commands();
  auto faults = sim->faults();
  faults.no_answer = {"j", "N"};
  sim->set_faults(faults);
  exchanges.arm({C::kRecord, C::kMyId});

  d.Button_set.click();

  EXPECT_EQ(Strings{"Command Set Error(My_ID)"}, messages());
  EXPECT_TRUE(settingform_check(lib->settings_state));
}

TEST_F(Apply, LoggerThatTakesNoSettingsCommand) {
  TForm4& d = open();
  take_commands();
  auto faults = sim->faults();
  faults.no_answer = kAllSettingsCommands;
  sim->set_faults(faults);
  exchanges.arm({C::kRecord, C::kType, C::kInterval, C::kWait, C::kAdjH1, C::kAdjH3, C::kMyId, C::kDetect});

  d.Button_set.click();

  const Strings commands = take_commands();
  EXPECT_EQ(12u, commands.size());
  EXPECT_EQ(Strings{"Command Set Error(detec)"}, messages());
  EXPECT_TRUE(d.visible());
  EXPECT_TRUE(settingform_check(lib->settings_state));
}

TEST_F(Apply, SettingsWithoutASelectionAreNotSent) {
  auto s = sim->settings();
  s.record = 'x';
  s.type = 30;
  sim->set_settings(s);
  TForm4& d = open();
  EXPECT_EQ("Failed to get the parameters", state());
  take_commands();

  d.Button_set.click();

  EXPECT_EQ(with_handshake({"i6", "w00", "Ox00", "Oz00", "N01", "d05"}), take_commands());
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(d.visible());
}

TEST_F(Apply, SilentLoggerFailsTheHandshake) {
  TForm4& d = open();
  take_commands();
  auto faults = sim->faults();
  faults.silent = true;
  sim->set_faults(faults);
  exchanges.arm({1});
  lib->settings_state.reservetime = "l01/01 00:00";

  d.Button_set.click();

  EXPECT_EQ(Strings{"m"}, take_commands());
  EXPECT_EQ(Strings{"VKT と接続できません"}, messages());
  EXPECT_EQ("connect error", state());
  EXPECT_EQ("", d.StatusBar1.panel(TForm4::kPortPanel));
  EXPECT_FALSE(port_open());
  EXPECT_TRUE(d.visible());
  EXPECT_TRUE(d.Button_set.enabled());
  EXPECT_TRUE(settingform_check(lib->settings_state));
  EXPECT_EQ("l01/01 00:00", lib->settings_state.reservetime);
}

TEST_F(Apply, UnpluggedLoggerCannotBeOpened) {
  TForm4& d = open();
  take_commands();
  logger.unplug();
  lib->settings_state.reservetime = "l01/01 00:00";

  d.Button_set.click();

  EXPECT_EQ(Strings{"VKT が見つかりません"}, messages());
  EXPECT_EQ("com open error -1", state());
  EXPECT_TRUE(d.visible());
  EXPECT_TRUE(d.Button_set.enabled());
  EXPECT_TRUE(settingform_check(lib->settings_state));
  EXPECT_EQ("l01/01 00:00", lib->settings_state.reservetime);
}

TEST_F(Apply, DialogReleasedWhileApplying) {
  // A message handled while the first command is out releases the dialog:
  // the apply stops there instead of touching a destroyed window.
  TForm4& d = open();
  take_commands();
  lib->queue().post([this] { settingform_release(*lib); });
  d.Button_set.click();
  EXPECT_EQ(nullptr, lib->settings_dialog());
  EXPECT_FALSE(lib->settingform_created);
  EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace vkt::settings::test
