#pragma once
// The settings dialog (`TForm4`, caption "VKT Setting"): shows the logger's
// recording settings, lets the user edit them and sends them to the logger.
//
// The dialog is a model of its window: every control holds its own state, so
// a host (or a test) drives it exactly as a user would: select an item,
// press an up-down arrow, tick a box, type into a start-time field, press Ok
// or Cancel. A selection or tick changed by the dialog itself runs the same
// handler as the user's change.
//
// Each show reads the logger's parameters back into the controls
// (`Button2Click`), resets the start-time fields and discards a pending
// reservation. Ok (`Button_setClick`) opens the link, sends the eight
// settings commands, stores the start-time reservation and hides the dialog.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/port_discovery.h"
#include "protocol/channel.h"
#include "settings/device_settings.h"
#include "ui/backend.h"
#include "ui/window.h"

namespace vkt::settings {

class TForm4;

// The settings' own state, kept by the library: whether the dialog is in
// use, the pending start-time reservation and the values of the last
// parameter line read back. All clear or empty at load.
struct SettingsState {
  bool settingform_active = false;
  std::string reservetime;                  // the pending start-time reservation command
  std::array<std::string, 4> param_values;  // values of the last parameter line read back
};

// The monitor window's parts the settings use: the view the connect writes,
// the parameter list it leaves there, and the command line.
struct MonitorLines {
  protocol::ReplyView& view;
  const ui::ListBox& parameters;  // ListBox1
  ui::Edit& command_line;         // Edit1
};

// What the link step, the apply and the settings functions work with.
struct SettingsContext {
  protocol::Channel channel;  // the monitor window's port and the exchanges on it
  // The monitor window's lines now: nullptr without a monitor window (or
  // once a handler that an exchange let run has released it).
  std::function<MonitorLines*()> monitor;
  protocol::LoggerValues& logger;  // set by the connect of the link step
  SettingsState& state;
};

// The connect of the link step: vkt_connect on the context's channel, its
// reply shown in the monitor window.
bool connect(const SettingsContext& context);

// What the settings dialog works with, each part by itself. The library
// hands them over when it creates the dialog; every one of them outlives
// the dialog.
struct DialogServices {
  ui::WindowBackend& backend;     // draws the dialog
  SettingsContext context;        // the exchanges, the monitor window's lines, the values
  link::PortSearcher& searcher;   // finds the logger's port for the link step
  Clock& clock;                   // local time for the start-time fields and their check
  Notifier& notifier;             // message boxes
  // The library's settings dialog now: nullptr once this one was released
  // (it lives on until the next dispatch), so that the start-time check
  // then reads the pending command instead.
  std::function<TForm4*()> current_dialog;
  // Creates the monitor window, which holds the port, when it is absent:
  // the link step on a named port needs it where the search would have
  // made it.
  std::function<void()> ensure_monitor{};
};

// The library's one settings dialog, whose lifetime the settings functions
// manage.
class DialogHolder {
 public:
  virtual ~DialogHolder() = default;
  virtual TForm4* settings_dialog() = 0;         // nullptr: absent or released
  virtual TForm4& ensure_settings_dialog() = 0;  // creates it hidden when absent
  virtual void release_settings_dialog() = 0;    // destroyed at the next dispatch
};

// A framed group of controls with a caption.
class GroupBox : public ui::TextControl {
 public:
  using TextControl::TextControl;
  ui::ControlKind kind() const override { return ui::ControlKind::GroupBox; }
};

class TForm4 final : public ui::Window {
 public:
  // Window properties: a dialog border without border icons, on top of
  // other windows, centred on the screen.
  static constexpr int kClientWidth = 535;
  static constexpr int kClientHeight = 427;
  static constexpr const char* kFontName = "ＭＳ Ｐゴシック";
  static constexpr int kFontHeight = 12;

  // Status bar panels: the port ("COM3") and the state text.
  static constexpr std::size_t kPortPanel = 0;
  static constexpr std::size_t kStatePanel = 1;

  // Creates the dialog hidden, every control at its initial value.
  explicit TForm4(DialogServices services);
  ~TForm4() override;

  // ---- controls ----
  ui::RadioGroup RadioGroup_Record{"RadioGroup_Record", "Record",
                                        {"ja_1sec", "jf_30sec", "jA_1min", "jB_2min", "jE_5min"}};
  ui::RadioGroup RadioGroup_Interval{"RadioGroup_Interval", "Interval",
                                          {"i6_20msec", "i7_10msec", "i9_trace20msec"}};
  ui::RadioGroup RadioGroup_Type{"RadioGroup_Type", "Type",
                                      {"10_VKT-18", "20_VKT-18", "02_VKT-02", "01_VKT-02", "50_VKT-50"}};

  GroupBox GroupBox_My_ID{"GroupBox_My_ID", "My_ID"};
  ui::Label Label1{"Label1", "N00~99"};
  ui::Edit Edit_My_ID{"Edit_My_ID", "0", true};
  ui::UpDown UpDown_My_ID{"UpDown_My_ID", 0, 99, 0, &Edit_My_ID};

  GroupBox GroupBox_detect{"GroupBox_detect", "detect"};
  ui::Label Label3{"Label3", "d01~99"};
  ui::Edit Edit_detect{"Edit_detect", "1", true};
  ui::UpDown UpDown_detect{"UpDown_detect", 1, 99, 1, &Edit_detect};
  ui::Label Label_detect{"Label_detect", "Label_detect"};

