#include "vktcli/settings_command.h"

#include <cstdio>
#include <memory>
#include <string>

#include <fmt/format.h>

#include "exports/library.h"
#include "link/port_control.h"
#include "link/port_discovery.h"
#include "protocol/clock_setting.h"
#include "settings/device_settings.h"
#include "settings/reservation_check.h"
#include "settings/settings_dialog.h"
#include "settings/settings_exports.h"
#include "base/services.h"
#include "vktcli/exit_codes.h"
#include "vktcli/messages.h"
#include "vktcli/simulation.h"

namespace vktcli {
namespace {

using vkt::settings::TForm4;

// The library's message boxes, written to standard error as the library's
// default does ("VKTCom: <text>"), the last one kept to name a failure.
class MessageBoxes final : public vkt::Notifier {
 public:
  void show_error(std::string_view text) override {
    std::fprintf(stderr, "VKTCom: %.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
    last_ = std::string(text.substr(0, text.find_first_of("\r\n")));
  }
  const std::string& last() const { return last_; }

 private:
  std::string last_;
};

// A core library of this program whose message boxes are kept.
struct CoreLibrary {
  std::shared_ptr<MessageBoxes> boxes = std::make_shared<MessageBoxes>();
  vkt::Library instance{make_services(boxes)};

  static vkt::LibraryServices make_services(std::shared_ptr<MessageBoxes> boxes) {
    vkt::LibraryServices services = vkt::LibraryServices::defaults();
    services.notifier = std::move(boxes);
    return services;
  }
};

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::optional<int> small_number(std::string_view s) {
  if (s.empty() || s.size() > 3) return std::nullopt;
  int n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

// The dialog's captions are the library's; their Japanese texts get the
// English meaning beside them.
void print_line(const std::string& text) {
  std::fputs(english_beside(text).c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string selected_caption(const vkt::windows::RadioGroup& group) {
  const int i = group.item_index();
  return i < 0 ? std::string("(none selected)") : group.items()[static_cast<std::size_t>(i)];
}

// The threshold in G for the number an edit holds, as the dialog's G labels
// compute it for their up-down.
std::string g_value(const TForm4& dialog, const std::string& number) {
  const auto n = vkt::settings::parse_decimal(number);
  if (!n) return "?";
  return vkt::settings::g_label(dialog.get_type_value(static_cast<float>(*n)));
}

// Presses an up-down's arrows, as a user does, until its edit shows `target`.
void press_to(vkt::windows::UpDown& updown, const vkt::windows::Edit& edit, int target, std::string_view what) {
  for (int i = 0; i < 200 && updown.position() < target; ++i) updown.click_up();
  for (int i = 0; i < 200 && updown.position() > target; ++i) updown.click_down();
  // The read-back may have left a number beyond the bounds in the edit; one
  // step away and back writes the position into it.
  if (updown.position() == target && edit.text() != std::to_string(target)) {
    if (target > updown.min()) {
      updown.click_down();
      updown.click_up();
    } else {
      updown.click_up();
      updown.click_down();
    }
  }
  if (edit.text() != std::to_string(target)) {
    throw Failure(kExitError, fmt::format("the settings dialog does not take {} {}", what, target));
  }
}

bool link_failed(const std::string& state) {
  return state.rfind("com open error", 0) == 0 || state == "connect error";
}

// The read-back's link step failed: its message box has been shown.
[[noreturn]] void throw_link_failure(const std::string& state) {
  if (state == "connect error") throw Failure(kExitNoAnswer, "the logger does not answer");
  throw Failure(kExitNoLogger, "no logger found (" + state + ")");
}

void print_received(Simulation* simulation) {
  if (simulation == nullptr) return;
  std::string all;
  for (const std::string& command : simulation->logger().commands()) all += (all.empty() ? "" : " ") + command;
  print_line("simulated logger received: " + all);
}

// Opens the dialog, as settingform_open does: the show routine reads the
// logger's settings back.
TForm4& open_dialog(vkt::Library& core) {
  vkt::settings::settingform_open(core);
  TForm4* dialog = core.settings_dialog();
  if (dialog == nullptr) throw Failure(kExitError, "the settings dialog did not open");
  const std::string state = dialog->StatusBar1.panel(TForm4::kStatePanel);
  if (link_failed(state)) throw_link_failure(state);
  return *dialog;
}

}  // namespace

int choose_item(const std::vector<std::string>& items, std::string_view value, std::string_view option) {
  int found = -1;
  int matches = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string& caption = items[i];
    const std::size_t bar = caption.find('_');
    const std::string code = caption.substr(0, bar);
    const std::string name = bar == std::string::npos ? std::string() : caption.substr(bar + 1);
    if (caption == value) return static_cast<int>(i);
    if (code == value || (!name.empty() && lower(name) == lower(value))) {
      found = static_cast<int>(i);
      ++matches;
    }
  }
  if (matches == 1) return found;
  std::string choices;
  for (const std::string& caption : items) choices += (choices.empty() ? "" : ", ") + caption;
  throw Failure(kExitUsage, fmt::format("{}: {} \"{}\" (one of: {})", option,
                                        matches == 0 ? "unknown value" : "ambiguous value", value, choices));
}

WaitChoice choose_wait(std::string_view value) {
  static constexpr std::string_view kNames[] = {"now", "magnet-start", "magnet-stop", "magnet-pause",
                                                "magnet-away-pause"};
  for (int i = 0; i < 5; ++i) {
    if (value == kNames[i] || value == fmt::format("w0{}", i)) return {i, 0};
  }
  if (const auto seconds = small_number(value); seconds && *seconds >= 5 && *seconds <= 90) return {5, *seconds};
  throw Failure(kExitUsage, fmt::format("--wait: \"{}\" is neither 5 to 90 seconds nor one of now, magnet-start, "
                                        "magnet-stop, magnet-pause, magnet-away-pause, w00 to w04",
                                        value));
}

StartTime parse_start_time(std::string_view value) {
  // MM/DD HH:MM, one or two digits each, kept as typed.
  StartTime t;
  std::string* fields[] = {&t.month, &t.day, &t.hour, &t.minute};
  const char separators[] = {'/', ' ', ':'};
  std::size_t at = 0;
  for (std::size_t f = 0; f < 4; ++f) {
    std::size_t end = at;
    while (end < value.size() && value[end] >= '0' && value[end] <= '9') ++end;
    const std::size_t digits = end - at;
    const bool separator_ok = f == 3 ? end == value.size() : (end < value.size() && value[end] == separators[f]);
    if (digits < 1 || digits > 2 || !separator_ok) {
      throw Failure(kExitUsage, fmt::format("--start: \"{}\" is not MM/DD HH:MM", value));
    }
    *fields[f] = std::string(value.substr(at, digits));
    at = end + 1;
  }
  return t;
}

std::vector<std::string> describe_dialog(const TForm4& d) {
  std::vector<std::string> out;
  out.push_back("Record:   " + selected_caption(d.RadioGroup_Record));
  out.push_back("Interval: " + selected_caption(d.RadioGroup_Interval));
  out.push_back("Type:     " + selected_caption(d.RadioGroup_Type));
  std::string wait = selected_caption(d.RadioGroup_wait);
  if (d.RadioGroup_wait.item_index() == 5) wait += ", " + d.Edit_wait.text() + " s";
  out.push_back("wait:     " + wait);
  if (d.RadioButton_ADJ_h1_1.checked()) {
    out.push_back("ADJ_h1:   " + d.RadioButton_ADJ_h1_1.text());
  } else if (d.RadioButton_ADJ_h1_2.checked()) {
    out.push_back("ADJ_h1:   " + d.Edit_ADJ_h1.text() + " = " + g_value(d, d.Edit_ADJ_h1.text()));
  } else {
    out.push_back("ADJ_h1:   (none selected)");
  }
  out.push_back("ADJ_h3:   " + selected_caption(d.RadioGroup_ADJ_h3));
  out.push_back("My_ID:    " + d.Edit_My_ID.text());
  out.push_back("detect:   " + d.Edit_detect.text() + " = " + g_value(d, d.Edit_detect.text()));
  out.push_back("revision: " + d.Label_vktrev.text());
  out.push_back("status:   " + d.StatusBar1.panel(TForm4::kStatePanel));
  return out;
}

int run_settings_show() {
  CoreLibrary owner;
  vkt::Library& core = owner.instance;
  TForm4& dialog = open_dialog(core);
  const std::string port = dialog.StatusBar1.panel(TForm4::kPortPanel);
  if (!port.empty()) print_line("port:     " + port);
  for (const std::string& line : describe_dialog(dialog)) print_line(line);
  const bool understood = dialog.StatusBar1.panel(TForm4::kStatePanel) != "Failed to get the parameters";
  // Leave as the user would: Cancel sends nothing.
  dialog.Button_cancel.click();
  vkt::settings::settingform_release(core);
  if (!understood) throw Failure(kExitTransferFailed, "some of the logger's parameters were not understood");
  return kExitOk;
}

int run_settings_set(Simulation* simulation, const SettingsChanges& changes) {
  if (changes.empty()) throw Failure(kExitUsage, "settings set: nothing to change (see settings set --help)");

  // Check every value before the logger is touched.
  std::optional<WaitChoice> wait;
  if (changes.wait) wait = choose_wait(*changes.wait);
  std::optional<int> adj_h1;  // 0: off
  if (changes.adj_h1) {
    if (*changes.adj_h1 == "off") {
      adj_h1 = 0;
    } else if (const auto n = small_number(*changes.adj_h1); n && *n >= 1 && *n <= 99) {
      adj_h1 = *n;
    } else {
      throw Failure(kExitUsage, "--adj-h1: \"" + *changes.adj_h1 + "\" is neither off nor 1 to 99");
    }
  }
  std::optional<StartTime> start;
  if (changes.start) start = parse_start_time(*changes.start);

  CoreLibrary owner;
  vkt::Library& core = owner.instance;
  TForm4& d = open_dialog(core);
  const int record = changes.record ? choose_item(d.RadioGroup_Record.items(), *changes.record, "--record") : -1;
  const int type = changes.type ? choose_item(d.RadioGroup_Type.items(), *changes.type, "--type") : -1;
  const int interval =
      changes.interval ? choose_item(d.RadioGroup_Interval.items(), *changes.interval, "--interval") : -1;

  // The user's edits, control by control.
  if (record >= 0) d.RadioGroup_Record.set_item_index(record);
  if (type >= 0) d.RadioGroup_Type.set_item_index(type);
  if (interval >= 0) d.RadioGroup_Interval.set_item_index(interval);
  if (wait) {
    d.RadioGroup_wait.set_item_index(wait->item);
    if (wait->item == 5) press_to(d.UpDown_wait, d.Edit_wait, wait->seconds, "a wait of");
  }
  if (adj_h1) {
    if (*adj_h1 == 0) {
      d.RadioButton_ADJ_h1_1.set_checked(true);
    } else {
      d.RadioButton_ADJ_h1_2.set_checked(true);
      press_to(d.UpDown_ADJ_h1, d.Edit_ADJ_h1, *adj_h1, "ADJ_h1");
    }
  }
  if (changes.adj_h3) d.RadioGroup_ADJ_h3.set_item_index(*changes.adj_h3);
  if (changes.id) press_to(d.UpDown_My_ID, d.Edit_My_ID, *changes.id, "My_ID");
  if (changes.detect) press_to(d.UpDown_detect, d.Edit_detect, *changes.detect, "detect");
  if (start) {
    d.CheckBox_starttime.set_checked(true);
    d.ComboBox_starttime_mm.set_text(start->month);
    d.ComboBox_starttime_dd.set_text(start->day);
    d.ComboBox_starttime_hh.set_text(start->hour);
    d.ComboBox_starttime_nn.set_text(start->minute);
  }

  // Ok sends all eight settings as the dialog now holds them.
  const vkt::settings::DeviceSettings values = d.settings();
  std::string commands;
  for (const auto step : vkt::settings::kSettingsSteps) {
    if (const auto command = vkt::settings::encode_step(values, step)) commands += (commands.empty() ? "" : " ") + *command;
  }
  print_line("sending: " + commands);
  if (start) print_line("start time: " + vkt::settings::reservation_command(values));

  d.Button_set.click();

  // A clean apply hides the dialog and ends its use; otherwise it has shown
  // its message and come back (or could not reach the logger at all).
  if (core.settingform_active) {
    const std::string state = d.StatusBar1.panel(TForm4::kStatePanel);
    print_received(simulation);
    if (link_failed(state)) throw_link_failure(state);
    throw Failure(kExitTransferFailed, "the settings were not applied: " + owner.boxes->last());
  }
  print_line("settings sent");

  if (start) {
    // The reservation goes out after the logger's clock is set: open the
    // port again and set the clock, as a host does after the dialog.
    const std::string reservation = core.reservetime;
    if (!vkt::settings::vkt_startsetcheck(core)) {
      throw Failure(kExitTransferFailed, "the start time was refused: " + owner.boxes->last());
    }
    int port = vkt::link::com_search(core);
    // The simulated adapter is port 1, should the search not see it.
    if (port == 0 && simulation != nullptr) port = 1;
    if (port == 0) throw Failure(kExitNoLogger, "no logger found to set the clock");
    if (vkt::link::com_open(core, port) < 0) throw Failure(kExitCannotOpen, fmt::format("cannot open COM{}", port));
    const bool set = vkt::protocol::vkt_clkset(core);
    vkt::link::com_close(core);
    if (!set) throw Failure(kExitTransferFailed, "setting the clock and the start time failed: " + owner.boxes->last());
    print_line("clock set and start time sent: " + reservation);
  }

  // Show what the logger holds now: the dialog reads it back when shown again.
  vkt::settings::settingform_open(core);
  print_line("now on the logger:");
  for (const std::string& line : describe_dialog(d)) print_line("  " + line);
  d.Button_cancel.click();
  vkt::settings::settingform_release(core);
  print_received(simulation);
  return kExitOk;
}

}  // namespace vktcli
