// Figures for the download and the decoder:
//   1. a whole download of 100,000 records from an unpaced simulated logger
//      over a pseudo-terminal: wall time, CPU time and peak resident size of
//      the host process;
//   2. a whole download of 2,000 records at the logger's paced 19200 baud:
//      wall time against the line's own time (22 bytes per record at 1920
//      bytes per second) and the CPU time it costs;
//   3. the decoding rate over a table of 100,000 rows.
// Goals: paced within 2% of the line's time and under 5% of one core;
// 100,000 records unpaced in under 2 s.
//
// The simulated logger runs in a child process forked before the library
// starts any thread, so that the CPU time and the resident size measured
// here are the host's alone.
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "exports/library.h"
#include "link/port_control.h"
#include "records/accessors.h"
#include "records/download.h"
#include "records/record_decoder.h"
#include "records/record_table.h"
#include "ui/backend.h"
#include "vktsim/logger_sim.h"
#include "vktsim/records.h"
#include "bench_support.h"
#include "windows/monitor_window.h"

namespace {

using bench::BenchClock;
using bench::NullBackend;
using bench::cpu_seconds;
using bench::read_line;
using bench::recording;

using Steady = std::chrono::steady_clock;

constexpr std::size_t kUnpacedRecords = 100000;
constexpr std::size_t kPacedRecords = 2000;
constexpr std::size_t kDecodeRows = 100000;
constexpr double kLineBytesPerSecond = 1920.0;

std::unique_ptr<vkt::Library> make_library(std::shared_ptr<NullBackend> backend) {
  return std::make_unique<vkt::Library>(
      vkt::LibraryServices{std::make_shared<BenchClock>(), vkt::make_default_notifier(), backend});
}

// A simulated logger in a child process. The child makes the pty and reports
// its slave path; when it has sent the last byte of the download it reports
// the time (steady clock, shared by all processes of the machine); it serves
// until the parent closes the control pipe.
struct ChildLogger {
  bench::Child process;
  std::string slave_path;
};

std::size_t reply_bytes(std::size_t records) { return records * 22 + 3; }

void serve_in_child(std::size_t records, bool paced, int report, int control) {
  vktsim::SimOptions options;
  options.records = vktsim::generate_records(recording(records));
  options.paced = paced;
  vktsim::LoggerSim sim(options);
  const std::string path = sim.slave_path() + "\n";
  if (::write(report, path.data(), path.size()) != static_cast<ssize_t>(path.size())) return;
  bool reported = false;
  for (;;) {
    pollfd entry{control, POLLIN, 0};
    if (::poll(&entry, 1, reported ? -1 : 1) > 0) {
      char byte;
      if (::read(control, &byte, 1) <= 0) return;  // the parent is done
    }
    if (!reported && sim.counters().bytes_sent >= reply_bytes(records)) {
      reported = true;
      const std::string sent_at = std::to_string(Steady::now().time_since_epoch().count()) + "\n";
      if (::write(report, sent_at.data(), sent_at.size()) != static_cast<ssize_t>(sent_at.size())) return;
    }
  }
}

ChildLogger fork_logger(std::size_t records, bool paced) {
  ChildLogger child;
  child.process =
      bench::fork_child([&](int report, int control) { serve_in_child(records, paced, report, control); });
  child.slave_path = read_line(child.process.report);
  return child;
}

void end_logger(ChildLogger& child) { bench::end_child(child.process); }

long peak_rss_kib() {
  rusage r{};
  ::getrusage(RUSAGE_SELF, &r);
  return r.ru_maxrss;
}

// Checks every downloaded record against the logger's own records.
std::size_t mismatches(vkt::Library& library, const std::vector<vktsim::SimRecord>& records) {
  std::size_t bad = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto& r = records[i];
    unsigned char b[14];
    vkt::records::vkt_getdata(library.record_table(), static_cast<int32_t>(i + 1), b);
    char year[16];
    vkt::records::vkt_get_text(library.record_table(), vkt::records::TextField::Year, static_cast<int32_t>(i + 1), year);
    const bool same = b[1] == r.month && b[3] == r.day && b[4] == r.hour && b[5] == r.minute && b[6] == r.second &&
                      b[7] == r.tenths && static_cast<signed char>(b[8]) == r.x &&
                      static_cast<signed char>(b[9]) == r.y && static_cast<signed char>(b[10]) == r.z &&
                      static_cast<signed char>(b[11]) == r.deg && b[12] == r.hundredths && b[13] == r.humi &&
                      std::to_string(r.year) == year;
    if (!same) ++bad;
  }
  return bad;
}

struct DownloadFigures {
  bool ok = false;
  int32_t count = 0;
  std::size_t bad = 0;
  double wall = 0;
  double cpu = 0;
  double line = 0;  // from the request to the logger's last byte sent
};

