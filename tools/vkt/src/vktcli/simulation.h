#pragma once
// --simulate: a logger played by the simulator, in this process, on a
// pseudo-terminal. Its device folder and sysfs folder are laid out in a
// temporary folder, and VKTCOM_DEV_ROOT / VKTCOM_SYSFS_ROOT point the library
// there, so the port search finds the simulated adapter as ttyUSB0 (COM1).
// Make the simulation before the first call into the library: the library
// reads the two variables when it looks for ports.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "vktsim/logger_sim.h"

namespace vktcli {

struct SimulationOptions {
  std::size_t records = 200;  // generated records
  std::uint32_t seed = 1;     // generator seed
  bool new_year = false;      // the records cross into the next year half way
  bool unpaced = false;       // reply as fast as the pty takes it, not at 19200 baud
  // Faults, for trying the program's error paths.
  bool silent = false;                         // answer no command
  std::vector<std::string> no_answer;          // leave these commands unanswered
  std::optional<std::size_t> hang_up_after;    // hang up after this many bytes sent
  std::optional<std::size_t> bad_record;       // send this record line (from 0) one digit short
  std::optional<unsigned> unplug_after_ms;     // unplug the adapter after this long
};

// The simulator's options for the program's simulation options.
vktsim::SimOptions make_sim_options(const SimulationOptions& options, const std::string& tree_root);

// A new folder "<prefix>-XXXXXX" in $TMPDIR (else /tmp); empty when none
// can be made.
std::string make_temporary_folder(const std::string& prefix);

class Simulation {
 public:
  // Starts the simulated logger and sets the two variables. Throws
  // Failure (kExitSimulator) when the pty or the folders cannot be made.
  explicit Simulation(const SimulationOptions& options);
  // Stops the logger and removes the temporary folder.
  ~Simulation();
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  vktsim::LoggerSim& logger() { return *sim_; }
  // The temporary folder holding dev/ and sys/.
  const std::string& root() const { return root_; }

 private:
  std::string root_;
  std::unique_ptr<vktsim::LoggerSim> sim_;
  std::thread unplugger_;
  std::mutex mu_;
  std::condition_variable stop_cv_;
  bool stopping_ = false;
};

}  // namespace vktcli
