// The start-time reservation check: calendar, range and year roll-over
// rules, and what a refusal does to the settings dialog.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "protocol/clock_setting.h"
#include "settings/reservation_check.h"
#include "settings/settings_dialog.h"
#include "support/fakes.h"
#include "support/scripted_logger.h"

namespace vkt::settings {
namespace {

using vkt::LocalTime;

const std::string kImpossible = "予約設定が正しくありません。\r\n";
const std::string kOutOfRange = "予約設定が範囲外です。\r\n";

std::string verdict(const StartTimeFields& f, const LocalTime& now) {
  const ReservationVerdict v = check_start_time(f, now);
  EXPECT_EQ(v.accepted, v.message.empty());
  return v.accepted ? "accepted" : v.message;
}

TEST(ReservationDates, DecemberRollsOverOnlyToMonthWrittenZeroOne) {
  const LocalTime dec20{2025, 12, 20, 12, 0, 0, 0};
  EXPECT_EQ(verdict({"01", "05", "10", "00"}, dec20), "accepted");
  EXPECT_EQ(verdict({"01", "25", "10", "00"}, dec20), kOutOfRange + "2026/01/25 10:00:00(30日以降)");
  // "1" is the same month but not the text "01": no roll-over, so it is past.
  EXPECT_EQ(verdict({"1", "05", "10", "00"}, dec20), kOutOfRange + "2025/1/05 10:00:00(過去)");
  // Only December rolls over.
  EXPECT_EQ(verdict({"01", "02", "10", "00"}, LocalTime{2025, 11, 25, 12, 0, 0, 0}),
            kOutOfRange + "2025/01/02 10:00:00(過去)");
}

TEST(ReservationDates, ThirtyDaysIsExactlyThirtyTimesTwentyFourHours) {
  const LocalTime now{2026, 6, 15, 12, 0, 0, 0};
  EXPECT_EQ(verdict({"07", "15", "12", "00"}, now), kOutOfRange + "2026/07/15 12:00:00(30日以降)");
  EXPECT_EQ(verdict({"07", "15", "11", "00"}, now), "accepted");
  EXPECT_EQ(verdict({"07", "15", "11", "59"}, now), "accepted");
  // One millisecond later the same start is just under 30 days ahead.
  EXPECT_EQ(verdict({"07", "15", "12", "00"}, LocalTime{2026, 6, 15, 12, 0, 0, 1}), "accepted");
}

TEST(ReservationDates, CurrentMinuteIsAlreadyPast) {
  EXPECT_EQ(verdict({"06", "15", "12", "00"}, LocalTime{2026, 6, 15, 12, 0, 0, 0}),
            kOutOfRange + "2026/06/15 12:00:00(過去)");
  EXPECT_EQ(verdict({"06", "15", "12", "00"}, LocalTime{2026, 6, 15, 12, 0, 59, 999}),
            kOutOfRange + "2026/06/15 12:00:00(過去)");
  // The next minute lies ahead, by however little.
  EXPECT_EQ(verdict({"06", "15", "12", "01"}, LocalTime{2026, 6, 15, 12, 0, 59, 999}), "accepted");
}

TEST(ReservationDates, ImpossibleDatesAndFields) {
  const LocalTime now{2026, 1, 10, 8, 0, 0, 0};
  EXPECT_EQ(verdict({"02", "30", "10", "00"}, now), kImpossible + "2026/02/30 10:00:00(有りえない日付)");
  EXPECT_EQ(verdict({"02", "29", "10", "00"}, now), kImpossible + "2026/02/29 10:00:00(有りえない日付)");
  EXPECT_EQ(verdict({"02", "29", "10", "00"}, LocalTime{2028, 2, 10, 8, 0, 0, 0}), "accepted");
  EXPECT_EQ(verdict({"01", "20", "24", "00"}, now), kImpossible + "2026/01/20 24:00:00(有りえない日付)");
  EXPECT_EQ(verdict({"01", "20", "10", "60"}, now), kImpossible + "2026/01/20 10:60:00(有りえない日付)");
  EXPECT_EQ(verdict({"13", "01", "10", "00"}, now), kImpossible + "2026/13/01 10:00:00(有りえない日付)");
  EXPECT_EQ(verdict({"01", "00", "10", "00"}, now), kImpossible + "2026/01/00 10:00:00(有りえない日付)");
  // Empty or not purely digits: impossible, with the texts as typed.
  EXPECT_EQ(verdict({"", "20", "10", "00"}, now), kImpossible + "2026//20 10:00:00(有りえない日付)");
  EXPECT_EQ(verdict({"01", " 5", "10", "00"}, now), kImpossible + "2026/01/ 5 10:00:00(有りえない日付)");
  EXPECT_EQ(verdict({"01", "2a", "10", "00"}, now), kImpossible + "2026/01/2a 10:00:00(有りえない日付)");
  EXPECT_EQ(verdict({"01", "-1", "10", "00"}, now), kImpossible + "2026/01/-1 10:00:00(有りえない日付)");
  // A one-digit field is a number and stays as typed in the text.
  EXPECT_EQ(verdict({"01", "5", "10", "00"}, LocalTime{2026, 1, 2, 8, 0, 0, 0}), "accepted");
  EXPECT_EQ(verdict({"01", "5", "9", "0"}, now), kOutOfRange + "2026/01/5 9:0:00(過去)");
}

TEST(ReservationDates, FieldsBackFromTheReservationCommand) {
  auto fields = start_time_from_command("l03/15 09:30");
  EXPECT_EQ(fields.month, "03");
  EXPECT_EQ(fields.day, "15");
  EXPECT_EQ(fields.hour, "09");
  EXPECT_EQ(fields.minute, "30");
  fields = start_time_from_command("l3/5 9:7");
  EXPECT_EQ(reservation_date_text(fields, LocalTime{2026, 1, 1}), "2026/3/5 9:7:00");
  fields = start_time_from_command("l03/15");
  EXPECT_EQ(fields.month, "03");
  EXPECT_EQ(fields.day, "");
  EXPECT_EQ(fields.minute, "");
}

// ReservationCheck and vkt_startsetcheck against a library: where the fields
// come from, and what a refusal shows and hides.
struct ReservationCheckTest : ::testing::Test {
  std::shared_ptr<testing::FakeClock> clock = std::make_shared<testing::FakeClock>();
  // A machine without serial devices and a line with nothing on it: should
  // showing the dialog look for the logger, it finds none.
  vkt::testing::ScriptedLogger nothing;
  testing::TestLibrary lib{clock, nothing.backends(), testing::TestLibrary::no_devices()};

