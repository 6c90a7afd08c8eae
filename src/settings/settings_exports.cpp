#include "settings/settings_exports.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "link/port_error.h"
#include "protocol/exchange.h"
#include "settings/settings_dialog.h"
#include "vktcom.h"

namespace vkt::settings {

int32_t vkt_set_command(const SettingsContext& context, const char* command) {
  MonitorLines* monitor = context.monitor();
  if (!monitor || !command) return 0;
  monitor->command_line.set_text(command);
  try {
    // The reply is not looked at; the result is 0 either way.
    protocol::exchange(context.channel, command);
  } catch (const link::PortError&) {
    // A closed port: nothing was sent.
  }
  return 0;
}

void vkt_get_param(const SettingsContext& context, char* text) {
  if (!text || !context.monitor()) return;
  std::string reply;
  try {
    reply = protocol::exchange(context.channel, "p");
  } catch (const link::PortError&) {
    return;
  }
  if (reply.empty()) return;
  // The lines are those of the last connect; the reply only shows that the
  // logger answers. A dispatch during the exchange may have released the
  // monitor window, and the lines with it.
  MonitorLines* monitor = context.monitor();
  if (!monitor) return;

  // Whole lines only, each with its CR LF, and room for the NUL.
  std::string out;
  for (const auto& line : monitor->parameters.items()) {
    if (out.size() + line.size() + 2 + 1 > VKTCOM_PARAM_BUFFER_SIZE) break;
    out += line;
    out += "\r\n";
  }
  std::memcpy(text, out.c_str(), out.size() + 1);
}

void vkt_get_reservetime(const SettingsState& state, char* text) {
  if (!text) return;
  const std::size_t n = std::min<std::size_t>(state.reservetime.size(), VKTCOM_RESERVETIME_BUFFER_SIZE - 1);
  std::memcpy(text, state.reservetime.data(), n);
  text[n] = '\0';
}

void settingform_open(DialogHolder& dialogs) {
  // Showing a hidden dialog runs its show routine (read-back included);
  // showing a shown one changes nothing.
  dialogs.ensure_settings_dialog().show();
}

void settingform_close(DialogHolder& dialogs) {
  // None, or released: nothing to hide.
  if (auto* dialog = dialogs.settings_dialog()) dialog->hide();
}

void settingform_release(DialogHolder& dialogs) { dialogs.release_settings_dialog(); }

bool settingform_check(const SettingsState& state) { return state.settingform_active; }

}  // namespace vkt::settings
