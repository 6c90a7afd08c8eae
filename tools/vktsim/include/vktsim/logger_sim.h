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
// The logger itself (commands, replies, settings, faults) is the LoggerCore
// this class is made on; this class carries it over the pty, paces it and
// plays the hang-up fault: the master is closed and the adapter leaves the
// device tree until replug().
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

class LoggerSim : private LoggerCore {
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
  // The logger's state, commands, faults and counters (see LoggerCore);
  // wait_for_unplug also ends at a hang-up. The line side stays inside.
  using LoggerCore::plugged;
  using LoggerCore::wait_for_unplug;
  using LoggerCore::commands;
  using LoggerCore::wait_for_commands;
  using LoggerCore::clear_commands;
  using LoggerCore::settings;
  using LoggerCore::set_settings;
  using LoggerCore::faults;
  using LoggerCore::set_faults;
  using LoggerCore::clock_text;
  using LoggerCore::logger_time;
  using LoggerCore::start_time;
  using LoggerCore::records;
  using LoggerCore::record_lines;
  using LoggerCore::set_records;
  using LoggerCore::counters;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vktsim
