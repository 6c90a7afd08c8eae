#pragma once
// `vkt settings` and `vkt settings set`: the logger's recording settings,
// read and changed through the library's own settings dialog.
//
// The library's settings extensions (vktcom_ext.h) work the dialog as a
// user does: open it (its show routine reads the logger's settings back),
// select items, press the up-down arrows, tick the start-time box and type
// the start-time fields, press Ok. What is sent, and how, is therefore
// exactly what the dialog's Ok sends. The dialog opens the port given with
// --port, else the port the search finds.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vktcli/module.h"

namespace vktcli {

class Simulation;

struct SettingsChanges {
  std::optional<std::string> record;    // "1min", "jA" or "jA_1min"
  std::optional<std::string> type;      // "10_VKT-18" or "10"
  std::optional<std::string> interval;  // "10msec", "i7" or "i7_10msec"
  std::optional<std::string> wait;      // 5..90 seconds, or now / magnet-start / magnet-stop /
                                        // magnet-pause / magnet-away-pause, or w00..w04
  std::optional<std::string> adj_h1;    // "off" or 1..99
  std::optional<int> adj_h3;            // 0 or 1
  std::optional<int> id;                // 0..99
  std::optional<int> detect;            // 1..99
  std::optional<std::string> start;     // "MM/DD HH:MM"
  bool empty() const {
    return !record && !type && !interval && !wait && !adj_h1 && !adj_h3 && !id && !detect && !start;
  }
};

// The item of a dialog choice that `value` names: the whole caption, its
// code (the part before "_", letter case kept: "ja" and "jA" differ) or its
// name (the part after "_"). Throws Failure (kExitUsage) naming `option`
// when no item or more than one matches.
int choose_item(const std::vector<std::string>& items, std::string_view value, std::string_view option);

// The wait item (0..5) and, for item 5, the seconds that `value` names.
struct WaitChoice {
  int item = 0;
  int seconds = 0;
};
WaitChoice choose_wait(std::string_view value);

// "MM/DD HH:MM" split into the four start-time field texts as typed.
struct StartTime {
  std::string month, day, hour, minute;
};
StartTime parse_start_time(std::string_view value);

// The dialog's values as lines "Record: jA_1min" ...: the selected item
// captions, the numbers, the G values of detect and ADJ_h1, the revision and
// the status text.
std::vector<std::string> describe_dialog(const Api& api);

// The dialog's link step opens the port that --port names, else the one
// the port search finds (see open_logger_port).
struct Context;
int run_settings_show(Context& context);
int run_settings_set(Context& context, const SettingsChanges& changes);

}  // namespace vktcli
