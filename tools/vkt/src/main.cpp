// vkt: the command-line host of the vktcom library.
//
// The program is an ordinary client of the library: it loads libvktcom.so
// with dlopen and calls only its exported functions (vktcom.h) and its
// Linux extensions (vktcom_ext.h). `settings` (and `settings set`) work the
// library's settings dialog through those extensions as a user would
// (select items, press up-down arrows, tick the start-time box, type the
// start-time fields, press Ok), so that the settings are applied by the
// dialog's own apply code.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <atomic>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vktcli/commands.h"
#include "vktcli/exit_codes.h"
#include "vktcli/messages.h"
#include "vktcli/module.h"
#include "vktcli/parameters.h"
#include "vktcli/serial_ports.h"
#include "vktcli/settings_command.h"
#include "vktcli/simulation.h"
#include "vktcli/trace_echo.h"

namespace {

using namespace vktcli;

constexpr const char* kDescription =
    "vkt: talks to a VKT data logger through the vktcom library.\n"
    "\n"
    "The library module is loaded from --library PATH, else $VKTCOM_LIBRARY, else the\n"
    "libvktcom.so of the build tree this program lies in, else the installed\n"
    "libvktcom.so.1 by the loader's search. Every subcommand uses only the library's\n"
    "exported functions and its Linux extensions; `settings` works the library's settings\n"
    "dialog through them as a user would, so settings are applied by the dialog's own\n"
    "apply code.\n"
    "\n"
    "Without --port the port search picks the logger's port. --simulate plays a logger\n"
    "with the built-in simulator on a pseudo-terminal (its adapter appears as ttyUSB0,\n"
    "COM1), so every subcommand works without a logger.\n"
    "Messages of the library appear on standard error as \"VKTCom: <text>\", its\n"
    "Japanese texts with their English meaning beside them in brackets.";

// SIGINT and SIGTERM: `watch` stops cleanly, a download with --partial ends
// and writes the records received; every other subcommand stops at once
// (nothing is written before a download is complete) after removing
// the temporary folders (the simulator's, the trace `-v` follows).
struct Interrupts {
  std::atomic<bool> stop{false};
  std::atomic<bool> graceful{false};
  std::mutex mu;
  std::vector<std::string> cleanup_folders;
};
Interrupts g_interrupts;

void start_interrupt_thread() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  // Blocked before any other thread exists, so only this thread takes them.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals] {
    for (;;) {
      int signal = 0;
      if (sigwait(&signals, &signal) != 0) continue;
      if (g_interrupts.graceful.load()) {
        g_interrupts.stop.store(true);
        continue;
      }
      // A download with --partial ends and writes what came; a second
      // interrupt ends the program at once.
      if (partial_download_stop().stop()) continue;
      {
        std::lock_guard lock(g_interrupts.mu);
        std::error_code ec;
        for (const std::string& folder : g_interrupts.cleanup_folders) std::filesystem::remove_all(folder, ec);
      }
      write_stderr_now("vkt: interrupted\n");
      _exit(kExitInterrupted);
    }
  }).detach();
}

// The trace `vkt -v` follows: the file of --trace, else one it starts in a
// temporary folder, removed when the command ends (or is interrupted).
class VerboseTrace {
 public:
  VerboseTrace(const Api& api, const std::string& trace) : api_(api) {
    std::string path = trace;
    if (path.empty()) {
      folder_ = make_temporary_folder("vkt-trace");
      if (folder_.empty()) return;
      {
        std::lock_guard lock(g_interrupts.mu);
        g_interrupts.cleanup_folders.push_back(folder_);
      }
      path = folder_ + "/trace.log";
      if (api_.vkt_trace_start(path.c_str()) != 1) return;
      started_ = true;
    }
    echo_.emplace(path, [](const std::string& event) { std::fprintf(stderr, "vkt: line: %s\n", event.c_str()); });
  }
  ~VerboseTrace() {
    if (started_) api_.vkt_trace_stop();
    echo_.reset();
    if (folder_.empty()) return;
    std::lock_guard lock(g_interrupts.mu);
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
    std::erase(g_interrupts.cleanup_folders, folder_);
  }
  VerboseTrace(const VerboseTrace&) = delete;
  VerboseTrace& operator=(const VerboseTrace&) = delete;

