// The settings commands built from the dialog's values.
#include <gtest/gtest.h>

#include "base/text.h"
#include "settings/device_settings.h"
#include "settings/settings_dialog.h"
#include "support/fakes.h"

namespace vkt::settings {
namespace {

using Step = SettingsStep;

std::optional<std::string> encode(const DeviceSettings& s, Step step) { return encode_step(s, step); }

TEST(SettingsEncoding, ItemCommandsAreTheCaptionCodes) {
  // Every item of the dialog sends the code its caption starts with.
  testing::TestLibrary lib;
  TForm4 dialog(lib->dialog_services());
  const std::pair<ui::RadioGroup*, Step> groups[] = {{&dialog.RadioGroup_Record, Step::Record},
                                                          {&dialog.RadioGroup_Type, Step::Type},
                                                          {&dialog.RadioGroup_Interval, Step::Interval},
                                                          {&dialog.RadioGroup_wait, Step::wait},
                                                          {&dialog.RadioGroup_ADJ_h3, Step::ADJ_h3}};
  for (auto [group, step] : groups) {
    for (std::size_t i = 0; i + (step == Step::wait ? 1 : 0) < group->items().size(); ++i) {
      DeviceSettings s;
      s.record = s.type = s.interval = s.wait = s.adj_h3 = static_cast<int>(i);
      const std::string& caption = group->items()[i];
      const auto command = encode(s, step);
      ASSERT_TRUE(command) << caption;
      EXPECT_EQ(caption.substr(0, caption.find('_')), *command) << group->name();
    }
  }
}

TEST(SettingsEncoding, FixedItems) {
  DeviceSettings s;
  s.record = 4;
  s.type = 2;
  s.interval = 2;
  s.wait = 0;
  s.adj_h3 = 1;
  EXPECT_EQ("jE", encode(s, Step::Record));
  EXPECT_EQ("02", encode(s, Step::Type));  // the model code alone
  s.type = 3;
  EXPECT_EQ("01", encode(s, Step::Type));
  EXPECT_EQ("i9", encode(s, Step::Interval));
  EXPECT_EQ("w00", encode(s, Step::wait));
  s.wait = 4;
  EXPECT_EQ("w04", encode(s, Step::wait));
  EXPECT_EQ("Oz01", encode(s, Step::ADJ_h3));
  EXPECT_EQ("Command Set Error(ADJ_h3)", failure_message(Step::ADJ_h3));
}

TEST(SettingsEncoding, NumbersHaveAtLeastTwoDigits) {
  DeviceSettings s;
  s.wait = 5;
  s.wait_seconds = "7";
  EXPECT_EQ("w07", encode(s, Step::wait));
  s.wait_seconds = "90";
  EXPECT_EQ("w90", encode(s, Step::wait));

  s.adj_h1 = AdjH1Mode::Off;
  s.adj_h1_value = "37";
  EXPECT_EQ("Ox00", encode(s, Step::ADJ_h1));  // off ignores the edit
  s.adj_h1 = AdjH1Mode::Value;
  s.adj_h1_value = "5";
  EXPECT_EQ("Ox05", encode(s, Step::ADJ_h1));

  s.my_id = "0";
  EXPECT_EQ("N00", encode(s, Step::My_ID));
  s.my_id = "150";  // out of range, as the read-back can leave it: sent whole
  EXPECT_EQ("N150", encode(s, Step::My_ID));
  s.detect = "1";
  EXPECT_EQ("d01", encode(s, Step::detect));
  s.detect = "99";
  EXPECT_EQ("d99", encode(s, Step::detect));

  EXPECT_EQ("05", vkt::two_digits(5));
  EXPECT_EQ("123", vkt::two_digits(123));
  EXPECT_EQ("-05", vkt::two_digits(-5));
}

TEST(SettingsEncoding, SettingsWithoutAValueAreNotSent) {
  DeviceSettings s;  // nothing selected, no numbers
  for (Step step : kSettingsSteps) EXPECT_FALSE(encode(s, step)) << failure_message(step);
  s.wait = 5;
  s.wait_seconds = "";
  EXPECT_FALSE(encode(s, Step::wait));
  s.adj_h1 = AdjH1Mode::Value;
  s.adj_h1_value = "x1";
  EXPECT_FALSE(encode(s, Step::ADJ_h1));
  s.record = 5;  // past the last item
  EXPECT_FALSE(encode(s, Step::Record));
}

TEST(SettingsEncoding, ReservationCommandKeepsTheFieldsAsTyped) {
  DeviceSettings s;
  s.start_mm = "03";
  s.start_dd = "15";
  s.start_hh = "09";
  s.start_nn = "30";
  EXPECT_EQ("l03/15 09:30", reservation_command(s));
  s.start_mm = "3";
  EXPECT_EQ("l3/15 09:30", reservation_command(s));
}

TEST(SettingsEncoding, DecimalNumbers) {
  EXPECT_EQ(30, parse_decimal("0030"));
  EXPECT_EQ(-1, parse_decimal("-1"));
  EXPECT_EQ(0, parse_decimal("0"));
  for (const char* bad : {"", "+5", "5a", " 5", "0x10", "-", "99999999999"}) EXPECT_FALSE(parse_decimal(bad)) << bad;
}

}  // namespace
}  // namespace vkt::settings