  void SetUp() override { clock->set_local({2026, 6, 15, 12, 0, 0, 0}); }

  TForm4& dialog_with(const StartTimeFields& f) {
    TForm4& d = lib->ensure_settings_dialog();
    d.ComboBox_starttime_mm.set_text(f.month);
    d.ComboBox_starttime_dd.set_text(f.day);
    d.ComboBox_starttime_hh.set_text(f.hour);
    d.ComboBox_starttime_nn.set_text(f.minute);
    return d;
  }
};

TEST_F(ReservationCheckTest, NothingPendingPassesWithoutLookingAtTheDialog) {
  dialog_with({"02", "30", "10", "00"});
  EXPECT_TRUE(lib->check_start_time());
  EXPECT_TRUE(lib.notifier->messages.empty());
}

TEST_F(ReservationCheckTest, RefusalHidesTheDialogOnlyWhileItIsInUse) {
  // The dialog is shown by its user; what its show routine may do is none
  // of this test's business.
  TForm4& d = dialog_with({"06", "15", "11", "00"});
  d.show();
  dialog_with({"06", "15", "11", "00"});
  lib.notifier->messages.clear();
  lib->settings_state.reservetime = "l06/15 11:00";

  lib->settings_state.settingform_active = false;
  EXPECT_FALSE(lib->check_start_time());
  EXPECT_TRUE(d.visible());
  ASSERT_EQ(lib.notifier->messages.size(), 1u);
  EXPECT_EQ(lib.notifier->messages[0], kOutOfRange + "2026/06/15 11:00:00(過去)");

  lib->settings_state.settingform_active = true;
  EXPECT_FALSE(ReservationCheck(lib->settings_dialog(), lib->settings_state, lib->clock(), lib->notifier()));
  EXPECT_FALSE(d.visible());
  EXPECT_EQ(lib.notifier->messages.size(), 2u);
}

TEST_F(ReservationCheckTest, DialogFieldsWinOverThePendingCommand) {
  dialog_with({"06", "20", "10", "00"});
  lib->settings_state.reservetime = "l02/30 10:00";
  EXPECT_TRUE(lib->check_start_time());
  EXPECT_TRUE(lib.notifier->messages.empty());
}

TEST_F(ReservationCheckTest, ReleasedDialogFallsBackToThePendingCommand) {
  dialog_with({"06", "20", "10", "00"});
  lib->release_settings_dialog();
  lib->settings_state.settingform_active = true;  // stale flag: there is no dialog to hide
  lib->settings_state.reservetime = "l07/20 10:00";
  EXPECT_FALSE(lib->check_start_time());
  ASSERT_EQ(lib.notifier->messages.size(), 1u);
  EXPECT_EQ(lib.notifier->messages[0], kOutOfRange + "2026/07/20 10:00:00(30日以降)");

  lib->dispatch_messages();  // the dialog is destroyed now
  lib->settings_state.reservetime = "l06/20 10:00";
  EXPECT_TRUE(lib->check_start_time());
}

}  // namespace
}  // namespace vkt::settings
