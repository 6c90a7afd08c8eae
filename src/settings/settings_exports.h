#pragma once
// The settings functions of the host interface.
#include <cstdint>

#include "settings/settings_dialog.h"

namespace vkt::settings {

int32_t vkt_set_command(SettingsHost& library, const char* command);
void vkt_get_param(SettingsHost& library, char* text);
void vkt_get_reservetime(SettingsHost& library, char* text);
void settingform_open(SettingsHost& library);
void settingform_close(SettingsHost& library);
void settingform_release(SettingsHost& library);
bool settingform_check(SettingsHost& library);

}  // namespace vkt::settings
