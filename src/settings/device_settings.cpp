#include "settings/device_settings.h"

#include <charconv>
#include <cstdio>

#include "base/text.h"

namespace vkt::settings {

namespace {

constexpr std::array<std::string_view, 5> kRecordCommands{"ja", "jf", "jA", "jB", "jE"};
constexpr std::array<std::string_view, 5> kTypeCommands{"10", "20", "02", "01", "50"};
constexpr std::array<std::string_view, 3> kIntervalCommands{"i6", "i7", "i9"};
constexpr std::array<std::string_view, 2> kAdjH3Commands{"Oz00", "Oz01"};
// wait items 0..4 are fixed start modes; item 5 sends its seconds.
constexpr int kWaitSecondsItem = 5;

template <std::size_t N>
std::optional<std::string> item_command(const std::array<std::string_view, N>& commands, int item) {
  if (item < 0 || static_cast<std::size_t>(item) >= N) return std::nullopt;
  return std::string(commands[item]);
}

// A letter code followed by the edit's number in two digits, or nothing
// when the edit holds no number.
std::optional<std::string> number_command(std::string_view code, const std::string& text) {
  const auto n = parse_decimal(text);
  if (!n) return std::nullopt;
  return std::string(code) + two_digits(*n);
}

}  // namespace

std::optional<int> parse_decimal(std::string_view text) {
  // from_chars takes an optional minus sign and digits, and nothing else.
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::optional<std::string> encode_step(const DeviceSettings& s, SettingsStep step) {
  switch (step) {
    case SettingsStep::Record:
      return item_command(kRecordCommands, s.record);
    case SettingsStep::Type:
      return item_command(kTypeCommands, s.type);
    case SettingsStep::Interval:
      return item_command(kIntervalCommands, s.interval);
    case SettingsStep::wait:
      if (s.wait == kWaitSecondsItem) return number_command("w", s.wait_seconds);
      if (s.wait < 0 || s.wait > kWaitSecondsItem) return std::nullopt;
      return "w" + two_digits(s.wait);
    case SettingsStep::ADJ_h1:
      switch (s.adj_h1) {
        case AdjH1Mode::Off:
          return std::string("Ox00");
        case AdjH1Mode::Value:
          return number_command("Ox", s.adj_h1_value);
        case AdjH1Mode::Unselected:
          return std::nullopt;
      }
      return std::nullopt;
    case SettingsStep::ADJ_h3:
      return item_command(kAdjH3Commands, s.adj_h3);
    case SettingsStep::My_ID:
      return number_command("N", s.my_id);
    case SettingsStep::detect:
      return number_command("d", s.detect);
  }
  return std::nullopt;
}

std::string_view failure_message(SettingsStep step) {
  switch (step) {
    case SettingsStep::Record:
      return "Command Set Error(Record)";
    case SettingsStep::Type:
      return "Command Set Error(Type)";
    case SettingsStep::Interval:
      return "Command Set Error(Interval)";
    case SettingsStep::wait:
      return "Command Set Error(wait)";
    case SettingsStep::ADJ_h1:
      return "Command Set Error(ADJ_h1)";
    case SettingsStep::ADJ_h3:
      return "Command Set Error(ADJ_h3)";
    case SettingsStep::My_ID:
      return "Command Set Error(My_ID)";
    case SettingsStep::detect:
      // Spelt so on purpose: hosts and users know the message by this text.
      return "Command Set Error(detec)";
  }
  return {};
}

std::string reservation_command(const DeviceSettings& s) {
  return "l" + s.start_mm + "/" + s.start_dd + " " + s.start_hh + ":" + s.start_nn;
}

float model_scale(int type_item) {
  if (type_item < 0 || static_cast<std::size_t>(type_item) >= kModelCodes.size()) return 0.0f;
  return static_cast<float>(kModelCodes[type_item]) / 100.0f;
}

std::string g_label(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f(G)", static_cast<double>(value));
  return text;
}

}  // namespace vkt::settings
