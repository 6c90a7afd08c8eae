#include "settings/settings_access.h"

#include <array>
#include <vector>

#include "base/text.h"
#include "settings/device_settings.h"
#include "vktcom_ext.h"

namespace vkt::settings {
namespace {

// The number that an edit holds, in G for the selected model; empty when
// the edit holds no number.
std::string g_text(const TForm4& d, const ui::Edit& edit) {
  const auto n = parse_decimal(edit.text());
  return n ? g_label(d.get_type_value(static_cast<float>(*n))) : std::string();
}

const ui::RadioGroup* group_of(const TForm4& d, int32_t which) {
  switch (which) {
    case VKT_SETTING_RECORD: return &d.RadioGroup_Record;
    case VKT_SETTING_INTERVAL: return &d.RadioGroup_Interval;
    case VKT_SETTING_TYPE: return &d.RadioGroup_Type;
    case VKT_SETTING_WAIT: return &d.RadioGroup_wait;
    case VKT_SETTING_ADJ_H3: return &d.RadioGroup_ADJ_h3;
    default: return nullptr;
  }
}

ui::RadioGroup* group_of(TForm4& d, int32_t which) {
  return const_cast<ui::RadioGroup*>(group_of(static_cast<const TForm4&>(d), which));
}

struct Number {
  ui::UpDown* updown;
  const ui::Edit* edit;
};

std::optional<Number> number_of(TForm4& d, int32_t which) {
  switch (which) {
    case VKT_SETTING_WAIT_SECONDS: return Number{&d.UpDown_wait, &d.Edit_wait};
    case VKT_SETTING_ADJ_H1_VALUE: return Number{&d.UpDown_ADJ_h1, &d.Edit_ADJ_h1};
    case VKT_SETTING_MY_ID: return Number{&d.UpDown_My_ID, &d.Edit_My_ID};
    case VKT_SETTING_DETECT: return Number{&d.UpDown_detect, &d.Edit_detect};
    default: return std::nullopt;
  }
}

// The ADJ_h1 buttons' captions without the blank where the edit sits.
std::string adj_h1_caption(const TForm4& d, int item) {
  return trim(item == 0 ? d.RadioButton_ADJ_h1_1.text() : d.RadioButton_ADJ_h1_2.text());
}

// A whole decimal number of at most five digits.
std::optional<int> small_decimal(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

// Presses the up-down's arrows, as a user does, until its edit shows `target`.
bool press_to(ui::UpDown& updown, const ui::Edit& edit, int target) {
  if (target < updown.min() || target > updown.max()) return false;
  // Bounded: a disabled up-down does not move.
  for (int i = 0; i <= updown.max() - updown.min() && updown.position() < target; ++i) updown.click_up();
  for (int i = 0; i <= updown.max() - updown.min() && updown.position() > target; ++i) updown.click_down();
  // The read-back may have left a number beyond the bounds in the edit while
  // the position already stands at the target: one step away and back
  // writes the position into it.
  if (edit.text() != std::to_string(target)) {
    if (target > updown.min()) {
      updown.click_down();
      updown.click_up();
    } else {
      updown.click_up();
      updown.click_down();
    }
  }
  return edit.text() == std::to_string(target);
}

// "MM/DD HH:MM": the four texts between the separators, as typed.
std::optional<std::array<std::string, 4>> start_fields(std::string_view value) {
  std::array<std::string, 4> fields;
  constexpr char kSeparators[] = {'/', ' ', ':'};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t at = value.find(kSeparators[i]);
    if (at == std::string_view::npos) return std::nullopt;
    fields[i] = std::string(value.substr(0, at));
    value.remove_prefix(at + 1);
  }
  fields[3] = std::string(value);
  return fields;
}

std::string start_text(const TForm4& d) {
  if (!d.CheckBox_starttime.checked()) return "";
  return d.ComboBox_starttime_mm.text() + "/" + d.ComboBox_starttime_dd.text() + " " +
         d.ComboBox_starttime_hh.text() + ":" + d.ComboBox_starttime_nn.text();
}

}  // namespace

std::optional<std::string> setting_text(const TForm4& d, int32_t which) {
  if (const ui::RadioGroup* group = group_of(d, which)) {
    const int i = group->item_index();
    return i < 0 ? std::string() : group->items()[static_cast<std::size_t>(i)];
  }
  switch (which) {
    case VKT_SETTING_WAIT_SECONDS: return d.Edit_wait.text();
    case VKT_SETTING_ADJ_H1:
      if (d.RadioButton_ADJ_h1_1.checked()) return adj_h1_caption(d, 0);
      if (d.RadioButton_ADJ_h1_2.checked()) return adj_h1_caption(d, 1);
      return std::string();
    case VKT_SETTING_ADJ_H1_VALUE: return d.Edit_ADJ_h1.text();
    case VKT_SETTING_MY_ID: return d.Edit_My_ID.text();
    case VKT_SETTING_DETECT: return d.Edit_detect.text();
    case VKT_SETTING_START: return start_text(d);
    case VKT_SETTING_DETECT_G: return g_text(d, d.Edit_detect);
    case VKT_SETTING_ADJ_H1_G: return g_text(d, d.Edit_ADJ_h1);
    case VKT_SETTING_REVISION: return d.Label_vktrev.text();
    case VKT_SETTING_PORT: return d.StatusBar1.panel(TForm4::kPortPanel);
    case VKT_SETTING_STATE: return d.StatusBar1.panel(TForm4::kStatePanel);
    case VKT_SETTING_COMMANDS: {
      const DeviceSettings values = d.settings();
      std::string commands;
      for (const SettingsStep step : kSettingsSteps) {
        if (const auto command = encode_step(values, step)) commands += (commands.empty() ? "" : " ") + *command;
      }
      return commands;
    }
    case VKT_SETTING_RESERVATION:
      return d.CheckBox_starttime.checked() ? reservation_command(d.settings()) : std::string();
    default: return std::nullopt;
  }
}

std::optional<std::string> setting_item(const TForm4& d, int32_t which, int32_t item) {
  if (item < 0) return std::nullopt;
  if (which == VKT_SETTING_ADJ_H1) return item <= 1 ? std::optional(adj_h1_caption(d, item)) : std::nullopt;
  const ui::RadioGroup* group = group_of(d, which);
  if (!group || item >= static_cast<int32_t>(group->items().size())) return std::nullopt;
  return group->items()[static_cast<std::size_t>(item)];
}

int32_t set_setting(TForm4& d, int32_t which, const char* text) {
  if (which < VKT_SETTING_RECORD || which > VKT_SETTING_START) return -1;
  if (!text) return 0;
  const std::string_view value(text);
  if (ui::RadioGroup* group = group_of(d, which)) {
    const auto item = small_decimal(value);
    if (!item || *item >= static_cast<int>(group->items().size())) return 0;
    group->set_item_index(*item);
    return 1;
  }
  if (which == VKT_SETTING_ADJ_H1) {
    const auto item = small_decimal(value);
    if (!item || *item > 1) return 0;
    (*item == 0 ? d.RadioButton_ADJ_h1_1 : d.RadioButton_ADJ_h1_2).set_checked(true);
    return 1;
  }
  if (const auto number = number_of(d, which)) {
    const auto n = small_decimal(value);
    return n && press_to(*number->updown, *number->edit, *n) ? 1 : 0;
  }
  if (which == VKT_SETTING_START) {
    if (value.empty()) {
      d.CheckBox_starttime.set_checked(false);
      return 1;
    }
    const auto fields = start_fields(value);
    if (!fields) return 0;
    d.CheckBox_starttime.set_checked(true);
    d.ComboBox_starttime_mm.set_text((*fields)[0]);
    d.ComboBox_starttime_dd.set_text((*fields)[1]);
    d.ComboBox_starttime_hh.set_text((*fields)[2]);
    d.ComboBox_starttime_nn.set_text((*fields)[3]);
    return 1;
  }
  return -1;
}

bool settingform_open_port(DialogHolder& dialogs, int32_t port) {
  if (port < 0 || port > 0xFFFF) return false;
  TForm4& dialog = dialogs.ensure_settings_dialog();
  dialog.set_link_port(static_cast<uint16_t>(port));
  dialog.show();
  return true;
}

int32_t settingform_press(DialogHolder& dialogs, const SettingsState& state, int32_t button) {
  TForm4* dialog = dialogs.settings_dialog();
  if (!dialog || (button != VKT_SETTING_OK && button != VKT_SETTING_CANCEL)) return -1;
  (button == VKT_SETTING_OK ? dialog->Button_set : dialog->Button_cancel).click();
  return state.settingform_active ? 0 : 1;
}

}  // namespace vkt::settings
