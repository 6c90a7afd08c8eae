// The exported functions: each converts its arguments, reaches the
// process-wide library, and turns any exception into the function's failure
// value, so that nothing thrown inside the library reaches the host.
#include <atomic>
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

// Atomic: vkt_download_stop reads it from another thread.
std::atomic<vkt::Library*> g_library{nullptr};

vkt::Library& library() {
  if (!g_library.load()) g_library.store(new vkt::Library());
  return *g_library.load();
}

// The start of every exported call (other than vkt_dll_ver, which touches
// nothing): the library made at the first, pending releases done.
vkt::Library& enter() {
  vkt::Library& lib = library();
  lib.enter_export();
  return lib;
}

}  // namespace

// Unloading the module destroys every window (closing the port) and the
// texts; the platform's unload hook (unload_*.cpp) calls this.
void vkt::exports::unload_library() {
  delete g_library.exchange(nullptr);
}

namespace {

// What the trace shows of an argument: numbers as they are, a text given
// to the library in quotes, a pointer the library writes to as present or
// NULL.
struct Text {
  const char* text;
};
struct Ptr {
  const void* pointer;
};
std::string shown(int32_t n) { return std::to_string(n); }
std::string shown(vkt_bool b) { return std::to_string(static_cast<int>(b)); }
std::string shown(Text t) { return t.text ? "\"" + std::string(t.text) + "\"" : "NULL"; }
std::string shown(Ptr p) { return p.pointer ? "buffer" : "NULL"; }

template <class... A>
std::string call_line(const char* name, const A&... args) {
  std::string line = std::string(name) + "(";
  [[maybe_unused]] const char* comma = "";
  ((line += comma, line += shown(args), comma = ", "), ...);
  return line + ")";
}

// Every exported function runs its body here: the library's pending
// releases first, the call and its result in the trace when it is on, and
// any exception turned into the function's failure value, so that nothing
// thrown inside the library reaches the host.
template <class R, class F, class... A>
R guarded(const char* name, R failure, F&& body, const A&... args) noexcept {
  vkt::Trace* trace = nullptr;
  try {
    trace = &enter().trace();
    if (trace->on()) trace->event(call_line(name, args...));
    R result = body();
    if (trace->on()) trace->event(std::string(name) + " -> " + shown(result));
    return result;
  } catch (const std::exception& error) {
    if (trace && trace->on()) trace->event(std::string(name) + " failed (" + error.what() + ") -> " + shown(failure));
  } catch (...) {
    if (trace && trace->on()) trace->event(std::string(name) + " failed -> " + shown(failure));
  }
  return failure;
}

template <class F, class... A>
void guarded_void(const char* name, F&& body, const A&... args) noexcept {
  vkt::Trace* trace = nullptr;
  try {
    trace = &enter().trace();
    if (trace->on()) trace->event(call_line(name, args...));
    body();
    if (trace->on()) trace->event(std::string(name) + " returned");
  } catch (const std::exception& error) {
    if (trace && trace->on()) trace->event(std::string(name) + " failed (" + error.what() + ")");
  } catch (...) {
    if (trace && trace->on()) trace->event(std::string(name) + " failed");
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

// The record accessors: a run of calls of one accessor is folded into one
// trace line.
void text_field(const char* name, vkt::records::TextField field, int32_t row, char* text) noexcept {
  if (!text) return;
  try {
    vkt::Library& lib = enter();
    lib.trace().accessor(name, row);
    vkt::records::vkt_get_text(lib.record_table(), field, row, text);
  } catch (...) {
  }
}

}  // namespace

using vkt::records::TextField;

extern "C" {

VKTCOM_API void VKTCOM_CALL form_open(void) { guarded_void("form_open", [] { library().form_open(); }); }
VKTCOM_API void VKTCOM_CALL form_close(void) { guarded_void("form_close", [] { library().form_close(); }); }
VKTCOM_API void VKTCOM_CALL form_release(void) { guarded_void("form_release", [] { library().form_release(); }); }

VKTCOM_API int32_t VKTCOM_CALL com_open(int32_t port) {
  return guarded<int32_t>("com_open", -1, [&] { return library().open_port(port); }, port);
}
VKTCOM_API void VKTCOM_CALL com_close(void) { guarded_void("com_close", [] { vkt::link::com_close(library()); }); }
VKTCOM_API vkt_bool VKTCOM_CALL com_search_timer(int32_t mode) {
  return guarded<vkt_bool>("com_search_timer", 0, [&] { return to_bool(vkt::link::com_search_timer(library(), mode)); }, mode);
}
VKTCOM_API int32_t VKTCOM_CALL com_search(void) {
  return guarded<int32_t>("com_search", 0, [] { return vkt::link::com_search(library()); });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_dll_ver(void) { return VKTCOM_VERSION_NUMBER; }
VKTCOM_API vkt_bool VKTCOM_CALL vkt_connect(void) {
  return guarded<vkt_bool>("vkt_connect", 0, [] { return to_bool(library().connect()); });
}
VKTCOM_API vkt_bool VKTCOM_CALL vkt_clkset(void) {
  return guarded<vkt_bool>("vkt_clkset", 0, [] { return to_bool(library().set_clock()); });
}
VKTCOM_API vkt_bool VKTCOM_CALL vkt_startsetcheck(void) {
  return guarded<vkt_bool>("vkt_startsetcheck", 0, [] { return to_bool(library().check_start_time()); });
}
VKTCOM_API vkt_bool VKTCOM_CALL vkt_inputdata(void) {
  return guarded<vkt_bool>("vkt_inputdata", 0, [] { return to_bool(vkt::records::vkt_inputdata(library().download_context())); });
}

VKTCOM_API int32_t VKTCOM_CALL vkt_datacount(void) {
  return guarded<int32_t>("vkt_datacount", 0, [] { return vkt::records::vkt_datacount(library().record_parts()); });
}
VKTCOM_API void VKTCOM_CALL vkt_getdata(int32_t row, unsigned char* data) {
  if (!data) return;
  try {
    vkt::Library& lib = enter();
    lib.trace().accessor("vkt_getdata", row);
    vkt::records::vkt_getdata(lib.record_table(), row, data);
  } catch (...) {
  }
}
VKTCOM_API void VKTCOM_CALL vkt_get_date(int32_t row, char* text) { text_field("vkt_get_date", TextField::Date, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_year(int32_t row, char* text) { text_field("vkt_get_year", TextField::Year, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_month(int32_t row, char* text) { text_field("vkt_get_month", TextField::Month, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_day(int32_t row, char* text) { text_field("vkt_get_day", TextField::Day, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_time(int32_t row, char* text) { text_field("vkt_get_time", TextField::Time, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_deg(int32_t row, char* text) { text_field("vkt_get_deg", TextField::Deg, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_x(int32_t row, char* text) { text_field("vkt_get_x", TextField::X, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_y(int32_t row, char* text) { text_field("vkt_get_y", TextField::Y, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_z(int32_t row, char* text) { text_field("vkt_get_z", TextField::Z, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_humi(int32_t row, char* text) { text_field("vkt_get_humi", TextField::Humi, row, text); }
VKTCOM_API void VKTCOM_CALL vkt_get_all(int32_t row, char* text) { text_field("vkt_get_all", TextField::All, row, text); }

VKTCOM_API int32_t VKTCOM_CALL vkt_set_command(const char* command) {
  if (!command) return 0;
  return guarded<int32_t>("vkt_set_command", 0, [&] { return vkt::settings::vkt_set_command(library().settings_context(), command); }, Text{command});
}
VKTCOM_API void VKTCOM_CALL vkt_get_param(char* text) {
  if (!text) return;
  guarded_void("vkt_get_param", [&] { vkt::settings::vkt_get_param(library().settings_context(), text); }, Ptr{text});
}
VKTCOM_API void VKTCOM_CALL vkt_get_reservetime(char* text) {
  if (!text) return;
  guarded_void("vkt_get_reservetime", [&] { vkt::settings::vkt_get_reservetime(library().settings_state, text); }, Ptr{text});
}
VKTCOM_API void VKTCOM_CALL settingform_open(void) { guarded_void("settingform_open", [] { vkt::settings::settingform_open(library()); }); }
VKTCOM_API void VKTCOM_CALL settingform_close(void) { guarded_void("settingform_close", [] { vkt::settings::settingform_close(library()); }); }
VKTCOM_API void VKTCOM_CALL settingform_release(void) {
  guarded_void("settingform_release", [] { vkt::settings::settingform_release(library()); });
}
VKTCOM_API vkt_bool VKTCOM_CALL settingform_check(void) {
  return guarded<vkt_bool>("settingform_check", 0, [] { return to_bool(vkt::settings::settingform_check(library().settings_state)); });
}

#if !defined(_WIN32)
// Where the host's own message loop does not drive the library (the Win32
// host-loop timer does on Windows), the host calls this.
VKTCOM_API void VKTCOM_CALL vkt_process_messages(void) { guarded_void("vkt_process_messages", [] { library().dispatch_messages(); }); }

VKTCOM_API int32_t VKTCOM_CALL vkt_get_records(int32_t first_row, int32_t count, struct vkt_record* out) {
  if (!out) return 0;
  return guarded<int32_t>("vkt_get_records", 0, [&] { return vkt::records::copy_records(library().record_table(), first_row, count, out); }, first_row, count, Ptr{out});
}

// ---- Linux extensions (vktcom_ext.h) ----

VKTCOM_API int32_t VKTCOM_CALL vkt_open_error(int32_t* system_errno, char* message, int32_t size) {
  return guarded<int32_t>("vkt_open_error", 0, [&] {
    const vkt::link::OpenFailure& failure = library().last_open_failure();
    if (system_errno) *system_errno = failure.system_errno;
    copy_text({failure.message}, message, size);
    return static_cast<int32_t>(failure.code);
  }, Ptr{system_errno}, Ptr{message}, size);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_open_path(const char* path) {
  return guarded<int32_t>("vkt_open_path", -1, [&] { return library().open_path(path ? path : ""); }, Text{path ? path : ""});
}

VKTCOM_API int32_t VKTCOM_CALL vkt_command_reply(const char* command, char* reply, int32_t size) {
  if (!command) return -1;
  return guarded<int32_t>("vkt_command_reply", -1, [&] {
    const auto text = library().command_reply(command);
    if (!text) return -1;
    return copy_text({*text}, reply, size);
  }, Text{command}, Ptr{reply}, size);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_get_download_report(struct vkt_download_report* report) {
  if (!report) return 0;
  return guarded<int32_t>("vkt_get_download_report", 0, [&] {
    using Status = vkt::records::DownloadReport::Status;
    const vkt::records::DownloadReport& r = library().download_state.last_download;
    struct vkt_download_report out {};
    switch (r.status) {
      case Status::None: out.status = VKT_DOWNLOAD_NONE; break;
      case Status::Ok: out.status = VKT_DOWNLOAD_OK; break;
      case Status::TimeOut: out.status = VKT_DOWNLOAD_TIME_OUT; break;
      case Status::BadLine: out.status = VKT_DOWNLOAD_BAD_LINE; break;
      case Status::HungUp: out.status = VKT_DOWNLOAD_HUNG_UP; break;
      case Status::Stopped: out.status = VKT_DOWNLOAD_STOPPED; break;
    }
    out.bytes = clamp32(r.bytes);
    out.lines = clamp32(r.lines);
    out.bad_lines = clamp32(r.bad_line_count);
    out.first_bad_index = r.bad_lines.empty() ? -1 : r.bad_lines.front().index;
    out.first_bad_length = r.bad_lines.empty() ? -1 : r.bad_lines.front().length;
    *report = out;
    return 1;
  }, Ptr{report});
}

VKTCOM_API int32_t VKTCOM_CALL vkt_download_bad_lines(int32_t* index, int32_t* length, int32_t max) {
  if (!index || !length || max < 1) return 0;
  return guarded<int32_t>("vkt_download_bad_lines", 0, [&] {
    const auto& bad = library().download_state.last_download.bad_lines;
    const std::size_t n = std::min<std::size_t>(bad.size(), static_cast<std::size_t>(max));
    for (std::size_t i = 0; i < n; ++i) {
      index[i] = bad[i].index;
      length[i] = bad[i].length;
    }
    return static_cast<int32_t>(n);
  }, Ptr{index}, Ptr{length}, max);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_download_text(char* text, int32_t size) {
  return guarded<int32_t>("vkt_download_text", 0, [&] {
    const auto [head, body, tail] = library().download_state.last_download.text_pieces();
    return copy_text({head, body, tail}, text, size);
  }, Ptr{text}, size);
}
VKTCOM_API int32_t VKTCOM_CALL vkt_port_device(int32_t port, char* path, int32_t size) {
  return guarded<int32_t>("vkt_port_device", 0, [&] {
    const std::string device =
        port < 1 || port > 0xFFFF ? std::string() : vkt::link::device_path_for_port(static_cast<uint16_t>(port));
    return copy_text({device}, path, size);
  }, port, Ptr{path}, size);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_device_port(const char* path) {
  if (!path) return 0;
  return guarded<int32_t>("vkt_device_port", 0, [&] { return vkt::link::port_for_device_path(path); }, Text{path});
}

VKTCOM_API int32_t VKTCOM_CALL vkt_serial_ports(struct vkt_serial_port* ports, int32_t max) {
  return guarded<int32_t>("vkt_serial_ports", 0, [&] {
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
  }, Ptr{ports}, max);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_serial_port_text(int32_t port, int32_t which, char* text, int32_t size) {
  return guarded<int32_t>("vkt_serial_port_text", -1, [&] {
    const auto found = vkt::link::serial_port_text(port, which);
    return found ? copy_text({*found}, text, size) : -1;
  }, port, which, Ptr{text}, size);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_unbound_adapters(char* text, int32_t size) {
  return guarded<int32_t>("vkt_unbound_adapters", 0, [&] {
    std::string lines;
    for (const std::string& name : vkt::link::logger_adapters_without_terminal()) lines += name + "\n";
    return copy_text({lines}, text, size);
  }, Ptr{text}, size);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_search_list(int32_t list, char* text, int32_t size) {
  return guarded<int32_t>("vkt_search_list", -1, [&] {
    const vkt::windows::TForm2* monitor = library().monitor();
    const auto lines = monitor ? monitor->search_list_text(list) : std::nullopt;
    return lines ? copy_text({*lines}, text, size) : -1;
  }, list, Ptr{text}, size);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_get_param_year(char* text, int32_t size) {
  return guarded<int32_t>("vkt_get_param_year", 0, [&] { return copy_text({library().logger.param_year}, text, size); }, Ptr{text}, size);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_get_param_count(char* text, int32_t size) {
  return guarded<int32_t>("vkt_get_param_count", 0, [&] { return copy_text({library().logger.param_count}, text, size); }, Ptr{text}, size);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_decode_records(const char* text, const char* year, struct vkt_record* records,
                                                  int32_t max) {
  if (!text) return 0;
  return guarded<int32_t>("vkt_decode_records", 0, [&] {
    return vkt::records::decode_text_records(text, year ? year : "", records, records ? max : 0);
  }, Text{text}, Text{year}, Ptr{records}, max);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_last_message(char* text, int32_t size) {
  return guarded<int32_t>("vkt_last_message", 0, [&] { return copy_text({library().last_message()}, text, size); }, Ptr{text}, size);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_settingform_open_port(int32_t port) {
  return guarded<int32_t>("vkt_settingform_open_port", 0, [&] { return vkt::settings::settingform_open_port(library(), port) ? 1 : 0; }, port);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_setting_get(int32_t which, char* text, int32_t size) {
  return guarded<int32_t>("vkt_setting_get", -1, [&] {
    const vkt::settings::TForm4* dialog = library().settings_dialog();
    const auto shown = dialog ? vkt::settings::setting_text(*dialog, which) : std::nullopt;
    return shown ? copy_text({*shown}, text, size) : -1;
  }, which, Ptr{text}, size);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_setting_item(int32_t which, int32_t item, char* text, int32_t size) {
  return guarded<int32_t>("vkt_setting_item", -1, [&] {
    const vkt::settings::TForm4* dialog = library().settings_dialog();
    const auto caption = dialog ? vkt::settings::setting_item(*dialog, which, item) : std::nullopt;
    return caption ? copy_text({*caption}, text, size) : -1;
  }, which, item, Ptr{text}, size);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_setting_set(int32_t which, const char* value) {
  return guarded<int32_t>("vkt_setting_set", -1, [&] {
    vkt::settings::TForm4* dialog = library().settings_dialog();
    return dialog ? vkt::settings::set_setting(*dialog, which, value) : -1;
  }, which, Text{value});
}

VKTCOM_API int32_t VKTCOM_CALL vkt_settingform_press(int32_t button) {
  return guarded<int32_t>("vkt_settingform_press", -1, [&] { return vkt::settings::settingform_press(library(), library().settings_state, button); }, button);
}

VKTCOM_API int32_t VKTCOM_CALL vkt_trace_start(const char* path) {
  if (!path) return 0;
  return guarded<int32_t>("vkt_trace_start", 0, [&] { return library().start_trace(path) ? 1 : 0; }, Text{path});
}

// Called from a thread other than the one the download runs on: it touches
// only the download's atomic flags and the trace (which locks), never the
// windows or pending releases that every other export begins with.
VKTCOM_API int32_t VKTCOM_CALL vkt_download_stop(void) {
  try {
    vkt::Library* lib = g_library.load();
    if (!lib) return 0;
    const bool stopping = lib->download_state.request_stop();
    if (lib->trace().on()) lib->trace().event(std::string("vkt_download_stop -> ") + (stopping ? "1" : "0"));
    return stopping ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

VKTCOM_API void VKTCOM_CALL vkt_trace_stop(void) {
  guarded_void("vkt_trace_stop", [] { library().trace().stop(); });
}
#endif

}  // extern "C"
