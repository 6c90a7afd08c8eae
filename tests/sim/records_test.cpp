// The record line encoder, checked against the worked examples and against
// a decoder written here from the field table (digit pairs, not the 28-bit
// word), plus the generator and the record file reader.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "vktsim/records.h"

namespace {

using vktsim::RecordFields;
using vktsim::SimRecord;

int hex_pair(const std::string& line, std::size_t first_digit) {
  return std::stoi(line.substr(first_digit - 1, 2), nullptr, 16);
}
int as_signed(int byte) { return byte >= 128 ? byte - 256 : byte; }

// Reads a line the way the field table describes it: overlapping digit
// pairs, counted from 1.
RecordFields table_decode(const std::string& line) {
  RecordFields f;
  f.month = std::stoi(line.substr(0, 1), nullptr, 16);
  f.year_tag = std::stoi(line.substr(1, 1), nullptr, 16) / 4;
  f.day = (hex_pair(line, 2) >> 1) & 0x1F;
  f.hour = hex_pair(line, 3) & 0x1F;
  f.minute = hex_pair(line, 5) / 4;
  f.second = hex_pair(line, 6) & 0x3F;
  f.tenths = std::stoi(line.substr(7, 1), nullptr, 16);
  f.x = as_signed(hex_pair(line, 9));
  f.y = as_signed(hex_pair(line, 11));
  f.z = as_signed(hex_pair(line, 13));
  f.deg = as_signed(hex_pair(line, 15));
  f.hundredths = hex_pair(line, 17);
  f.humi = hex_pair(line, 19);
  return f;
}

// Dates decoded lines: the first in `first_year`, one year on at every
// change of tag.
std::vector<SimRecord> table_decode_all(const std::vector<std::string>& lines, int first_year) {
  std::vector<SimRecord> out;
  int year = first_year;
  int last_tag = -1;
  for (const std::string& line : lines) {
    const RecordFields f = table_decode(line);
    if (last_tag >= 0 && f.year_tag != last_tag) ++year;
    last_tag = f.year_tag;
    out.push_back({year, f.month, f.day, f.hour, f.minute, f.second, f.hundredths, f.x, f.y, f.z, f.deg, f.tenths,
                   f.humi});
  }
  return out;
}

TEST(RecordEncoding, WorkedExamples) {
  const RecordFields first{3, 1, 15, 13, 45, 30, 5, 1, -2, 64, 23, 25, 45};
  const RecordFields second{1, 2, 2, 0, 0, 5, 0, -128, 127, 0, -5, 0, 100};
  EXPECT_EQ(vktsim::encode_record(first), "35EDB5E501FE4017192D");
  EXPECT_EQ(vktsim::encode_record(second), "18400050807F00FB0064");
  EXPECT_EQ(vktsim::decode_record("35EDB5E501FE4017192D"), first);
  EXPECT_EQ(vktsim::decode_record("18400050807f00fb0064"), second);
}

TEST(RecordEncoding, RoundTripsThroughTheTableDecoderOverTheWholeFieldRanges) {
  std::mt19937 rng(7);
  auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
  for (int i = 0; i < 2000; ++i) {
    const RecordFields f{pick(0, 15),    pick(0, 3),    pick(0, 31),    pick(0, 31),   pick(0, 63),
                         pick(0, 63),    pick(0, 15),   pick(-128, 127), pick(-128, 127), pick(-128, 127),
                         pick(-128, 127), pick(0, 255), pick(0, 255)};
    const std::string line = vktsim::encode_record(f);
    ASSERT_EQ(line.size(), 20u);
    ASSERT_EQ(line.find_first_not_of("0123456789ABCDEF"), std::string::npos) << line;
    ASSERT_EQ(table_decode(line), f) << line;
  }
}

TEST(RecordEncoding, OutOfRangeValuesDoNotSpillIntoNeighbouringFields) {
  RecordFields f{};
  f.minute = 7;
  f.second = 64 + 3;  // one bit too wide
  f.hour = 32 + 1;
  const RecordFields back = table_decode(vktsim::encode_record(f));
  EXPECT_EQ(back.second, 3);
  EXPECT_EQ(back.minute, 7);
  EXPECT_EQ(back.hour, 1);
  EXPECT_EQ(back.day, 0);
}

TEST(RecordEncoding, YearTagsFollowTheYearFromTheBaseTag) {
  std::vector<SimRecord> records(5);
  const int years[] = {2023, 2023, 2024, 2025, 2026};
  for (std::size_t i = 0; i < records.size(); ++i) records[i].year = years[i];
  const std::vector<std::string> lines = vktsim::encode_records(records, 3);
  std::vector<int> tags;
  for (const std::string& l : lines) tags.push_back(table_decode(l).year_tag);
  EXPECT_THAT(tags, testing::ElementsAre(3, 3, 0, 1, 2));
  EXPECT_EQ(table_decode_all(lines, 2023), records);
}

TEST(RecordGenerator, SameSeedSameRecordsWithinPlausibleRanges) {
  vktsim::GeneratorOptions options;
  options.count = 300;
  options.seed = 42;
  options.interval_ms = 250;
  options.start = {2024, 2, 28, 23, 59, 59, 0};
  const auto records = vktsim::generate_records(options);
  ASSERT_EQ(records.size(), 300u);
  EXPECT_EQ(records, vktsim::generate_records(options));
  options.seed = 43;
  EXPECT_NE(records, vktsim::generate_records(options));

  EXPECT_EQ(records[4].month, 2);
  EXPECT_EQ(records[4].day, 29) << "2024 is a leap year";
  EXPECT_EQ(records[4].hour, 0);
  EXPECT_EQ(records[5].hundredths, 25);
  for (const SimRecord& r : records) {
    EXPECT_GE(r.deg, 20);
    EXPECT_LE(r.deg, 25);
    EXPECT_LE(r.tenths, 9);
    EXPECT_GE(r.humi, 30);
    EXPECT_LE(r.humi, 70);
    EXPECT_LT(r.hundredths, 100);
  }
}

TEST(RecordGenerator, CrossingTheNewYearDatesTheMiddleRecordFirstOfJanuary) {
  vktsim::GeneratorOptions options;
  options.count = 10;
  options.interval_ms = 1500;
  options.start = {2025, 6, 1, 0, 0, 0, 0};
  options.cross_new_year = true;
  const auto records = vktsim::generate_records(options);
  EXPECT_EQ(records[4].year, 2025);
  EXPECT_EQ(records[4].month, 12);
  EXPECT_EQ(records[4].day, 31);
  EXPECT_EQ(records[4].hundredths, 50);
  const SimRecord& first_of_year = records[5];
  EXPECT_EQ((std::vector<int>{first_of_year.year, first_of_year.month, first_of_year.day, first_of_year.hour,
                              first_of_year.minute, first_of_year.second}),
            (std::vector<int>{2026, 1, 1, 0, 0, 0}));
  EXPECT_EQ(table_decode_all(vktsim::encode_records(records, 1), 2025), records);
}

TEST(RecordFile, HexLinesAreKeptVerbatimAndDatedByTagChanges) {
  std::istringstream in("# two records\n35edb5e501fe4017192d\n\n  18400050807F00FB0064  \n");
  const vktsim::RecordSet set = vktsim::parse_records(in, 2009);
  EXPECT_THAT(set.lines, testing::ElementsAre("35EDB5E501FE4017192D", "18400050807F00FB0064"));
  ASSERT_EQ(set.records.size(), 2u);
  EXPECT_EQ(set.records[0], (SimRecord{2009, 3, 15, 13, 45, 30, 25, 1, -2, 64, 23, 5, 45}));
  EXPECT_EQ(set.records[1], (SimRecord{2010, 1, 2, 0, 0, 5, 0, -128, 127, 0, -5, 0, 100}));
}

TEST(RecordFile, ReadableLinesGiveRecords) {
  std::istringstream in("2024/03/15 13:45:30.25,1,-2,64,23,5,45\n2024/12/31 23:59:59, 0, 0, 64, -5, 0, 100\n");
  const vktsim::RecordSet set = vktsim::parse_records(in, 1999);
  EXPECT_TRUE(set.lines.empty());
  EXPECT_THAT(set.records, testing::ElementsAre(SimRecord{2024, 3, 15, 13, 45, 30, 25, 1, -2, 64, 23, 5, 45},
                                                SimRecord{2024, 12, 31, 23, 59, 59, 0, 0, 0, 64, -5, 0, 100}));
}

TEST(RecordFile, BadLinesAreRejectedWithTheirLineNumber) {
  const std::pair<const char*, const char*> cases[] = {
      {"35EDB5E501FE4017192D\n2024/03/15 13:45:30,1,2,3,4,5,6\n", "line 2"},  // forms mixed
      {"\n35EDB5E501FE4017192\n", "line 2"},                                  // 19 digits
      {"2024/03/15 13:45:30,1,2,300,4,5,6\n", "z 300"},
      {"2024/03/15 13:45:30,1,2,3,4,5\n", "line 1"},
  };
  for (const auto& [text, expected] : cases) {
    std::istringstream in(text);
    try {
      vktsim::parse_records(in, 2024);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const std::runtime_error& e) {
      EXPECT_THAT(e.what(), testing::HasSubstr(expected)) << text;
    }
  }
}

TEST(ClockText, ParsesTheCommandFormAndRejectsImpossibleDates) {
  EXPECT_EQ(vktsim::parse_date_time("2025/03/05 09:04:07"), (vktsim::DateTime{2025, 3, 5, 9, 4, 7, 0}));
  EXPECT_EQ(vktsim::parse_date_time("2025-03-05T09:04:07"), (vktsim::DateTime{2025, 3, 5, 9, 4, 7, 0}));
  EXPECT_FALSE(vktsim::parse_date_time("2025/02/29 09:04:07"));
  EXPECT_FALSE(vktsim::parse_date_time("2025/03/05 24:00:00"));
  EXPECT_FALSE(vktsim::parse_date_time("2025/3/5 09:04:07"));
  EXPECT_EQ(vktsim::format_date_time(vktsim::add_milliseconds({2024, 12, 31, 23, 59, 59, 0}, 1500)),
            "2025/01/01 00:00:00");
}

}  // namespace
