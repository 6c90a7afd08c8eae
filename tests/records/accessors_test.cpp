// The record accessors over a table filled without a port.
#include <gtest/gtest.h>

#include <cstring>

#include "record_fixture.h"
#include "vktcom.h"

namespace vkt::records::test {
namespace {

using vkt::testing::TestLibrary;

class Accessors : public ::testing::Test {
 protected:
  void SetUp() override {
    lib->ensure_monitor();
    lib->logger.param_year = "2009";
  }
  TestLibrary lib;
};

TEST_F(Accessors, ReadTheWorkedExample) {
  decode_lines(*lib, {kFirst, kSecond});
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 2);
  EXPECT_EQ(lib->monitor()->Memo1.text(), "2");

  EXPECT_EQ(text_of(*lib, TextField::Date, 1), "2009/03/15");
  EXPECT_EQ(text_of(*lib, TextField::Year, 1), "2009");
  EXPECT_EQ(text_of(*lib, TextField::Month, 1), "03");
  EXPECT_EQ(text_of(*lib, TextField::Day, 1), "15");
  EXPECT_EQ(text_of(*lib, TextField::Time, 1), "13:45:30.25");
  EXPECT_EQ(text_of(*lib, TextField::Deg, 1), "23.5");
  EXPECT_EQ(text_of(*lib, TextField::X, 1), "1");
  EXPECT_EQ(text_of(*lib, TextField::Y, 1), "-2");
  EXPECT_EQ(text_of(*lib, TextField::Z, 1), "64");
  EXPECT_EQ(text_of(*lib, TextField::Humi, 1), "45");
  EXPECT_EQ(text_of(*lib, TextField::All, 1), "2009 03/15-13:45:30.25 23.5 45 1 -2 64");
  EXPECT_EQ(block_of(*lib, 1), (std::array<uint8_t, 14>{1, 3, 1, 15, 13, 45, 30, 5, 1, 0xFE, 64, 23, 25, 45}));

  EXPECT_EQ(text_of(*lib, TextField::All, 2), "2010 01/02-00:00:05.00 -5.0 100 -128 127 0");
  // x = -128: the text and the two's complement byte.
  EXPECT_EQ(text_of(*lib, TextField::X, 2), "-128");
  EXPECT_EQ(block_of(*lib, 2), (std::array<uint8_t, 14>{2, 1, 2, 2, 0, 0, 5, 0, 0x80, 127, 0, 0xFB, 0, 100}));
}

TEST_F(Accessors, RowZeroReadsTheHeaders) {
  decode_lines(*lib, {kFirst});
  EXPECT_EQ(text_of(*lib, TextField::Date, 0), "DATE");
  EXPECT_EQ(text_of(*lib, TextField::Year, 0), "DATE");
  EXPECT_EQ(text_of(*lib, TextField::Month, 0), "");
  EXPECT_EQ(text_of(*lib, TextField::Day, 0), "");
  EXPECT_EQ(text_of(*lib, TextField::Time, 0), "TIME");
  EXPECT_EQ(text_of(*lib, TextField::Deg, 0), "DEG");
  EXPECT_EQ(text_of(*lib, TextField::X, 0), "x");
  EXPECT_EQ(text_of(*lib, TextField::Humi, 0), "humi");
  EXPECT_EQ(text_of(*lib, TextField::All, 0), "DATE /-TIME DEG humi x y z");
  // Header text is no number: byte 0 only.
  auto expected = std::array<uint8_t, 14>{};
  expected.fill(0xEE);
  expected[0] = 0;
  EXPECT_EQ(block_of(*lib, 0), expected);
}

TEST_F(Accessors, RowsWithoutARecordReadEmptyAndWriteOnlyByteZero) {
  // A fresh table counts four empty records.
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 4);
  EXPECT_EQ(lib->monitor()->Memo1.text(), "4");
  EXPECT_EQ(text_of(*lib, TextField::All, 4), " /-     ");

  decode_lines(*lib, {kFirst});
  table(*lib).set_row_count(4);  // rows 2 and 3 counted but empty, as after a failed check
  for (int32_t row : {2, 3, 4, 1000, -1, INT32_MIN}) {
    for (TextField f : {TextField::Date, TextField::Year, TextField::Month, TextField::Day, TextField::Time,
                        TextField::Deg, TextField::X, TextField::Y, TextField::Z, TextField::Humi})
      EXPECT_EQ(text_of(*lib, f, row), "") << row;
    EXPECT_EQ(text_of(*lib, TextField::All, row), " /-     ") << row;
    auto expected = std::array<uint8_t, 14>{};
    expected.fill(0x5A);
    expected[0] = static_cast<uint8_t>(row & 0xFF);
    EXPECT_EQ(block_of(*lib, row, 0x5A), expected) << row;
  }
}

TEST_F(Accessors, ByteZeroIsTheRowIndexModulo256) {
  std::vector<std::string> lines(300, kFirst);
  decode_lines(*lib, lines);
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 300);
  EXPECT_EQ(block_of(*lib, 300)[0], 44);
  EXPECT_EQ(block_of(*lib, 300)[1], 3);
}

TEST_F(Accessors, NeverWriteMoreThanTheBufferTheHeaderStates) {
  // A year far too long, and cells that no decoder would write.
  lib->logger.param_year = "123456789012345";
  decode_lines(*lib, {kFirst});
  ui::TextGrid& grid = table(*lib);
  grid.set_cell(kTime, 1, std::string(40, '9'));
  grid.set_cell(kDegText, 1, std::string(40, '8'));
  grid.set_cell(kX, 1, std::string(40, '7'));
  grid.set_cell(kHumi, 1, std::string(40, '6'));

  struct Case {
    TextField field;
    std::size_t size;
  } cases[] = {{TextField::Date, VKTCOM_DATE_BUFFER_SIZE}, {TextField::Year, VKTCOM_YEAR_BUFFER_SIZE},
               {TextField::Month, VKTCOM_MONTH_BUFFER_SIZE}, {TextField::Day, VKTCOM_DAY_BUFFER_SIZE},
               {TextField::Time, VKTCOM_TIME_BUFFER_SIZE},  {TextField::Deg, VKTCOM_DEG_BUFFER_SIZE},
               {TextField::X, VKTCOM_AXIS_BUFFER_SIZE},     {TextField::Humi, VKTCOM_HUMI_BUFFER_SIZE},
               {TextField::All, VKTCOM_ALL_BUFFER_SIZE}};
  for (const Case& c : cases) {
    std::array<char, 256> buffer;
    buffer.fill('\x7f');
    vkt_get_text(lib->record_table(), c.field, 1, buffer.data());
    EXPECT_EQ(std::strlen(buffer.data()), c.size - 1) << static_cast<int>(c.field);
    EXPECT_EQ(buffer[c.size], '\x7f') << static_cast<int>(c.field);
  }
  EXPECT_EQ(text_of(*lib, TextField::Date, 1), "1234567890");
}

}  // namespace
}  // namespace vkt::records::test
