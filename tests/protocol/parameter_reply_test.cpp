// Reading the parameter reply: line splitting and the year and count rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/connect.h"
#include "support/fakes.h"

namespace vkt::protocol {
namespace {

using Lines = std::vector<std::string>;

TEST(ParameterReply, LfCrAndCrLfGiveTheSameLines) {
  const std::string crlf = normalise_parameter_reply("\r\n@Year=2024\r\n@Count= 12 r\r\n#");
  const std::string lfcr = normalise_parameter_reply("\n\r@Year=2024\n\r@Count= 12 r\n\r#");
  EXPECT_EQ(crlf, "@Year=2024\r\n@Count= 12 r\r\n#");
  EXPECT_EQ(lfcr, crlf);
  EXPECT_EQ(split_parameter_lines(crlf), (Lines{"@Year=2024", "@Count= 12 r"}));
}

TEST(ParameterReply, TextAfterTheLastCrIsNotALine) {
  EXPECT_EQ(split_parameter_lines("a\r\nb\r\nc#"), (Lines{"a", "b"}));
  EXPECT_EQ(split_parameter_lines("@Year=2024 #"), Lines{});
  // Empty lines between CRs vanish in the trims.
  EXPECT_EQ(split_parameter_lines("a\r\n\r\n  b \r#"), (Lines{"a", "b"}));
}

TEST(ParameterReply, YearIsCharactersSevenToTen) {
  EXPECT_EQ(year_of_line("@Year=2024"), "2024");
  EXPECT_EQ(year_of_line("x@Year=2024"), "=202");
  EXPECT_EQ(year_of_line("@Year=20"), "20");
  EXPECT_EQ(year_of_line("@Year="), "");
}

TEST(ParameterReply, CountNeedsABlankAfterTheDigits) {
  EXPECT_EQ(count_of_line("@Count= 1234 records"), "1234");
  EXPECT_EQ(count_of_line("@Count= 1234"), "");
  // Only ten characters from the first blank are looked at.
  EXPECT_EQ(count_of_line("@Count= 123456789 x"), "");
  EXPECT_EQ(count_of_line("@Count= 1234567 x"), "1234567");
  EXPECT_EQ(count_of_line("@Count= 12345678 x"), "");
  // No blank at all: the ten characters come from the line's start.
  EXPECT_EQ(count_of_line("@Count=12"), "");
  EXPECT_EQ(count_of_line("@Count=12 5"), "");
}

TEST(ParameterReply, LastLineWinsAndAbsentKeysKeepOldValues) {
  testing::TestLibrary lib;
  lib->logger.param_year = "2001";
  lib->logger.param_count = "7";
  apply_parameter_lines(lib->logger, {"@Count= 10 a", "@Count= 20 b", "@Mode=x"});
  EXPECT_EQ(lib->logger.param_year, "2001");
  EXPECT_EQ(lib->logger.param_count, "20");
  apply_parameter_lines(lib->logger, {"@Year=2030", "@Year=2031"});
  EXPECT_EQ(lib->logger.param_year, "2031");
  EXPECT_EQ(lib->logger.param_count, "20");
}

}  // namespace
}  // namespace vkt::protocol
