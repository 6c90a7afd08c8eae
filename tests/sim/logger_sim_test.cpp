// The simulator as the host sees it through the pty slave: handshake,
// settings that "p" reports back, clock and start time, the download.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "sim/pty_host.h"
#include "vktsim/logger_sim.h"

namespace {

using namespace std::chrono_literals;
using simtest::PtyHost;
using testing::ElementsAre;
using vktsim::LoggerSim;
using vktsim::SimOptions;

SimOptions unpaced(std::size_t records = 0) {
  SimOptions o;
  o.paced = false;
  vktsim::GeneratorOptions g;
  g.count = records;
  g.start = {2023, 12, 31, 23, 59, 58, 0};
  g.interval_ms = 700;
  o.records = vktsim::generate_records(g);
  return o;
}

// Splits a reply at CR LF, dropping the terminator line.
std::vector<std::string> lines_of(const std::string& reply) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at; (at = reply.find("\r\n", from)) != std::string::npos; from = at + 2)
    lines.push_back(reply.substr(from, at - from));
  return lines;
}

TEST(LoggerSimHandshake, ParameterReplyHasTheLinesTheHostReads) {
  LoggerSim sim(unpaced(1234));
  PtyHost host(sim.slave_path());
  const std::string hello = host.exchange("m");
  EXPECT_EQ(hello, "VKT-18 RLS=1.07#");
  const std::string params = host.exchange("p");
  EXPECT_THAT(lines_of(params),
              ElementsAre("@Year=2023", "@Count= 1234 records", "@Record=A", "@Interval=6", "@Type=0010",
                          "@wait=0000", "@My_ID=0001", "@detect=0005", "@ADJ h=0000 0000 0000",
                          "@gmenDR_A RLS=1.07"));
  EXPECT_EQ(params.substr(params.size() - 3), "\r\n#");
  EXPECT_THAT(sim.commands(), ElementsAre("m", "p"));
}

TEST(LoggerSimSettings, SettingsCommandsChangeWhatTheParameterReplyShows) {
  LoggerSim sim(unpaced());
  PtyHost host(sim.slave_path());
  const std::vector<std::string> commands = {"jB", "02", "i9", "w45", "Ox05", "Oz01", "N150", "d07"};
  for (const std::string& c : commands) EXPECT_EQ(host.exchange(c), "OK#") << c;
  EXPECT_EQ(sim.commands(), commands) << "digit runs of any length are whole commands";

  const std::string params = host.exchange("p");
  EXPECT_THAT(lines_of(params),
              ElementsAre(testing::StartsWith("@Year="), "@Count= 0 records", "@Record=B", "@Interval=9",
                          "@Type=0002", "@wait=0045", "@My_ID=0150", "@detect=0007", "@ADJ h=0005 0000 0001",
                          "@gmenDR_A RLS=1.07"));
  const vktsim::SimSettings s = sim.settings();
  EXPECT_EQ(s.record, 'B');
  EXPECT_EQ(s.type, 2);
  EXPECT_EQ(s.my_id, 150);

  EXPECT_EQ(host.exchange("01"), "OK#");
  EXPECT_EQ(host.exchange("Ox00"), "OK#");
  EXPECT_THAT(host.exchange("p"), testing::AllOf(testing::HasSubstr("@Type=0001\r\n"),
                                                 testing::HasSubstr("@ADJ h=0000 0000 0001\r\n")));
}

TEST(LoggerSimClock, ClockSetInOneStringIsTwoCommandsAndTheClockRunsOn) {
  LoggerSim sim(unpaced());
  PtyHost host(sim.slave_path());
  host.send("s2024/03/15 13:45:30t");
  EXPECT_EQ(host.read_until("OK#OK#"), "OK#OK#");
  EXPECT_THAT(sim.commands(), ElementsAre("s2024/03/15 13:45:30", "t"));
  EXPECT_EQ(sim.clock_text(), "2024/03/15 13:45:30");
  EXPECT_THAT(sim.logger_time(), testing::StartsWith("2024/03/15 13:4"));

  EXPECT_EQ(host.exchange("l03/15 09:30"), "OK#");
  EXPECT_EQ(sim.start_time(), "03/15 09:30");
}

