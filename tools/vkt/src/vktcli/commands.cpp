#include "vktcli/commands.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "exports/library.h"
#include "link/port_discovery.h"
#include "records/record_decoder.h"
#include "vktcli/exit_codes.h"
#include "vktcli/messages.h"
#include "vktcli/parameters.h"
#include "vktcli/progress.h"
#include "vktcli/record_output.h"
#include "vktcli/serial_ports.h"
#include "vktcli/simulation.h"
#include "windows/monitor_window.h"

namespace vktcli {
namespace {

using Seconds = std::chrono::duration<double>;

std::string port_text(int port) {
  const std::string device = port_device_path(port);
  return device.empty() ? fmt::format("COM{}", port) : fmt::format("COM{} ({})", port, device);
}

// The road every logger command takes: find the port, open it, connect.
// Closes the port and releases the monitor window (with its records) when
// it ends, however it ends.
class LoggerLink {
 public:
  explicit LoggerLink(Context& context) : context_(context), api_(context.api) {}
  ~LoggerLink() {
    api_.com_close();
    api_.form_release();
    api_.vkt_process_messages();  // the release takes effect at the next dispatch
  }
  LoggerLink(const LoggerLink&) = delete;
  LoggerLink& operator=(const LoggerLink&) = delete;

  // Finds and opens the port; returns its number.
  int open() {
    int port = 0;
    if (context_.port) {
      // The monitor window holds the port, and only the search functions and
      // form_open create it: create it, and hide it again.
      api_.form_open();
      api_.form_close();
      port = *context_.port;
    } else {
      port = api_.com_search();
      // The simulated adapter is ttyUSB0, port 1. Should the port search
      // not see it (a search that cannot read the simulated sysfs folder),
      // the simulation still works on port 1.
      if (port == 0 && context_.simulation != nullptr) port = 1;
      if (port == 0) throw Failure(kExitNoLogger, explain_no_logger());
    }
    const int opened = api_.com_open(port);
    if (opened < 0) {
      int32_t error = 0;
      char message[256] = {};
      const int32_t code = api_.vkt_open_error(&error, message, sizeof message);
      throw Failure(kExitCannotOpen, open_failure_text(port, port_device_path(port), code, error, message));
    }
    port_ = opened;
    return opened;
  }

  void connect() {
    if (!api_.vkt_connect()) throw Failure(kExitNoAnswer, "the logger does not answer on " + port_text(port_));
  }

  // The parameter lines: asks the logger ("p") and reads back the lines of
  // the connect.
  LoggerParameters parameters() {
    std::vector<char> text(VKTCOM_PARAM_BUFFER_SIZE, '\0');
    text[0] = '\x01';  // left as it is when the logger stays silent
    api_.vkt_get_param(text.data());
    if (text[0] == '\x01') throw Failure(kExitNoAnswer, "the logger does not answer the parameter request");
    return parse_parameters(text.data());
  }

  int port() const { return port_; }

 private:
  Context& context_;
  const Api& api_;
  int port_ = 0;
};

// The local time as ISO 8601 with its offset, "2024-03-15T13:45:30+09:00".
std::string timestamp_now() {
  const time_t now = time(nullptr);
  struct tm t {};
  localtime_r(&now, &t);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &t);
  std::string s(text);
  if (s.size() >= 5 && (s[s.size() - 5] == '+' || s[s.size() - 5] == '-')) s.insert(s.size() - 2, ":");
  return s;
}

std::string local_time_text() {
  const time_t now = time(nullptr);
  struct tm t {};
  localtime_r(&now, &t);
  return fmt::format("{:04}/{:02}/{:02} {:02}:{:02}:{:02}", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                     t.tm_min, t.tm_sec);
}

void print_line(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

template <std::size_t N>
std::string read_field(void (*accessor)(int32_t, char*), int32_t row) {
  char text[N] = {};
  accessor(row, text);
  text[N - 1] = '\0';
  return text;
}

void write_stdout(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    throw Failure(kExitOutput, "cannot write the records to standard output");
  }
}

}  // namespace

