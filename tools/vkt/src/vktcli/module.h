#pragma once
// The library module as the program uses it: loaded with dlopen, every
// exported function resolved by name. The program calls nothing else of it.
#include <cstdint>
#include <optional>
#include <string>

#include "vktcom.h"
#include "vktcom_ext.h"

namespace vktcli {

// The exported functions of the module.
struct Api {
  decltype(&::form_open) form_open = nullptr;
  decltype(&::form_close) form_close = nullptr;
  decltype(&::form_release) form_release = nullptr;
  decltype(&::com_open) com_open = nullptr;
  decltype(&::com_close) com_close = nullptr;
  decltype(&::com_search_timer) com_search_timer = nullptr;
  decltype(&::com_search) com_search = nullptr;
  decltype(&::vkt_dll_ver) vkt_dll_ver = nullptr;
  decltype(&::vkt_connect) vkt_connect = nullptr;
  decltype(&::vkt_clkset) vkt_clkset = nullptr;
  decltype(&::vkt_startsetcheck) vkt_startsetcheck = nullptr;
  decltype(&::vkt_inputdata) vkt_inputdata = nullptr;
  decltype(&::vkt_datacount) vkt_datacount = nullptr;
  decltype(&::vkt_getdata) vkt_getdata = nullptr;
  decltype(&::vkt_get_date) vkt_get_date = nullptr;
  decltype(&::vkt_get_year) vkt_get_year = nullptr;
  decltype(&::vkt_get_month) vkt_get_month = nullptr;
  decltype(&::vkt_get_day) vkt_get_day = nullptr;
  decltype(&::vkt_get_time) vkt_get_time = nullptr;
  decltype(&::vkt_get_deg) vkt_get_deg = nullptr;
  decltype(&::vkt_get_x) vkt_get_x = nullptr;
  decltype(&::vkt_get_y) vkt_get_y = nullptr;
  decltype(&::vkt_get_z) vkt_get_z = nullptr;
  decltype(&::vkt_get_humi) vkt_get_humi = nullptr;
  decltype(&::vkt_get_all) vkt_get_all = nullptr;
  decltype(&::vkt_set_command) vkt_set_command = nullptr;
  decltype(&::vkt_get_param) vkt_get_param = nullptr;
  decltype(&::vkt_get_reservetime) vkt_get_reservetime = nullptr;
  decltype(&::settingform_open) settingform_open = nullptr;
  decltype(&::settingform_close) settingform_close = nullptr;
  decltype(&::settingform_release) settingform_release = nullptr;
  decltype(&::settingform_check) settingform_check = nullptr;
  decltype(&::vkt_process_messages) vkt_process_messages = nullptr;
  // The Linux extensions (vktcom_ext.h).
  decltype(&::vkt_open_error) vkt_open_error = nullptr;
  decltype(&::vkt_open_path) vkt_open_path = nullptr;
  decltype(&::vkt_command_reply) vkt_command_reply = nullptr;
  decltype(&::vkt_get_download_report) vkt_get_download_report = nullptr;
  decltype(&::vkt_download_bad_lines) vkt_download_bad_lines = nullptr;
  decltype(&::vkt_download_text) vkt_download_text = nullptr;
  decltype(&::vkt_port_device) vkt_port_device = nullptr;
  decltype(&::vkt_device_port) vkt_device_port = nullptr;
  decltype(&::vkt_serial_ports) vkt_serial_ports = nullptr;
  decltype(&::vkt_serial_port_text) vkt_serial_port_text = nullptr;
  decltype(&::vkt_unbound_adapters) vkt_unbound_adapters = nullptr;
  decltype(&::vkt_search_list) vkt_search_list = nullptr;
  decltype(&::vkt_get_param_year) vkt_get_param_year = nullptr;
  decltype(&::vkt_get_param_count) vkt_get_param_count = nullptr;
  decltype(&::vkt_decode_records) vkt_decode_records = nullptr;
  decltype(&::vkt_last_message) vkt_last_message = nullptr;
  decltype(&::vkt_trace_start) vkt_trace_start = nullptr;
  decltype(&::vkt_trace_stop) vkt_trace_stop = nullptr;
  decltype(&::vkt_download_stop) vkt_download_stop = nullptr;
  decltype(&::vkt_settingform_open_port) vkt_settingform_open_port = nullptr;
  decltype(&::vkt_setting_get) vkt_setting_get = nullptr;
  decltype(&::vkt_setting_item) vkt_setting_item = nullptr;
  decltype(&::vkt_setting_set) vkt_setting_set = nullptr;
  decltype(&::vkt_settingform_press) vkt_settingform_press = nullptr;
};

// A text that an extension copies by the buffer rule of vktcom_ext.h,
// fetched whole: `copy(buffer, size)` returns the text's full length
// (negative: none). Nothing when it reports none.
template <class Copy>
std::optional<std::string> whole_text(Copy copy) {
  std::string text(64, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const int32_t length = copy(text.data(), static_cast<int32_t>(text.size()));
    if (length < 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < text.size()) {
      text.resize(static_cast<std::size_t>(length));
      return text;
    }
    text.assign(static_cast<std::size_t>(length) + 1, '\0');
  }
  return std::nullopt;
}

// Which module to load: `option` (--library) when not empty, else
// $VKTCOM_LIBRARY when set and not empty, else the module of the build tree
// the program lies in (found from /proc/self/exe), else "libvktcom.so.1"
// through the loader's search (the installed library).
std::string choose_module_path(const std::string& option);

class Module {
 public:
  // Loads the module and resolves every export; throws Failure
  // (kExitNoLibrary) naming the path and the loader's reason.
  explicit Module(const std::string& path);
  // Unloads it: the module's own teardown destroys its windows and closes
  // the port.
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  const Api& api() const { return api_; }
  const std::string& path() const { return path_; }

 private:
  void* handle_ = nullptr;
  std::string path_;
  Api api_;
};

}  // namespace vktcli