TEST(LoggerSimDownload, EveryRecordAsTwentyHexDigitsThenTheTerminator) {
  LoggerSim sim(unpaced(50));
  PtyHost host(sim.slave_path());
  host.send("D");
  const std::string reply = host.read_until("#\r\n");
  const std::vector<std::string> lines = lines_of(reply);
  ASSERT_EQ(lines.size(), 51u);
  EXPECT_EQ(lines.back(), "#");
  const std::vector<std::string> records(lines.begin(), lines.end() - 1);
  EXPECT_EQ(records, sim.record_lines());
  for (const std::string& l : records) {
    EXPECT_EQ(l.size(), 20u);
    EXPECT_EQ(l.find_first_not_of("0123456789ABCDEF"), std::string::npos) << l;
  }
  // The generated recording starts two seconds before 2024: the tag moves
  // on exactly where the year does.
  const auto sim_records = sim.records();
  EXPECT_EQ(sim_records.front().year, 2023);
  EXPECT_EQ(sim_records.back().year, 2024);
  for (std::size_t i = 0; i < records.size(); ++i) {
    const int tag = std::stoi(records[i].substr(1, 1), nullptr, 16) / 4;
    EXPECT_EQ(tag, sim_records[i].year - 2023) << i;
  }
  EXPECT_EQ(sim.counters().downloads, 1u);
}

TEST(LoggerSimDownload, EmptyMemoryAnswersTheTerminatorLineOnly) {
  LoggerSim sim(unpaced(0));
  PtyHost host(sim.slave_path());
  host.send("D");
  EXPECT_EQ(host.read_until("#\r\n"), "#\r\n");
}

TEST(LoggerSimInput, NoiseGetsNoReplyAndTheNextCommandAfterAPauseIsServed) {
  LoggerSim sim(unpaced());
  PtyHost host(sim.slave_path());
  host.send("hello\r\n");
  // Wait until the simulator has read the noise, then keep the line quiet
  // longer than its idle gap, so that "m" is a fresh command.
  for (int i = 0; i < 500 && sim.counters().bytes_received < 7; ++i) std::this_thread::sleep_for(2ms);
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(host.exchange("m"), "VKT-18 RLS=1.07#") << "nothing may come before the reply to m";
  EXPECT_THAT(sim.commands(), ElementsAre("m"));
  EXPECT_EQ(sim.counters().discarded_bytes, 7u);
}

TEST(LoggerSimPacing, PacedRepliesArriveWhole) {
  SimOptions o;  // paced at 19200 baud
  o.records = vktsim::generate_records({});
  o.records.resize(3);
  LoggerSim sim(o);
  PtyHost host(sim.slave_path());
  EXPECT_EQ(host.exchange("m"), "VKT-18 RLS=1.07#");
  EXPECT_THAT(host.exchange("p"), testing::HasSubstr("@Count= 3 records\r\n"));
}

TEST(LoggerSimSession, ReplugGivesANewLineAndKeepsTheLoggerState) {
  LoggerSim sim(unpaced(3));
  std::string first_path = sim.slave_path();
  {
    PtyHost host(first_path);
    EXPECT_EQ(host.exchange("N42"), "OK#");
    sim.unplug();
    EXPECT_FALSE(sim.plugged());
    host.read_for(200ms);
    EXPECT_TRUE(host.hung_up());
  }
  sim.replug();
  EXPECT_TRUE(sim.plugged());
  PtyHost host(sim.slave_path());
  EXPECT_THAT(host.exchange("p"), testing::HasSubstr("@My_ID=0042\r\n"));
  EXPECT_EQ(sim.counters().plugs, 2u);
}

TEST(LoggerSimTranscript, LogsBothDirections) {
  simtest::TempFolder folder;
  SimOptions o = unpaced();
  o.transcript_path = (folder.path() / "line.log").string();
  {
    LoggerSim sim(o);
    PtyHost host(sim.slave_path());
    EXPECT_EQ(host.exchange("m"), "VKT-18 RLS=1.07#");
  }
  std::ifstream in(o.transcript_path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_THAT(text.str(), testing::ContainsRegex("<- 6D +\\|m\\|"));
  EXPECT_THAT(text.str(), testing::HasSubstr("-> 56 4B 54"));
}

}  // namespace
