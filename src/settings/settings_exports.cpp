#include "settings/settings_exports.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "link/port_error.h"
#include "protocol/exchange.h"
#include "settings/settings_dialog.h"
#include "vktcom.h"

namespace vkt::settings {

int32_t vkt_set_command(SettingsHost& library, const char* command) {
  auto* monitor = library.monitor();
  if (!monitor || !command) return 0;
  monitor->Edit1.set_text(command);
  try {
    // The reply is not looked at; the result is 0 either way.
    protocol::exchange(library, command);
  } catch (const link::PortError&) {
    // A closed port: nothing was sent.
  }
  return 0;
}

void vkt_get_param(SettingsHost& library, char* text) {
  if (!text || !library.monitor()) return;
  std::string reply;
  try {
    reply = protocol::exchange(library, "p");
  } catch (const link::PortError&) {
    return;
  }
  if (reply.empty()) return;
  // The lines are those of the last connect; the reply only shows that the
  // logger answers. A dispatch during the exchange may have released the
  // monitor window, and the lines with it.
  auto* monitor = library.monitor();
  if (!monitor) return;

  // Whole lines only, each with its CR LF, and room for the NUL.
  std::string out;
  for (const auto& line : monitor->ListBox1.items()) {
    if (out.size() + line.size() + 2 + 1 > VKTCOM_PARAM_BUFFER_SIZE) break;
    out += line;
    out += "\r\n";
  }
  std::memcpy(text, out.c_str(), out.size() + 1);
}

void vkt_get_reservetime(SettingsHost& library, char* text) {
  if (!text) return;
  const std::size_t n = std::min<std::size_t>(library.reservetime.size(), VKTCOM_RESERVETIME_BUFFER_SIZE - 1);
  std::memcpy(text, library.reservetime.data(), n);
  text[n] = '\0';
}

void settingform_open(SettingsHost& library) {
  // Showing a hidden dialog runs its show routine (read-back included);
  // showing a shown one changes nothing.
  library.ensure_settings_dialog().show();
}

void settingform_close(SettingsHost& library) {
  if (!library.settingform_created) return;
  if (auto* dialog = library.settings_dialog()) dialog->hide();
}

void settingform_release(SettingsHost& library) { library.release_settings_dialog(); }

bool settingform_check(SettingsHost& library) { return library.settingform_active; }

}  // namespace vkt::settings
