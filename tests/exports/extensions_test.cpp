// The Linux extensions over the module boundary, against the simulated
// logger: why an open failed, the reply to one command, and what a failed
// download received.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "exports/module.h"
#include "support/pty_pair.h"
#include "support/serial_machine.h"
#include "vktsim/logger_sim.h"

namespace {

using vkt::testing::Module;

vktsim::SimOptions sim_options(const vkt::test::SerialMachine& machine, std::size_t records) {
  vktsim::SimOptions options;
  options.paced = false;
  vktsim::GeneratorOptions generator;
  generator.count = records;
  options.records = vktsim::generate_records(generator);
  options.tree_root = machine.root().string();
  return options;
}

std::string open_error_text(Module& m, int32_t* code, int32_t* error) {
  char text[256] = {};
  *code = m.vkt_open_error(error, text, sizeof text);
  return text;
}

TEST(OpenErrorExtension, NamesTheCauseAndTheSystemsErrorNumber) {
  vkt::test::SerialMachine machine;
  Module m;
  m.form_open();
  int32_t code = 0, error = 0;

  // No device behind the port number.
  ASSERT_EQ(m.com_open(1), -1);
  open_error_text(m, &code, &error);
  EXPECT_EQ(code, -2001);
  EXPECT_EQ(error, ENOENT);

  // A device node that is a regular file: not a terminal.
  const std::string file = (machine.root() / "not-a-tty").string();
  ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600));
  machine.link_node("ttyUSB0", file);
  ASSERT_EQ(m.com_open(1), -1);
  const std::string text = open_error_text(m, &code, &error);
  EXPECT_EQ(code, -ENOTTY);
  EXPECT_EQ(error, ENOTTY);
  EXPECT_FALSE(text.empty());

  // Permission denied (not testable as root, who passes every mode).
  if (::geteuid() != 0) {
    ::chmod(file.c_str(), 0);
    ASSERT_EQ(m.com_open(1), -1);
    open_error_text(m, &code, &error);
    EXPECT_EQ(code, -EACCES);
    EXPECT_EQ(error, EACCES);
  }

  // A success clears the cause.
  vkt::test::PtyPair pty;
  machine.link_node("ttyUSB0", pty.slave_path());
  ASSERT_EQ(m.com_open(1), 1);
  EXPECT_EQ(open_error_text(m, &code, &error), "");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(error, 0);
  m.com_close();
}

// A device outside the port table (the simulator's bare pseudo-terminal)
// opens by its path, the open fails as com_open's do, and the path's
// number opens the same device again until another number is chosen.
TEST(OpenPathExtension, OpensAnyTerminalAndKeepsItsNumber) {
  vkt::test::SerialMachine machine;
  vktsim::SimOptions options = sim_options(machine, 3);
  options.tree_root.clear();  // no device of the table leads to it
  vktsim::LoggerSim sim(options);
  vkt::test::PtyPair other;
  machine.link_node("ttyUSB0", other.slave_path());
  Module m;
  m.form_open();
  int32_t code = 0, error = 0;

  EXPECT_EQ(m.vkt_open_path((machine.root() / "absent").c_str()), -1);
  open_error_text(m, &code, &error);
  EXPECT_EQ(code, -2001);
  EXPECT_EQ(error, ENOENT);

  ASSERT_EQ(m.vkt_open_path(sim.slave_path().c_str()), VKT_PATH_PORT);
  EXPECT_EQ(m.vkt_open_path("/elsewhere"), VKT_PATH_PORT) << "an open port stays as it is";
  EXPECT_EQ(m.vkt_connect(), 1);
  m.com_close();
  ASSERT_EQ(m.com_open(VKT_PATH_PORT), VKT_PATH_PORT);
  EXPECT_EQ(m.vkt_connect(), 1);
  m.com_close();

  // The table's device of the logger's adapter, by its number.
  EXPECT_EQ(m.vkt_open_path((machine.root() / "dev" / "ttyUSB0").c_str()), 1);
  m.com_close();
  EXPECT_EQ(m.com_open(VKT_PATH_PORT), -1) << "another number forgot the path";
  EXPECT_EQ(m.vkt_open_error(nullptr, nullptr, 0), -2001);
}

