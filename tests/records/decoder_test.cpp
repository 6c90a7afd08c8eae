// Decoding record lines straight into table rows, without a port.
#include <gtest/gtest.h>

#include "record_fixture.h"
#include "vktsim/records.h"

namespace vkt::records::test {
namespace {

using vkt::testing::TestLibrary;

std::vector<std::string> row_cells(Library& library, int row) {
  std::vector<std::string> cells;
  for (int c = kMonth; c < kColumns; ++c) cells.push_back(table(library).cell(c, row));
  return cells;
}

TEST(RecordDecoder, WorkedExampleFillsEveryColumnAndAdvancesTheYear) {
  TestLibrary lib;
  lib->ensure_monitor();
  lib->logger.param_year = "2009";
  decode_lines(*lib, {kFirst, kSecond});

  EXPECT_EQ(row_cells(*lib, 1),
            (std::vector<std::string>{"3", "1", "15", "13", "45", "30", "5", "1", "-2", "64", "23", "25", "45",
                                      "2009/03/15", "13:45:30.25", "23.5"}));
  EXPECT_EQ(row_cells(*lib, 2),
            (std::vector<std::string>{"1", "2", "2", "0", "0", "5", "0", "-128", "127", "0", "-5", "0", "100",
                                      "2010/01/02", "00:00:05.00", "-5.0"}));
  EXPECT_EQ(lib->logger.param_year, "2010");
  EXPECT_EQ(lib->LastYearTag, 2);
}

TEST(RecordDecoder, EveryTagChangeIsOneYearAndRowOneRestartsTheTag) {
  // Tags 0,0,1,1,2: digit 2 divided by 4 is the tag.
  const std::string rest(18, '0');
  const std::vector<std::string> lines = {"30" + rest, "32" + rest, "34" + rest, "36" + rest, "38" + rest};
  TestLibrary lib;
  lib->ensure_monitor();
  lib->logger.param_year = "2009";
  lib->LastYearTag = 3;  // left over from an earlier pass: row 1 must not count it as a change
  decode_lines(*lib, lines);
  std::vector<std::string> years;
  for (int row = 1; row <= 5; ++row) years.push_back(text_of(*lib, TextField::Year, row));
  EXPECT_EQ(years, (std::vector<std::string>{"2009", "2009", "2010", "2010", "2011"}));

  // 3 -> 0 is a change like any other.
  lib->logger.param_year = "2019";
  decode_lines(*lib, {"3C" + rest, "30" + rest});
  EXPECT_EQ(text_of(*lib, TextField::Date, 2), "2020/03/00");
}

TEST(RecordDecoder, NarrowsAndFormatsTheExtremes) {
  TestLibrary lib;
  lib->ensure_monitor();
  lib->logger.param_year = "2024";
  // month 15, day 31, hour 31, minute 63, second 63, tenths 15, x/y/z/deg -128, msec 255, humi 255
  vktsim::RecordFields f{15, 0, 31, 31, 63, 63, 15, -128, -128, -128, -128, 255, 255};
  decode_lines(*lib, {vktsim::encode_record(f), "35EDB5E501FE40177B2D"});
  EXPECT_EQ(text_of(*lib, TextField::Date, 1), "2024/15/31");
  EXPECT_EQ(text_of(*lib, TextField::Time, 1), "31:63:63.255");
  EXPECT_EQ(text_of(*lib, TextField::Deg, 1), "-128.15");
  EXPECT_EQ(text_of(*lib, TextField::X, 1), "-128");
  EXPECT_EQ(text_of(*lib, TextField::Humi, 1), "255");
  // Hundredths 123 (0x7B): a twelve-character time.
  EXPECT_EQ(text_of(*lib, TextField::Time, 2), "13:45:30.123");
  // Lower-case digits are digits too.
  lib->logger.param_year = "2024";
  decode_lines(*lib, {"35edb5e501fe4017192d"});
  EXPECT_EQ(text_of(*lib, TextField::All, 1), "2024 03/15-13:45:30.25 23.5 45 1 -2 64");
}

TEST(RecordDecoder, AYearThatIsNoNumberIsDroppedAtTheFirstTagChange) {
  for (const std::string year : {"", "20x9", "2147483647"}) {
    TestLibrary lib;
    lib->ensure_monitor();
    lib->logger.param_year = year;
    decode_lines(*lib, {kFirst, kSecond});
    EXPECT_EQ(text_of(*lib, TextField::Date, 1), year.substr(0, 10) + (year.size() < 10 ? "/03/15" : ""))
        << year;
    EXPECT_EQ(text_of(*lib, TextField::Date, 2), "/01/02") << year;
    EXPECT_EQ(lib->logger.param_year, "") << year;
  }
}

TEST(RecordDecoder, LeavesHeadersAndRowsOutsideTheTableAloneAndEmptiesBadLines) {
  TestLibrary lib;
  lib->ensure_monitor();
  lib->logger.param_year = "2009";
  ui::TextGrid& grid = table(*lib);
  decode_lines(*lib, {kFirst, "35EDB5E501FE4017192"});
  EXPECT_EQ(text_of(*lib, TextField::X, 2), "");
  EXPECT_EQ(text_of(*lib, TextField::Date, 2), "");

  grid.set_cell(kData, 0, kFirst);
  lib->decode_rows(0, 0);
  lib->decode_rows(-1, -1);
  lib->decode_rows(grid.row_count(), grid.row_count());
  EXPECT_EQ(grid.cell(kMonth, 0), "month");
  EXPECT_EQ(grid.cell(kDate, 0), "DATE");
  EXPECT_EQ(grid.row_count(), 3);
}

}  // namespace
}  // namespace vkt::records::test
