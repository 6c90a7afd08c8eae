// The start-time reservation check: four field texts and a current time
// from the input, checked against the calendar of <chrono>; and the fields
// read back from a reservation command.
#include <chrono>
#include <optional>

#include "fuzz_support.h"
#include "settings/reservation_check.h"

using namespace vkt;

namespace {

// A field is a number when it is one or more ASCII digits (at most 9 taken:
// longer runs are out of range anyway).
std::optional<long long> number(std::string_view text) {
  if (text.empty()) return std::nullopt;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value > 1000000 ? value : value * 10 + (c - '0');
  }
  return value;
}

enum class Verdict { Accepted, Impossible, Past, TooFar };

Verdict oracle(const settings::StartTimeFields& f, const LocalTime& now) {
  using namespace std::chrono;
  const int year = now.year + (now.month == 12 && f.month == "01");
  const auto month = number(f.month);
  const auto day = number(f.day);
  const auto hour = number(f.hour);
  const auto minute = number(f.minute);
  if (!month || !day || !hour || !minute || *month > 12 || *day > 31 || *hour > 23 || *minute > 59)
    return Verdict::Impossible;
  const year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(*month)},
                            std::chrono::day{static_cast<unsigned>(*day)}};
  if (!date.ok()) return Verdict::Impossible;
  const auto start = sys_days{date} + hours{*hour} + minutes{*minute};
  const auto current = sys_days{std::chrono::year{now.year} / now.month / now.day} + hours{now.hour} +
                       minutes{now.minute} + seconds{now.second} + milliseconds{now.millisecond};
  if (start <= current) return Verdict::Past;
  if (start >= current + days{30}) return Verdict::TooFar;
  return Verdict::Accepted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  LocalTime now;
  now.year = 2000 + input.byte() % 100;
  now.month = 1 + input.byte() % 12;
  now.day = 1 + input.byte() % 28;
  now.hour = input.byte() % 24;
  now.minute = input.byte() % 60;
  now.second = input.byte() % 60;
  now.millisecond = (input.byte() * 4) % 1000;
  settings::StartTimeFields fields;
  fields.month = input.text();
  fields.day = input.text();
  fields.hour = input.text();
  fields.minute = input.text();

  const settings::ReservationVerdict verdict = settings::check_start_time(fields, now);
  const Verdict want = oracle(fields, now);
  FUZZ_CHECK(verdict.accepted == (want == Verdict::Accepted));
  FUZZ_CHECK(verdict.message.empty() == verdict.accepted);
  const std::string date = settings::reservation_date_text(fields, now);
  if (!verdict.accepted) FUZZ_CHECK(verdict.message.find(date) != std::string::npos);
  if (want == Verdict::Impossible) FUZZ_CHECK(verdict.message.find("(有りえない日付)") != std::string::npos);
  if (want == Verdict::Past) FUZZ_CHECK(verdict.message.find("(過去)") != std::string::npos);
  if (want == Verdict::TooFar) FUZZ_CHECK(verdict.message.find("(30日以降)") != std::string::npos);

  // A reservation command built from fields without separators in them
  // gives the same fields back.
  const auto clean = [](std::string_view s) {
    return s.find_first_of("/ :") == std::string_view::npos;
  };
  if (clean(fields.month) && clean(fields.day) && clean(fields.hour)) {
    const std::string command = "l" + fields.month + "/" + fields.day + " " + fields.hour + ":" + fields.minute;
    const settings::StartTimeFields back = settings::start_time_from_command(command);
    FUZZ_CHECK(back.month == fields.month && back.day == fields.day && back.hour == fields.hour &&
               back.minute == fields.minute);
  }
  (void)settings::start_time_from_command(input.rest());
  return 0;
}
