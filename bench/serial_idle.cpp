// What an open serial port costs while nothing happens, and how fast a
// waiting reader learns of an arrival.
//
// Opens COM1 on a pseudo-terminal (through a temporary device folder), then
//   1. sits idle for N seconds (default 5) and prints the process's CPU time
//      as a share of one core (goal: under 2%);
//   2. sends single bytes from the device side and prints how long
//      wait_for_input() takes to return after each (goal: well under 1 ms);
//   3. hangs the device up and prints the CPU share of the hung-up port over
//      two seconds (goal: as idle).
//
// Usage: serial_idle [idle-seconds]
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// CPU time of the whole process over `span` of sleeping, in % of one core.
double cpu_share_while_sleeping(std::chrono::duration<double> span) {
  const double cpu_before = cpu_seconds();
  const auto start = Clock::now();
  std::this_thread::sleep_for(span);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  return 100.0 * (cpu_seconds() - cpu_before) / wall;
}

}  // namespace

int main(int argc, char** argv) {
  const double idle_seconds = argc > 1 ? std::max(0.1, std::atof(argv[1])) : 5.0;

  int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::perror("pseudo-terminal");
    return 1;
  }
  const std::string slave = ptsname(master);

  std::string folder = (std::filesystem::temp_directory_path() / "vktcom-bench-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  std::filesystem::create_symlink(slave, folder + "/ttyUSB0");
  setenv("VKTCOM_DEV_ROOT", folder.c_str(), 1);

  int status = 0;
  try {
    vkt::link::SerialPort port;
    port.ComNumber = 1;
    port.InSize = 8192;
    port.set_open(true);

    std::printf("idle open port, %.1f s: %.3f%% of one core (goal: under 2%%)\n", idle_seconds,
                cpu_share_while_sleeping(std::chrono::duration<double>(idle_seconds)));

    std::vector<double> latencies_us;
    for (int i = 0; i < 200; ++i) {
      char byte = static_cast<char>(i);
      const auto sent = Clock::now();
      if (write(master, &byte, 1) != 1) break;
      if (!port.wait_for_input(2000ms)) break;
      latencies_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
      port.ReadBlock(&byte, 1);
    }
    if (!latencies_us.empty()) {
      std::sort(latencies_us.begin(), latencies_us.end());
      std::printf("arrival to wake-up, %zu bytes: median %.1f us, max %.1f us (goal: under 1000 us)\n",
                  latencies_us.size(), latencies_us[latencies_us.size() / 2], latencies_us.back());
    }

    close(master);
    master = -1;
    const auto deadline = Clock::now() + 5s;
    while (!port.device_gone() && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
    std::printf("hung-up port (device gone: %s), 2.0 s: %.3f%% of one core\n",
                port.device_gone() ? "yes" : "no", cpu_share_while_sleeping(2s));
    port.set_open(false);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "serial_idle: %s\n", error.what());
    status = 1;
  }
  if (master >= 0) close(master);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return status;
}
