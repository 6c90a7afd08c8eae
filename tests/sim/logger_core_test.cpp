// The simulated logger without a line: what its carrier feeds it, what it
// answers and when, and the carrier's reports.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "vktsim/logger_core.h"

namespace {

using namespace std::chrono_literals;
using vktsim::LoggerCore;
using vktsim::ReplyPiece;
using Clock = LoggerCore::Clock;

std::string joined(const std::vector<ReplyPiece>& pieces) {
  std::string all;
  for (const ReplyPiece& p : pieces) all += p.bytes;
  return all;
}

TEST(LoggerCore, ADigitRunIsAnsweredOnceTheQuietTimeHasPassedAndANewSessionDropsAHalfCommand) {
  LoggerCore logger(vktsim::SimOptions{});
  const Clock::time_point t0{};
  std::vector<ReplyPiece> out;
  logger.receive("N150", 4, t0, out);
  EXPECT_TRUE(out.empty()) << "more digits may follow";
  ASSERT_TRUE(logger.deadline().has_value());
  logger.idle(t0 + 5ms, out);
  EXPECT_TRUE(out.empty());
  logger.idle(*logger.deadline(), out);
  EXPECT_EQ(joined(out), "OK#");
  EXPECT_EQ(logger.settings().my_id, 150);

  out.clear();
  logger.receive("s2024/03", 8, t0 + 1s, out);
  logger.new_session();
  logger.receive("m", 1, t0 + 2s, out);
  EXPECT_EQ(joined(out), "VKT-18 RLS=1.07#");
  EXPECT_EQ(logger.commands(), (std::vector<std::string>{"N150", "m"}));
}

TEST(LoggerCore, AChunkedReplyWaitsBeforeEveryPieceButTheFirst) {
  vktsim::SimOptions options;
  options.faults.chunk_bytes = 4;
  options.faults.chunk_pause = 7ms;
  LoggerCore logger(options);
  std::vector<ReplyPiece> out;
  logger.receive("m", 1, Clock::time_point{}, out);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(joined(out), "VKT-18 RLS=1.07#");
  EXPECT_EQ(out[0].pause, 0ms);
  for (std::size_t i = 1; i < out.size(); ++i) EXPECT_EQ(out[i].pause, 7ms) << i;
}

TEST(LoggerCore, TheCarriersReportsMakeThePlugStateAndTheCounters) {
  std::vector<std::string> notes;
  vktsim::SimOptions options;
  options.faults.silent = true;
  LoggerCore logger(options, [&](const std::string& text) { notes.push_back(text); });
  EXPECT_FALSE(logger.plugged());
  logger.plugged_in();
  std::vector<ReplyPiece> out;
  logger.receive("px", 2, Clock::time_point{}, out);
  logger.count_received(2);
  logger.count_sent(5);
  logger.unplugged(/*by_fault=*/true);
  EXPECT_TRUE(logger.wait_for_unplug(0ms));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(notes, (std::vector<std::string>{"no answer to p"}));

  const vktsim::SimCounters c = logger.counters();
  EXPECT_EQ(c.plugs, 1u);
  EXPECT_EQ(c.hang_ups, 1u);
  EXPECT_EQ(c.commands, 1u);
  EXPECT_EQ(c.unanswered, 1u);
  EXPECT_EQ(c.discarded_bytes, 1u) << "the x starts no command";
  EXPECT_EQ(c.bytes_received, 2u);
  EXPECT_EQ(c.bytes_sent, 5u);
}

}  // namespace
