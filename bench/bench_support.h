#pragma once
// What the download benchmarks share: a clock whose display pauses return at
// once, a window system that draws nothing, the simulated logger's recording,
// and small readings of the process.
#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <string>

#include "base/backend.h"
#include "base/services.h"
#include "vktsim/records.h"

namespace bench {

// The machine's clock, but display pauses that return at once.
class BenchClock final : public vkt::Clock {
 public:
  uint32_t now_ms() override { return real_.now_ms(); }
  void sleep_ms(uint32_t) override {}
  vkt::LocalTime local_now() override { return real_.local_now(); }

 private:
  vkt::SystemClock real_;
};

// A window system that draws nothing and keeps nothing, as a real one would
// not keep every text it was given; it counts the texts.
class NullBackend final : public vkt::windows::WindowBackend {
 public:
  void window_created(vkt::windows::Window&) override {}
  void window_visibility(vkt::windows::Window&, bool) override {}
  void control_text(vkt::windows::Window&, const std::string&, const std::string&) override { ++texts; }
  void window_destroyed(vkt::windows::Window&) override {}
  std::size_t texts = 0;
};

// A minute between records from a fixed seed, across a new year.
inline vktsim::GeneratorOptions recording(std::size_t count) {
  vktsim::GeneratorOptions options;
  options.count = count;
  options.seed = 2024;
  options.interval_ms = 60 * 1000;
  options.cross_new_year = true;
  return options;
}

// One line from a pipe, without its LF.
inline std::string read_line(int fd) {
  std::string line;
  char c;
  while (::read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
  return line;
}

// CPU seconds of this process so far, user and system.
inline double cpu_seconds() {
  rusage r{};
  ::getrusage(RUSAGE_SELF, &r);
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

}  // namespace bench
