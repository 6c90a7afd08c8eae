// Faults the simulator plays to exercise the host's error paths.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "sim/pty_host.h"
#include "vktsim/logger_sim.h"

namespace {

using namespace std::chrono_literals;
using simtest::PtyHost;
using testing::ElementsAre;
using vktsim::LoggerSim;
using vktsim::SimFaults;
using vktsim::SimOptions;

SimOptions with_faults(const SimFaults& faults, std::size_t records = 4) {
  SimOptions o;
  o.paced = false;
  vktsim::GeneratorOptions g;
  g.count = records;
  o.records = vktsim::generate_records(g);
  o.faults = faults;
  return o;
}

const std::string kHello = "VKT-18 RLS=1.07#";

TEST(SimFaultsTest, SilentLoggerRecordsCommandsButSendsNothing) {
  SimFaults f;
  f.silent = true;
  LoggerSim sim(with_faults(f));
  PtyHost host(sim.slave_path());
  host.send("m");
  ASSERT_TRUE(sim.wait_for_commands(1, 5s));
  host.send("p");
  ASSERT_TRUE(sim.wait_for_commands(2, 5s));
  EXPECT_EQ(host.read_for(100ms), "");
  EXPECT_EQ(sim.counters().unanswered, 2u);
  EXPECT_EQ(sim.counters().bytes_sent, 0u);
}

TEST(SimFaultsTest, UnansweredCommandIsNeitherAnsweredNorApplied) {
  SimFaults f;
  f.no_answer = {"t", "Oz"};
  LoggerSim sim(with_faults(f));
  PtyHost host(sim.slave_path());
  // Both commands are parsed before "m"; only their replies could come first.
  host.send("s2025/03/05 09:04:07tOz01m");
  EXPECT_EQ(host.read_until(kHello), "OK#" + kHello);
  EXPECT_THAT(sim.commands(), ElementsAre("s2025/03/05 09:04:07", "t", "Oz01", "m"));
  EXPECT_EQ(sim.settings().adj_h3, 0);
  EXPECT_EQ(sim.clock_text(), "2025/03/05 09:04:07");
}

TEST(SimFaultsTest, ChunkedReplyCarriesTheSameBytes) {
  LoggerSim sim(with_faults({}));
  PtyHost host(sim.slave_path());
  const std::string whole = host.exchange("p");
  SimFaults f;
  f.chunk_bytes = 7;
  f.chunk_pause = 3ms;
  sim.set_faults(f);
  EXPECT_EQ(host.exchange("p"), whole);
}

TEST(SimFaultsTest, LfCrLineEnds) {
  SimFaults f;
  f.lf_cr = true;
  LoggerSim sim(with_faults(f, 2));
  PtyHost host(sim.slave_path());
  const std::string params = host.exchange("p");
  EXPECT_THAT(params, testing::HasSubstr("@Year=2024\n\r@Count= 2 records\n\r"));
  EXPECT_EQ(params.find("\r\n"), std::string::npos);
  host.send("D");
  const std::string data = host.read_until("#\n\r");
  EXPECT_EQ(data, sim.record_lines()[0] + "\n\r" + sim.record_lines()[1] + "\n\r#\n\r");
}

TEST(SimFaultsTest, NulStaleAndExtraBytesAroundAReply) {
  SimFaults f;
  f.nul_in_reply = true;
  f.nul_offset = 2;
  f.nul_only_for = "m";
  f.stale_before_reply = "zz";
  f.stale_only_for = "t";
  f.extra_after_terminator = "xy";
  f.extra_only_for = "t";
  LoggerSim sim(with_faults(f));
  PtyHost host(sim.slave_path());
  host.send("m");
  EXPECT_EQ(host.read_until("#"), std::string("VK\0T-18 RLS=1.07#", 17));
  host.send("t");
  EXPECT_EQ(host.read_bytes(7), "zzOK#xy");
}

TEST(SimFaultsTest, BrokenRecordLines) {
  SimFaults f;
  f.bad_length_record = 1;
  f.non_hex_record = 2;
  LoggerSim sim(with_faults(f, 4));
  PtyHost host(sim.slave_path());
  host.send("D");
  const std::string data = host.read_until("#\r\n");
  const std::vector<std::string> sent = sim.record_lines();
  std::string expected_bad_hex = sent[2];
  expected_bad_hex[9] = 'G';
  EXPECT_EQ(data, sent[0] + "\r\n" + sent[1].substr(0, 19) + "\r\n" + expected_bad_hex + "\r\n" + sent[3] +
                      "\r\n#\r\n");
}

TEST(SimFaultsTest, DownloadWithoutTerminator) {
  SimFaults f;
  f.no_download_terminator = true;
  LoggerSim sim(with_faults(f, 3));
  PtyHost host(sim.slave_path());
  host.send("D");
  std::string data = host.read_bytes(3 * 22);
  data += host.read_for(100ms);
  EXPECT_EQ(data, sim.record_lines()[0] + "\r\n" + sim.record_lines()[1] + "\r\n" + sim.record_lines()[2] + "\r\n");
  EXPECT_EQ(sim.counters().downloads, 1u);
}

TEST(SimFaultsTest, HangUpAfterNBytesUnplugsUntilReplug) {
  simtest::TempFolder folder;
  SimFaults f;
  f.hang_up_after_bytes = 10;
  SimOptions o = with_faults(f);
  o.tree_root = folder.path().string();
  LoggerSim sim(o);
  ASSERT_TRUE(std::filesystem::is_symlink(sim.device_path()));
  {
    PtyHost host(sim.device_path());
    host.send("p");
    const std::string got = host.read_until("#", 5s);
    EXPECT_TRUE(host.hung_up());
    EXPECT_LE(got.size(), 10u) << "bytes still buffered may be lost with the line";
    EXPECT_EQ(got, std::string("@Year=2024").substr(0, got.size()));
  }
  ASSERT_TRUE(sim.wait_for_unplug(5s));
  EXPECT_EQ(sim.counters().bytes_sent, 10u);
  EXPECT_EQ(sim.counters().hang_ups, 1u);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.device_path())));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "sys/class/tty/ttyUSB0"));

  sim.set_faults({});
  sim.replug();
  EXPECT_EQ(std::filesystem::read_symlink(sim.device_path()).string(), sim.slave_path());
  PtyHost host(sim.device_path());
  EXPECT_EQ(host.exchange("m"), kHello);
}

}  // namespace
