#include "vktcli/commands.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "vktcli/exit_codes.h"
#include "vktcli/messages.h"
#include "vktcli/parameters.h"
#include "vktcli/progress.h"
#include "vktcli/record_output.h"
#include "vktcli/serial_ports.h"
#include "vktcli/simulation.h"

namespace vktcli {
namespace {

using Seconds = std::chrono::duration<double>;

std::string port_text(const Api& api, int port) {
  const std::string device = port_device_path(api, port);
  return device.empty() ? fmt::format("COM{}", port) : fmt::format("COM{} ({})", port, device);
}

}  // namespace

void say_verbose(const Context& context, const std::string& text) {
  if (context.verbose) std::fprintf(stderr, "vkt: %s\n", text.c_str());
}

std::string describe_port(const Context& context, int port) {
  if (!context.port_path.empty() && (port == VKT_PATH_PORT || port == 0)) return context.port_path;
  return port_text(context.api, port);
}

int open_logger_port(Context& context) {
  const Api& api = context.api;
  int port = 0;
  if (!context.port && context.port_path.empty()) {
    say_verbose(context, fmt::format("searching the serial devices of the port table for the logger's adapter "
                                     "{:04x}:{:04x}",
                                     VKT_LOGGER_VENDOR_ID, VKT_LOGGER_PRODUCT_ID));
    port = api.com_search();
    // The simulated adapter is ttyUSB0, port 1. Should the port search not
    // see it (a search that cannot read the simulated sysfs folder), the
    // simulation still works on port 1.
    if (port == 0 && context.simulation != nullptr) port = 1;
    if (port == 0) throw Failure(kExitNoLogger, explain_no_logger(api));
    say_verbose(context, "the search found the logger on " + port_text(api, port));
  } else {
    // The monitor window holds the port, and only the search functions and
    // form_open create it: create it, and hide it again.
    api.form_open();
    api.form_close();
  }
  int opened = 0;
  if (!context.port_path.empty()) {
    say_verbose(context, "opening " + context.port_path);
    opened = api.vkt_open_path(context.port_path.c_str());
  } else {
    if (context.port) port = *context.port;
    say_verbose(context, "opening " + port_text(api, port));
    opened = api.com_open(port);
  }
  if (opened < 0) {
    int32_t error = 0;
    char message[256] = {};
    const int32_t code = api.vkt_open_error(&error, message, sizeof message);
    const std::string where = context.port_path.empty() ? port_text(api, port) : context.port_path;
    throw Failure(kExitCannotOpen, open_failure_text(where, code, error, message));
  }
  say_verbose(context, "opened " + describe_port(context, opened) + " at 19200 baud, 8N1");
  return opened;
}

namespace {

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
    port_ = open_logger_port(context_);
    return port_;
  }

  void connect() {
    if (!api_.vkt_connect()) throw Failure(kExitNoAnswer, "the logger does not answer on " + describe_port(context_, port_));
  }

