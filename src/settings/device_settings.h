#pragma once
// The logger's recording settings as the settings dialog holds them, and
// their encoding into the eight settings commands.
//
// Order of sending and commands:
//   1 Record    "ja" "jf" "jA" "jB" "jE"
//   2 Type      "10" "20" "02" "01" "50"   (the model code alone)
//   3 Interval  "i6" "i7" "i9"
//   4 wait      "w00".."w04", or "w" + seconds (w05..w90)
//   5 ADJ_h1    "Ox00" (off), or "Ox" + value (Ox01..Ox99)
//   6 ADJ_h3    "Oz00" "Oz01"
//   7 My_ID     "N" + number (N00..N99)
//   8 detect    "d" + number (d01..d99)
// Numbers are written with at least two digits, zero-filled on the left
// ("%0.2d": 5 -> 05, 150 -> 150).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vkt::settings {

// A radio group item index; -1 means no item selected.
constexpr int kNoItem = -1;

enum class AdjH1Mode {
  Unselected,  // neither ADJ_h1 button selected
  Off,         // "Ox00_None"
  Value,       // the "Ox01~99" button: the value of Edit_ADJ_h1
};

// What the apply reads from the dialog. Numbers are the decimal texts of the
// dialog's read-only edits, as the up-downs and the read-back wrote them.
struct DeviceSettings {
  int record = kNoItem;      // RadioGroup_Record, 0..4
  int type = kNoItem;        // RadioGroup_Type, 0..4
  int interval = kNoItem;    // RadioGroup_Interval, 0..2
  int wait = kNoItem;        // RadioGroup_wait, 0..5; item 5 sends wait_seconds
  std::string wait_seconds;  // Edit_wait
  AdjH1Mode adj_h1 = AdjH1Mode::Unselected;
  std::string adj_h1_value;  // Edit_ADJ_h1
  int adj_h3 = kNoItem;      // RadioGroup_ADJ_h3, 0..1
  std::string my_id;         // Edit_My_ID
  std::string detect;        // Edit_detect
  bool start_time = false;   // CheckBox_starttime
  std::string start_mm, start_dd, start_hh, start_nn;  // the four start-time fields
};

enum class SettingsStep { Record, Type, Interval, wait, ADJ_h1, ADJ_h3, My_ID, detect };

constexpr std::array<SettingsStep, 8> kSettingsSteps{SettingsStep::Record, SettingsStep::Type,
                                                     SettingsStep::Interval, SettingsStep::wait,
                                                     SettingsStep::ADJ_h1, SettingsStep::ADJ_h3,
                                                     SettingsStep::My_ID, SettingsStep::detect};

// The command of one step, or nothing when the setting has no value to send
// (no item selected, neither ADJ_h1 button, or an edit that holds no
// decimal number): such a step is skipped, nothing is invented for it.
std::optional<std::string> encode_step(const DeviceSettings& settings, SettingsStep step);

// The message that reports a step whose command got no reply.
std::string_view failure_message(SettingsStep step);

// The start-time reservation command: "l" + mm + "/" + dd + " " + hh + ":" + nn,
// each field exactly as typed or picked.
std::string reservation_command(const DeviceSettings& settings);

// The text as a decimal integer: an optional minus sign and one or more
// digits, nothing else, within the range of int. Nothing for any other text.
std::optional<int> parse_decimal(std::string_view text);

// The model code of each Type item ("10_VKT-18" -> 10 ...).
constexpr std::array<int, 5> kModelCodes{10, 20, 2, 1, 50};

// G per threshold step for a Type item: the model code / 100 in single
// precision; 0 when no model is selected.
float model_scale(int type_item);

// A G label: the value with two decimals followed by "(G)", e.g. "0.50(G)".
std::string g_label(float value);

}  // namespace vkt::settings
