// The record table and the download beside a plain C reader of the same
// simulated logger (bench/plain_reader.c):
//   1. memory per record held by the library after a download of 2,000 and
//      of 100,000 records (resident size and heap bytes), and what stays
//      resident after form_release;
//   2. CPU and wall time of the unpaced 100,000-record download, median of
//      15 rounds, each beside a round of the plain reader (which of the two
//      goes first alternates);
//   3. accessor throughput over the 100,000 records (vkt_getdata,
//      vkt_get_all, and vkt_get_date for the single fields);
//   4. with --paced: the paced 2,000-record download against the line's own
//      time (about 23 s).
// With --profile library|plain [rounds] it runs only one side's unpaced
// 100,000-record download, 30 times or `rounds` times, and prints each
// round's wall and CPU time and their medians: a steady load for a profiler
// (perf record -g build/bench/record_bench --profile library).
//
// Goals: at most 48 bytes per record at 100,000 records; resident size after
// form_release within 2 MB of before the download; unpaced at most 1.5 times
// the plain reader's CPU and wall time; paced within 0.1% of the line's time.
//
// Every simulated logger runs in a child process forked before the library
// starts any thread, so that the figures here are the host's alone.
#include <malloc.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "exports/library.h"
#include "link/port_control.h"
#include "plain_reader.h"
#include "records/accessors.h"
#include "records/download.h"
#include "ui/backend.h"
#include "vktsim/logger_sim.h"
#include "vktsim/records.h"
#include "bench_support.h"

namespace {

using bench::BenchClock;
using bench::NullBackend;
using bench::cpu_seconds;
using bench::read_line;
using bench::recording;

using Steady = std::chrono::steady_clock;

constexpr std::size_t kSmall = 2000;
constexpr std::size_t kLarge = 100000;
constexpr int kRounds = 9;  // the machine may be shared: the median of several rounds
constexpr int kSpeedRounds = 15;  // a round of the unpaced download takes a few tens of milliseconds
constexpr double kLineBytesPerSecond = 1920.0;

// A simulated logger in a child process: it reports its slave path and the
// year of its first record, and serves until the parent closes the control
// pipe. The library finds it as the only port of a device folder of its own.
struct ChildLogger {
  bench::Child process;
  std::size_t records = 0;
  std::string slave_path;
  std::string first_year;
  std::filesystem::path dev_root;
};

ChildLogger fork_logger(std::size_t records, bool paced) {
  ChildLogger child;
  child.records = records;
  child.process = bench::fork_child([&](int report, int control) {
    vktsim::SimOptions options;
    options.records = vktsim::generate_records(recording(records));
    options.paced = paced;
    const std::string first_year = std::to_string(options.records.front().year);
    vktsim::LoggerSim sim(options);
    const std::string lines = sim.slave_path() + "\n" + first_year + "\n";
    if (::write(report, lines.data(), lines.size()) == static_cast<ssize_t>(lines.size())) {
      char byte;
      while (::read(control, &byte, 1) > 0) {
      }
    }
  });
  child.slave_path = read_line(child.process.report);
  child.first_year = read_line(child.process.report);
  child.dev_root = std::filesystem::temp_directory_path() /
                   ("vktcom-record-bench-" + std::to_string(::getpid()) + "-" + std::to_string(child.process.pid));
  std::filesystem::create_directories(child.dev_root);
  std::filesystem::create_symlink(child.slave_path, child.dev_root / "ttyUSB0");
  return child;
}

void end_logger(ChildLogger& child) {
  bench::end_child(child.process);
  std::filesystem::remove_all(child.dev_root);
}

// Resident bytes of this process now.
long rss_bytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * ::sysconf(_SC_PAGESIZE);
}

// Bytes handed out by the heap now.
long heap_bytes() {
  const struct mallinfo2 info = ::mallinfo2();
  return static_cast<long>(info.uordblks + info.hblkhd);
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}


std::unique_ptr<vkt::Library> open_library(const ChildLogger& logger) {
  ::setenv("VKTCOM_DEV_ROOT", logger.dev_root.c_str(), 1);
  // VKTCOM_TRACE measures the download with the library's trace on.
  const char* trace = std::getenv("VKTCOM_TRACE");
  auto library = std::make_unique<vkt::Library>(vkt::LibraryServices{std::make_shared<BenchClock>(),
                                                                     vkt::make_default_notifier(),
                                                                     std::make_shared<NullBackend>(),
                                                                     {},
                                                                     {},
                                                                     trace ? trace : ""});
  library->ensure_monitor();
  if (vkt::link::com_open(*library, 1) != 1) {
    std::fprintf(stderr, "cannot open the simulated logger's port\n");
    std::exit(1);
  }
  library->logger.param_year = logger.first_year;
  library->logger.param_count = std::to_string(logger.records);
  return library;
}

struct Download {
  bool ok = false;
  int32_t count = 0;
  double wall = 0, cpu = 0;
};

