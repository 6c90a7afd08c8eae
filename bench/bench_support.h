#pragma once
// What the download benchmarks share: a clock whose display pauses return at
// once, a window system that draws nothing, the simulated logger's recording,
// and small readings of the process.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/services.h"
#include "ui/backend.h"
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
class NullBackend final : public vkt::ui::WindowBackend {
 public:
  void window_created(vkt::ui::Window&) override {}
  void window_visibility(vkt::ui::Window&, bool) override {}
  void control_text(vkt::ui::Window&, const std::string&, const std::string&) override { ++texts; }
  void window_destroyed(vkt::ui::Window&) override {}
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

// A child process that serves a simulated logger, forked before the library
// starts any thread so that the figures measured in this process are the
// host's alone. The child runs serve(report, control) with the writing end
// of the report pipe and the reading end of the control pipe; the parent
// reads the child's reports and ends it by closing the control pipe.
struct Child {
  pid_t pid = -1;
  int control = -1;  // the parent's end; closing it ends the child
  int report = -1;   // the parent's end of the report pipe
};

// The parent's ends of the pipes of the children alive: a later child must
// not hold them open, or an earlier child would never see its end.
inline std::vector<int>& parent_ends() {
  static std::vector<int> fds;
  return fds;
}

template <class Serve>
Child fork_child(Serve serve) {
  int report[2], control[2];
  if (::pipe(report) != 0 || ::pipe(control) != 0) {
    std::perror("pipe");
    std::exit(1);
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(report[0]);
    ::close(control[1]);
    for (int fd : parent_ends()) ::close(fd);
    serve(report[1], control[0]);
    std::_Exit(0);
  }
  ::close(report[1]);
  ::close(control[0]);
  const Child child{pid, control[1], report[0]};
  parent_ends().push_back(child.control);
  parent_ends().push_back(child.report);
  return child;
}

inline void end_child(Child& child) {
  auto& ends = parent_ends();
  ends.erase(std::remove_if(ends.begin(), ends.end(),
                            [&](int fd) { return fd == child.control || fd == child.report; }),
             ends.end());
  ::close(child.control);
  ::close(child.report);
  int status = 0;
  ::waitpid(child.pid, &status, 0);
  child = Child{};
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
