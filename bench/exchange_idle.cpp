// What a reply wait costs on a real terminal device:
//  1. a 3-second wait on a silent line: the process's CPU time as a share of
//     one core (goal: under 5 %);
//  2. replies written one by one on the far side: the time from writing the
//     terminator to the wait's return (goal: well under 1 ms).
// The far side is the master of a pseudo-terminal that this program holds;
// the library opens its slave as COM1 through a temporary device folder.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exports/library.h"
#include "link/port_control.h"
#include "protocol/exchange.h"
#include "windows/monitor_window.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

double cpu_seconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    char name[128];
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
      std::perror("pseudo-terminal");
      std::exit(1);
    }
    slave = name;
  }
  ~Pty() { ::close(master); }
};

}  // namespace

int main() {
  Pty pty;
  const std::filesystem::path dev = std::filesystem::temp_directory_path() /
                                     ("vktcom-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dev);
  std::filesystem::create_symlink(pty.slave, dev / "ttyUSB0");
  ::setenv("VKTCOM_DEV_ROOT", dev.c_str(), 1);

  int status = 0;
  {
    vkt::Library library;
    library.ensure_monitor();
    if (vkt::link::com_open(library, 1) != 1) {
      std::fprintf(stderr, "cannot open the pseudo-terminal as COM1\n");
      status = 1;
    } else {
      auto& port = library.monitor()->ApdComPort1;

      // 1. Silence.
      const auto wall0 = SteadyClock::now();
      const double cpu0 = cpu_seconds();
      const std::string none = vkt::protocol::ResponseReader(library.channel());
      const double cpu = cpu_seconds() - cpu0;
      const double wall = std::chrono::duration<double>(SteadyClock::now() - wall0).count();
      std::printf("silent wait: %.3f s, reply %s, CPU %.3f s = %.2f %% of one core (goal < 5 %%)\n", wall,
                  none.empty() ? "empty" : "NOT EMPTY", cpu, 100.0 * cpu / wall);

      // 2. Latency: a writer thread answers each round a little after the
      // wait has begun and notes when its terminator went out.
      constexpr int kRounds = 200;
      std::mutex mu;
      std::condition_variable cv;
      int round_ready = -1;  // the round whose wait is about to begin
      std::atomic<int64_t> written_ns{0};
      std::thread writer([&] {
        for (int r = 0; r < kRounds; ++r) {
          {
            std::unique_lock lock(mu);
            cv.wait(lock, [&] { return round_ready == r; });
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
          written_ns = SteadyClock::now().time_since_epoch().count();
          if (::write(pty.master, "OK#", 3) != 3) std::perror("write");
        }
      });
      std::vector<double> latencies_us;
      int failures = 0;
      for (int r = 0; r < kRounds; ++r) {
        port.FlushInput();
        {
          std::lock_guard lock(mu);
          round_ready = r;
        }
        cv.notify_one();
        const std::string reply = vkt::protocol::ResponseReader(library.channel());
        const int64_t returned = SteadyClock::now().time_since_epoch().count();
        if (reply != "OK#") {
          ++failures;
          continue;
        }
        latencies_us.push_back(static_cast<double>(returned - written_ns.load()) / 1000.0);
      }
      writer.join();
      std::sort(latencies_us.begin(), latencies_us.end());
      if (!latencies_us.empty()) {
        auto at = [&](double q) { return latencies_us[static_cast<std::size_t>(q * (latencies_us.size() - 1))]; };
        std::printf("terminator to return over %zu replies: median %.0f us, p90 %.0f us, p99 %.0f us, max %.0f us"
                    " (goal well under 1000 us)\n",
                    latencies_us.size(), at(0.5), at(0.9), at(0.99), latencies_us.back());
      }
      if (failures) {
        std::printf("%d replies were not read as \"OK#\"\n", failures);
        status = 1;
      }
    }
  }
  std::filesystem::remove_all(dev);
  return status;
}