Download download(vkt::Library& library) {
  Download d;
  const double cpu0 = cpu_seconds();
  const auto t0 = Steady::now();
  d.ok = vkt::records::vkt_inputdata(library.download_context());
  d.wall = std::chrono::duration<double>(Steady::now() - t0).count();
  d.cpu = cpu_seconds() - cpu0;
  d.count = vkt::records::vkt_datacount(library.record_parts());
  return d;
}

Download plain(const ChildLogger& logger, plain_result& result) {
  Download d;
  const double cpu0 = cpu_seconds();
  const auto t0 = Steady::now();
  d.ok = plain_download(logger.slave_path.c_str(), &result) != 0;
  d.wall = std::chrono::duration<double>(Steady::now() - t0).count();
  d.cpu = cpu_seconds() - cpu0;
  d.count = static_cast<int32_t>(result.records);
  return d;
}

bool check(bool ok, const char* what) {
  if (!ok) std::printf("FAILED: %s\n", what);
  return ok;
}

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

// Memory held after a download of the logger's records, and what stays after
// form_release.
bool memory_per_record(const ChildLogger& logger) {
  auto library = open_library(logger);
  ::malloc_trim(0);
  const long rss0 = rss_bytes(), heap0 = heap_bytes();
  const Download d = download(*library);
  const long rss1 = rss_bytes(), heap1 = heap_bytes();
  vkt::link::com_close(*library);
  library->form_release();
  library->enter_export();  // the released window goes now
  const long rss2 = rss_bytes();
  const double n = static_cast<double>(logger.records);
  std::printf("memory, %zu records: %.1f bytes/record resident, %.1f bytes/record allocated; after form_release "
              "%+.2f MB resident against before the download\n",
              logger.records, static_cast<double>(rss1 - rss0) / n, static_cast<double>(heap1 - heap0) / n,
              static_cast<double>(rss2 - rss0) / 1e6);
  plain_result p{};
  plain(logger, p);
  std::printf("memory, %zu records, plain reader: %.1f bytes/record held (reply buffer and unpacked records)\n",
              logger.records, static_cast<double>(p.held_bytes) / n);
  if (logger.records == kLarge) {
    std::printf("  goal: at most 48 bytes/record: %s (%.1f resident, %.1f allocated); within 2 MB after "
                "form_release: %s\n",
                verdict((rss1 - rss0) / n <= 48 && (heap1 - heap0) / n <= 48), (rss1 - rss0) / n, (heap1 - heap0) / n,
                verdict(std::abs(rss2 - rss0) <= 2 * 1000 * 1000));
  }
  return check(d.ok && d.count == static_cast<int32_t>(logger.records), "memory download");
}

bool unpaced_speed(const ChildLogger& logger) {
  std::vector<double> lib_wall, lib_cpu, c_wall, c_cpu;
  bool ok = true;
  for (int round = 0; round < kSpeedRounds; ++round) {
    auto run_plain = [&] {
      plain_result p{};
      const Download c = plain(logger, p);
      ok &= check(c.ok && p.records == logger.records && p.bad_lines == 0, "plain reader");
      c_wall.push_back(c.wall);
      c_cpu.push_back(c.cpu);
    };
    auto run_library = [&] {
      auto library = open_library(logger);
      const Download d = download(*library);
      ok &= check(d.ok && d.count == static_cast<int32_t>(logger.records), "library download");
      lib_wall.push_back(d.wall);
      lib_cpu.push_back(d.cpu);
    };
    // Each side goes first in every other round, so that neither always
    // finds the line and the caches as the other left them.
    if (round % 2 == 0) {
      run_plain();
      run_library();
    } else {
      run_library();
      run_plain();
    }
  }
  const double wall = median(lib_wall), cpu = median(lib_cpu), cw = median(c_wall), cc = median(c_cpu);
  const double best_wall = *std::min_element(lib_wall.begin(), lib_wall.end());
  const double best_cpu = *std::min_element(lib_cpu.begin(), lib_cpu.end());
  const double best_cw = *std::min_element(c_wall.begin(), c_wall.end());
  const double best_cc = *std::min_element(c_cpu.begin(), c_cpu.end());
  std::printf("unpaced, %zu records, median of %d: library wall %.4f s CPU %.4f s; plain reader wall %.4f s CPU "
              "%.4f s\n",
              logger.records, kSpeedRounds, wall, cpu, cw, cc);
  std::printf("  ratio to the plain reader: CPU %.2f, wall %.2f (goal: at most 1.5: %s); best of %d: library wall "
              "%.4f s CPU %.4f s, plain reader wall %.4f s CPU %.4f s, ratios CPU %.2f, wall %.2f\n",
              cpu / cc, wall / cw, verdict(cpu / cc <= 1.5 && wall / cw <= 1.5), kSpeedRounds, best_wall, best_cpu, best_cw,
              best_cc, best_cpu / best_cc, best_wall / best_cw);
  return ok;
}

