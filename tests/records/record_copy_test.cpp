// Copying decoded rows of the record table into fixed-size records, the way
// a host gets a whole download in one call.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "record_fixture.h"
#include "records/record_copy.h"

namespace vkt::records::test {
namespace {

using vkt::testing::TestLibrary;

std::vector<vkt_record> copy(Library& library, int32_t first, int32_t count, std::size_t room) {
  std::vector<vkt_record> out(room + 1);
  std::memset(out.data(), 0xA5, out.size() * sizeof(vkt_record));
  const int32_t n = copy_records(library.record_table(), first, count, out.data());
  EXPECT_LE(static_cast<std::size_t>(n), room);
  // Nothing is written past the records reported.
  const auto* guard = reinterpret_cast<const unsigned char*>(&out[static_cast<std::size_t>(n)]);
  for (std::size_t i = 0; i < sizeof(vkt_record); ++i) EXPECT_EQ(guard[i], 0xA5) << "byte " << i;
  out.resize(static_cast<std::size_t>(n));
  return out;
}

TEST(RecordCopy, WorkedExampleGivesTheFieldsTheYearAndTheRawLine) {
  TestLibrary lib;
  lib->ensure_monitor();
  lib->logger.param_year = "2009";
  decode_lines(*lib, {kFirst, kSecond});
  const auto r = copy(*lib, 1, 2, 2);
  ASSERT_EQ(r.size(), 2u);

  EXPECT_EQ(r[0].row, 1);
  EXPECT_EQ(r[0].decoded, 1);
  EXPECT_EQ(r[0].year, 2009);
  EXPECT_EQ(r[0].year_tag, 1);
  EXPECT_EQ((std::vector<int>{r[0].month, r[0].day, r[0].hour, r[0].min, r[0].sec, r[0].msec}),
            (std::vector<int>{3, 15, 13, 45, 30, 25}));
  EXPECT_EQ((std::vector<int>{r[0].x, r[0].y, r[0].z, r[0].deg, r[0].n, r[0].humi}),
            (std::vector<int>{1, -2, 64, 23, 5, 45}));
  EXPECT_STREQ(r[0].data, kFirst.c_str());
  EXPECT_EQ(r[0].data_length, 20);

  // The second record is dated in the next year; signed bytes keep their sign.
  EXPECT_EQ(r[1].row, 2);
  EXPECT_EQ(r[1].year, 2010);
  EXPECT_EQ((std::vector<int>{r[1].month, r[1].day, r[1].hour, r[1].min, r[1].sec, r[1].msec}),
            (std::vector<int>{1, 2, 0, 0, 5, 0}));
  EXPECT_EQ((std::vector<int>{r[1].x, r[1].y, r[1].z, r[1].deg, r[1].n, r[1].humi}),
            (std::vector<int>{-128, 127, 0, -5, 0, 100}));
}

TEST(RecordCopy, CopiesOnlyRecordRowsAndClipsTheRange) {
  TestLibrary lib;
  lib->ensure_monitor();
  lib->logger.param_year = "2009";
  decode_lines(*lib, {kFirst, kSecond, kFirst});
  EXPECT_EQ(copy(*lib, 2, 10, 10).size(), 2u);  // rows 2 and 3 only
  EXPECT_EQ(copy(*lib, 2, 10, 10)[0].row, 2);
  EXPECT_EQ(copy(*lib, 3, 1, 1)[0].row, 3);
  EXPECT_TRUE(copy(*lib, 4, 1, 1).empty());   // past the last record
  EXPECT_TRUE(copy(*lib, 0, 3, 3).empty());   // row 0 holds the headers
  EXPECT_TRUE(copy(*lib, -5, 3, 3).empty());
  EXPECT_TRUE(copy(*lib, 1, 0, 0).empty());
  EXPECT_TRUE(copy(*lib, 1, -1, 0).empty());
  EXPECT_EQ(copy(*lib, 2, INT_MAX, 3).size(), 2u);  // first + count does not overflow
  EXPECT_TRUE(copy(*lib, INT_MAX, INT_MAX, 1).empty());
}

TEST(RecordCopy, RowsWithoutADecodedRecordKeepOnlyTheirRawLine) {
  TestLibrary lib;
  lib->ensure_monitor();
  // A download that failed the line check: columns 0 and 1 only, nothing decoded.
  ui::TextGrid& grid = table(*lib);
  grid.set_row_count(3);
  grid.set_cell(kData, 1, kFirst);
  grid.set_cell(kData, 2, "35EDB5E501FE4017192D35EDB5");  // 26 characters
  const auto r = copy(*lib, 1, 2, 2);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].decoded, 0);
  EXPECT_EQ(r[0].year, 0);
  EXPECT_EQ(r[0].x, 0);
  EXPECT_STREQ(r[0].data, kFirst.c_str());
  EXPECT_EQ(r[1].data_length, 26);
  EXPECT_STREQ(r[1].data, "35EDB5E501FE4017192D3");  // cut to 21 characters
}

TEST(RecordCopy, TheInitialTableHasFourEmptyRowsAndNoWindowCopiesNothing) {
  TestLibrary lib;
  std::vector<vkt_record> out(4);
  EXPECT_EQ(copy_records(lib->record_table(), 1, 4, out.data()), 0);  // no monitor window
  lib->ensure_monitor();
  const auto r = copy(*lib, 1, 10, 10);
  ASSERT_EQ(r.size(), 4u);
  for (const vkt_record& row : r) {
    EXPECT_EQ(row.decoded, 0);
    EXPECT_EQ(row.data_length, 0);
    EXPECT_STREQ(row.data, "");
  }
}

TEST(RecordCopy, ADateWithoutAYearGivesYearZero) {
  TestLibrary lib;
  lib->ensure_monitor();
  lib->logger.param_year = "";  // no handshake: DATE reads "/03/15"
  decode_lines(*lib, {kFirst});
  const auto r = copy(*lib, 1, 1, 1);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].decoded, 1);
  EXPECT_EQ(r[0].year, 0);
  EXPECT_EQ(r[0].month, 3);
}

}  // namespace
}  // namespace vkt::records::test
