#include "settings/reservation_check.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "base/calendar.h"
#include "settings/settings_dialog.h"

namespace vkt::settings {

namespace {

constexpr int64_t kMsPerMinute = 60 * 1000;
constexpr int64_t kMsPerDay = 24 * 60 * kMsPerMinute;
constexpr int64_t kReservationWindowMs = 30 * kMsPerDay;

// One or more ASCII digits and nothing else. Longer digit runs than any
// field can use are still numbers, just out of range.
std::optional<int> field_number(std::string_view text) {
  if (text.empty()) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value > 100000 ? value : value * 10 + (c - '0');
  }
  return value;
}


// Days since 1970-01-01 in the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t local_ms(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  return days_from_civil(year, month, day) * kMsPerDay + (int64_t{hour} * 60 + minute) * kMsPerMinute +
         int64_t{second} * 1000 + millisecond;
}

int reservation_year(const StartTimeFields& fields, const LocalTime& now) {
  // Only December to a month written exactly "01" rolls the year over.
  return now.year + (now.month == 12 && fields.month == "01" ? 1 : 0);
}

}  // namespace

std::string reservation_date_text(const StartTimeFields& fields, const LocalTime& now) {
  char year[16];
  std::snprintf(year, sizeof year, "%04d", reservation_year(fields, now));
  return std::string(year) + "/" + fields.month + "/" + fields.day + " " + fields.hour + ":" + fields.minute +
         ":00";
}

ReservationVerdict check_start_time(const StartTimeFields& fields, const LocalTime& now) {
  const std::string date = reservation_date_text(fields, now);
  const int year = reservation_year(fields, now);
  const auto month = field_number(fields.month);
  const auto day = field_number(fields.day);
  const auto hour = field_number(fields.hour);
  const auto minute = field_number(fields.minute);
  const bool real_date = month && day && hour && minute && *month >= 1 && *month <= 12 && *day >= 1 &&
                         *day <= days_in_month(year, *month) && *hour <= 23 && *minute <= 59;
  if (!real_date) return {false, "予約設定が正しくありません。\r\n" + date + "(有りえない日付)"};

  const int64_t start = local_ms(year, *month, *day, *hour, *minute, 0, 0);
  const int64_t current =
      local_ms(now.year, now.month, now.day, now.hour, now.minute, now.second, now.millisecond);
  if (start - current <= 0) return {false, "予約設定が範囲外です。\r\n" + date + "(過去)"};
  if (start - (current + kReservationWindowMs) >= 0)
    return {false, "予約設定が範囲外です。\r\n" + date + "(30日以降)"};
  return {};
}

StartTimeFields start_time_from_command(std::string_view reservetime) {
  StartTimeFields f;
  std::string_view rest = reservetime.substr(reservetime.empty() ? 0 : 1);  // drop the command letter "l"
  // Takes the text up to `sep` into `out`; false when `sep` is missing.
  auto take = [&rest](char sep, std::string& out) {
    const std::size_t at = rest.find(sep);
    if (at == std::string_view::npos) return false;
    out = std::string(rest.substr(0, at));
    rest.remove_prefix(at + 1);
    return true;
  };
  if (take('/', f.month) && take(' ', f.day) && take(':', f.hour)) f.minute = std::string(rest);
  return f;
}

bool ReservationCheck(TForm4* dialog, const SettingsState& values, Clock& clock, Notifier& notifier) {
  StartTimeFields fields;
  if (dialog) {
    fields = {dialog->ComboBox_starttime_mm.text(), dialog->ComboBox_starttime_dd.text(),
              dialog->ComboBox_starttime_hh.text(), dialog->ComboBox_starttime_nn.text()};
  } else {
    fields = start_time_from_command(values.reservetime);
  }

  const ReservationVerdict verdict = check_start_time(fields, clock.local_now());
  if (verdict.accepted) return true;

  if (values.settingform_active && dialog) dialog->hide();
  notifier.show_error(verdict.message);
  return false;
}

bool vkt_startsetcheck(TForm4* dialog, const SettingsState& state, Clock& clock, Notifier& notifier) {
  if (state.reservetime.empty()) return true;
  return ReservationCheck(dialog, state, clock, notifier);
}

}  // namespace vkt::settings
