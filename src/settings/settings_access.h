#pragma once
// The settings dialog worked by a host through the Linux extensions: what
// each setting shows, and changing it as a user does (select an item, press
// the up-down's arrows, tick the start-time box and type its fields, press
// Ok or Cancel). Settings are named by the VKT_SETTING_* numbers of
// vktcom_ext.h.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_dialog.h"

namespace vkt::settings {

// What the dialog shows for `which`; nothing for a number that names no setting.
std::optional<std::string> setting_text(const TForm4& dialog, int32_t which);
// The caption of item `item` of choice `which`; nothing when there is none.
std::optional<std::string> setting_item(const TForm4& dialog, int32_t which, int32_t item);
// 1 taken, 0 a value the dialog does not offer (or none), -1 a setting
// that cannot be changed.
int32_t set_setting(TForm4& dialog, int32_t which, const char* value);

// vkt_settingform_open_port: settingform_open with the link step on `port`
// (0: the search). False for a number outside 0..65535.
bool settingform_open_port(DialogHolder& dialogs, int32_t port);
// vkt_settingform_press: 1 finished afterwards, 0 still in use, -1 no
// dialog or no such button.
int32_t settingform_press(DialogHolder& dialogs, const SettingsState& state, int32_t button);

}  // namespace vkt::settings
