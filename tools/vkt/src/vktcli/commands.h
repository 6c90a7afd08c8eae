#pragma once
// The subcommands that work through the library's exported functions.
// Each returns the exit code or throws Failure.
#include <atomic>
#include <optional>
#include <string>

#include "vktcli/module.h"

namespace vktcli {

class Simulation;

struct Context {
  const Api& api;
  std::string module_path;
  Simulation* simulation = nullptr;  // the simulated logger, when --simulate
  std::optional<int> port;           // --port; otherwise the port search picks it
};

// A reply to a command comes at once; a silent logger costs the library's
// full 3000 ms reply time-out. A call that took this long got no reply.
inline constexpr double kNoReplySeconds = 2.9;

int run_ports(Context& context, bool lists);
int run_info(Context& context);
int run_clock(Context& context);

struct DownloadOptions {
  std::string output;  // empty: standard output
  bool json = false;
};
int run_download(Context& context, const DownloadOptions& options);

int run_send(Context& context, const std::string& command);

// Runs until `stop` is set (by SIGINT or SIGTERM).
int run_watch(Context& context, const std::atomic<bool>& stop);

}  // namespace vktcli
