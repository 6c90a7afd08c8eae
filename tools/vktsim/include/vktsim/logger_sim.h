#pragma once
// LoggerSim: a VKT data logger on the master side of a pseudo-terminal.
//
// The simulator opens a pty pair, puts the slave side into raw mode and
// serves the logger's command protocol on a background thread: the host
// opens `slave_path()` as its serial port and talks to the simulator as it
// would to a logger behind a USB-serial adapter. Replies go out paced at
// 19200 baud 8N1 (1920 bytes per second) unless `paced` is off, and every
// fault of `SimFaults` can be switched on to exercise the host's error paths.
//
// Commands and replies (every reply ends in "#"):
//   "m"                      "<model> RLS=<revision>#"
//   "p"                      the parameter lines, each ended by CR LF, then "#":
//                              @Year=2024            year of the first record (with no
//                                                    records, the year of the logger clock)
//                              @Count= 1234 records  number of records
//                              @Record=A             letter after "j"
//                              @Interval=6           digit after "i"
//                              @Type=0010            model code, four digits
//                              @wait=0000            "w" number, four digits
//                              @My_ID=0001           "N" number, four digits
//                              @detect=0005          "d" number, four digits
//                              @ADJ h=0000 0000 0000 "Ox" number, a second value
//                                                    that no command sets, "Oz" number
//                              @gmenDR_A RLS=1.07    revision
//   "s" + "yyyy/mm/dd hh:nn:ss"  sets the logger's clock, which then runs on; "OK#"
//   "t", "l" + "mm/dd hh:nn"     "OK#" ("l" stores the start time)
//   "D"                      every record as 20 hexadecimal digits + CR LF, then "#" CR LF
//   settings commands        change what "p" reports; "OK#"
// Bytes that do not make a command get no reply (see CommandParser).
//
// Thread safety: every public member may be called from any thread while the
// simulator serves; unplug(), replug() and lay_out_tree() are serialised
// against each other.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vktsim/records.h"
#include "vktsim/sysfs_tree.h"

namespace vktsim {

// The logger's recording settings, as the parameter reply shows them.
struct SimSettings {
  char record = 'A';    // letter after "j": a f A B E
  char interval = '6';  // digit after "i": 6 7 9
  int type = 10;        // model code: 10 20 2 1 50
  int wait = 0;         // "w" number
  int adj_h1 = 0;       // "Ox" number (0: off)
  int adj_h2 = 0;       // second value of "@ADJ h"; no command changes it
  int adj_h3 = 0;       // "Oz" number
  int my_id = 1;        // "N" number
  int detect = 5;       // "d" number
  std::string revision = "1.07";
  friend bool operator==(const SimSettings&, const SimSettings&) = default;
};

// Misbehaviour to play. A command filter names commands by their leading
// letters ("t", "Oz", "s"); an empty filter means every command.
struct SimFaults {
  bool silent = false;                  // parse and record commands, answer none
  std::vector<std::string> no_answer;   // commands that are recorded but neither applied nor answered

  std::size_t chunk_bytes = 0;          // >0: send replies in chunks of this many bytes...
  std::chrono::milliseconds chunk_pause{0};  // ...with this pause before every chunk but the first

  bool lf_cr = false;                   // end lines with LF CR instead of CR LF

  bool nul_in_reply = false;            // put a NUL byte into the reply...
  std::size_t nul_offset = 1;           // ...at this offset (never after the "#")
  std::string nul_only_for;             // ...of these commands

  std::string extra_after_terminator;   // bytes sent right after a reply's "#"
  std::string extra_only_for;
  std::string stale_before_reply;       // bytes sent before a reply
  std::string stale_only_for;

  std::optional<std::size_t> bad_length_record;  // index of a record line sent with a wrong length
  int bad_length_delta = -1;                     // characters added (>0) or cut (<0)
  std::optional<std::size_t> non_hex_record;     // index of a record line with a "G" in it
  bool no_download_terminator = false;           // "D" sends its records but never "#"