int run_ports(Context& context, PortsView view) {
  const Api& api = context.api;
  const int port = api.com_search();
  api.form_release();
  api.vkt_process_messages();

  if (context.simulation != nullptr && view != PortsView::Brief) {
    print_line(fmt::format("simulated logger on {} (device folder {}/dev)", context.simulation->logger().slave_path(),
                           context.simulation->root()));
  }
  if (view == PortsView::Table) {
    std::fputs(format_port_table(list_serial_ports()).c_str(), stdout);
  } else if (view == PortsView::Raw) {
    // The four lists of the search are the monitor window's and the
    // exported functions do not hand them over: run the same search with
    // the library's core in this program and show them.
    vkt::Library core;
    vkt::link::com_search(core);
    if (const vkt::windows::TForm2* monitor = core.monitor()) {
      auto show = [](const char* title, const vkt::windows::ListBox& list) {
        print_line(fmt::format("{}:", title));
        for (const std::string& item : list.items()) print_line("  " + item);
      };
      show("ListBox11 (serial devices present)", monitor->ListBox11);
      show("ListBox12 (virtual COM ports)", monitor->ListBox12);
      show("ListBox13 (adapters seen)", monitor->ListBox13);
      show("ListBox14 (logger ports)", monitor->ListBox14);
      print_line("Label11: " + monitor->Label11.text());
    }
  }
  if (port == 0) throw Failure(kExitNoLogger, explain_no_logger());
  print_line(view == PortsView::Brief ? port_text(port) : "logger: " + port_text(port));
  return kExitOk;
}

int run_info(Context& context) {
  LoggerLink link(context);
  const int port = link.open();
  link.connect();
  const LoggerParameters parameters = link.parameters();

  print_line(fmt::format("library: {} (version {})", context.module_path, context.api.vkt_dll_ver()));
  print_line("port: " + port_text(port));
  print_line("parameters:");
  for (const std::string& line : parameters.lines) print_line("  " + line);
  print_line("year: " + (parameters.year.empty() ? std::string("unknown") : parameters.year));
  print_line("records: " + (parameters.count ? std::to_string(*parameters.count) : std::string("unknown")));
  return kExitOk;
}

int run_clock(Context& context) {
  LoggerLink link(context);
  link.open();
  link.connect();
  const std::string pc_time = local_time_text();
  // The library shows its own message ("Clock Set Error(Command s)", ...).
  if (!context.api.vkt_clkset()) throw Failure(kExitTransferFailed, "setting the logger's clock failed");
  print_line("clock set from the PC: " + pc_time);
  if (context.simulation != nullptr) {
    print_line("simulated logger's clock: " + context.simulation->logger().clock_text());
  }
  return kExitOk;
}

namespace {

// The library's record table, row by row, through the accessors.
std::vector<RecordFields> read_record_table(const Api& api) {
  const int32_t count = api.vkt_datacount();
  std::vector<RecordFields> records;
  records.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
  for (int32_t row = 1; row <= count; ++row) {
    RecordFields r;
    r.date = read_field<VKTCOM_DATE_BUFFER_SIZE>(api.vkt_get_date, row);
    r.time = read_field<VKTCOM_TIME_BUFFER_SIZE>(api.vkt_get_time, row);
    r.x = read_field<VKTCOM_AXIS_BUFFER_SIZE>(api.vkt_get_x, row);
    r.y = read_field<VKTCOM_AXIS_BUFFER_SIZE>(api.vkt_get_y, row);
    r.z = read_field<VKTCOM_AXIS_BUFFER_SIZE>(api.vkt_get_z, row);
    r.temperature = read_field<VKTCOM_DEG_BUFFER_SIZE>(api.vkt_get_deg, row);
    r.humidity = read_field<VKTCOM_HUMI_BUFFER_SIZE>(api.vkt_get_humi, row);
    records.push_back(std::move(r));
  }
  return records;
}

// The received text of a failed download.
std::string downloaded_text(const Api& api) {
  std::string text(static_cast<std::size_t>(std::max(api.vkt_download_text(nullptr, 0), 0)) + 1, '\0');
  api.vkt_download_text(text.data(), static_cast<int32_t>(text.size()));
  text.resize(std::strlen(text.c_str()));
  return text;
}

std::string two(int v) { return fmt::format("{:02}", v); }

}  // namespace

std::vector<RecordFields> records_from_text(std::string_view text, const std::string& year) {
  std::vector<RecordFields> records;
  std::optional<int> year_value;
  if (!year.empty() && year.find_first_not_of("0123456789") == std::string::npos && year.size() < 6) {
    year_value = std::stoi(year);
  }
  std::optional<int> last_tag;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    const auto f = vkt::records::parse_record_line(line);
    if (!f) continue;  // a line cut short, the terminator, a bad line: not a record
    // As the library dates them: every change of year tag is the next year.
    if (last_tag && *last_tag != f->year_tag && year_value) ++*year_value;
    last_tag = f->year_tag;
    RecordFields r;
    r.date = (year_value ? std::to_string(*year_value) : std::string()) + "/" + two(f->month) + "/" + two(f->day);
    r.time = two(f->hour) + ":" + two(f->minute) + ":" + two(f->second) + "." + two(f->msec);
    r.x = std::to_string(f->x);
    r.y = std::to_string(f->y);
    r.z = std::to_string(f->z);
    r.temperature = std::to_string(f->deg) + "." + std::to_string(f->tenths);
    r.humidity = std::to_string(f->humi);
    records.push_back(std::move(r));
  }
  return records;
}

