#include "settings/settings_dialog.h"

#include <initializer_list>

#include "base/text.h"
#include "link/port_control.h"
#include "link/port_discovery.h"
#include "link/port_error.h"
#include "protocol/connect.h"
#include "protocol/exchange.h"
#include "settings/reservation_check.h"

namespace vkt::settings {

namespace {

// Fills a start-time list with `count` two-digit entries from `first` on.
void fill_list(ui::ComboBox& box, int first, int count) {
  std::vector<std::string> items;
  for (int i = 0; i < count; ++i) items.push_back(two_digits(first + i));
  box.set_items(std::move(items));
}

}  // namespace

void TForm4::place_controls() {
  struct At {
    ui::Control* control;
    ui::Place place;
    const ui::Control* in;
  };
  // Places in the client area, or in the group box named last. The edits
  // sit in the blanks of their radio captions, each with its up-down at its
  // right edge; the start-time fields stand in a row, each followed by its
  // unit label.
  const At table[] = {
      {&RadioGroup_Record, {8, 16, 105, 113}, nullptr},
      {&RadioGroup_Interval, {120, 16, 129, 81}, nullptr},
      {&RadioGroup_Type, {256, 16, 121, 113}, nullptr},
      {&GroupBox_My_ID, {384, 16, 145, 49}, nullptr},
      {&Label1, {8, 20, 48, 13}, &GroupBox_My_ID},
      {&Edit_My_ID, {64, 16, 41, 20}, &GroupBox_My_ID},
      {&UpDown_My_ID, {105, 16, 16, 20}, &GroupBox_My_ID},
      {&GroupBox_detect, {384, 70, 145, 59}, nullptr},
      {&Label3, {8, 20, 48, 13}, &GroupBox_detect},
      {&Edit_detect, {64, 16, 41, 20}, &GroupBox_detect},
      {&UpDown_detect, {105, 16, 16, 20}, &GroupBox_detect},
      {&Label_detect, {64, 40, 72, 13}, &GroupBox_detect},
      {&RadioGroup_wait, {8, 136, 521, 137}, nullptr},
      {&Edit_wait, {32, 248, 33, 20}, nullptr},
      {&UpDown_wait, {65, 248, 16, 20}, nullptr},
      {&ADJ_h1, {8, 280, 153, 81}, nullptr},
      {&RadioButton_ADJ_h1_1, {8, 14, 137, 17}, &ADJ_h1},
      {&RadioButton_ADJ_h1_2, {8, 36, 137, 17}, &ADJ_h1},
      {&Edit_ADJ_h1, {24, 34, 33, 20}, &ADJ_h1},
      {&UpDown_ADJ_h1, {57, 34, 16, 20}, &ADJ_h1},
      {&Label_ADJ_h1, {24, 58, 72, 13}, &ADJ_h1},
      {&RadioGroup_ADJ_h3, {168, 280, 89, 57}, nullptr},
      {&GroupBox_starttime, {264, 280, 265, 81}, nullptr},
      {&CheckBox_starttime, {8, 16, 97, 17}, &GroupBox_starttime},
      {&ComboBox_starttime_mm, {8, 48, 49, 20}, &GroupBox_starttime},
      {&Label4, {59, 52, 12, 13}, &GroupBox_starttime},
      {&ComboBox_starttime_dd, {72, 48, 49, 20}, &GroupBox_starttime},
      {&Label5, {123, 52, 12, 13}, &GroupBox_starttime},
      {&ComboBox_starttime_hh, {136, 48, 49, 20}, &GroupBox_starttime},
      {&Label6, {187, 52, 12, 13}, &GroupBox_starttime},
      {&ComboBox_starttime_nn, {200, 48, 49, 20}, &GroupBox_starttime},
      {&Label7, {251, 52, 12, 13}, &GroupBox_starttime},
      {&Button_set, {16, 376, 97, 25}, nullptr},
      {&Button_cancel, {128, 376, 97, 25}, nullptr},
      {&Label2, {384, 384, 48, 13}, nullptr},
      {&Label_vktrev, {440, 384, 80, 13}, nullptr},
      {&Button2, {576, 448, 65, 25}, nullptr},
      {&StatusBar1, {0, kClientHeight - 19, kClientWidth, 19}, nullptr},
  };
  for (const At& at : table) {
    at.control->place = at.place;
    at.control->container = at.in ? at.in->name() : std::string();
  }
}

TForm4::TForm4(DialogServices services)
    : ui::Window(services.backend, "TForm4", "VKT Setting",
                      // A dialog border without border icons, on top, centred.
                      {.client_width = kClientWidth,
                       .client_height = kClientHeight,
                       .border = ui::WindowLayout::Border::Dialog,
                       .title_buttons = false,
                       .top_most = true,
                       .centred = true,
                       .font_name = kFontName,
                       .font_height = kFontHeight}),
      services_(services) {
  place_controls();
  // Cancel comes first in the tab order.
  controls_by_name(Button_cancel);
  for (ui::Control* c : std::initializer_list<ui::Control*>{
           &RadioGroup_Record, &RadioGroup_Interval, &RadioGroup_Type, &GroupBox_My_ID, &Label1, &Edit_My_ID,
           &UpDown_My_ID, &GroupBox_detect, &Label3, &Edit_detect, &UpDown_detect, &Label_detect, &RadioGroup_wait,
           &Edit_wait, &UpDown_wait, &ADJ_h1, &RadioButton_ADJ_h1_1, &RadioButton_ADJ_h1_2, &Edit_ADJ_h1,
           &UpDown_ADJ_h1, &Label_ADJ_h1, &RadioGroup_ADJ_h3, &GroupBox_starttime, &CheckBox_starttime,
           &ComboBox_starttime_mm, &ComboBox_starttime_dd, &ComboBox_starttime_hh, &ComboBox_starttime_nn, &Label4,
           &Label5, &Label6, &Label7, &Button_set, &Label2, &Label_vktrev, &Button2, &StatusBar1})
    controls_by_name(*c);

  // The revision labels are secondary texts.
  Label2.grey = true;
  Label_vktrev.grey = true;

  // The two ADJ_h1 buttons exclude each other.
  adj_h1_buttons_ = {&RadioButton_ADJ_h1_1, &RadioButton_ADJ_h1_2};
  RadioButton_ADJ_h1_1.join_group(&adj_h1_buttons_);
  RadioButton_ADJ_h1_2.join_group(&adj_h1_buttons_);

  Button_set.on_click = [this] { Button_setClick(); };
  Button_cancel.on_click = [this] { Button_cancelClick(); };
  Button2.on_click = [this] { Button2Click(); };
  RadioGroup_wait.on_click = [this] { RadioGroup_waitClick(); };
  RadioGroup_Type.on_click = [this] { RadioGroup_TypeClick(); };
  CheckBox_starttime.on_click = [this] { CheckBox_starttimeClick(); };
  RadioButton_ADJ_h1_1.on_click = [this] { RadioButton_ADJ_h1_1Click(); };
  RadioButton_ADJ_h1_2.on_click = [this] { RadioButton_ADJ_h1_2Click(); };
  UpDown_detect.on_click = [this] { UpDown_detectClick(); };
  UpDown_ADJ_h1.on_click = [this] { UpDown_ADJ_h1Click(); };
}

TForm4::~TForm4() { *alive_ = false; }

void TForm4::FormShow() {
  const auto alive = alive_;
  services_.context.state.settingform_active = true;
  Button_set.set_enabled(true);
  Button2Click();
  if (!*alive) return;

  fill_list(ComboBox_starttime_mm, 1, 12);
  fill_list(ComboBox_starttime_dd, 1, 31);
  fill_list(ComboBox_starttime_hh, 0, 24);
  fill_list(ComboBox_starttime_nn, 0, 60);
  const LocalTime now = services_.clock.local_now();
  ComboBox_starttime_mm.set_text(two_digits(now.month));
  ComboBox_starttime_dd.set_text(two_digits(now.day));
  ComboBox_starttime_hh.set_text(two_digits(now.hour));
  ComboBox_starttime_nn.set_text(two_digits(now.minute));

  CheckBox_starttime.set_checked(false);
  for (ui::ComboBox* box :
       {&ComboBox_starttime_mm, &ComboBox_starttime_dd, &ComboBox_starttime_hh, &ComboBox_starttime_nn})
    box->set_enabled(false);

  // Whatever was reserved before this show is discarded.
  services_.context.state.reservetime.clear();
}

bool TForm4::FormCloseQuery() {
  hide();
  return false;
}

void TForm4::Button_cancelClick() {
  hide();
  services_.context.state.settingform_active = false;
}

void TForm4::RadioGroup_waitClick() {
  const bool seconds = RadioGroup_wait.item_index() == 5;
  Edit_wait.set_enabled(seconds);
  UpDown_wait.set_enabled(seconds);
  if (seconds && Edit_wait.text().empty()) UpDown_wait.set_position(5);
}

void TForm4::RadioGroup_TypeClick() { refresh_g_labels(); }

void TForm4::refresh_g_labels() {
  UpDown_detectClick();
  UpDown_ADJ_h1Click();
}

void TForm4::CheckBox_starttimeClick() {
  const bool on = CheckBox_starttime.checked();
  for (ui::ComboBox* box :
       {&ComboBox_starttime_mm, &ComboBox_starttime_dd, &ComboBox_starttime_hh, &ComboBox_starttime_nn})
    box->set_enabled(on);
}

void TForm4::RadioButton_ADJ_h1_1Click() {
  Edit_ADJ_h1.set_enabled(false);
  UpDown_ADJ_h1.set_enabled(false);
  Label_ADJ_h1.set_visible(false);
}

void TForm4::RadioButton_ADJ_h1_2Click() {
  Edit_ADJ_h1.set_enabled(true);
  UpDown_ADJ_h1.set_enabled(true);
  Label_ADJ_h1.set_visible(true);
  if (Edit_ADJ_h1.text().empty()) UpDown_ADJ_h1.set_position(1);
}

void TForm4::UpDown_detectClick() {
  Label_detect.set_text(g_label(get_type_value(static_cast<float>(UpDown_detect.position()))));
}

void TForm4::UpDown_ADJ_h1Click() {
  Label_ADJ_h1.set_text(g_label(get_type_value(static_cast<float>(UpDown_ADJ_h1.position()))));
}

float TForm4::get_type_value(float x) const { return x * model_scale(RadioGroup_Type.item_index()); }

DeviceSettings TForm4::settings() const {
  DeviceSettings s;
  s.record = RadioGroup_Record.item_index();
  s.type = RadioGroup_Type.item_index();
  s.interval = RadioGroup_Interval.item_index();
  s.wait = RadioGroup_wait.item_index();
  s.wait_seconds = Edit_wait.text();
  if (RadioButton_ADJ_h1_1.checked())
    s.adj_h1 = AdjH1Mode::Off;
  else if (RadioButton_ADJ_h1_2.checked())
    s.adj_h1 = AdjH1Mode::Value;
  s.adj_h1_value = Edit_ADJ_h1.text();
  s.adj_h3 = RadioGroup_ADJ_h3.item_index();
  s.my_id = Edit_My_ID.text();
  s.detect = Edit_detect.text();
  s.start_time = CheckBox_starttime.checked();
  s.start_mm = ComboBox_starttime_mm.text();
  s.start_dd = ComboBox_starttime_dd.text();
  s.start_hh = ComboBox_starttime_hh.text();
  s.start_nn = ComboBox_starttime_nn.text();
  return s;
}

void TForm4::put_number(ui::Edit& edit, ui::UpDown& updown, int value) {
  updown.set_position(value);
  edit.set_text(std::to_string(value));
}

// ---- the link step and the apply ----

bool connect(const SettingsContext& context) {
  return protocol::vkt_connect(context.channel, context.logger, [&context]() -> protocol::ReplyView* {
    MonitorLines* monitor = context.monitor();
    return monitor ? &monitor->view : nullptr;
  });
}

bool TForm4::comopen_set() {
  const auto alive = alive_;
  // A copy: a message that the handshake lets run may release this dialog.
  const SettingsContext context = services_.context;
  int32_t n = link_port_;
  if (n == 0) {
    n = link::com_search(services_.searcher);
  } else if (services_.ensure_monitor) {
    services_.ensure_monitor();
  }
  StatusBar1.set_panel(kPortPanel, "");
  StatusBar1.set_panel(kStatePanel, "");

  const int32_t r = link::com_open(context.channel.ports, n);
  if (r < 0) {
    StatusBar1.set_panel(kStatePanel, "com open error " + std::to_string(r));
    services_.notifier.show_error("VKT が見つかりません");
    return false;
  }

  // The handshake dispatches window messages, which may release this dialog.
  const bool connected = connect(context);
  if (!*alive) return connected;
  if (connected) {
    StatusBar1.set_panel(kPortPanel, "COM" + std::to_string(r));
    return true;
  }
  StatusBar1.set_panel(kStatePanel, "connect error");
  services_.notifier.show_error("VKT と接続できません");
  link::com_close(context.channel.ports);
  return false;
}

void TForm4::Button_setClick() {
  const auto alive = alive_;
  // A copy: a message that a command lets run may release this dialog.
  const SettingsContext context = services_.context;
  Button_set.set_enabled(false);
  const bool linked = comopen_set();
  if (!*alive) return;
  if (!linked) {
    Button_set.set_enabled(true);
    return;
  }

  std::string error;
  StatusBar1.set_panel(kStatePanel, "Transferring");
  for (SettingsStep step : kSettingsSteps) {
    // Read just before building: a change made while messages were
    // dispatched during the previous command reaches this one.
    const auto command = encode_step(settings(), step);
    if (!command) continue;
    bool accepted = false;
    try {
      accepted = protocol::set_command(context.channel, *command);
    } catch (const link::PortError&) {
      // The port was closed under the apply (or the monitor window went):
      // the command was not taken.
      accepted = false;
    }
    if (!*alive) return;
    if (!accepted) error = failure_message(step);
  }

  services_.context.state.reservetime.clear();
  if (CheckBox_starttime.checked()) {
    services_.context.state.reservetime = reservation_command(settings());
    if (!ReservationCheck(services_.current_dialog(), services_.context.state, services_.clock, services_.notifier)) {
      // The check has hidden the dialog and shown why; the user chooses
      // another start time. The show's read-back opens and closes the port.
      services_.context.state.settingform_active = true;
      show();
      if (!*alive) return;
      services_.context.state.reservetime.clear();
      CheckBox_starttime.set_checked(false);
      return;
    }
  }

  link::com_close(context.channel.ports);
  services_.context.state.settingform_active = false;
  hide();

  if (!error.empty()) {
    services_.notifier.show_error(error);
    services_.context.state.settingform_active = true;
    show();
  }
}

}  // namespace vkt::settings
