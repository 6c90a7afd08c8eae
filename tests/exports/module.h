#pragma once
// The built module loaded as a host loads it: dlopen, every export resolved
// by name. Unloading runs the module's own teardown, so each Module starts
// from a freshly loaded library.
#include <dlfcn.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "vktcom.h"

namespace vkt::testing {

class Module {
 public:
  Module() {
    handle_ = dlopen(VKTCOM_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) throw std::runtime_error(dlerror());
#define VKT_RESOLVE(name) name = reinterpret_cast<decltype(&::name)>(resolve(#name));
    VKT_RESOLVE(form_open) VKT_RESOLVE(form_close) VKT_RESOLVE(form_release)
    VKT_RESOLVE(com_open) VKT_RESOLVE(com_close) VKT_RESOLVE(com_search_timer) VKT_RESOLVE(com_search)
    VKT_RESOLVE(vkt_dll_ver) VKT_RESOLVE(vkt_connect) VKT_RESOLVE(vkt_clkset) VKT_RESOLVE(vkt_startsetcheck)
    VKT_RESOLVE(vkt_inputdata) VKT_RESOLVE(vkt_datacount) VKT_RESOLVE(vkt_getdata)
    VKT_RESOLVE(vkt_get_date) VKT_RESOLVE(vkt_get_year) VKT_RESOLVE(vkt_get_month) VKT_RESOLVE(vkt_get_day)
    VKT_RESOLVE(vkt_get_time) VKT_RESOLVE(vkt_get_deg) VKT_RESOLVE(vkt_get_x) VKT_RESOLVE(vkt_get_y)
    VKT_RESOLVE(vkt_get_z) VKT_RESOLVE(vkt_get_humi) VKT_RESOLVE(vkt_get_all)
    VKT_RESOLVE(vkt_set_command) VKT_RESOLVE(vkt_get_param) VKT_RESOLVE(vkt_get_reservetime)
    VKT_RESOLVE(settingform_open) VKT_RESOLVE(settingform_close) VKT_RESOLVE(settingform_release)
    VKT_RESOLVE(settingform_check) VKT_RESOLVE(vkt_process_messages)
#undef VKT_RESOLVE
  }
  ~Module() { dlclose(handle_); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  decltype(&::form_open) form_open;
  decltype(&::form_close) form_close;
  decltype(&::form_release) form_release;
  decltype(&::com_open) com_open;
  decltype(&::com_close) com_close;
  decltype(&::com_search_timer) com_search_timer;
  decltype(&::com_search) com_search;
  decltype(&::vkt_dll_ver) vkt_dll_ver;
  decltype(&::vkt_connect) vkt_connect;
  decltype(&::vkt_clkset) vkt_clkset;
  decltype(&::vkt_startsetcheck) vkt_startsetcheck;
  decltype(&::vkt_inputdata) vkt_inputdata;
  decltype(&::vkt_datacount) vkt_datacount;
  decltype(&::vkt_getdata) vkt_getdata;
  decltype(&::vkt_get_date) vkt_get_date;
  decltype(&::vkt_get_year) vkt_get_year;
  decltype(&::vkt_get_month) vkt_get_month;
  decltype(&::vkt_get_day) vkt_get_day;
  decltype(&::vkt_get_time) vkt_get_time;
  decltype(&::vkt_get_deg) vkt_get_deg;
  decltype(&::vkt_get_x) vkt_get_x;
  decltype(&::vkt_get_y) vkt_get_y;
  decltype(&::vkt_get_z) vkt_get_z;
  decltype(&::vkt_get_humi) vkt_get_humi;
  decltype(&::vkt_get_all) vkt_get_all;
  decltype(&::vkt_set_command) vkt_set_command;
  decltype(&::vkt_get_param) vkt_get_param;
  decltype(&::vkt_get_reservetime) vkt_get_reservetime;
  decltype(&::settingform_open) settingform_open;
  decltype(&::settingform_close) settingform_close;
  decltype(&::settingform_release) settingform_release;
  decltype(&::settingform_check) settingform_check;
  decltype(&::vkt_process_messages) vkt_process_messages;

 private:
  void* resolve(const char* name) {
    void* p = dlsym(handle_, name);
    if (!p) throw std::runtime_error(std::string("missing export ") + name);
    return p;
  }
  void* handle_;
};

}  // namespace vkt::testing
