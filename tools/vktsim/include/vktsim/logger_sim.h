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
// The logger itself (commands, replies, settings, faults) is LoggerCore;
// this class carries it over the pty.
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

#include "vktsim/logger_core.h"
#include "vktsim/records.h"
#include "vktsim/sysfs_tree.h"

namespace vktsim {

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