  ui::RadioGroup RadioGroup_wait{
      "RadioGroup_wait",
      "wait",
      {"w00_即スタート", "w01_開始時のみマグネットトリガ", "w02_開始時マグネット、スタート後マグネットで測定停止",
       "w03_開始時マグネット、スタート後マグネットで一時停止",
       "w04_開始時マグネット、スタート後マグネット解除で一時停止、マグネットで再開",
       "w05~90_     秒後 スタート(5～90秒)"}};
  // Sits in the blank of the sixth wait item's caption.
  ui::Edit Edit_wait{"Edit_wait", "5", true};
  ui::UpDown UpDown_wait{"UpDown_wait", 5, 90, 5, &Edit_wait};

  GroupBox ADJ_h1{"ADJ_h1", "ADJ_h1"};
  ui::RadioButton RadioButton_ADJ_h1_1{"RadioButton_ADJ_h1_1", "Ox00_None"};
  // The edit sits in the blank in front of the caption.
  ui::RadioButton RadioButton_ADJ_h1_2{"RadioButton_ADJ_h1_2", "             Ox01~99"};
  ui::Edit Edit_ADJ_h1{"Edit_ADJ_h1", "1", true};
  ui::UpDown UpDown_ADJ_h1{"UpDown_ADJ_h1", 1, 99, 1, &Edit_ADJ_h1};
  ui::Label Label_ADJ_h1{"Label_ADJ_h1", "Label_ADJ_h1"};

  ui::RadioGroup RadioGroup_ADJ_h3{"RadioGroup_ADJ_h3", "ADJ_h3", {"Oz00", "Oz01"}};

  GroupBox GroupBox_starttime{"GroupBox_starttime", "starttime"};
  ui::CheckBox CheckBox_starttime{"CheckBox_starttime", "starttime"};
  // The start-time fields: month, day, hour, minute. The user may pick from
  // the lists or type.
  ui::ComboBox ComboBox_starttime_mm{"ComboBox_starttime_mm", ""};
  ui::ComboBox ComboBox_starttime_dd{"ComboBox_starttime_dd", ""};
  ui::ComboBox ComboBox_starttime_hh{"ComboBox_starttime_hh", ""};
  ui::ComboBox ComboBox_starttime_nn{"ComboBox_starttime_nn", ""};
  ui::Label Label4{"Label4", "月"};
  ui::Label Label5{"Label5", "日"};
  ui::Label Label6{"Label6", "時"};
  ui::Label Label7{"Label7", "分"};

  ui::Button Button_set{"Button_set", "Ok"};
  ui::Button Button_cancel{"Button_cancel", "Cancel"};
  ui::Label Label2{"Label2", "VKT REV"};
  ui::Label Label_vktrev{"Label_vktrev", "vktrev"};
  // Lies outside the client area; the read-back also runs at every show.
  ui::Button Button2{"Button2", "取得"};
  ui::StatusBar StatusBar1{"StatusBar1", 2};

  // ---- handlers ----
  // The show routine: in use, Ok enabled, read-back, start-time fields reset
  // to the current local time, pending reservation discarded.
  void FormShow();
  // A close request from the window system: refused; the dialog hides and
  // stays in use. Returns whether the window may close (never).
  bool FormCloseQuery();
  // Ok: the apply.
  void Button_setClick();
  // Cancel: hides the dialog and ends its use; nothing is sent.
  void Button_cancelClick();
  // The read-back: connect, close the port, set the controls from the
  // parameter lines.
  void Button2Click();
  void RadioGroup_waitClick();
  void RadioGroup_TypeClick();
  void CheckBox_starttimeClick();
  void RadioButton_ADJ_h1_1Click();
  void RadioButton_ADJ_h1_2Click();
  void UpDown_detectClick();
  void UpDown_ADJ_h1Click();
  // Both G labels show the values of their up-downs for the selected model.
  void refresh_g_labels();

  // A close request from the window system (title bar, Alt+F4).
  void close_request() override { FormCloseQuery(); }

  // ---- operations ----
  // Searches the logger's port (or takes the link port the host named),
  // opens it and connects. True when the port
  // is open and the logger answered; otherwise the port is closed, the
  // status bar says why and a message box has been shown.
  bool comopen_set();
  // The port the link step opens instead of searching for the logger's
  // port; 0 (the dialog's own way) searches.
  void set_link_port(uint16_t port) { link_port_ = port; }
  uint16_t link_port() const { return link_port_; }
  // Splits a parameter line into the library's `param_values`; see
  // settings::param_get.
  int param_get(std::string_view line, std::string_view key);
  // `x` threshold steps in G for the selected model, in single precision.
  float get_type_value(float x) const;
  // The values the apply sends, as the controls hold them now.
  DeviceSettings settings() const;
  // The part of the read-back after the link step: sets the controls from
  // parameter lines and writes the state text.
  void read_parameter_lines(const std::vector<std::string>& lines);

 protected:
  void on_show() override { FormShow(); }

 private:
  // Gives every control its place, before the controls are announced.
  void place_controls();
  // Writes a number into an edit and moves its up-down along (the up-down
  // stops at its bounds; the edit keeps the number as it is).
  void put_number(ui::Edit& edit, ui::UpDown& updown, int value);
  // Applies one key's values; returns false when they count as a failure.
  bool apply_parameter(std::size_t key_index, int count);

  DialogServices services_;
  uint16_t link_port_ = 0;
  std::vector<ui::RadioButton*> adj_h1_buttons_;
  // Cleared when the dialog is destroyed. A handler that dispatches window
  // messages keeps a copy, because the dialog may be released (and so
  // destroyed) by a message handled during that dispatch.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace vkt::settings