 private:
  const Api& api_;
  std::string folder_;
  bool started_ = false;
  std::optional<TraceEcho> echo_;
};

// The port table's numbers, first and last (COM1 to COM72), as the
// library numbers its devices.
std::pair<int, int> port_table_range(const Api& api) {
  int first = 0, last = 0;
  for (int n = 1; n <= 1024; ++n) {
    if (api.vkt_port_device(n, nullptr, 0) <= 0) continue;
    if (first == 0) first = n;
    last = n;
  }
  return {first, last};
}

// --port: a device path (anything with a "/"), opened as it stands; or N /
// COMN, a number of the library's port table.
void parse_port(const Api& api, const std::string& text, Context& context) {
  if (text.find('/') != std::string::npos) {
    context.port_path = text;
    return;
  }
  std::string digits = text;
  if (digits.size() > 3 && (digits.rfind("COM", 0) == 0 || digits.rfind("com", 0) == 0)) digits = digits.substr(3);
  const bool number = !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
  if (number && digits.size() <= 5 && api.vkt_port_device(std::stoi(digits), nullptr, 0) > 0) {
    context.port = std::stoi(digits);
    return;
  }
  const auto [first, last] = port_table_range(api);
  if (number) {
    throw Failure(kExitUsage, fmt::format("--port {}: the port table numbers COM{} to COM{}; a device path such as "
                                          "/dev/ttyUSB20 opens any serial device",
                                          text, first, last));
  }
  throw Failure(kExitUsage, fmt::format("--port {}: give a device path such as /dev/ttyUSB0, or N or COMN of the "
                                        "port table (COM{} to COM{})",
                                        text, first, last));
}

// A whole number from `min` to `max`, checked on the text as typed (so that
// "-5" is never wrapped into a huge unsigned count).
CLI::Validator whole_number(unsigned long long min, unsigned long long max) {
  return CLI::Validator(
      [min, max](std::string& text) -> std::string {
        const bool digits = !text.empty() && text.size() <= 20 && text.find_first_not_of("0123456789") == std::string::npos;
        errno = 0;
        const unsigned long long n = digits ? std::strtoull(text.c_str(), nullptr, 10) : 0;
        if (digits && errno == 0 && n >= min && n <= max) return {};
        return fmt::format("\"{}\" is not a whole number from {} to {}", text, min, max);
      },
      fmt::format("{}..{}", min, max));
}

