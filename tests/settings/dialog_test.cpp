// The settings dialog's controls and handlers, with no logger attached.
#include <gtest/gtest.h>

#include "settings/settings_dialog.h"
#include "settings/settings_exports.h"
#include "support/fakes.h"

namespace vkt::settings {
namespace {

using Strings = std::vector<std::string>;

class Dialog : public ::testing::Test {
 protected:
  Dialog() { clock->set_local({2026, 7, 4, 9, 5, 33, 0}); }
  TForm4& dialog() { return lib->ensure_settings_dialog(); }

  // A machine with no serial devices: no logger plugged in.
  std::shared_ptr<testing::FastRealClock> clock = std::make_shared<testing::FastRealClock>();
  testing::TestLibrary lib{clock, {}, testing::TestLibrary::no_devices()};
};

TEST_F(Dialog, CreatedHiddenWithItsInitialValues) {
  TForm4& d = dialog();
  EXPECT_EQ("VKT Setting", d.caption());
  EXPECT_FALSE(d.visible());
  ASSERT_EQ(6u, d.RadioGroup_wait.items().size());
  EXPECT_EQ("w05~90_     秒後 スタート(5～90秒)", d.RadioGroup_wait.items()[5]);
  for (auto* group : {&d.RadioGroup_Record, &d.RadioGroup_Interval, &d.RadioGroup_Type, &d.RadioGroup_wait,
                      &d.RadioGroup_ADJ_h3})
    EXPECT_EQ(kNoItem, group->item_index()) << group->name();
  EXPECT_FALSE(d.RadioButton_ADJ_h1_1.checked());
  EXPECT_FALSE(d.RadioButton_ADJ_h1_2.checked());
  EXPECT_EQ("             Ox01~99", d.RadioButton_ADJ_h1_2.text());

  const std::tuple<ui::Edit*, ui::UpDown*, const char*, int, int> numbers[] = {
      {&d.Edit_My_ID, &d.UpDown_My_ID, "0", 0, 99},
      {&d.Edit_detect, &d.UpDown_detect, "1", 1, 99},
      {&d.Edit_wait, &d.UpDown_wait, "5", 5, 90},
      {&d.Edit_ADJ_h1, &d.UpDown_ADJ_h1, "1", 1, 99}};
  for (auto [edit, updown, text, min, max] : numbers) {
    EXPECT_EQ(text, edit->text()) << edit->name();
    EXPECT_TRUE(edit->read_only()) << edit->name();
    EXPECT_EQ(min, updown->min()) << updown->name();
    EXPECT_EQ(max, updown->max()) << updown->name();
    EXPECT_EQ(min, updown->position()) << updown->name();
  }
  EXPECT_FALSE(d.CheckBox_starttime.checked());
  // Controls are reachable by their names.
  EXPECT_EQ(&d.ComboBox_starttime_nn, d.find("ComboBox_starttime_nn"));
  EXPECT_EQ(&d.UpDown_ADJ_h1, d.find("UpDown_ADJ_h1"));
}

TEST_F(Dialog, ShowWithoutALogger) {
  TForm4& d = dialog();
  lib->settings_state.reservetime = "l01/01 00:00";
  d.CheckBox_starttime.set_checked(true);
  d.Button_set.set_enabled(false);
  d.show();

  EXPECT_EQ(Strings{"VKT が見つかりません"}, lib.notifier->messages);
  EXPECT_EQ("com open error -1", d.StatusBar1.panel(TForm4::kStatePanel));
  EXPECT_TRUE(lib->settings_state.settingform_active);
  EXPECT_TRUE(d.Button_set.enabled());
  EXPECT_EQ("", lib->settings_state.reservetime);
  EXPECT_FALSE(d.CheckBox_starttime.checked());
  EXPECT_EQ("07", d.ComboBox_starttime_mm.text());
  EXPECT_EQ("04", d.ComboBox_starttime_dd.text());
  EXPECT_EQ("09", d.ComboBox_starttime_hh.text());
  EXPECT_EQ("05", d.ComboBox_starttime_nn.text());
  for (auto* box : {&d.ComboBox_starttime_mm, &d.ComboBox_starttime_dd, &d.ComboBox_starttime_hh,
                    &d.ComboBox_starttime_nn})
    EXPECT_FALSE(box->enabled()) << box->name();
  // The failed read-back leaves the controls as they were.
  EXPECT_EQ(kNoItem, d.RadioGroup_Record.item_index());
  EXPECT_EQ("0", d.Edit_My_ID.text());

  d.CheckBox_starttime.set_checked(true);
  EXPECT_TRUE(d.ComboBox_starttime_dd.enabled());
  d.CheckBox_starttime.set_checked(false);
  EXPECT_FALSE(d.ComboBox_starttime_hh.enabled());
}

TEST_F(Dialog, StartTimeListsAreFilledOnceEachShow) {
  TForm4& d = dialog();
  for (int i = 0; i < 2; ++i) {
    d.show();
    d.hide();
  }
  EXPECT_EQ(12u, d.ComboBox_starttime_mm.items().size());
  EXPECT_EQ(31u, d.ComboBox_starttime_dd.items().size());
  EXPECT_EQ(24u, d.ComboBox_starttime_hh.items().size());
  EXPECT_EQ(60u, d.ComboBox_starttime_nn.items().size());
  EXPECT_EQ("01", d.ComboBox_starttime_mm.items().front());
  EXPECT_EQ("12", d.ComboBox_starttime_mm.items().back());
  EXPECT_EQ("31", d.ComboBox_starttime_dd.items().back());
  EXPECT_EQ("00", d.ComboBox_starttime_hh.items().front());
  EXPECT_EQ("59", d.ComboBox_starttime_nn.items().back());
}

TEST_F(Dialog, WaitSelection) {
  TForm4& d = dialog();
  d.Edit_wait.set_text("");
  d.RadioGroup_wait.set_item_index(5);
  EXPECT_EQ("5", d.Edit_wait.text());
  EXPECT_TRUE(d.Edit_wait.enabled());
  EXPECT_TRUE(d.UpDown_wait.enabled());
  d.UpDown_wait.click_up();
  d.RadioGroup_wait.set_item_index(0);
  EXPECT_FALSE(d.Edit_wait.enabled());
  EXPECT_FALSE(d.UpDown_wait.enabled());
  EXPECT_EQ("6", d.Edit_wait.text());
  // Back to item 5: a text that is there stays.
  d.RadioGroup_wait.set_item_index(5);
  EXPECT_EQ("6", d.Edit_wait.text());
}

TEST_F(Dialog, AdjH1Buttons) {
  TForm4& d = dialog();
  d.RadioButton_ADJ_h1_1.set_checked(true);
  EXPECT_FALSE(d.Edit_ADJ_h1.enabled());
  EXPECT_FALSE(d.UpDown_ADJ_h1.enabled());
  EXPECT_FALSE(d.Label_ADJ_h1.visible());
  d.Edit_ADJ_h1.set_text("");
  d.RadioButton_ADJ_h1_2.set_checked(true);
  EXPECT_FALSE(d.RadioButton_ADJ_h1_1.checked());
  EXPECT_TRUE(d.Edit_ADJ_h1.enabled());
  EXPECT_TRUE(d.UpDown_ADJ_h1.enabled());
  EXPECT_TRUE(d.Label_ADJ_h1.visible());
  EXPECT_EQ("1", d.Edit_ADJ_h1.text());
  EXPECT_EQ(1, d.UpDown_ADJ_h1.position());
}

TEST_F(Dialog, GLabels) {
  TForm4& d = dialog();
  d.UpDown_detect.click_up();
  EXPECT_EQ("0.00(G)", d.Label_detect.text());  // no model selected
  d.RadioGroup_Type.set_item_index(0);
  EXPECT_EQ("0.20(G)", d.Label_detect.text());
  EXPECT_EQ("0.10(G)", d.Label_ADJ_h1.text());
  for (int i = 0; i < 4; ++i) d.UpDown_detect.click_up();
  EXPECT_EQ("0.60(G)", d.Label_detect.text());
  d.RadioGroup_Type.set_item_index(4);
  EXPECT_EQ("3.00(G)", d.Label_detect.text());
  EXPECT_EQ("0.50(G)", d.Label_ADJ_h1.text());
  d.RadioGroup_Type.set_item_index(2);
  d.UpDown_ADJ_h1.click_up();
  EXPECT_EQ("0.04(G)", d.Label_ADJ_h1.text());
  EXPECT_FLOAT_EQ(0.12f, d.get_type_value(6.0f));
}

TEST_F(Dialog, CancelEndsTheUseWithoutSending) {
  settingform_open(*lib);
  TForm4& d = *lib->settings_dialog();
  lib->settings_state.reservetime = "l01/01 00:00";
  d.CheckBox_starttime.set_checked(true);
  d.Button_cancel.click();
  EXPECT_FALSE(d.visible());
  EXPECT_FALSE(settingform_check(lib->settings_state));
  EXPECT_EQ("l01/01 00:00", lib->settings_state.reservetime);
  EXPECT_EQ(1u, lib.notifier->messages.size());  // only the show's
}

}  // namespace
}  // namespace vkt::settings
