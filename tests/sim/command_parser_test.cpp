// Command boundaries on the logger's input: the grammar, digit runs ended by
// a foreign byte or by the idle gap, and recovery from bytes that make no
// command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "vktsim/command_parser.h"

namespace {

using namespace std::chrono_literals;
using testing::ElementsAre;
using testing::IsEmpty;
using vktsim::CommandParser;

class ParserTest : public testing::Test {
 protected:
  // Feeds bytes that arrive together at the current time.
  void arrive(const std::string& bytes) { parser.feed(bytes, now, out); }
  // Lets `gap` of quiet pass and gives the parser its idle call.
  void quiet(std::chrono::milliseconds gap) {
    now += gap;
    parser.on_idle(now, out);
  }

  CommandParser parser{20ms};
  CommandParser::Clock::time_point now{};
  std::vector<std::string> out;
};

TEST_F(ParserTest, FixedFormCommandsSentBackToBackAreSplitByTheGrammar) {
  arrive("mpDtjajfjAjBjE1020020150i6i7i9");
  EXPECT_THAT(out, ElementsAre("m", "p", "D", "t", "ja", "jf", "jA", "jB", "jE", "10", "20", "02", "01", "50", "i6",
                               "i7", "i9"));
  EXPECT_FALSE(parser.deadline().has_value());
  EXPECT_EQ(parser.discarded_bytes(), 0u);
}

TEST_F(ParserTest, ClockCommandAndTInOneWriteGiveTwoCommands) {
  arrive("s2024/03/15 13:45:30t");
  EXPECT_THAT(out, ElementsAre("s2024/03/15 13:45:30", "t"));
}

TEST_F(ParserTest, DigitRunEndsAtTheIdleGapWhateverItsLength) {
  arrive("N150");
  EXPECT_THAT(out, IsEmpty());
  ASSERT_TRUE(parser.deadline().has_value());
  quiet(5ms);
  EXPECT_THAT(out, IsEmpty()) << "the run may still go on";
  quiet(20ms);
  EXPECT_THAT(out, ElementsAre("N150"));
  EXPECT_FALSE(parser.deadline().has_value());
}

TEST_F(ParserTest, DigitRunEndsAtTheNextCommandLetter) {
  arrive("w05d01Ox5Oz01N7m");
  EXPECT_THAT(out, ElementsAre("w05", "d01", "Ox5", "Oz01", "N7", "m"));
}

TEST_F(ParserTest, GapBetweenBytesOfOneCommandCompletesTheRunFirst) {
  arrive("d1");
  now += 30ms;  // no idle call in between: the next byte itself notices the gap
  arrive("50");
  EXPECT_THAT(out, ElementsAre("d1", "50")) << "after the gap the digits begin a model code";
}

TEST_F(ParserTest, StartTimeCommandCompletesAtFullLengthOrAtTheGap) {
  arrive("l03/15 09:30m");
  EXPECT_THAT(out, ElementsAre("l03/15 09:30", "m"));
  out.clear();
  arrive("l3/5 9:30");
  quiet(25ms);
  EXPECT_THAT(out, ElementsAre("l3/5 9:30"));
}

TEST_F(ParserTest, UnknownBytesAreDroppedUntilTheLineHasBeenQuiet) {
  arrive("hello");
  arrive("m");  // no gap yet: still part of the noise
  EXPECT_THAT(out, IsEmpty());
  EXPECT_EQ(parser.discarded_bytes(), 6u);
  quiet(25ms);
  arrive("m");
  EXPECT_THAT(out, ElementsAre("m"));
}

TEST_F(ParserTest, MalformedCommandsAreDropped) {
  for (const char* bad : {"jz", "i8", "30", "03", "Oy", "wX", "s2024/3/15 13:45:30", "N123456789"}) {
    arrive(bad);
    quiet(25ms);
    EXPECT_THAT(out, IsEmpty()) << bad;
    EXPECT_FALSE(parser.deadline().has_value()) << bad;
  }
  arrive("p");
  EXPECT_THAT(out, ElementsAre("p"));
}

TEST_F(ParserTest, IncompleteCommandsAreDroppedAtTheGap) {
  for (const char* partial : {"s2024/03/15 13:4", "j", "O", "Ox", "N", "l", "1"}) {
    arrive(partial);
    quiet(25ms);
    EXPECT_THAT(out, IsEmpty()) << partial;
  }
  arrive("N99");
  quiet(25ms);
  EXPECT_THAT(out, ElementsAre("N99"));
}

}  // namespace