DownloadFigures run_download(const ChildLogger& logger, std::size_t records) {
  const std::filesystem::path dev = std::filesystem::temp_directory_path() /
                                    ("vktcom-bench-" + std::to_string(::getpid()) + "-" + std::to_string(records));
  std::filesystem::create_directories(dev);
  std::filesystem::create_symlink(logger.slave_path, dev / "ttyUSB0");
  ::setenv("VKTCOM_DEV_ROOT", dev.c_str(), 1);

  auto library = make_library(std::make_shared<NullBackend>());
  library->ensure_monitor();
  DownloadFigures figures;
  if (vkt::link::com_open(*library, 1) != 1) {
    std::fprintf(stderr, "cannot open the simulated logger's port\n");
    std::filesystem::remove_all(dev);
    return figures;
  }
  const auto expected = vktsim::generate_records(recording(records));
  library->logger.param_year = std::to_string(expected.front().year);
  library->logger.param_count = std::to_string(records);

  const double cpu0 = cpu_seconds();
  const auto t0 = Steady::now();
  figures.ok = vkt::records::vkt_inputdata(library->download_context());
  figures.wall = std::chrono::duration<double>(Steady::now() - t0).count();
  figures.cpu = cpu_seconds() - cpu0;
  const std::string sent_at = read_line(logger.process.report);
  if (!sent_at.empty())
    figures.line = std::chrono::duration<double>(Steady::duration(std::stoll(sent_at)) - t0.time_since_epoch()).count();
  figures.count = vkt::records::vkt_datacount(library->record_parts());
  figures.bad = mismatches(*library, expected);

  vkt::link::com_close(*library);
  library.reset();
  std::filesystem::remove_all(dev);
  return figures;
}

void decode_rate() {
  auto library = make_library(std::make_shared<NullBackend>());
  library->ensure_monitor();
  const auto lines = vktsim::encode_records(vktsim::generate_records(recording(kDecodeRows)), 0);
  vkt::ui::TextGrid& grid = library->monitor()->StringGrid1;
  grid.set_row_count(static_cast<int>(lines.size()) + 1);
  for (std::size_t i = 0; i < lines.size(); ++i) grid.set_cell(vkt::records::kData, static_cast<int>(i) + 1, lines[i]);

  constexpr int kRounds = 5;
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    library->logger.param_year = "2024";
    const auto t0 = Steady::now();
    for (int row = 1; row < grid.row_count(); ++row) library->decode_rows(row, row);
    best = std::min(best, std::chrono::duration<double>(Steady::now() - t0).count());
  }
  std::printf("decode: %zu rows, best of %d: %.1f ms, %.2f M rows/s, %.0f ns/row\n", lines.size(), kRounds,
              best * 1e3, static_cast<double>(lines.size()) / best / 1e6, best * 1e9 / static_cast<double>(lines.size()));
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  // Both loggers start before the library makes any thread.
  ChildLogger unpaced = fork_logger(kUnpacedRecords, false);
  ChildLogger paced = fork_logger(kPacedRecords, true);
  if (unpaced.slave_path.empty() || paced.slave_path.empty()) {
    std::fprintf(stderr, "the simulated logger did not start\n");
    return 1;
  }

  const long rss_before = peak_rss_kib();
  const DownloadFigures fast = run_download(unpaced, kUnpacedRecords);
  const long rss_after = peak_rss_kib();
  end_logger(unpaced);
  std::printf("unpaced: %zu records: %s, count %d, %zu mismatches; wall %.3f s, CPU %.3f s; peak RSS %ld KiB "
              "(%ld KiB before) [goal: wall < 2 s]; the logger's last byte left after %.3f s\n",
              kUnpacedRecords, fast.ok ? "ok" : "FAILED", fast.count, fast.bad, fast.wall, fast.cpu, rss_after,
              rss_before, fast.line);

  const DownloadFigures slow = run_download(paced, kPacedRecords);
  end_logger(paced);
  const double line_seconds = static_cast<double>(reply_bytes(kPacedRecords)) / kLineBytesPerSecond;
  std::printf("paced: %zu records: %s, count %d, %zu mismatches; wall %.3f s vs line %.3f s (%+.2f%%); "
              "CPU %.3f s = %.2f%% of one core [goals: within 2%%, under 5%%]\n",
              kPacedRecords, slow.ok ? "ok" : "FAILED", slow.count, slow.bad, slow.wall, line_seconds,
              (slow.wall / line_seconds - 1.0) * 100.0, slow.cpu, slow.cpu / slow.wall * 100.0);
  std::printf("paced: the simulated logger sent its last byte %.3f s after the request (%+.2f%% against the "
              "line's time); the download returned %.1f ms after that\n",
              slow.line, (slow.line / line_seconds - 1.0) * 100.0, (slow.wall - slow.line) * 1e3);

  decode_rate();
  return fast.ok && slow.ok && fast.bad == 0 && slow.bad == 0 ? 0 : 1;
}
