#pragma once
// LoggerCore: the simulated VKT logger without a line. It splits the bytes
// the host writes into commands, keeps the logger's settings, clock, start
// time and memory, builds each reply and plays the faults that need no
// terminal (silence, unanswered commands, chunked replies, LF CR line ends,
// NUL bytes, extra and stale bytes, bad record lines). Whatever carries the
// bytes (the pseudo-terminal of LoggerSim, or an in-memory line in the
// library's tests) feeds it what arrives and sends the reply pieces it
// returns; pacing and hang-ups belong to that carrier, which reports them
// back for the counters and the plug state.
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
// Thread safety: receive(), idle(), deadline() and new_session() belong to
// the one thread that serves the line; every other member may be called
// from any thread.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
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

  // Hang up (as an unplugged device does) once this many bytes have been
  // sent since the logger was last plugged in; played by the carrier.
  std::optional<std::size_t> hang_up_after_bytes;
};

struct SimOptions {
  std::vector<SimRecord> records;        // the logger's memory
  std::vector<std::string> record_lines; // when not empty, sent by "D" instead of encoding `records`
  unsigned base_year_tag = 0;            // year tag of the first record (0-3)
  SimSettings settings;

  bool paced = true;                     // 1920 bytes per second; off: as fast as the line takes them
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
  std::size_t plugs = 0;           // times plugged in (1 + replugs)
  std::size_t hang_ups = 0;        // hang-ups by the hang_up_after_bytes fault
};

// A piece of a reply: its bytes go out after `pause`, counted from the
// moment the line has sent the piece before.
struct ReplyPiece {
  std::string bytes;
  std::chrono::milliseconds pause{0};
};

class LoggerCore {
 public:
  using Clock = std::chrono::steady_clock;
  // Receives a line for the carrier's log ("no answer to t").
  using Note = std::function<void(const std::string&)>;

  explicit LoggerCore(const SimOptions& options, Note note = {});
  ~LoggerCore();
  LoggerCore(const LoggerCore&) = delete;
  LoggerCore& operator=(const LoggerCore&) = delete;

  // ---- the line side (the serving thread) ----
  // Bytes from the host that arrived at `now`; the replies of the commands
  // they complete are appended to `out`, in order.
  void receive(const char* data, std::size_t size, Clock::time_point now, std::vector<ReplyPiece>& out);
  // Lets the quiet time act when nothing has come (ends a digit run, ends
  // discarding).
  void idle(Clock::time_point now, std::vector<ReplyPiece>& out);
  // When idle() has something to do; nothing when the parser is idle.
  std::optional<Clock::time_point> deadline() const;
  // A new line session: the command being assembled is forgotten.
  void new_session();

  // ---- the carrier's reports ----
  void count_received(std::size_t bytes);
  void count_sent(std::size_t bytes);
  // Plugged in (again): counts a plug.
  void plugged_in();
  // Unplugged; `by_fault` counts a hang-up of the hang_up_after_bytes fault.
  void unplugged(bool by_fault);

  // ---- state, from any thread ----
  bool plugged() const;
  // Waits until the logger is unplugged.
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
  struct State;
  void handle(const std::string& command, std::vector<ReplyPiece>& out);
  void take_discarded();

  std::unique_ptr<State> state_;
};

}  // namespace vktsim
