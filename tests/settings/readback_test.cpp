// Parameter lines parsed back into the settings dialog.
#include <gtest/gtest.h>

#include "settings/param_readback.h"
#include "settings/settings_dialog.h"
#include "support/fakes.h"

namespace vkt::settings {
namespace {

using Values = std::array<std::string, 4>;

TEST(ParamGet, SplitsTheValuesAfterTheFirstEquals) {
  Values v;
  EXPECT_EQ(1, param_get("  @Type=0010 \r", "@Type", v));
  EXPECT_EQ("0010", v[0]);
  EXPECT_EQ(3, param_get("@ADJ h=0005  0000 0001", "@ADJ h", v));
  EXPECT_EQ((Values{"0005", "0000", "0001", ""}), v);
  EXPECT_EQ(2, param_get("@x=a=b c", "@x", v));
  EXPECT_EQ("a=b", v[0]);
  EXPECT_EQ(4, param_get("@k=1 2 3 4", "@k", v));
  EXPECT_EQ("4", v[3]);
}

TEST(ParamGet, AbsentKeyChangesNothing) {
  Values v{"keep", "keep", "keep", "keep"};
  EXPECT_EQ(0, param_get("@type=0010", "@Type", v));  // case-sensitive
  EXPECT_EQ((Values{"keep", "keep", "keep", "keep"}), v);
  // A call that finds fewer values leaves the later slots as they were.
  EXPECT_EQ(1, param_get("@Type=0020", "@Type", v));
  EXPECT_EQ((Values{"0020", "keep", "keep", "keep"}), v);
}

TEST(ParamGet, MoreThanFourValuesGiveZero) {
  Values v;
  EXPECT_EQ(0, param_get("@k=1 2 3 4 5", "@k", v));
  EXPECT_EQ((Values{"1", "2", "3", "4"}), v);
  // A sixth value pushes the fifth into the last slot.
  EXPECT_EQ(0, param_get("@k=1 2 3 4 5 6", "@k", v));
  EXPECT_EQ((Values{"1", "2", "3", "5"}), v);
}

TEST(ParamGet, LineWithoutEqualsStartsAtTheLine) {
  Values v;
  EXPECT_EQ(3, param_get("Rev @gmenDR_A RLS", "@gmenDR_A RLS", v));
  EXPECT_EQ("Rev", v[0]);
  EXPECT_EQ(2, param_get("@gmenDR_A RLS", "@gmenDR_A RLS", v));
  EXPECT_EQ("@gmenDR_A", v[0]);
}

TEST(ParamGet, TextsAreCutAt255Characters) {
  Values v;
  const std::string long_value(300, 'x');
  EXPECT_EQ(1, param_get("@k=" + long_value, "@k", v));
  EXPECT_EQ(255u, v[0].size());
  // The cut comes before the split: a space beyond it is never seen.
  EXPECT_EQ(1, param_get("@k=" + std::string(260, 'y') + " z", "@k", v));
  EXPECT_EQ(std::string(255, 'y'), v[0]);
  // Without "=" the line itself is cut.
  EXPECT_EQ(1, param_get(std::string(254, 'a') + "@k", "@k", v));
  EXPECT_EQ(255u, v[0].size());
  EXPECT_EQ(std::string(254, 'a') + "@", v[0]);
}

class ReadBack : public ::testing::Test {
 protected:
  testing::TestLibrary lib;
  TForm4 dialog{lib->dialog_services()};
  std::string state() const { return dialog.StatusBar1.panel(TForm4::kStatePanel); }
  void read(std::vector<std::string> lines) { dialog.read_parameter_lines(lines); }
};

TEST_F(ReadBack, SelectionKeys) {
  const char* records = "afABE";
  for (int i = 0; i < 5; ++i) {
    read({std::string("@Record=") + records[i]});
    EXPECT_EQ(i, dialog.RadioGroup_Record.item_index());
  }
  const char* intervals = "679";
  for (int i = 0; i < 3; ++i) {
    read({std::string("@Interval=") + intervals[i]});
    EXPECT_EQ(i, dialog.RadioGroup_Interval.item_index());
  }
  const char* types[] = {"0010", "0020", "0002", "0001", "0050"};
  for (int i = 0; i < 5; ++i) {
    read({std::string("@Type=") + types[i]});
    EXPECT_EQ(i, dialog.RadioGroup_Type.item_index());
  }
  EXPECT_EQ("Succeeded to get the parameters", state());
}

TEST_F(ReadBack, UnknownValueKeepsTheSelectionAndFailsToTheEnd) {
  read({"@Record=E"});
  read({"@Record=e", "@Interval=6", "@Type=0050"});
  EXPECT_EQ(4, dialog.RadioGroup_Record.item_index());
  EXPECT_EQ(0, dialog.RadioGroup_Interval.item_index());
  EXPECT_EQ("Failed to get the parameters", state());
  read({"@Interval=8"});
  EXPECT_EQ(0, dialog.RadioGroup_Interval.item_index());
  EXPECT_EQ("Failed to get the parameters", state());
  read({"@Type=10"});
  EXPECT_EQ(4, dialog.RadioGroup_Type.item_index());
}

TEST_F(ReadBack, WaitItems) {
  read({"@wait=0003"});
  EXPECT_EQ(3, dialog.RadioGroup_wait.item_index());
  EXPECT_EQ("", dialog.Edit_wait.text());
  EXPECT_FALSE(dialog.Edit_wait.enabled());

  read({"@wait=0045"});
  EXPECT_EQ(5, dialog.RadioGroup_wait.item_index());
  EXPECT_EQ("45", dialog.Edit_wait.text());
  EXPECT_TRUE(dialog.Edit_wait.enabled());
  EXPECT_TRUE(dialog.UpDown_wait.enabled());
  EXPECT_EQ("Succeeded to get the parameters", state());
  EXPECT_EQ("w45", encode_step(dialog.settings(), SettingsStep::wait));

  // Out of range: shown, sent by the next apply, and reported.
  read({"@wait=0095"});
  EXPECT_EQ(5, dialog.RadioGroup_wait.item_index());
  EXPECT_EQ("95", dialog.Edit_wait.text());
  EXPECT_EQ("Failed to get the parameters", state());
  EXPECT_EQ("w95", encode_step(dialog.settings(), SettingsStep::wait));
  dialog.UpDown_wait.click_down();
  EXPECT_EQ("89", dialog.Edit_wait.text());

  read({"@wait=0004"});
  EXPECT_EQ(4, dialog.RadioGroup_wait.item_index());
  EXPECT_FALSE(dialog.Edit_wait.enabled());
  EXPECT_FALSE(dialog.UpDown_wait.enabled());
}

TEST_F(ReadBack, NumberKeys) {
  read({"@My_ID=0007", "@detect=0005"});
  EXPECT_EQ("7", dialog.Edit_My_ID.text());
  EXPECT_EQ("5", dialog.Edit_detect.text());
  EXPECT_EQ("Succeeded to get the parameters", state());
  // The up-down goes on from the number read.
  dialog.UpDown_detect.click_up();
  EXPECT_EQ("6", dialog.Edit_detect.text());

  read({"@My_ID=0100"});
  EXPECT_EQ("100", dialog.Edit_My_ID.text());
  EXPECT_EQ("Failed to get the parameters", state());
  EXPECT_EQ("N100", encode_step(dialog.settings(), SettingsStep::My_ID));

  read({"@detect=0000"});
  EXPECT_EQ("0", dialog.Edit_detect.text());
  EXPECT_EQ("Failed to get the parameters", state());
}

TEST_F(ReadBack, NonNumbersFailAndLeaveTheEdits) {
  read({"@My_ID=0012", "@detect=0003", "@wait=0030"});
  read({"@My_ID=12a"});
  EXPECT_EQ("12", dialog.Edit_My_ID.text());
  EXPECT_EQ("Failed to get the parameters", state());
  read({"@detect="});
  EXPECT_EQ("3", dialog.Edit_detect.text());
  EXPECT_EQ("Failed to get the parameters", state());
  read({"@wait=abc"});
  EXPECT_EQ(5, dialog.RadioGroup_wait.item_index());
  EXPECT_EQ("30", dialog.Edit_wait.text());
  EXPECT_TRUE(dialog.Edit_wait.enabled());
  EXPECT_EQ("Failed to get the parameters", state());
}

TEST_F(ReadBack, AdjLine) {
  read({"@ADJ h=0012 0000 0001"});
  EXPECT_TRUE(dialog.RadioButton_ADJ_h1_2.checked());
  EXPECT_EQ("12", dialog.Edit_ADJ_h1.text());
  EXPECT_TRUE(dialog.Edit_ADJ_h1.enabled());
  EXPECT_TRUE(dialog.Label_ADJ_h1.visible());
  EXPECT_EQ(1, dialog.RadioGroup_ADJ_h3.item_index());
  EXPECT_EQ("Succeeded to get the parameters", state());

  read({"@ADJ h=0000 0000 0000"});
  EXPECT_TRUE(dialog.RadioButton_ADJ_h1_1.checked());
  EXPECT_FALSE(dialog.RadioButton_ADJ_h1_2.checked());
  EXPECT_EQ("", dialog.Edit_ADJ_h1.text());
  EXPECT_FALSE(dialog.Edit_ADJ_h1.enabled());
  EXPECT_FALSE(dialog.Label_ADJ_h1.visible());
  EXPECT_EQ(0, dialog.RadioGroup_ADJ_h3.item_index());
  EXPECT_EQ("Ox00", encode_step(dialog.settings(), SettingsStep::ADJ_h1));

  // Choosing the value button again puts "1" into the emptied edit.
  dialog.RadioButton_ADJ_h1_2.set_checked(true);
  EXPECT_EQ("1", dialog.Edit_ADJ_h1.text());
  EXPECT_EQ("Ox01", encode_step(dialog.settings(), SettingsStep::ADJ_h1));
}

TEST_F(ReadBack, AdjLineFailures) {
  read({"@ADJ h=0150 0000 0001"});
  EXPECT_EQ("150", dialog.Edit_ADJ_h1.text());
  EXPECT_EQ(1, dialog.RadioGroup_ADJ_h3.item_index());
  EXPECT_EQ("Failed to get the parameters", state());

  read({"@ADJ h=0020 0000 0002"});
  EXPECT_EQ("20", dialog.Edit_ADJ_h1.text());
  EXPECT_EQ(1, dialog.RadioGroup_ADJ_h3.item_index());
  EXPECT_EQ("Failed to get the parameters", state());

  // Fewer than three values: ADJ_h3 stays, stale slots are not used.
  read({"@ADJ h=0000 0000 0000", "@ADJ h=0030 0001"});
  EXPECT_EQ("30", dialog.Edit_ADJ_h1.text());
  EXPECT_EQ(0, dialog.RadioGroup_ADJ_h3.item_index());
  EXPECT_EQ("Succeeded to get the parameters", state());

  read({"@ADJ h=x 0000 0001"});
  EXPECT_EQ("30", dialog.Edit_ADJ_h1.text());
  EXPECT_EQ(1, dialog.RadioGroup_ADJ_h3.item_index());
  EXPECT_EQ("Failed to get the parameters", state());
}

TEST_F(ReadBack, RevisionAndOtherLines) {
  read({"@Year=2024", "@Count= 12 records", "@gmenDR_A RLS=1.07", "#"});
  EXPECT_EQ("1.07", dialog.Label_vktrev.text());
  EXPECT_EQ("Succeeded to get the parameters", state());
  // Five values: the key is passed over; no change, no failure.
  read({"@Type=0010 1 2 3 4", "@Type=0020"});
  EXPECT_EQ(1, dialog.RadioGroup_Type.item_index());
  read({"@Type=0050 1 2 3 4"});
  EXPECT_EQ(1, dialog.RadioGroup_Type.item_index());
  EXPECT_EQ("Succeeded to get the parameters", state());
  // A line without "=": the first word is value 1.
  read({"@Record A"});
  EXPECT_EQ("Failed to get the parameters", state());
  read({"A @Record"});
  EXPECT_EQ(2, dialog.RadioGroup_Record.item_index());
}

TEST_F(ReadBack, NoLinesWriteNoState) {
  dialog.StatusBar1.set_panel(TForm4::kStatePanel, "before");
  read({});
  EXPECT_EQ("before", state());
}

TEST_F(ReadBack, ModelChangeRefreshesTheLabels) {
  read({"@detect=0006", "@ADJ h=0010 0000 0000", "@Type=0010"});
  EXPECT_EQ("0.60(G)", dialog.Label_detect.text());
  EXPECT_EQ("1.00(G)", dialog.Label_ADJ_h1.text());
  read({"@Type=0050"});
  EXPECT_EQ("3.00(G)", dialog.Label_detect.text());
  EXPECT_EQ("5.00(G)", dialog.Label_ADJ_h1.text());
  EXPECT_EQ("0.50(G)", g_label(dialog.get_type_value(1.0f)));
}

TEST_F(ReadBack, LabelsShowTheValuesReadInTheLoggersOrder) {
  // The parameter reply names the model before detect and ADJ: the labels
  // still show the G values of the numbers read, not of the earlier ones.
  read({"@Type=0050", "@detect=0005", "@ADJ h=0002 0000 0000"});
  EXPECT_EQ("5", dialog.Edit_detect.text());
  EXPECT_EQ("2.50(G)", dialog.Label_detect.text());
  EXPECT_EQ("1.00(G)", dialog.Label_ADJ_h1.text());
}

TEST_F(ReadBack, ValuesOfTheLastMatchedLineStay) {
  read({"@ADJ h=0005 0003 0001", "@Year=2024"});
  EXPECT_EQ((Values{"0005", "0003", "0001", ""}), lib->settings_state.param_values);
}

}  // namespace
}  // namespace vkt::settings
