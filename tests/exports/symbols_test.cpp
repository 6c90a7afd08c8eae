// The module exports the host interface and nothing else: a host (or a
// linker) must never bind to an internal symbol of the library.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<std::string> dynamic_symbols(const std::string& path) {
  std::set<std::string> names;
  std::string cmd = "nm -D --defined-only '" + path + "' 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return names;
  char line[1024];
  while (fgets(line, sizeof line, p)) {
    std::istringstream in(line);
    std::string addr, type, name;
    if (!(in >> addr >> type >> name)) continue;
    // Version nodes (type A) are not functions.
    if (type == "A") continue;
    auto at = name.find('@');
    if (at != std::string::npos) name.resize(at);
    names.insert(name);
  }
  pclose(p);
  return names;
}

TEST(ExportTable, ModuleExportsExactlyTheHostInterface) {
  const std::set<std::string> expected = {
      "form_open",     "form_close",         "form_release",     "com_open",          "com_close",
      "com_search_timer", "com_search",      "vkt_dll_ver",      "vkt_connect",       "vkt_clkset",
      "vkt_startsetcheck", "vkt_inputdata",  "vkt_datacount",    "vkt_getdata",       "vkt_get_date",
      "vkt_get_year",  "vkt_get_month",      "vkt_get_day",      "vkt_get_time",      "vkt_get_deg",
      "vkt_get_x",     "vkt_get_y",          "vkt_get_z",        "vkt_get_humi",      "vkt_get_all",
      "vkt_set_command", "vkt_get_param",    "vkt_get_reservetime", "settingform_open", "settingform_close",
      "settingform_release", "settingform_check",
      // The extensions outside the ordinal table: message dispatch, record copy.
      "vkt_process_messages", "vkt_get_records",
      // The Linux extensions of vktcom_ext.h.
      "vkt_open_error", "vkt_open_path", "vkt_command_reply", "vkt_get_download_report", "vkt_download_bad_lines",
      "vkt_download_text", "vkt_port_device", "vkt_device_port", "vkt_serial_ports", "vkt_serial_port_text",
      "vkt_unbound_adapters", "vkt_search_list", "vkt_get_param_year", "vkt_get_param_count",
      "vkt_decode_records", "vkt_last_message", "vkt_settingform_open_port", "vkt_setting_get",
      "vkt_setting_item", "vkt_setting_set", "vkt_settingform_press", "vkt_trace_start", "vkt_trace_stop",
      "vkt_download_stop"};
  ASSERT_EQ(expected.size(), 58u);
  auto actual = dynamic_symbols(VKTCOM_MODULE_PATH);
  ASSERT_FALSE(actual.empty()) << "could not read the dynamic symbols of " << VKTCOM_MODULE_PATH;
  // Sanitizer builds add their own interceptor hooks; only our names count.
  std::set<std::string> ours;
  for (const auto& n : actual)
    if (n.rfind("__", 0) != 0 && n != "_init" && n != "_fini") ours.insert(n);
  EXPECT_EQ(ours, expected);
}

}  // namespace