  // Hang up (close the master, as an unplugged device does) once this many
  // bytes have been sent since the pty was made. The adapter also leaves the
  // device tree, and replug() brings it back.
  std::optional<std::size_t> hang_up_after_bytes;
};

struct SimOptions {
  std::vector<SimRecord> records;        // the logger's memory
  std::vector<std::string> record_lines; // when not empty, sent by "D" instead of encoding `records`
  unsigned base_year_tag = 0;            // year tag of the first record (0-3)
  SimSettings settings;

  bool paced = true;                     // 1920 bytes per second; off: as fast as the pty takes them
  unsigned baud = 19200;                 // with 8N1, ten bit times per byte
  std::chrono::milliseconds idle_gap{20};  // quiet time that ends a digit run

  SimFaults faults;
  std::string transcript_path;           // log every byte both ways, with times, to this file

  // When not empty, lay out <tree_root>/dev and <tree_root>/sys at start.
  std::string tree_root;
  // The adapter the tree shows; its device_node_target is always the
  // current slave path.
  UsbSerialAdapter adapter;
};

struct SimCounters {
  std::size_t commands = 0;        // commands parsed
  std::size_t unanswered = 0;      // commands left without reply by a fault
  std::size_t replies = 0;         // replies queued
  std::size_t bytes_received = 0;
  std::size_t bytes_sent = 0;
  std::size_t discarded_bytes = 0; // bytes that made no command
  std::size_t downloads = 0;       // "D" commands answered
  std::size_t plugs = 0;           // ptys made (1 + replugs)
  std::size_t hang_ups = 0;        // hang-ups by the hang_up_after_bytes fault
};

class LoggerSim {
 public:
  // Makes the pty and starts serving. Throws std::system_error when no pty
  // can be made, std::filesystem::filesystem_error when the tree cannot be
  // laid out.
  explicit LoggerSim(SimOptions options = {});
  // Stops serving, closes the pty and takes the adapter out of the tree.
  ~LoggerSim();
  LoggerSim(const LoggerSim&) = delete;
  LoggerSim& operator=(const LoggerSim&) = delete;

  // The pty slave the host opens, e.g. /dev/pts/4. Changes with replug().
  std::string slave_path() const;

  // Lays out the device folder and the sysfs folder under `root` for the
  // adapter of the options, with <root>/dev/<tty> pointing at the slave;
  // unplug() and replug() keep it up to date from then on.
  void lay_out_tree(const std::string& root);
  std::string dev_root() const;     // <root>/dev, empty before lay_out_tree
  std::string sys_root() const;     // <root>/sys, empty before lay_out_tree
  std::string device_path() const;  // <root>/dev/<tty>, empty before lay_out_tree

  // Unplugs the logger: stops serving, closes the pty (the host sees a
  // hang-up) and removes the adapter from the tree. Does nothing when
  // already unplugged, apart from finishing a hang-up's clean-up.
  void unplug();
  // Plugs the logger back in with a new pty (unplugging first when needed)
  // and points the tree's device node at it. Settings, clock and records
  // survive; the command list goes on.
  void replug();
  bool plugged() const;
  // Waits until the logger is unplugged (by unplug() or a hang-up).
  bool wait_for_unplug(std::chrono::milliseconds timeout) const;

  // Commands received, as parsed, in order ("N150", "s2024/03/15 13:45:30").
  std::vector<std::string> commands() const;
  // Waits until at least `n` commands have been received.
  bool wait_for_commands(std::size_t n, std::chrono::milliseconds timeout) const;
  void clear_commands();

  SimSettings settings() const;
  void set_settings(const SimSettings& settings);
  SimFaults faults() const;
  // Applies to the commands that follow.
  void set_faults(const SimFaults& faults);

  // The date and time text of the last "s" command, without the "s".
  std::string clock_text() const;
  // The logger's clock now: the last "s" time plus the time since, or the
  // PC's local time when no "s" has come.
  std::string logger_time() const;
  // The text of the last "l" command, without the "l" ("03/15 09:30").
  std::string start_time() const;

  // The logger's memory and the lines "D" sends for it (before faults).
  std::vector<SimRecord> records() const;
  std::vector<std::string> record_lines() const;
  // Replaces the memory; lines empty: encode the records.
  void set_records(std::vector<SimRecord> records, std::vector<std::string> lines = {});

  SimCounters counters() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vktsim
