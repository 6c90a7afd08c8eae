#include "settings/settings_dialog.h"

#include <initializer_list>

#include "base/text.h"


namespace vkt::settings {

namespace {

// Fills a start-time list with `count` two-digit entries from `first` on.
void fill_list(windows::ComboBox& box, int first, int count) {
  box.items.clear();
  for (int i = 0; i < count; ++i) box.items.push_back(two_digits(first + i));
}

}  // namespace

TForm4::TForm4(SettingsHost& library) : windows::Window(library.backend(), "TForm4", "VKT Setting"), library_(library) {
  for (windows::Control* c : std::initializer_list<windows::Control*>{
           &RadioGroup_Record, &RadioGroup_Interval, &RadioGroup_Type, &GroupBox_My_ID, &Label1, &Edit_My_ID,
           &UpDown_My_ID, &GroupBox_detect, &Label3, &Edit_detect, &UpDown_detect, &Label_detect, &RadioGroup_wait,
           &Edit_wait, &UpDown_wait, &ADJ_h1, &RadioButton_ADJ_h1_1, &RadioButton_ADJ_h1_2, &Edit_ADJ_h1,
           &UpDown_ADJ_h1, &Label_ADJ_h1, &RadioGroup_ADJ_h3, &GroupBox_starttime, &CheckBox_starttime,
           &ComboBox_starttime_mm, &ComboBox_starttime_dd, &ComboBox_starttime_hh, &ComboBox_starttime_nn, &Label4,
           &Label5, &Label6, &Label7, &Button_set, &Button_cancel, &Label2, &Label_vktrev, &Button2, &StatusBar1})
    controls_by_name(*c);

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
  library_.settingform_active = true;
  Button_set.set_enabled(true);
  Button2Click();
  if (!*alive) return;

  fill_list(ComboBox_starttime_mm, 1, 12);
  fill_list(ComboBox_starttime_dd, 1, 31);
  fill_list(ComboBox_starttime_hh, 0, 24);
  fill_list(ComboBox_starttime_nn, 0, 60);
  const LocalTime now = library_.clock().local_now();
  ComboBox_starttime_mm.set_text(two_digits(now.month));
  ComboBox_starttime_dd.set_text(two_digits(now.day));
  ComboBox_starttime_hh.set_text(two_digits(now.hour));
  ComboBox_starttime_nn.set_text(two_digits(now.minute));

  CheckBox_starttime.set_checked(false);
  for (windows::ComboBox* box :
       {&ComboBox_starttime_mm, &ComboBox_starttime_dd, &ComboBox_starttime_hh, &ComboBox_starttime_nn})
    box->set_enabled(false);

  // Whatever was reserved before this show is discarded.
  library_.reservetime.clear();
}

bool TForm4::FormCloseQuery() {
  hide();
  return false;
}

void TForm4::Button_cancelClick() {
  hide();
  library_.settingform_active = false;
}

void TForm4::RadioGroup_waitClick() {
  const bool seconds = RadioGroup_wait.item_index() == 5;
  Edit_wait.set_enabled(seconds);
  UpDown_wait.set_enabled(seconds);
  if (seconds && Edit_wait.text().empty()) UpDown_wait.set_position(5);
}

void TForm4::RadioGroup_TypeClick() {
  UpDown_detectClick();
  UpDown_ADJ_h1Click();
}

void TForm4::CheckBox_starttimeClick() {
  const bool on = CheckBox_starttime.checked();
  for (windows::ComboBox* box :
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

void TForm4::put_number(windows::Edit& edit, windows::UpDown& updown, int value) {
  updown.set_position(value);
  edit.set_text(std::to_string(value));
}

}  // namespace vkt::settings