  // The parameter lines: asks the logger ("p") and reads back the lines of
  // the connect.
  LoggerParameters parameters() {
    std::vector<char> text(VKTCOM_PARAM_BUFFER_SIZE, '\0');
    text[0] = '\x01';  // left as it is when the logger stays silent
    api_.vkt_get_param(text.data());
    if (text[0] == '\x01') throw Failure(kExitNoAnswer, "the logger does not answer the parameter request");
    return library_parameters(api_, text.data());
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

// The lines of a text whose lines each end in LF.
std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
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

// Writes the records to standard output. A reader that has gone (the
// pipe's reading end closed: `vkt download | head -1`) wanted no more: the
// program ends quietly with success, as cat does under head.
void write_stdout(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EPIPE) throw Failure(kExitOk, "");
    if (n <= 0) {
      throw Failure(kExitOutput, std::string("cannot write the records to standard output: ") +
                                     std::strerror(n < 0 ? errno : EIO));
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

int run_ports(Context& context, PortsView view) {
  const Api& api = context.api;
  const int port = api.com_search();
  // The search's four lists and its status, as the monitor window shows them.
  std::vector<std::pair<std::string, std::string>> shown;
  if (view == PortsView::Raw) {
    const std::pair<const char*, int32_t> lists[] = {{"ListBox11 (serial devices present)", VKT_SEARCH_DEVICES},
                                                     {"ListBox12 (virtual COM ports)", VKT_SEARCH_VCP},
                                                     {"ListBox13 (adapters seen)", VKT_SEARCH_ADAPTERS},
                                                     {"ListBox14 (logger ports)", VKT_SEARCH_RESULT},
                                                     {"Label11", VKT_SEARCH_STATUS}};
    for (const auto& entry : lists) {
      const int32_t list = entry.second;
      shown.emplace_back(entry.first,
                         whole_text([&](char* b, int32_t n) { return api.vkt_search_list(list, b, n); }).value_or(""));
    }
  }
  api.form_release();
  api.vkt_process_messages();

  if (view == PortsView::Json) {
    std::fputs(format_port_json(list_serial_ports(api), port, port_device_path(api, port)).c_str(), stdout);
    std::fflush(stdout);
    return kExitOk;
  }
  if (context.simulation != nullptr && view != PortsView::Brief && !context.quiet) {
    std::fprintf(stderr, "simulated logger on %s (device folder %s/dev)\n",
                 context.simulation->logger().slave_path().c_str(), context.simulation->root().c_str());
  }
  if (view == PortsView::Table) {
    const std::vector<SerialPortInfo> found = list_serial_ports(api);
    if (found.empty()) print_line("no serial device of the port table (any other is reached by --port PATH)");
    else std::fputs(format_port_table(found).c_str(), stdout);
  }
  for (const auto& [title, text] : shown) {
    const std::vector<std::string> entries = lines_of(text);
    if (title == "Label11") {
      print_line("Label11: " + (entries.empty() ? std::string() : entries.front()));
      continue;
    }
    print_line(title + ":");
    for (const std::string& entry : entries) print_line("  " + entry);
  }
  if (port != 0) {
    print_line(view == PortsView::Brief ? port_text(api, port) : "logger: " + port_text(api, port));
    return kExitOk;
  }
  // A listing without a logger is still a listing; only --brief, which
  // prints nothing but the logger's port, fails. The explanation goes to
  // standard error when it names something to fix (the logger's adapter
  // seen without its device), or with --brief.
  bool seen_adapter = false;
  const std::string why = explain_no_logger(api, &seen_adapter);
  if (view == PortsView::Brief) throw Failure(kExitNoLogger, why);
  print_line("logger: none found");
  if (seen_adapter && !context.quiet) std::fprintf(stderr, "vkt: %s\n", why.c_str());
  return kExitOk;
}

int run_info(Context& context) {
  LoggerLink link(context);
  const int port = link.open();
  link.connect();
  const LoggerParameters parameters = link.parameters();

  print_line(fmt::format("library: {} (version {})", context.module_path, context.api.vkt_dll_ver()));
  print_line("port: " + describe_port(context, port));
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

}  // namespace

std::vector<RecordFields> records_from_text(const Api& api, const std::string& text, const std::string& year) {
  std::vector<vkt_record> found(static_cast<std::size_t>(std::max(api.vkt_decode_records(text.c_str(), year.c_str(), nullptr, 0), 0)));
  const int32_t n = api.vkt_decode_records(text.c_str(), year.c_str(), found.data(), static_cast<int32_t>(found.size()));
  found.resize(static_cast<std::size_t>(std::clamp<int32_t>(n, 0, static_cast<int32_t>(found.size()))));
  std::vector<RecordFields> records;
  records.reserve(found.size());
  for (const vkt_record& f : found) {
    RecordFields r;
    // The texts the library's accessors write for a decoded record.
    r.date = (f.year != 0 ? std::to_string(f.year) : std::string()) + fmt::format("/{:02}/{:02}", f.month, f.day);
    r.time = fmt::format("{:02}:{:02}:{:02}.{:02}", f.hour, f.min, f.sec, f.msec);
    r.x = std::to_string(f.x);
    r.y = std::to_string(f.y);
    r.z = std::to_string(f.z);
    r.temperature = fmt::format("{}.{}", f.deg, f.n);
    r.humidity = std::to_string(f.humi);
    records.push_back(std::move(r));
  }
  return records;
}

bool PartialDownloadStop::stop() {
  const Api* api = api_.load();
  if (!api || stopped_.exchange(true)) return false;
  return api->vkt_download_stop() == 1;
}

PartialDownloadStop& partial_download_stop() {
  static PartialDownloadStop instance;
  return instance;
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

  DownloadProgress progress(expected, bytes, show_bar && !context.quiet);
  if (options.partial) partial_download_stop().running(&api);
  const bool complete = api.vkt_inputdata() != 0;
  partial_download_stop().running(nullptr);
  const bool interrupted = partial_download_stop().stopped();
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
    const std::string why = interrupted ? std::string("interrupted") : download_failure_text(report, index, length);
    if (!options.partial) throw Failure(kExitTransferFailed, why + "\n  (--partial keeps the records received)");
    std::fprintf(stderr, "vkt: %s\n", why.c_str());
    records = records_from_text(api, downloaded_text(api), year);
  }

  const std::string text = format_records(records, options.format);
  if (options.output.empty()) {
    write_stdout(text);
  } else {
    write_output(options.output, text);
  }
  if (!complete) {
    if (!context.quiet) {
      std::fprintf(stderr, "kept %zu records received before the %s (--partial)\n", records.size(),
                   interrupted ? "interruption" : "failure");
    }
    return interrupted ? kExitInterrupted : kExitPartial;
  }
  if (!context.quiet) std::fprintf(stderr, "downloaded %zu records in %.1f s\n", records.size(), seconds);
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
  if (context.simulation != nullptr && !context.quiet) {
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
  if (!context.quiet) std::fprintf(stderr, "watching for the logger; Ctrl-C stops\n");

  int announced = 0;
  auto next_search = std::chrono::steady_clock::now();
  while (!stop.load()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= next_search) {
      const int port = api.com_search();
      if (port != 0 && announced == 0) {
        announced = port;
        print_line(fmt::format("{} 接続 Port={} (connected: {})", timestamp_now(), port, port_text(api, port)));
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
