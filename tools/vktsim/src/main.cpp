// vktsim: plays a VKT data logger on a pseudo-terminal until SIGINT or
// SIGTERM. Prints the pty slave to open as the logger's serial port, and
// with --tree the roots of the device and sysfs folders it lays out.
#include <signal.h>
#include <time.h>

#include <pthread.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "vktsim/logger_sim.h"

namespace {

constexpr const char* kDescription =
    "Plays a VKT data logger on the master side of a pseudo-terminal.\n"
    "Prints the slave path to open as the logger's serial port (with --tree\n"
    "also VKTCOM_DEV_ROOT=... and VKTCOM_SYSFS_ROOT=...), then serves until\n"
    "SIGINT or SIGTERM.\n"
    "\n"
    "Records come from a seed (--count, --seed, --start, --interval-ms,\n"
    "--new-year) or from a file (--file), one record per line in either form:\n"
    "  35EDB5E501FE4017192D\n"
    "      20 hexadecimal digits, sent as they are; the first record is dated\n"
    "      --first-year and each change of year tag moves on one year\n"
    "  2024/03/15 13:45:30.25,1,-2,64,23,5,45\n"
    "      date time.hundredths,x,y,z,deg,tenths,humi (\".25\" may be left out)\n"
    "Blank lines and lines starting with # are skipped; the forms cannot be\n"
    "mixed in one file.\n"
    "\n"
    "TEXT arguments take the escapes \\r \\n \\t \\0 \\\\ and \\xHH.\n"
    "CMD arguments name commands by their leading letters (t, Oz, s, D).";

// Turns the escapes of a TEXT argument into bytes.
std::string unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    switch (c) {
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case '0': out += '\0'; break;
      case 'x':
        if (i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
          out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
          i += 2;
        } else {
          out += "\\x";
        }
        break;
      default: out += c; break;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{kDescription, "vktsim"};

  vktsim::GeneratorOptions gen;
  std::string start_text;
  std::string record_file;
  int first_year = 2024;
  unsigned base_tag = 0;
  bool unpaced = false;
  vktsim::SimFaults faults;
  std::optional<std::size_t> bad_length, non_hex, hang_up_after;
  std::size_t chunk_pause_ms = 0;
  std::string extra, stale;
  std::string transcript;
  std::string tree;
  std::optional<unsigned> replug_after_ms;
  std::string revision = "1.07";

  app.add_option("--count", gen.count, "number of generated records")->capture_default_str();
  app.add_option("--seed", gen.seed, "seed of the generated records")->capture_default_str();
  app.add_option("--start", start_text, "time of the first generated record, \"yyyy/mm/dd hh:nn:ss\"");
  app.add_option("--interval-ms", gen.interval_ms, "time between generated records")->capture_default_str();
  app.add_flag("--new-year", gen.cross_new_year, "generated records cross into a new year half way");
  app.add_option("--file", record_file, "read the records from this file instead")->check(CLI::ExistingFile);
  app.add_option("--first-year", first_year, "year of the first record of a hexadecimal file")
      ->capture_default_str();
  app.add_option("--year-tag", base_tag, "year tag of the first record (0-3)")
      ->check(CLI::Range(0, 3))
      ->capture_default_str();
  app.add_option("--revision", revision, "revision the logger reports")->capture_default_str();

  app.add_flag("--unpaced", unpaced, "send as fast as the pty takes it instead of at 19200 baud");

  app.add_flag("--silent", faults.silent, "answer no command at all");
  app.add_option("--no-answer", faults.no_answer, "leave this command unanswered (repeatable)")
      ->type_name("CMD");
  app.add_option("--chunk", faults.chunk_bytes, "send replies in chunks of this many bytes")->type_name("K");
  app.add_option("--chunk-pause", chunk_pause_ms, "pause between chunks, ms")->type_name("P");
  app.add_flag("--lf-cr", faults.lf_cr, "end lines with LF CR instead of CR LF");
  app.add_flag("--nul-in-reply", faults.nul_in_reply, "put a NUL byte into replies");
  app.add_option("--nul-offset", faults.nul_offset, "offset of that NUL byte")->capture_default_str();
  app.add_option("--nul-only-for", faults.nul_only_for, "only into replies to this command")->type_name("CMD");
  app.add_option("--extra", extra, "bytes sent after each reply's #")->type_name("TEXT");
  app.add_option("--extra-only-for", faults.extra_only_for, "only after replies to this command")
      ->type_name("CMD");
  app.add_option("--stale", stale, "bytes sent before each reply")->type_name("TEXT");
  app.add_option("--stale-only-for", faults.stale_only_for, "only before replies to this command")
      ->type_name("CMD");
  app.add_option("--bad-length", bad_length, "send record line I (from 0) with a wrong length")->type_name("I");
  app.add_option("--bad-length-delta", faults.bad_length_delta, "characters added (>0) or cut (<0)")
      ->capture_default_str();
  app.add_option("--non-hex", non_hex, "put a non-hexadecimal digit into record line I (from 0)")
      ->type_name("I");
  app.add_flag("--no-terminator", faults.no_download_terminator, "the record download never sends #");
  app.add_option("--hang-up-after", hang_up_after, "hang up (unplug) after N bytes sent")->type_name("N");
  app.add_option("--replug-after", replug_after_ms, "after a hang-up, plug back in after MS ms")
      ->type_name("MS");

  app.add_option("--transcript", transcript, "log every byte both ways with times to FILE")->type_name("FILE");
  app.add_option("--tree", tree, "lay out DIR/dev/ttyUSB0 and the adapter's sysfs folders under DIR/sys")
      ->type_name("DIR");

  CLI11_PARSE(app, argc, argv);

  vktsim::SimOptions options;
  try {
    if (!start_text.empty()) {
      const auto start = vktsim::parse_date_time(start_text);
      if (!start) throw std::runtime_error("--start wants \"yyyy/mm/dd hh:nn:ss\", got \"" + start_text + "\"");
      gen.start = *start;
    }
    if (!record_file.empty()) {
      vktsim::RecordSet set = vktsim::read_record_file(record_file, first_year);
      options.records = std::move(set.records);
      options.record_lines = std::move(set.lines);
    } else {
      options.records = vktsim::generate_records(gen);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vktsim: %s\n", e.what());
    return 2;
  }
  options.base_year_tag = base_tag;
  options.settings.revision = revision;
  options.paced = !unpaced;
  faults.chunk_pause = std::chrono::milliseconds(chunk_pause_ms);
  faults.extra_after_terminator = unescape(extra);
  faults.stale_before_reply = unescape(stale);
  faults.bad_length_record = bad_length;
  faults.non_hex_record = non_hex;
  faults.hang_up_after_bytes = hang_up_after;
  options.faults = faults;
  options.transcript_path = transcript;
  options.tree_root = tree;

  // Block the stop signals before the serving thread starts, so that it
  // inherits the mask and only the wait below takes them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  try {
    vktsim::LoggerSim sim(std::move(options));
    std::printf("%s\n", sim.slave_path().c_str());
    if (!tree.empty()) {
      std::printf("VKTCOM_DEV_ROOT=%s\n", sim.dev_root().c_str());
      std::printf("VKTCOM_SYSFS_ROOT=%s\n", sim.sys_root().c_str());
    }
    std::fflush(stdout);

    std::optional<std::chrono::steady_clock::time_point> unplugged_at;
    for (;;) {
      const timespec tick{0, 100'000'000};
      if (sigtimedwait(&stop_signals, nullptr, &tick) > 0) break;
      if (!replug_after_ms || sim.plugged()) {
        unplugged_at.reset();
        continue;
      }
      const auto now = std::chrono::steady_clock::now();
      if (!unplugged_at) unplugged_at = now;
      if (now - *unplugged_at >= std::chrono::milliseconds(*replug_after_ms)) {
        sim.replug();
        std::printf("%s\n", sim.slave_path().c_str());
        std::fflush(stdout);
        unplugged_at.reset();
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vktsim: %s\n", e.what());
    return 1;
  }
  return 0;
}
