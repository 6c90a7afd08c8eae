// Every export, called in every state a host can produce, returns its
// failure value or leaves its output untouched, and never ends the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "exports/module.h"
#include "support/serial_machine.h"

namespace {

using vkt::testing::Module;
namespace fs = std::filesystem;

constexpr unsigned char kSentinel = 0x5A;
constexpr std::size_t kBuffer = 8192;

enum class State { NoWindow, Released, ClosedPort };

const char* name_of(State s) {
  switch (s) {
    case State::NoWindow: return "no monitor window";
    case State::Released: return "released monitor window";
    case State::ClosedPort: return "monitor window, closed port";
  }
  return "";
}

// An empty machine of its own (device and sysfs folders in a fresh temporary
// folder): nothing on the machine is touched and every search finds nothing.
using EmptyMachine = vkt::test::SerialMachine;

void enter(Module& m, State s) {
  if (s == State::NoWindow) return;
  m.form_open();
  if (s == State::Released) m.form_release();
}

bool has_window(State s) { return s == State::ClosedPort; }

struct Buffer {
  std::vector<unsigned char> bytes = std::vector<unsigned char>(kBuffer, kSentinel);
  char* text() { return reinterpret_cast<char*>(bytes.data()); }
  bool untouched() const {
    for (auto b : bytes)
      if (b != kSentinel) return false;
    return true;
  }
  // A NUL-terminated text, with nothing written past `limit` bytes.
  bool text_within(std::size_t limit) const {
    const void* nul = std::memchr(bytes.data(), 0, limit);
    if (!nul) return false;
    for (std::size_t i = limit; i < bytes.size(); ++i)
      if (bytes[i] != kSentinel) return false;
    return true;
  }
  std::string str() const { return std::string(reinterpret_cast<const char*>(bytes.data())); }
};

const std::vector<int32_t> kRows = {INT_MIN, -1, 0, 1, 4, 5, 1000000, INT_MAX};

using TextExport = void (*)(int32_t, char*);

struct Case {
  std::string name;
  std::function<void(Module&, State)> check;
};

std::vector<Case> text_cases() {
  struct Field {
    const char* name;
    TextExport Module::*fn;
    std::size_t size;
    const char* header;  // what row 0 reads
  };
  static const Field fields[] = {
      {"vkt_get_date", &Module::vkt_get_date, VKTCOM_DATE_BUFFER_SIZE, "DATE"},
      {"vkt_get_year", &Module::vkt_get_year, VKTCOM_YEAR_BUFFER_SIZE, "DATE"},
      {"vkt_get_month", &Module::vkt_get_month, VKTCOM_MONTH_BUFFER_SIZE, ""},
      {"vkt_get_day", &Module::vkt_get_day, VKTCOM_DAY_BUFFER_SIZE, ""},
      {"vkt_get_time", &Module::vkt_get_time, VKTCOM_TIME_BUFFER_SIZE, "TIME"},
      {"vkt_get_deg", &Module::vkt_get_deg, VKTCOM_DEG_BUFFER_SIZE, "DEG"},
      {"vkt_get_x", &Module::vkt_get_x, VKTCOM_AXIS_BUFFER_SIZE, "x"},
      {"vkt_get_y", &Module::vkt_get_y, VKTCOM_AXIS_BUFFER_SIZE, "y"},
      {"vkt_get_z", &Module::vkt_get_z, VKTCOM_AXIS_BUFFER_SIZE, "z"},
      {"vkt_get_humi", &Module::vkt_get_humi, VKTCOM_HUMI_BUFFER_SIZE, "humi"},
      {"vkt_get_all", &Module::vkt_get_all, VKTCOM_ALL_BUFFER_SIZE, nullptr},
  };
  std::vector<Case> cases;
  for (const auto& f : fields) {
    cases.push_back({f.name, [f](Module& m, State s) {
                       (m.*f.fn)(1, nullptr);
                       for (int32_t row : kRows) {
                         Buffer b;
                         (m.*f.fn)(row, b.text());
                         SCOPED_TRACE("row " + std::to_string(row));
                         if (!has_window(s)) {
                           EXPECT_TRUE(b.untouched());
                           continue;
                         }
                         ASSERT_TRUE(b.text_within(f.size));
                         const bool all = f.fn == &Module::vkt_get_all;
                         if (row == 0 && f.header) {
                           EXPECT_EQ(b.str(), f.header);
                         } else if (row != 0) {
                           EXPECT_EQ(b.str(), all ? " /-     " : "");
                         }
                       }
                     }});
  }
  return cases;
}

std::vector<Case> all_cases() {
  std::vector<Case> cases = {
      {"form_open", [](Module& m, State) { m.form_open(); }},
      {"form_close", [](Module& m, State) { m.form_close(); }},
      {"form_release", [](Module& m, State) { m.form_release(); m.form_release(); }},
      {"com_open",
       [](Module& m, State) {
         for (int32_t port : {INT_MIN, -1, 0, 1, 72, 73, 65536, INT_MAX}) EXPECT_EQ(m.com_open(port), -1) << port;
       }},
      {"com_close", [](Module& m, State) { m.com_close(); }},
      {"com_search_timer",
       [](Module& m, State) {
         EXPECT_EQ(m.com_search_timer(2), 0);
         EXPECT_EQ(m.com_search_timer(1), 1);
         EXPECT_EQ(m.com_search_timer(0), 0);
       }},
      {"com_search", [](Module& m, State) { EXPECT_EQ(m.com_search(), 0); }},
      {"vkt_dll_ver", [](Module& m, State) { EXPECT_EQ(m.vkt_dll_ver(), 107); }},
      {"vkt_connect", [](Module& m, State) { EXPECT_EQ(m.vkt_connect(), 0); }},
      {"vkt_clkset", [](Module& m, State) { EXPECT_EQ(m.vkt_clkset(), 0); }},
      {"vkt_startsetcheck", [](Module& m, State) { EXPECT_EQ(m.vkt_startsetcheck(), 1); }},
      {"vkt_inputdata", [](Module& m, State) { EXPECT_EQ(m.vkt_inputdata(), 0); }},
      {"vkt_datacount", [](Module& m, State s) { EXPECT_EQ(m.vkt_datacount(), has_window(s) ? 4 : 0); }},
      {"vkt_getdata",
       [](Module& m, State s) {
         m.vkt_getdata(1, nullptr);
         for (int32_t row : kRows) {
           Buffer b;
           m.vkt_getdata(row, b.bytes.data());
           SCOPED_TRACE("row " + std::to_string(row));
           if (!has_window(s)) {
             EXPECT_TRUE(b.untouched());
             continue;
           }
           // No row holds a decoded record: only byte 0, the row's low byte, is written.
           EXPECT_EQ(b.bytes[0], static_cast<unsigned char>(row & 0xFF));
           for (std::size_t i = 1; i < b.bytes.size(); ++i) ASSERT_EQ(b.bytes[i], kSentinel) << "byte " << i;
         }
       }},
      {"vkt_set_command",
       [](Module& m, State) {
         EXPECT_EQ(m.vkt_set_command(nullptr), 0);
         EXPECT_EQ(m.vkt_set_command(""), 0);
         EXPECT_EQ(m.vkt_set_command("m"), 0);
       }},
      {"vkt_get_param",
       [](Module& m, State) {
         m.vkt_get_param(nullptr);
         Buffer b;
         m.vkt_get_param(b.text());
         EXPECT_TRUE(b.untouched());
       }},
      {"vkt_get_reservetime",
       [](Module& m, State) {
         m.vkt_get_reservetime(nullptr);
         Buffer b;
         m.vkt_get_reservetime(b.text());
         ASSERT_TRUE(b.text_within(VKTCOM_RESERVETIME_BUFFER_SIZE));
         EXPECT_EQ(b.str(), "");
       }},
      {"settingform_open", [](Module& m, State) { m.settingform_open(); m.settingform_open(); }},
      {"settingform_close", [](Module& m, State) { m.settingform_close(); }},
      {"settingform_release", [](Module& m, State) { m.settingform_release(); }},
      {"settingform_check", [](Module& m, State) { EXPECT_EQ(m.settingform_check(), 0); }},
      {"vkt_process_messages", [](Module& m, State) { m.vkt_process_messages(); }},
      {"vkt_get_records",
       [](Module& m, State s) {
         EXPECT_EQ(m.vkt_get_records(1, 4, nullptr), 0);
         for (int32_t row : kRows) {
           for (int32_t count : {INT_MIN, -1, 0, 1, 4, INT_MAX}) {
             SCOPED_TRACE("rows " + std::to_string(row) + " + " + std::to_string(count));
             // Room for the four rows of the fresh table, and a guard after them.
             Buffer b;
             const int32_t n = m.vkt_get_records(row, count, reinterpret_cast<vkt_record*>(b.bytes.data()));
             // The fresh table's record rows are 1 to 4, all empty.
             const int32_t expected =
                 !has_window(s) || count < 1 || row < 1 || row > 4 ? 0 : std::min<int64_t>(count, 5 - row);
             ASSERT_EQ(n, expected);
             for (std::size_t i = static_cast<std::size_t>(n) * sizeof(vkt_record); i < b.bytes.size(); ++i)
               ASSERT_EQ(b.bytes[i], kSentinel) << "byte " << i;
             for (int32_t i = 0; i < n; ++i) {
               const auto* r = reinterpret_cast<const vkt_record*>(b.bytes.data()) + i;
               EXPECT_EQ(r->row, row + i);
               EXPECT_EQ(r->decoded, 0);
               EXPECT_EQ(r->data_length, 0);
             }
           }
         }
       }},
      // The Linux extensions: nothing written through a NULL pointer or
      // past the given size; a fresh library reports nothing.
      {"vkt_open_error",
       [](Module& m, State s) {
         EXPECT_EQ(m.vkt_open_error(nullptr, nullptr, 100), 0) << "no com_open made yet";
         m.com_open(1);
         int32_t error = 12345;
         Buffer b;
         const int32_t code = m.vkt_open_error(&error, b.text(), 8);
         EXPECT_EQ(code, has_window(s) ? -2001 : -1);  // ttyUSB0 is absent from the empty machine
         ASSERT_TRUE(b.text_within(8));
         EXPECT_EQ(b.str().size(), 7u);
         EXPECT_EQ(error, has_window(s) ? ENOENT : 0);
         Buffer untouched;
         EXPECT_EQ(m.vkt_open_error(nullptr, untouched.text(), 0), code);
         EXPECT_EQ(m.vkt_open_error(nullptr, untouched.text(), INT_MIN), code);
         EXPECT_TRUE(untouched.untouched());
       }},
      {"vkt_open_path",
       [](Module& m, State s) {
         for (const char* path : {static_cast<const char*>(nullptr), ""}) {
           EXPECT_EQ(m.vkt_open_path(path), -1);
           EXPECT_EQ(m.vkt_open_error(nullptr, nullptr, 0), has_window(s) ? -2011 : -1);
         }
         EXPECT_EQ(m.vkt_open_path("/nonexistent-folder/ttyX"), -1);
         EXPECT_EQ(m.vkt_open_error(nullptr, nullptr, 0), has_window(s) ? -2001 : -1);
       }},
      {"vkt_download_stop",
       [](Module& m, State) { EXPECT_EQ(m.vkt_download_stop(), 0); }},  // no download runs here
      {"vkt_command_reply",
       [](Module& m, State) {
         Buffer b;
         EXPECT_EQ(m.vkt_command_reply(nullptr, b.text(), 100), -1);
         EXPECT_EQ(m.vkt_command_reply("p", b.text(), 100), -1);  // the port is never open here
         EXPECT_EQ(m.vkt_command_reply("p", nullptr, 100), -1);
         EXPECT_TRUE(b.untouched());
       }},
      {"vkt_get_download_report",
       [](Module& m, State s) {
         EXPECT_EQ(m.vkt_get_download_report(nullptr), 0);
         m.vkt_inputdata();
         vkt_download_report r{};
         r.status = 99;
         ASSERT_EQ(m.vkt_get_download_report(&r), 1);
         // A download on a closed port fails as the port's; without a window none runs.
         EXPECT_EQ(r.status, has_window(s) ? VKT_DOWNLOAD_HUNG_UP : VKT_DOWNLOAD_NONE);
         EXPECT_EQ(r.first_bad_index, -1);
       }},
      {"vkt_download_bad_lines",
       [](Module& m, State) {
         int32_t index[2] = {7, 7}, length[2] = {7, 7};
         EXPECT_EQ(m.vkt_download_bad_lines(nullptr, length, 2), 0);
         EXPECT_EQ(m.vkt_download_bad_lines(index, nullptr, 2), 0);
         EXPECT_EQ(m.vkt_download_bad_lines(index, length, 0), 0);
         EXPECT_EQ(m.vkt_download_bad_lines(index, length, INT_MIN), 0);
         EXPECT_EQ(m.vkt_download_bad_lines(index, length, 2), 0);
         EXPECT_EQ(index[0] + length[1], 14);
       }},
      {"vkt_download_text",
       [](Module& m, State) {
         Buffer b;
         EXPECT_EQ(m.vkt_download_text(nullptr, 100), 0);
         EXPECT_EQ(m.vkt_download_text(b.text(), 0), 0);
         EXPECT_TRUE(b.untouched());
         EXPECT_EQ(m.vkt_download_text(b.text(), 1), 0);
         ASSERT_TRUE(b.text_within(1));
       }},
      {"vkt_port_device",
       [](Module& m, State) {
         Buffer b;
         EXPECT_GT(m.vkt_port_device(1, nullptr, 100), 0);
         EXPECT_GT(m.vkt_port_device(1, b.text(), 0), 0);
         EXPECT_TRUE(b.untouched());
         for (int32_t port : {INT_MIN, -1, 0, 65536, INT_MAX}) EXPECT_EQ(m.vkt_port_device(port, b.text(), 4), 0);
         ASSERT_TRUE(b.text_within(1));
       }},
      {"vkt_device_port",
       [](Module& m, State) {
         EXPECT_EQ(m.vkt_device_port(nullptr), 0);
         EXPECT_EQ(m.vkt_device_port(""), 0);
         EXPECT_EQ(m.vkt_device_port("/"), 0);
       }},
      {"vkt_serial_ports",
       [](Module& m, State) {
         Buffer b;
         EXPECT_EQ(m.vkt_serial_ports(nullptr, 5), 0);  // the empty machine has none
         EXPECT_EQ(m.vkt_serial_ports(reinterpret_cast<vkt_serial_port*>(b.text()), INT_MIN), 0);
         EXPECT_TRUE(b.untouched());
       }},
      {"vkt_serial_port_text",
       [](Module& m, State) {
         Buffer b;
         EXPECT_EQ(m.vkt_serial_port_text(1, VKT_PORT_SERIAL, b.text(), 100), -1);
         EXPECT_EQ(m.vkt_serial_port_text(INT_MIN, INT_MAX, nullptr, 100), -1);
         EXPECT_TRUE(b.untouched());
       }},
      {"vkt_unbound_adapters",
       [](Module& m, State) {
         Buffer b;
         EXPECT_EQ(m.vkt_unbound_adapters(nullptr, 100), 0);
         EXPECT_EQ(m.vkt_unbound_adapters(b.text(), 1), 0);
         ASSERT_TRUE(b.text_within(1));
       }},
      {"vkt_search_list",
       [](Module& m, State s) {
         Buffer b;
         EXPECT_EQ(m.vkt_search_list(99, b.text(), 100), -1);
         EXPECT_EQ(m.vkt_search_list(VKT_SEARCH_RESULT, b.text(), 0), has_window(s) ? 0 : -1);
         EXPECT_TRUE(b.untouched());
         EXPECT_EQ(m.vkt_search_list(VKT_SEARCH_RESULT, b.text(), 100), has_window(s) ? 0 : -1);  // no search yet
       }},
      {"vkt_get_param_year and vkt_get_param_count",
       [](Module& m, State) {
         Buffer b;
         EXPECT_EQ(m.vkt_get_param_year(nullptr, 100), 0);
         EXPECT_EQ(m.vkt_get_param_count(b.text(), 0), 0);
         EXPECT_TRUE(b.untouched());
         EXPECT_EQ(m.vkt_get_param_count(b.text(), 1), 0);
         ASSERT_TRUE(b.text_within(1));
       }},
      {"vkt_decode_records",
       [](Module& m, State) {
         Buffer b;
         auto* out = reinterpret_cast<vkt_record*>(b.text());
         EXPECT_EQ(m.vkt_decode_records(nullptr, "2024", out, 4), 0);
         EXPECT_EQ(m.vkt_decode_records("35EDB5E501FE4017192D\r\n", nullptr, out, 0), 1);
         EXPECT_EQ(m.vkt_decode_records("35EDB5E501FE4017192D\r\n", nullptr, nullptr, 4), 1);
         EXPECT_EQ(m.vkt_decode_records("35EDB5E501FE4017192D\r\n", nullptr, out, INT_MIN), 1);
         EXPECT_TRUE(b.untouched());
       }},
      {"vkt_trace_start",
       [](Module& m, State) {
         EXPECT_EQ(m.vkt_trace_start(nullptr), 0);
         EXPECT_EQ(m.vkt_trace_start("/nonexistent-folder/trace.log"), 0);
         m.vkt_trace_stop();
       }},
      {"vkt_trace_stop", [](Module& m, State) { m.vkt_trace_stop(); }},
      {"vkt_last_message",
       [](Module& m, State) {
         Buffer b;
         EXPECT_EQ(m.vkt_last_message(nullptr, 100), 0);
         EXPECT_EQ(m.vkt_last_message(b.text(), 1), 0);
         ASSERT_TRUE(b.text_within(1));
       }},
      // The settings dialog's extensions: without a dialog, nothing is done.
      {"vkt_settingform_open_port",
       [](Module& m, State) {
         for (int32_t port : {INT_MIN, -1, 65536, INT_MAX}) EXPECT_EQ(m.vkt_settingform_open_port(port), 0);
         EXPECT_EQ(m.settingform_check(), 0);
       }},
      {"vkt_setting_get",
       [](Module& m, State) {
         Buffer b;
         EXPECT_EQ(m.vkt_setting_get(VKT_SETTING_RECORD, b.text(), 100), -1);
         EXPECT_EQ(m.vkt_setting_get(INT_MIN, nullptr, 100), -1);
         EXPECT_TRUE(b.untouched());
       }},
      {"vkt_setting_item",
       [](Module& m, State) {
         Buffer b;
         EXPECT_EQ(m.vkt_setting_item(VKT_SETTING_RECORD, 0, b.text(), 100), -1);
         EXPECT_EQ(m.vkt_setting_item(VKT_SETTING_RECORD, INT_MIN, nullptr, 100), -1);
         EXPECT_TRUE(b.untouched());
       }},
      {"vkt_setting_set",
       [](Module& m, State) {
         EXPECT_EQ(m.vkt_setting_set(VKT_SETTING_RECORD, "0"), -1);
         EXPECT_EQ(m.vkt_setting_set(VKT_SETTING_START, nullptr), -1);
       }},
      {"vkt_settingform_press",
       [](Module& m, State) {
         EXPECT_EQ(m.vkt_settingform_press(VKT_SETTING_OK), -1);
         EXPECT_EQ(m.vkt_settingform_press(INT_MIN), -1);
       }},
  };
  for (auto& c : text_cases()) cases.push_back(std::move(c));
  return cases;
}

TEST(ExportMisuse, EveryExportInEveryStateFailsSafely) {
  EmptyMachine machine;
  auto cases = all_cases();
  ASSERT_EQ(cases.size(), 57u);  // the 32 exports, the two extensions and the Linux ones (two share a case)
  for (State s : {State::NoWindow, State::Released, State::ClosedPort}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name + " with " + name_of(s));
      Module m;
      enter(m, s);
      c.check(m, s);
      // The library is still usable afterwards.
      EXPECT_EQ(m.vkt_dll_ver(), 107);
      m.form_release();
      m.settingform_release();
    }
  }
}

TEST(ExportMisuse, EachLoadStartsWithNoWindowAndNoState) {
  EmptyMachine machine;
  {
    Module m;
    m.form_open();
    EXPECT_EQ(m.vkt_datacount(), 4);
  }
  Module m;
  EXPECT_EQ(m.vkt_datacount(), 0);  // no monitor window after a reload
  EXPECT_EQ(m.settingform_check(), 0);
}

}  // namespace
