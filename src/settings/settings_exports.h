#pragma once
// The settings functions of the host interface.
#include <cstdint>

#include "settings/settings_dialog.h"

namespace vkt::settings {

int32_t vkt_set_command(const SettingsContext& context, const char* command);
void vkt_get_param(const SettingsContext& context, char* text);
void vkt_get_reservetime(const SettingsState& state, char* text);
void settingform_open(DialogHolder& dialogs);
void settingform_close(DialogHolder& dialogs);
void settingform_release(DialogHolder& dialogs);
bool settingform_check(const SettingsState& state);

}  // namespace vkt::settings