// CLI11's message in the program's own style: lower-case, as every other
// "vkt: ..." message.
std::string parser_message(const CLI::ParseError& e) {
  std::string text = e.what();
  if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr) {
    if (text.find("subcommand") != std::string::npos) {
      return "a subcommand is required: ports, info, clock, download, send, watch or settings";
    }
    // "CMD is required"
    if (const std::size_t at = text.find(" is required"); at != std::string::npos) return "missing " + text.substr(0, at);
  }
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' && !(text.size() > 1 && text[1] >= 'A' && text[1] <= 'Z')) {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  start_interrupt_thread();
  signal(SIGPIPE, SIG_IGN);  // a closed standard output is reported, not fatal
  // Before anything is written: the library's Japanese texts get their
  // English meaning beside them.
  StderrTranslator translator;

  CLI::App app{kDescription, "vkt"};
  app.fallthrough();  // global options may also follow the subcommand
  app.require_subcommand(0, 1);  // none only with -V (checked after the parse)
  app.footer(exit_code_help());
  app.set_version_flag("");  // -V/--version loads the library to name its version too
  bool version = false, verbose = false, quiet = false;
  app.add_flag("-V,--version", version, "print the program's and the library's versions and exit");
  auto* verbose_flag =
      app.add_flag("-v,--verbose", verbose, "say on stderr which library was loaded, which port searched and opened, and the bytes on the line");
  app.add_flag("-q,--quiet", quiet, "print only errors on stderr (no progress bar, no summary)")->excludes(verbose_flag);

  std::string library;
  std::string trace;
  std::string port;
  bool simulate = false;
  SimulationOptions sim;
  std::size_t hang_up_after = 0;
  unsigned unplug_after = 0;
  std::size_t bad_record = 0;

  app.add_option("--library", library, "the libvktcom.so to load")->type_name("PATH")->take_last();
  app.add_option("--trace", trace, "write the library's trace (every call and every byte, with times) to FILE")
      ->type_name("FILE")
      ->take_last();
  auto* port_option = app.add_option("--port", port,
                                     "use this port instead of searching: any serial device by its path\n"
                                     "(/dev/ttyUSB0, /dev/serial/by-id/..., /dev/pts/3), or N or COMN of\n"
                                     "the port table (COM1 to COM72)")
                          ->type_name("PORT");
  auto* simulate_flag = app.add_flag("--simulate", simulate, "talk to a simulated logger");
  app.add_option("--sim-records", sim.records, "records the simulated logger holds, 1 to 1048576")
      ->capture_default_str()
      ->check(whole_number(1, 1048576))
      ->needs(simulate_flag);
  app.add_flag("--sim-unpaced", sim.unpaced, "the simulated logger replies at full speed, not at 19200 baud")
      ->needs(simulate_flag);
  // Hidden: the simulator's generator and faults, for trying the error paths.
  app.add_option("--sim-seed", sim.seed)->group("")->check(whole_number(0, 4294967295ULL))->needs(simulate_flag);
  app.add_flag("--sim-new-year", sim.new_year)->group("")->needs(simulate_flag);
  app.add_flag("--sim-silent", sim.silent)->group("")->needs(simulate_flag);
  app.add_option("--sim-no-answer", sim.no_answer)->group("")->needs(simulate_flag);
  auto* hang_up_option = app.add_option("--sim-hang-up-after", hang_up_after)
                             ->group("")
                             ->check(whole_number(0, 1ULL << 32))
                             ->needs(simulate_flag);
  auto* unplug_option = app.add_option("--sim-unplug-after", unplug_after)
                            ->group("")
                            ->check(whole_number(0, 3600000))
                            ->needs(simulate_flag);
  auto* bad_record_option =
      app.add_option("--sim-bad-record", bad_record)->group("")->check(whole_number(0, 1048575))->needs(simulate_flag);

  auto* ports = app.add_subcommand("ports", "list the serial ports and search for the logger's port");
  bool brief = false, raw = false, ports_json = false;
  auto* brief_flag = ports->add_flag("--brief", brief, "print only the logger's port (exit code 4 when none is found)");
  auto* ports_json_flag =
      ports->add_flag("--json", ports_json, "print the table and the logger's port as one JSON object")
          ->excludes(brief_flag);
  ports->add_flag("--raw", raw,
                  "print the port search's lists as the library's monitor window shows them\n"
                  "(the Windows control names: ListBox11 serial devices present, ListBox12\n"
                  "virtual COM ports, ListBox13 adapters seen, ListBox14 the logger's ports,\n"
                  "Label11 the search's state), for comparing with the Windows library")
      ->excludes(brief_flag)
      ->excludes(ports_json_flag);
  ports->footer(
      "The table shows each serial device of the port table: device path, port number,\n"
      "USB vendor:product, serial number, manufacturer and product strings and the\n"
      "/dev/serial/by-id link; then the logger's port, or \"logger: none found\" (exit\n"
      "code 0: a listing is no failure; why none was found goes to standard error\n"
      "when it names something to fix, e.g. a missing udev rule). Any other serial\n"
      "device is reached by its path (--port /dev/ttyAMA0).");

  auto* info = app.add_subcommand("info", "connect and print the logger's parameter lines, year and record count");
  auto* clock = app.add_subcommand("clock", "set the logger's clock from the PC's clock");

  auto* download = app.add_subcommand("download", "download every record and write it as CSV (or JSON lines)");
  DownloadOptions download_options;
  std::string format = "csv";
  bool json = false;
  download->add_option("-o,--output", download_options.output,
                       "write to FILE instead of standard output (\"-\": standard output): a file is\n"
                       "replaced only when complete, a device, FIFO or terminal is written as it stands,\n"
                       "a link is followed")
      ->type_name("FILE");
  auto* format_option =
      download->add_option("--format", format, "csv (the default), json, or the first layouts csv-legacy, json-legacy")
          ->check(CLI::IsMember({"csv", "csv-legacy", "json", "json-legacy"}))
                            ->type_name("FORMAT");
  download->add_flag("--json", json, "the same as --format json")->excludes(format_option);
  download->add_flag("--partial", download_options.partial,
                     "when the download fails or is interrupted, still write the records received (exit code 11, 130)");
  download->footer(
      "csv: timestamp,date,time,x_counts,y_counts,z_counts,temperature,humidity_raw; the\n"
      "timestamp is ISO 8601 (2024-03-15T13:45:30.25, the logger's local time), empty when\n"
      "the record's fields are no real date and time; the others are the library's texts,\n"
      "unscaled (no unit). json: one object per line with the same fields as keys (the\n"
      "timestamp null where csv leaves it empty). csv-legacy: date,time,x,y,z,temperature,\n"
      "humidity; json-legacy: objects with those keys. On a terminal a progress bar\n"
      "estimates the download at the line speed. A reader that closes the pipe early\n"
      "(vkt download | head) ends the download quietly with exit code 0.");

  auto* send = app.add_subcommand("send", "connect, send one command and print the logger's reply");
  std::string command;
  send->add_option("CMD", command, "the command, sent as it stands with no line end")->required();
  send->footer("Prints the reply as it came. Exits with 7 when none came within 3 s.");

  auto* watch = app.add_subcommand(
      "watch", "switch the library's port watching on and print \"接続\" / \"切断\" as the logger comes and goes");
  watch->footer("Each line starts with the local time (ISO 8601) and has the English word beside\n"
                "\"接続\" (connected) and \"切断\" (disconnected). Runs until SIGINT or SIGTERM (exit 0).\n"
                "A port search every second decides, by the rule of the library's own watching timer.");

  auto* settings = app.add_subcommand("settings", "read the logger's recording settings through the settings dialog");
  settings->require_subcommand(0, 1);
  settings->footer(
      "`settings` opens the library's settings dialog (which reads the logger's settings\n"
      "back), and `settings set` edits its controls as a user would and presses Ok. The\n"
      "dialog opens the port given with --port, else it searches for the logger's port.");
  auto* set = settings->add_subcommand("set", "change recording settings through the settings dialog's Ok");
  SettingsChanges changes;
  std::string adj_h1, wait;
  int adj_h3 = 0, id = 0, detect = 0;
  set->add_option("--record", changes.record, "record interval: 1sec 30sec 1min 2min 5min (or ja jf jA jB jE)");
  set->add_option("--type", changes.type, "model: 10_VKT-18 20_VKT-18 02_VKT-02 01_VKT-02 50_VKT-50 (or 10 20 02 01 50)");
  set->add_option("--interval", changes.interval, "sampling: 20msec 10msec trace20msec (or i6 i7 i9)");
  set->add_option("--wait", changes.wait,
                  "start: 5..90 (seconds), now, magnet-start, magnet-stop, magnet-pause, magnet-away-pause");
  set->add_option("--adj-h1", changes.adj_h1, "ADJ_h1: off or 1..99");
  auto* adj_h3_option = set->add_option("--adj-h3", adj_h3, "ADJ_h3: 0 or 1")->check(whole_number(0, 1));
  auto* id_option = set->add_option("--id", id, "My_ID: 0..99")->check(whole_number(0, 99));
  auto* detect_option = set->add_option("--detect", detect, "detect threshold: 1..99")->check(whole_number(1, 99));
  set->add_option("--start", changes.start, "reserve the start time \"MM/DD HH:MM\", then set the clock");
  set->footer(
      "All eight settings are sent, the changed ones and the logger's current others, as\n"
      "the dialog's Ok sends them. With --start the clock is set next, which sends the\n"
      "reservation. Exits non-zero when any setting was not taken.");
  for (CLI::App* sub : {ports, info, clock, download, send, watch, settings, set}) {
    sub->fallthrough();
    sub->footer(sub->get_footer() + (sub->get_footer().empty() ? "" : "\n\n") + exit_code_help());
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // A word where the subcommand belongs that names none.
    if (app.get_subcommands().empty()) {
      for (const std::string& word : app.remaining()) {
        if (!word.empty() && word[0] != '-') {
          std::fprintf(stderr,
                       "vkt: unknown subcommand \"%s\" (known: ports, info, clock, download, send, watch, "
                       "settings)\n(vkt --help lists the options)\n",
                       word.c_str());
          return kExitUsage;
        }
      }
    }
    std::fprintf(stderr, "vkt: %s\n(vkt --help lists the options)\n", parser_message(e).c_str());
    return kExitUsage;
  }
  if (version) {
    std::printf("vkt %s\n", VKT_VERSION);
    try {
      Module module(choose_module_path(library));
      std::printf("libvktcom %d (vkt_dll_ver) from %s\n", module.api().vkt_dll_ver(), module.path().c_str());
    } catch (const Failure& failure) {
      std::fflush(stdout);
      std::fprintf(stderr, "vkt: %s\n", failure.what());
      return failure.code();
    }
    return kExitOk;
  }
  if (app.get_subcommands().empty()) {
    std::fprintf(stderr, "vkt: a subcommand is required: ports, info, clock, download, send, watch or settings\n"
                         "(vkt --help lists the options)\n");
    return kExitUsage;
  }
  if (json) download_options.format = OutputFormat::JsonLines;
  if (format == "csv-legacy") download_options.format = OutputFormat::LegacyCsv;
  if (format == "json") download_options.format = OutputFormat::JsonLines;
  if (format == "json-legacy") download_options.format = OutputFormat::LegacyJsonLines;
  if (download_options.output == "-") download_options.output.clear();
  if (hang_up_option->count() > 0) sim.hang_up_after = hang_up_after;
  if (unplug_option->count() > 0) sim.unplug_after_ms = unplug_after;
  if (bad_record_option->count() > 0) sim.bad_record = bad_record;
  if (adj_h3_option->count() > 0) changes.adj_h3 = adj_h3;
  if (id_option->count() > 0) changes.id = id;
  if (detect_option->count() > 0) changes.detect = detect;

  try {
    // The simulation comes first: it tells the library where the simulated
    // devices are before the library is loaded. It goes last, after the
    // library has let go of its port.
    std::unique_ptr<Simulation> simulation;
    if (simulate) {
      simulation = std::make_unique<Simulation>(sim);
      std::lock_guard lock(g_interrupts.mu);
      g_interrupts.cleanup_folders.push_back(simulation->root());
    }

    Module module(choose_module_path(library));
    // A trace that cannot be written is said by the library on stderr; the
    // command goes on without it.
    if (!trace.empty()) module.api().vkt_trace_start(trace.c_str());
    // -v shows the serial line's traffic from the trace: the one asked for,
    // else one in a temporary folder of its own.
    std::optional<VerboseTrace> verbose_trace;
    if (verbose) verbose_trace.emplace(module.api(), trace);
    Context context{module.api(), module.path(), simulation.get(), {}, {}, verbose, quiet};
    say_verbose(context, fmt::format("loaded {} (vkt_dll_ver {})", module.path(), module.api().vkt_dll_ver()));
    if (port_option->count() > 0) parse_port(module.api(), port, context);

    if (settings->parsed()) return set->parsed() ? run_settings_set(context, changes) : run_settings_show(context);
    if (ports->parsed()) return run_ports(context, raw          ? PortsView::Raw
                                               : brief      ? PortsView::Brief
                                               : ports_json ? PortsView::Json
                                                            : PortsView::Table);
    if (info->parsed()) return run_info(context);
    if (clock->parsed()) return run_clock(context);
    if (download->parsed()) return run_download(context, download_options);
    if (send->parsed()) return run_send(context, command);
    if (watch->parsed()) {
      g_interrupts.graceful.store(true);
      return run_watch(context, g_interrupts.stop);
    }
    return kExitUsage;
  } catch (const Failure& failure) {
    // A failure without a text ends the program quietly (a closed pipe).
    if (*failure.what() != '\0') std::fprintf(stderr, "vkt: %s\n", failure.what());
    return failure.code();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vkt: %s\n", e.what());
    return kExitError;
  }
}
