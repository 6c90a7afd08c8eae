// The parameter read-back: the logger's parameter lines (the reply to "p"
// that the connect handshake keeps in the monitor window's ListBox1) parsed
// back into the settings dialog's controls.
//
// Keys and values, one parameter per line ("@Type=0010"):
//   @Record         "a" "f" "A" "B" "E"   (case-sensitive)
//   @Interval       "6" "7" "9"
//   @Type           "0010" "0020" "0002" "0001" "0050"
//   @wait           "0000".."0004", or the seconds (5..90)
//   @My_ID          0..99
//   @detect         1..99
//   @ADJ h          value 1: "0000" off, or 0..99; value 2 unused;
//                   value 3: "0000" or "0001"
//   @gmenDR_A RLS   the logger's revision
#include <string>
#include <vector>

#include "base/text.h"
#include "link/port_control.h"
#include "settings/param_readback.h"
#include "settings/settings_dialog.h"

namespace vkt::settings {

namespace {

// Texts are cut to this many characters at each step of the split.
constexpr std::size_t kMaxRest = 255;

constexpr std::array<std::string_view, 5> kRecordValues{"a", "f", "A", "B", "E"};
constexpr std::array<std::string_view, 3> kIntervalValues{"6", "7", "9"};
constexpr std::array<std::string_view, 5> kTypeValues{"0010", "0020", "0002", "0001", "0050"};
constexpr std::array<std::string_view, 5> kWaitValues{"0000", "0001", "0002", "0003", "0004"};
constexpr std::array<std::string_view, 2> kAdjH3Values{"0000", "0001"};
constexpr std::string_view kAdjH1Off = "0000";

enum KeyIndex : std::size_t { kRecord, kInterval, kType, kWait, kMyId, kDetect, kAdjH, kRevision };

// The item whose value `value` is, or -1.
template <std::size_t N>
int item_of(const std::array<std::string_view, N>& values, std::string_view value) {
  for (std::size_t i = 0; i < N; ++i)
    if (values[i] == value) return static_cast<int>(i);
  return kNoItem;
}

std::string cut(std::string_view text) { return std::string(text.substr(0, kMaxRest)); }

}  // namespace

int param_get(std::string_view line_text, std::string_view key, std::array<std::string, 4>& values) {
  const std::string line = trim(line_text);
  if (line.find(key) == std::string::npos) return 0;

  const std::size_t equals = line.find('=');
  std::string rest =
      trim(equals == std::string::npos ? cut(line) : cut(std::string_view(line).substr(equals + 1)));
  for (std::size_t k = 0; k < values.size(); ++k) {
    const std::size_t space = rest.find(' ');
    if (space == std::string::npos) {
      values[k] = rest;
      return static_cast<int>(k + 1);
    }
    values[k] = trim(std::string_view(rest).substr(0, space));
    rest = trim(cut(std::string_view(rest).substr(space + 1)));
  }
  // More than four values: the line is not taken. A sixth value pushes the
  // fifth into the last slot.
  if (const std::size_t space = rest.find(' '); space != std::string::npos)
    values[3] = trim(std::string_view(rest).substr(0, space));
  return 0;
}

int TForm4::param_get(std::string_view line, std::string_view key) {
  return settings::param_get(line, key, services_.context.state.param_values);
}

void TForm4::Button2Click() {
  const auto alive = alive_;
  const bool linked = comopen_set();
  if (!*alive || !linked) return;
  // The handshake has stored the parameter lines; the port is not needed.
  link::com_close(services_.context.channel.ports);
  std::vector<std::string> lines;
  if (MonitorLines* monitor = services_.context.monitor()) lines = monitor->parameters.items();
  read_parameter_lines(lines);
}

void TForm4::read_parameter_lines(const std::vector<std::string>& lines) {
  bool failed = false;
  for (const auto& line : lines) {
    for (std::size_t key = 0; key < kParameterKeys.size(); ++key) {
      const int count = param_get(line, kParameterKeys[key]);
      if (count > 0 && !apply_parameter(key, count)) failed = true;
    }
    // Written after every line; a failure in any line stands to the end.
    StatusBar1.set_panel(kStatePanel, failed ? "Failed to get the parameters" : "Succeeded to get the parameters");
  }
  // The logger reports its model before its detect and ADJ values, so the
  // model's refresh of the G labels ran with the values shown before; show
  // the G values of what was read.
  if (!lines.empty()) refresh_g_labels();
}

namespace {

// Selects the item whose value is `value`; an unknown value leaves the
// selection as it was and counts as a failure.
template <std::size_t N>
bool select_item(ui::RadioGroup& group, const std::array<std::string_view, N>& values, std::string_view value) {
  const int item = item_of(values, value);
  if (item == kNoItem) return false;
  group.set_item_index(item);
  return true;
}

}  // namespace

bool TForm4::apply_parameter(std::size_t key, int count) {
  const auto& v = services_.context.state.param_values;
  switch (key) {
    case kRecord:
      return select_item(RadioGroup_Record, kRecordValues, v[0]);
    case kInterval:
      return select_item(RadioGroup_Interval, kIntervalValues, v[0]);
    case kType:
      return select_item(RadioGroup_Type, kTypeValues, v[0]);
    case kWait: {
      const int item = item_of(kWaitValues, v[0]);
      const auto seconds = parse_decimal(v[0]);
      // Not a start mode and not a number: the wait controls stay as they were.
      if (item == kNoItem && !seconds) return false;
      Edit_wait.set_text("");
      Edit_wait.set_enabled(false);
      if (item != kNoItem) {
        RadioGroup_wait.set_item_index(item);
        return true;
      }
      RadioGroup_wait.set_item_index(5);
      put_number(Edit_wait, UpDown_wait, *seconds);
      Edit_wait.set_enabled(true);
      return *seconds >= 5 && *seconds <= 90;
    }
    case kMyId: {
      const auto n = parse_decimal(v[0]);
      if (!n) return false;
      put_number(Edit_My_ID, UpDown_My_ID, *n);
      return *n >= 0 && *n <= 99;
    }
    case kDetect: {
      const auto n = parse_decimal(v[0]);
      if (!n) return false;
      put_number(Edit_detect, UpDown_detect, *n);
      return *n >= 1 && *n <= 99;
    }
    case kAdjH: {
      bool ok = true;
      const bool off = v[0] == kAdjH1Off;
      const auto n = parse_decimal(v[0]);
      if (!off && !n) {
        ok = false;  // not a number: ADJ_h1 stays as it was
      } else {
        Edit_ADJ_h1.set_text("");
        Edit_ADJ_h1.set_enabled(true);
        if (off) {
          RadioButton_ADJ_h1_1.set_checked(true);
        } else {
          RadioButton_ADJ_h1_2.set_checked(true);
          put_number(Edit_ADJ_h1, UpDown_ADJ_h1, *n);
          if (*n < 0 || *n > 99) ok = false;
        }
      }
      // Value 3 decides ADJ_h3; a line without it leaves ADJ_h3 alone.
      if (count >= 3) {
        const int item = item_of(kAdjH3Values, v[2]);
        if (item == kNoItem)
          ok = false;
        else
          RadioGroup_ADJ_h3.set_item_index(item);
      }
      return ok;
    }
    case kRevision:
      Label_vktrev.set_text(v[0]);
      return true;
    default:
      return true;
  }
}

}  // namespace vkt::settings
