// The settings dialog worked only through the window backend: every step is
// a user action that the backend delivers at a dispatch, as a window system's
// message pump would, and the logger is the simulated one on an in-memory
// line found through a registry made in memory. No pseudo-terminal, no
// environment.
#include <gtest/gtest.h>

#include "settings/settings_exports.h"
#include "support/fakes.h"
#include "support/simulated_logger.h"

namespace vkt::settings::test {
namespace {

using Strings = std::vector<std::string>;
using ui::UserAction;

class DialogByBackend : public ::testing::Test {
 protected:
  void SetUp() override { clock->set_local({2026, 3, 10, 12, 0, 0, 0}); }

  void act(UserAction action) { lib.backend->act("TForm4", std::move(action)); }
  void dispatch() { lib->dispatch_messages(); }

  vkt::testing::SimulatedLogger logger;
  std::shared_ptr<vkt::testing::FastRealClock> clock = std::make_shared<vkt::testing::FastRealClock>();
  vkt::testing::TestLibrary lib{clock, logger.backends(), logger.registry()};
};

TEST_F(DialogByBackend, SelectPressTickTypeOkSendsTheEightCommands) {
  settingform_open(*lib);
  TForm4& d = *lib->settings_dialog();
  ASSERT_EQ(logger->commands(), (Strings{"m", "p"})) << "the show reads the logger back";
  logger->clear_commands();

  act({UserAction::SelectItem, "RadioGroup_Record", 4});
  act({UserAction::SelectItem, "RadioGroup_Type", 3});
  act({UserAction::SelectItem, "RadioGroup_Interval", 2});
  act({UserAction::SelectItem, "RadioGroup_wait", 5});
  act({UserAction::ArrowUp, "UpDown_wait"});
  act({UserAction::ArrowUp, "UpDown_wait"});
  act({UserAction::Click, "RadioButton_ADJ_h1_2"});
  for (int i = 0; i < 4; ++i) act({UserAction::ArrowUp, "UpDown_ADJ_h1"});
  act({UserAction::SelectItem, "RadioGroup_ADJ_h3", 1});
  act({UserAction::ArrowUp, "UpDown_My_ID"});
  act({UserAction::ArrowUp, "UpDown_My_ID"});
  act({UserAction::ArrowDown, "UpDown_detect"});
  act({UserAction::Tick, "CheckBox_starttime", 0, true});
  act({UserAction::Type, "ComboBox_starttime_hh", 0, false, "13"});
  act({UserAction::Type, "Edit_My_ID", 0, false, "77"});  // read-only: not taken
  dispatch();
  EXPECT_TRUE(logger->commands().empty()) << "editing sends nothing";
  EXPECT_EQ(d.Edit_wait.text(), "7");
  EXPECT_EQ(d.Edit_My_ID.text(), "3");
  EXPECT_TRUE(d.ComboBox_starttime_mm.enabled());

  act({UserAction::Click, "Button_set"});
  dispatch();
  EXPECT_EQ(logger->commands(), (Strings{"m", "p", "jE", "01", "i9", "w07", "Ox05", "Oz01", "N03", "d04"}));
  const vktsim::SimSettings taken = logger->settings();
  EXPECT_EQ(taken.record, 'E');
  EXPECT_EQ(taken.type, 1);
  EXPECT_EQ(taken.interval, '9');
  EXPECT_EQ(taken.wait, 7);
  EXPECT_EQ(taken.adj_h1, 5);
  EXPECT_EQ(taken.adj_h3, 1);
  EXPECT_EQ(taken.my_id, 3);
  EXPECT_EQ(taken.detect, 4);
  EXPECT_EQ(lib->settings_state.reservetime, "l03/10 13:00");
  EXPECT_TRUE(lib.notifier->messages.empty());
  EXPECT_FALSE(d.visible());
}

TEST_F(DialogByBackend, ACloseRequestIsRefusedAndActionsOnDisabledControlsAreDropped) {
  settingform_open(*lib);
  TForm4& d = *lib->settings_dialog();
  // The start-time fields are disabled until the box is ticked.
  act({UserAction::Type, "ComboBox_starttime_mm", 0, false, "07"});
  act({UserAction::CloseRequest, ""});
  dispatch();
  EXPECT_NE(d.ComboBox_starttime_mm.text(), "07");
  EXPECT_FALSE(d.visible()) << "the dialog hides";
  EXPECT_TRUE(settingform_check(lib->settings_state)) << "and stays in use";
  EXPECT_EQ(lib->settings_dialog(), &d);
}

}  // namespace
}  // namespace vkt::settings::test
