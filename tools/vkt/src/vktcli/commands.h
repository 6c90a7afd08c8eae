#pragma once
// The subcommands that work through the library's exported functions.
// Each returns the exit code or throws Failure.
#include <atomic>
#include <optional>
#include <string>

#include <string_view>
#include <vector>

#include "vktcli/module.h"
#include "vktcli/record_output.h"

namespace vktcli {

class Simulation;

struct Context {
  const Api& api;
  std::string module_path;
  Simulation* simulation = nullptr;  // the simulated logger, when --simulate
  std::optional<int> port;           // --port N or COMN; otherwise the port search picks it
  std::string port_path;             // --port PATH: any terminal device, opened by its path
  bool verbose = false;              // -v: say on stderr what is searched and opened
  bool quiet = false;                // -q: errors only on stderr
};

// Says `text` on stderr as "vkt: <text>" when -v was given.
void say_verbose(const Context& context, const std::string& text);

// The port as a person knows it: "COM1 (/dev/ttyUSB0)", or the device
// path --port named when the port table has no number for it.
std::string describe_port(const Context& context, int port);

// Opens the port the command talks to: the one --port names (number or
// device path), else the one the port search finds (with the simulated
// logger, its port 1 should the search not see it). Returns the port's
// number (VKT_PATH_PORT for a device outside the port table). Throws
// Failure: kExitNoLogger with what the search saw, kExitCannotOpen with the
// system's cause and a hint. A monitor window is made when none exists.
int open_logger_port(Context& context);

// A reply to a command comes at once; a silent logger costs the library's
// full 3000 ms reply time-out. A call that took this long got no reply.
inline constexpr double kNoReplySeconds = 2.9;

// `vkt ports`: the table of serial ports, the port search's four lists
// (--raw), only the logger's port (--brief) or the table as JSON (--json).
// Exits 0 when it lists, with or without a logger; --brief alone exits
// with kExitNoLogger when none is found.
enum class PortsView { Table, Raw, Brief, Json };
int run_ports(Context& context, PortsView view);
int run_info(Context& context);
int run_clock(Context& context);

struct DownloadOptions {
  std::string output;  // empty: standard output
  OutputFormat format = OutputFormat::Csv;
  bool partial = false;  // a failed download still writes the records received
};
// The records among the lines of a download's text, decoded and dated by
// the library (vkt_decode_records) from the logger's year (empty: dates
// without a year), with the texts of the library's accessors.
std::vector<RecordFields> records_from_text(const Api& api, const std::string& text, const std::string& year);
int run_download(Context& context, const DownloadOptions& options);

// An interrupt (SIGINT, SIGTERM) during a download with --partial asks the
// library to end the download (vkt_download_stop), so that the records
// received are written before the program ends. The interrupt's thread
// calls stop(); true when a download was asked to end, false when none
// runs (or a second interrupt came): the program then ends at once.
class PartialDownloadStop {
 public:
  bool stop();
  // Set by run_download while a download with --partial runs.
  void running(const Api* api) { api_.store(api); }
  bool stopped() const { return stopped_.load(); }

 private:
  std::atomic<const Api*> api_{nullptr};
  std::atomic<bool> stopped_{false};
};
PartialDownloadStop& partial_download_stop();

int run_send(Context& context, const std::string& command);

// Runs until `stop` is set (by SIGINT or SIGTERM).
int run_watch(Context& context, const std::atomic<bool>& stop);

}  // namespace vktcli
