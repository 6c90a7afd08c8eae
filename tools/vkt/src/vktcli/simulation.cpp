#include "vktcli/simulation.h"

#include <stdlib.h>

#include <cstdlib>
#include <exception>
#include <filesystem>

#include "vktcli/exit_codes.h"

namespace vktcli {

vktsim::SimOptions make_sim_options(const SimulationOptions& options, const std::string& tree_root) {
  vktsim::GeneratorOptions generator;
  generator.count = options.records;
  generator.seed = options.seed;
  generator.cross_new_year = options.new_year;

  vktsim::SimOptions sim;
  sim.records = vktsim::generate_records(generator);
  sim.paced = !options.unpaced;
  sim.faults.silent = options.silent;
  sim.faults.no_answer = options.no_answer;
  sim.faults.hang_up_after_bytes = options.hang_up_after;
  sim.faults.bad_length_record = options.bad_record;
  sim.tree_root = tree_root;
  return sim;
}

std::string make_temporary_folder(const std::string& prefix) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
  return mkdtemp(pattern.data()) == nullptr ? std::string() : pattern;
}

namespace {

std::string simulation_folder() {
  std::string folder = make_temporary_folder("vkt-sim");
  if (folder.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    throw Failure(kExitSimulator, std::string("cannot start the simulated logger: no temporary folder in ") +
                                      (tmp != nullptr && *tmp != '\0' ? tmp : "/tmp"));
  }
  return folder;
}

}  // namespace

Simulation::Simulation(const SimulationOptions& options) : root_(simulation_folder()) {
  try {
    sim_ = std::make_unique<vktsim::LoggerSim>(make_sim_options(options, root_));
  } catch (const std::exception& e) {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
    throw Failure(kExitSimulator, std::string("cannot start the simulated logger: ") + e.what());
  }
  setenv("VKTCOM_DEV_ROOT", sim_->dev_root().c_str(), 1);
  setenv("VKTCOM_SYSFS_ROOT", sim_->sys_root().c_str(), 1);

  if (options.unplug_after_ms) {
    const auto delay = std::chrono::milliseconds(*options.unplug_after_ms);
    unplugger_ = std::thread([this, delay] {
      std::unique_lock lock(mu_);
      if (stop_cv_.wait_for(lock, delay, [this] { return stopping_; })) return;
      lock.unlock();
      sim_->unplug();
    });
  }
}

Simulation::~Simulation() {
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
  }
  stop_cv_.notify_all();
  if (unplugger_.joinable()) unplugger_.join();
  sim_.reset();
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

}  // namespace vktcli
