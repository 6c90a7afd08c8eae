// The exported functions: each converts its arguments, reaches the
// process-wide library, and turns any exception into the function's failure
// value, so that nothing thrown inside the library reaches the host.
#include "vktcom.h"
#include "vktcom_ext.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <exception>
#include <string_view>

#include "exports/library.h"
#include "exports/unload.h"
#include "link/port_control.h"
#include "link/port_discovery.h"
#include "protocol/clock_setting.h"
#include "protocol/connect.h"
#include "records/accessors.h"
#include "records/download.h"
#if !defined(_WIN32)
#include "link/port_names.h"
#include "link/port_survey.h"
#include "records/record_copy.h"
#include "settings/settings_access.h"
#endif
#include "settings/reservation_check.h"
#include "settings/settings_exports.h"

// What a host compiled against the header relies on, in every build (the
// 32-bit DLL's hosts above all): a Boolean result is one byte, integer
// arguments and results are 32 bits on 32- and 64-bit Windows alike, and
// vkt_getdata fills exactly 14 bytes.
static_assert(sizeof(vkt_bool) == 1, "a Boolean result is one byte");
static_assert(sizeof(int32_t) == 4 && sizeof(int) == 4, "integer arguments and results are 32 bits");
static_assert(VKTCOM_DATA_BLOCK_SIZE == 14, "vkt_getdata fills 14 bytes");
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(void*) == 4, "the 32-bit DLL passes 4-byte pointers");
#endif

namespace {

vkt::Library* g_library = nullptr;

vkt::Library& library() {
  if (!g_library) g_library = new vkt::Library();
  g_library->enter_export();
  return *g_library;
}

}  // namespace

// Unloading the module destroys every window (closing the port) and the
// texts; the platform's unload hook (unload_*.cpp) calls this.
void vkt::exports::unload_library() {
  delete g_library;
  g_library = nullptr;
}

