#pragma once
// The library module as the program uses it: loaded with dlopen, every
// exported function resolved by name. The program calls nothing else of it.
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
  decltype(&::vkt_command_reply) vkt_command_reply = nullptr;
  decltype(&::vkt_get_download_report) vkt_get_download_report = nullptr;
  decltype(&::vkt_download_bad_lines) vkt_download_bad_lines = nullptr;
  decltype(&::vkt_download_text) vkt_download_text = nullptr;
};

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
