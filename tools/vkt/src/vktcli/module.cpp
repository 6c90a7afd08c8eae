#include "vktcli/module.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

#include "vktcli/exit_codes.h"

namespace vktcli {

std::string build_tree_module() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path program = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
  // The build tree is recognised by its cache file, so that an installed
  // program never picks up a stray module beside it.
  const fs::path tree = (program.parent_path() / VKT_BUILD_TREE_FROM_PROGRAM).lexically_normal();
  const fs::path module = tree / VKT_MODULE_FILE_NAME;
  if (fs::is_regular_file(tree / "CMakeCache.txt", ec) && fs::is_regular_file(module, ec)) return module.string();
  return "";
}

std::string choose_module_path(const std::string& option) {
  if (!option.empty()) return option;
  if (const char* env = std::getenv("VKTCOM_LIBRARY"); env != nullptr && *env != '\0') return env;
  if (std::string built = build_tree_module(); !built.empty()) return built;
  return "libvktcom.so.1";
}

Module::Module(const std::string& path) : path_(path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    throw Failure(kExitNoLibrary, "cannot load " + path + ": " + (reason ? reason : "unknown reason"));
  }
  auto resolve = [&](auto& slot, const char* name) {
    void* symbol = dlsym(handle_, name);
    if (symbol == nullptr) {
      dlclose(handle_);
      handle_ = nullptr;
      throw Failure(kExitNoLibrary, path + " is not the vktcom library: it lacks " + name);
    }
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(symbol);
  };
#define VKT_RESOLVE(name) resolve(api_.name, #name);
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
  VKT_RESOLVE(vkt_open_error) VKT_RESOLVE(vkt_open_path) VKT_RESOLVE(vkt_command_reply) VKT_RESOLVE(vkt_get_download_report)
  VKT_RESOLVE(vkt_download_bad_lines) VKT_RESOLVE(vkt_download_text)
  VKT_RESOLVE(vkt_port_device) VKT_RESOLVE(vkt_device_port) VKT_RESOLVE(vkt_serial_ports)
  VKT_RESOLVE(vkt_serial_port_text) VKT_RESOLVE(vkt_unbound_adapters) VKT_RESOLVE(vkt_search_list)
  VKT_RESOLVE(vkt_get_param_year) VKT_RESOLVE(vkt_get_param_count) VKT_RESOLVE(vkt_decode_records)
  VKT_RESOLVE(vkt_last_message) VKT_RESOLVE(vkt_trace_start) VKT_RESOLVE(vkt_trace_stop) VKT_RESOLVE(vkt_download_stop) VKT_RESOLVE(vkt_settingform_open_port) VKT_RESOLVE(vkt_setting_get)
  VKT_RESOLVE(vkt_setting_item) VKT_RESOLVE(vkt_setting_set) VKT_RESOLVE(vkt_settingform_press)
#undef VKT_RESOLVE
}

Module::~Module() {
  if (handle_ != nullptr) dlclose(handle_);
}

}  // namespace vktcli