int run_download(Context& context, const DownloadOptions& options) {
  if (!options.output.empty()) check_output_path(options.output);  // before a long download, not after

  const Api& api = context.api;
  LoggerLink link(context);
  link.open();
  link.connect();

  const bool show_bar = stderr_is_terminal();
  std::optional<long> expected;
  std::string year;
  if (show_bar || options.partial) {
    const LoggerParameters parameters = link.parameters();
    expected = parameters.count;
    year = parameters.year;
  }
  DownloadProgress::ByteCounter bytes;
  if (context.simulation != nullptr) {
    vktsim::LoggerSim& logger = context.simulation->logger();
    bytes = [&logger] { return logger.counters().bytes_sent; };
  }

  DownloadProgress progress(expected, bytes, show_bar, stderr, stderr_columns());
  const bool complete = api.vkt_inputdata() != 0;
  const double seconds = progress.stop();

  std::vector<RecordFields> records;
  if (complete) {
    records = read_record_table(api);
  } else {
    vkt_download_report report{};
    api.vkt_get_download_report(&report);
    std::vector<int32_t> index(5), length(5);
    index.resize(static_cast<std::size_t>(std::max(api.vkt_download_bad_lines(index.data(), length.data(), 5), 0)));
    length.resize(index.size());
    const std::string why = download_failure_text(report, index, length);
    if (!options.partial) throw Failure(kExitTransferFailed, why + "\n  (--partial keeps the records received)");
    std::fprintf(stderr, "vkt: %s\n", why.c_str());
    records = records_from_text(downloaded_text(api), year);
  }

  const std::string text = format_records(records, options.format);
  if (options.output.empty()) {
    write_stdout(text);
  } else {
    write_output(options.output, text);
  }
  if (!complete) {
    std::fprintf(stderr, "kept %zu records received before the failure (--partial)\n", records.size());
    return kExitPartial;
  }
  std::fprintf(stderr, "downloaded %zu records in %.1f s\n", records.size(), seconds);
  return kExitOk;
}

int run_send(Context& context, const std::string& command) {
  if (command.empty()) throw Failure(kExitUsage, "the command is empty");
  LoggerLink link(context);
  link.open();
  link.connect();

  std::size_t replies_before = 0;
  if (context.simulation != nullptr) replies_before = context.simulation->logger().counters().replies;
  std::vector<char> reply(65536);
  const int32_t length = context.api.vkt_command_reply(command.c_str(), reply.data(), static_cast<int32_t>(reply.size()));
  if (length < 0) throw Failure(kExitTransferFailed, "cannot send " + command + ": the port is not open");
  if (length > 0) {
    std::string text(reply.data());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    print_line(text);
    if (length >= static_cast<int32_t>(reply.size())) {
      std::fprintf(stderr, "vkt: the reply was cut to its first %zu bytes\n", reply.size() - 1);
    }
  }
  if (context.simulation != nullptr) {
    const bool answered = context.simulation->logger().counters().replies > replies_before;
    std::fprintf(stderr, "%s\n", answered ? "simulated logger: answered" : "simulated logger: did not answer");
  }
  if (length == 0) throw Failure(kExitTransferFailed, "the logger did not answer " + command + " within 3 s");
  return kExitOk;
}

int run_watch(Context& context, const std::atomic<bool>& stop) {
  const Api& api = context.api;
  // The library's own port-watching timer ticks while messages are
  // dispatched; it announces "接続" and "切断" in its progress popup, which
  // the exported functions do not report. The same announcements are made
  // here from a port search of our own every second, by the timer's rule:
  // a port appearing while none was announced, and the port vanishing.
  api.com_search_timer(1);
  std::fprintf(stderr, "watching for the logger; Ctrl-C stops\n");

  int announced = 0;
  auto next_search = std::chrono::steady_clock::now();
  while (!stop.load()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= next_search) {
      const int port = api.com_search();
      if (port != 0 && announced == 0) {
        announced = port;
        print_line(fmt::format("{} 接続 Port={} (connected: {})", timestamp_now(), port, port_text(port)));
      } else if (port == 0 && announced != 0) {
        announced = 0;
        print_line(fmt::format("{} 切断 (disconnected)", timestamp_now()));
      }
      next_search = now + std::chrono::seconds(1);
    }
    api.vkt_process_messages();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }

  api.com_search_timer(0);
  api.form_release();
  api.vkt_process_messages();
  return kExitOk;
}

}  // namespace vktcli