namespace {

template <class R, class F>
R guarded(R failure, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

template <class F>
void guarded_void(F&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

vkt_bool to_bool(bool b) { return b ? 1 : 0; }

int32_t clamp32(std::size_t n) { return static_cast<int32_t>(std::min<std::size_t>(n, INT32_MAX)); }

// The Linux extensions' buffer rule: at most `size` bytes, the text cut to
// size - 1 and a NUL; nothing for a NULL buffer or a size below 1. Returns
// the text's full length. A text kept in pieces is copied as the pieces
// joined, without joining them first.
[[maybe_unused]] int32_t copy_text(std::initializer_list<std::string_view> pieces, char* out, int32_t size) {
  std::size_t total = 0;
  std::size_t n = 0;
  const std::size_t room = out && size > 0 ? static_cast<std::size_t>(size) - 1 : 0;
  for (std::string_view piece : pieces) {
    const std::size_t take = std::min(piece.size(), room - n);
    if (take > 0) std::memcpy(out + n, piece.data(), take);
    n += take;
    total += piece.size();
  }
  if (out && size > 0) out[n] = '\0';
  return clamp32(total);
}

void text_field(vkt::records::TextField field, int32_t row, char* text) {
  if (!text) return;
  guarded_void([&] { vkt::records::vkt_get_text(library(), field, row, text); });
}

}  // namespace

using vkt::records::TextField;

extern "C" {

VKTCOM_API void VKTCOM_CALL form_open(void) { guarded_void([] { library().form_open(); }); }
VKTCOM_API void VKTCOM_CALL form_close(void) { guarded_void([] { library().form_close(); }); }
VKTCOM_API void VKTCOM_CALL form_release(void) { guarded_void([] { library().form_release(); }); }

VKTCOM_API int32_t VKTCOM_CALL com_open(int32_t port) {
  return guarded<int32_t>(-1, [&] { return library().open_port(port); });
}
VKTCOM_API void VKTCOM_CALL com_close(void) { guarded_void([] { vkt::link::com_close(library()); }); }
VKTCOM_API vkt_bool VKTCOM_CALL com_search_timer(int32_t mode) {
  return guarded<vkt_bool>(0, [&] { return to_bool(vkt::link::com_search_timer(library(), mode)); });
}
VKTCOM_API int32_t VKTCOM_CALL com_search(void) {
  return guarded<int32_t>(0, [] { return vkt::link::com_search(library()); });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_dll_ver(void) { return VKTCOM_VERSION_NUMBER; }
VKTCOM_API vkt_bool VKTCOM_CALL vkt_connect(void) {
  return guarded<vkt_bool>(0, [] { return to_bool(vkt::protocol::vkt_connect(library())); });
}
VKTCOM_API vkt_bool VKTCOM_CALL vkt_clkset(void) {
  return guarded<vkt_bool>(0, [] { return to_bool(vkt::protocol::vkt_clkset(library())); });
}
VKTCOM_API vkt_bool VKTCOM_CALL vkt_startsetcheck(void) {
  return guarded<vkt_bool>(0, [] { return to_bool(vkt::settings::vkt_startsetcheck(library())); });
}
VKTCOM_API vkt_bool VKTCOM_CALL vkt_inputdata(void) {
  return guarded<vkt_bool>(0, [] { return to_bool(vkt::records::vkt_inputdata(library())); });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_datacount(void) {
  return guarded<int32_t>(0, [] { return vkt::records::vkt_datacount(library()); });
}
VKTCOM_API void VKTCOM_CALL vkt_getdata(int32_t row, unsigned char* data) {
  if (!data) return;
  guarded_void([&] { vkt::records::vkt_getdata(library(), row, data); });
}
VKTCOM_API void VKTCOM_CALL vkt_get_date(int32_t row, char* text) { text_field(TextField::Date, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_year(int32_t row, char* text) { text_field(TextField::Year, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_month(int32_t row, char* text) { text_field(TextField::Month, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_day(int32_t row, char* text) { text_field(TextField::Day, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_time(int32_t row, char* text) { text_field(TextField::Time, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_deg(int32_t row, char* text) { text_field(TextField::Deg, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_x(int32_t row, char* text) { text_field(TextField::X, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_y(int32_t row, char* text) { text_field(TextField::Y, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_z(int32_t row, char* text) { text_field(TextField::Z, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_humi(int32_t row, char* text) { text_field(TextField::Humi, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_all(int32_t row, char* text) { text_field(TextField::All, row, text); }

VKTCOM_API int32_t VKTCOM_CALL vkt_set_command(const char* command) {
  if (!command) return 0;
  return guarded<int32_t>(0, [&] { return vkt::settings::vkt_set_command(library(), command); });
}
VKTCOM_API void VKTCOM_CALL vkt_get_param(char* text) {
  if (!text) return;
  guarded_void([&] { vkt::settings::vkt_get_param(library(), text); });
}
VKTCOM_API void VKTCOM_CALL vkt_get_reservetime(char* text) {
  if (!text) return;
  guarded_void([&] { vkt::settings::vkt_get_reservetime(library(), text); });
}
VKTCOM_API void VKTCOM_CALL settingform_open(void) { guarded_void([] { vkt::settings::settingform_open(library()); }); }
VKTCOM_API void VKTCOM_CALL settingform_close(void) { guarded_void([] { vkt::settings::settingform_close(library()); }); }
VKTCOM_API void VKTCOM_CALL settingform_release(void) {
  guarded_void([] { vkt::settings::settingform_release(library()); });
}
VKTCOM_API vkt_bool VKTCOM_CALL settingform_check(void) {
  return guarded<vkt_bool>(0, [] { return to_bool(vkt::settings::settingform_check(library())); });
}

#if !defined(_WIN32)
// Where the host's own message loop does not drive the library (the Win32
// host-loop timer does on Windows), the host calls this.
VKTCOM_API void VKTCOM_CALL vkt_process_messages(void) { guarded_void([] { library().dispatch_messages(); }); }

VKTCOM_API int32_t VKTCOM_CALL vkt_get_records(int32_t first_row, int32_t count, struct vkt_record* out) {
  if (!out) return 0;
  return guarded<int32_t>(0, [&] { return vkt::records::copy_records(library(), first_row, count, out); });
}

// ---- Linux extensions (vktcom_ext.h) ----

VKTCOM_API int32_t VKTCOM_CALL vkt_open_error(int32_t* system_errno, char* message, int32_t size) {
  return guarded<int32_t>(0, [&] {
    const vkt::link::OpenFailure& failure = library().last_open_failure();
    if (system_errno) *system_errno = failure.system_errno;
    copy_text({failure.message}, message, size);
    return static_cast<int32_t>(failure.code);
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_command_reply(const char* command, char* reply, int32_t size) {
  if (!command) return -1;
  return guarded<int32_t>(-1, [&] {
    const auto text = library().command_reply(command);
    if (!text) return -1;
    return copy_text({*text}, reply, size);
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_get_download_report(struct vkt_download_report* report) {
  if (!report) return 0;
  return guarded<int32_t>(0, [&] {
    using Status = vkt::records::DownloadReport::Status;
    const vkt::records::DownloadReport& r = library().last_download;
    struct vkt_download_report out {};
    switch (r.status) {
      case Status::None: out.status = VKT_DOWNLOAD_NONE; break;
      case Status::Ok: out.status = VKT_DOWNLOAD_OK; break;
      case Status::TimeOut: out.status = VKT_DOWNLOAD_TIME_OUT; break;
      case Status::BadLine: out.status = VKT_DOWNLOAD_BAD_LINE; break;
      case Status::HungUp: out.status = VKT_DOWNLOAD_HUNG_UP; break;
    }
    out.bytes = clamp32(r.bytes);
    out.lines = clamp32(r.lines);
    out.bad_lines = clamp32(r.bad_line_count);
    out.first_bad_index = r.bad_lines.empty() ? -1 : r.bad_lines.front().index;
    out.first_bad_length = r.bad_lines.empty() ? -1 : r.bad_lines.front().length;
    *report = out;
    return 1;
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_download_bad_lines(int32_t* index, int32_t* length, int32_t max) {
  if (!index || !length || max < 1) return 0;
  return guarded<int32_t>(0, [&] {
    const auto& bad = library().last_download.bad_lines;
    const std::size_t n = std::min<std::size_t>(bad.size(), static_cast<std::size_t>(max));
    for (std::size_t i = 0; i < n; ++i) {
      index[i] = bad[i].index;
      length[i] = bad[i].length;
    }
    return static_cast<int32_t>(n);
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_download_text(char* text, int32_t size) {
  return guarded<int32_t>(0, [&] {
    const auto [head, body, tail] = library().last_download.text_pieces();
    return copy_text({head, body, tail}, text, size);
  });
}
VKTCOM_API int32_t VKTCOM_CALL vkt_port_device(int32_t port, char* path, int32_t size) {
  return guarded<int32_t>(0, [&] {
    const std::string device =
        port < 1 || port > 0xFFFF ? std::string() : vkt::link::device_path_for_port(static_cast<uint16_t>(port));
    return copy_text({device}, path, size);
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_device_port(const char* path) {
  if (!path) return 0;
  return guarded<int32_t>(0, [&] { return vkt::link::port_for_device_path(path); });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_serial_ports(struct vkt_serial_port* ports, int32_t max) {
  return guarded<int32_t>(0, [&] {
    const auto found = vkt::link::list_serial_ports();
    for (std::size_t i = 0; ports && max > 0 && i < found.size() && i < static_cast<std::size_t>(max); ++i) {
      const vkt::link::SerialPortInfo& p = found[i];
      ports[i] = {p.com,
                  p.node_exists ? 1 : 0,
                  p.usb ? 1 : 0,
                  p.vendor ? static_cast<int32_t>(*p.vendor) : -1,
                  p.product ? static_cast<int32_t>(*p.product) : -1,
                  p.is_logger() ? 1 : 0};
    }
    return clamp32(found.size());
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_serial_port_text(int32_t port, int32_t which, char* text, int32_t size) {
  return guarded<int32_t>(-1, [&] {
    const auto found = vkt::link::serial_port_text(port, which);
    return found ? copy_text({*found}, text, size) : -1;
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_unbound_adapters(char* text, int32_t size) {
  return guarded<int32_t>(0, [&] {
    std::string lines;
    for (const std::string& name : vkt::link::logger_adapters_without_terminal()) lines += name + "\n";
    return copy_text({lines}, text, size);
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_search_list(int32_t list, char* text, int32_t size) {
  return guarded<int32_t>(-1, [&] {
    const vkt::windows::TForm2* monitor = library().monitor();
    const auto lines = monitor ? monitor->search_list_text(list) : std::nullopt;
    return lines ? copy_text({*lines}, text, size) : -1;
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_get_param_year(char* text, int32_t size) {
  return guarded<int32_t>(0, [&] { return copy_text({library().param_year}, text, size); });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_get_param_count(char* text, int32_t size) {
  return guarded<int32_t>(0, [&] { return copy_text({library().param_count}, text, size); });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_decode_records(const char* text, const char* year, struct vkt_record* records,
                                                  int32_t max) {
  if (!text) return 0;
  return guarded<int32_t>(0, [&] {
    return vkt::records::decode_text_records(text, year ? year : "", records, records ? max : 0);
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_last_message(char* text, int32_t size) {
  return guarded<int32_t>(0, [&] { return copy_text({library().last_message()}, text, size); });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_settingform_open_port(int32_t port) {
  return guarded<int32_t>(0, [&] { return vkt::settings::settingform_open_port(library(), port) ? 1 : 0; });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_setting_get(int32_t which, char* text, int32_t size) {
  return guarded<int32_t>(-1, [&] {
    const vkt::settings::TForm4* dialog = library().settings_dialog();
    const auto shown = dialog ? vkt::settings::setting_text(*dialog, which) : std::nullopt;
    return shown ? copy_text({*shown}, text, size) : -1;
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_setting_item(int32_t which, int32_t item, char* text, int32_t size) {
  return guarded<int32_t>(-1, [&] {
    const vkt::settings::TForm4* dialog = library().settings_dialog();
    const auto caption = dialog ? vkt::settings::setting_item(*dialog, which, item) : std::nullopt;
    return caption ? copy_text({*caption}, text, size) : -1;
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_setting_set(int32_t which, const char* value) {
  return guarded<int32_t>(-1, [&] {
    vkt::settings::TForm4* dialog = library().settings_dialog();
    return dialog ? vkt::settings::set_setting(*dialog, which, value) : -1;
  });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_settingform_press(int32_t button) {
  return guarded<int32_t>(-1, [&] { return vkt::settings::settingform_press(library(), button); });
}
#endif

}  // extern "C"
