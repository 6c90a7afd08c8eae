#include "vktcli/settings_command.h"

#include <cstdio>
#include <string>

#include <fmt/format.h>

#include "vktcli/commands.h"
#include "vktcli/exit_codes.h"
#include "vktcli/messages.h"
#include "vktcli/simulation.h"

namespace vktcli {
namespace {

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

std::string setting(const Api& api, int32_t which) {
  return whole_text([&](char* b, int32_t n) { return api.vkt_setting_get(which, b, n); }).value_or("");
}

std::string item(const Api& api, int32_t which, int32_t index) {
  return whole_text([&](char* b, int32_t n) { return api.vkt_setting_item(which, index, b, n); }).value_or("");
}

std::vector<std::string> items(const Api& api, int32_t which) {
  std::vector<std::string> out;
  for (int32_t i = 0;; ++i) {
    auto caption = whole_text([&](char* b, int32_t n) { return api.vkt_setting_item(which, i, b, n); });
    if (!caption) return out;
    out.push_back(std::move(*caption));
  }
}

std::string or_none(const std::string& caption) { return caption.empty() ? "(none selected)" : caption; }

// The first line of the library's last message box.
std::string last_message(const Api& api) {
  const std::string text = whole_text([&](char* b, int32_t n) { return api.vkt_last_message(b, n); }).value_or("");
  return text.substr(0, text.find_first_of("\r\n"));
}

// Changes one setting as a user does; the dialog refuses what it does not offer.
void change(const Api& api, int32_t which, const std::string& value, std::string_view what) {
  if (api.vkt_setting_set(which, value.c_str()) != 1) {
    throw Failure(kExitError, fmt::format("the settings dialog does not take {} {}", what, value));
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
// logger's settings back. Its link step is given the port that download's
// road finds and opens (and closes again), so that a missing logger or a
// port that cannot be opened is explained as for every other command.
int open_dialog(Context& context) {
  const Api& api = context.api;
  const int port = open_logger_port(context);
  api.com_close();
  if (api.vkt_settingform_open_port(port) != 1) {
    throw Failure(kExitError, "the settings dialog did not open");
  }
  const std::string state = setting(api, VKT_SETTING_STATE);
  if (link_failed(state)) throw_link_failure(state);
  return port;
}

// Leaves as the user would: Cancel sends nothing.
void close_dialog(const Api& api) {
  api.vkt_settingform_press(VKT_SETTING_CANCEL);
  api.settingform_release();
  api.vkt_process_messages();  // the release takes effect at the next dispatch
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

std::vector<std::string> describe_dialog(const Api& api) {
  std::vector<std::string> out;
  out.push_back("Record:   " + or_none(setting(api, VKT_SETTING_RECORD)));
  out.push_back("Interval: " + or_none(setting(api, VKT_SETTING_INTERVAL)));
  out.push_back("Type:     " + or_none(setting(api, VKT_SETTING_TYPE)));
  std::string wait = or_none(setting(api, VKT_SETTING_WAIT));
  if (wait == item(api, VKT_SETTING_WAIT, 5)) wait += ", " + setting(api, VKT_SETTING_WAIT_SECONDS) + " s";
  out.push_back("wait:     " + wait);
  const std::string adj_h1 = setting(api, VKT_SETTING_ADJ_H1);
  if (!adj_h1.empty() && adj_h1 == item(api, VKT_SETTING_ADJ_H1, 1)) {
    const std::string g = setting(api, VKT_SETTING_ADJ_H1_G);
    out.push_back("ADJ_h1:   " + setting(api, VKT_SETTING_ADJ_H1_VALUE) + " = " + (g.empty() ? "?" : g));
  } else {
    out.push_back("ADJ_h1:   " + or_none(adj_h1));
  }
  out.push_back("ADJ_h3:   " + or_none(setting(api, VKT_SETTING_ADJ_H3)));
  out.push_back("My_ID:    " + setting(api, VKT_SETTING_MY_ID));
  const std::string g = setting(api, VKT_SETTING_DETECT_G);
  out.push_back("detect:   " + setting(api, VKT_SETTING_DETECT) + " = " + (g.empty() ? "?" : g));
  out.push_back("revision: " + setting(api, VKT_SETTING_REVISION));
  out.push_back("status:   " + setting(api, VKT_SETTING_STATE));
  return out;
}

int run_settings_show(Context& context) {
  const Api& api = context.api;
  const int port = open_dialog(context);
  // The status bar shows a port number; a device outside the port table
  // goes by its path.
  const std::string shown_port = port == VKT_PATH_PORT ? context.port_path : setting(api, VKT_SETTING_PORT);
  if (!shown_port.empty()) print_line("port:     " + shown_port);
  for (const std::string& line : describe_dialog(api)) print_line(line);
  const bool understood = setting(api, VKT_SETTING_STATE) != "Failed to get the parameters";
  close_dialog(api);
  if (!understood) throw Failure(kExitTransferFailed, "some of the logger's parameters were not understood");
  return kExitOk;
}

int run_settings_set(Context& context, const SettingsChanges& changes) {
  const Api& api = context.api;
  Simulation* simulation = context.simulation;
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

  open_dialog(context);
  const int record =
      changes.record ? choose_item(items(api, VKT_SETTING_RECORD), *changes.record, "--record") : -1;
  const int type = changes.type ? choose_item(items(api, VKT_SETTING_TYPE), *changes.type, "--type") : -1;
  const int interval =
      changes.interval ? choose_item(items(api, VKT_SETTING_INTERVAL), *changes.interval, "--interval") : -1;

  // The user's edits, control by control.
  if (record >= 0) change(api, VKT_SETTING_RECORD, std::to_string(record), "Record item");
  if (type >= 0) change(api, VKT_SETTING_TYPE, std::to_string(type), "Type item");
  if (interval >= 0) change(api, VKT_SETTING_INTERVAL, std::to_string(interval), "Interval item");
  if (wait) {
    change(api, VKT_SETTING_WAIT, std::to_string(wait->item), "wait item");
    if (wait->item == 5) change(api, VKT_SETTING_WAIT_SECONDS, std::to_string(wait->seconds), "a wait of");
  }
  if (adj_h1) {
    change(api, VKT_SETTING_ADJ_H1, *adj_h1 == 0 ? "0" : "1", "ADJ_h1 item");
    if (*adj_h1 != 0) change(api, VKT_SETTING_ADJ_H1_VALUE, std::to_string(*adj_h1), "ADJ_h1");
  }
  if (changes.adj_h3) change(api, VKT_SETTING_ADJ_H3, std::to_string(*changes.adj_h3), "ADJ_h3 item");
  if (changes.id) change(api, VKT_SETTING_MY_ID, std::to_string(*changes.id), "My_ID");
  if (changes.detect) change(api, VKT_SETTING_DETECT, std::to_string(*changes.detect), "detect");
  if (start) {
    change(api, VKT_SETTING_START, start->month + "/" + start->day + " " + start->hour + ":" + start->minute,
           "the start time");
  }

  // Ok sends all eight settings as the dialog now holds them.
  print_line("sending: " + setting(api, VKT_SETTING_COMMANDS));
  if (start) print_line("start time: " + setting(api, VKT_SETTING_RESERVATION));

  // A clean apply hides the dialog and ends its use; otherwise it has shown
  // its message and come back (or could not reach the logger at all).
  if (api.vkt_settingform_press(VKT_SETTING_OK) != 1) {
    const std::string state = setting(api, VKT_SETTING_STATE);
    print_received(simulation);
    if (link_failed(state)) throw_link_failure(state);
    throw Failure(kExitTransferFailed, "the settings were not applied: " + last_message(api));
  }
  print_line("settings sent");

  if (start) {
    // The reservation goes out after the logger's clock is set: open the
    // port again and set the clock, as a host does after the dialog.
    char reservation[VKTCOM_RESERVETIME_BUFFER_SIZE] = {};
    api.vkt_get_reservetime(reservation);
    if (!api.vkt_startsetcheck()) {
      throw Failure(kExitTransferFailed, "the start time was refused: " + last_message(api));
    }
    open_logger_port(context);
    const bool set = api.vkt_clkset() != 0;
    api.com_close();
    if (!set) throw Failure(kExitTransferFailed, "setting the clock and the start time failed: " + last_message(api));
    print_line(std::string("clock set and start time sent: ") + reservation);
  }

  // Show what the logger holds now: the dialog reads it back when shown again.
  open_dialog(context);
  print_line("now on the logger:");
  for (const std::string& line : describe_dialog(api)) print_line("  " + line);
  close_dialog(api);
  print_received(simulation);
  return kExitOk;
}

}  // namespace vktcli