TEST(CommandReplyExtension, HandsBackTheReplyCutToTheBuffer) {
  vkt::test::SerialMachine machine;
  vktsim::LoggerSim sim(sim_options(machine, 10));
  Module m;
  ASSERT_NO_FATAL_FAILURE(vkt::testing::search_open_connect(m));

  char reply[512];
  const int32_t length = m.vkt_command_reply("p", reply, sizeof reply);
  ASSERT_GT(length, 0);
  ASSERT_LT(length, static_cast<int32_t>(sizeof reply));
  const std::string full(reply);
  EXPECT_EQ(static_cast<int32_t>(full.size()), length);
  EXPECT_NE(full.find("@Count"), std::string::npos) << full;

  char small[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(m.vkt_command_reply("p", small, 4), length);
  EXPECT_EQ(std::string(small), full.substr(0, 3));
  EXPECT_EQ(small[4], 'x');
  m.com_close();
}

struct Downloaded {
  int32_t ok = 0;
  vkt_download_report report{};
  std::string text;
  std::vector<int32_t> index, length;
};

Downloaded download(Module& m) {
  Downloaded d;
  d.ok = m.vkt_inputdata();
  m.vkt_get_download_report(&d.report);
  d.text.resize(static_cast<std::size_t>(m.vkt_download_text(nullptr, 0)) + 1);
  m.vkt_download_text(d.text.data(), static_cast<int32_t>(d.text.size()));
  d.text.pop_back();
  d.index.resize(8);
  d.length.resize(8);
  const int32_t n = m.vkt_download_bad_lines(d.index.data(), d.length.data(), 8);
  d.index.resize(static_cast<std::size_t>(n));
  d.length.resize(static_cast<std::size_t>(n));
  return d;
}

TEST(DownloadReportExtension, SaysHowTheDownloadEndedAndKeepsWhatCame) {
  struct Case {
    const char* name;
    void (*fault)(vktsim::SimFaults&);
    int32_t status;
  };
  const Case cases[] = {
      {"complete", [](vktsim::SimFaults&) {}, VKT_DOWNLOAD_OK},
      {"bad lines",
       [](vktsim::SimFaults& f) {
         f.bad_length_record = 3;
         f.bad_length_delta = 2;
         f.non_hex_record = 5;
       },
       VKT_DOWNLOAD_BAD_LINE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vkt::test::SerialMachine machine;
    auto options = sim_options(machine, 12);
    c.fault(options.faults);
    vktsim::LoggerSim sim(std::move(options));
    Module m;
    ASSERT_NO_FATAL_FAILURE(vkt::testing::search_open_connect(m));
    const Downloaded d = download(m);
    EXPECT_EQ(d.report.status, c.status);
    EXPECT_EQ(d.ok, c.status == VKT_DOWNLOAD_OK ? 1 : 0);
    EXPECT_EQ(d.report.lines, 12);
    // Twelve lines of 22 bytes (one of them two characters longer) and "#" CR LF.
    EXPECT_EQ(d.report.bytes, 12 * 22 + 3 + (c.status == VKT_DOWNLOAD_OK ? 0 : 2)) << d.text;
    EXPECT_EQ(d.text.size(), static_cast<std::size_t>(d.report.bytes));
    EXPECT_EQ(d.text.substr(0, 20), sim.record_lines().front());
    if (c.status == VKT_DOWNLOAD_BAD_LINE) {
      EXPECT_EQ(d.report.bad_lines, 2);
      EXPECT_EQ(d.report.first_bad_index, 3);
      EXPECT_EQ(d.report.first_bad_length, 22);
      EXPECT_EQ(d.index, (std::vector<int32_t>{3, 5}));
      EXPECT_EQ(d.length, (std::vector<int32_t>{22, 20}));
    } else {
      EXPECT_EQ(d.report.bad_lines, 0);
      EXPECT_EQ(d.report.first_bad_index, -1);
    }
    m.com_close();
    // The text shares the table's reply and goes with the monitor window.
    m.form_release();
    EXPECT_EQ(m.vkt_download_text(nullptr, 0), 0);
  }
}

TEST(DownloadReportExtension, AHangUpIsToldApartFromSilence) {
  vkt::test::SerialMachine machine;
  // The bytes of the handshake, from a logger that stays plugged in.
  std::size_t handshake = 0;
  {
    vktsim::LoggerSim sim(sim_options(machine, 200));
    Module m;
    ASSERT_NO_FATAL_FAILURE(vkt::testing::search_open_connect(m));
    handshake = sim.counters().bytes_sent;
    m.com_close();
  }
  auto options = sim_options(machine, 200);
  options.faults.hang_up_after_bytes = handshake + 22 * 50 + 7;  // gone half way through the records
  vktsim::LoggerSim sim(std::move(options));
  Module m;
  ASSERT_NO_FATAL_FAILURE(vkt::testing::search_open_connect(m));
  const Downloaded d = download(m);
  EXPECT_EQ(d.ok, 0);
  EXPECT_EQ(d.report.status, VKT_DOWNLOAD_HUNG_UP);
  // What was still in the terminal's buffer when it hung up is lost; what
  // had come is counted and kept.
  EXPECT_LE(d.report.bytes, 22 * 50 + 7);
  EXPECT_EQ(d.text.size(), static_cast<std::size_t>(d.report.bytes));
  EXPECT_EQ(std::count(d.text.begin(), d.text.end(), '\n'), d.report.lines);
  EXPECT_EQ(d.text.substr(0, 22 * static_cast<std::size_t>(d.report.lines)),
            [&] {
              std::string lines;
              for (int32_t i = 0; i < d.report.lines; ++i) lines += sim.record_lines()[static_cast<std::size_t>(i)] + "\r\n";
              return lines;
            }());
  m.com_close();
}

TEST(DownloadReportExtension, SilenceIsATimeOut) {
  vkt::test::SerialMachine machine;
  auto options = sim_options(machine, 20);
  options.faults.no_answer = {"D"};
  vktsim::LoggerSim sim(std::move(options));
  Module m;
  ASSERT_NO_FATAL_FAILURE(vkt::testing::search_open_connect(m));
  const Downloaded d = download(m);
  EXPECT_EQ(d.report.status, VKT_DOWNLOAD_TIME_OUT);
  EXPECT_EQ(d.report.bytes, 0);
  EXPECT_EQ(d.text, "");
  m.com_close();
}

}  // namespace