bool accessor_rates(const ChildLogger& logger) {
  auto library = open_library(logger);
  const Download d = download(*library);
  const int32_t rows = d.count;
  double best_getdata = 1e9, best_all = 1e9, best_date = 1e9;
  unsigned long sink = 0;
  for (int round = 0; round < kRounds; ++round) {
    auto t0 = Steady::now();
    for (int32_t row = 1; row <= rows; ++row) {
      uint8_t block[14];
      vkt::records::vkt_getdata(library->record_table(), row, block);
      sink += block[3] + block[13];
    }
    best_getdata = std::min(best_getdata, std::chrono::duration<double>(Steady::now() - t0).count());
    t0 = Steady::now();
    for (int32_t row = 1; row <= rows; ++row) {
      char line[64];
      vkt::records::vkt_get_text(library->record_table(), vkt::records::TextField::All, row, line);
      sink += static_cast<unsigned char>(line[0]);
    }
    best_all = std::min(best_all, std::chrono::duration<double>(Steady::now() - t0).count());
    t0 = Steady::now();
    for (int32_t row = 1; row <= rows; ++row) {
      char date[16];
      vkt::records::vkt_get_text(library->record_table(), vkt::records::TextField::Date, row, date);
      sink += static_cast<unsigned char>(date[9]);
    }
    best_date = std::min(best_date, std::chrono::duration<double>(Steady::now() - t0).count());
  }
  std::printf("accessors over %d records, best of %d: vkt_getdata %.1f M rows/s, vkt_get_all %.1f M rows/s, "
              "vkt_get_date %.1f M rows/s (checksum %lu)\n",
              rows, kRounds, rows / best_getdata / 1e6, rows / best_all / 1e6, rows / best_date / 1e6, sink);
  return check(d.ok, "accessor download");
}

bool paced_time(const ChildLogger& logger) {
  auto library = open_library(logger);
  const Download d = download(*library);
  const double line = static_cast<double>(logger.records * 22 + 3) / kLineBytesPerSecond;
  std::printf("paced, %zu records: wall %.3f s against the line's %.3f s (%+.3f%%, goal within 0.1%%: %s); CPU "
              "%.3f s\n",
              logger.records, d.wall, line, (d.wall / line - 1) * 100, verdict(d.wall / line - 1 <= 0.001), d.cpu);
  return check(d.ok && d.count == static_cast<int32_t>(logger.records), "paced download");
}

// One side's unpaced downloads, round after round.
bool profile_rounds(bool library_side, int rounds) {
  ChildLogger large = fork_logger(kLarge, false);
  std::vector<double> walls, cpus;
  bool ok = true;
  for (int round = 0; round < rounds; ++round) {
    Download d;
    if (library_side) {
      auto library = open_library(large);
      d = download(*library);
      ok &= check(d.ok && d.count == static_cast<int32_t>(kLarge), "library download");
    } else {
      plain_result p{};
      d = plain(large, p);
      ok &= check(d.ok && p.records == kLarge, "plain reader");
    }
    std::printf("round %d: wall %.4f s CPU %.4f s\n", round + 1, d.wall, d.cpu);
    walls.push_back(d.wall);
    cpus.push_back(d.cpu);
  }
  std::printf("%s, %zu records unpaced, median of %d: wall %.4f s CPU %.4f s\n",
              library_side ? "library" : "plain reader", kLarge, rounds, median(walls), median(cpus));
  end_logger(large);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const bool paced = argc > 1 && std::strcmp(argv[1], "--paced") == 0;
  const bool profile = argc > 2 && std::strcmp(argv[1], "--profile") == 0 &&
                       (std::strcmp(argv[2], "library") == 0 || std::strcmp(argv[2], "plain") == 0);
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 30;
  if ((argc > 1 && !paced && !profile) || (paced && argc > 2) || argc > 4 || rounds < 1) {
    std::fprintf(stderr, "usage: %s [--paced | --profile library|plain [rounds]]\n", argv[0]);
    return 2;
  }
  if (profile) return profile_rounds(std::strcmp(argv[2], "library") == 0, rounds) ? 0 : 1;
  // Every logger starts before the library makes any thread.
  ChildLogger small = fork_logger(kSmall, false);
  ChildLogger large = fork_logger(kLarge, false);
  ChildLogger slow;
  if (paced) slow = fork_logger(kSmall, true);

  bool ok = true;
  {
    // Warm-up: code and the process's first allocations.
    plain_result p{};
    plain(small, p);
    auto library = open_library(small);
    ok &= check(download(*library).ok, "warm-up");
  }
  ok &= memory_per_record(small);
  ok &= memory_per_record(large);
  ok &= unpaced_speed(large);
  ok &= accessor_rates(large);
  if (paced) ok &= paced_time(slow);

  end_logger(small);
  end_logger(large);
  if (paced) end_logger(slow);
  return ok ? 0 : 1;
}
