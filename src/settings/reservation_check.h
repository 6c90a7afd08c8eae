#pragma once
// The start-time reservation check: a start time (month, day, hour, minute,
// no year) is acceptable when it is a real date and time, lies in the
// future, and is less than 30 days ahead.
#include <string>
#include <string_view>

#include "base/services.h"
#include "settings/settings_dialog.h"

namespace vkt::settings {

// The texts of the four start-time fields, as typed or picked.
struct StartTimeFields {
  std::string month;
  std::string day;
  std::string hour;
  std::string minute;
};

struct ReservationVerdict {
  bool accepted = true;
  std::string message;  // the refusal's message; empty when accepted
};

// "yyyy/" + month + "/" + day + " " + hour + ":" + minute + ":00", the field
// texts unchanged. The year is the current one, or the next one when the
// current month is December and the month field is exactly "01".
std::string reservation_date_text(const StartTimeFields& fields, const LocalTime& now);

// The check itself, without windows or messages. A field is a number when it
// is one or more ASCII digits and nothing else: "5" and "05" are both 5,
// while an empty text, " 5", "+5" or "5a" make the date impossible. Times
// are compared to the millisecond, so "30 days" is exactly 30 * 24 hours and
// a start in the current minute is already past.
ReservationVerdict check_start_time(const StartTimeFields& fields, const LocalTime& now);

// The fields back from a reservation command "l" + "mm/dd hh:nn": the texts
// between its separators (month up to the first "/", day up to the next
// blank, hour up to the next ":", minute the rest). A missing separator
// leaves the fields after it empty.
StartTimeFields start_time_from_command(std::string_view reservetime);

// Checks the start time against the local clock. The fields come from the
// settings dialog when it exists; otherwise (the dialog released with a
// reservation still pending) from `reservetime`, which was built from the
// same fields. A refusal hides the dialog when it is in use, shows the
// message in a message box and returns false. `dialog` is nullptr when
// there is none (or it was released).
bool ReservationCheck(TForm4* dialog, const SettingsState& state, Clock& clock, Notifier& notifier);

// True when no reservation is pending; otherwise the reservation check's verdict.
bool vkt_startsetcheck(TForm4* dialog, const SettingsState& state, Clock& clock, Notifier& notifier);

}  // namespace vkt::settings
